#pragma once
// Pieces of the end of an event that callers and tests reach directly.

namespace pluvo {

struct model_state;

// Index of an event's entry in the calibration arrays: the outlet (point 0) of event e stands at
// stride x (e - 1) + 1, point i right after it; -1 for an event or point outside the record.
long calibration_index(int num_events, int stride, int event, int point);

// Sets the event's input and output volumes and its balance error (a fraction, -1 without input).
void close_event_balance(model_state& m);

// The water the streams and lakes exchanged with the aquifer since the aquifer's last step: the
// streams and lakes hold it already, the next aquifer step books it (positive from the aquifer).
struct aquifer_exchange {
  double gw_to_chan = 0.0, chan_to_gw = 0.0, gw_to_lake = 0.0, lake_to_gw = 0.0;
};
aquifer_exchange pending_aquifer_exchange(const model_state& m);

// The water an overland lake holds over cell i (its level less the ground, times area), 0 for a
// cell outside every overland lake: the surface volumes count it in place of the cell's depth.
double overland_lake_cell_water(const model_state& m, int i, double area);
bool in_overland_lake(const model_state& m, int i);

// Thickness-weighted mean of water content over saturated content of the Richards column's
// nodes down to depth_cm: the relative soil water the event start and end report.
double column_wetness(const model_state& m, int cell, double depth_cm);

}  // namespace pluvo
