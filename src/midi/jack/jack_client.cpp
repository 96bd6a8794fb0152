// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_client.h"

#include "jack_input.h"
#include "jack_output.h"
#include "midi/jack_calls/quiet_jack.h"
#include "midi/terminal_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <jack/jack.h>
#include <mutex>
#include <string_view>
#include <thread>

namespace tonalyx::midi {

namespace {

constexpr const char* kOutputPort = "out";
constexpr const char* kInputPort = "in";
// How long a close lets what was sent before it go out, while the server runs its periods.
constexpr std::chrono::milliseconds kDrainWait { 500 };
// How long a close may take before it counts as stuck: the drain, a period or two, then the
// server's answer, on a starved machine.
constexpr std::chrono::milliseconds kCloseAllowance { 2000 };
// How long undoing a connection may take before it counts as stuck: the server's answer, on a
// starved machine.
constexpr std::chrono::milliseconds kDisconnectAllowance { 2000 };
// How long taking a port back waits for the process thread's periods: a period or two while the
// server runs; only a stopped server or a machine starved for a whole second takes longer.
constexpr std::chrono::milliseconds kPeriodInFlightWait { 1000 };
constexpr std::chrono::milliseconds kPoll { 1 };
// A server that has begun no period for this long while an open waits is stopped or gone, not
// slow: the open gives up without waiting for its deadline. On a starved machine the server
// begins its periods late by tens of milliseconds, and the program's process thread runs late by
// a few hundred at worst.
constexpr std::chrono::milliseconds kServerSilence { 500 };

struct ClientCloser {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
};

bool isMidiInput(const jack_port_t* port)
{
    return port != nullptr && (jack_port_flags(port) & JackPortIsInput) != 0
        && std::strcmp(jack_port_type(port), JACK_DEFAULT_MIDI_TYPE) == 0;
}

template <class Done> bool waitUntil(JackCalls::Clock::time_point deadline, Done done)
{
    while (!done()) {
        if (JackCalls::Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

} // namespace

// Everything the process thread and libjack's threads touch. It lives until the client is
// closed, on whichever thread that happens, so no callback ever runs on it freed.
struct JackClient::Core : std::enable_shared_from_this<Core> {
    explicit Core(std::shared_ptr<InputRoute> route)
        : input(std::move(route))
    { }

    // Declared first, so destroyed last: what the callbacks use outlives the client.
    JackOutput output;
    JackInput input;
    // The client as the callbacks see it, from its activation until the core goes: the owner
    // below is emptied before the client is closed, while notifications may still come.
    std::atomic<jack_client_t*> handle { nullptr };
    // Where a callback has the server asked for something, never in the callback itself.
    std::weak_ptr<JackCalls> calls;
    // Counted by the process thread at the start and the end of each period.
    std::atomic<std::uint64_t> periodsBegun { 0 };
    std::atomic<std::uint64_t> periodsEnded { 0 };
    std::atomic<bool> gone { false };
    // The close of a client whose server has gone has been asked for, and has been done: the
    // process thread has ended.
    std::atomic<bool> closeAsked { false };
    std::atomic<bool> closed { false };
    std::string ownPrefix; // "client:" of this client's own ports
    std::string familyName; // the name asked for, before JACK made it unique
    // Held while a thread other than the JackCalls thread reads the server's shared memory
    // through the client, and while the client is taken away once its server has gone.
    std::mutex clientInUse;
    std::unique_ptr<jack_client_t, ClientCloser> client;

    static int process(jack_nframes_t frames, void* self);
    static void shutdown(jack_status_t, const char*, void* self);
    static void portConnected(jack_port_id_t a, jack_port_id_t b, int connect, void* self);

    // Takes the output port back from the process thread and unregisters it.
    void releaseOutputPort();
    // Closes the client, on the JackCalls thread; again, does nothing.
    void close();
    // Waits until `count` periods begun after now have ended, and those under way; false when
    // the process thread has not got that far within a second (the server is stopped).
    bool periodsEndedAfterNow(std::uint64_t count);
};

int JackClient::Core::process(jack_nframes_t frames, void* self)
{
    auto& core = *static_cast<Core*>(self);
    // Sequentially consistent with close(): a period that begins once the server has gone does
    // nothing, and one begun before is waited for.
    core.periodsBegun.fetch_add(1, std::memory_order_seq_cst);
    if (!core.gone.load(std::memory_order_seq_cst)) {
        // The input first: what it plays goes out in this very period, as through a direct
        // connection, rather than one period later.
        core.input.process(frames);
        core.output.process(frames);
    }
    core.periodsEnded.fetch_add(1, std::memory_order_release);
    return 0;
}

// libjack may call it on the process thread, which a close cancels wherever it is: it takes no
// lock and leaves nothing to undo.
void JackClient::Core::shutdown(jack_status_t, const char*, void* self)
{
    auto& core = *static_cast<Core*>(self);
    core.gone.store(true, std::memory_order_seq_cst);
    core.output.serverGone();
}

void JackClient::Core::close()
{
    if (!client)
        return;
    handle.store(nullptr, std::memory_order_release);
    // jack_client_close cancels the process thread wherever it is, without the server's help once
    // the server has gone: never while the thread serves a period of the program's, where it may
    // hold a lock the program needs. A thread that stays there is left, and the client with it:
    // its input does not come back.
    const bool serverHasGone = gone.load(std::memory_order_seq_cst);
    const auto begun = periodsBegun.load(std::memory_order_seq_cst);
    const bool left = serverHasGone && !waitUntil(Clock::now() + kPeriodInFlightWait, [&] {
        return periodsEnded.load(std::memory_order_acquire) >= begun;
    });
    std::unique_ptr<jack_client_t, ClientCloser> closing;
    {
        const std::lock_guard inUse(clientInUse);
        closing = std::move(client);
    }
    if (left) {
        [[maybe_unused]] auto* leftOpen = closing.release();
        return;
    }
    // Stops the process thread before it returns.
    closing.reset();
    input.clientClosed();
    closed.store(true, std::memory_order_release);
}

// The program's own output connected to its own input would play everything back into it, and
// the thru would send it out again, for ever: such a connection is undone as soon as it is made.
void JackClient::Core::portConnected(jack_port_id_t a, jack_port_id_t b, int connect, void* self)
{
    auto& core = *static_cast<Core*>(self);
    auto* client = core.handle.load(std::memory_order_acquire);
    auto* in = core.input.port();
    if (client == nullptr || in == nullptr)
        return;
    auto* first = jack_port_by_id(client, a);
    auto* second = jack_port_by_id(client, b);
    if (first != in && second != in)
        return;
    auto* other = first == in ? second : first;
    const bool ownOutput = other != nullptr && other != in && jack_port_is_mine(client, other)
        && (jack_port_flags(other) & JackPortIsOutput) != 0;
    if (connect == 0) {
        // A port unregistered meanwhile, the program's output at a device switch, may no
        // longer be found by its number: the input must not stay deaf for it.
        if (other == nullptr || ownOutput)
            core.input.setFedBack(false);
        return;
    }
    if (!ownOutput)
        return;
    core.input.setFedBack(true);
    const auto calls = core.calls.lock();
    if (!calls)
        return;
    calls->post(Clock::now() + kDisconnectAllowance,
        [weak = core.weak_from_this(), from = std::string(jack_port_name(other)),
            to = std::string(jack_port_name(in))] {
            const auto core = weak.lock();
            if (!core || core->gone.load(std::memory_order_acquire) || !core->client)
                return;
            if (jack_disconnect(core->client.get(), from.c_str(), to.c_str()) == 0)
                std::fprintf(stderr,
                    "tonalyx: connection from %s to %s undone: the output would play back into "
                    "the input\n",
                    escapedForTerminal(from).c_str(), escapedForTerminal(to).c_str());
        });
}

bool JackClient::Core::periodsEndedAfterNow(std::uint64_t count)
{
    // Sequentially consistent, as the process thread's count and its reading of what to serve:
    // a period not yet begun now sees whatever was stored before.
    const auto begun = periodsBegun.load(std::memory_order_seq_cst);
    return waitUntil(Clock::now() + kPeriodInFlightWait, [&] {
        return gone.load(std::memory_order_acquire)
            || periodsEnded.load(std::memory_order_acquire) >= begun + count;
    });
}

void JackClient::Core::releaseOutputPort()
{
    output.stopServing();
    // An output port keeps the events of its last period until its buffer is cleared, and the
    // server passes them on again in every period while the port is connected: let one whole
    // period clear it before the process thread lets go of the port.
    periodsEndedAfterNow(1);
    auto* port = output.takePort();
    if (port == nullptr)
        return;
    // A period begun before the port was taken back may still be using it.
    periodsEndedAfterNow(0);
    if (!gone.load(std::memory_order_acquire))
        jack_port_unregister(client.get(), port);
}

std::unique_ptr<JackClient> JackClient::open(std::shared_ptr<JackCalls> calls,
    const std::string& name, Clock::time_point deadline, std::shared_ptr<InputRoute> input)
{
    if (calls->stuck())
        return nullptr;
    // A client opened after its caller gave up is closed where it was opened, as its core goes.
    auto core = calls->run<std::shared_ptr<Core>>(deadline,
        [name, owner = std::weak_ptr(calls), input = std::move(input)]() -> std::shared_ptr<Core> {
            auto core = std::make_shared<Core>(input);
            core->calls = owner;
            {
                const QuietJack quiet;
                jack_status_t status {};
                core->client.reset(jack_client_open(name.c_str(), JackNoStartServer, &status));
            }
            auto* client = core->client.get();
            if (client == nullptr)
                return nullptr;
            core->ownPrefix = std::string(jack_get_client_name(client)) + ":";
            core->familyName = name;
            // The keyboard's way in, for the whole run. Without it the output works all the same.
            if (auto* in = jack_port_register(
                    client, kInputPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0))
                core->input.listenTo(in);
            // Heard on libjack's own thread, whatever the process thread is doing.
            jack_on_info_shutdown(client, &Core::shutdown, core.get());
            core->handle.store(client, std::memory_order_release);
            if (jack_set_process_callback(client, &Core::process, core.get()) != 0
                || jack_set_port_connect_callback(client, &Core::portConnected, core.get()) != 0
                || jack_activate(client) != 0)
                return nullptr;
            return core;
        });
    if (!core || !*core)
        return nullptr;
    return std::unique_ptr<JackClient>(new JackClient(std::move(calls), std::move(*core)));
}

JackClient::JackClient(std::shared_ptr<JackCalls> calls, std::shared_ptr<Core> core)
    : calls_(std::move(calls))
    , core_(std::move(core))
{
    serverSilentFor();
}

JackClient::Clock::duration JackClient::serverSilentFor()
{
    // Its frame time at the start of its latest period, read from its shared memory without
    // waiting, or this client's count of periods run.
    ServerHeard now { heard_.periodStart, core_->periodsEnded.load(std::memory_order_acquire) };
    {
        const std::lock_guard inUse(core_->clientInUse);
        if (core_->client)
            now.periodStart = jack_last_frame_time(core_->client.get());
    }
    if (now != heard_) {
        heard_ = now;
        heardAt_ = Clock::now();
    }
    return Clock::now() - heardAt_;
}

JackClient::~JackClient()
{
    calls_->post(Clock::now() + kCloseAllowance, [core = std::move(core_)]() mutable {
        core->releaseOutputPort();
        // The core goes after the process thread has stopped.
        core->close();
    });
}

void JackClient::closeForGoneServer()
{
    if (!serverGone() || core_->closeAsked.exchange(true))
        return;
    calls_->post(Clock::now() + kCloseAllowance, [core = core_] { core->close(); });
}

std::vector<std::string> JackClient::midiInputs() const
{
    std::vector<std::string> inputs;
    const std::lock_guard inUse(core_->clientInUse);
    if (serverGone() || !core_->client)
        return inputs;
    const char** names
        = jack_get_ports(core_->client.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (names == nullptr)
        return inputs;
    for (const char** name = names; *name != nullptr; ++name) {
        if (!isOwnPort(*name))
            inputs.emplace_back(*name);
    }
    jack_free(static_cast<void*>(names));
    return inputs;
}

JackClient::Opened JackClient::openOutput(const std::string& target, Clock::time_point deadline)
{
    if (serverGone())
        return { OpenResult::NoServer };
    const auto connection = ++lastConnection_;
    auto open = [core = core_, target, connection, deadline]() -> OpenResult {
        if (core->gone.load(std::memory_order_acquire))
            return OpenResult::NoServer;
        auto* client = core->client.get();
        if (!isMidiInput(jack_port_by_name(client, target.c_str())))
            return OpenResult::NoSuchPort;
        auto* port
            = jack_port_register(client, kOutputPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        if (port == nullptr)
            return OpenResult::Refused;
        core->output.serve(port, connection);
        const int connected = jack_connect(client, jack_port_name(port), target.c_str());
        if (connected != 0 && connected != EEXIST) {
            core->releaseOutputPort();
            return OpenResult::Refused;
        }
        // jack_connect() has only asked for the connection; the graph that carries it starts at
        // a later period, which the process thread reports.
        const bool linked = waitUntil(deadline, [&] {
            return core->output.linked(connection) || core->gone.load(std::memory_order_acquire);
        });
        if (linked && core->output.linked(connection))
            return OpenResult::Linked;
        core->releaseOutputPort();
        return linked ? OpenResult::NoServer : OpenResult::TimedOut;
    };
    // Linked after the caller gave up: nobody will send or close, so close here.
    auto abandon = [core = core_](OpenResult& result) {
        if (result == OpenResult::Linked)
            core->releaseOutputPort();
    };
    const auto silent = [this] { return serverSilentFor() > kServerSilence; };
    // Behind a stuck call, an open would wait for as long as the server stays stopped. A server
    // still running its periods is only slow: the call will end, and the open can wait for it.
    if (calls_->stuck() && silent())
        return { OpenResult::TimedOut };
    const auto result = calls_->run<OpenResult>(deadline, open, abandon, silent);
    if (!result)
        return { OpenResult::TimedOut };
    if (*result != OpenResult::Linked)
        return { *result };
    return { OpenResult::Linked, connection };
}

bool JackClient::send(std::uint32_t connection, std::span<const std::uint8_t> message)
{
    return core_->output.send(connection, message);
}

void JackClient::closeOutput(std::uint32_t connection)
{
    calls_->post(Clock::now() + kCloseAllowance, [core = core_, connection] {
        // What was sent before the close still goes out, to the device it was sent to.
        waitUntil(Clock::now() + kDrainWait,
            [&] { return core->output.drained() || !core->output.linked(connection); });
        core->releaseOutputPort();
    });
}

bool JackClient::isOwnPort(std::string_view name) const
{
    if (name.starts_with(core_->ownPrefix))
        return true;
    // Another client of the same name: this program run again, whose input is no synthesiser.
    // JACK tells clients of one name apart by "-01" to "-99".
    const auto& family = core_->familyName;
    if (!name.starts_with(family))
        return false;
    const auto rest = name.substr(family.size());
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    return rest.starts_with(':')
        || (rest.size() > 3 && rest[0] == '-' && isDigit(rest[1]) && isDigit(rest[2])
            && rest[3] == ':');
}

bool JackClient::serverGone() const
{
    return core_->gone.load(std::memory_order_acquire);
}

bool JackClient::closedForGoneServer() const
{
    return core_->closed.load(std::memory_order_acquire);
}

std::uint64_t JackClient::dropped() const
{
    return core_->output.dropped();
}

std::uint64_t JackClient::leftOut() const
{
    return core_->output.leftOut();
}

} // namespace tonalyx::midi
