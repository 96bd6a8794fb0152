// SPDX-License-Identifier: GPL-3.0-or-later
#include "fluid_driver_output.h"

#include "midi/jack_calls/jack_server.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace tonalyx::midi {

// What the caller, the starting thread and the deleting thread share.
struct FluidDriverOutput::Driver {
    enum class State { Starting, Running, Failed, Abandoned };

    Driver(std::shared_ptr<SynthCore> synthCore, bool ownsItsThread)
        : core(std::move(synthCore))
        , feed(*core->synth)
        , promotesItsThread(ownsItsThread)
    { }

    // For new_fluid_audio_driver2, on the driver's audio thread.
    static int render(void* self, int frames, int inputs, float* in[], int outputs, float* out[])
    {
        auto& driver = *static_cast<Driver*>(self);
        if (driver.promotesItsThread && !driver.promoted) {
            driver.promoted = true;
            driver.core->renderPriority.promoteThisThread();
        }
        return SynthFeed::renderForDriver(&driver.feed, frames, inputs, in, outputs, out);
    }

    const std::shared_ptr<SynthCore> core;
    SynthFeed feed;
    // A thread of FluidSynth's own (ALSA) is given its priority as it renders its first block;
    // JACK's process thread is the server's, real-time when the server is, and never waits.
    const bool promotesItsThread;
    bool promoted = false; // the audio thread only
    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Starting; // guarded by mutex
    FluidAudioDriver driver { nullptr, &delete_fluid_audio_driver }; // once Running
};

// Whatever this start ends with, the caller may have given up on it: a driver nobody waits for
// any more is deleted here, on this thread.
void FluidDriverOutput::run(
    const std::shared_ptr<Driver>& shared, const std::string& name, JackCalls& jack)
{
    pthread_setname_np(pthread_self(), "synth-start");
    const auto abandoned = [&] {
        const std::lock_guard lock(shared->mutex);
        return shared->state == Driver::State::Abandoned;
    };
    FluidAudioDriver started { nullptr, &delete_fluid_audio_driver };
    auto* settings = shared->core->settings.get();
    // The JACK driver would start a server of its own where none runs.
    const bool serverRuns = name != "jack" || jackServerRunning(jack);
    if (serverRuns && !abandoned()
        && fluid_settings_setstr(settings, "audio.driver", name.c_str()) == FLUID_OK) {
        started.reset(new_fluid_audio_driver2(settings, &Driver::render, shared.get()));
    }
    {
        const std::lock_guard lock(shared->mutex);
        if (shared->state == Driver::State::Starting) {
            shared->state = started ? Driver::State::Running : Driver::State::Failed;
            shared->driver = std::move(started);
        }
    }
    shared->changed.notify_all();
}

std::unique_ptr<FluidDriverOutput> FluidDriverOutput::start(std::shared_ptr<SynthCore> core,
    const std::string& name, std::shared_ptr<JackCalls> jack, Clock::time_point deadline)
{
    auto shared = std::make_shared<Driver>(std::move(core), name != "jack");
    try {
        std::thread([shared, name, jack] { run(shared, name, *jack); }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::unique_lock lock(shared->mutex);
    if (!shared->changed.wait_until(
            lock, deadline, [&] { return shared->state != Driver::State::Starting; })) {
        // Too late: the driver is left to the starting thread, and if it ever starts it renders
        // nothing but silence.
        shared->state = Driver::State::Abandoned;
        shared->feed.cutOff();
        return nullptr;
    }
    if (shared->state != Driver::State::Running)
        return nullptr;
    lock.unlock();
    return std::unique_ptr<FluidDriverOutput>(new FluidDriverOutput(std::move(shared)));
}

FluidDriverOutput::FluidDriverOutput(std::shared_ptr<Driver> driver)
    : driver_(std::move(driver))
{ }

FluidDriverOutput::~FluidDriverOutput()
{
    auto shared = std::move(driver_);
    shared->feed.cutOff();
    try {
        std::thread([shared] {
            pthread_setname_np(pthread_self(), "synth-reaper");
            shared->driver.reset();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the driver is left running, silent, for the rest of the run
        // rather than deleted here, where its server could hold the caller up. Its audio thread
        // goes on calling the feed, so what it shares stays too.
        static_cast<void>(new std::shared_ptr<Driver>(std::move(shared)));
    }
}

} // namespace tonalyx::midi
