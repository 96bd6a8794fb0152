// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

namespace tonalyx::shell {

// Answers --help (-h) and --version (-v) on standard output before anything else starts, so that
// they work without a display. The status to end the program with when it answered; nothing when
// the program should go on. Every other argument, an unknown one included, is left to the
// toolkit and otherwise ignored, as it always was: the window opens.
std::optional<int> answerInformationOptions(int& argc, char** argv);

} // namespace tonalyx::shell
