// SPDX-License-Identifier: GPL-3.0-or-later
#include "device_name_text.h"

namespace tonalyx::app {

namespace {

// Characters that would change how the rest of the line shows: control characters, line and
// paragraph separators, and the bidirectional embeddings, overrides and isolates, with which a
// name could show its letters in another order and pass for another device's name.
bool disturbsTheLine(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    const char16_t code = c.unicode();
    return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

} // namespace

QString deviceNameForDisplay(std::string_view name)
{
    QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    for (QChar& c : text) {
        if (disturbsTheLine(c))
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace tonalyx::app
