// SPDX-License-Identifier: GPL-3.0-or-later
#include "preset_keeper.h"

#include "midi/realtime/thread_scheduling.h"

#include <algorithm>
#include <pthread.h>
#include <utility>

namespace tonalyx::midi {

namespace {
constexpr int kBankSelect = 0;
// More heard presets than this waiting for the keeper means it has fallen far behind; the oldest
// are then dropped (they were heard long ago anyway).
constexpr std::size_t kMostWaiting = 64;
} // namespace

PresetKeeper::PresetKeeper(std::shared_ptr<SynthCore> core)
    : core_(std::move(core))
{
    for (std::size_t i = 0; i < slots_.size(); ++i)
        slots_[i].channel = kReadAheadChannels[i];
    thread_ = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
}

void PresetKeeper::heard(int channel)
{
    auto* preset = fluid_synth_get_channel_preset(core_->synth.get(), channel);
    if (preset == nullptr)
        return;
    {
        const std::lock_guard lock(mutex_);
        if (justHeard_.size() == kMostWaiting)
            justHeard_.erase(justHeard_.begin());
        justHeard_.push_back({ fluid_sfont_get_id(fluid_preset_get_sfont(preset)),
            fluid_preset_get_banknum(preset), fluid_preset_get_num(preset) });
        lastCall_ = Clock::now();
    }
    changed_.notify_one();
}

void PresetKeeper::readAhead(int bank, int program)
{
    {
        const std::lock_guard lock(mutex_);
        pending_ = Request { bank, program };
        lastCall_ = Clock::now();
    }
    changed_.notify_one();
}

void PresetKeeper::run(std::stop_token stop)
{
    pthread_setname_np(pthread_self(), "synth-presets");
    // Not told when refused: the rendering's own line says why, and reading ahead at normal
    // priority only makes a hovered preset's first press slower on a busy machine.
    promoteThisThread(ThreadRole::ReadAhead);
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        const bool work = !justHeard_.empty() || pending_;
        if (!work) {
            changed_.wait(lock, stop, [this] { return !justHeard_.empty() || pending_; });
        } else if (Clock::now() < lastCall_ + kSettle) {
            // A later call moves the moment on; this wait then ends early and starts again.
            const auto since = lastCall_;
            changed_.wait_until(
                lock, stop, lastCall_ + kSettle, [&] { return lastCall_ != since; });
        } else {
            const auto heard = std::exchange(justHeard_, {});
            const auto request = std::exchange(pending_, std::nullopt);
            lock.unlock();
            for (const auto& preset : heard)
                keep(preset);
            if (request)
                load(*request);
            lock.lock();
        }
    }
}

// The last kHeard different presets heard are pinned; memory grows by at most their samples, not
// by the whole fonts.
void PresetKeeper::keep(const Preset& preset)
{
    if (std::find(kept_.begin(), kept_.end(), preset) != kept_.end())
        return;
    auto* synth = core_->synth.get();
    auto& slot = kept_[nextKept_];
    fluid_synth_pin_preset(synth, preset.font, preset.bank, preset.program);
    if (slot)
        fluid_synth_unpin_preset(synth, slot->font, slot->bank, slot->program);
    slot = preset;
    nextKept_ = (nextKept_ + 1) % kHeard;
}

void PresetKeeper::load(const Request& request)
{
    auto* synth = core_->synth.get();
    ++uses_;
    for (auto& slot : slots_) {
        if (slot.request == request
            && fluid_synth_get_channel_preset(synth, slot.channel) == slot.preset) {
            slot.lastUse = uses_;
            return;
        }
    }
    auto& slot = *std::min_element(slots_.begin(), slots_.end(),
        [](const Slot& a, const Slot& b) { return a.lastUse < b.lastUse; });
    // As a press sends them. Selecting the preset reads its samples, and lets go of those of the
    // preset the channel held before unless something else holds them.
    fluid_synth_cc(synth, slot.channel, kBankSelect, request.bank);
    fluid_synth_program_change(synth, slot.channel, request.program);
    slot.request = request;
    slot.preset = fluid_synth_get_channel_preset(synth, slot.channel);
    slot.lastUse = uses_;
}

} // namespace tonalyx::midi
