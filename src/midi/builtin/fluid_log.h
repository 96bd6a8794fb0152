// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib.h>
#include <string>

namespace tonalyx::midi {

// FluidSynth writes every message, down to its notes on each missing bank variation, to the
// terminal. Only its errors are worth a user's attention; the rest is dropped. FluidSynth keeps
// this choice for the whole process, so calling it again changes nothing.
void routeFluidSynthLog();

// While it lives, FluidSynth's errors are not printed: the first one is kept in `first`, for a
// caller that reports the failure in its own words. Nor are GLib's messages without a handler of
// their own, through which FluidSynth's DLS loader adds one more. Only for a moment in the thread
// that loads the fonts, while no other thread uses FluidSynth.
class FluidErrorsHeld {
public:
    explicit FluidErrorsHeld(std::string& first);
    ~FluidErrorsHeld();
    FluidErrorsHeld(const FluidErrorsHeld&) = delete;
    FluidErrorsHeld& operator=(const FluidErrorsHeld&) = delete;

private:
    GLogFunc glibHandler_;
};

} // namespace tonalyx::midi
