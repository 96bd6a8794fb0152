// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "jack_calls.h"

namespace tonalyx::midi {

// Whether a JACK server answers for this user now (the one JACK_DEFAULT_SERVER names, or the
// default): a client opens, on the `calls` thread, within half a second. A server that is
// stopped, or a call still stuck in libjack, counts as none. Never starts a server, and prints
// nothing.
bool jackServerRunning(JackCalls& calls);

} // namespace tonalyx::midi
