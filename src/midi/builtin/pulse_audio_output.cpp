// SPDX-License-Identifier: GPL-3.0-or-later
#include "pulse_audio_output.h"

#include "pulse_handles.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <span>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tonalyx::midi {

namespace {

constexpr std::size_t kChannels = 2;
constexpr std::size_t kFrameBytes = kChannels * sizeof(float);
// Quieter than the last step of 16-bit audio: what no sound card would play.
constexpr float kSilent = 1.0f / 65536.0f;

float peakOf(std::span<const float> samples)
{
    float peak = 0;
    for (const float sample : samples)
        peak = std::max(peak, std::fabs(sample));
    return peak;
}

} // namespace

// Everything libpulse's thread touches. It lives on the heap at a fixed address (the callbacks'
// userdata) and outlives its PulseAudioOutput when the server is slow to let go of it.
struct PulseAudioOutput::Connection {
    enum class Opening { Pending, Ready, Failed };

    Connection(fluid_synth_t& synth, Options o)
        : options(std::move(o))
        , feed(synth)
    {
        double rate = 48000;
        fluid_settings_getnum(fluid_synth_get_settings(&synth), "synth.sample-rate", &rate);
        sampleRate = static_cast<std::uint32_t>(rate);
        options.periodFrames = std::max(options.periodFrames, 16);
        options.bufferFrames = std::max(options.bufferFrames, 2 * options.periodFrames);
        idleFrames = static_cast<std::uint64_t>(
            double(sampleRate) * std::chrono::duration<double>(options.idleAfter).count());
    }

    ~Connection()
    {
        if (loopStarted) {
            // Nothing here waits for the server: libpulse only queues the goodbyes and closes the
            // socket. The loop's thread holds the lock only while it runs a callback.
            pa_threaded_mainloop_lock(mainloop.get());
            if (stream) {
                pa_stream_set_state_callback(stream.get(), nullptr, nullptr);
                pa_stream_set_write_callback(stream.get(), nullptr, nullptr);
                pa_stream_set_underflow_callback(stream.get(), nullptr, nullptr);
                pa_stream_disconnect(stream.get());
            }
            pa_context_set_state_callback(context.get(), nullptr, nullptr);
            pa_context_disconnect(context.get());
            pa_threaded_mainloop_unlock(mainloop.get());
            pa_threaded_mainloop_stop(mainloop.get());
        }
        if (wakeEvent != nullptr)
            pa_threaded_mainloop_get_api(mainloop.get())->io_free(wakeEvent);
        stream.reset();
        context.reset();
        mainloop.reset();
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void finishOpening(Opening outcome, std::string error = {})
    {
        {
            const std::lock_guard lock(openMutex);
            if (opening != Opening::Pending)
                return;
            opening = outcome;
            openError = std::move(error);
        }
        openChanged.notify_all();
    }

    void fail(const char* what)
    {
        failed.store(true);
        std::string reason = what;
        if (context)
            reason += std::string(": ") + pa_strerror(pa_context_errno(context.get()));
        finishOpening(Opening::Failed, std::move(reason));
    }

    // --- libpulse's thread from here on ---

    static void onContextState(pa_context* c, void* self)
    {
        auto& connection = *static_cast<Connection*>(self);
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            connection.connectStream();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            connection.fail("the connection to the sound server failed");
            break;
        default:
            break;
        }
    }

    static void onStreamState(pa_stream* s, void* self)
    {
        auto& connection = *static_cast<Connection*>(self);
        switch (pa_stream_get_state(s)) {
        case PA_STREAM_READY:
            connection.finishOpening(Opening::Ready);
            if (connection.options.onRenderThread)
                connection.options.onRenderThread();
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            connection.fail("the playback stream failed");
            break;
        default:
            break;
        }
    }

    static void onWritable(pa_stream*, std::size_t, void* self)
    {
        auto& connection = *static_cast<Connection*>(self);
        // While idle the server's requests stay unanswered; a wake answers them all at once.
        if (!connection.idle.load())
            connection.render(connection.writableFrames());
    }

    static void onUnderflow(pa_stream*, void* self)
    {
        static_cast<Connection*>(self)->underflows.fetch_add(1, std::memory_order_relaxed);
    }

    static void onWake(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self)
    {
        std::uint64_t count = 0;
        while (::read(fd, &count, sizeof count) > 0) { }
        static_cast<Connection*>(self)->resume();
    }

