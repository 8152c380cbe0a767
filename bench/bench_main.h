// What every benchmark program does around its benchmarks.
#pragma once

#include "base/console.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>

// Runs the benchmarks named on the command line with the console silenced.
inline int run_benchmarks(int argc, char** argv)
{
    h_console = open("/dev/null", O_WRONLY | O_CLOEXEC);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
