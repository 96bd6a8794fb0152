// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tonalyx::shell {

// Makes the windowing choices the toolkit cannot make for itself, before it starts: prefer
// XWayland on a Wayland session so the window can be placed where it was, and turn a missing or
// unreachable display into one clear line instead of the toolkit's diagnostics and an abort.
// False when there is no display at all; the program should then end.
bool prepareWindowSystem();

// Called once the application object exists: the toolkit's own window-system warnings, held
// back while it looked for a display, are wanted again.
void windowSystemStarted();

} // namespace tonalyx::shell
