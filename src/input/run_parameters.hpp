#pragma once
// What the run parameters leave outside the model record.
#include "common/checked_file.hpp"

namespace pluvo {

// Inflow file of the water-quality coupling: its header is written when the run parameters
// are read, its rows during the run.
extern checked_file q4_inflow_file;

struct model_state;
// Opens it and writes its header (Q4_INPUT); opened with the project's other files, once no
// output is known to name an input.
void open_q4_inflow_file(model_state& m);

// Checks of the cards where the run takes them up; false after a message naming the card, the
// value and its range (code 4000). The grid: ROWS, COLS and GRIDSIZE as the grid is about to
// be allocated. The time: TIMESTEP, ST_TIME_STEP and TOT_TIME (the step must be above 0, which
// the time-step check itself reports, and no longer than a day or the run), HYD_FREQ, MAP_FREQ,
// OUTSLOPE, LATITUDE, LONGITUDE and GMT finite.
bool grid_size_cards_valid(const model_state& m);
bool time_cards_valid(const model_state& m);

}  // namespace pluvo
