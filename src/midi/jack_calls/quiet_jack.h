// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>

namespace tonalyx::midi {

// Keeps libjack from printing while a client is opened: with no server running it prints half
// a page, and a machine without JACK is normal. Its message functions are the whole process's,
// so libjack's own printers come back afterwards.
class QuietJack {
public:
    QuietJack()
    {
        jack_set_error_function(silent);
        jack_set_info_function(silent);
    }
    ~QuietJack()
    {
        // Null brings back libjack's own printers.
        jack_set_error_function(nullptr);
        jack_set_info_function(nullptr);
    }
    QuietJack(const QuietJack&) = delete;
    QuietJack& operator=(const QuietJack&) = delete;

private:
    static void silent(const char*) { }
};

} // namespace tonalyx::midi
