#pragma once
// Culvert barrels: section properties, critical depth and the short-barrel energy solve that
// culv_flow (channel_routines.hpp) is built on. Shapes: 1 circular, 2 oval (arch), 3 box.

namespace pluvo {

struct hydraulic_structure;

// A flow that could not be found; the caller stops the run.
constexpr double culvert_failed_flow = -9999.99;

// The downstream invert of a barrel: as given, or from its slope when none is given (below 0.1 mm).
double culvert_exit_invert(const hydraulic_structure& e);

// Area a, wetted perimeter p and top width t at depth y in a barrel of rise d and width w.
void culvert_section_props(double d, double y, double w, int shape, double& a, double& p, double& t);

// Flow area at depth y (circular and box).
double circular_segment_area(int shape, double d, double w, double y);

// Critical depth yc of flow q. An arch barrel (code 123) or a circular solve that does not
// converge (code 122) sets the error state and leaves yc as it was.
void culvert_critical_depth(int shape, double d, double w, double q, double& yc);

// q - A(yc) c sqrt(2g) sqrt(h - yc), yc the critical depth of q: zero at the inlet-control flow.
double culvert_energy_residual(int shape, double d, double w, double c, double h, double q);

// The root of culvert_energy_residual in [lower, upper] by Brent's method, or
// culvert_failed_flow (lines printed) when the bounds do not bracket it or it takes more than
// 100 iterations; iterations receives the count.
double zbrent(int shape, double d, double w, double c, double h, double lower, double upper, double tolerance,
              int& iterations);

}  // namespace pluvo
