// The table file under kills: at random moments, and exactly between a deletion's link word and its header.
#include "binary-dataset/tests/TableChild.h"

#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class TFate { Live, Deleting, Deleted };

struct TChildReports {
    std::map<int, TFate> Fates;
    int HighestId = 0;
};

// Runs the child on the table from `firstId`, kills it after `killAfter` reports and takes in every report it
// made before it died.
void RunAndKill(const QString& path, unsigned seed, int firstId, int killAfter, TChildReports& reports) {
    const TChildProcess started = StartChild(path, seed, firstId);
    ASSERT_GE(started.Reports, 0);
    const pid_t child = started.Pid;
    FILE* out = fdopen(started.Reports, "r");
    char what = 0;
    int id = 0;
    for (int seen = 0; std::fscanf(out, " %c %d", &what, &id) == 2; ++seen) {
        if (seen == killAfter)
            kill(child, SIGKILL);
        reports.Fates[id] = what == 'A' ? TFate::Live : what == 'd' ? TFate::Deleting : TFate::Deleted;
        reports.HighestId = std::max(reports.HighestId, id);
    }
    std::fclose(out);
    kill(child, SIGKILL); // in case it ended its output some other way
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child failed on its own";
}

} // namespace

TEST(BinaryDataSetCrash, KilledWhileAppendingAndDeleting_ReopensWithEveryReturnedAppend) {
    QTemporaryDir dir;
    const QString path = dir.filePath("crash.dat");
    CreateChildTable(path);
    std::mt19937 random(20240315);
    TChildReports reports;
    for (int round = 0; round < 25; ++round) {
        RunAndKill(path, unsigned(random()), reports.HighestId + 1, int(random() % 400), reports);
        const int highestReported = reports.HighestId;

        TBinaryDataSet data;
        data.SetTableName(path);
        ASSERT_NO_THROW(data.Open()) << "round " << round;
        std::set<int> live;
        for (data.First(); !data.Eof(); data.Next()) {
            const int id = data.FieldByName("ID").AsInteger();
            EXPECT_TRUE(live.insert(id).second) << "record " << id << " twice";
            const auto fate = reports.Fates.find(id);
            if (fate == reports.Fates.end()) {
                EXPECT_GT(id, highestReported) << "only the append cut off by the kill is unreported";
                reports.HighestId = std::max(reports.HighestId, id);
                reports.Fates[id] = TFate::Live; // it made it: from now on it must stay
            } else {
                EXPECT_NE(fate->second, TFate::Deleted) << "record " << id << " came back";
            }
        }
        for (auto& [id, fate] : reports.Fates) {
            if (fate == TFate::Live) {
                EXPECT_TRUE(live.count(id))
                    << "record " << id << " was appended and is lost, round " << round;
            }
            if (fate == TFate::Deleting)
                fate = live.count(id) ? TFate::Live : TFate::Deleted;
        }
        EXPECT_EQ(data.GetRecordCount(), int(live.size())) << "round " << round;
    }
}

#if defined(__x86_64__)

namespace {

// Runs the child under ptrace and kills it right after the `killAt`-th 4-byte pwrite has returned: the
// link word of a deletion, written before its header. Nothing else the table file does writes 4 bytes.
void KillAfterLinkWordWrite(const QString& path, unsigned seed, int firstId, int killAt) {
    const QByteArray table = path.toLocal8Bit();
    const std::string seedText = std::to_string(seed);
    const std::string firstText = std::to_string(firstId);
    char* argv[] = {const_cast<char*>(CRASH_CHILD), const_cast<char*>(table.constData()),
                    const_cast<char*>(seedText.c_str()), const_cast<char*>(firstText.c_str()), nullptr};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(CRASH_CHILD, argv);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0); // stopped at its exec
    ASSERT_TRUE(WIFSTOPPED(status));
    ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    int seen = 0;
    bool inSyscall = false;
    int signal = 0;
    for (;;) {
        ptrace(PTRACE_SYSCALL, child, nullptr, reinterpret_cast<void*>(intptr_t(signal)));
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSTOPPED(status)) << "the child ended on its own";
        signal = 0;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            signal = WSTOPSIG(status);
            continue;
        }
        inSyscall = !inSyscall;
        if (inSyscall)
            continue;
        user_regs_struct regs{};
        ptrace(PTRACE_GETREGS, child, nullptr, &regs);
        if (regs.orig_rax == SYS_pwrite64 && regs.rdx == 4 && regs.rax == 4 && ++seen == killAt) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return;
        }
    }
}

} // namespace

TEST(BinaryDataSetCrash, KilledBetweenLinkWordAndHeader_ReopenCountsTheVisibleRecords) {
    QTemporaryDir dir;
    const QString path = dir.filePath("crash.dat");
    CreateChildTable(path);
    int firstId = 1;
    for (const int killAt : {1, 3, 2, 5}) {
        KillAfterLinkWordWrite(path, unsigned(killAt * 7919), firstId, killAt);
        firstId += 1000;
        const QByteArray crashed = ReadFileBytes(path);
        const auto visible = [&](bool readOnly) {
            TBinaryDataSet data;
            data.SetTableName(path);
            data.SetReadOnly(readOnly);
            data.Open();
            int count = 0;
            for (data.First(); !data.Eof(); data.Next())
                ++count;
            EXPECT_EQ(data.GetRecordCount(), count)
                << "kill at " << killAt << (readOnly ? ", read-only" : "");
            return count;
        };
        const int live = visible(true);
        EXPECT_EQ(ReadFileBytes(path), crashed) << "a read-only open writes nothing";
        EXPECT_EQ(LE32At(crashed, 12), live + 1) << "the kill came between the two writes";
        EXPECT_EQ(visible(false), live);
        const QByteArray repaired = ReadFileBytes(path);
        ExpectSoundTable(repaired, live);
        // The chain from its head passes every deleted record once, and starts at the one whose deletion was
        // cut off: the record deleted last.
        const auto linkOf = [&](const QByteArray& bytes, int32_t number) {
            return LE32At(bytes, ChildDataStart + (number - 1) * ChildRecordSize);
        };
        std::set<int32_t> deleted;
        for (int32_t number = 1; ChildDataStart + number * ChildRecordSize <= repaired.size(); ++number)
            if (linkOf(repaired, number) != 0)
                deleted.insert(number);
        std::set<int32_t> chained;
        for (int32_t number = LE32At(repaired, 24); number != -1 && chained.insert(number).second;)
            number = linkOf(repaired, number);
        EXPECT_EQ(chained, deleted) << "kill at " << killAt;
        EXPECT_EQ(linkOf(repaired, LE32At(repaired, 24)), LE32At(crashed, 24))
            << "the cut deletion heads the chain it was linked to";
    }
}

#endif
