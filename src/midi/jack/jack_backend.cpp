// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_backend.h"

#include "jack_client.h"
#include "midi/input/input_route.h"

#include <system_error>

namespace tonalyx::midi {

namespace {
// A server that has not answered by then is taken as none: it may be stopped, and the program
// must start whatever it does.
constexpr std::chrono::milliseconds kClientOpenWait { 500 };
// An open needs two answers of the server and a period with the connection: a few milliseconds,
// or a few hundred on a starved machine. The window waits this long at most for a server that
// runs its periods, and much less for one that has stopped running them, then says the device
// cannot be opened.
constexpr std::chrono::milliseconds kOutputOpenWait { 1000 };
// How often the input asks for a server again, once its own has gone.
constexpr std::chrono::seconds kRevivalInterval { 1 };
} // namespace

class JackBackend::Connection final : public MidiConnection {
public:
    Connection(JackBackend& backend, std::uint32_t number)
        : backend_(backend)
        , number_(number)
    {
        backend_.open_ = true;
    }
    ~Connection() override
    {
        backend_.client_->closeOutput(number_);
        backend_.open_ = false;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool send(MessageBytes message) override { return backend_.client_->send(number_, message); }

private:
    JackBackend& backend_;
    std::uint32_t number_;
};

std::unique_ptr<JackBackend> JackBackend::connect(
    const std::string& clientName, std::shared_ptr<JackCalls> calls)
{
    auto input = std::make_shared<InputRoute>();
    auto client
        = JackClient::open(calls, clientName, JackCalls::Clock::now() + kClientOpenWait, input);
    if (!client)
        return nullptr;
    return std::unique_ptr<JackBackend>(
        new JackBackend(std::move(client), std::move(input), std::move(calls), clientName));
}

JackBackend::JackBackend(std::unique_ptr<JackClient> client, std::shared_ptr<InputRoute> input,
    std::shared_ptr<JackCalls> calls, std::string clientName)
    : client_(std::move(client))
    , input_(std::move(input))
    , calls_(std::move(calls))
    , clientName_(std::move(clientName))
{
    try {
        reviver_ = std::thread([this] { reviveInput(); });
    } catch (const std::system_error&) {
        // Without it the input lasts as long as the first server.
    }
}

JackBackend::~JackBackend()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    if (reviver_.joinable())
        reviver_.join();
}

void JackBackend::reviveInput()
{
    std::unique_lock lock(mutex_);
    while (!stopped_.wait_for(lock, kRevivalInterval, [this] { return stopping_; })) {
        const auto& listening = revived_ ? revived_ : client_;
        if (!listening->serverGone())
            continue;
        // Not before the client of the server that has gone is closed: see
        // JackClient::closeForGoneServer.
        listening->closeForGoneServer();
        if (!listening->closedForGoneServer())
            continue;
        lock.unlock();
        auto client = JackClient::open(
            calls_, clientName_, JackCalls::Clock::now() + kClientOpenWait, input_);
        lock.lock();
        if (client)
            revived_ = std::move(client);
    }
}

InputRoute* JackBackend::input()
{
    return input_.get();
}

std::vector<MidiPort> JackBackend::ports()
{
    std::vector<MidiPort> ports;
    for (auto& name : client_->midiInputs())
        ports.push_back({ name, name });
    return ports;
}

std::unique_ptr<MidiConnection> JackBackend::open(const std::string& identity)
{
    if (open_)
        return nullptr;
    const auto opened = client_->openOutput(identity, JackCalls::Clock::now() + kOutputOpenWait);
    if (opened.result != JackClient::OpenResult::Linked)
        return nullptr;
    return std::make_unique<Connection>(*this, opened.connection);
}

std::uint64_t JackBackend::dropped() const
{
    return client_->dropped();
}

std::uint64_t JackBackend::leftOut() const
{
    return client_->leftOut();
}

std::unique_ptr<MidiBackend> makeJackBackend(
    const std::string& clientName, std::shared_ptr<JackCalls> calls)
{
    return JackBackend::connect(clientName, std::move(calls));
}

} // namespace tonalyx::midi
