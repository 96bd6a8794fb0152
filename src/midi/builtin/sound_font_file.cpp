// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound_font_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonalyx::midi {

namespace {

int openNonBlocking(const char* path)
{
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// FluidSynth's file callbacks, as its own default ones behave, on a stream of openSoundFont.
void* openForFluidSynth(const char* path)
{
    auto opened = openSoundFont(path);
    if (!opened.stream)
        fluid_log(FLUID_ERR, "Cannot open %s: %s", path, opened.refusal.c_str());
    return opened.stream.release();
}

int readForFluidSynth(void* buffer, fluid_long_long_t count, void* stream)
{
    return count >= 0
            && std::fread(
                   buffer, static_cast<std::size_t>(count), 1, static_cast<std::FILE*>(stream))
                == 1
        ? FLUID_OK
        : FLUID_FAILED;
}

int seekForFluidSynth(void* stream, fluid_long_long_t offset, int origin)
{
    return ::fseeko(static_cast<std::FILE*>(stream), static_cast<off_t>(offset), origin) == 0
        ? FLUID_OK
        : FLUID_FAILED;
}

fluid_long_long_t tellForFluidSynth(void* stream)
{
    return ::ftello(static_cast<std::FILE*>(stream));
}

int closeForFluidSynth(void* stream)
{
    return std::fclose(static_cast<std::FILE*>(stream)) == 0 ? FLUID_OK : FLUID_FAILED;
}

} // namespace

OpenedSoundFont openSoundFont(const char* path)
{
    OpenedSoundFont opened;
    const int fd = openNonBlocking(path);
    if (fd < 0) {
        opened.refusal = std::strerror(errno);
        return opened;
    }
    struct stat status { };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        opened.refusal = "not a regular file";
        return opened;
    }
    // A regular file never waits anyway; the flag is cleared only so that nothing reading the
    // stream later meets a flag it does not expect.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    opened.stream.reset(::fdopen(fd, "rb"));
    if (!opened.stream) {
        opened.refusal = std::strerror(errno);
        ::close(fd);
    }
    return opened;
}

bool openSoundFontsOnlyAsRegularFiles(fluid_synth_t& synth, fluid_settings_t& settings)
{
    // The synth searches its loaders newest first, so this one comes before its own.
    auto* loader = new_fluid_defsfloader(&settings);
    if (loader == nullptr)
        return false;
    fluid_sfloader_set_callbacks(loader, openForFluidSynth, readForFluidSynth, seekForFluidSynth,
        tellForFluidSynth, closeForFluidSynth);
    fluid_synth_add_sfloader(&synth, loader); // the synth owns it from here
    return true;
}

} // namespace tonalyx::midi
