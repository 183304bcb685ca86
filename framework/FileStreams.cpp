// The class library's file errors over QFile and QSaveFile.
#include "framework/FileStreams.h"

#include "framework/StreamIO.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

void OpenFileForReading(QFile& file) {
    // Opening a FIFO blocks until a writer comes, and a device may never end: only regular files are read.
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile())
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". Not a regular file")
                              .arg(QDir::toNativeSeparators(file.fileName())));
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                              .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
}

void OpenSaveFile(QSaveFile& file) {
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
}

bool FlushAndCommit(QSaveFile& file) {
    return file.flush() && file.commit();
}

void CommitSaveFile(QSaveFile& file) {
    if (!FlushAndCommit(file))
        throw EWriteError(QStringLiteral("Stream write error: \"%1\". %2")
                              .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
}

void WriteBuffer(QIODevice& device, const void* buffer, qint64 count) {
    if (!WriteExact(device, buffer, count)) {
        const QString reason = device.errorString();
        throw EWriteError(reason.isEmpty() || reason == QLatin1String("Unknown error")
                              ? QStringLiteral("Stream write error")
                              : QStringLiteral("Stream write error. %1").arg(reason));
    }
}

bool RenameNoReplace(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if ((errno != EINVAL && errno != ENOSYS) || link(source.constData(), target.constData()) != 0)
        return false;
    // The file has both names now; a failed unlink only leaves the old one behind.
    const int saved = errno;
    unlink(source.constData());
    errno = saved;
    return true;
}
