#pragma once

#include <QString>
#include <filesystem>

// The texts of the boxes the program shows. They are the program's own and fixed.
namespace tonalyx::app::messages {

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

} // namespace tonalyx::app::messages
