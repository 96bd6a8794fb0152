// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the number the program gives the MIDI output device of this name on this machine, as the
// settings file's dev_num, so that a test can choose a device the way a user does: by its name.
// The numbers depend on what the machine offers (ALSA ports come before JACK ports), so they are
// asked of the same device list the program uses.
#include "midi/system_devices.h"

#include <cstdio>
#include <string>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DEVICE-NAME\n", argv[0]);
        return 2;
    }
    const std::string wanted = argv[1];
    const auto devices = tonalyx::midi::makeSystemDeviceList();
    const auto count = devices->count();
    for (std::int32_t device = 0; device < count; ++device) {
        if (devices->name(device) == wanted) {
            std::printf("%d\n", device);
            return 0;
        }
    }
    std::fprintf(
        stderr, "device_number: no device named \"%s\"; the devices are:\n", wanted.c_str());
    for (std::int32_t device = 0; device < count; ++device)
        std::fprintf(stderr, "  %d %s\n", device, devices->name(device).c_str());
    return 1;
}
