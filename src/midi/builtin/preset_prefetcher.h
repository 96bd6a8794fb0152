#pragma once

#include "synth_feed.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace tonalyx::midi {

// Reads the samples of a preset a press may soon ask for, on a thread of its own, so that the
// press finds them in memory. With dynamic sample loading FluidSynth reads a preset's samples in
// the first Program Change that selects it, inside the press (up to ~10 ms for the largest); a
// preset already selected on another channel costs its Program Change nothing.
//
// So the prefetcher selects the preset on a spare channel of the synth itself: the program only
// ever plays channel 1, and FluidSynth resolves the bank and program there exactly as it will on
// channel 1 (a missing GS variation falls back to its bank 0 preset). The selection holds
// FluidSynth's API lock while it reads the samples; the audio thread never takes that lock
// (rendering went on undisturbed, at most 0.1 ms a block, through 15-ms loads), only another API
// call waits, such as a press that comes within the load itself.
//
// Bounded: at most kChannels.size() presets are held for a press that has not come, the least
// recently asked for making way; with FluidR3 that is at most 16 MB (two pianos), usually a few.
// A request waits kSettle for a newer one first, so that a pointer passing over buttons on its
// way elsewhere reads nothing. A GS reset sets the spare channels back to the piano, which lets
// what they held go.
class PresetPrefetcher {
public:
    static constexpr std::array<int, 2> kChannels { 1, 2 };
    static constexpr std::chrono::milliseconds kSettle { 30 };

    explicit PresetPrefetcher(std::shared_ptr<SynthCore> core);
    // Waits for a load in progress, if any.
    ~PresetPrefetcher() = default;
    PresetPrefetcher(const PresetPrefetcher&) = delete;
    PresetPrefetcher& operator=(const PresetPrefetcher&) = delete;

    // Never waits for a load: a request replaces one not yet begun.
    void request(int bank, int program);

private:
    struct Request {
        int bank;
        int program;
        friend bool operator==(const Request&, const Request&) = default;
    };
    struct Slot {
        int channel;
        std::optional<Request> request;
        fluid_preset_t* preset = nullptr; // what the request selected there
        std::uint64_t lastUse = 0;
    };

    void run(std::stop_token stop);
    // The next request once it has settled; nothing once stopped.
    std::optional<Request> nextSettled(std::stop_token stop);
    void load(Request request);

    const std::shared_ptr<SynthCore> core_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::optional<Request> pending_; // guarded by mutex_
    std::uint64_t requests_ = 0; // guarded by mutex_
    // The prefetcher's thread only.
    std::array<Slot, kChannels.size()> slots_;
    std::uint64_t uses_ = 0;
    std::jthread thread_; // last: stopped and joined first
};

} // namespace tonalyx::midi
