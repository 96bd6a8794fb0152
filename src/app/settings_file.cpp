#include "settings_file.h"

#include "whole_file.h"

namespace tonalyx::app {

std::filesystem::path SettingsFile::pathBesideExecutable(const std::filesystem::path& executable)
{
    std::string text = executable.native();
    const auto slash = text.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = text.rfind('.');
    if (dot != std::string::npos && dot >= nameStart)
        text.erase(dot);
    text += ".ini";
    return std::filesystem::path(std::move(text));
}

SettingsFile::SettingsFile(std::filesystem::path path)
    : path_(std::move(path))
{ }

SettingsFile::LoadResult SettingsFile::load()
{
    auto read = readWholeFile(path_, kMaxFileSize);
    document_.parse(read.bytes);
    return read.result;
}

bool SettingsFile::save() const
{
    return replaceWholeFile(path_, document_.serialise());
}

} // namespace tonalyx::app
