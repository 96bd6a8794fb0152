// Measures the built-in synth as a user meets it: the time to open it (fonts loaded, audio
// started), the memory it takes, and the time from a press (bank select, Program Change, Note
// On) to the call's return for every preset of the fonts, each heard for the first time.
// Not a test: run it by hand, with a PulseAudio or JACK server for the audio part.
#include "midi/system_midi_out_service.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

using namespace tonalyx;
using Clock = std::chrono::steady_clock;

namespace {

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char* argv[])
{
    midi::SystemMidiOutConfig config;
    const bool offline = argc > 1 && std::string(argv[1]) == "--offline";
    if (offline)
        config.audioDrivers.clear();
    midi::SystemMidiOutService service(config);
    service.deviceCount();
    const auto before = residentKb();
    const auto openStart = Clock::now();
    midi::MidiOutHandle handle = 0;
    if (service.open(handle, 0) != midi::kMidiOk) {
        std::fprintf(stderr, "the built-in synth did not open (no audio output?); try --offline\n");
        return 1;
    }
    std::printf("open: %.1f ms, resident %ld -> %ld kB\n", millisecondsSince(openStart), before,
        residentKb());

    std::vector<double> presses;
    for (int bank : { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16 }) {
        for (int program = 0; program < 128; ++program) {
            const auto start = Clock::now();
            service.shortMessage(handle, 0xB0 + 65536u * bank);
            service.shortMessage(handle, 0xC0 + 256u * program);
            service.shortMessage(handle, 0x7F3C90);
            presses.push_back(millisecondsSince(start));
            service.shortMessage(handle, 0x003C90);
            service.reset(handle);
        }
    }
    std::sort(presses.begin(), presses.end());
    std::printf("press (bank, program, note on) over %zu presses: median %.2f ms, 90%% %.2f ms, "
                "max %.2f ms; resident %ld kB\n",
        presses.size(), presses[presses.size() / 2], presses[presses.size() * 9 / 10],
        presses.back(), residentKb());
    service.close(handle);
    return 0;
}
