// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <filesystem>

// The texts the program shows in its boxes, which are its own and fixed, and prints.
namespace tonalyx::shell::messages {

inline QString noDevice()
{
    return QStringLiteral("ＭＩＤＩ音源がないのでこのソフトは利用できません");
}
inline QString cannotOpenDevice()
{
    return QStringLiteral("ＭＩＤＩデバイスが開けません");
}

inline QString cannotReadFile(const std::filesystem::path& file)
{
    return QStringLiteral("ファイル %1 は開けません.").arg(QString::fromStdString(file.string()));
}

inline QString cannotWriteFile(const std::filesystem::path& file)
{
    return QStringLiteral("ファイル %1 を作成できません.")
        .arg(QString::fromStdString(file.string()));
}

// Lines on the standard error: said where no box may be answered, in English like the rest of
// what the program prints there.
inline QString notSavedReadOnly(const std::filesystem::path& file)
{
    return QStringLiteral("tonalyx: the settings were not saved: %1 is read-only")
        .arg(QString::fromStdString(file.string()));
}

inline QString notSavedCannotWrite(const std::filesystem::path& file)
{
    return QStringLiteral("tonalyx: the settings were not saved: %1 cannot be written")
        .arg(QString::fromStdString(file.string()));
}

} // namespace tonalyx::shell::messages
