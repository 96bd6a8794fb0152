// SPDX-License-Identifier: GPL-3.0-or-later
// Which GS drum sets the built-in synth's default SoundFonts hold, and what each one sounds as,
// measured: for each set the synth as the program opens it (without an audio output) renders a
// Program Change on the drum channel and then a few keys of the map, and that sound is compared
// with every other set's. Two renderings whose difference is below kSameSound of their level are
// the same preset. The answer is checked against the fonts' preset headers, which the program
// marks its drum set buttons by. Prints a Markdown table; the exit status is 1 if the two
// disagree.
//   drum_set_coverage [font...]     the default fonts when none is given
#include "builtin_synth_peer.h"
#include "catalogue/drum_sets.h"
#include "midi/builtin/sound_font_file.h"
#include "midi/builtin/sound_font_presets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace tonalyx;

namespace {

constexpr int kSampleRate = 48000;
constexpr int kDrumBank = 128;
// Each key sounds for 0.3 s and is left 0.3 s to end.
constexpr std::size_t kHeldFrames = kSampleRate * 3 / 10;
// The same preset renders the same samples bit for bit, so its difference is 0; the sounds of
// two different sets differ by tens of percent at least (see the table this prints). A threshold
// of 1 % (-40 dB) stands far from both.
constexpr double kSameSound = 0.01;

// The keys every set is heard on: bass drum, snare, closed hi-hat, crash; then the first key the
// set names a sound of its own on.
std::vector<int> keysFor(int program)
{
    std::vector<int> keys { 36, 38, 42, 49 };
    for (int note = catalogue::kFirstDrumNote; note <= catalogue::kLastDrumNote; ++note) {
        if (catalogue::drumSoundName(program, note) != catalogue::drumSoundName(0, note)) {
            keys.push_back(note);
            break;
        }
    }
    return keys;
}

// Both channels of the synth's output, interleaved, for the set's Program Change and each of
// `keys` in turn; from a synth freshly loaded, so nothing of an earlier rendering sounds on.
std::vector<float> render(
    const midi::BuiltInSynthConfig& config, int program, const std::vector<int>& keys)
{
    testing::OpenedSynth opened(config);
    if (!opened.connection)
        return {};
    auto& synth = opened.synth();
    // Without reverb and chorus the rendering is the set's samples alone.
    testing::BuiltInSynthPeer::setEffects(synth, false);
    opened.send({ 0xC9, static_cast<std::uint8_t>(program) });
    std::vector<float> sound;
    std::vector<float> left(kHeldFrames), right(kHeldFrames);
    const auto renderInto = [&] {
        testing::BuiltInSynthPeer::render(synth, left, right);
        for (std::size_t i = 0; i < kHeldFrames; ++i) {
            sound.push_back(left[i]);
            sound.push_back(right[i]);
        }
    };
    for (const int key : keys) {
        opened.send({ 0x99, static_cast<std::uint8_t>(key), 100 });
        renderInto();
        opened.send({ 0x99, static_cast<std::uint8_t>(key), 0 });
        renderInto();
    }
    return sound;
}

double rms(const std::vector<float>& samples)
{
    double sum = 0;
    for (const float sample : samples)
        sum += double(sample) * sample;
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

// The RMS of the difference over the RMS of `reference`.
double relativeDifference(const std::vector<float>& sound, const std::vector<float>& reference)
{
    std::vector<float> difference(reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i)
        difference[i] = (i < sound.size() ? sound[i] : 0.0f) - reference[i];
    return rms(difference) / rms(reference);
}

// The drum sets (bank 128) the fonts' preset headers name.
std::optional<std::set<int>> drumSetsInHeaders(const std::vector<std::string>& fonts)
{
    std::set<int> programs;
    for (const auto& font : fonts) {
        const auto opened = midi::openSoundFont(font.c_str());
        const auto presets = opened.stream ? midi::presetsIn(*opened.stream) : std::nullopt;
        if (!presets)
            return std::nullopt;
        for (const auto& preset : *presets) {
            if (preset.bank == kDrumBank)
                programs.insert(preset.program);
        }
    }
    return programs;
}

} // namespace

int main(int argc, char** argv)
{
    auto config = testing::offlineSynthConfig();
    if (argc > 1)
        config.soundFonts.assign(argv + 1, argv + argc);
    const auto inHeaders = drumSetsInHeaders(config.soundFonts);
    if (!inHeaders) {
        std::fprintf(stderr, "drum_set_coverage: a font's preset headers cannot be read\n");
        return 2;
    }

    const auto sets = catalogue::drumSets();
    // Every set is heard on the keys of every other, so that two sets are told apart wherever
    // either has a sound of its own.
    std::set<int> allKeys;
    for (const auto& set : sets) {
        for (const int key : keysFor(set.program))
            allKeys.insert(key);
    }
    const std::vector<int> keys(allKeys.begin(), allKeys.end());
    std::vector<std::vector<float>> sounds;
    for (const auto& set : sets)
        sounds.push_back(render(config, set.program, keys));

    std::printf("Keys:");
    for (const int key : keys)
        std::printf(" %d", key);
    std::printf("\n\n| set | program | in the fonts | sounds as | difference from Standard |\n"
                "|---|---|---|---|---|\n");
    bool agree = true;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        // A set sounds as itself unless another set that the fonts hold sounds the same.
        std::size_t soundsAs = i;
        for (std::size_t j = 0; j < sets.size(); ++j) {
            if (j != i && inHeaders->contains(sets[j].program)
                && relativeDifference(sounds[i], sounds[j]) < kSameSound) {
                soundsAs = j;
                break;
            }
        }
        const bool held = inHeaders->contains(sets[i].program);
        const bool measuredHeld = soundsAs == i;
        agree = agree && held == measuredHeld;
        std::printf("| %.*s | %d | %s | %.*s | %.3g |\n", int(sets[i].name.size()),
            sets[i].name.data(), sets[i].program + 1, held ? "yes" : "no",
            int(sets[soundsAs].name.size()), sets[soundsAs].name.data(),
            relativeDifference(sounds[i], sounds[0]));
    }
    // How far the threshold stands from the closest two sets that the fonts both hold.
    double closest = INFINITY;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        for (std::size_t j = 0; j < sets.size(); ++j) {
            if (j != i && inHeaders->contains(sets[i].program)
                && inHeaders->contains(sets[j].program))
                closest = std::min(closest, relativeDifference(sounds[i], sounds[j]));
        }
    }
    std::printf("\nThe closest two sets the fonts hold differ by %.3f; the threshold is %.2f.\n",
        closest, kSameSound);
    if (!agree)
        std::printf("\nThe rendered sound and the preset headers disagree.\n");
    return agree ? 0 : 1;
}
