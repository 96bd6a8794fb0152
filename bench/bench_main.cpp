// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench_main.h"

#include <benchmark/benchmark.h>

namespace tonalyx::bench {

bool takeFlag(int& argc, char** argv, std::string_view flag)
{
    bool found = false;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && flag == argv[i]) {
            found = true;
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return found;
}

int runBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace tonalyx::bench
