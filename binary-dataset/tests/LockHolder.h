// Another process that holds a lock on a file, as a program that hangs while it writes would, until the test
// lets it go.
#pragma once

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

class TLockHolder {
public:
    // Returns once the other process holds the lock (Operation: LOCK_EX or LOCK_SH).
    TLockHolder(const QString& Path, int Operation) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(Release) != 0)
            return;
        const QByteArray name = QFile::encodeName(Path);
        Pid = fork();
        if (Pid == 0) {
            // Nothing but system calls between fork and exit.
            const int fd = open(name.constData(), O_RDONLY);
            char byte = flock(fd, Operation) == 0 ? 'L' : 'F';
            if (write(ready[1], &byte, 1) == 1) [[maybe_unused]]
                const ssize_t ignored = read(Release[0], &byte, 1);
            _exit(0);
        }
        char byte = 0;
        Held = Pid > 0 && read(ready[0], &byte, 1) == 1 && byte == 'L';
        close(ready[0]);
        close(ready[1]);
        EXPECT_TRUE(Held) << "the other process took its lock";
    }
    ~TLockHolder() { Let(); }
    TLockHolder(const TLockHolder&) = delete;
    TLockHolder& operator=(const TLockHolder&) = delete;

    bool Held = false;

    // Lets the lock go and waits for the other process to end.
    void Let() {
        if (Pid <= 0)
            return;
        [[maybe_unused]] const ssize_t written = write(Release[1], "x", 1);
        int status = 0;
        waitpid(Pid, &status, 0);
        Pid = -1;
        Held = false;
        close(Release[0]);
        close(Release[1]);
    }

private:
    pid_t Pid = -1;
    int Release[2] = {-1, -1};
};
