#include "binary-dataset/bindata.h"
#include "binary-dataset/tests/TableBytes.h"
#include "framework/testing/MessageBoxSpy.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Reaches the slots the framework's fields call, to call them as no field does.
class TExposedDataSet : public TBinaryDataSet {
public:
    using TBinaryDataSet::GetFieldData;
    using TBinaryDataSet::SetFieldData;
};

class BinaryDataSetTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path = Dir.filePath("MBase.dat");
    TBinaryDataSet Data;

    void SetUp() override { Data.SetTableName(Path); }

    // The small table of TableBytes.h with these records, written byte by byte.
    void WriteSmall(const std::vector<QByteArray>& records, TTestCounts counts) {
        QByteArray bytes = TableBytes(SmallFields, counts);
        for (const QByteArray& r : records)
            bytes.append(r);
        WriteFileBytes(Path, bytes);
    }

    // Five live records named r1..r5 with N = 1..5, then records 2 and 4 deleted.
    void WriteFiveWithTwoDeleted() {
        WriteSmall({SmallRecord(0, "r1", 1), SmallRecord(-1, "r2", 2), SmallRecord(0, "r3", 3),
                    SmallRecord(2, "r4", 4), SmallRecord(0, "r5", 5)},
                   {3, 2, 4});
    }

    std::vector<int> VisibleN() {
        std::vector<int> result;
        for (Data.First(); !Data.Eof(); Data.Next())
            result.push_back(Data.FieldByName("N").AsInteger());
        return result;
    }

    void AppendSmall(TBinaryDataSet& data, const QString& name, int n) {
        data.Append();
        data.FieldByName("NAME").SetAsString(name);
        data.FieldByName("N").SetAsInteger(n);
        data.Post();
    }

    QString OpenFailure() {
        try {
            Data.Open();
        } catch (const EBinaryDataSetError& e) {
            EXPECT_FALSE(Data.Active());
            EXPECT_EQ(Data.FieldCount(), 0);
            return e.message();
        }
        Data.Close();
        return "(opened)";
    }
};

TEST_F(BinaryDataSetTest, CreateTable_RecordsViewerTable_692BytesByteForByte) {
    AddRecordsViewerFields(Data.FieldDefs);
    Data.CreateTable();
    EXPECT_FALSE(Data.Active());
    EXPECT_EQ(Data.GetRecordSize(), 195);
    const std::vector<TTestField> expected = {
        {"FNAME", 1, 44, 40},  {"PROBA", 3, 4, 0},  {"PROBANAME", 1, 12, 8}, {"INFECT", 1, 24, 20},
        {"POSTAV", 1, 24, 20}, {"VALUE", 2, 2, 0},  {"BOLN", 1, 24, 20},     {"PRIM", 1, 34, 30},
        {"TOP", 2, 2, 0},      {"LEFT", 2, 2, 0},   {"BUTTOM", 2, 2, 0},     {"RIGHT", 2, 2, 0},
        {"DATES", 9, 4, 0},    {"TIMES", 10, 4, 0}, {"REACT", 1, 5, 1},      {"TOLERANCE", 2, 2, 0}};
    const QByteArray bytes = ReadFileBytes(Path);
    EXPECT_EQ(bytes.size(), 692);
    EXPECT_EQ(bytes, TableBytes(expected));
    EXPECT_EQ(LE32At(bytes, 8), 195);

    Data.Open();
    EXPECT_TRUE(Data.IsEmpty());
    EXPECT_TRUE(Data.Eof());
    EXPECT_EQ(Data.GetRecordCount(), 0);
    EXPECT_EQ(Data.FieldCount(), 16);
    EXPECT_EQ(Data.FieldDefs[15].Name, "TOLERANCE");
    EXPECT_EQ(Data.FieldByName("react").Size(), 1) << "field names compare without regard to case";
}

TEST_F(BinaryDataSetTest, CreateTable_ExistingFile_ReplacedOnlyWhenTheUserAgrees) {
    WriteFileBytes(Path, "keep me");
    Data.FieldDefs.Add("NAME", ftString, 10);
    Data.FieldDefs.Add("N", ftInteger);
    MessageBoxSpy user(mrNo);
    Data.CreateTable();
    ASSERT_EQ(user.Requests.size(), 1u);
    EXPECT_EQ(user.Requests[0].Text, "File " + Path + " already exists. OK to override?");
    EXPECT_EQ(user.Requests[0].Buttons, mbYes | mbNo);
    EXPECT_EQ(ReadFileBytes(Path), "keep me");

    user.Answer = mrYes;
    Data.CreateTable();
    EXPECT_EQ(ReadFileBytes(Path), TableBytes(SmallFields));
}

