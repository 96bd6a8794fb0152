// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio_output.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tonalyx::midi {

// Plays a FluidSynth synth through PulseAudio (or PipeWire's PulseAudio service) on libpulse's
// asynchronous API, so that no call of its owner ever waits for the sound server:
//  - open() waits for the server at most Options::openTimeout, then gives up;
//  - the destructor returns at once: it cuts the synth off and leaves the connection to a thread
//    of its own, which closes it whenever libpulse lets it;
//  - while nothing sounds the synth is not rendered at all (the process sleeps), and wake()
//    starts it again the moment a message has gone to the synth.
// The synth is rendered on libpulse's loop thread in blocks of at most periodFrames. A server
// that stops reading, stopped or stuck, leaves the output silent rather than anything waiting:
// the loop renders only what the server asks for.
class PulseAudioOutput final : public AudioOutput {
public:
    struct Options {
        std::string server; // empty: the default server (PULSE_SERVER, or the session's)
        std::string clientName = "Tonalyx";
        std::chrono::milliseconds openTimeout = kAudioOpenTime;
        // One request of the server (minreq) and the whole latency asked for (tlength): at 48 kHz
        // 1.3 ms and 2.7 ms. Twice that ran the server dry two to three times less often on a
        // loaded machine, but a note that comes while the output runs then waits ~2 ms longer
        // than it did with FluidSynth's own driver, which ran dry more often than either.
        int periodFrames = 64;
        int bufferFrames = 128;
        // Silence, with no voice left, for this long before rendering stops.
        std::chrono::milliseconds idleAfter { 250 };
        // Run once on the thread that renders, as soon as the stream plays: where that thread
        // gets its scheduling. It may take a while; the open does not wait for it.
        std::function<void()> onRenderThread;
    };

    struct Counters {
        std::uint64_t framesRendered = 0;
        std::uint64_t wakeUps = 0; // restarts after rendering had stopped
        std::uint64_t underflows = 0; // the server ran out of audio
    };

    // An output playing `synth`, or nothing with the reason in `error`. The synth must outlive
    // the output; it may be deleted as soon as the output's destructor has returned.
    static std::unique_ptr<PulseAudioOutput> open(
        fluid_synth_t& synth, Options options, std::string* error = nullptr);
    ~PulseAudioOutput() override;
    PulseAudioOutput(const PulseAudioOutput&) = delete;
    PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

    // Two atomic operations while rendering, one eventfd write when stopped.
    void wake() noexcept override;

    // Whether rendering has stopped because nothing sounds.
    bool idle() const noexcept;
    // The server closed the stream or went away: a new output is needed.
    bool failed() const noexcept;
    Counters counters() const noexcept;

private:
    struct Connection;
    friend void retire(std::unique_ptr<Connection> connection);

    explicit PulseAudioOutput(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

} // namespace tonalyx::midi
