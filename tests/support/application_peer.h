// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application.h"

namespace tonalyx::testing {

// What the tests look at inside the running application.
struct ApplicationPeer {
    static app::CurrentDevice& currentDevice(app::Application& application)
    {
        return application.device_;
    }
    // Taken as the GUI thread takes it: the keyboards' threads change it too.
    static selection::SelectionState selection(app::Application& application)
    {
        return application.live_.exclusive([&] { return application.previewer_.state(); });
    }
};

} // namespace tonalyx::testing
