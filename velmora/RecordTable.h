// The records table as the viewer shows it: the columns both grids show of its fields, and where a record's
// picture is read.
#pragma once

#include "binary-dataset/CommonBase.h"
#include "framework/DataSetTableModel.h"

#include <QString>

// The eleven columns of the main window's grid; the query window's differs only in its probe-name width.
enum class TGridKind { Main, Query };
QVector<TGridColumn> RecordGridColumns(TGridKind Kind);

// The path of a record's picture under the program folder, from its picture field as stored (trimmed, "\"
// read as "/"); empty for a blank name. A name that is absolute or climbs with ".." gives no path at all
// (`Unsafe` set): nothing outside the picture folder is ever opened.
QString RecordPicturePath(const QString& ProgramFolder, const QString& StoredName, bool& Unsafe);
