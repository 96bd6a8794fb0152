// SPDX-License-Identifier: GPL-3.0-or-later
#include "builtin_synth_backend.h"

#include <utility>

namespace tonalyx::midi {

namespace {
constexpr std::string_view kIdentity = "builtin";
}

class BuiltInSynthBackend::Connection final : public MidiConnection {
public:
    explicit Connection(BuiltInSynthBackend& backend)
        : backend_(backend)
    {
        backend_.open_ = true;
    }
    ~Connection() override
    {
        backend_.synth_->stopAudio();
        backend_.open_ = false;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool send(MessageBytes message) override { return backend_.synth_->play(message); }
    // FluidSynth lets a note off that follows an All Sound Off in the same period bring the voice
    // back in its release, so the controllers of a plain reset would leave notes sounding.
    void reset() override { backend_.synth_->silence(); }
    void prepare(std::int32_t bank, std::int32_t program) override
    {
        backend_.synth_->prepare(bank, program);
    }
    std::optional<DrumSetsHeld> drumSetsHeld() const override
    {
        return backend_.synth_->drumSetsHeld();
    }

private:
    BuiltInSynthBackend& backend_;
};

BuiltInSynthBackend::BuiltInSynthBackend(
    BuiltInSynthConfig config, std::shared_ptr<JackCalls> jackCalls)
    : config_(std::move(config))
    , jackCalls_(std::move(jackCalls))
{ }

std::vector<MidiPort> BuiltInSynthBackend::ports()
{
    return { { std::string(kIdentity), std::string(kName) } };
}

std::unique_ptr<MidiConnection> BuiltInSynthBackend::open(const std::string& identity)
{
    if (identity != kIdentity || open_)
        return nullptr;
    if (!synth_) {
        // Only the open that starts the load waits for it; one that comes while a load given up
        // on still runs fails at once rather than wait behind it.
        const bool starting = !loading_;
        if (starting)
            loading_ = std::make_unique<SynthLoad>(config_.soundFonts, config_.extraSoundFonts);
        const auto waited = starting ? config_.loadTime : std::chrono::milliseconds::zero();
        if (!loading_->waitUntil(SynthLoad::Clock::now() + waited))
            return nullptr;
        synth_ = std::exchange(loading_, nullptr)->take();
        if (!synth_)
            return nullptr;
    }
    if (!config_.audioDrivers.empty() && !synth_->startAudio(config_.audioDrivers, jackCalls_))
        return nullptr;
    return std::make_unique<Connection>(*this);
}

} // namespace tonalyx::midi
