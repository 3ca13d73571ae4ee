#pragma once
// The lumped Sacramento soil-moisture model and the two-store conceptual groundwater model:
// their card ids and the water balance of one step.
#include <array>
#include <vector>

#include "record/soil_state.hpp"

namespace pluvo {

struct model_state;

// Keyword id of a Sacramento card; the keyword is taken off the line.
int sacramento_card_id(char* line);
// Keyword id of a conceptual groundwater card; the keyword is taken off the line.
int conceptual_gw_card_id(char* line);

// What one Sacramento step gave off, mm.
struct sac_fluxes {
  double et = 0.0;  // upper-zone evapotranspiration taken
  double surface = 0.0;
  double interflow = 0.0;
  double baseflow = 0.0;
  double deep = 0.0;  // recharge to deep groundwater: none in this model
  double outflow() const { return surface + interflow + baseflow; }
};

// One step of the Sacramento stores p for demand and input P (mm); balance grows by the step's
// storage change less P - et - outflow, which stays at round-off.
sac_fluxes sacramento_et_step(std::array<double, sac_param_count>& p, double pbase, double& balance,
                              double demand, double P);

// One step of the two stores for input P (mm): drains them by their rates, then shares P between
// them. Sets the total outflow in p and returns it through slow and fast.
void two_store_balance_step(double P, std::vector<double>& p, double& slow, double& fast);

// The Sacramento topographic index of every cell into topo_dex; the run stops on a failure.
void topodex(model_state& m);

// The upslope area of every cell into upslope_area, also written to "upslope.out".
void produce_upslope_area(model_state& m);

}  // namespace pluvo
