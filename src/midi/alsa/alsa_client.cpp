// SPDX-License-Identifier: GPL-3.0-or-later
#include "alsa_client.h"

#include "alsa_handles.h"
#include "midi/midi_stream.h"
#include "midi/terminal_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace tonalyx::midi {

namespace {

// How long the end of the program waits for the reader to finish.
constexpr std::chrono::milliseconds kFarewell { 500 };
// Room for the longest event decoded whole: a 14-bit controller or an (N)RPN, four controllers.
// Longer ones (system exclusive) do not fit and are dropped, as the input would drop them.
constexpr std::size_t kDecodedBytes = 16;
constexpr int kMaxDescriptors = 8;
constexpr unsigned int kPortType = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
// "in" comes first, so that `aconnect keyboard 'Tonalyx':0` reaches it.
constexpr int kInPort = 0;
constexpr int kOutPort = 1;

} // namespace

// Everything the thread touches. The thread holds it too, so that it outlives the AlsaClient when
// the thread is left to finish on its own.
struct AlsaClient::Reader {
    InputRoute route;
    std::string name;
    int ownClient = -1;
    // Connections to "in" from other ports than the sequencer's own announcements.
    bool sourcesConnected = false;
    int stop = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::mutex mutex;
    std::condition_variable changed;
    // Until the open has succeeded or failed, neither is set.
    std::optional<Opened> opened;
    bool openFailed = false;
    // Set before `stop` is written: whatever the owner did with the client comes before it.
    bool stopping = false;
    bool ended = false;

    ~Reader()
    {
        if (stop >= 0)
            ::close(stop);
    }

    void run(const std::string& name);
    Sequencer open(const std::string& name);
    void listen(snd_seq_t* seq, snd_midi_event_t* decoder);
    void read(snd_seq_t* seq, snd_midi_event_t* decoder);
    // What the sequencer announces: connections made and undone, clients and ports gone.
    void announced(snd_seq_t* seq, const snd_seq_event_t& event);
    bool fromOwnOutput(const snd_seq_addr_t& address) const
    {
        return address.client == ownClient && address.port == kOutPort;
    }
    void waitForStop();
    void settle(std::optional<Opened> result)
    {
        const std::lock_guard lock(mutex);
        opened = result;
        openFailed = !result;
        changed.notify_all();
    }
    void finish()
    {
        const std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    }
};

void AlsaClient::Reader::run(const std::string& name)
{
    // Without its way to stop, the thread could not be told to let go of the client.
    const auto seq = stop >= 0 ? open(name) : nullptr;
    auto decoder = makeMidiEventCoder(kDecodedBytes);
    if (!seq || !decoder) {
        settle(std::nullopt);
        return;
    }
    // Every message whole, with its status byte, as the input takes them.
    snd_midi_event_no_status(decoder.get(), 1);
    ownClient = snd_seq_client_id(seq.get());
    settle(Opened { seq.get(), ownClient, kOutPort });
    listen(seq.get(), decoder.get());
    // The output may still be sending through the client: it is closed only once the owner has
    // let go of it.
    waitForStop();
}

