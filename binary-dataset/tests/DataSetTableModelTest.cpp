#include "framework/DataSetTableModel.h"
#include "binary-dataset/bindata.h"
#include "binary-dataset/tests/TableBytes.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// QAbstractItemModelTester reports through Qt's warnings: each one fails the test.
class FailOnQtWarnings {
public:
    FailOnQtWarnings() : Previous(qInstallMessageHandler(Handler)) {}
    ~FailOnQtWarnings() { qInstallMessageHandler(Previous); }
    FailOnQtWarnings(const FailOnQtWarnings&) = delete;
    FailOnQtWarnings& operator=(const FailOnQtWarnings&) = delete;

private:
    static void Handler(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            ADD_FAILURE() << message.toStdString();
    }
    QtMessageHandler Previous;
};

class DataSetTableModelTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path = Dir.filePath("MBase.dat");
    TBinaryDataSet Data;
    FailOnQtWarnings Warnings;
    const QVector<TGridColumn> Columns = {{"NAME", "Имя", 80, false}, {"N", "Число", -1, true}};

    void SetUp() override {
        // r1..r5 with N = 1..5; r2 and r4 deleted.
        WriteFileBytes(Path, TableBytes(SmallFields, {3, 2, 4}) + SmallRecord(0, "r1", 1) +
                                 SmallRecord(-1, "r2", 2) + SmallRecord(0, "r3", 3) +
                                 SmallRecord(2, "r4", 4) + SmallRecord(0, "r5", 5));
        Data.SetTableName(Path);
    }

    static QStringList Column(const QAbstractItemModel& model, int column) {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts << model.index(row, column).data().toString();
        return texts;
    }

    // Appends a record through a second handle on the same file, as another program would.
    void AppendElsewhere(int n) {
        TBinaryDataSet other;
        other.SetTableName(Path);
        other.Open();
        other.Append();
        other.FieldByName("NAME").SetAsString(QString("o%1").arg(n));
        other.FieldByName("N").SetAsInteger(n);
        other.Post();
    }

    void DeleteElsewhere(int n) {
        TBinaryDataSet other;
        other.SetTableName(Path);
        other.Open();
        while (other.FieldByName("N").AsInteger() != n)
            other.Next();
        other.Delete();
    }
};

} // namespace

TEST_F(DataSetTableModelTest, Rows_AreTheLiveRecordsTheFilterAccepts) {
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(Column(model, 0), QStringList({"r1", "r3", "r5"}));
    EXPECT_EQ(Column(model, 1), QStringList({"1", "3", "5"}));
    EXPECT_EQ(model.index(1, 1).data(Qt::EditRole), QVariant(3));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Имя");
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable) << "a read-only column";
    EXPECT_EQ(model.CurrentRow(), 0);

    Data.OnFilterRecord = [](TDataSet* data, bool& accept) {
        accept = data->FieldByName("N").AsInteger() != 3;
    };
    Data.SetFiltered(true);
    EXPECT_EQ(Column(model, 0), QStringList({"r1", "r5"}));
    Data.Close();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(DataSetTableModelTest, SetData_PostsTheRecordOrReportsTheRefusal) {
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy errors(&model, &TDataSetTableModel::errorOccurred);
    EXPECT_TRUE(model.setData(model.index(1, 0), "новое"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.CurrentRow(), 1);
    EXPECT_EQ(ReadFileBytes(Path).mid(SmallDataStart + 2 * SmallRecordSize, SmallRecordSize),
              SmallRecord(0, QByteArray::fromHex("edeee2eee5"), 3));

    EXPECT_FALSE(model.setData(model.index(1, 1), 9)) << "read-only column";
    EXPECT_FALSE(model.setData(model.index(2, 0), "Ω"));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors[0][0].toString(), "Поле «NAME» не может хранить знак «Ω» (U+03A9)");
    EXPECT_EQ(model.index(2, 0).data().toString(), "r5");
    EXPECT_EQ(Data.State(), dsBrowse);
}

TEST_F(DataSetTableModelTest, RemoveRows_DeletesTheRecords) {
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_TRUE(model.removeRows(0, 2));
    EXPECT_EQ(Column(model, 0), QStringList({"r5"}));
    EXPECT_EQ(Data.GetRecordCount(), 1);
    Data.Delete(); // straight through the dataset, as a menu command does
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.CurrentRow(), -1);
    EXPECT_FALSE(model.removeRows(0, 1));
}

