// SPDX-License-Identifier: GPL-3.0-or-later
// Saves the settings file over and over, alternating between two contents, until it is killed:
// the writer whose kill the settings fault test times at random. It says "saving" once it has
// started its loop, so the test can aim its kill at the saves rather than at the start-up.
//   settings_writer PATH
#include "settings/settings_file.h"
#include "settings_contents.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_writer PATH\n");
        return 2;
    }
    tonalyx::settings::IniDocument settings;
    const std::string contents[]
        = { tonalyx::testing::smallSettings(), tonalyx::testing::largeSettings() };
    std::puts("saving");
    std::fflush(stdout);
    for (unsigned long i = 0;; ++i) {
        settings.parse(contents[i % 2]);
        if (tonalyx::settings::writeSettings(argv[1], settings)
            != tonalyx::settings::WriteResult::Written) {
            std::fprintf(stderr, "settings_writer: save failed\n");
            return 1;
        }
    }
}
