// SPDX-License-Identifier: GPL-3.0-or-later
// Starts a program and watches it from outside, as its user would: the time from the process
// start to its window being mapped on the X display, to the GS reset reaching a JACK port (when
// the program's device is that port) or to its audio stream appearing at the PulseAudio server
// (when it plays through the built-in synth), its resident memory once started, and the CPU time
// each of its threads uses while the window sits idle. Prints one JSON object.
//
//   startup_probe --title TEXT [--jack-port NAME] [--pulse] [--settle S] [--idle S]
//                 [--log FILE] -- PROGRAM [ARGUMENTS...]
//
// The probe's JACK port, when asked for, exists before the program starts, so it is in the
// program's device list; the settings file beside the program chooses it.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <map>
#include <optional>
#include <poll.h>
#include <pulse/pulseaudio.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Options {
    std::string title;
    std::string jackPort;
    bool pulse = false;
    double settleSeconds = 1;
    double idleSeconds = 10;
    std::string log = "/dev/null";
    std::vector<char*> command;
};

std::optional<Options> parse(int argc, char** argv)
{
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--") {
            ++i;
            break;
        } else if (argument == "--title" && hasValue) {
            options.title = argv[++i];
        } else if (argument == "--jack-port" && hasValue) {
            options.jackPort = argv[++i];
        } else if (argument == "--pulse") {
            options.pulse = true;
        } else if (argument == "--settle" && hasValue) {
            options.settleSeconds = std::stod(argv[++i]);
        } else if (argument == "--idle" && hasValue) {
            options.idleSeconds = std::stod(argv[++i]);
        } else if (argument == "--log" && hasValue) {
            options.log = argv[++i];
        } else {
            return std::nullopt;
        }
    }
    for (; i < argc; ++i)
        options.command.push_back(argv[i]);
    if (options.command.empty() || options.title.empty())
        return std::nullopt;
    options.command.push_back(nullptr);
    return options;
}

// ---- X: the program's window being mapped --------------------------------------------------

