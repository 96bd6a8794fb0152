#pragma once

#include "audio_output.h"
#include "builtin_synth.h"
#include "handle_registry.h"
#include "midi_out_service.h"
#include "port_client.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tonalyx::midi {

// What the system service is made of. The defaults are the program's; tests change them to
// reach the failures a user's machine can have.
struct SystemMidiOutConfig {
    std::vector<std::string> soundFonts = defaultSoundFonts();
    // Tried in order when the built-in synth opens. An empty list opens it without any audio
    // output; its sound is then rendered by hand through builtInSynth().
    std::vector<std::string> audioDrivers = defaultAudioDrivers();
    // The client name under which the program appears to ALSA and JACK.
    std::string clientName = "Tonalyx";
};

// The devices this machine offers, numbered once for the whole run: 0 is the built-in GS synth,
// then every writable ALSA sequencer port, then every MIDI input port of a running JACK server.
class SystemMidiOutService final : public MidiOutService {
public:
    explicit SystemMidiOutService(SystemMidiOutConfig config = {});
    ~SystemMidiOutService() override;
    SystemMidiOutService(const SystemMidiOutService&) = delete;
    SystemMidiOutService& operator=(const SystemMidiOutService&) = delete;

    std::uint32_t deviceCount() override;
    MidiResult deviceCaps(std::int32_t device, MidiOutCaps& caps) override;
    MidiResult open(MidiOutHandle& handle, std::int32_t device) override;
    MidiResult close(MidiOutHandle handle) override;
    MidiResult reset(MidiOutHandle handle) override;
    MidiResult shortMessage(MidiOutHandle handle, std::uint32_t packed) override;
    MidiResult prepareHeader(MidiOutHandle handle, MidiLongMessageHeader& header) override;
    MidiResult longMessage(MidiOutHandle handle, MidiLongMessageHeader& header) override;

    // The built-in synth once device 0 has been opened, for rendering and looking into it.
    BuiltInSynth* builtInSynth() { return synth_ ? &*synth_ : nullptr; }

private:
    enum class System { BuiltIn, Alsa, Jack };
    struct Device {
        System system;
        std::string portName; // the full name the system gives the port; its identity
        MidiOutCaps caps;
    };

    const std::vector<Device>& devices();
    void listPorts(System system, PortClient* client);
    PortClient* clientOf(System system);
    bool openDevice(const Device& device);
    void closeDevice(const Device& device);
    // Sends whole messages to an open device; false when the device takes none of them.
    bool send(const Device& device, std::span<const MessageBytes> messages);
    const Device* openDeviceOf(MidiOutHandle handle);

    SystemMidiOutConfig config_;
    std::optional<std::vector<Device>> devices_;
    std::unique_ptr<PortClient> alsa_;
    std::unique_ptr<PortClient> jack_;
    std::optional<BuiltInSynth> synth_;
    HandleRegistry handles_;
};

// The program's MIDI output service on this machine.
std::unique_ptr<MidiOutService> makeSystemMidiOutService();

} // namespace tonalyx::midi
