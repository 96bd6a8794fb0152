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

} // namespace tonalyx::midi
