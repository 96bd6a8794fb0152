#pragma once

namespace tonalyx::midi {

// Whether a JACK server is running for this user (the one JACK_DEFAULT_SERVER names, or the
// default). Asked before anything else talks to JACK: libjack starts a server of its own when
// none answers, which takes seconds and prints pages, and a machine without JACK is normal.
// Never starts a server, and prints nothing.
bool jackServerRunning();

} // namespace tonalyx::midi
