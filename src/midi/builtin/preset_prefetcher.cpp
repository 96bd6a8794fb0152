#include "preset_prefetcher.h"

#include <algorithm>
#include <pthread.h>
#include <utility>

namespace tonalyx::midi {

namespace {
constexpr int kBankSelect = 0;
}

PresetPrefetcher::PresetPrefetcher(std::shared_ptr<SynthCore> core)
    : core_(std::move(core))
{
    for (std::size_t i = 0; i < slots_.size(); ++i)
        slots_[i].channel = kChannels[i];
    thread_ = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
}

void PresetPrefetcher::request(int bank, int program)
{
    {
        const std::lock_guard lock(mutex_);
        pending_ = Request { bank, program };
        ++requests_;
    }
    changed_.notify_one();
}

void PresetPrefetcher::run(std::stop_token stop)
{
    pthread_setname_np(pthread_self(), "synth-prefetch");
    while (const auto request = nextSettled(stop))
        load(*request);
}

std::optional<PresetPrefetcher::Request> PresetPrefetcher::nextSettled(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [this] { return pending_.has_value(); }))
        return std::nullopt;
    for (auto seen = requests_;
         changed_.wait_for(lock, stop, kSettle, [&] { return requests_ != seen; });
         seen = requests_) { }
    if (stop.stop_requested())
        return std::nullopt;
    return std::exchange(pending_, std::nullopt);
}

void PresetPrefetcher::load(Request request)
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
    // As a press sends them. Selecting the preset reads its samples, and lets go of those of
    // the preset the channel held before unless something else holds them.
    fluid_synth_cc(synth, slot.channel, kBankSelect, request.bank);
    fluid_synth_program_change(synth, slot.channel, request.program);
    slot.request = request;
    slot.preset = fluid_synth_get_channel_preset(synth, slot.channel);
    slot.lastUse = uses_;
}

} // namespace tonalyx::midi
