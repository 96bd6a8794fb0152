#include "system_midi_out_service.h"

#include "device_name.h"
#include "jack_server.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <span>

namespace tonalyx::midi {

namespace {

constexpr std::string_view kBuiltInSynthName = "Built-in GS Synth (FluidSynth)";
static_assert(kBuiltInSynthName.size() <= kMaxDeviceNameBytes);

// The device that every ALSA sequencer client opens. Without it (a kernel without the sequencer)
// RtMidi would only print its failure to the terminal.
constexpr const char* kAlsaSequencerDevice = "/dev/snd/seq";

// The mark prepareHeader leaves in a header's flags; longMessage takes only marked headers.
constexpr std::uint32_t kHeaderPrepared = 0x2;

// Sustain off, All Sound Off and All Notes Off on each of the 16 channels: the sustain first,
// since a held pedal would keep notes sounding through All Notes Off.
constexpr std::array<std::uint8_t, 16 * 9> silenceAllChannels()
{
    std::array<std::uint8_t, 16 * 9> bytes {};
    for (std::size_t channel = 0; channel < 16; ++channel) {
        const auto status = static_cast<std::uint8_t>(0xB0 + channel);
        const std::array<std::uint8_t, 9> messages { status, 64, 0, status, 120, 0, status, 123,
            0 };
        std::copy(messages.begin(), messages.end(), bytes.begin() + channel * 9);
    }
    return bytes;
}
constexpr auto kSilenceAllChannels = silenceAllChannels();

} // namespace

SystemMidiOutService::SystemMidiOutService(SystemMidiOutConfig config)
    : config_(std::move(config))
{ }

SystemMidiOutService::~SystemMidiOutService() = default;

const std::vector<SystemMidiOutService::Device>& SystemMidiOutService::devices()
{
    if (devices_)
        return *devices_;
    devices_.emplace();
    devices_->push_back({ System::BuiltIn, {}, capsNamed(kBuiltInSynthName) });
    std::error_code error;
    if (std::filesystem::exists(kAlsaSequencerDevice, error)) {
        alsa_ = PortClient::connect(RtMidi::LINUX_ALSA, config_.clientName);
        listPorts(System::Alsa, alsa_.get());
    }
    if (jackServerRunning()) {
        jack_ = PortClient::connect(RtMidi::UNIX_JACK, config_.clientName);
        listPorts(System::Jack, jack_.get());
    }
    return *devices_;
}

void SystemMidiOutService::listPorts(System system, PortClient* client)
{
    if (client == nullptr)
        return;
    for (auto& portName : client->portNames()) {
        const auto shown = system == System::Alsa ? withoutAlsaAddress(portName) : portName;
        devices_->push_back({ system, portName, capsNamed(shown) });
    }
}

PortClient* SystemMidiOutService::clientOf(System system)
{
    return system == System::Alsa ? alsa_.get() : system == System::Jack ? jack_.get() : nullptr;
}

std::uint32_t SystemMidiOutService::deviceCount()
{
    return static_cast<std::uint32_t>(devices().size());
}

MidiResult SystemMidiOutService::deviceCaps(std::int32_t device, MidiOutCaps& caps)
{
    caps = {};
    const auto& list = devices();
    if (device < 0 || static_cast<std::size_t>(device) >= list.size())
        return kMidiError;
    caps = list[static_cast<std::size_t>(device)].caps;
    return kMidiOk;
}

MidiResult SystemMidiOutService::open(MidiOutHandle& handle, std::int32_t device)
{
    handle = 0;
    const auto& list = devices();
    if (device < 0 || static_cast<std::size_t>(device) >= list.size()
        || handles_.isDeviceOpen(device))
        return kMidiError;
    if (!openDevice(list[static_cast<std::size_t>(device)]))
        return kMidiError;
    handle = handles_.issue(device);
    return kMidiOk;
}

bool SystemMidiOutService::openDevice(const Device& device)
{
    if (device.system != System::BuiltIn) {
        auto* client = clientOf(device.system);
        return client != nullptr && client->open(device.portName);
    }
    if (!synth_) {
        synth_ = BuiltInSynth::load(config_.soundFonts);
        if (!synth_)
            return false;
    }
    return config_.audioDrivers.empty() || synth_->startAudio(config_.audioDrivers);
}

void SystemMidiOutService::closeDevice(const Device& device)
{
    if (device.system != System::BuiltIn) {
        if (auto* client = clientOf(device.system))
            client->close();
    } else if (synth_) {
        synth_->stopAudio();
    }
}

const SystemMidiOutService::Device* SystemMidiOutService::openDeviceOf(MidiOutHandle handle)
{
    const auto device = handles_.deviceOf(handle);
    if (!device)
        return nullptr;
    return &devices()[static_cast<std::size_t>(*device)];
}

MidiResult SystemMidiOutService::close(MidiOutHandle handle)
{
    const auto* device = openDeviceOf(handle);
    if (device == nullptr)
        return kMidiError;
    closeDevice(*device);
    handles_.release(handle);
    return kMidiOk;
}

bool SystemMidiOutService::send(const Device& device, std::span<const MessageBytes> messages)
{
    if (device.system == System::BuiltIn) {
        bool all = synth_.has_value();
        for (const auto message : messages)
            all = synth_ && synth_->play(message) && all;
        return all;
    }
    auto* client = clientOf(device.system);
    if (client == nullptr || !client->isOpen())
        return false;
    for (const auto message : messages)
        client->send(message);
    return true;
}

MidiResult SystemMidiOutService::reset(MidiOutHandle handle)
{
    const auto* device = openDeviceOf(handle);
    if (device == nullptr)
        return kMidiError;
    if (device->system == System::BuiltIn) {
        synth_->silence();
        return kMidiOk;
    }
    const auto messages = splitMessages(kSilenceAllChannels);
    return send(*device, *messages) ? kMidiOk : kMidiError;
}

MidiResult SystemMidiOutService::shortMessage(MidiOutHandle handle, std::uint32_t packed)
{
    const auto* device = openDeviceOf(handle);
    const auto message = shortMessageBytes(packed);
    if (device == nullptr || !message)
        return kMidiError;
    // Every press and release comes this way: nothing here may allocate.
    const MessageBytes bytes = message->bytes();
    return send(*device, { &bytes, 1 }) ? kMidiOk : kMidiError;
}

MidiResult SystemMidiOutService::prepareHeader(MidiOutHandle handle, MidiLongMessageHeader& header)
{
    if (openDeviceOf(handle) == nullptr || header.data == nullptr || header.length == 0)
        return kMidiError;
    header.flags |= kHeaderPrepared;
    return kMidiOk;
}

MidiResult SystemMidiOutService::longMessage(MidiOutHandle handle, MidiLongMessageHeader& header)
{
    const auto* device = openDeviceOf(handle);
    if (device == nullptr || header.data == nullptr || (header.flags & kHeaderPrepared) == 0)
        return kMidiError;
    const auto messages = splitMessages({ header.data, header.length });
    if (!messages)
        return kMidiError;
    return send(*device, *messages) ? kMidiOk : kMidiError;
}

std::unique_ptr<MidiOutService> makeSystemMidiOutService()
{
    return std::make_unique<SystemMidiOutService>();
}

} // namespace tonalyx::midi
