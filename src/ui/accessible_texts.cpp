// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessible_texts.h"

#include "catalogue/drum_sets.h"
#include "catalogue/program_hints.h"
#include "catalogue/tone_catalogue.h"

namespace tonalyx::ui::accessible {

QString programButtonName(int program)
{
    return QStringLiteral("プログラム %1 %2")
        .arg(catalogue::shownProgramNumber(program))
        .arg(QString::fromUtf8(catalogue::kProgramHints.at(static_cast<std::size_t>(program))));
}

QString bankButtonName(int bank)
{
    return QStringLiteral("バンク %1").arg(bank);
}

QString drumSetHint(int program, std::optional<int> soundsAs)
{
    QString hint = QStringLiteral("プログラム %1").arg(catalogue::shownProgramNumber(program));
    if (soundsAs) {
        const auto name = catalogue::drumSetName(*soundsAs);
        hint += QStringLiteral(" ・ SoundFontにありません（%1で鳴ります）")
                    .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }
    return hint;
}

QString drumSetDescription(int program, std::optional<int> soundsAs)
{
    return drumSetHint(program, soundsAs)
        + QStringLiteral("。押している間、このドラムセットに切り替えてバスドラムを試聴します");
}

QString drumSoundHint(int note)
{
    return QStringLiteral("ノート %1").arg(note);
}

QString drumSoundDescription(int note)
{
    return drumSoundHint(note)
        + QStringLiteral("。押している間、選んでいるドラムセットのこの音を試聴します");
}

QString noteName(int note)
{
    static constexpr std::array<const char*, 12> kPitchClasses { "C", "C#", "D", "D#", "E", "F",
        "F#", "G", "G#", "A", "A#", "B" };
    return QString::fromLatin1(kPitchClasses.at(static_cast<std::size_t>(note % 12)))
        + QString::number(note / 12 - 1);
}

} // namespace tonalyx::ui::accessible
