// SPDX-License-Identifier: GPL-3.0-or-later
#include "live_input.h"

#include "selection/midi_thru.h"

namespace tonalyx::app {

void LiveInput::hold()
{
    const std::lock_guard lock(mutex_);
    holding_ = true;
}

void LiveInput::letThrough()
{
    const std::lock_guard lock(mutex_);
    kept_.drain([this](const midi::ShortMessage& message) { thru_.receive(message); },
        [this] { thru_.sourcesGone(); });
    holding_ = false;
}

void LiveInput::receive(midi::MessageBytes message)
{
    const std::lock_guard lock(mutex_);
    if (holding_)
        kept_.push(message);
    else
        thru_.receive(midi::shortMessageOf(message));
}

void LiveInput::sourcesGone()
{
    const std::lock_guard lock(mutex_);
    if (holding_)
        kept_.pushSourcesGone();
    else
        thru_.sourcesGone();
}

} // namespace tonalyx::app
