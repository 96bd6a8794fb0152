#include "sound_probe.h"

#include <cmath>
#include <dlfcn.h>
#include <pulse/simple.h>

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
    // pa_simple_write has no way to reach an object but this one.
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

// Stands before libpulse-simple's pa_simple_write for FluidSynth's driver (the executable is
// linked with its symbols exported), then hands the period on unchanged.
extern "C" int pa_simple_write(pa_simple* stream, const void* data, std::size_t bytes, int* error)
{
    using Write = int (*)(pa_simple*, const void*, std::size_t, int*);
    static const auto real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "pa_simple_write"));
    auto& probe = tonalyx::bench::SoundProbe::instance();
    if (probe.inspect(static_cast<const float*>(data), bytes / sizeof(float))) {
        int ignored = 0;
        probe.complete(static_cast<std::int64_t>(pa_simple_get_latency(stream, &ignored)));
    }
    return real(stream, data, bytes, error);
}
