// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

namespace tonalyx::ui {

// The family every text of the window is set in. Linux has no face of that name, so the first
// use maps it to the metric-compatible Japanese Gothic faces that are installed.
inline constexpr char16_t kWindowFontFamily[] = u"ＭＳ Ｐゴシック";

// A font of the window family whose em height is `pixels` (character height without the
// internal leading, which is what pixel sizes mean in Qt).
QFont windowFont(int pixels, bool bold = false);

} // namespace tonalyx::ui