TEST_F(BinaryDataSetTest, CreateTable_BadDefinitionOrState_LeavesTheOldFileAndAsksNothing) {
    WriteFileBytes(Path, "keep me");
    MessageBoxSpy user(mrYes);
    Data.FieldDefs.Add("NAME", ftString, 10);
    Data.FieldDefs.Add("AMOUNT", ftBCD);
    EXPECT_THROW(Data.CreateTable(), EBinaryDataSetError);
    Data.FieldDefs.Clear();
    Data.FieldDefs.Add("A_NAME_OF_TWENTY_EIGHT_CHARS", ftInteger);
    EXPECT_THROW(Data.CreateTable(), EBinaryDataSetError);
    Data.FieldDefs.Clear();
    Data.FieldDefs.Add("A", ftInteger);
    Data.SetReadOnly(true);
    EXPECT_THROW(Data.CreateTable(), EDatabaseError);
    EXPECT_TRUE(user.Requests.empty());
    EXPECT_EQ(ReadFileBytes(Path), "keep me");

    WriteSmall({}, {});
    Data.Open();
    EXPECT_THROW(Data.CreateTable(), EDatabaseError) << "an open dataset";
}

TEST_F(BinaryDataSetTest, Open_MissingAndDamagedFiles_RaiseTheirMessageAndStayClosed) {
    EXPECT_EQ(OpenFailure(), "Open: Table file not found");
    const QByteArray good = TableBytes(SmallFields, {1, 0, -1}) + SmallRecord(0, "a", 1);
    const auto withHeaderField = [&](int offset, int32_t value) {
        QByteArray bad = good;
        for (int i = 0; i < 4; ++i)
            bad[offset + i] = char(uint32_t(value) >> (8 * i));
        return bad;
    };
    const std::pair<QByteArray, QString> cases[] = {
        {QByteArray(), "Not a binary data set file."},
        {good.left(1), "Not a binary data set file."},
        {good.left(35), "Not a binary data set file."},
        {QByteArray("BDS!") + good.mid(4), "Not a binary data set file."},
        {withHeaderField(4, 14), "Invalid data file version."},
        {withHeaderField(16, 0), "Invalid number of fields."},
        {withHeaderField(16, INT32_MIN), "Invalid number of fields."},
        {withHeaderField(16, 32766), "Invalid number of fields."},
        {withHeaderField(16, 3), "Internal open: File ends inside the field descriptors."},
        {good.left(36 + 41 + 30), "Internal open: File ends inside the field descriptors."},
        {withHeaderField(32, 117), "Internal open: Invalid record size.\rStartData   : 117\rfRecordCount: 1\r"
                                   "fRecordSize : 22\rfStream.SIze: 140"},
        {withHeaderField(12, -1), "Internal open: Invalid record counts."},
        {withHeaderField(12, 1000),
         "Internal open: Invalid record size.\rStartData   : 118\rfRecordCount: 1000\r"
         "fRecordSize : 22\rfStream.SIze: 140"},
        {withHeaderField(8, 21), "Internal open: File record size mismatch."},
        {QByteArray(good).replace(36 + 28, 1, "\x08"), "InitFieldsDefs: Unsupported field type"},
        // A wrong slot width makes the record size disagree, and is reported as such while records count.
        {QByteArray(good).replace(36 + 29, 1, "\x0F"), "Internal open: File record size mismatch."},
        {TableBytes(SmallFields).replace(36 + 29, 1, "\x0F"), "Internal open: Invalid field descriptor 1."},
        {TableBytes(SmallFields, {0, 1, 1}).replace(36 + 29, 1, "\x0F") + SmallRecord(-1, "a", 1),
         "Internal open: Invalid record size.\rStartData   : 118\rfRecordCount: 0\r"
         "fRecordSize : 23\rfStream.SIze: 140"},
    };
    for (const auto& [bytes, message] : cases) {
        WriteFileBytes(Path, bytes);
        EXPECT_EQ(OpenFailure(), message) << bytes.size() << " bytes";
    }
}

