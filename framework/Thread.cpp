// The worker thread base.
#include "framework/Thread.h"

TThread::~TThread() {
    Stop();
}

void TThread::Resume() {
    const std::lock_guard lock(JoinMutex);
    if (FStarted.exchange(true))
        return;
    Thread = std::thread([this] {
        try {
            Execute();
        } catch (...) {
        }
    });
}

void TThread::WaitFor() {
    const std::lock_guard lock(JoinMutex);
    if (Thread.joinable())
        Thread.join();
}

void TThread::Stop() {
    Terminate();
    WaitFor();
}