class Display {
public:
    Display()
    {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_) != 0)
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        // Every top-level window mapped (or, under a window manager, every frame) is reported.
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        // A round trip, so the selection is in force before the program starts.
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        netWmName_ = atom("_NET_WM_NAME");
    }
    ~Display() { xcb_disconnect(connection_); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool isConnected() const { return xcb_connection_has_error(connection_) == 0; }

    // Waits for a window whose title contains `title` to become viewable; the moment it was seen
    // so, or nothing by the deadline.
    std::optional<Clock::time_point> waitForWindow(
        const std::string& title, Clock::time_point deadline)
    {
        const int fd = xcb_get_file_descriptor(connection_);
        while (Clock::now() < deadline) {
            while (auto* event = xcb_poll_for_event(connection_)) {
                const auto type = event->response_type & 0x7F;
                free(event);
                // A window manager may map its frame before or after putting the client in it;
                // either way the client is looked for once something changes on the screen.
                if (type != XCB_MAP_NOTIFY && type != XCB_REPARENT_NOTIFY)
                    continue;
                if (const auto client = namedWindow(root_, title, 3)) {
                    if (const auto shown = waitViewable(*client, deadline))
                        return shown;
                }
            }
            pollfd descriptor { fd, POLLIN, 0 };
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            poll(&descriptor, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        }
        return std::nullopt;
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(connection_,
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t result = reply != nullptr ? reply->atom : xcb_atom_t { XCB_ATOM_NONE };
        free(reply);
        return result;
    }

    std::string property(xcb_window_t window, xcb_atom_t name)
    {
        auto* reply = xcb_get_property_reply(connection_,
            xcb_get_property(connection_, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
            nullptr);
        std::string text;
        if (reply != nullptr)
            text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        free(reply);
        return text;
    }

    // The window itself or a descendant (a window manager puts the client in a frame) whose
    // title contains `title`.
    std::optional<xcb_window_t> namedWindow(
        xcb_window_t window, const std::string& title, int depth)
    {
        const auto name = property(window, netWmName_) + "\n" + property(window, XCB_ATOM_WM_NAME);
        if (name.size() > 1 && name.find(title) != std::string::npos)
            return window;
        if (depth == 0)
            return std::nullopt;
        auto* tree
            = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
        if (tree == nullptr)
            return std::nullopt;
        std::vector<xcb_window_t> children(xcb_query_tree_children(tree),
            xcb_query_tree_children(tree) + xcb_query_tree_children_length(tree));
        free(tree);
        for (const auto child : children) {
            if (const auto found = namedWindow(child, title, depth - 1))
                return found;
        }
        return std::nullopt;
    }

    // The client inside a frame may be mapped a moment after the frame.
    std::optional<Clock::time_point> waitViewable(xcb_window_t window, Clock::time_point deadline)
    {
        while (Clock::now() < deadline) {
            auto* attributes = xcb_get_window_attributes_reply(
                connection_, xcb_get_window_attributes(connection_, window), nullptr);
            const bool viewable
                = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attributes);
            if (viewable)
                return Clock::now();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return std::nullopt;
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
};

// ---- JACK: the GS reset arriving ------------------------------------------------------------

class ResetWatch {
public:
    explicit ResetWatch(const std::string& port)
    {
        jack_status_t status {};
        client_ = jack_client_open("tonalyx-startup-probe", JackNoStartServer, &status);
        if (client_ == nullptr)
            return;
        port_
            = jack_port_register(client_, port.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &ResetWatch::process, this);
        if (port_ == nullptr || jack_activate(client_) != 0) {
            jack_client_close(client_);
            client_ = nullptr;
        }
    }
    ~ResetWatch()
    {
        if (client_ != nullptr)
            jack_client_close(client_);
    }
    ResetWatch(const ResetWatch&) = delete;
    ResetWatch& operator=(const ResetWatch&) = delete;

    bool isConnected() const { return client_ != nullptr; }
    std::optional<Clock::time_point> arrival() const
    {
        const auto ns = arrivalNs_.load();
        if (ns == 0)
            return std::nullopt;
        return Clock::time_point(std::chrono::nanoseconds(ns));
    }

private:
    static int process(jack_nframes_t frames, void* self)
    {
        auto& watch = *static_cast<ResetWatch*>(self);
        void* buffer = jack_port_get_buffer(watch.port_, frames);
        const auto count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            // F0 41 10 42 12 40 00 7F 00 41 F7: the GS reset.
            static constexpr unsigned char kGsReset[]
                = { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
            if (event.size == sizeof kGsReset
                && std::memcmp(event.buffer, kGsReset, event.size) == 0
                && watch.arrivalNs_.load() == 0) {
                watch.arrivalNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                    Clock::now().time_since_epoch())
                                       .count();
            }
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::atomic<std::int64_t> arrivalNs_ { 0 };
};

// ---- PulseAudio: a playback stream appearing ------------------------------------------------

class StreamWatch {
public:
    StreamWatch()
    {
        loop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "tonalyx-startup-probe");
        pa_context_set_state_callback(context_, &StreamWatch::stateChanged, this);
        pa_context_set_subscribe_callback(context_, &StreamWatch::changed, this);
        pa_threaded_mainloop_lock(loop_);
        pa_threaded_mainloop_start(loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            while (!ready_ && !failed_)
                pa_threaded_mainloop_wait(loop_);
        }
        if (ready_) {
            pa_operation* subscribed = pa_context_subscribe(
                context_, PA_SUBSCRIPTION_MASK_SINK_INPUT, &StreamWatch::subscribed, this);
            while (pa_operation_get_state(subscribed) == PA_OPERATION_RUNNING)
                pa_threaded_mainloop_wait(loop_);
            pa_operation_unref(subscribed);
        }
        pa_threaded_mainloop_unlock(loop_);
    }
    ~StreamWatch()
    {
        pa_threaded_mainloop_stop(loop_);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_free(loop_);
    }
    StreamWatch(const StreamWatch&) = delete;
    StreamWatch& operator=(const StreamWatch&) = delete;

    bool isConnected() const { return ready_; }
    std::optional<Clock::time_point> arrival() const
    {
        const auto ns = arrivalNs_.load();
        if (ns == 0)
            return std::nullopt;
        return Clock::time_point(std::chrono::nanoseconds(ns));
    }

    // The stream as the server has it now: its rate, and how much audio is queued in it and in
    // the sink, the delay between a sample written and its being played.
    struct Stream {
        std::uint32_t rate = 0;
        std::uint64_t bufferUs = 0;
        std::uint64_t sinkUs = 0;
    };
    std::optional<Stream> stream()
    {
        if (!arrival())
            return std::nullopt;
        pa_threaded_mainloop_lock(loop_);
        stream_.reset();
        pa_operation* asked = pa_context_get_sink_input_info(
            context_, streamIndex_.load(), &StreamWatch::described, this);
        while (asked != nullptr && pa_operation_get_state(asked) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(loop_);
        if (asked != nullptr)
            pa_operation_unref(asked);
        const auto found = stream_;
        pa_threaded_mainloop_unlock(loop_);
        return found;
    }

private:
    static void described(pa_context*, const pa_sink_input_info* info, int, void* self)
    {
        auto& watch = *static_cast<StreamWatch*>(self);
        if (info != nullptr)
            watch.stream_ = Stream { info->sample_spec.rate, info->buffer_usec, info->sink_usec };
        pa_threaded_mainloop_signal(watch.loop_, 0);
    }

    static void stateChanged(pa_context* context, void* self)
    {
        auto& watch = *static_cast<StreamWatch*>(self);
        const auto state = pa_context_get_state(context);
        watch.ready_ = state == PA_CONTEXT_READY;
        watch.failed_ = !PA_CONTEXT_IS_GOOD(state);
        pa_threaded_mainloop_signal(watch.loop_, 0);
    }
    static void subscribed(pa_context*, int, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<StreamWatch*>(self)->loop_, 0);
    }
    static void changed(
        pa_context*, pa_subscription_event_type_t type, std::uint32_t index, void* self)
    {
        auto& watch = *static_cast<StreamWatch*>(self);
        if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_NEW
            && watch.arrivalNs_.load() == 0) {
            watch.streamIndex_ = index;
            watch.arrivalNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                Clock::now().time_since_epoch())
                                   .count();
        }
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::atomic<bool> ready_ { false };
    std::atomic<bool> failed_ { false };
    std::atomic<std::int64_t> arrivalNs_ { 0 };
    std::atomic<std::uint32_t> streamIndex_ { PA_INVALID_INDEX };
    std::optional<Stream> stream_;
};

// ---- /proc: memory and CPU ----------------------------------------------------------------

std::map<std::string, long> memoryOf(pid_t pid)
{
    std::map<std::string, long> kilobytes;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        for (const char* field : { "VmRSS", "VmHWM", "RssAnon", "RssFile", "RssShmem" }) {
            const std::string prefix = std::string(field) + ":";
            if (line.rfind(prefix, 0) == 0)
                kilobytes[field] = std::stol(line.substr(prefix.size()));
        }
    }
    return kilobytes;
}

struct ThreadTime {
    std::string name;
    long ticks = 0; // utime + stime
};

// utime + stime of a /proc stat line, after the name in parentheses (which may hold spaces).
std::optional<ThreadTime> parseStat(const std::string& text)
{
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    ThreadTime time;
    time.name = text.substr(open + 1, close - open - 1);
    std::istringstream rest(text.substr(close + 2));
    std::vector<std::string> fields;
    std::string field;
    while (rest >> field)
        fields.push_back(field);
    // Fields 3 onwards; utime and stime are fields 14 and 15.
    if (fields.size() < 13)
        return std::nullopt;
    time.ticks = std::stol(fields[11]) + std::stol(fields[12]);
    return time;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

std::map<long, ThreadTime> threadTimes(pid_t pid)
{
    std::map<long, ThreadTime> times;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    DIR* tasks = opendir(folder.c_str());
    if (tasks == nullptr)
        return times;
    while (const auto* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        if (const auto time = parseStat(readFile(folder + "/" + entry->d_name + "/stat")))
            times[std::stol(entry->d_name)] = *time;
    }
    closedir(tasks);
    return times;
}

long processTicks(pid_t pid)
{
    const auto time = parseStat(readFile("/proc/" + std::to_string(pid) + "/stat"));
    return time ? time->ticks : -1;
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out + "\"";
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char** argv)
{
    const auto options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
            "usage: %s --title TEXT [--jack-port NAME] [--pulse] [--settle S] [--idle S] "
            "[--log FILE] -- PROGRAM [ARGUMENTS...]\n",
            argv[0]);
        return 2;
    }
    Display display;
    if (!display.isConnected()) {
        std::fprintf(stderr, "startup_probe: no X display (DISPLAY)\n");
        return 1;
    }
    std::optional<ResetWatch> reset;
    if (!options->jackPort.empty()) {
        reset.emplace(options->jackPort);
        if (!reset->isConnected()) {
            std::fprintf(stderr, "startup_probe: no JACK server (JACK_DEFAULT_SERVER)\n");
            return 1;
        }
    }
    std::optional<StreamWatch> stream;
    if (options->pulse) {
        stream.emplace();
        if (!stream->isConnected()) {
            std::fprintf(stderr, "startup_probe: no PulseAudio server (PULSE_SERVER)\n");
            return 1;
        }
    }

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int log = open(options->log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execvp(options->command[0], options->command.data());
        std::perror("startup_probe: exec");
        _exit(127);
    }
    if (pid < 0) {
        std::perror("startup_probe: fork");
        return 1;
    }

    const auto mapped = display.waitForWindow(options->title, start + std::chrono::seconds(20));
    // The reset may come before or after the window; give it a moment more.
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (
        Clock::now() < deadline && ((reset && !reset->arrival()) || (stream && !stream->arrival())))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    std::this_thread::sleep_for(std::chrono::duration<double>(options->settleSeconds));
    const auto memory = memoryOf(pid);
    const auto audio = stream ? stream->stream() : std::nullopt;
    const auto before = threadTimes(pid);
    const long processBefore = processTicks(pid);
    const auto idleStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(options->idleSeconds));
    const auto after = threadTimes(pid);
    const long processAfter = processTicks(pid);
    const double idleSeconds = std::chrono::duration<double>(Clock::now() - idleStart).count();
    const bool alive = waitpid(pid, nullptr, WNOHANG) == 0;
    stop(pid);

    std::printf("{\"alive\": %s", alive ? "true" : "false");
    if (mapped)
        std::printf(", \"mapped_ms\": %.2f", millisecondsBetween(start, *mapped));
    if (reset && reset->arrival())
        std::printf(", \"gs_reset_ms\": %.2f", millisecondsBetween(start, *reset->arrival()));
    if (stream && stream->arrival())
        std::printf(", \"audio_stream_ms\": %.2f", millisecondsBetween(start, *stream->arrival()));
    if (audio) {
        std::printf(", \"stream_rate\": %u, \"stream_buffer_us\": %llu, \"stream_sink_us\": %llu",
            audio->rate, static_cast<unsigned long long>(audio->bufferUs),
            static_cast<unsigned long long>(audio->sinkUs));
    }
    for (const auto& [field, kilobytes] : memory)
        std::printf(", \"%s_kb\": %ld", field.c_str(), kilobytes);
    std::printf(", \"idle_s\": %.3f, \"ticks_per_s\": %ld, \"process_ticks\": %ld, \"threads\": [",
        idleSeconds, sysconf(_SC_CLK_TCK), processAfter - processBefore);
    bool first = true;
    for (const auto& [tid, time] : after) {
        const auto earlier = before.find(tid);
        const long ticks = time.ticks - (earlier != before.end() ? earlier->second.ticks : 0);
        std::printf("%s{\"tid\": %ld, \"name\": %s, \"ticks\": %ld}", first ? "" : ", ", tid,
            quoted(time.name).c_str(), ticks);
        first = false;
    }
    std::printf("]}\n");
    return mapped ? 0 : 3;
}