Sequencer AlsaClient::Reader::open(const std::string& name)
{
    snd_seq_t* made = nullptr;
    if (snd_seq_open(&made, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0)
        return nullptr;
    Sequencer seq(made);
    snd_seq_set_client_name(seq.get(), name.c_str());
    if (snd_seq_create_simple_port(
            seq.get(), "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, kPortType)
            != kInPort
        || snd_seq_create_simple_port(
               seq.get(), "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, kPortType)
            != kOutPort)
        return nullptr;
    // The announcements come into "in" with the keyboards' messages, in the order things
    // happened: a keyboard's last notes, then its connection undone. Without them nothing would
    // release what a keyboard that went away held.
    snd_seq_connect_from(seq.get(), kInPort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    return seq;
}

// Reads "in" until told to stop, or until the sequencer fails.
void AlsaClient::Reader::listen(snd_seq_t* seq, snd_midi_event_t* decoder)
{
    std::array<pollfd, kMaxDescriptors + 1> watched {};
    const int count = snd_seq_poll_descriptors(seq, watched.data(), kMaxDescriptors, POLLIN);
    if (count <= 0)
        return;
    const auto stopAt = static_cast<std::size_t>(count);
    watched[stopAt] = { stop, POLLIN, 0 };
    for (;;) {
        if (::poll(watched.data(), stopAt + 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watched[stopAt].revents != 0)
            return;
        // A sequencer that has failed would wake the loop again at once, for ever.
        const bool failed = std::any_of(watched.begin(), watched.begin() + count,
            [](const pollfd& fd) { return (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0; });
        if (failed)
            return;
        read(seq, decoder);
    }
}

void AlsaClient::Reader::read(snd_seq_t* seq, snd_midi_event_t* decoder)
{
    for (;;) {
        snd_seq_event_t* event = nullptr;
        const int left = snd_seq_event_input(seq, &event);
        // -EAGAIN: nothing more now. -ENOSPC: the kernel's buffer overran and dropped events;
        // what follows is read all the same.
        if (left == -ENOSPC)
            continue;
        if (left < 0 || event == nullptr)
            return;
        if (event->source.client == SND_SEQ_CLIENT_SYSTEM) {
            announced(seq, *event);
            continue;
        }
        // Played back by the program's own output before its connection to "in" is undone.
        if (fromOwnOutput(event->source))
            continue;
        std::array<std::uint8_t, kDecodedBytes> bytes;
        const long size = snd_midi_event_decode(decoder, bytes.data(), bytes.size(), event);
        // One event may decode to several messages (a 14-bit controller is two): each goes
        // on on its own.
        if (size > 0)
            forEachMessage(MessageBytes(bytes.data(), static_cast<std::size_t>(size)),
                [this](MessageBytes message) { route.push(message); });
    }
}

namespace {

// How many ports write into `client`'s port `port`, other than the sequencer's own and the
// client's: its own output, connected back for a moment before the reader undoes it, is no source.
int sourcesOf(snd_seq_t* seq, int client, int port)
{
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_alloca(&query);
    const snd_seq_addr_t root { static_cast<unsigned char>(client),
        static_cast<unsigned char>(port) };
    snd_seq_query_subscribe_set_root(query, &root);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_WRITE);
    snd_seq_query_subscribe_set_index(query, 0);
    int sources = 0;
    while (snd_seq_query_port_subscribers(seq, query) >= 0) {
        const int writer = snd_seq_query_subscribe_get_addr(query)->client;
        if (writer != SND_SEQ_CLIENT_SYSTEM && writer != client)
            ++sources;
        snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
    }
    return sources;
}

} // namespace

void AlsaClient::Reader::announced(snd_seq_t* seq, const snd_seq_event_t& event)
{
    switch (event.type) {
    case SND_SEQ_EVENT_PORT_SUBSCRIBED: {
        const auto& connection = event.data.connect;
        // The program's own output played into its own input would come back out, for ever.
        if (connection.dest.client == ownClient && connection.dest.port == kInPort
            && fromOwnOutput(connection.sender)
            && snd_seq_disconnect_from(seq, kInPort, ownClient, kOutPort) == 0) {
            std::fprintf(stderr,
                "tonalyx: connection from %s to %s undone: the output would play back into the "
                "input\n",
                escapedForTerminal(name + ":out").c_str(),
                escapedForTerminal(name + ":in").c_str());
        }
        break;
    }
    case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
    case SND_SEQ_EVENT_PORT_EXIT:
    case SND_SEQ_EVENT_CLIENT_EXIT:
        break;
    default:
        return;
    }
    const bool connected = sourcesOf(seq, ownClient, kInPort) > 0;
    if (sourcesConnected && !connected)
        route.pushSourcesGone();
    sourcesConnected = connected;
}

void AlsaClient::Reader::waitForStop()
{
    pollfd told { stop, POLLIN, 0 };
    for (;;) {
        // With one valid descriptor, only a signal or a moment without kernel memory ends the
        // wait early.
        if (::poll(&told, 1, -1) <= 0)
            continue;
        const std::lock_guard lock(mutex);
        if (stopping)
            return;
    }
}

AlsaClient::AlsaClient(const std::string& name)
    : reader_(std::make_shared<Reader>())
{
    try {
        reader_->name = name;
        thread_ = std::thread([reader = reader_, name] {
            reader->run(name);
            reader->finish();
        });
    } catch (const std::system_error&) {
        reader_->settle(std::nullopt);
        reader_->finish();
    }
}

AlsaClient::~AlsaClient()
{
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard lock(reader_->mutex);
        reader_->stopping = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(reader_->stop, &one, sizeof one);
    bool ended = false;
    {
        std::unique_lock lock(reader_->mutex);
        ended = reader_->changed.wait_for(lock, kFarewell, [&] { return reader_->ended; });
    }
    if (ended)
        thread_.join();
    else
        thread_.detach();
}

std::optional<AlsaClient::Opened> AlsaClient::waitUntilOpen(std::chrono::milliseconds wait)
{
    std::unique_lock lock(reader_->mutex);
    reader_->changed.wait_for(lock, wait, [&] { return reader_->opened || reader_->openFailed; });
    return reader_->opened;
}

InputRoute& AlsaClient::route()
{
    return reader_->route;
}

} // namespace tonalyx::midi
