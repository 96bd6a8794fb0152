#include "jack_server.h"

#include <jack/jack.h>
#include <memory>

namespace tonalyx::midi {

namespace {

void silent(const char*) { }

// libjack's message functions are process-wide; the quiet ones stay only for the probe.
class QuietJack {
public:
    QuietJack()
    {
        jack_set_error_function(silent);
        jack_set_info_function(silent);
    }
    ~QuietJack()
    {
        // Null brings back libjack's own printers.
        jack_set_error_function(nullptr);
        jack_set_info_function(nullptr);
    }
    QuietJack(const QuietJack&) = delete;
    QuietJack& operator=(const QuietJack&) = delete;
};

} // namespace

bool jackServerRunning()
{
    const QuietJack quiet;
    jack_status_t status {};
    const std::unique_ptr<jack_client_t, decltype(&jack_client_close)> probe(
        jack_client_open("tonalyx-probe", JackNoStartServer, &status), &jack_client_close);
    return probe != nullptr;
}

std::unique_ptr<JackServerWatch> JackServerWatch::start(const std::string& clientName)
{
    std::unique_ptr<JackServerWatch> watch(new JackServerWatch);
    jack_status_t status {};
    {
        const QuietJack quiet;
        watch->client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    }
    if (watch->client_ == nullptr)
        return nullptr;
    // Heard without activating the client: libjack's channel to the server reports its end.
    jack_on_info_shutdown(watch->client_, &JackServerWatch::onShutdown, watch.get());
    return watch;
}

JackServerWatch::~JackServerWatch()
{
    // Stops libjack's threads, so the callback cannot run on a watch that is gone.
    if (client_ != nullptr)
        jack_client_close(client_);
}

void JackServerWatch::onShutdown(jack_status_t, const char*, void* self)
{
    static_cast<JackServerWatch*>(self)->gone_.store(true, std::memory_order_release);
}

} // namespace tonalyx::midi
