// The records table's layout and the grid columns over it.
#include "velmora/RecordTable.h"

#include <QDir>

void AddRecordTableFields(TFieldDefs& Defs) {
    Defs.Add("FNAME", ftString, 40);
    Defs.Add("PROBA", ftInteger);
    Defs.Add("PROBANAME", ftString, 8);
    Defs.Add("INFECT", ftString, 20);
    Defs.Add("POSTAV", ftString, 20);
    Defs.Add("VALUE", ftSmallint);
    Defs.Add("BOLN", ftString, 20);
    Defs.Add("PRIM", ftString, 30);
    Defs.Add("TOP", ftSmallint);
    Defs.Add("LEFT", ftSmallint);
    Defs.Add("BUTTOM", ftSmallint);
    Defs.Add("RIGHT", ftSmallint);
    Defs.Add("DATES", ftDate);
    Defs.Add("TIMES", ftTime);
    Defs.Add("REACT", ftString, 1);
    Defs.Add("TOLERANCE", ftSmallint);
}

QVector<TGridColumn> RecordGridColumns(TGridKind Kind) {
    // -1: the grid's default width.
    const int probeNameWidth = Kind == TGridKind::Query ? 72 : -1;
    return {
        {"FNAME", "Изображение", 103, false},
        {"INFECT", "Инфекция", 68, false},
        {"PROBANAME", "Имя пробы", probeNameWidth, false},
        {"VALUE", "Светимость", 68, true},
        {"PROBA", "Значение", 56, true},
        {"REACT", "Реакция", 52, false},
        {"POSTAV", "Поставщик", 80, false},
        {"BOLN", "Пациент", 80, false},
        {"DATES", "Дата", 56, true},
        {"TIMES", "Время", 56, true},
        {"PRIM", "Примечание", 68, false},
    };
}

QString RecordPicturePath(const QString& ProgramFolder, const QString& StoredName, bool& Unsafe) {
    const QString name = QString(StoredName).replace(u'\\', u'/').trimmed();
    Unsafe =
        !name.isEmpty() && (QDir::isAbsolutePath(name) || name.split(u'/').contains(QStringLiteral("..")));
    if (name.isEmpty() || Unsafe)
        return {};
    return ProgramFolder + PictureFolderName + name;
}
