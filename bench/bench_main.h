// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace tonalyx::bench {

// Takes `flag` out of the command line, so that Google Benchmark never sees it; true if it was
// there. Every benchmark here understands --quick: one short pass that only proves it still
// works, which is what the test suite runs.
bool takeFlag(int& argc, char** argv, std::string_view flag);

// Runs the benchmarks registered so far with Google Benchmark's own options from the command
// line; the exit status of main.
int runBenchmarks(int& argc, char** argv);

} // namespace tonalyx::bench
