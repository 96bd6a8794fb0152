// SPDX-License-Identifier: GPL-3.0-or-later
#include "user_sound_fonts.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

namespace tonalyx::shell {

std::filesystem::path userSoundFontFolder()
{
    std::filesystem::path dataHome = qgetenv("XDG_DATA_HOME").toStdString();
    if (!dataHome.is_absolute())
        dataHome = QFile::encodeName(QDir::homePath()).toStdString() + "/.local/share";
    return dataHome / "tonalyx" / "soundfonts";
}

} // namespace tonalyx::shell