    void connectStream()
    {
        const pa_sample_spec format { PA_SAMPLE_FLOAT32NE, sampleRate, kChannels };
        PulseProperties properties(pa_proplist_new());
        pa_proplist_sets(properties.get(), PA_PROP_MEDIA_ROLE, "music");
        stream.reset(pa_stream_new_with_proplist(
            context.get(), "Synthesiser", &format, nullptr, properties.get()));
        if (!stream) {
            fail("cannot create the playback stream");
            return;
        }
        pa_stream_set_state_callback(stream.get(), &Connection::onStreamState, this);
        pa_stream_set_write_callback(stream.get(), &Connection::onWritable, this);
        pa_stream_set_underflow_callback(stream.get(), &Connection::onUnderflow, this);
        const auto period = static_cast<std::uint32_t>(options.periodFrames * kFrameBytes);
        pa_buffer_attr attributes {};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        // With ADJUST_LATENCY tlength is the whole latency, the sink's buffer included; the server
        // shares it between the sink and this stream.
        attributes.tlength = static_cast<std::uint32_t>(options.bufferFrames * kFrameBytes);
        attributes.minreq = period;
        // Playback starts, and starts again after running dry, as soon as one block is there: a
        // wake writes at least that.
        attributes.prebuf = period;
        attributes.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(stream.get(), nullptr, &attributes, flags, nullptr, nullptr)
            < 0)
            fail("cannot connect the playback stream");
    }

    // Leaves idle on a wake: answers what the server asked for meanwhile, so that the first
    // block of the new note goes out now rather than at the server's next request.
    void resume()
    {
        if (!idle.load() || !stream || pa_stream_get_state(stream.get()) != PA_STREAM_READY)
            return;
        idle.store(false);
        silentFrames = 0;
        wakeUps.fetch_add(1, std::memory_order_relaxed);
        // A whole buffer, even if the server has not asked for all of it yet: the note must not
        // wait for a round trip.
        render(std::max(writableFrames(), std::size_t(options.bufferFrames)));
    }

    // The stream is left running without data: the server keeps its latency for us and plays
    // the first block of the next note at once. (Corking it instead lets a desktop's sink
    // suspend, and the next note would wait for the sound card to resume.)
    void goIdle()
    {
        idle.store(true);
        // A message may have come since this render began, without seeing idle: stay awake.
        // wake() counts first and looks at idle second, so one of the two sides sees the other.
        if (wakeCount.load() != seenWakeCount) {
            idle.store(false);
            silentFrames = 0;
        }
    }

    std::size_t writableFrames() const
    {
        const std::size_t writable = pa_stream_writable_size(stream.get());
        return writable == static_cast<std::size_t>(-1) ? 0 : writable / kFrameBytes;
    }

    void render(std::size_t frames)
    {
        // Messages sent before this point are heard in what is rendered now.
        seenWakeCount = wakeCount.load();
        const auto period = static_cast<std::size_t>(options.periodFrames);
        while (frames > 0) {
            std::size_t bytes = std::min(frames, period) * kFrameBytes;
            void* data = nullptr;
            if (pa_stream_begin_write(stream.get(), &data, &bytes) < 0 || data == nullptr)
                return;
            const std::size_t blockFrames = std::min({ bytes / kFrameBytes, frames, period });
            if (blockFrames == 0) {
                pa_stream_cancel_write(stream.get());
                return;
            }
            auto* samples = static_cast<float*>(data);
            if (!feed.render(static_cast<int>(blockFrames), samples, samples + 1, kChannels)) {
                pa_stream_cancel_write(stream.get());
                return;
            }
            // Reverb and chorus ring on after the last voice, and a voice may be silent for a
            // moment: only silence with no voice counts. The voices are asked for only then, as
            // asking waits for FluidSynth's lock, which another thread may hold for a while.
            if (peakOf({ samples, blockFrames * kChannels }) < kSilent && feed.activeVoices() == 0)
                silentFrames += blockFrames;
            else
                silentFrames = 0;
            pa_stream_write(
                stream.get(), data, blockFrames * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE);
            framesRendered.fetch_add(blockFrames, std::memory_order_relaxed);
            frames -= blockFrames;
        }
        if (silentFrames >= idleFrames)
            goIdle();
    }

    Options options;
    std::uint32_t sampleRate = 48000;
    std::uint64_t idleFrames = 0;
    SynthFeed feed;

    PulseMainloop mainloop;
    PulseContext context;
    PulseStream stream;
    int wakeFd = -1;
    pa_io_event* wakeEvent = nullptr;
    bool loopStarted = false;

    std::mutex openMutex;
    std::condition_variable openChanged;
    Opening opening = Opening::Pending;
    std::string openError;

    // Nothing is rendered while idle. Starts idle: nothing sounds before the first message.
    std::atomic<bool> idle { true };
    std::atomic<std::uint64_t> wakeCount { 0 };
    std::uint64_t seenWakeCount = 0; // libpulse's thread only
    std::uint64_t silentFrames = 0; // libpulse's thread only
    std::atomic<bool> failed { false };
    std::atomic<std::uint64_t> framesRendered { 0 };
    std::atomic<std::uint64_t> wakeUps { 0 };
    std::atomic<std::uint64_t> underflows { 0 };
};

