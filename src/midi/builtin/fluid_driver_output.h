// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio_output.h"

#include <chrono>
#include <memory>
#include <string>

namespace tonalyx::midi {

// One of FluidSynth's own audio drivers ("jack", "alsa") playing the built-in synth, kept from
// ever making its owner wait. FluidSynth's drivers open and close with no time limit: its JACK
// driver waits for as long as the server is stopped, both in new_fluid_audio_driver and in
// delete_fluid_audio_driver. So the driver is started on a thread of its own, which the caller
// waits for only until a deadline (a start that comes later is deleted by that thread), and it
// is deleted on a thread of its own, whenever its server lets it. Those threads keep the synth
// alive for as long as they may use it; the driver renders through a SynthFeed, cut off before
// the output is let go, so a driver on its way out never sounds beside the next output.
class FluidDriverOutput final : public AudioOutput {
public:
    using Clock = std::chrono::steady_clock;

    // The driver `name` started for the synth of `core`, or nothing when it failed or had not
    // started by `deadline`. "jack" is tried only while a JACK server answers on `jack`.
    static std::unique_ptr<FluidDriverOutput> start(std::shared_ptr<SynthCore> core,
        const std::string& name, std::shared_ptr<JackCalls> jack, Clock::time_point deadline);
    // Cuts the synth off and leaves the driver to a thread that deletes it.
    ~FluidDriverOutput() override;
    FluidDriverOutput(const FluidDriverOutput&) = delete;
    FluidDriverOutput& operator=(const FluidDriverOutput&) = delete;

private:
    struct Driver;
    // On the starting thread.
    static void run(
        const std::shared_ptr<Driver>& shared, const std::string& name, JackCalls& jack);

    explicit FluidDriverOutput(std::shared_ptr<Driver> driver);
    std::shared_ptr<Driver> driver_;
};

} // namespace tonalyx::midi
