// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_readouts.h"

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
    window_.programReadout().setText(toText(program));
    window_.bankReadout().setText(toText(bank));
    window_.toneReadout().setText(toText(toneName));
}

void WindowReadouts::showDeviceName(std::string_view name)
{
    window_.deviceReadout().setText(deviceNameForDisplay(name));
}

} // namespace tonalyx::app
