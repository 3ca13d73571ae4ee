#pragma once
// The per-constituent arrays of the water-quality block: appended group by group (contaminants,
// then the nutrient constituents) so that every constituent 1..num_constituents has its rows.

namespace pluvo {

struct model_state;

// Arrays of the nutrient records that the constituent tables take as their rows instead of
// copies: the overland concentration, mass and source concentration of the nine water
// constituents (cells 0..N each), and the [cell][layer] planes of the thirteen soil pools.
// A null entry gets a zeroed row or plane of its own.
struct tvx_shared_rows {
  double* ov_conc[9] = {};
  double* ov_mass[9] = {};
  double* ov_source_conc[9] = {};
  double** soil_pools[13] = {};
};

// Appends n constituents over cells 1..cell_count: contaminants (type 1) when tvx is 0; with tvx
// set, the nine nutrient water constituents (type 2), and the four soil-linked ones (type 3)
// when soil and nutrient transport are both on. Existing rows keep their values; constituents
// counted earlier without rows of their own (sediment classes) get zeroed rows first.
void allocate_constituent_arrays(model_state& m, int n, int cell_count, int tvx, const tvx_shared_rows* shared = nullptr);

// Number of soil layers that carry contaminants under the infiltration scheme in force; also
// fills in a missing top or mixing layer depth the way the soil step expects.
int soil_contaminant_layers(model_state& m);

}  // namespace pluvo
