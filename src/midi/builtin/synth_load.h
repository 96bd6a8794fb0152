// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "builtin_synth.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tonalyx::midi {

// The built-in synth loading its SoundFonts on a thread of its own, so that whoever needs it
// waits for it a bounded time. A load no one waits for any longer is left to finish there; the
// synth it loads is kept until it is taken, and goes with the thread when no one is left to
// take it, so that the program never waits for a load, even when it ends.
class SynthLoad {
public:
    using Clock = std::chrono::steady_clock;

    // Starts BuiltInSynth::load with these fonts.
    SynthLoad(std::vector<std::string> soundFonts, std::vector<std::string> extraSoundFonts);
    SynthLoad(const SynthLoad&) = delete;
    SynthLoad& operator=(const SynthLoad&) = delete;

    // Whether the load has ended, waiting until `deadline` at most.
    bool waitUntil(Clock::time_point deadline);
    // Once it has ended: the loaded synth, or nothing when it could not be loaded.
    std::unique_ptr<BuiltInSynth> take();

private:
    struct Result;
    std::shared_ptr<Result> result_;
};

} // namespace tonalyx::midi