TEST_F(DataSetTableModelTest, Append_AddsARowOnlyForARecordTheFilterAccepts) {
    Data.OnFilterRecord = [](TDataSet* data, bool& accept) {
        accept = data->FieldByName("N").AsInteger() != 3;
    };
    Data.SetFiltered(true);
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    for (int n : {7, 3}) {
        Data.Append();
        Data.FieldByName("NAME").SetAsString("new");
        Data.FieldByName("N").SetAsInteger(n);
        Data.Post();
    }
    EXPECT_EQ(Column(model, 1), QStringList({"1", "5", "7"}));
    EXPECT_EQ(model.CurrentRow(), 2) << "the rejected record gave way to its prior neighbour";
}

TEST_F(DataSetTableModelTest, CurrentRow_FollowsTheDataSetBothWays) {
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QSignalSpy current(&model, &TDataSetTableModel::currentRowChanged);
    Data.Next();
    EXPECT_EQ(model.CurrentRow(), 1);
    EXPECT_TRUE(model.SetCurrentRow(2));
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 5);
    // The row titles mark the current row, as the grid's indicator.
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), QString(u'\u25B8'));
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "");
    EXPECT_FALSE(model.SetCurrentRow(3));
    ASSERT_EQ(current.count(), 2);
    EXPECT_EQ(current[1][0].toInt(), 2);
}

TEST_F(DataSetTableModelTest, ReRead_ShowsOtherProgramsChangesAndKeepsTheCurrentRecord) {
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetCurrentRow(1);
    AppendElsewhere(6);
    DeleteElsewhere(1);
    EXPECT_EQ(model.rowCount(), 3) << "nothing shows before the re-read";
    model.ReRead();
    EXPECT_EQ(Column(model, 1), QStringList({"3", "5", "6"}));
    EXPECT_EQ(model.CurrentRow(), 0);
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 3);

    model.SetCurrentRow(1);
    DeleteElsewhere(5);
    model.ReRead();
    EXPECT_EQ(Column(model, 1), QStringList({"3", "6"}));
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 3) << "the current record is gone: back to the first";
}

TEST_F(DataSetTableModelTest, ReadOnlyDataSet_NoCellIsEditable) {
    Data.SetReadOnly(true);
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 0), "x"));
    EXPECT_FALSE(model.removeRows(0, 1));
}

TEST_F(DataSetTableModelTest, Delete_ListenerReadingCellsDoesNotMoveTheNextDeletion) {
    QByteArray bytes = TableBytes(SmallFields, {10, 0, -1});
    for (int n = 1; n <= 10; ++n)
        bytes += SmallRecord(0, "r" + QByteArray::number(n), n);
    WriteFileBytes(Path, bytes);
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    // A grid that paints while rows go reads other records than the current one.
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&] { (void)model.index(0, 0).data(); });
    Data.SetRecNo(6);
    Data.Delete();
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 7);
    Data.Delete();
    EXPECT_EQ(Column(model, 1), QStringList({"1", "2", "3", "4", "5", "8", "9", "10"}));
    EXPECT_EQ(model.CurrentRow(), 5);
}

TEST_F(DataSetTableModelTest, EditRejectedByTheFilter_TheRowLeavesTheModel) {
    Data.OnFilterRecord = [](TDataSet* data, bool& accept) {
        accept = !data->FieldByName("NAME").AsString().startsWith("x");
    };
    Data.SetFiltered(true);
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_TRUE(model.setData(model.index(1, 0), "xr3"));
    EXPECT_EQ(Column(model, 0), QStringList({"r1", "r5"}));
    EXPECT_EQ(model.CurrentRow(), 1);
    EXPECT_EQ(Data.FieldByName("NAME").AsString(), "r5");
    EXPECT_TRUE(model.setData(model.index(0, 0), "r1 kept"));
    EXPECT_EQ(Column(model, 0), QStringList({"r1 kept", "r5"}));
}

TEST_F(DataSetTableModelTest, FilterThatRaises_ResetCompletesBeforeTheErrorPasses) {
    Data.Open();
    TDataSetTableModel model(Data, Columns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy aboutToReset(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    bool raise = true;
    // The first record passes, so the dataset opens its view; the grid's scan meets the one that raises.
    Data.OnFilterRecord = [&](TDataSet* data, bool&) {
        if (raise && data->FieldByName("N").AsInteger() == 5)
            throw EDatabaseError("filter failed");
    };
    EXPECT_THROW(Data.SetFiltered(true), EDatabaseError);
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    raise = false;
    Data.Refresh();
    EXPECT_EQ(Column(model, 0), QStringList({"r1", "r3", "r5"}));
}