// Lets the connection go without the caller ever waiting for the server: the synth is cut off
// here (bounded by one block's rendering), the rest is torn down on a thread of its own. Every
// teardown call of libpulse's measured non-blocking (about 1 ms with the server stopped); the
// thread is there in case one ever blocks. Should it hang in libpulse, it holds nothing of the
// program's, and a detached thread does not keep the process from ending.
void retire(std::unique_ptr<PulseAudioOutput::Connection> connection)
{
    connection->feed.cutOff();
    try {
        std::thread([owned = std::move(connection)]() mutable {
            pthread_setname_np(pthread_self(), "synth-reaper");
            owned.reset();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the connection was torn down here, in the thread's stead.
    }
}

std::unique_ptr<PulseAudioOutput> PulseAudioOutput::open(
    fluid_synth_t& synth, Options options, std::string* error)
{
    const auto report = [error](std::string text) {
        if (error != nullptr)
            *error = std::move(text);
        return nullptr;
    };
    const auto timeout = options.openTimeout;
    auto connection = std::make_unique<Connection>(synth, std::move(options));
    auto& c = *connection;
    c.mainloop.reset(pa_threaded_mainloop_new());
    if (!c.mainloop)
        return report("cannot create libpulse's loop");
    pa_threaded_mainloop_set_name(c.mainloop.get(), "synth-pulse");
    auto* api = pa_threaded_mainloop_get_api(c.mainloop.get());
    PulseProperties properties(pa_proplist_new());
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, c.options.clientName.c_str());
    c.context.reset(
        pa_context_new_with_proplist(api, c.options.clientName.c_str(), properties.get()));
    if (!c.context)
        return report("cannot create a libpulse context");
    c.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (c.wakeFd < 0)
        return report("cannot create an eventfd");
    c.wakeEvent = api->io_new(api, c.wakeFd, PA_IO_EVENT_INPUT, &Connection::onWake, &c);
    pa_context_set_state_callback(c.context.get(), &Connection::onContextState, &c);
    // No autospawn: starting a server would fork and wait for it in this call.
    const char* server = c.options.server.empty() ? nullptr : c.options.server.c_str();
    if (pa_context_connect(c.context.get(), server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return report(
            std::string("no sound server: ") + pa_strerror(pa_context_errno(c.context.get())));
    if (pa_threaded_mainloop_start(c.mainloop.get()) < 0)
        return report("cannot start libpulse's thread");
    c.loopStarted = true;

    // Our own condition with a timeout: pa_threaded_mainloop_wait has none.
    std::unique_lock lock(c.openMutex);
    const bool answered = c.openChanged.wait_for(
        lock, timeout, [&] { return c.opening != Connection::Opening::Pending; });
    const auto outcome = c.opening;
    const auto reason = c.openError;
    lock.unlock();
    if (!answered || outcome != Connection::Opening::Ready) {
        retire(std::move(connection));
        return report(answered ? reason
                               : "the sound server did not answer within "
                    + std::to_string(timeout.count()) + " ms");
    }
    return std::unique_ptr<PulseAudioOutput>(new PulseAudioOutput(std::move(connection)));
}

PulseAudioOutput::PulseAudioOutput(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection))
{ }

PulseAudioOutput::~PulseAudioOutput()
{
    retire(std::move(connection_));
}

void PulseAudioOutput::wake() noexcept
{
    connection_->wakeCount.fetch_add(1);
    if (connection_->idle.load()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(connection_->wakeFd, &one, sizeof one);
    }
}

bool PulseAudioOutput::idle() const noexcept
{
    return connection_->idle.load();
}

bool PulseAudioOutput::failed() const noexcept
{
    return connection_->failed.load();
}

PulseAudioOutput::Counters PulseAudioOutput::counters() const noexcept
{
    return { connection_->framesRendered.load(std::memory_order_relaxed),
        connection_->wakeUps.load(std::memory_order_relaxed),
        connection_->underflows.load(std::memory_order_relaxed) };
}

} // namespace tonalyx::midi
