// One table file shared by handles in this process and another: locks that keep every change whole, and
// that give up with a message instead of hanging.
#include "binary-dataset/tests/LockHolder.h"
#include "binary-dataset/tests/TableChild.h"
#include "framework/DataSetTableModel.h"
#include "framework/Win1251.h"
#include "framework/testing/FakeClock.h"
#include "framework/testing/SystemCallFaults.h"

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

TEST(BinaryDataSetSharing, LockHeldByAnotherProcess_EachAccessWaitsItsLimitOnceThenRaises) {
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
        bool OnTheHandle; // an access of an open handle, which stops waiting once its wait ran out
        std::function<void(TTableFile&)> Run;
    };
    const std::vector<TAccess> accesses = {
        {"open for writing", true, false, [&](TTableFile&) { TTableFile(path, false); }},
        {"open for reading", false, false, [&](TTableFile&) { TTableFile(path, true); }},
        {"read a record", false, true,
         [](TTableFile& file) { file.ReadRecord(1, std::vector<uint8_t>(32).data()); }},
        {"re-read", false, true, [](TTableFile& file) { file.Refresh(); }},
        {"append", true, true, [&](TTableFile& file) { file.Append(bytes); }},
        {"rewrite", true, true, [&](TTableFile& file) { file.Rewrite(0, bytes); }},
        {"delete", true, true, [](TTableFile& file) { file.MarkDeleted(2); }},
        {"create over it", true, false, [&](TTableFile&) { TTableFile::Create(path, fields, true); }},
    };
    const QString message =
        QStringLiteral("Файл таблицы \"%1\" занят другой программой. Попробуйте ещё раз позже.").arg(path);
    for (const int held : {LOCK_EX, LOCK_SH}) {
        WriteFileBytes(path, TableBytes({{"ID", ftInteger, 4, 0}, {"TEXT", ftString, 24, 20}}, {3, 0, -1}) +
                                 record + record + record);
        // Handles opened before the other process takes its lock.
        std::vector<std::unique_ptr<TTableFile>> handles;
        for (size_t i = 0; i < accesses.size(); ++i)
            handles.push_back(std::make_unique<TTableFile>(path, false));
        TLockHolder holder(path, held);
        ASSERT_TRUE(holder.Held);
        const QByteArray before = ReadFileBytes(path);
        for (size_t i = 0; i < accesses.size(); ++i) {
            SCOPED_TRACE(std::string(accesses[i].Name) +
                         (held == LOCK_EX ? " beside a writer" : " beside a reader"));
            const bool refused = accesses[i].Changes || held == LOCK_EX;
            // The first time waits the limit; on the same handle, the second tries once.
            for (const bool again : {false, true}) {
                FakeClock clock(1000, 100);
                QString raised;
                try {
                    accesses[i].Run(*handles[i]);
                } catch (const EBinaryDataSetError& e) {
                    raised = e.message();
                }
                EXPECT_EQ(raised, refused ? message : QString()) << (again ? "again" : "");
                const uint32_t waited = clock.Now - 1000;
                if (!refused)
                    continue;
                if (again && accesses[i].OnTheHandle) {
                    EXPECT_LE(waited, 2 * clock.Step) << "no second wait";
                } else {
                    EXPECT_GE(waited, TableLockWaitMs) << "waited its limit";
                    EXPECT_LE(waited, TableLockWaitMs + 2 * clock.Step) << "and no longer";
                }
            }
        }
        EXPECT_EQ(ReadFileBytes(path), before) << "nothing changed while the other held the lock";
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"locked.dat"})
            << "nor was left beside it";
        holder.Let();
        // Once the other process let go, every access goes through; the last replaces the table.
        for (size_t i = 0; i < accesses.size(); ++i)
            EXPECT_NO_THROW(accesses[i].Run(*handles[i])) << accesses[i].Name;
    }
}

TEST(BinaryDataSetSharing, LocksInterruptedEveryTimeWaitTheLimitAndLocksNotSupportedSaySo) {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.dat");
    CreateChildTable(path);
    TTableFile handle(path, false);
    QByteArray record(ChildRecordSize, '\0');
    const auto* bytes = reinterpret_cast<const uint8_t*>(record.constData());
    const QString busy =
        QStringLiteral("Файл таблицы \"%1\" занят другой программой. Попробуйте ещё раз позже.").arg(path);
    const QString unsupported =
        QStringLiteral("Файловая система не поддерживает блокировку файла таблицы \"%1\": две программы не "
                       "могут работать с ним вместе.")
            .arg(path);
    const struct {
        int Error;
        QString Message;
        bool Waits;
    } faults[] = {{EINTR, busy, true}, {ENOLCK, unsupported, false}, {EOPNOTSUPP, unsupported, false}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(strerror(fault.Error));
        const std::vector<std::pair<const char*, std::function<void()>>> accesses = {
            {"open", [&] { TTableFile(path, true); }}, {"append", [&] { handle.Append(bytes); }}};
        for (const auto& [name, access] : accesses) {
            const TFlockFault flock(fault.Error);
            FakeClock clock(1000, 100);
            try {
                access();
                ADD_FAILURE() << name << " went through";
            } catch (const EBinaryDataSetError& e) {
                EXPECT_EQ(e.message(), fault.Message) << name;
            }
            EXPECT_EQ(clock.Now - 1000 >= TableLockWaitMs, fault.Waits) << name;
        }
    }
    EXPECT_EQ(ReadFileBytes(path).size(), ChildDataStart) << "nothing was written";
    EXPECT_NO_THROW(handle.Append(bytes)) << "a lock had again";
}
