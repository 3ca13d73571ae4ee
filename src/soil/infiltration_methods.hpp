#pragma once
// The infiltration methods the infiltration phase selects from.

namespace pluvo {

struct model_state;

// Plain Green and Ampt over all cells for dt seconds. Stops the run, naming the cell, when
// the wetting-front solve fails, and then returns false.
bool green_ampt_parallel(model_state& m, double dt);

// Cumulative infiltration F (m) after dt seconds of ponding from F0, solving
// K dt = F - F0 - psi_dtheta ln((F + psi_dtheta)/(F0 + psi_dtheta)) by Newton's method.
// Returns false when the solve does not converge or gives a non-real depth.
bool green_ampt_front(double k, double psi_dtheta, double f0, double dt, double& f);

void green_ampt_redist_parallel(model_state& m, double dt);
void infiltration_mlga_parallel(model_state& m, double dt);
// Returns the depth (m) evaporated over the watershed in the step.
double solve_richards_columns(model_state& m, double dt);
// Saturated conductivity of layer 1 (cm/h) and thickness of layers 1 and 2 (cm) of a
// cell's layered soil class; false when the layered soil table is not available.
bool layered_top_conductance(const model_state& m, int cell, double& k_cm_h, double& depth_cm);

}  // namespace pluvo
