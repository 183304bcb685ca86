// A temporary program folder for the records viewer's windows, records appended the way another program
// would, and views of what the grids show.
#pragma once

#include "binary-dataset/bindata.h"
#include "framework/testing/MessageBoxSpy.h"
#include "velmora/RecordTable.h"

#include <QDate>
#include <QDir>
#include <QTableView>
#include <QTemporaryDir>
#include <QTime>
#include <gtest/gtest.h>

struct TTestRecord {
    QString FName;
    QString Infect;
    QString Postav;
    QString Boln;
    QDate Date;
    QTime Time;
};

class VelmoraFixture : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Folder = Dir.path() + u'/';
    QString Table = Folder + TableFileName;

    // Appends through a dataset of its own, as another program on the same file would.
    void AppendElsewhere(const std::vector<TTestRecord>& records) const {
        TBinaryDataSet data;
        data.SetTableName(Table);
        data.Open();
        for (const TTestRecord& r : records) {
            data.Append();
            data.FieldByName("FNAME").SetAsString(r.FName);
            data.FieldByName("INFECT").SetAsString(r.Infect);
            data.FieldByName("POSTAV").SetAsString(r.Postav);
            data.FieldByName("BOLN").SetAsString(r.Boln);
            data.FieldByName("VALUE").SetAsInteger(int(r.FName.size()));
            data.FieldByName("DATES").SetAsDate(r.Date);
            data.FieldByName("TIMES").SetAsTime(r.Time);
            data.Post();
        }
    }

    // The picture names of the grid's rows, trimmed.
    static QStringList Names(const QTableView& grid) {
        QStringList names;
        for (int row = 0; row < grid.model()->rowCount(); ++row)
            names << grid.model()->index(row, 0).data().toString().trimmed();
        return names;
    }

    static int RowOf(const QTableView& grid, const QString& name) { return int(Names(grid).indexOf(name)); }
};
