#pragma once

namespace tonalyx::app {

// Makes the windowing choices the toolkit cannot make for itself, before it starts: prefer
// XWayland on a Wayland session so the window can be placed where it was, and turn the toolkit's
// fatal messages (no display to connect to) into one clear line and a plain exit.
void prepareWindowSystem();

} // namespace tonalyx::app
