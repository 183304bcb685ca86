// Benchmark main for code that uses the image library: the library is started as the programs start it,
// so settings and format registries are those of a running program.
#include "image-library/PGraphicInit.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    const TPGraphicScope library;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
