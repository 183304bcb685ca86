// Test support: runs a piece of work in a forked child and tells the memory it took, so the test's own memory
// does not count, and a run that exhausts memory or never ends cannot take the test with it.
#pragma once

#include <functional>
#include <optional>
#include <string>

struct TChildCost {
    bool Finished = false; // Work returned; false when the child was killed (out of memory, the time guard)
    long long PeakGrowthMB = 0; // how far the run raised the peak resident memory
    std::string Outcome;        // what Work returned
};

// Runs Work in a child whose address space is limited to LimitMB beyond what it holds already (not under a
// sanitizer, which reserves far more than it uses), and which is killed after GuardSeconds of real time. An
// exception from Work becomes the Outcome "<what()>". Measured the same way with and without
// AddressSanitizer; nullopt when the system does not let the peak be reset (/proc/self/clear_refs).
std::optional<TChildCost> RunInChild(const std::function<std::string()>& Work, long long LimitMB,
                                     unsigned GuardSeconds = 60);

// The sanitizer of this build, which shadows the memory it hands out: AddressSanitizer with an eighth of it,
// ThreadSanitizer with several times it.
enum class TSanitizer { None, Address, Thread };
TSanitizer ChildCostSanitizer();
