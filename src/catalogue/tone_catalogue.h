#pragma once

namespace tonalyx::selection {
class ToneNameTable;
}

namespace tonalyx::catalogue {

// Puts every GS tone name into the table, each at its program and bank.
void fillToneNameTable(selection::ToneNameTable& table);

} // namespace tonalyx::catalogue
