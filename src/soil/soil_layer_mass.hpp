#pragma once
// Constituent mass in up to three soil layers per cell, moved with the water the soil-moisture
// columns drained, for the soil water-quality step.
#include <array>
#include <vector>

#include "record/soil_state.hpp"

namespace pluvo {

struct model_state;

// One constituent's soil tables (layers 1..3 per cell) and its exchanges since the last soil
// water-quality step, as the caller holds them.
struct soil_constituent_tables {
  std::vector<std::array<double, 4>>& mass;
  std::vector<std::array<double, 4>>& conc;  // per soil mass
  const std::vector<std::array<double, 4>>& dissolved_fraction;
  std::array<double, 4>& layer_depth;  // m; the layered scheme writes its own
  std::vector<double>& infil_mass;     // per cell
  std::vector<double>& tvx_uptake_mass;
  std::vector<double>& exfil_mass;
  std::vector<double>& sed_exchange_mass;
  // Groundwater concentration of the constituent per cell; null when it has no groundwater slot.
  const std::vector<double>* gw_conc;
  double& seepage_down_mass;
  double& seepage_up_mass;
};

// Removes rate x factor of the available share of layer l's mass of cell i (never more than
// is available), adds it to removed_total and recomputes the layer's concentration.
void exchange_soil_layer_mass(const model_state& m, int i, int l, double rate, double factor, double availability,
                              std::array<double, 4>& mass, std::array<double, 4>& conc,
                              const std::array<double, 4>& layer_depth, double& removed_total);

// Moves one constituent between the layers of every cell with the step's drainage, takes in its
// exchanges and books what crossed the bottom. The block's layer contents are filled by the
// caller. The drainage accumulators stay for the next constituent.
void update_soil_layer_mass(model_state& m, soil_constituent_block& block, soil_constituent_tables& t);

// Share of a soil layer's constituent mass dissolved in its water: water content theta,
// porosity phi, sorption coefficient kd.
double soil_dissolved_fraction(double theta, double phi, double kd);

// After the step's last constituent: the drainage they all saw starts again from 0.
void consume_soil_drainage(model_state& m);

}  // namespace pluvo
