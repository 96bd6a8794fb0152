// SPDX-License-Identifier: GPL-3.0-or-later
#include "input_route.h"

#include "midi/midi_stream.h"

#include <thread>

namespace tonalyx::midi {

void InputRoute::listen(InputSink& sink)
{
    sink_.store(&sink, std::memory_order_seq_cst);
}

void InputRoute::stopListening()
{
    sink_.store(nullptr, std::memory_order_seq_cst);
    // A delivery that read the listener before it was taken away is finishing: at most one
    // message's worth of work.
    while (delivering_.load(std::memory_order_seq_cst))
        std::this_thread::yield();
}

template <typename Call> void InputRoute::toSink(Call&& call)
{
    // Sequentially consistent with stopListening(): either it sees this delivery under way, or
    // this delivery sees the listener gone.
    delivering_.store(true, std::memory_order_seq_cst);
    if (auto* sink = sink_.load(std::memory_order_seq_cst))
        call(*sink);
    delivering_.store(false, std::memory_order_seq_cst);
}

void InputRoute::push(MessageBytes message)
{
    // The channel messages an input passes on; the rest of MIDI means nothing to the program.
    if (!readChannelMessage(message))
        return;
    toSink([message](InputSink& sink) { sink.receive(message); });
}

void InputRoute::pushSourcesGone()
{
    toSink([](InputSink& sink) { sink.sourcesGone(); });
}

} // namespace tonalyx::midi
