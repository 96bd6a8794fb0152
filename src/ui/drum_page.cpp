// SPDX-License-Identifier: GPL-3.0-or-later
#include "drum_page.h"

#include "accessible_texts.h"
#include "preview_button.h"

#include <QLabel>

namespace tonalyx::ui {

namespace {
// In 96-dpi pixels on the page, which the tab control leaves 653 by 334 of: six columns of sound
// buttons as wide as the longest name needs.
constexpr int kMargin = 6;
constexpr QRect kFirstSet { kMargin, kMargin, 63, 24 };
constexpr int kSetPitch = 64;
constexpr QRect kShown { kMargin, 34, 640, 16 };
constexpr QRect kFirstSound { kMargin, 54, 105, 23 };
constexpr int kSoundRows = 11;
constexpr QPoint kSoundPitch { 107, 25 };

QString textOf(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void describeSet(PreviewButton* button, std::int32_t program, std::optional<int> soundsAs)
{
    button->setToolTip(accessible::drumSetHint(program, soundsAs));
    button->setAccessibleDescription(accessible::drumSetDescription(program, soundsAs));
}

PreviewButton* placeButton(QWidget* page, const QString& name, const QRect& place)
{
    auto* button = new PreviewButton(page);
    button->setObjectName(name);
    button->setGeometry(place);
    return button;
}
} // namespace

DrumPage placeDrumPage(QWidget* page)
{
    DrumPage placed {};
    const auto sets = catalogue::drumSets();
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const int index = static_cast<int>(i);
        auto* button = placeButton(page, QStringLiteral("DrumSet%1").arg(index + 1),
            kFirstSet.translated(kSetPitch * index, 0));
        button->setText(textOf(sets[i].name));
        describeSet(button, sets[i].program, std::nullopt);
        placed.setButtons[i] = button;
    }

    placed.shown = new QLabel(page);
    placed.shown->setObjectName(QStringLiteral("Label10"));
    placed.shown->setGeometry(kShown);

    for (std::size_t i = 0; i < placed.soundButtons.size(); ++i) {
        const int index = static_cast<int>(i);
        const int note = catalogue::kFirstDrumNote + index;
        auto* button = placeButton(page, QStringLiteral("DrumSound%1").arg(note),
            kFirstSound.translated(
                kSoundPitch.x() * (index / kSoundRows), kSoundPitch.y() * (index % kSoundRows)));
        button->setToolTip(accessible::drumSoundHint(note));
        button->setAccessibleDescription(accessible::drumSoundDescription(note));
        placed.soundButtons[i] = button;
    }
    showDrumSelection(placed, sets[0].program, std::nullopt);
    return placed;
}

void showDrumSelection(const DrumPage& page, std::int32_t set, std::optional<std::int32_t> lastNote)
{
    for (std::size_t i = 0; i < page.soundButtons.size(); ++i) {
        const int note = catalogue::kFirstDrumNote + static_cast<int>(i);
        page.soundButtons[i]->setText(textOf(catalogue::drumSoundName(set, note)));
    }
    QString shown = textOf(catalogue::drumSetName(set));
    if (lastNote) {
        shown += QStringLiteral(" · %1").arg(*lastNote);
        // A key of the keyboard may lie outside the drum map, where no sound has a name.
        if (const auto name = catalogue::drumSoundName(set, *lastNote); !name.empty())
            shown += QLatin1Char(' ') + textOf(name);
    }
    page.shown->setText(shown);
}

void markMissingDrumSets(const DrumPage& page,
    const std::array<std::optional<std::int32_t>, catalogue::kDrumSets>& soundsAs)
{
    const auto sets = catalogue::drumSets();
    for (std::size_t i = 0; i < sets.size(); ++i)
        describeSet(page.setButtons[i], sets[i].program, soundsAs[i]);
}

} // namespace tonalyx::ui
