// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform.h"

namespace tonalyx::shell {

QString applicationTitle(const std::filesystem::path& executable)
{
    QString name = QString::fromStdString(executable.filename().string());
    if (const auto dot = name.indexOf(QLatin1Char('.')); dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}

} // namespace tonalyx::shell
