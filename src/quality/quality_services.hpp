#pragma once
// Quality routines the overland, channel and output code call.

namespace pluvo {

struct model_state;

// Erosion and deposition of one routed overland step of dt seconds, with the sediment
// bookkeeping that follows it.
void compute_overland_erosion(model_state& m, double dt);

// out[i] = in[i] x exp(-k[i] x t[i]) for cells 1..count.
void first_order_decay(int count, const double* in, const double* k, const double* t, double* out);

// The nutrient module's own per-node row (node keys) of nutrient water species 0..8: list 0 the
// concentration, 1 the mass, 2 the dispersion coefficient. Null while it keeps none.
double* tvx_stream_row(model_state& m, int species, int list);

// Copies the soil pool name (soil set) or the water constituent name of index into out (at
// least 40 characters); an index outside the list leaves out untouched.
void tvx_constituent_name(char* out, int index, bool soil);

// The partner of constituent number: its soil pool (water_to_soil set) or its water constituent,
// numbered from base (the first nutrient water constituent); -1 when it has none. A number
// outside base..base+12 is its own partner.
int tvx_constituent_slot(int base, int number, bool water_to_soil);

// Channel sediment transport of one channel update of dt seconds: carries the lateral sediment
// (qlat_sed) and the bed and suspended load of every class along the links and into the lakes,
// leaving the sand, wash-load and lake figures of the update in the record.
void channel_sediment_transport(model_state& m, double dt);

// Carries the sediment-bound constituents through the nodes and lakes over dt seconds.
void route_stream_constituents(model_state& m, double dt);

}  // namespace pluvo
