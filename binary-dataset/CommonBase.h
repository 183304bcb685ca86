// The common database of the two programs: one folder holding the records table "MBase.dat" and the folder
// "pictures/" with the picture files its records name. The acquisition program adds to it, the records
// viewer shows it.
#pragma once

#include "framework/Fields.h"

#include <QString>

inline const QString TableFileName = QStringLiteral("MBase.dat");
inline const QString PictureFolderName = QStringLiteral("pictures/");

// The fields of a new records table, in file order: 195-byte records.
void AddRecordTableFields(TFieldDefs& Defs);

// Writes an empty records table at Path when no file is there, in one step that never replaces a file and
// never asks: a table another program made meanwhile is left to be opened. Raises EBinaryDataSetError when
// the table is still missing.
void CreateRecordTableWhenMissing(const QString& Path);
