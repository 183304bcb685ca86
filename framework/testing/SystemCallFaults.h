// Faults that some file systems give, made to order in a test program: while a fault object lives, this
// program's own calls of flock or renameat2 fail with its error instead of doing their work.
#pragma once

#include <functional>

// Every flock fails with Error (EINTR as some network and FUSE mounts give it, ENOLCK where locks are not
// supported).
class TFlockFault {
public:
    explicit TFlockFault(int Error);
    ~TFlockFault();
    TFlockFault(const TFlockFault&) = delete;
    TFlockFault& operator=(const TFlockFault&) = delete;
};

// The next renameat2 first runs Before (what another program does at that moment); every renameat2 then
// fails with Error, as on a file system that cannot refuse to replace (EINVAL), or works with Error 0.
class TRenameFault {
public:
    explicit TRenameFault(int Error, std::function<void()> Before = {});
    ~TRenameFault();
    TRenameFault(const TRenameFault&) = delete;
    TRenameFault& operator=(const TRenameFault&) = delete;
};
