// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_readouts.h"

#include "catalogue/drum_sets.h"
#include "device_name_text.h"
#include "ui/main_window.h"

#include <QLineEdit>

namespace tonalyx::app {

namespace {
QString toText(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
} // namespace

void WindowReadouts::showSelection(
    std::string_view program, std::string_view bank, std::string_view toneName)
{
    if (std::this_thread::get_id() != guiThread_) {
        if (!due_.exchange(true, std::memory_order_acq_rel))
            wakeup_.raise();
        return;
    }
    // Whatever was due is older than this.
    due_.store(false, std::memory_order_release);
    window_.programReadout().setText(toText(program));
    window_.bankReadout().setText(toText(bank));
    window_.toneReadout().setText(toText(toneName));
}

bool WindowReadouts::takeDue()
{
    wakeup_.clear();
    return due_.exchange(false, std::memory_order_acq_rel);
}

void WindowReadouts::showDeviceName(std::string_view name)
{
    window_.deviceReadout().setText(deviceNameForDisplay(name));
}

void WindowReadouts::showDrumSetsHeld(const std::optional<midi::DrumSetsHeld>& held)
{
    const auto sets = catalogue::drumSets();
    std::array<std::optional<std::int32_t>, catalogue::kDrumSets> soundsAs;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (held && !held->programs.test(sets[i].program))
            soundsAs[i] = held->standIn;
    }
    ui::markMissingDrumSets(window_.drumPage(), soundsAs);
}

} // namespace tonalyx::app
