#pragma once
// Hourly evapotranspiration of every cell (Penman-Monteith or the Deardorff bulk transfer) with
// the ground temperature that closes each cell's energy balance, and the frozen-ground state.

namespace pluvo {

struct model_state;

// One hour of potential and actual rates (pot_et, pot_aet, cm/s), ground_temp and
// ground_energy_residual for every cell from the hour's record; returns the air temperature.
double evapo_trans(model_state& m);

// Every cell's ground temperature starts at the air temperature.
void evapo_trans_body(model_state& m);

// Shifts the hour's gridded air temperature into every cell's 24-hour memory and steps the
// continuous frozen-ground index.
void update_frozen_index_parallel(model_state& m);

// Share of the soil water left unfrozen at T (K) for a soil of pore index lambda and bubbling
// pressure psi_b (m): 1 at and above 273.15 K, 0 at and below 263.15 K.
double unfrozen_water_factor(double T, double lambda, double psi_b);

}  // namespace pluvo
