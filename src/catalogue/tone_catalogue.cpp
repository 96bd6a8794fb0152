#include "tone_catalogue.h"

#include "selection/tone_name_table.h"

namespace tonalyx::catalogue {

void fillToneNameTable(selection::ToneNameTable&) { }

} // namespace tonalyx::catalogue