TEST_F(BinaryDataSetTest, Open_DamagedChain_OpensCleanlyBecauseTheChainIsNeverFollowed) {
    // Record 1 links to itself, record 2 far outside the table; the head points nowhere.
    WriteSmall({SmallRecord(0, "r1", 1), SmallRecord(2, "r2", 2), SmallRecord(99999, "r3", 3),
                SmallRecord(0, "r4", 4)},
               {2, 2, -77});
    Data.Open();
    EXPECT_EQ(VisibleN(), (std::vector<int>{1, 4}));
    Data.Last();
    Data.Delete();
    EXPECT_EQ(VisibleN(), (std::vector<int>{1}));
}

TEST_F(BinaryDataSetTest, Browse_SkipsDeletedRecordsBothWays) {
    WriteFiveWithTwoDeleted();
    Data.Open();
    EXPECT_EQ(Data.GetRecordCount(), 3);
    EXPECT_EQ(VisibleN(), (std::vector<int>{1, 3, 5}));
    Data.Last();
    EXPECT_TRUE(Data.Eof());
    EXPECT_EQ(Data.GetRecNo(), 5) << "physical numbers count the deleted records";
    std::vector<int> backwards;
    for (; !Data.Bof(); Data.Prior())
        backwards.push_back(Data.FieldByName("N").AsInteger());
    EXPECT_EQ(backwards, (std::vector<int>{5, 3, 1}));
    EXPECT_EQ(Data.FieldByName("NAME").AsString(), "r1") << "Prior at the first record stays on it";
}

TEST_F(BinaryDataSetTest, SetRecNo_MovesByPhysicalNumberWithinTheLiveCount) {
    WriteFiveWithTwoDeleted();
    Data.Open();
    Data.SetRecNo(3);
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 3);
    Data.SetRecNo(1);
    EXPECT_EQ(Data.GetRecNo(), 1);
    Data.SetRecNo(0);
    Data.SetRecNo(4) /* above the live count of 3 */;
    EXPECT_EQ(Data.GetRecNo(), 1) << "ignored";
    Data.SetRecNo(2);
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 3) << "a deleted record gives way to the next live one";
}

TEST_F(BinaryDataSetTest, Filter_SeesOnlyLiveRecordsAndCanRejectAll) {
    WriteFiveWithTwoDeleted();
    std::vector<QByteArray> seen;
    Data.OnFilterRecord = [&](TDataSet* sender, bool& accept) {
        auto* data = static_cast<TBinaryDataSet*>(sender);
        EXPECT_EQ(data->State(), dsFilter);
        seen.push_back(QByteArray(reinterpret_cast<const char*>(data->LastRecordBuffer()), SmallRecordSize));
        accept = data->FieldByName("N").AsInteger() != 3;
    };
    Data.SetFiltered(true);
    Data.Open();
    EXPECT_EQ(VisibleN(), (std::vector<int>{1, 5}));
    EXPECT_EQ(seen.at(0), SmallRecord(0, "r1", 1)) << "the raw record, link word first";
    for (const QByteArray& record : seen)
        EXPECT_EQ(LE32At(record, 0), 0) << "deleted records never reach the filter";

    Data.OnFilterRecord = [](TDataSet*, bool& accept) { accept = false; };
    Data.Close();
    Data.Open();
    EXPECT_TRUE(Data.Eof());
    EXPECT_TRUE(Data.IsEmpty());
    Data.Last();
    EXPECT_TRUE(Data.IsEmpty());
    Data.SetFiltered(false);
    EXPECT_EQ(VisibleN(), (std::vector<int>{1, 3, 5}));
}

TEST_F(BinaryDataSetTest, Bookmarks_ReturnToARecordAndReportOnesThatAreGone) {
    WriteFiveWithTwoDeleted();
    Data.Open();
    Data.Last();
    const TBookmark last = Data.GetBookmark();
    Data.First();
    Data.GotoBookmark(last);
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 5);
    try {
        Data.GotoBookmark(7);
        ADD_FAILURE() << "no error";
    } catch (const EBinaryDataSetError& e) {
        EXPECT_EQ(e.message(), "Bookmark 7 not found");
    }
    EXPECT_THROW(Data.GotoBookmark(1), EDatabaseError) << "a deleted record";
    EXPECT_TRUE(Data.BookmarkValid(2));
    EXPECT_FALSE(Data.BookmarkValid(3));
    EXPECT_FALSE(Data.BookmarkValid(-5));
}

