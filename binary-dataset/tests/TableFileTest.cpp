#include "binary-dataset/TableFile.h"
#include "binary-dataset/CommonBase.h"
#include "binary-dataset/tests/TableBytes.h"
#include "framework/testing/FileSizeLimit.h"
#include "framework/testing/MessageBoxSpy.h"
#include "framework/testing/SystemCallFaults.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

class TableFileTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path = Dir.filePath("t.dat");

    // A small table holding `records`, with a header that counts `counts`.
    void Write(const std::vector<QByteArray>& records, TTestCounts counts, const QByteArray& tail = {}) {
        QByteArray bytes = TableBytes(SmallFields, counts);
        for (const QByteArray& r : records)
            bytes.append(r);
        WriteFileBytes(Path, bytes + tail);
    }

    QByteArray RecordOnDisk(int n) const {
        return ReadFileBytes(Path).mid(SmallDataStart + n * SmallRecordSize, SmallRecordSize);
    }

    static QByteArray Read(TTableFile& file, int64_t n) {
        QByteArray record(SmallRecordSize, '\0');
        file.ReadRecord(n, reinterpret_cast<uint8_t*>(record.data()));
        return record;
    }
};

} // namespace

TEST_F(TableFileTest, Open_RecordsBeyondTheCounts_AreCountedByLinkWordAndTheHeaderRepaired) {
    // The header counts one record; two more whole ones (one deleted) and half a record follow.
    Write({SmallRecord(0, "a", 1), SmallRecord(0, "b", 2), SmallRecord(-1, "c", 3)}, {1, 0, -1}, "partial");
    const QByteArray before = ReadFileBytes(Path);
    {
        TTableFile readOnly(Path, true);
        EXPECT_EQ(readOnly.Header().LiveCount, 2);
        EXPECT_EQ(readOnly.Header().DeletedCount, 1);
        EXPECT_EQ(ReadFileBytes(Path), before) << "a read-only handle writes nothing";
    }
    TTableFile file(Path, false);
    EXPECT_EQ(file.PhysicalCount(), 3);
    const QByteArray after = ReadFileBytes(Path);
    EXPECT_EQ(LE32At(after, 12), 2);
    EXPECT_EQ(LE32At(after, 28), 1);
    // The partial record was never counted by anyone: a writable handle cuts it off, so that the file's
    // size agrees with its header again.
    EXPECT_EQ(after.size(), SmallDataStart + 3 * SmallRecordSize);
    EXPECT_EQ(after.mid(36), before.mid(36, after.size() - 36)) << "only the header changes before the cut";
}

TEST_F(TableFileTest, Open_ZeroRecordsPastTheCounts_AreCutUnlessARecordWithDataFollows) {
    const QByteArray zero(SmallRecordSize, '\0');
    // Past the counted records, zero records written out and then a sparse tail: those before a record that
    // holds data are taken in with it, the others cut.
    struct TCase {
        const char* Name;
        std::vector<QByteArray> Beyond;
        int KeptBeyond;
        int32_t Live;
    };
    for (const TCase& c : {TCase{"zeros only", {zero}, 0, 1},
                           TCase{"data after a zero record", {zero, SmallRecord(0, "c", 3), zero}, 2, 3}}) {
        SCOPED_TRACE(c.Name);
        std::vector<QByteArray> records = {SmallRecord(0, "a", 1), SmallRecord(-1, "b", 2)};
        records.insert(records.end(), c.Beyond.begin(), c.Beyond.end());
        Write(records, {1, 1, 2});
        const int64_t kept = SmallDataStart + (2 + c.KeptBeyond) * SmallRecordSize;
        constexpr int64_t zeroRecords = 2'000'000;
        ASSERT_TRUE(
            QFile::resize(Path, SmallDataStart + (int64_t(records.size()) + zeroRecords) * SmallRecordSize));
        {
            TTableFile readOnly(Path, true);
            EXPECT_EQ(readOnly.Header().LiveCount, c.Live);
            EXPECT_EQ(readOnly.Header().DeletedCount, 1);
        }
        TTableFile file(Path, false);
        EXPECT_EQ(file.Header().LiveCount, c.Live);
        EXPECT_EQ(QFileInfo(Path).size(), kept) << "the zero tail is cut";
        EXPECT_EQ(LE32At(ReadFileBytes(Path), 12), c.Live);

        // Zeros that turn up behind an open handle are cut before its next change.
        ASSERT_TRUE(QFile::resize(Path, kept + 3 * SmallRecordSize));
        const QByteArray added = SmallRecord(0, "new", 9);
        EXPECT_EQ(file.Append(reinterpret_cast<const uint8_t*>(added.constData())), 2 + c.KeptBeyond);
        EXPECT_EQ(QFileInfo(Path).size(), kept + SmallRecordSize);
        EXPECT_EQ(LE32At(ReadFileBytes(Path), 12), c.Live + 1);
    }
}

