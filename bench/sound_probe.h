// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tonalyx::bench {

// Watches the built-in synth's audio on its way to PulseAudio. The synth's PulseAudio output
// renders a block and hands it to pa_stream_write; sound_probe.cpp puts its own pa_stream_write in
// front of the library's and looks at every block on the way through. When a block holds the
// first audible sample after arm(), the probe notes when that sample will be heard: now, plus
// what PulseAudio still has to play before this block, plus the sample's place in the block. The
// output renders nothing while nothing sounds, so no blocks come between notes.
class SoundProbe {
public:
    // The probe of this process: there is one audio output to watch.
    static SoundProbe& instance();

    // Waits for the next audible sample.
    void arm();
    // Whether it has been heard since arm(), and when it will be heard.
    bool heard() const { return heard_.load(std::memory_order_acquire); }
    std::chrono::steady_clock::time_point heardAt() const;
    // When the period holding it was handed over, and what PulseAudio reported ahead of it.
    std::chrono::steady_clock::time_point handedOverAt() const;
    std::chrono::microseconds serverLatency() const;
    // Periods in a row without an audible sample, up to the latest one.
    std::uint64_t silentPeriods() const { return silentPeriods_.load(std::memory_order_acquire); }
    std::uint64_t periods() const { return periods_.load(std::memory_order_acquire); }

    // Called from the audio thread with each period, float samples interleaved over two channels,
    // before it goes to the server. True when it holds the awaited sound; complete() must then
    // be called with what the server still had to play before this period.
    bool inspect(const float* samples, std::size_t count);
    void complete(std::int64_t serverLatencyUs);

private:
    std::atomic<bool> armed_ { false };
    std::atomic<bool> heard_ { false };
    std::atomic<std::int64_t> heardAtNs_ { 0 };
    std::atomic<std::int64_t> handedOverAtNs_ { 0 };
    std::atomic<std::int64_t> offsetNs_ { 0 };
    std::atomic<std::int64_t> serverLatencyUs_ { 0 };
    std::atomic<std::uint64_t> silentPeriods_ { 0 };
    std::atomic<std::uint64_t> periods_ { 0 };
};

} // namespace tonalyx::bench
