// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_backend.h"

namespace tonalyx::testing {

class RecordingBackend::Connection final : public midi::MidiConnection {
public:
    Connection(RecordingBackend& backend, std::int32_t device)
        : backend_(backend)
        , device_(device)
    { }
    ~Connection() override { backend_.record({ CallKind::Close, device_, {}, true }); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool send(midi::MessageBytes message) override
    {
        backend_.record({ CallKind::Send, device_, Bytes(message.begin(), message.end()), true });
        return true;
    }
    void prepare(std::int32_t bank, std::int32_t program) override
    {
        const std::lock_guard lock(backend_.mutex_);
        backend_.preparations_.push_back({ device_, bank, program });
    }

private:
    RecordingBackend& backend_;
    std::int32_t device_;
};

RecordingBackend::RecordingBackend(std::vector<std::string> portNames)
    : names_(std::move(portNames))
{ }

void RecordingBackend::record(Call call)
{
    const std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

std::vector<RecordingBackend::CallKind> RecordingBackend::callKinds() const
{
    std::vector<CallKind> kinds;
    for (const auto& call : calls())
        kinds.push_back(call.kind);
    return kinds;
}

Bytes RecordingBackend::deliveredTo(std::int32_t device) const
{
    Bytes stream;
    for (const auto& call : calls()) {
        if (call.kind == CallKind::Send && call.device == device)
            stream.insert(stream.end(), call.bytes.begin(), call.bytes.end());
    }
    return stream;
}

std::vector<Bytes> RecordingBackend::sentMessages() const
{
    std::vector<Bytes> messages;
    for (const auto& call : calls()) {
        if (call.kind == CallKind::Send)
            messages.push_back(call.bytes);
    }
    return messages;
}

std::vector<midi::MidiPort> RecordingBackend::ports()
{
    std::vector<midi::MidiPort> ports;
    for (std::size_t i = 0; i < names_.size(); ++i)
        ports.push_back({ std::to_string(i), names_[i] });
    return ports;
}

std::unique_ptr<midi::MidiConnection> RecordingBackend::open(const std::string& identity)
{
    const auto device = std::stoi(identity);
    const bool opens = !failingOpens_.contains(device);
    record({ CallKind::Open, device, {}, opens });
    if (!opens)
        return nullptr;
    return std::make_unique<Connection>(*this, device);
}

} // namespace tonalyx::testing
