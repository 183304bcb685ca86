// The records table of the viewer: its file and picture folder, its sixteen fields and the columns both
// grids show of them.
#pragma once

#include "framework/DataSetTableModel.h"
#include "framework/Fields.h"

#include <QString>

inline const QString TableFileName = QStringLiteral("MBase.dat");
inline const QString PictureFolderName = QStringLiteral("pictures/");

// The fields of a new table, in file order: 195-byte records.
void AddRecordTableFields(TFieldDefs& Defs);

// The eleven columns of the main window's grid; the query window's differs only in its probe-name width.
enum class TGridKind { Main, Query };
QVector<TGridColumn> RecordGridColumns(TGridKind Kind);

// The path of a record's picture under the program folder, from its picture field as stored (trimmed, "\"
// read as "/"); empty for a blank name. A name that is absolute or climbs with ".." gives no path at all
// (`Unsafe` set): nothing outside the picture folder is ever opened.
QString RecordPicturePath(const QString& ProgramFolder, const QString& StoredName, bool& Unsafe);
