// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound_font_presets.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <set>
#include <sys/types.h>

namespace tonalyx::midi {

namespace {

// A RIFF chunk's header: its four-letter id and the size of what follows.
struct ChunkHeader {
    std::array<char, 4> id;
    std::uint32_t size;
};

std::uint32_t littleEndian32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t { bytes[3] } << 24;
}

std::optional<ChunkHeader> readChunkHeader(std::FILE& stream)
{
    std::array<unsigned char, 8> bytes;
    if (std::fread(bytes.data(), bytes.size(), 1, &stream) != 1)
        return std::nullopt;
    ChunkHeader header {};
    std::memcpy(header.id.data(), bytes.data(), 4);
    header.size = littleEndian32(bytes.data() + 4);
    return header;
}

bool is(const std::array<char, 4>& id, const char (&name)[5])
{
    return std::memcmp(id.data(), name, 4) == 0;
}

bool readId(std::FILE& stream, const char (&name)[5])
{
    std::array<char, 4> id;
    return std::fread(id.data(), id.size(), 1, &stream) == 1 && is(id, name);
}

// Skips to the chunk after one of `size` bytes whose data begins here (chunks are padded to an
// even size).
bool skip(std::FILE& stream, std::uint32_t size)
{
    return ::fseeko(&stream, static_cast<off_t>(size) + (size & 1), SEEK_CUR) == 0;
}

// Finds the list `type` among the chunks that follow; the stream is left at the start of its
// contents, and their size returned.
std::optional<std::uint32_t> findList(std::FILE& stream, const char (&type)[5])
{
    while (const auto header = readChunkHeader(stream)) {
        if (is(header->id, "LIST") && header->size >= 4) {
            std::array<char, 4> listType;
            if (std::fread(listType.data(), listType.size(), 1, &stream) != 1)
                return std::nullopt;
            if (is(listType, type))
                return header->size - 4;
            if (!skip(stream, header->size - 4))
                return std::nullopt;
        } else if (!skip(stream, header->size)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<PresetNumber>> presetsIn(std::FILE& stream)
{
    // RIFF, the form "sfbk", then the lists INFO, sdta (the samples, skipped) and pdta, whose
    // first chunk, phdr, holds a header of 38 bytes for each preset and a last one that ends them.
    constexpr std::uint32_t kHeaderBytes = 38;
    const auto riff = readChunkHeader(stream);
    if (!riff || !is(riff->id, "RIFF") || !readId(stream, "sfbk") || !findList(stream, "pdta"))
        return std::nullopt;
    const auto phdr = readChunkHeader(stream);
    if (!phdr || !is(phdr->id, "phdr") || phdr->size % kHeaderBytes != 0
        || phdr->size < 2 * kHeaderBytes)
        return std::nullopt;
    std::vector<PresetNumber> presets;
    for (std::uint32_t i = 0; i + 1 < phdr->size / kHeaderBytes; ++i) {
        std::array<unsigned char, kHeaderBytes> header;
        if (std::fread(header.data(), header.size(), 1, &stream) != 1)
            return std::nullopt;
        // After the name (20 bytes): the program, then the bank, 16 bits each.
        presets.push_back({ header[22] | header[23] << 8, header[20] | header[21] << 8 });
    }
    return presets;
}

std::vector<bool> reachableFonts(const std::vector<std::optional<std::vector<PresetNumber>>>& fonts)
{
    std::vector<bool> reachable(fonts.size(), true);
    std::set<PresetNumber> later;
    for (std::size_t i = fonts.size(); i-- > 0;) {
        if (!fonts[i])
            continue;
        const auto& presets = *fonts[i];
        reachable[i] = std::any_of(presets.begin(), presets.end(),
            [&](const PresetNumber& preset) { return !later.contains(preset); });
        later.insert(presets.begin(), presets.end());
    }
    return reachable;
}

} // namespace tonalyx::midi
