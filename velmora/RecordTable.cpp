// The grid columns over the records table and the path of a record's picture.
#include "velmora/RecordTable.h"

#include <QDir>

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
