#pragma once

namespace tonalyx::midi {

// FluidSynth writes every message, down to its notes on each missing bank variation, to the
// terminal. Only its errors are worth a user's attention; the rest is dropped. FluidSynth keeps
// this choice for the whole process, so calling it again changes nothing.
void routeFluidSynthLog();

} // namespace tonalyx::midi
