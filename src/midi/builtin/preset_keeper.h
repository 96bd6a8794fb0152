// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth_feed.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace tonalyx::midi {

// Keeps the samples of the presets a press is likely to ask for in memory, working on a thread of
// its own so that no press waits for it. With dynamic sample loading FluidSynth reads a preset's
// samples in the first Program Change that selects it, inside the press (up to ~10 ms for the
// largest), and frees them as soon as no channel selects it and no voice plays it. So:
//  - the presets last heard stay pinned, so that going back to one costs nothing; letting the
//    oldest go frees its samples (up to ~5 ms), which is done here rather than in a press;
//  - a preset the pointer or the focus has come to is read ahead by selecting it on a spare
//    channel of the synth: the program plays only channel 1, and FluidSynth resolves the bank and
//    program there exactly as it will on channel 1 (a missing GS variation falls back to its
//    bank 0 preset). The press's Program Change then finds its samples in memory.
// This thread holds FluidSynth's API lock while it reads or frees samples. Rendering takes no lock
// of FluidSynth's (it went on, at most 0.1 ms a block, through 15-ms loads), and the PulseAudio
// output asks for the synth's voices, which does, only once its blocks are silent; otherwise only
// another API call waits, as a press would that comes within the load it needs itself.
//
// The keeper works only once kSettle has passed since the last call: a pointer passing over
// buttons on its way elsewhere reads nothing, and the keeper never takes the lock in the middle of
// a press (a Program Change, heard, is followed at once by its Note On).
//
// Bounded: kHeard presets heard plus kReadAheadChannels.size() read ahead, the oldest making way.
// A GS reset sets the spare channels back to the piano, which lets what they held go.
class PresetKeeper {
public:
    static constexpr std::size_t kHeard = 16;
    static constexpr std::array<int, 2> kReadAheadChannels { 1, 2 };
    static constexpr std::chrono::milliseconds kSettle { 30 };

    explicit PresetKeeper(std::shared_ptr<SynthCore> core);
    // Waits for a load in progress, if any.
    ~PresetKeeper() = default;
    PresetKeeper(const PresetKeeper&) = delete;
    PresetKeeper& operator=(const PresetKeeper&) = delete;

    // The preset `channel` has just selected was heard. Never waits for the keeper's work.
    void heard(int channel);
    // A press may soon select this bank and program. Never waits; a request replaces one not yet
    // begun.
    void readAhead(int bank, int program);

private:
    using Clock = std::chrono::steady_clock;
    struct Preset {
        int font;
        int bank;
        int program;
        friend bool operator==(const Preset&, const Preset&) = default;
    };
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
    void keep(const Preset& preset);
    void load(const Request& request);

    const std::shared_ptr<SynthCore> core_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    // Guarded by mutex_.
    std::vector<Preset> justHeard_;
    std::optional<Request> pending_;
    Clock::time_point lastCall_;
    // The keeper's thread only.
    std::array<std::optional<Preset>, kHeard> kept_ {};
    std::size_t nextKept_ = 0;
    std::array<Slot, kReadAheadChannels.size()> slots_;
    std::uint64_t uses_ = 0;
    std::jthread thread_; // last: stopped and joined first
};

} // namespace tonalyx::midi
