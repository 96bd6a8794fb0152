// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the settings file: arbitrary bytes are read from the disk the way start-up
// reads them, the values of a shut-down are written, and the written file is read back.
//
// Properties, each ending the run with a report when broken:
// - reading never crashes, hangs or trips a sanitizer, whatever the bytes;
// - every value read after a write is the value written, before and after a trip through the
//   file on disk;
// - writing the same values again gives the same bytes, so a second shut-down changes nothing;
// - what is written can be read: the written form never outgrows the size by which start-up
//   accepted the file, writing never changes that size, and the next start reads the written
//   file without refusing it.

#include "settings/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <fuzzer/FuzzedDataProvider.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using tonalyx::settings::IniDocument;
using tonalyx::settings::ReadResult;
using tonalyx::settings::WriteResult;

namespace {

// The integers the program keeps, with the names it reads them by and the names it writes them
// by; the two differ in letter case, as they do in the program.
struct Setting {
    std::string_view readSection;
    std::string_view readKey;
    std::string_view writeSection;
    std::string_view writeKey;
    std::int32_t fallback;
};

constexpr Setting kSettings[] = {
    { "window", "height", "window", "Height", 526 },
    { "window", "width", "window", "Width", 679 },
    { "window", "top", "window", "Top", 159 },
    { "window", "left", "window", "Left", 193 },
    { "Dev", "Dev_num", "dev", "dev_num", 0 },
};
constexpr std::size_t kSettingCount = std::size(kSettings);

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "settings file property broken: %s\n", what);
    std::abort();
}

void require(bool holds, const char* what)
{
    if (!holds)
        fail(what);
}

void requireValues(
    const IniDocument& file, const std::int32_t (&values)[kSettingCount], const char* what)
{
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        const auto& s = kSettings[i];
        // A fallback that differs from the value, so a lost entry cannot pass for a kept one.
        const std::int32_t fallback = values[i] == s.fallback ? s.fallback + 1 : s.fallback;
        require(file.readInteger(s.readSection, s.readKey, fallback) == values[i], what);
    }
}

std::string readWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

// The round trip through the disk goes through a folder of this process's own, on a memory file
// system when there is one. Its name follows from the process id, so no state is kept between
// runs; it is made by the first run and removed at exit.
std::string folderOfThisProcess()
{
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(base) + "/tonalyx-fuzz-" + std::to_string(::getpid());
}

std::string settingsPathIn(const std::string& folder)
{
    return folder + "/tonalyx.ini";
}

void removeFolderOfThisProcess()
{
    const std::string folder = folderOfThisProcess();
    ::unlink(settingsPathIn(folder).c_str());
    ::rmdir(folder.c_str());
}

std::string settingsPath()
{
    const std::string folder = folderOfThisProcess();
    if (::mkdir(folder.c_str(), 0700) == 0)
        std::atexit(removeFolderOfThisProcess);
    else if (errno != EEXIST)
        fail("no temporary folder");
    return settingsPathIn(folder);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    std::int32_t written[kSettingCount];
    for (auto& value : written)
        value = provider.ConsumeIntegral<std::int32_t>();
    const std::string bytes = provider.ConsumeRemainingBytesAsString();

    // Start-up: read the file and every integer of the program.
    const std::string path = settingsPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        require(out.good(), "the input could not be written to the disk");
    }
    IniDocument settings;
    require(readSettings(path, settings) == ReadResult::Loaded, "a small file was refused");
    for (const auto& s : kSettings)
        settings.readInteger(s.readSection, s.readKey, s.fallback);
    const std::size_t accepted = sizeWithLongestSettings(settings);

    // Shut-down: write the values, then read them back from memory.
    for (std::size_t i = 0; i < kSettingCount; ++i)
        settings.writeInteger(kSettings[i].writeSection, kSettings[i].writeKey, written[i]);
    requireValues(settings, written, "a value read after its write differs");
    const std::string first = settings.serialise();
    require(first.size() <= accepted, "the written form outgrew the size it was accepted by");
    require(sizeWithLongestSettings(settings) == accepted,
        "writing changed the size it was accepted by");

    // The same values written a second time change nothing.
    for (std::size_t i = 0; i < kSettingCount; ++i)
        settings.writeInteger(kSettings[i].writeSection, kSettings[i].writeKey, written[i]);
    require(settings.serialise() == first, "writing the same values twice changed the bytes");

    // Through the disk: the file holds exactly what was serialised, and the next run reads the
    // same values and would write the same bytes again.
    require(writeSettings(path, settings) == WriteResult::Written, "save failed");
    require(readWhole(path) == first, "the file differs from what was serialised");
    IniDocument next;
    require(readSettings(path, next) == ReadResult::Loaded, "the written file does not load");
    requireValues(next, written, "a value read from the written file differs");
    for (std::size_t i = 0; i < kSettingCount; ++i)
        next.writeInteger(kSettings[i].writeSection, kSettings[i].writeKey, written[i]);
    require(next.serialise() == first, "the next run would write different bytes");
    return 0;
}