TEST_F(BinaryDataSetTest, Append_EachPostCountsInTheHeaderWithoutAClose) {
    WriteSmall({}, {});
    Data.Open();
    AppendSmall(Data, "first", 1);
    AppendSmall(Data, "second", 2);
    const QByteArray bytes = ReadFileBytes(Path);
    EXPECT_EQ(LE32At(bytes, 12), 2);
    EXPECT_EQ(bytes.mid(SmallDataStart), SmallRecord(0, "first", 1) + SmallRecord(0, "second", 2));
    EXPECT_EQ(Data.FieldByName("NAME").AsString(), "second") << "the new record becomes current";

    TBinaryDataSet other; // as if the program had ended here without closing
    other.SetTableName(Path);
    other.Open();
    EXPECT_EQ(other.GetRecordCount(), 2);
}

TEST_F(BinaryDataSetTest, EditPostCancel_WriteInPlaceOrRestore) {
    WriteFiveWithTwoDeleted();
    Data.Open();
    Data.Next();
    Data.Edit();
    Data.FieldByName("NAME").SetAsString("edited");
    EXPECT_TRUE(Data.Modified());
    Data.Post();
    Data.Edit();
    Data.FieldByName("N").SetAsInteger(99);
    Data.Cancel();
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 3);
    EXPECT_EQ(ReadFileBytes(Path).mid(SmallDataStart + 2 * SmallRecordSize, SmallRecordSize),
              SmallRecord(0, "edited", 3));
    EXPECT_THROW(Data.FieldByName("N").SetAsInteger(1), EDatabaseError) << "not editing";

    Data.Edit();
    Data.FieldByName("N").SetAsInteger(42);
    Data.Next(); // leaving the record posts it
    EXPECT_EQ(LE32At(ReadFileBytes(Path), SmallDataStart + 2 * SmallRecordSize + 18), 42);
}

TEST_F(BinaryDataSetTest, Delete_MovesToTheNextLiveRecordOrElseThePriorOne) {
    WriteSmall({SmallRecord(0, "r1", 1), SmallRecord(0, "r2", 2), SmallRecord(0, "r3", 3)}, {3, 0, -1});
    Data.Open();
    Data.Delete();
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 2);
    Data.Last();
    Data.Delete();
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 2) << "no next record: the prior one";
    EXPECT_EQ(Data.GetRecordCount(), 1);
    Data.Delete();
    EXPECT_TRUE(Data.IsEmpty());
    EXPECT_THROW(Data.Delete(), EDatabaseError);
}

TEST_F(BinaryDataSetTest, ReadOnly_RefusesEveryChange) {
    WriteFiveWithTwoDeleted();
    const QByteArray before = ReadFileBytes(Path);
    Data.SetReadOnly(true);
    Data.Open();
    EXPECT_FALSE(Data.CanModify());
    EXPECT_THROW(Data.Edit(), EDatabaseError);
    EXPECT_THROW(Data.Append(), EDatabaseError);
    EXPECT_THROW(Data.Delete(), EDatabaseError);
    EXPECT_THROW(Data.SetReadOnly(false), EDatabaseError) << "only while closed";
    Data.Close();
    EXPECT_EQ(ReadFileBytes(Path), before);
}

