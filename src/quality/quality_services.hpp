#pragma once
// Quality routines the overland and channel phases call.

namespace pluvo {

struct model_state;

// Erosion and deposition of one routed overland step of dt seconds, with the sediment
// bookkeeping that follows it.
void compute_overland_erosion(model_state& m, double dt);

// out[i] = in[i] x exp(-k[i] x t[i]) for cells 1..count.
void first_order_decay(int count, const double* in, const double* k, const double* t, double* out);
// ov_mann_exp from the base roughness and the overland depths (roughness_exp_on: the run has a
// non-zero roughness exponent).
void update_effective_roughness(model_state& m);

// The nutrient module's own per-node row (node keys) of nutrient water species 0..8: list 0 the
// concentration, 1 the mass, 2 the dispersion coefficient. Null while it keeps none.
double* tvx_stream_row(model_state& m, int species, int list);
// The same per lake (lakes 0..nlakes + 1): list 0 the concentration, 1 the mass.
double* tvx_lake_row(model_state& m, int species, int list);

// The nutrient records of the channel set-up: the stream and lake records sized once the
// network is read, and their parameters and initial values once the grid-stream lists are set.
void size_tvx_stream_records(model_state& m);
void assign_tvx_stream_state(model_state& m);

// Sand transport of one channel update of dt seconds: the sand that entered the nodes (qlat_sed)
// and overland flow brought into the lakes joins the bed stores, Yang's capacity moves it along
// the erodible links, into the lakes and out at the outlet, and the beds of erodible trapezoids
// follow. A capacity that is not a number stops the run ("bed load NaN").
void channel_sediment_transport(model_state& m, double dt);

// Suspended fine sediment of one channel update of dt seconds: lateral inflow, advection from
// node to node, through structures and lakes, settling in the lakes, outlet fluxes.
void channel_suspended_sediment_advection(model_state& m, double dt);

}  // namespace pluvo
