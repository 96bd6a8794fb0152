// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "live_input.h"
#include "shell/platform.h"

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

namespace tonalyx::app {

// Holds back what the user does while the device settles after its GS reset, then lets it all
// through in the order it came. The window is already shown then, so a click may come early;
// it sounds as soon as the device is ready rather than being lost, and a press and its release
// keep their order. What the MIDI keyboards play is held meanwhile too, and follows.
class InputGate {
public:
    explicit InputGate(LiveInput& keyboards)
        : keyboards_(keyboards)
    { }

    // Closes the gate until `delay` has passed; the platform's timer opens it again.
    void closeFor(shell::Platform& platform, std::chrono::milliseconds delay)
    {
        keyboards_.hold();
        open_ = false;
        platform.after(delay, [this] { open(); });
    }

    bool isOpen() const { return open_; }

    // Runs the action now when the gate is open, or keeps it for when it opens.
    template <typename Action> void pass(Action&& action)
    {
        if (open_)
            action();
        else
            held_.emplace_back(std::forward<Action>(action));
    }

private:
    void open()
    {
        open_ = true;
        // An action may close the gate again; what it held stays for the next opening.
        auto held = std::exchange(held_, {});
        for (std::size_t i = 0; i < held.size(); ++i) {
            if (!open_) {
                held_.insert(
                    held_.begin(), held.begin() + static_cast<std::ptrdiff_t>(i), held.end());
                return;
            }
            held[i]();
        }
        if (open_)
            keyboards_.letThrough();
    }

    LiveInput& keyboards_;
    bool open_ = true;
    std::vector<std::function<void()>> held_;
};

} // namespace tonalyx::app
