// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <pulse/pulseaudio.h>

// Owners of libpulse's objects. Letting a context or a stream go only drops a reference: their
// owner (PulseAudioOutput's connection) first disconnects them and stops the loop's thread, then
// lets them go in the order stream, context, loop.
namespace tonalyx::midi {

struct PulseMainloopFree {
    // Stops the loop's thread first if it still runs.
    void operator()(pa_threaded_mainloop* mainloop) const { pa_threaded_mainloop_free(mainloop); }
};
struct PulseContextUnref {
    void operator()(pa_context* context) const { pa_context_unref(context); }
};
struct PulseStreamUnref {
    void operator()(pa_stream* stream) const { pa_stream_unref(stream); }
};
struct PulsePropertiesFree {
    void operator()(pa_proplist* properties) const { pa_proplist_free(properties); }
};

using PulseMainloop = std::unique_ptr<pa_threaded_mainloop, PulseMainloopFree>;
using PulseContext = std::unique_ptr<pa_context, PulseContextUnref>;
using PulseStream = std::unique_ptr<pa_stream, PulseStreamUnref>;
using PulseProperties = std::unique_ptr<pa_proplist, PulsePropertiesFree>;

} // namespace tonalyx::midi
