#include "binary-dataset/bindata.h"

#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

enum class TFate { Live, Deleting, Deleted };

struct TChildReports {
    std::map<int, TFate> Fates;
    int HighestId = 0;
};

// Runs the child on the table from `firstId`, kills it after `killAfter` reports and takes in every report it
// made before it died.
void RunAndKill(const QString& path, unsigned seed, int firstId, int killAfter, TChildReports& reports) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const QByteArray table = path.toLocal8Bit();
    const std::string seedText = std::to_string(seed);
    const std::string firstText = std::to_string(firstId);
    char* argv[] = {const_cast<char*>(CRASH_CHILD), const_cast<char*>(table.constData()),
                    const_cast<char*>(seedText.c_str()), const_cast<char*>(firstText.c_str()), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, CRASH_CHILD, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    ASSERT_EQ(spawned, 0);
    FILE* out = fdopen(pipeFds[0], "r");
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
    {
        TBinaryDataSet data;
        data.SetTableName(path);
        data.FieldDefs.Add("ID", ftInteger);
        data.FieldDefs.Add("TEXT", ftString, 20);
        data.CreateTable();
    }
    std::mt19937 random(20240315);
    TChildReports reports;
    int interruptedDeletions = 0; // each may leave the live count one above the live records
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
            if (fate == TFate::Deleting) {
                fate = live.count(id) ? TFate::Live : TFate::Deleted;
                interruptedDeletions += fate == TFate::Deleted;
            }
        }
        EXPECT_GE(data.GetRecordCount(), int(live.size()));
        EXPECT_LE(data.GetRecordCount(), int(live.size()) + interruptedDeletions);
    }
}
