#pragma once

#include <string_view>

namespace tonalyx::selection {

// The three fields that show the selection: program number, bank number and tone name. They
// are always set together, in that order.
class Readouts {
public:
    virtual ~Readouts() = default;
    virtual void showSelection(
        std::string_view program, std::string_view bank, std::string_view toneName)
        = 0;
};

} // namespace tonalyx::selection
