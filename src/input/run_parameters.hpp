#pragma once
// What the run parameters leave outside the model record.
#include "common/checked_file.hpp"

namespace pluvo {

// Inflow file of the water-quality coupling: its header is written when the run parameters
// are read, its rows during the run.
extern checked_file q4_inflow_file;

}  // namespace pluvo
