// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth_load.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tonalyx::midi {

struct SynthLoad::Result {
    std::mutex mutex;
    std::condition_variable ended;
    // Guarded by mutex.
    bool done = false;
    std::unique_ptr<BuiltInSynth> synth;
};

SynthLoad::SynthLoad(std::vector<std::string> soundFonts, std::vector<std::string> extraSoundFonts)
    : result_(std::make_shared<Result>())
{
    std::thread([result = result_, soundFonts = std::move(soundFonts),
                    extraSoundFonts = std::move(extraSoundFonts)] {
        pthread_setname_np(pthread_self(), "synth-load");
        auto synth = BuiltInSynth::load(soundFonts, extraSoundFonts);
        {
            const std::lock_guard lock(result->mutex);
            result->synth = std::move(synth);
            result->done = true;
        }
        result->ended.notify_all();
    }).detach();
}

bool SynthLoad::waitUntil(Clock::time_point deadline)
{
    std::unique_lock lock(result_->mutex);
    return result_->ended.wait_until(lock, deadline, [this] { return result_->done; });
}

std::unique_ptr<BuiltInSynth> SynthLoad::take()
{
    const std::lock_guard lock(result_->mutex);
    return std::move(result_->synth);
}

} // namespace tonalyx::midi
