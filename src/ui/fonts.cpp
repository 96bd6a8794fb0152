// SPDX-License-Identifier: GPL-3.0-or-later
#include "fonts.h"

#include <QStringList>

namespace tonalyx::ui {

namespace {
// Proportional Japanese Gothic faces whose widths are close to the family the layout was
// drawn with, best first. fontconfig alone would fall back to a Latin face.
const QStringList kSubstitutes {
    QStringLiteral("IPAPGothic"),
    QStringLiteral("IPA Pゴシック"),
    QStringLiteral("IPAexGothic"),
    QStringLiteral("VL PGothic"),
    QStringLiteral("Noto Sans CJK JP"),
    QStringLiteral("IPAGothic"),
};

QString familyWithFallbacks()
{
    static const QString family = [] {
        const auto name = QString::fromUtf16(kWindowFontFamily);
        QFont::insertSubstitutions(name, kSubstitutes);
        return name;
    }();
    return family;
}
} // namespace

QFont windowFont(int pixels, bool bold)
{
    QFont font(familyWithFallbacks());
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace tonalyx::ui
