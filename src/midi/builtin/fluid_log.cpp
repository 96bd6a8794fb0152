// SPDX-License-Identifier: GPL-3.0-or-later
#include "fluid_log.h"

#include "midi/terminal_text.h"

#include <cstdio>
#include <fluidsynth.h>

namespace tonalyx::midi {

namespace {

void toStandardError(int, const char* message, void*)
{
    // FluidSynth's messages name the files it could not read.
    std::fprintf(stderr, "fluidsynth: %s\n", escapedForTerminal(message).c_str());
}

void dropped(int, const char*, void*) { }

void droppedGlib(const gchar*, GLogLevelFlags, const gchar*, gpointer) { }

void keepFirst(int, const char* message, void* first)
{
    auto& kept = *static_cast<std::string*>(first);
    if (kept.empty() && message != nullptr)
        kept = message;
}

} // namespace

void routeFluidSynthLog()
{
    fluid_set_log_function(FLUID_PANIC, toStandardError, nullptr);
    fluid_set_log_function(FLUID_ERR, toStandardError, nullptr);
    fluid_set_log_function(FLUID_WARN, dropped, nullptr);
    fluid_set_log_function(FLUID_INFO, dropped, nullptr);
    fluid_set_log_function(FLUID_DBG, dropped, nullptr);
}

FluidErrorsHeld::FluidErrorsHeld(std::string& first)
    // FluidSynth's DLS loader, tried on every file its SoundFont loader refuses, adds a GLib
    // assertion message of its own about the failed file.
    : glibHandler_(g_log_set_default_handler(droppedGlib, nullptr))
{
    fluid_set_log_function(FLUID_ERR, keepFirst, &first);
}

FluidErrorsHeld::~FluidErrorsHeld()
{
    fluid_set_log_function(FLUID_ERR, toStandardError, nullptr);
    g_log_set_default_handler(glibHandler_, nullptr);
}

} // namespace tonalyx::midi
