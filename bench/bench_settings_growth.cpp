// SPDX-License-Identifier: GPL-3.0-or-later
// Growth: loading and saving a settings file of 1 KiB, 1 MiB and 16 MiB (the largest the program
// reads whatever it holds; settings::kAlwaysReadSize). Time and heap should grow in
// proportion to the size. The file is the program's own sections followed by many more of the
// same shape, as a file that has been added to by hand or by other tools would be.
#include "bench_main.h"
#include "heap_counter.h"
#include "settings/settings_file.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace tonalyx;

namespace {

// The program's own settings, then numbered sections of ten keys each, then one long key that
// brings the file to exactly `size` bytes. Line ends are CR LF and every section ends with an
// empty line, as the program writes them, so a save writes back the very same bytes.
std::string settingsText(std::size_t size)
{
    std::string text = "[window]\r\nHeight=526\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n"
                       "[dev]\r\ndev_num=0\r\n\r\n";
    const std::string padHead = "[pad]\r\npad=";
    const std::string padTail = "\r\n\r\n";
    constexpr std::size_t kLongestSection = 160;
    for (int section = 0; text.size() + kLongestSection + padHead.size() + padTail.size() < size;
         ++section) {
        text += "[section" + std::to_string(section) + "]\r\n";
        for (int key = 0; key < 10; ++key)
            text += "key" + std::to_string(key) + "=" + std::to_string(section * 10 + key) + "\r\n";
        text += "\r\n";
    }
    text += padHead;
    text += std::string(size - text.size() - padTail.size(), 'x');
    text += padTail;
    return text;
}

class Folder {
public:
    Folder()
    {
        char name[] = "/tmp/tonalyx-settings-bench-XXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "";
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
}

void setFigures(benchmark::State& state, std::size_t size, std::int64_t heapPeak, std::int64_t held)
{
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(size));
    state.counters["file_bytes"] = double(size);
    state.counters["heap_peak_bytes"] = double(heapPeak);
    state.counters["heap_peak_per_file_byte"] = double(heapPeak) / double(size);
    state.counters["heap_held_bytes"] = double(held);
}

// Reads the file, as start-up does; the heap figures are the most held while reading and what
// the loaded settings keep afterwards.
void load(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const Folder folder;
    const auto path = folder.path() / "tonalyx.ini";
    writeFile(path, settingsText(size));
    std::int64_t peak = 0, held = 0;
    for (auto _ : state) {
        const auto before = bench::heapBytesInUse();
        bench::resetHeapPeak();
        {
            const settings::SettingsFile file({ path, path });
            if (file.found() != settings::ReadResult::Loaded) {
                state.SkipWithError("the file was not loaded");
                return;
            }
            benchmark::DoNotOptimize(file.values());
            held = bench::heapBytesInUse() - before;
            peak = bench::heapBytesPeak() - before;
        }
    }
    setFigures(state, size, peak, held);
}

// Writes the settings back, as shut-down does (serialised, written, flushed to disk, renamed).
void save(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const Folder folder;
    const auto path = folder.path() / "tonalyx.ini";
    writeFile(path, settingsText(size));
    settings::SettingsFile file({ path, path });
    if (file.found() != settings::ReadResult::Loaded) {
        state.SkipWithError("the file was not loaded");
        return;
    }
    file.store(file.values());
    std::int64_t peak = 0;
    for (auto _ : state) {
        const auto before = bench::heapBytesInUse();
        bench::resetHeapPeak();
        if (file.save() != settings::WriteResult::Written) {
            state.SkipWithError("the file was not saved");
            return;
        }
        peak = bench::heapBytesPeak() - before;
    }
    if (std::filesystem::file_size(path) != size) {
        state.SkipWithError("the saved file is not the one that was read");
        return;
    }
    setFigures(state, size, peak, 0);
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::takeFlag(argc, argv, "--quick");
    for (auto* registered : { benchmark::RegisterBenchmark("SettingsFile/load", load),
             benchmark::RegisterBenchmark("SettingsFile/save", save) }) {
        registered->Arg(1 << 10)->Arg(1 << 20)->Arg(settings::kAlwaysReadSize);
        registered->Unit(benchmark::kMillisecond);
        if (quick)
            registered->Iterations(1);
    }
    return bench::runBenchmarks(argc, argv);
}
