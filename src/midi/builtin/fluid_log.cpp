#include "fluid_log.h"

#include <cstdio>
#include <fluidsynth.h>

namespace tonalyx::midi {

namespace {

void toStandardError(int, const char* message, void*)
{
    std::fprintf(stderr, "fluidsynth: %s\n", message);
}

void dropped(int, const char*, void*) { }

} // namespace

void routeFluidSynthLog()
{
    fluid_set_log_function(FLUID_PANIC, toStandardError, nullptr);
    fluid_set_log_function(FLUID_ERR, toStandardError, nullptr);
    fluid_set_log_function(FLUID_WARN, dropped, nullptr);
    fluid_set_log_function(FLUID_INFO, dropped, nullptr);
    fluid_set_log_function(FLUID_DBG, dropped, nullptr);
}

} // namespace tonalyx::midi
