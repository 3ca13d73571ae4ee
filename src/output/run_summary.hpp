#pragma once
// The whole-run balances, reachable on their own for callers and tests.

namespace pluvo {

struct model_state;

// Overall and surface-components errors (percent) of a run without the Sacramento model; stores
// the total initial and final storage.
void compute_global_balance(model_state& m);

// The simple soil-moisture balance (percent); 0 without an initial soil volume.
void compute_simple_soil_balance(model_state& m);

// The run's water through the outlet, m3: the channel outlet's with channel routing.
double run_discharge_volume(const model_state& m);

// Sets the global stores from the Sacramento zones and its overall and surface errors (percent).
void compute_sacramento_balance(model_state& m);

}  // namespace pluvo
