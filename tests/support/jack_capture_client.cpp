// SPDX-License-Identifier: GPL-3.0-or-later
// A JACK client in a process of its own with one MIDI input port: the far end that the device
// fault test kills while the program sends to it. It prints "ready" once its port is there, then
// every event it receives as one line of hex bytes, and "xrun" for every xrun the server reports
// (a period some client missed, whose bytes may be gone whatever the sender did).
//   jack_capture_client CLIENT PORT
#include "jack_capture.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: jack_capture_client CLIENT PORT\n");
        return 2;
    }
    tonalyx::testing::JackCapture capture(argv[1]);
    if (!capture.isConnected() || !capture.addInput(argv[2])) {
        std::fprintf(stderr, "jack_capture_client: no JACK server, or the port was refused\n");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    std::size_t printed = 0;
    std::uint64_t xrunsPrinted = 0;
    for (;;) {
        for (const auto xruns = capture.xruns(); xrunsPrinted < xruns; ++xrunsPrinted)
            std::puts("xrun");
        const auto events = capture.takeEvents(argv[2]);
        for (; printed < events.size(); ++printed) {
            const auto& event = events[printed];
            for (std::size_t i = 0; i < event.size(); ++i)
                std::printf(i == 0 ? "%02x" : " %02x", event[i]);
            std::putchar('\n');
        }
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