TEST_F(BinaryDataSetTest, StringFields_Windows1251BoundedBySizeAndRefusingOtherText) {
    WriteSmall({SmallRecord(0, "0123456789ABC", 1)}, {1, 0, -1});
    Data.Open();
    EXPECT_EQ(Data.FieldByName("NAME").AsString(), "0123456789") << "no NUL in the slot: at most the size";
    Data.Edit();
    Data.FieldByName("NAME").SetAsString("Проба Ёё№");
    Data.Post();
    EXPECT_EQ(ReadFileBytes(Path).mid(SmallDataStart + 4, 10), QByteArray::fromHex("cff0eee1e020a8b8b900"));
    EXPECT_EQ(Data.FieldByName("NAME").AsString(), "Проба Ёё№");

    const QByteArray before = ReadFileBytes(Path);
    Data.Edit();
    // Each refusal names the whole character; a NUL would end the stored text there.
    const std::pair<QString, QString> refused[] = {
        {"Łódź", "знак «Ł» (U+0141)"},
        {QString("a") + QChar(0) + "b", "знак U+0000"},
        {"ok😀", "знак «😀» (U+1F600)"},
    };
    for (const auto& [text, named] : refused) {
        try {
            Data.FieldByName("NAME").SetAsString(text);
            ADD_FAILURE() << "accepted";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.message(), "Поле «NAME» не может хранить " + named);
        }
    }
    Data.FieldByName("NAME").SetAsString("much longer than ten");
    Data.Post();
    EXPECT_EQ(Data.FieldByName("NAME").AsString(), "much longe") << "cut to the size as the framework does";
    EXPECT_EQ(ReadFileBytes(Path).size(), before.size());
}

TEST_F(BinaryDataSetTest, TypedFields_NativeBytesInTheSlots) {
    Data.FieldDefs.Add("S", ftSmallint);
    Data.FieldDefs.Add("W", ftWord);
    Data.FieldDefs.Add("B", ftBoolean);
    Data.FieldDefs.Add("F", ftFloat);
    Data.FieldDefs.Add("D", ftDate);
    Data.FieldDefs.Add("T", ftTime);
    Data.FieldDefs.Add("DT", ftDateTime);
    Data.CreateTable();
    Data.Open();
    Data.Append();
    EXPECT_TRUE(Data.FieldByName("D").IsNull()) << "the zero day of a fresh record is no date";
    EXPECT_EQ(Data.FieldByName("T").AsString(), "0:00:00") << "but the zero time is midnight";
    Data.FieldByName("S").SetAsString("-2");
    Data.FieldByName("W").SetAsInteger(65535);
    Data.FieldByName("B").SetAsBoolean(true);
    Data.FieldByName("F").SetAsString("2,5");
    Data.FieldByName("D").SetAsDate(QDate(2024, 3, 15));
    Data.FieldByName("T").SetAsString("13:45:30");
    Data.FieldByName("DT").SetAsDateTime(QDateTime(QDate(1, 1, 1), QTime(0, 0, 1), Qt::LocalTime));
    EXPECT_THROW(Data.FieldByName("S").SetAsInteger(32768), EDatabaseError);
    EXPECT_THROW(Data.FieldByName("W").SetAsInteger(-1), EDatabaseError);
    EXPECT_THROW(Data.FieldByName("S").SetAsString("x1"), EDatabaseError);
    EXPECT_THROW(Data.FieldByName("D").SetAsString("31.02.2024"), EDatabaseError);
    Data.Post();
    const QByteArray record = ReadFileBytes(Path).mid(36 + 7 * 41, 4 + 2 + 2 + 2 + 8 + 4 + 4 + 8);
    EXPECT_EQ(record.toHex(), "00000000"
                              "feff"
                              "ffff"
                              "ffff"
                              "0000000000000440"
                              "90460b00"           // day 738960: 2024-03-15 counted from 0001-01-01 as day 1
                              "90c4f302"           // 49,530,000 ms
                              "000000a07f999441"); // 86,401,000 ms as a double: day 1 and one second
    EXPECT_EQ(Data.FieldByName("D").AsString(), "15.03.2024");
    EXPECT_EQ(Data.FieldByName("T").AsTime(), QTime(13, 45, 30));
    EXPECT_EQ(Data.FieldByName("DT").AsDateTime(), QDateTime(QDate(1, 1, 1), QTime(0, 0, 1), Qt::UTC));
    EXPECT_EQ(Data.FieldByName("F").AsFloat(), 2.5);
    EXPECT_EQ(Data.FieldByName("B").AsString(), "True");
    EXPECT_EQ(Data.FieldByName("W").AsInteger(), 65535);
}

