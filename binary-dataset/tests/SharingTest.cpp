// One table file shared by handles in this process and another: locks that keep every change whole, and
// that give up with a message instead of hanging.
#include "binary-dataset/tests/TableChild.h"
#include "framework/DataSetTableModel.h"
#include "framework/Win1251.h"
#include "framework/testing/FakeClock.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <map>
#include <set>
#include <sys/file.h>
#include <sys/wait.h>

namespace {

// The file's bytes as one change leaves them: read under a shared lock of its own.
QByteArray LockedSnapshot(const QString& path) {
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_SH), 0);
    QFile file;
    EXPECT_TRUE(file.open(fd, QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    close(fd);
    return bytes;
}

struct TExpected {
    bool Live = true;
    QString Text;
};

// What each record of the child's table must be, by ID, and the records the child has reported so far.
class TSharedTableOracle {
public:
    TSharedTableOracle(const QString& path, int childReports) : Path(path), Reports(childReports) {
        fcntl(Reports, F_SETFL, O_NONBLOCK);
    }

    std::map<int, TExpected> Records;

    // A record this process saw: the child may not have reported it yet.
    TExpected& Record(int id) { return Records.try_emplace(id, TExpected{true, ChildText}).first->second; }

    // Takes in the appends the child has reported by now.
    void TakeReports() {
        char chunk[4096];
        for (ssize_t got; (got = read(Reports, chunk, sizeof chunk)) > 0;)
            Pending.append(chunk, got);
        for (qsizetype end; (end = Pending.indexOf('\n')) >= 0; Pending.remove(0, end + 1)) {
            Record(Pending.mid(2, end - 2).toInt());
        }
    }

    // The layout holds, every record is where and as it should be, and only the child's unreported
    // appends are records the oracle does not know.
    void Check(const std::string& step) {
        SCOPED_TRACE(step);
        TakeReports();
        const QByteArray bytes = LockedSnapshot(Path);
        ExpectSoundTable(bytes, LE32At(bytes, 12));
        std::map<int, TExpected> onDisk;
        for (qsizetype at = ChildDataStart; at + ChildRecordSize <= bytes.size(); at += ChildRecordSize) {
            const QByteArray text = bytes.mid(at + 8, 24);
            const auto [_, fresh] = onDisk.try_emplace(
                LE32At(bytes, at + 4),
                TExpected{LE32At(bytes, at) == 0, DecodeWin1251(text.left(text.indexOf('\0')))});
            EXPECT_TRUE(fresh) << "record " << LE32At(bytes, at + 4) << " twice";
        }
        for (const auto& [id, expected] : Records) {
            const auto found = onDisk.find(id);
            ASSERT_NE(found, onDisk.end()) << "record " << id << " is lost";
            EXPECT_EQ(found->second.Live, expected.Live) << "record " << id;
            EXPECT_EQ(found->second.Text, expected.Text) << "record " << id;
        }
        for (const auto& [id, record] : onDisk)
            if (!Records.count(id)) {
                EXPECT_TRUE(record.Live && record.Text == ChildText) << "record " << id << " from nowhere";
            }
    }

private:
    const QString ChildText = QStringLiteral("запись");
    QString Path;
    int Reports;
    QByteArray Pending;
};

int CurrentId(TBinaryDataSet& data) {
    return data.FieldByName("ID").AsInteger();
}

// Moves `steps` live records on from the first, stopping at the last.
void MoveTo(TBinaryDataSet& data, int steps) {
    data.First();
    for (; steps > 0 && !data.Eof(); --steps)
        data.Next();
    if (data.Eof())
        data.Last();
}

} // namespace

TEST(BinaryDataSetSharing, AnotherProcessAppendsWhileTwoHandlesEditDeleteAndClose) {
    QTemporaryDir dir;
    const QString path = dir.filePath("shared.dat");
    CreateChildTable(path);
    TBinaryDataSet editor;
    TBinaryDataSet deleter;
    for (TBinaryDataSet* data : {&editor, &deleter}) {
        data->SetTableName(path);
        data->Open();
    }
    // The grid over the editor, re-read as the records viewer's "Обновить" does.
    TDataSetTableModel grid(editor, {{"ID", "ID", -1, false}});
    int nextOwnId = 1'000'000;
    const auto appendOwn = [&](TSharedTableOracle& oracle) {
        editor.Append();
        editor.FieldByName("ID").SetAsInteger(nextOwnId);
        editor.FieldByName("TEXT").SetAsString("своя");
        editor.Post();
        oracle.Records[nextOwnId++] = {true, QStringLiteral("своя")};
    };

    const TChildProcess child = StartChild(path, 0, 1, 4000);
    ASSERT_GE(child.Reports, 0);
    TSharedTableOracle oracle(path, child.Reports);
    bool childRunning = true;
    // However the two processes interleave, each step must leave the file sound; the child's appends are
    // many, so that most steps meet some of them.
    for (int round = 0; round < 30 || childRunning; ++round) {
        const std::string name = "round " + std::to_string(round);
        appendOwn(oracle);
        oracle.Check(name + ", append");

        editor.Refresh();
        MoveTo(editor, round % 7);
        const int edited = CurrentId(editor);
        editor.Edit();
        editor.FieldByName("TEXT").SetAsString(QStringLiteral("правка %1").arg(round));
        editor.Post();
        oracle.Record(edited).Text = QStringLiteral("правка %1").arg(round);
        oracle.Check(name + ", edit");

        deleter.Refresh();
        MoveTo(deleter, round % 5);
        const int deleted = CurrentId(deleter);
        deleter.Delete();
        oracle.Record(deleted).Live = false;
        oracle.Check(name + ", delete");

        if (round % 4 == 3) {
            deleter.Close();
            oracle.Check(name + ", close");
            deleter.Open();
        }
        if (round % 4 == 1) {
            oracle.TakeReports();
            const std::map<int, TExpected> reported = oracle.Records;
            grid.ReRead();
            std::set<int> shown;
            for (int row = 0; row < grid.rowCount(); ++row)
                shown.insert(grid.data(grid.index(row, 0)).toInt());
            for (const auto& [id, expected] : reported)
                EXPECT_EQ(shown.count(id), expected.Live ? 1u : 0u) << name << ", record " << id;
        }
        int status = 0;
        if (childRunning && waitpid(child.Pid, &status, WNOHANG) == child.Pid) {
            childRunning = false;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child failed";
        }
    }
    editor.Close();
    deleter.Close();
    oracle.Check("closed");
    close(child.Reports);
    int live = 0;
    for (const auto& [id, expected] : oracle.Records)
        live += expected.Live;
    EXPECT_EQ(std::count_if(oracle.Records.begin(), oracle.Records.end(),
                            [](const auto& record) { return record.first < 1'000'000; }),
              4000)
        << "every append of the child reported";
    TBinaryDataSet fresh;
    fresh.SetTableName(path);
    fresh.Open();
    EXPECT_EQ(fresh.GetRecordCount(), live);
}

