#pragma once
// The explicit diffusive-wave overland scheme (OVERTYPE 1).

namespace pluvo {

struct model_state;
struct explicit_step_control;

// Routes the overland water for dt seconds and returns the volume (m3) that left through
// the outlet cell (0 with channel routing on). Face discharges end in m3/s.
double route_overland_explicit(model_state& m, double dt);

// The sub-step a call starts with: the reduced one while calls are left, else dt.
double explicit_first_substep(explicit_step_control& c, double dt, bool quiet);

// Divides the sub-step by 3 and keeps it for the next 4 calls.
double explicit_divide_substep(explicit_step_control& c, double dts, bool quiet);

// Length of the sub-step that starts at elapsed time t: dts, or the rest of the step when
// less than dts + 0.0001 s remains, so that the last sub-step ends exactly at dt.
double explicit_next_substep(double dt, double t, double dts);

}  // namespace pluvo
