// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <fluidsynth.h>
#include <memory>
#include <string>

namespace tonalyx::midi {

using SoundFontStream = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// A SoundFont opened for reading, or why it was not: only a regular file is a SoundFont. The
// type is checked on the file opened, not by its name, so a name swapped for something else in
// between cannot slip through, and the open itself never waits: a FIFO would wait for a writer,
// a terminal device for its input, and either would hold up whoever reads it for good.
struct OpenedSoundFont {
    SoundFontStream stream { nullptr, &std::fclose };
    std::string refusal; // when there is no stream: why, in a few words for the user
};
OpenedSoundFont openSoundFont(const char* path);

// Makes `synth` open every SoundFont it loads from now on through openSoundFont: the fonts it is
// given, and each time it opens one again to read a preset's samples (dynamic sample loading).
// Before the synth has loaded any font. FluidSynth tries its own loaders on a file this one
// refuses, and they open it by name; so a font should also have been opened through
// openSoundFont, just before, for that refusal never to come. False when it cannot be done.
bool openSoundFontsOnlyAsRegularFiles(fluid_synth_t& synth, fluid_settings_t& settings);

} // namespace tonalyx::midi
