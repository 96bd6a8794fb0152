// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tonalyx::ui {

// Makes every KeyShape a push button to assistive tools, one they can press: its press action
// plays the key as a click does. Call before the first key is shown to them; calling again does
// nothing more.
void makeKeysPressableByAssistiveTools();

} // namespace tonalyx::ui
