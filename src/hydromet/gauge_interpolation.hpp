#pragma once
// Spreading the gauge rates of one record over the watershed cells.

namespace pluvo {

struct model_state;

// Finds each cell's nearest gauge into nearest (once per event). A cell farther than
// 900 km from every gauge stops the run with code 4000; false then.
bool find_nearest_gauges(model_state& m);

// Inverse-distance-squared weighting of the gauges' rates of record into cell_rain_rate;
// a gauge closer to a cell centre than one cell size gives that cell its rate alone.
void distribute_precip_idw(model_state& m, int record);

}  // namespace pluvo
