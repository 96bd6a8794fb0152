// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace tonalyx::selection {

// The note each press sounds until its release, so that a release ends the very note its press
// started, whatever changed in between. Presses are told apart as the toolkit delivers them: the
// keyboard has one press that sounds at a time, on whichever control has the focus, and each
// mouse button one, since a mouse button's release goes to the widget its press went to.
class PressNotes {
public:
    // Which mouse button a press or release is of: any number that tells the buttons apart.
    using MouseButton = std::uint32_t;

    // The note a press sounds until its release, if it still does; or that its note was ended
    // for it already, so that its release has nothing left to end.
    struct Press {
        std::optional<std::int32_t> note;
        bool endedEarly = false;
    };

    Press& key() { return key_; }
    Press& mouse(MouseButton button) { return mice_[button]; }
    // Whether a press of that mouse button still has its release to come.
    bool awaitsRelease(MouseButton button) const
    {
        const auto found = mice_.find(button);
        return found != mice_.end() && (found->second.note || found->second.endedEarly);
    }

    // Before the device is left: `end` ends each note a press still holds, and that press's own
    // release later ends nothing.
    template <typename End> void endAll(End&& end)
    {
        const auto endOne = [&end](Press& press) {
            if (!press.note)
                return;
            end(*press.note);
            press = { std::nullopt, true };
        };
        endOne(key_);
        for (auto& [button, press] : mice_)
            endOne(press);
    }

private:
    Press key_;
    std::map<MouseButton, Press> mice_;
};

} // namespace tonalyx::selection
