// The faults stand in front of the C library's functions: this program's definitions come first, and pass
// every call on to the next definition while no fault is set.
#include "framework/testing/SystemCallFaults.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <utility>

namespace {

std::atomic<int> flockError{0};
int renameError = 0;
std::function<void()> beforeRename;

template <typename Function> Function Next(const char* Name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, Name));
}

} // namespace

TFlockFault::TFlockFault(int Error) {
    flockError = Error;
}

TFlockFault::~TFlockFault() {
    flockError = 0;
}

TRenameFault::TRenameFault(int Error, std::function<void()> Before) {
    renameError = Error;
    beforeRename = std::move(Before);
}

TRenameFault::~TRenameFault() {
    renameError = 0;
    beforeRename = nullptr;
}

extern "C" int flock(int fd, int operation) {
    if (const int error = flockError) {
        errno = error;
        return -1;
    }
    static const auto next = Next<int (*)(int, int)>("flock");
    return next(fd, operation);
}

extern "C" int renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                         unsigned int flags) {
    if (beforeRename)
        std::exchange(beforeRename, nullptr)();
    if (renameError != 0) {
        errno = renameError;
        return -1;
    }
    static const auto next = Next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    return next(oldDirFd, oldPath, newDirFd, newPath, flags);
}
