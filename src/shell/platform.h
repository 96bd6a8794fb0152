// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>

namespace tonalyx::shell {

// The platform services that block or that depend on how the program was started. The program
// uses them through this interface so that tests can run start-up and shut-down without a modal
// box or a real pause, and see which boxes appeared.
class Platform {
public:
    virtual ~Platform() = default;

    // A modal box with the text and one OK button, no icon, centred on the screen.
    virtual void showMessage(const QString& text) = 0;
    // A modal box with an error icon and one OK button.
    virtual void showError(const QString& text) = 0;
    // One line on the standard error, for what must be said where no one may be there to
    // answer a box: at a logout, or when a terminal closes.
    virtual void printNotice(const QString& line) = 0;
    // Blocks the user-interface thread.
    virtual void sleep(std::chrono::milliseconds duration) = 0;
    // Runs `then` on the user-interface thread once `delay` has passed, without blocking it.
    virtual void after(std::chrono::milliseconds delay, std::function<void()> then) = 0;
    // The executable's path as the file system spells it, byte for byte.
    virtual std::filesystem::path executablePath() const = 0;
    // The user's configuration folder (see configurationHomeFrom); empty when there is none.
    virtual std::filesystem::path configurationHome() const = 0;
};

// The caption of the program's boxes: the executable's file name cut at its first full stop,
// every letter after the first in lower case.
QString applicationTitle(const std::filesystem::path& executable);

} // namespace tonalyx::shell
