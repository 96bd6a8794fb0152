// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tonalyx::testing {

// Two settings files in the form a save writes them, so that a saved file is exactly one of them.
// The small one is a real file; the large one takes long enough to write that a kill lands in
// the middle of its writing more often.
inline std::string smallSettings()
{
    return "[window]\r\nHeight=526\r\nWidth=679\r\nTop=159\r\nLeft=193\r\n\r\n"
           "[dev]\r\ndev_num=0\r\n\r\n";
}

inline std::string largeSettings()
{
    std::string text = "[window]\r\nHeight=600\r\nWidth=700\r\nTop=30\r\nLeft=40\r\n\r\n";
    for (int i = 0; i < 20000; ++i)
        text += "[section " + std::to_string(i) + "]\r\nkey=" + std::to_string(i) + "\r\n\r\n";
    return text + "[dev]\r\ndev_num=1\r\n\r\n";
}

} // namespace tonalyx::testing
