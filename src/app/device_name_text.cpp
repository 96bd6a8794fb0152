#include "device_name_text.h"

namespace tonalyx::app {

QString deviceNameForDisplay(std::string_view name)
{
    QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace tonalyx::app
