// The class library's file errors and the checked file operations that raise them: opening a file to read,
// creating one to replace, and writing that must not come up short.
#pragma once

#include "framework/Exception.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>

LAB_DECLARE_EXCEPTION(EFOpenError, Exception);
LAB_DECLARE_EXCEPTION(EFCreateError, Exception);
LAB_DECLARE_EXCEPTION(EWriteError, Exception);

// Opens `file` for reading; raises EFOpenError with the system's reason, or before opening when the name is
// no regular file.
void OpenFileForReading(QFile& file);
// Opens `file` for writing; raises EFCreateError with the system's reason. Nothing replaces the file's old
// content until CommitSaveFile.
void OpenSaveFile(QSaveFile& file);
// Replaces the old file with what was written; raises EWriteError with the system's reason.
void CommitSaveFile(QSaveFile& file);
// Replaces the old file with what was written, or returns false and leaves it when any write failed.
// QSaveFile::commit() alone misses a failure of its own final flush (a full disk, a size limit) and puts the
// cut file in place of the old one.
bool FlushAndCommit(QSaveFile& file);
// Writes all `count` bytes or raises EWriteError.
void WriteBuffer(QIODevice& device, const void* buffer, qint64 count);

// Gives the file `from` the name `to` unless something has that name already: then false with errno EEXIST,
// and nothing changed. A file system that cannot refuse in one step (renameat2 answers EINVAL or ENOSYS) gets
// a hard link, which refuses as well, then the old name's unlink. False with errno set on any failure.
bool RenameNoReplace(const QString& from, const QString& to);
