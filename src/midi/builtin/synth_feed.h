// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fluid_handles.h"
#include "render_priority.h"

#include <mutex>

namespace tonalyx::midi {

// The FluidSynth settings and synth of the built-in synth, owned together. They are shared with
// the threads that start and stop FluidSynth's own audio drivers: a driver's start reads the
// settings and may set the synth's rate to its server's, and a driver stuck in a server that does
// not answer is deleted whenever it comes back, after the program may have let go of the synth.
struct SynthCore {
    FluidSettings settings;
    FluidSynth synth;
    // Kept with the synth, which lives for the run: what its rendering threads were given is
    // told once, however many outputs come and go.
    RenderPriority renderPriority {};
};

// The synth as an audio thread sees it: rendered one block at a time until its owner cuts it
// off, and silence after that. Cutting off waits at most for the block being rendered, so an
// output that lingers on a thread of its own (its server does not answer) never touches the
// synth again, and never renders it beside the output that follows.
class SynthFeed {
public:
    explicit SynthFeed(fluid_synth_t& synth)
        : synth_(&synth)
    { }
    SynthFeed(const SynthFeed&) = delete;
    SynthFeed& operator=(const SynthFeed&) = delete;

    // Fills `frames` frames of both channels, `step` floats apart (1 for separate channels, 2
    // for interleaved ones); false once cut off, the frames then silent. Rendering takes no lock
    // of FluidSynth's: an API call that holds its lock (reading a preset's samples, say) does not
    // hold it up.
    bool render(int frames, float* left, float* right, int step)
    {
        const std::lock_guard gate(mutex_);
        if (synth_ == nullptr) {
            for (int i = 0; i < frames * step; i += step)
                left[i] = right[i] = 0;
            return false;
        }
        fluid_synth_write_float(synth_, frames, left, 0, step, right, 0, step);
        return true;
    }

    // The synth's sounding voices, or -1 once cut off. An API call of FluidSynth's: it waits for
    // any other that holds the synth's lock.
    int activeVoices()
    {
        const std::lock_guard gate(mutex_);
        return synth_ != nullptr ? fluid_synth_get_active_voice_count(synth_) : -1;
    }

    void cutOff()
    {
        const std::lock_guard gate(mutex_);
        synth_ = nullptr;
    }

    // For FluidSynth's drivers (new_fluid_audio_driver2), on their audio thread: two outputs.
    static int renderForDriver(void* feed, int frames, int, float*[], int outputs, float* out[])
    {
        if (outputs < 2)
            return FLUID_FAILED;
        static_cast<SynthFeed*>(feed)->render(frames, out[0], out[1], 1);
        return FLUID_OK;
    }

private:
    std::mutex mutex_;
    fluid_synth_t* synth_; // guarded by mutex_; null once cut off
};

} // namespace tonalyx::midi
