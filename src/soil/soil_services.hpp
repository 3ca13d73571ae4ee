#pragma once
// Soil services other families call: the event start and the overland point sources start the
// redistribution state of Green and Ampt with redistribution the same way.
#include <cstdint>
#include <vector>

namespace pluvo {

struct model_state;
struct layered_soil_entry;

// The layered soil class of cell j, or null when its class has no table entry.
const layered_soil_entry* soil_class_of(const model_state& m, int32_t j);

// Starts the per-cell redistribution state (once per run) and, in long-term runs, takes the
// initial moisture from the water the soil-moisture accounting left in the top layer.
void start_redistribution(model_state& m);

// Layer moistures of every cell of the layered soil scheme from the water the soil-moisture
// accounting holds (the start of an event or of a melt on a dry watershed).
void start_layered_soil(model_state& m);

// Moves a per-cell flux held in cm into a volume total (m3 over the given cell area) and clears it.
void move_cm_to_total(std::vector<double>& cm, int32_t j, double area, double& total);

// K/Ks and the water capacity of every node of the cell's column from its head (and content),
// by Brooks and Corey; node 0 takes node 1's values.
void brooks_corey_layer_functions(model_state& m, int cell);

// The same by Haverkamp; a node at a non-negative head is also set saturated.
void soil_retention_curve(model_state& m, int cell);

// The Richards column of a cell and the aquifer below it: the storage coefficient as the water
// table moves through the column's layers, and the column's profile after the aquifer step (the
// depth, cm, the column handed to the aquifer).
void layered_storage_change(model_state& m, int cell);
double update_soil_column_profile(model_state& m, int cell);

// Cell i lies in an overland lake or a channel lake.
bool in_lake(const model_state& m, int i);

// Liquid share of frozen soil at a temperature (deg C) or pressure head (m) x below 0:
// (1/((0.7 |1.22 x|)^2 + 1))^0.6667; 1 at 0 and above.
double frozen_liquid_fraction(double x);

// The conductivity K reduced toward 0.01 in log space by the liquid share f: 0.01^(1-f) K^f.
double frozen_conductivity(double K, double f);

// The node maps of a cell's soil-temperature column and its soil layers (the three of its
// layered soil class, or the nodes of its Richards column by their DZ): per column node the layer
// it lies in (node_toGIPL), per layer the first column node at or below its bottom
// (node_fromGIPL). Returns the node count, 0 without column.
int build_gipl_node_maps(model_state& m, int cell);

// The frozen-soil update of a Richards column in the permafrost mask: the K/Ks of every node whose
// mapped column node is below 0 deg C falls toward 0.01 in log space by its liquid share
// (fr_lq_wat), never above its thawed value (kept in K_init).
void freeze_richards_column(model_state& m, int cell);

}  // namespace pluvo