TEST(BinaryDataSetSharing, LockHeldByAnotherProcess_EachAccessWaitsItsLimitThenRaises) {
    QTemporaryDir dir;
    const QString path = dir.filePath("locked.dat");
    const std::vector<TFieldDescriptor> fields = {{"ID", ftInteger, 4, 0}, {"TEXT", ftString, 24, 20}};
    QByteArray record;
    AppendLE32(record, 0);
    AppendLE32(record, 7);
    record.append(24, '\0');
    const auto* bytes = reinterpret_cast<const uint8_t*>(record.constData());
    struct TAccess {
        const char* Name;
        bool Changes;
        std::function<void(TTableFile&)> Run;
    };
    const std::vector<TAccess> accesses = {
        {"open for writing", true, [&](TTableFile&) { TTableFile(path, false); }},
        {"open for reading", false, [&](TTableFile&) { TTableFile(path, true); }},
        {"read a record", false,
         [](TTableFile& file) { file.ReadRecord(1, std::vector<uint8_t>(32).data()); }},
        {"re-read", false, [](TTableFile& file) { file.Refresh(); }},
        {"append", true, [&](TTableFile& file) { file.Append(bytes); }},
        {"rewrite", true, [&](TTableFile& file) { file.Rewrite(0, bytes); }},
        {"delete", true, [](TTableFile& file) { file.MarkDeleted(2); }},
        {"create over it", true, [&](TTableFile&) { TTableFile::Create(path, fields, true); }},
    };
    const QString message =
        QStringLiteral("The table file \"%1\" is locked by another program. Try again later.").arg(path);
    for (const int held : {LOCK_EX, LOCK_SH}) {
        WriteFileBytes(path, TableBytes({{"ID", ftInteger, 4, 0}, {"TEXT", ftString, 24, 20}}, {3, 0, -1}) +
                                 record + record + record);
        // Handles opened before the other process takes its lock.
        std::vector<std::unique_ptr<TTableFile>> handles;
        for (size_t i = 0; i < accesses.size(); ++i)
            handles.push_back(std::make_unique<TTableFile>(path, false));
        int ready[2];
        int release[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(release), 0);
        const QByteArray name = QFile::encodeName(path);
        const pid_t holder = fork();
        ASSERT_GE(holder, 0);
        if (holder == 0) {
            // Nothing but system calls between fork and exit.
            const int fd = open(name.constData(), O_RDONLY);
            char byte = flock(fd, held) == 0 ? 'L' : 'F';
            if (write(ready[1], &byte, 1) == 1) [[maybe_unused]]
                const ssize_t ignored = read(release[0], &byte, 1);
            _exit(0);
        }
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        ASSERT_EQ(byte, 'L');
        const QByteArray before = ReadFileBytes(path);
        for (size_t i = 0; i < accesses.size(); ++i) {
            SCOPED_TRACE(std::string(accesses[i].Name) +
                         (held == LOCK_EX ? " beside a writer" : " beside a reader"));
            FakeClock clock(1000, 100);
            QString raised;
            try {
                accesses[i].Run(*handles[i]);
            } catch (const EBinaryDataSetError& e) {
                raised = e.message();
            }
            if (accesses[i].Changes || held == LOCK_EX) {
                EXPECT_EQ(raised, message);
                EXPECT_GE(clock.Now - 1000, TableLockWaitMs) << "waited its limit";
                EXPECT_LE(clock.Now - 1000, TableLockWaitMs + 2 * clock.Step) << "and no longer";
            } else {
                EXPECT_EQ(raised, "") << "readers share";
            }
        }
        EXPECT_EQ(ReadFileBytes(path), before) << "nothing changed while the other held the lock";
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"locked.dat"})
            << "nor was left beside it";
        ASSERT_EQ(write(release[1], "x", 1), 1);
        int status = 0;
        waitpid(holder, &status, 0);
        for (int fd : {ready[0], ready[1], release[0], release[1]})
            close(fd);
        // Once the other process let go, every access goes through; the last replaces the table.
        for (size_t i = 0; i < accesses.size(); ++i)
            EXPECT_NO_THROW(accesses[i].Run(*handles[i])) << accesses[i].Name;
    }
}