TEST_F(BinaryDataSetTest, FieldAccessWithoutABuffer_RaisesInsteadOfReportingSuccess) {
    TExposedDataSet data;
    data.SetTableName(Path);
    WriteSmall({SmallRecord(0, "a", 1)}, {1, 0, -1});
    data.Open();
    data.Edit();
    try {
        data.GetFieldData(data.FieldByName("NAME"), nullptr);
        ADD_FAILURE() << "no error";
    } catch (const EBinaryDataSetError& e) {
        EXPECT_EQ(e.message(), "very bad error in get field data");
    }
    try {
        data.SetFieldData(data.FieldByName("N"), nullptr);
        ADD_FAILURE() << "no error";
    } catch (const EBinaryDataSetError& e) {
        EXPECT_EQ(e.message(), "very bad error in setfield data");
    }
}

TEST_F(BinaryDataSetTest, TwoHandles_AppendsShowAfterReReadAndNoHeaderChangeIsLost) {
    WriteSmall({SmallRecord(0, "r1", 1)}, {1, 0, -1});
    TBinaryDataSet other;
    TBinaryDataSet stale; // stays on record 1 throughout
    for (TBinaryDataSet* data : {&Data, &other, &stale}) {
        data->SetTableName(Path);
        data->Open();
    }
    AppendSmall(other, "o2", 2);
    AppendSmall(other, "o3", 3);
    EXPECT_EQ(VisibleN(), (std::vector<int>{1})) << "not before a re-read";
    Data.Refresh();
    EXPECT_EQ(VisibleN(), (std::vector<int>{1, 2, 3}));

    Data.First();
    Data.Delete();               // this handle's header change...
    AppendSmall(other, "o4", 4); // ...and the other's right after it
    Data.Close();
    Data.Open();
    EXPECT_EQ(VisibleN(), (std::vector<int>{2, 3, 4}));
    const QByteArray bytes = ReadFileBytes(Path);
    EXPECT_EQ(LE32At(bytes, 12), 3);
    EXPECT_EQ(LE32At(bytes, 28), 1);
    EXPECT_EQ(LE32At(bytes, 24), 1);

    stale.Edit();
    stale.FieldByName("N").SetAsInteger(100);
    try {
        stale.Post();
        ADD_FAILURE() << "no error";
    } catch (const EBinaryDataSetError& e) {
        EXPECT_EQ(e.message(), "Record 1 has been deleted.");
    }
    stale.Cancel();
    stale.Delete();
    EXPECT_EQ(ReadFileBytes(Path), bytes) << "deleting the deleted record changes nothing";
    EXPECT_EQ(stale.GetRecordCount(), 3) << "but brings the handle's counts up to date";
}

TEST_F(BinaryDataSetTest, Refresh_KeepsTheCurrentRecordWhereItStillExists) {
    WriteFiveWithTwoDeleted();
    Data.Open();
    Data.Next();
    Data.Refresh();
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 3);
    TBinaryDataSet other;
    other.SetTableName(Path);
    other.Open();
    other.Next();
    other.Delete();
    Data.Refresh();
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 5) << "gone: the next live record";
}

TEST_F(BinaryDataSetTest, Events_FireAroundTheirOperations) {
    WriteSmall({SmallRecord(0, "r1", 1)}, {1, 0, -1});
    QStringList log;
    const auto logging = [&](const char* name) { return [&log, name](TDataSet*) { log << name; }; };
    Data.BeforeOpen = logging("BeforeOpen");
    Data.AfterOpen = logging("AfterOpen");
    Data.BeforeInsert = logging("BeforeInsert");
    Data.OnNewRecord = [&](TDataSet* sender) {
        log << "OnNewRecord";
        sender->FieldByName("N").SetAsInteger(7);
    };
    Data.BeforePost = logging("BeforePost");
    Data.AfterPost = logging("AfterPost");
    Data.BeforeScroll = logging("BeforeScroll");
    Data.AfterScroll = logging("AfterScroll");
    Data.BeforeClose = logging("BeforeClose");
    Data.AfterClose = logging("AfterClose");
    Data.Open();
    Data.Append();
    Data.Post();
    Data.Next();
    Data.Close();
    EXPECT_EQ(log, QStringList({"BeforeOpen", "AfterOpen", "BeforeInsert", "OnNewRecord", "BeforePost",
                                "AfterPost", "BeforeScroll", "AfterScroll", "BeforeClose", "AfterClose"}));
    Data.Open();
    Data.Last();
    EXPECT_EQ(Data.FieldByName("N").AsInteger(), 7);
}

} // namespace
