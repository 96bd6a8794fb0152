// SPDX-License-Identifier: GPL-3.0-or-later
#include "alsa_input.h"

#include <algorithm>
#include <alsa/asoundlib.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tonalyx::midi {

namespace {

// How long the end of the program waits for the reader to finish.
constexpr std::chrono::milliseconds kFarewell { 500 };
// Room for the longest event decoded whole: a 14-bit controller or an (N)RPN, four controllers.
// Longer ones (system exclusive) do not fit and are dropped, as the queue would drop them.
constexpr std::size_t kDecodedBytes = 16;
constexpr int kMaxDescriptors = 8;

struct SequencerCloser {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
struct DecoderFreer {
    void operator()(snd_midi_event_t* decoder) const { snd_midi_event_free(decoder); }
};

// Hands each message of `bytes`, as many as one event decodes to, to the queue separately.
void pushEach(InputQueue& queue, const std::uint8_t* bytes, std::size_t size)
{
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start + 1;
        while (end < size && bytes[end] < 0x80)
            ++end;
        queue.push({ bytes + start, end - start });
        start = end;
    }
}

} // namespace

// Everything the thread touches. The thread holds it too, so that it outlives the AlsaInput when
// the thread is left to finish on its own.
struct AlsaInput::Reader {
    InputQueue queue;
    int stop = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::atomic<bool> listening { false };
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;

    ~Reader()
    {
        if (stop >= 0)
            ::close(stop);
    }

    void run(const std::string& clientName);
    void read(snd_seq_t* seq, snd_midi_event_t* decoder);
    void finish()
    {
        const std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    }
};

void AlsaInput::Reader::run(const std::string& clientName)
{
    snd_seq_t* opened = nullptr;
    if (stop < 0 || snd_seq_open(&opened, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0)
        return;
    const std::unique_ptr<snd_seq_t, SequencerCloser> seq(opened);
    snd_midi_event_t* made = nullptr;
    if (snd_midi_event_new(kDecodedBytes, &made) < 0)
        return;
    const std::unique_ptr<snd_midi_event_t, DecoderFreer> decoder(made);
    // Every message whole, with its status byte, as the queue takes them.
    snd_midi_event_no_status(decoder.get(), 1);
    snd_seq_set_client_name(seq.get(), clientName.c_str());
    if (snd_seq_create_simple_port(seq.get(), "in",
            SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION)
        < 0)
        return;
    std::array<pollfd, kMaxDescriptors + 1> watched {};
    const int count = snd_seq_poll_descriptors(seq.get(), watched.data(), kMaxDescriptors, POLLIN);
    if (count <= 0)
        return;
    const auto stopAt = static_cast<std::size_t>(count);
    watched[stopAt] = { stop, POLLIN, 0 };
    listening.store(true, std::memory_order_release);
    for (;;) {
        if (::poll(watched.data(), stopAt + 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (watched[stopAt].revents != 0)
            break;
        // A sequencer that has failed would wake the loop again at once, for ever.
        const bool failed = std::any_of(watched.begin(), watched.begin() + count,
            [](const pollfd& fd) { return (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0; });
        if (failed)
            break;
        read(seq.get(), decoder.get());
    }
    listening.store(false, std::memory_order_release);
}

void AlsaInput::Reader::read(snd_seq_t* seq, snd_midi_event_t* decoder)
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
        std::array<std::uint8_t, kDecodedBytes> bytes;
        const long size = snd_midi_event_decode(decoder, bytes.data(), bytes.size(), event);
        if (size > 0)
            pushEach(queue, bytes.data(), static_cast<std::size_t>(size));
    }
}

AlsaInput::AlsaInput(const std::string& clientName)
    : reader_(std::make_shared<Reader>())
{
    try {
        thread_ = std::thread([reader = reader_, clientName] {
            reader->run(clientName);
            reader->finish();
        });
    } catch (const std::system_error&) {
        reader_->finish();
    }
}

AlsaInput::~AlsaInput()
{
    if (!thread_.joinable())
        return;
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

InputQueue& AlsaInput::queue()
{
    return reader_->queue;
}

bool AlsaInput::listening() const
{
    return reader_->listening.load(std::memory_order_acquire);
}

} // namespace tonalyx::midi
