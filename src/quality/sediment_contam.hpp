#pragma once
// Contaminants sorbed to the fine sediment: on the overland grid they erode from and settle on
// the soil's top layer and travel with the suspended sediment; in the channels and lakes they
// travel with the suspended wash load. Everywhere the mass splits between the dissolved and the
// sorbed phase by a linear partition coefficient, and the dissolved share goes to the ordinary
// dissolved balances as a source.

namespace pluvo {

struct model_state;

// Sizes the per-run sorbed-pool arrays of the grid and starts each cell's total mass from its
// dissolved mass (before the first split the cells hold no sorbed mass).
void start_sediment_contaminants(model_state& m);

// One overland contaminant time for constituent k: erosion from the soil, phase split,
// transport across the cell faces, phase split, deposition to the soil and outlet export.
void contam_kinetics_step(model_state& m, int k, double mixing_depth_cm);

// Phase split of constituent k on every cell outside the lakes, with the suspended volumes
// susp ([cell][class], slot 0 the fine sum).
void fraction_dissolved(model_state& m, int k, const double* susp);

// Sorbed mass of constituent k carried along the channel links and into and out of the lakes
// over dt seconds.
void route_channel_sediment_contam(model_state& m, double dt, int k);
// Phase split of constituent k at every channel node that holds water.
void partition_channel_sediment_contam(model_state& m, int k);
// Phase split of constituent k in every lake.
void partition_lake_sediment_contam(model_state& m, int k);

}  // namespace pluvo
