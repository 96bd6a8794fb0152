// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound_font_folder.h"

#include <algorithm>
#include <system_error>

namespace tonalyx::midi {

namespace {
bool namesASoundFont(const std::filesystem::path& name)
{
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return extension == ".sf2" || extension == ".sf3";
}
} // namespace

std::vector<std::string> soundFontsIn(const std::filesystem::path& folder)
{
    std::vector<std::string> fonts;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        // A link whose target is gone is offered all the same: its load fails and says so.
        std::error_code unknownKind;
        if (namesASoundFont(entry->path().filename()) && !entry->is_directory(unknownKind))
            fonts.push_back(entry->path().string());
    }
    std::sort(fonts.begin(), fonts.end());
    return fonts;
}

} // namespace tonalyx::midi
