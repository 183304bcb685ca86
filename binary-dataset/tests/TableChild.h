// The child process that works on a table beside a test (CrashChild.cpp), and the layout every table it
// leaves behind must have.
#pragma once

#include "binary-dataset/bindata.h"
#include "binary-dataset/tests/TableBytes.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <unistd.h>

extern char** environ;

// The child's table: ID integer and TEXT string 20, 32-byte records.
constexpr int ChildRecordSize = 4 + 4 + 24;
constexpr int ChildDataStart = 36 + 2 * 41;

inline void CreateChildTable(const QString& path) {
    TBinaryDataSet data;
    data.SetTableName(path);
    data.FieldDefs.Add("ID", ftInteger);
    data.FieldDefs.Add("TEXT", ftString, 20);
    data.CreateTable();
}

struct TChildProcess {
    pid_t Pid = -1;
    int Reports = -1; // the read end of its standard output
};

// Starts the child on the table: with `count`, it appends that many records from `firstId` and ends;
// without, it appends and deletes at random until it is killed.
inline TChildProcess StartChild(const QString& path, unsigned seed, int firstId, int count = 0) {
    TChildProcess child;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const QByteArray table = path.toLocal8Bit();
    std::string args[] = {std::to_string(seed), std::to_string(firstId), std::to_string(count)};
    char* argv[] = {const_cast<char*>(CRASH_CHILD),
                    const_cast<char*>(table.constData()),
                    args[0].data(),
                    args[1].data(),
                    count > 0 ? args[2].data() : nullptr,
                    nullptr};
    const int spawned = posix_spawn(&child.Pid, CRASH_CHILD, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    EXPECT_EQ(spawned, 0);
    child.Reports = pipeFds[0];
    return child;
}

// Every byte the format fixes, the counts against the link words, the size against the counts and the
// chain's links within the table.
inline void ExpectSoundTable(const QByteArray& bytes, int liveRecords) {
    ASSERT_GE(bytes.size(), ChildDataStart);
    const int physical = int((bytes.size() - ChildDataStart) / ChildRecordSize);
    EXPECT_EQ((bytes.size() - ChildDataStart) % ChildRecordSize, 0) << "no partial record";
    EXPECT_EQ(bytes.left(4), QByteArray("BDS\x1A"));
    EXPECT_EQ(LE32At(bytes, 4), 13);
    EXPECT_EQ(LE32At(bytes, 8), ChildRecordSize);
    EXPECT_EQ(LE32At(bytes, 12), liveRecords);
    EXPECT_EQ(LE32At(bytes, 16), 2);
    EXPECT_EQ(LE32At(bytes, 20), -1);
    EXPECT_EQ(LE32At(bytes, 28), physical - liveRecords);
    EXPECT_EQ(LE32At(bytes, 32), ChildDataStart);
    EXPECT_EQ(bytes.mid(36, 2 * 41),
              TableBytes({{"ID", ftInteger, 4, 0}, {"TEXT", ftString, 24, 20}}).mid(36));
    int live = 0;
    const auto deletedAt = [&](int32_t number) {
        return number >= 1 && number <= physical &&
               LE32At(bytes, ChildDataStart + (number - 1) * ChildRecordSize) != 0;
    };
    for (int n = 0; n < physical; ++n) {
        const int32_t link = LE32At(bytes, ChildDataStart + n * ChildRecordSize);
        live += link == 0;
        EXPECT_TRUE(link == 0 || link == -1 || deletedAt(link)) << "record " << n + 1 << " links to " << link;
    }
    EXPECT_EQ(live, liveRecords);
    const int32_t head = LE32At(bytes, 24);
    EXPECT_TRUE(head == -1 || deletedAt(head)) << "chain head " << head;
}
