// A console reporter that keeps each benchmark's time, so that a program can print its figures side by side
// with their reference after the runs.
#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <vector>

class TSummaryReporter : public benchmark::ConsoleReporter {
public:
    // Milliseconds of real time per iteration, by benchmark function name.
    std::map<std::string, double> Milliseconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            Milliseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};
