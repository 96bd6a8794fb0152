// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_server.h"

#include "quiet_jack.h"

#include <jack/jack.h>
#include <memory>

namespace tonalyx::midi {

namespace {
constexpr std::chrono::milliseconds kProbeWait { 500 };
}

bool jackServerRunning(JackCalls& calls)
{
    if (calls.stuck())
        return false;
    const auto running = calls.run<bool>(JackCalls::Clock::now() + kProbeWait, [] {
        const QuietJack quiet;
        jack_status_t status {};
        const std::unique_ptr<jack_client_t, decltype(&jack_client_close)> probe(
            jack_client_open("tonalyx-probe", JackNoStartServer, &status), &jack_client_close);
        return probe != nullptr;
    });
    return running.value_or(false);
}

} // namespace tonalyx::midi
