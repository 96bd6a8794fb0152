#include "bench_main.h"

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

} // namespace tonalyx::bench
