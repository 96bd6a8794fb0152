// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound_probe.h"

#include <cmath>
#include <dlfcn.h>
#include <pulse/stream.h>

namespace tonalyx::bench {

namespace {

// A sample is audible from one step of 16-bit audio up (-90 dBFS): the quietest a sound card
// would play at all. The synth's silence is exact zeros.
constexpr float kAudible = 1.0f / 32768.0f;
// The synth's output rate (builtin_synth.cpp).
constexpr double kSampleRate = 48000;

std::int64_t nanoseconds(std::chrono::steady_clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

std::chrono::steady_clock::time_point timeAt(std::int64_t ns)
{
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
}

} // namespace

SoundProbe& SoundProbe::instance()
{
    // pa_stream_write has no way to reach an object but this one.
    static SoundProbe probe;
    return probe;
}

void SoundProbe::arm()
{
    heard_.store(false, std::memory_order_release);
    armed_.store(true, std::memory_order_release);
}

std::chrono::steady_clock::time_point SoundProbe::heardAt() const
{
    return timeAt(heardAtNs_.load(std::memory_order_acquire));
}

std::chrono::steady_clock::time_point SoundProbe::handedOverAt() const
{
    return timeAt(handedOverAtNs_.load(std::memory_order_acquire));
}

std::chrono::microseconds SoundProbe::serverLatency() const
{
    return std::chrono::microseconds(serverLatencyUs_.load(std::memory_order_acquire));
}

bool SoundProbe::inspect(const float* samples, std::size_t count)
{
    const auto now = std::chrono::steady_clock::now();
    std::size_t first = 0;
    while (first < count && std::fabs(samples[first]) < kAudible)
        ++first;
    periods_.fetch_add(1, std::memory_order_acq_rel);
    if (first == count) {
        silentPeriods_.fetch_add(1, std::memory_order_acq_rel);
        return false;
    }
    silentPeriods_.store(0, std::memory_order_release);
    if (!armed_.exchange(false, std::memory_order_acq_rel))
        return false;
    const auto frame = static_cast<double>(first / 2);
    offsetNs_.store(
        static_cast<std::int64_t>(frame / kSampleRate * 1e9), std::memory_order_release);
    handedOverAtNs_.store(nanoseconds(now), std::memory_order_release);
    return true;
}

void SoundProbe::complete(std::int64_t serverLatencyUs)
{
    serverLatencyUs_.store(serverLatencyUs, std::memory_order_release);
    // The latency is the server's as the answer left it, so it counts from now, not from the
    // hand-over: a little late rather than early.
    heardAtNs_.store(nanoseconds(std::chrono::steady_clock::now()) + serverLatencyUs * 1000
            + offsetNs_.load(std::memory_order_acquire),
        std::memory_order_release);
    heard_.store(true, std::memory_order_release);
}

} // namespace tonalyx::bench

// Stands before libpulse's pa_stream_write for the built-in synth's PulseAudio output, which
// calls it on libpulse's loop thread with each block it rendered (the benchmark is the only other
// user of libpulse in the process, and plays nothing), then hands the block on unchanged. The
// output's calls within the executable bind to this definition at link time.
extern "C" int pa_stream_write(pa_stream* stream, const void* data, std::size_t bytes,
    pa_free_cb_t freeData, std::int64_t offset, pa_seek_mode_t seek)
{
    using Write
        = int (*)(pa_stream*, const void*, std::size_t, pa_free_cb_t, std::int64_t, pa_seek_mode_t);
    static const auto real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "pa_stream_write"));
    auto& probe = tonalyx::bench::SoundProbe::instance();
    if (probe.inspect(static_cast<const float*>(data), bytes / sizeof(float))) {
        // What the server still has to play before this block, as libpulse interpolates it.
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &latency, &negative) < 0 || negative != 0)
            latency = 0;
        probe.complete(static_cast<std::int64_t>(latency));
    }
    return real(stream, data, bytes, freeData, offset, seek);
}
