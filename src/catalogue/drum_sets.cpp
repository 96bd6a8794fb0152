// SPDX-License-Identifier: GPL-3.0-or-later
#include "drum_sets.h"

#include <algorithm>
#include <array>

namespace tonalyx::catalogue {

namespace {

struct DrumSound {
    std::uint8_t note;
    std::string_view name;
};

// What a set plays where the standard set has a sound and it has none.
constexpr std::string_view kNoSound = "(No Sound)";

// The standard set, key by key. The names follow the GS drum map, shortened where a button has
// no room for the long form ("Snare 1" for the first snare drum, "Hi" for "High" before a conga
// or a tom of a set's own).
constexpr DrumSound kStandardSounds[] = {
    { 27, "High Q" },
    { 28, "Slap" },
    { 29, "Scratch Push" },
    { 30, "Scratch Pull" },
    { 31, "Sticks" },
    { 32, "Square Click" },
    { 33, "Metronome Click" },
    { 34, "Metronome Bell" },
    { 35, "Kick Drum 2" },
    { 36, "Kick Drum 1" },
    { 37, "Side Stick" },
    { 38, "Snare 1" },
    { 39, "Hand Clap" },
    { 40, "Snare 2" },
    { 41, "Low Tom 2" },
    { 42, "Closed Hi-Hat" },
    { 43, "Low Tom 1" },
    { 44, "Pedal Hi-Hat" },
    { 45, "Mid Tom 2" },
    { 46, "Open Hi-Hat" },
    { 47, "Mid Tom 1" },
    { 48, "High Tom 2" },
    { 49, "Crash Cymbal 1" },
    { 50, "High Tom 1" },
    { 51, "Ride Cymbal 1" },
    { 52, "Chinese Cymbal" },
    { 53, "Ride Bell" },
    { 54, "Tambourine" },
    { 55, "Splash Cymbal" },
    { 56, "Cowbell" },
    { 57, "Crash Cymbal 2" },
    { 58, "Vibraslap" },
    { 59, "Ride Cymbal 2" },
    { 60, "High Bongo" },
    { 61, "Low Bongo" },
    { 62, "Mute Hi Conga" },
    { 63, "Open Hi Conga" },
    { 64, "Low Conga" },
    { 65, "High Timbale" },
    { 66, "Low Timbale" },
    { 67, "High Agogo" },
    { 68, "Low Agogo" },
    { 69, "Cabasa" },
    { 70, "Maracas" },
    { 71, "Short Whistle" },
    { 72, "Long Whistle" },
    { 73, "Short Guiro" },
    { 74, "Long Guiro" },
    { 75, "Claves" },
    { 76, "High Wood Block" },
    { 77, "Low Wood Block" },
    { 78, "Mute Cuica" },
    { 79, "Open Cuica" },
    { 80, "Mute Triangle" },
    { 81, "Open Triangle" },
    { 82, "Shaker" },
    { 83, "Jingle Bell" },
    { 84, "Bell Tree" },
    { 85, "Castanets" },
    { 86, "Mute Surdo" },
    { 87, "Open Surdo" },
    { 88, "Applause" },
};

// What each set plays instead of the standard sound, key by key; every other key sounds as in
// the standard set.
constexpr DrumSound kRoomTomSounds[] = {
    { 41, "Room Low Tom 2" },
    { 43, "Room Low Tom 1" },
    { 45, "Room Mid Tom 2" },
    { 47, "Room Mid Tom 1" },
    { 48, "Room Hi Tom 2" },
    { 50, "Room Hi Tom 1" },
};

constexpr DrumSound kPowerSounds[] = {
    { 36, "Power Kick" },
    { 38, "Gated Snare" },
    { 41, "Room Low Tom 2" },
    { 43, "Room Low Tom 1" },
    { 45, "Room Mid Tom 2" },
    { 47, "Room Mid Tom 1" },
    { 48, "Room Hi Tom 2" },
    { 50, "Room Hi Tom 1" },
};

constexpr DrumSound kElectronicSounds[] = {
    { 36, "Elec Kick" },
    { 38, "Elec Snare" },
    { 40, "Gated Snare" },
    { 41, "Elec Low Tom 2" },
    { 43, "Elec Low Tom 1" },
    { 45, "Elec Mid Tom 2" },
    { 47, "Elec Mid Tom 1" },
    { 48, "Elec Hi Tom 2" },
    { 50, "Elec Hi Tom 1" },
    { 52, "Reverse Cymbal" },
};

constexpr DrumSound kAnalogSounds[] = {
    { 36, "808 Kick" },
    { 37, "808 Rim Shot" },
    { 38, "808 Snare" },
    { 41, "808 Low Tom 2" },
    { 42, "808 Closed Hat" },
    { 43, "808 Low Tom 1" },
    { 44, "808 Pedal Hat" },
    { 45, "808 Mid Tom 2" },
    { 46, "808 Open Hat" },
    { 47, "808 Mid Tom 1" },
    { 48, "808 High Tom 2" },
    { 49, "808 Cymbal" },
    { 50, "808 High Tom 1" },
    { 56, "808 Cowbell" },
    { 62, "808 High Conga" },
    { 63, "808 Mid Conga" },
    { 64, "808 Low Conga" },
    { 70, "808 Maracas" },
    { 75, "808 Claves" },
};

constexpr DrumSound kJazzSounds[] = {
    { 35, "Jazz Kick 2" },
    { 36, "Jazz Kick 1" },
};

constexpr DrumSound kBrushSounds[] = {
    { 35, "Jazz Kick 2" },
    { 36, "Jazz Kick 1" },
    { 38, "Brush Tap" },
    { 39, "Brush Slap" },
    { 40, "Brush Swirl" },
};

// The orchestra set tunes its timpani a semitone a key, from F up to the F an octave higher.
constexpr DrumSound kOrchestraSounds[] = {
    { 27, "Closed Hi-Hat" },
    { 28, "Pedal Hi-Hat" },
    { 29, "Open Hi-Hat" },
    { 30, "Ride Cymbal" },
    { 35, "Concert Kick 2" },
    { 36, "Concert Kick 1" },
    { 38, "Concert Snare" },
    { 39, "Castanets" },
    { 40, "Concert Snare" },
    { 41, "Timpani F" },
    { 42, "Timpani F#" },
    { 43, "Timpani G" },
    { 44, "Timpani G#" },
    { 45, "Timpani A" },
    { 46, "Timpani A#" },
    { 47, "Timpani B" },
    { 48, "Timpani C" },
    { 49, "Timpani C#" },
    { 50, "Timpani D" },
    { 51, "Timpani D#" },
    { 52, "Timpani E" },
    { 53, "Timpani High F" },
    { 57, "Concert Cym. 2" },
    { 59, "Concert Cym. 1" },
};

// The effects set moves the standard set's lowest keys up to 39 and fills the rest with noises.
constexpr DrumSound kEffectSounds[] = {
    { 27, kNoSound },
    { 28, kNoSound },
    { 29, kNoSound },
    { 30, kNoSound },
    { 31, kNoSound },
    { 32, kNoSound },
    { 33, kNoSound },
    { 34, kNoSound },
    { 35, kNoSound },
    { 36, kNoSound },
    { 37, kNoSound },
    { 38, kNoSound },
    { 39, "High Q" },
    { 40, "Slap" },
    { 41, "Scratch Push" },
    { 42, "Scratch Pull" },
    { 43, "Sticks" },
    { 44, "Square Click" },
    { 45, "Metronome Click" },
    { 46, "Metronome Bell" },
    { 47, "Guitar Slide" },
    { 48, "Guitar Cut Down" },
    { 49, "Guitar Cut Up" },
    { 50, "Bass Slap" },
    { 51, "Flute Key Click" },
    { 52, "Laughing" },
    { 53, "Screaming" },
    { 54, "Punch" },
    { 55, "Heartbeat" },
    { 56, "Footsteps 1" },
    { 57, "Footsteps 2" },
    { 58, "Applause" },
    { 59, "Door Creaking" },
    { 60, "Door" },
    { 61, "Scratch" },
    { 62, "Wind Chimes" },
    { 63, "Car Engine" },
    { 64, "Car Stop" },
    { 65, "Car Pass" },
    { 66, "Car Crash" },
    { 67, "Siren" },
    { 68, "Train" },
    { 69, "Jet Plane" },
    { 70, "Helicopter" },
    { 71, "Starship" },
    { 72, "Gun Shot" },
    { 73, "Machine Gun" },
    { 74, "Laser Gun" },
    { 75, "Explosion" },
    { 76, "Dog" },
    { 77, "Horse Gallop" },
    { 78, "Birds" },
    { 79, "Rain" },
    { 80, "Thunder" },
    { 81, "Wind" },
    { 82, "Seashore" },
    { 83, "Stream" },
    { 84, "Bubble" },
    { 85, kNoSound },
    { 86, kNoSound },
    { 87, kNoSound },
    { 88, kNoSound },
};

// The set for songs written for the sound modules that came before GS: their older key map,
// which General MIDI grew out of, with their effects from key 76 up.
constexpr DrumSound kOlderMapSounds[] = {
    { 27, kNoSound },
    { 28, kNoSound },
    { 29, kNoSound },
    { 30, kNoSound },
    { 31, kNoSound },
    { 32, kNoSound },
    { 33, kNoSound },
    { 34, kNoSound },
    { 35, "Kick Drum" },
    { 36, "Kick Drum" },
    { 37, "Rim Shot" },
    { 40, "Elec Snare" },
    { 44, "Open Hi-Hat 2" },
    { 46, "Open Hi-Hat 1" },
    { 49, "Crash Cymbal" },
    { 51, "Ride Cymbal" },
    { 52, kNoSound },
    { 53, kNoSound },
    { 55, kNoSound },
    { 57, kNoSound },
    { 58, kNoSound },
    { 59, kNoSound },
    { 73, "Quijada" },
    { 74, kNoSound },
    { 76, "Laughing" },
    { 77, "Screaming" },
    { 78, "Punch" },
    { 79, "Heartbeat" },
    { 80, "Footsteps 1" },
    { 81, "Footsteps 2" },
    { 82, "Applause" },
    { 83, "Door Creaking" },
    { 84, "Door" },
    { 85, "Scratch" },
    { 86, "Wind Chimes" },
    { 87, "Car Engine" },
    { 88, "Car Stop" },
};

// A set as GS tone lists print it: program 1 to 128.
struct PrintedSet {
    std::uint8_t program;
    std::string_view name;
    std::span<const DrumSound> replaced;
};

// The names are those the GS lists give the sets, without the names of the products some of
// them imitate: the analogue set is called after its drum machine's number alone, and the set
// of program 128, which those lists call after the older modules it follows, "Older Map", which
// says what it is for (songs written for that key map) without naming a product.
constexpr std::array<PrintedSet, kDrumSets> kPrintedSets { {
    { 1, "Standard", {} },
    { 9, "Room", kRoomTomSounds },
    { 17, "Power", kPowerSounds },
    { 25, "Electronic", kElectronicSounds },
    { 26, "808", kAnalogSounds },
    { 33, "Jazz", kJazzSounds },
    { 41, "Brush", kBrushSounds },
    { 49, "Orchestra", kOrchestraSounds },
    { 57, "SFX", kEffectSounds },
    { 128, "Older Map", kOlderMapSounds },
} };

// The one place where the printed program numbers become Program Change values.
constexpr auto kSets = [] {
    std::array<DrumSet, kDrumSets> sets {};
    for (std::size_t i = 0; i < sets.size(); ++i)
        sets[i] = { static_cast<std::uint8_t>(kPrintedSets[i].program - 1), kPrintedSets[i].name };
    return sets;
}();

static_assert(std::size(kStandardSounds) == kDrumNotes);

// Every key of the map once, in key order, so that a key finds its sound by its place.
constexpr bool standardSetCoversTheMap()
{
    for (std::size_t i = 0; i < kDrumNotes; ++i) {
        if (kStandardSounds[i].note != kFirstDrumNote + static_cast<std::int32_t>(i)
            || kStandardSounds[i].name.empty())
            return false;
    }
    return true;
}
static_assert(standardSetCoversTheMap());

// Programs 1 to 128 in strictly ascending order (a printed 0 would wrap round to 255 and fail
// here), each named once; the standard set first, since it is what a GS reset selects.
constexpr bool setsAreOrderedAndNamed()
{
    if (kPrintedSets[0].program != 1 || !kPrintedSets[0].replaced.empty())
        return false;
    for (std::size_t i = 0; i < kPrintedSets.size(); ++i) {
        const auto& set = kPrintedSets[i];
        if (set.program < 1 || set.program > 128 || set.name.empty())
            return false;
        if (i > 0 && set.program <= kPrintedSets[i - 1].program)
            return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (kPrintedSets[j].name == set.name)
                return false;
        }
    }
    return true;
}
static_assert(setsAreOrderedAndNamed());

// Each replacement is a key of the map, named, in strictly ascending key order (so each key at
// most once), and differs from the standard sound it replaces: a row that repeats it would only
// hide a slip.
constexpr bool replacementsAreOrderedAndReal()
{
    for (const auto& set : kPrintedSets) {
        for (std::size_t i = 0; i < set.replaced.size(); ++i) {
            const auto& sound = set.replaced[i];
            if (sound.note < kFirstDrumNote || sound.note > kLastDrumNote || sound.name.empty())
                return false;
            if (i > 0 && sound.note <= set.replaced[i - 1].note)
                return false;
            if (sound.name == kStandardSounds[sound.note - kFirstDrumNote].name)
                return false;
        }
    }
    return true;
}
static_assert(replacementsAreOrderedAndReal());

const PrintedSet* printedSetOf(std::int32_t program)
{
    const auto found = std::find_if(kPrintedSets.begin(), kPrintedSets.end(),
        [program](const PrintedSet& set) { return set.program - 1 == program; });
    return found == kPrintedSets.end() ? nullptr : &*found;
}

} // namespace

std::span<const DrumSet, kDrumSets> drumSets()
{
    return kSets;
}

std::string_view drumSetName(std::int32_t program)
{
    const auto* set = printedSetOf(program);
    return set ? set->name : std::string_view {};
}

std::string_view drumSoundName(std::int32_t program, std::int32_t note)
{
    if (note < kFirstDrumNote || note > kLastDrumNote)
        return {};
    if (const auto* set = printedSetOf(program)) {
        const auto replaced = std::find_if(set->replaced.begin(), set->replaced.end(),
            [note](const DrumSound& sound) { return sound.note == note; });
        if (replaced != set->replaced.end())
            return replaced->name;
    }
    return kStandardSounds[note - kFirstDrumNote].name;
}

} // namespace tonalyx::catalogue