TEST_F(TableFileTest, Append_GoesAfterTheLastWholeRecordThenTheHeaderCountsIt) {
    Write({SmallRecord(0, "a", 1)}, {1, 0, -1}, "partial");
    TTableFile file(Path, false);
    const QByteArray added = SmallRecord(0, "new", 9);
    EXPECT_EQ(file.Append(reinterpret_cast<const uint8_t*>(added.constData())), 1);
    const QByteArray bytes = ReadFileBytes(Path);
    EXPECT_EQ(bytes.size(), SmallDataStart + 2 * SmallRecordSize) << "the partial record is overwritten";
    EXPECT_EQ(RecordOnDisk(1), added);
    EXPECT_EQ(LE32At(bytes, 12), 2);
}

TEST_F(TableFileTest, Append_ShortWrite_IsCutBackAndRaises) {
    Write({SmallRecord(0, "a", 1)}, {1, 0, -1});
    const QByteArray before = ReadFileBytes(Path);
    TTableFile file(Path, false);
    // A file size limit ten bytes past the end makes the record's write come up short.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = rlim_t(before.size() + 10);
    setrlimit(RLIMIT_FSIZE, &limit);
    const QByteArray added = SmallRecord(0, "new", 9);
    QString message;
    try {
        file.Append(reinterpret_cast<const uint8_t*>(added.constData()));
    } catch (const EBinaryDataSetError& e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(message, "Stream write error");
    EXPECT_EQ(ReadFileBytes(Path), before);
    EXPECT_EQ(file.Header().LiveCount, 1);
}

TEST_F(TableFileTest, MarkDeleted_ChainsLinkWordsAndRewritesTheHeaderAtOnce) {
    Write({SmallRecord(0, "a", 1), SmallRecord(0, "b", 2), SmallRecord(0, "c", 3)}, {3, 0, -1});
    TTableFile file(Path, false);
    EXPECT_TRUE(file.MarkDeleted(1));
    EXPECT_EQ(LE32At(RecordOnDisk(1), 0), -1) << "the first deleted record ends the chain";
    EXPECT_EQ(RecordOnDisk(1).mid(4), SmallRecord(0, "b", 2).mid(4)) << "the slots stay as they were";
    QByteArray bytes = ReadFileBytes(Path);
    EXPECT_EQ(LE32At(bytes, 24), 2) << "chain head: 1-based number of the record deleted last";
    EXPECT_EQ(LE32At(bytes, 12), 2);
    EXPECT_EQ(LE32At(bytes, 28), 1);

    EXPECT_TRUE(file.MarkDeleted(2));
    EXPECT_EQ(LE32At(RecordOnDisk(2), 0), 2) << "links to the record deleted before it";
    bytes = ReadFileBytes(Path);
    EXPECT_EQ(LE32At(bytes, 24), 3);
    EXPECT_EQ(LE32At(bytes, 12), 1);
    EXPECT_EQ(LE32At(bytes, 28), 2);

    EXPECT_FALSE(file.MarkDeleted(2)) << "deleting a deleted record";
    EXPECT_EQ(ReadFileBytes(Path), bytes) << "changes nothing";
}

TEST_F(TableFileTest, MarkDeleted_ChainHeadOutOfRange_StartsANewChain) {
    Write({SmallRecord(0, "a", 1)}, {1, 0, 0});
    TTableFile file(Path, false);
    EXPECT_TRUE(file.MarkDeleted(0));
    EXPECT_EQ(LE32At(RecordOnDisk(0), 0), -1) << "a link word of 0 would bring the record back";
}

TEST_F(TableFileTest, Writes_NameTheirRecordAndCheckItAgainstTheFile) {
    Write({SmallRecord(0, "a", 1), SmallRecord(-1, "b", 2)}, {1, 1, 2});
    TTableFile file(Path, false);
    const QByteArray changed = SmallRecord(77, "changed", 5);
    const auto* bytes = reinterpret_cast<const uint8_t*>(changed.constData());
    file.Rewrite(0, bytes);
    EXPECT_EQ(RecordOnDisk(0), SmallRecord(0, "changed", 5)) << "the link word on disk stays 0";
    EXPECT_THROW(file.Rewrite(1, bytes), EBinaryDataSetError);
    EXPECT_EQ(RecordOnDisk(1), SmallRecord(-1, "b", 2));
    for (int64_t n : {-1, 2, 1000}) {
        EXPECT_THROW(file.Rewrite(n, bytes), EBinaryDataSetError) << n;
        EXPECT_THROW(file.MarkDeleted(n), EBinaryDataSetError) << n;
    }
    try {
        file.Rewrite(1, bytes);
    } catch (const EBinaryDataSetError& e) {
        EXPECT_EQ(e.message(), "Record 2 has been deleted.");
    }
    try {
        file.Rewrite(2, bytes);
    } catch (const EBinaryDataSetError& e) {
        EXPECT_EQ(e.message(), "Record 3 is not in the table file.");
    }
}

TEST_F(TableFileTest, ReadRecord_ForwardAndBackwardAcrossWindows) {
    // More than two windows' worth of records, each holding its own number.
    constexpr int count = 25'000;
    std::vector<QByteArray> records;
    for (int i = 0; i < count; ++i)
        records.push_back(SmallRecord(0, QByteArray::number(i), i));
    Write(records, {count, 0, -1});
    TTableFile file(Path, true);
    for (int i = 0; i < count; i += 7)
        ASSERT_EQ(Read(file, i), records[size_t(i)]) << i;
    for (int i = count - 1; i >= 0; i -= 5)
        ASSERT_EQ(Read(file, i), records[size_t(i)]) << i;
    EXPECT_EQ(Read(file, count - 1), records.back());
    EXPECT_EQ(Read(file, 0), records.front());
}

TEST_F(TableFileTest, Refresh_ShowsWhatAnotherHandleWrote) {
    Write({SmallRecord(0, "a", 1)}, {1, 0, -1});
    TTableFile reader(Path, true);
    EXPECT_EQ(Read(reader, 0), SmallRecord(0, "a", 1));
    {
        TTableFile writer(Path, false);
        const QByteArray changed = SmallRecord(0, "b", 2);
        writer.Rewrite(0, reinterpret_cast<const uint8_t*>(changed.constData()));
        writer.Append(reinterpret_cast<const uint8_t*>(changed.constData()));
    }
    EXPECT_EQ(reader.PhysicalCount(), 1);
    reader.Refresh();
    EXPECT_EQ(reader.PhysicalCount(), 2);
    EXPECT_EQ(Read(reader, 0), SmallRecord(0, "b", 2));
}

TEST_F(TableFileTest, Create_WritesTheEmptyTableOverTheOldFile) {
    WriteFileBytes(Path, "old contents");
    const std::vector<TFieldDescriptor> descriptors = {{"NAME", ftString, 14, 10}, {"N", ftInteger, 4, 0}};
    EXPECT_EQ(TTableFile::Create(Path, descriptors, true), SmallRecordSize);
    EXPECT_EQ(ReadFileBytes(Path), TableBytes(SmallFields));
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"t.dat"}) << "no temporary file stays";
    EXPECT_THROW(TTableFile::Create(Dir.filePath("missing/t.dat"), descriptors, false), EBinaryDataSetError);
    // A write cut short, as on a full disk, leaves the table as it was.
    {
        const FileSizeLimit limit(8);
        EXPECT_THROW(TTableFile::Create(Path, descriptors, true), EBinaryDataSetError);
    }
    EXPECT_EQ(ReadFileBytes(Path), TableBytes(SmallFields));

    // A name that is a link, dangling or not, is never created through: its target stays as it was.
    const QString target = Dir.filePath("target.dat");
    const QString link = Dir.filePath("link.dat");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_THROW(TTableFile::Create(link, descriptors, true), EBinaryDataSetError);
    EXPECT_FALSE(QFileInfo::exists(target));
    WriteFileBytes(target, "old contents");
    EXPECT_THROW(TTableFile::Create(link, descriptors, true), EBinaryDataSetError);
    EXPECT_EQ(ReadFileBytes(target), "old contents");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST_F(TableFileTest, Create_ReplacesOnlyWhenAsked_AndHandlesOnTheOldTableRaiseRatherThanWriteIntoNothing) {
    const std::vector<TFieldDescriptor> descriptors = {{"NAME", ftString, 14, 10}, {"N", ftInteger, 4, 0}};
    const QString fresh = Dir.filePath("fresh.dat");
    TTableFile::Create(fresh, descriptors, false);
    WriteFileBytes(Dir.filePath("plain"), "any new file");
    EXPECT_EQ(QFileInfo(fresh).permissions(), QFileInfo(Dir.filePath("plain")).permissions());

    Write({SmallRecord(0, "a", 1)}, {1, 0, -1});
    const QByteArray before = ReadFileBytes(Path);
    try {
        TTableFile::Create(Path, descriptors, false);
        ADD_FAILURE() << "no error";
    } catch (const EBinaryDataSetError& e) {
        EXPECT_EQ(e.message(), "Cannot create file \"" + Path + "\". It already exists.");
    }
    EXPECT_EQ(ReadFileBytes(Path), before);

    const QByteArray record = SmallRecord(0, "lost", 2);
    const auto* bytes = reinterpret_cast<const uint8_t*>(record.constData());
    const std::vector<std::function<void(TTableFile&)>> changes = {
        [&](TTableFile& file) { file.Append(bytes); },
        [&](TTableFile& file) { file.Rewrite(0, bytes); },
        [](TTableFile& file) { file.MarkDeleted(0); },
    };
    for (const bool removed : {false, true}) {
        Write({SmallRecord(0, "a", 1)}, {1, 0, -1});
        std::vector<std::unique_ptr<TTableFile>> handles;
        for (size_t i = 0; i < changes.size(); ++i)
            handles.push_back(std::make_unique<TTableFile>(Path, false));
        if (removed)
            ASSERT_TRUE(QFile::remove(Path));
        else
            TTableFile::Create(Path, descriptors, true);
        const QByteArray now = ReadFileBytes(Path);
        for (size_t i = 0; i < changes.size(); ++i) {
            try {
                changes[i](*handles[i]);
                ADD_FAILURE() << "change " << i << " reported success, removed " << removed;
            } catch (const EBinaryDataSetError& e) {
                EXPECT_EQ(e.message(), "The table file \"" + Path +
                                           "\" was replaced or removed by another program. Open it again.");
            }
        }
        EXPECT_EQ(ReadFileBytes(Path), now);
    }
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList({"fresh.dat", "plain"}));
}

TEST_F(TableFileTest, CreateWhenMissing_NeverReplacesAnotherProgramsTableNorAsks) {
    const QByteArray others = TableBytes(SmallFields, {1, 0, -1}) + SmallRecord(0, "theirs", 1);
    MessageBoxSpy boxes;
    // renameat2 refusing to replace in one step, and a file system where it answers EINVAL, so that a link
    // must refuse instead.
    for (const int renameError : {0, EINVAL}) {
        SCOPED_TRACE(renameError);
        QFile::remove(Path);
        {
            const TRenameFault fault(renameError);
            CreateRecordTableWhenMissing(Path);
        }
        EXPECT_EQ(QFileInfo(Path).size(), 692) << "the records table";
        // The other program makes its table between the look and the creation.
        QFile::remove(Path);
        {
            const TRenameFault fault(renameError, [&] { WriteFileBytes(Path, others); });
            EXPECT_NO_THROW(CreateRecordTableWhenMissing(Path));
        }
        EXPECT_EQ(ReadFileBytes(Path), others) << "theirs stays";
        EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"t.dat"}) << "no temporary file stays";
    }
    EXPECT_TRUE(boxes.Requests.empty()) << "nothing asks";
}
