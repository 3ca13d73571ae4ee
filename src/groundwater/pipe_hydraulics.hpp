#pragma once
// Hydraulics shared by the superlink and drain pipe networks: section properties of a partly
// full pipe, critical and normal depths, and the surface inlets that take a cell's ponded water.
#include <vector>

namespace pluvo {

// Section kinds of a pipe.
constexpr int pipe_circular = 1;  // D the diameter
constexpr int pipe_arch = 2;      // D the rise, B the span
constexpr int pipe_box = 3;       // D the height, B the width

struct pipe_section {
  double pipe_area = 0.0;       // m2
  double pipe_wet_perim = 0.0;  // m
  double pipe_top_width = 0.0;  // m
};

// Area, wetted perimeter and top width at depth y.
pipe_section pipe_section_properties(double D, double y, double B, int kind);

// Flow area at depth y of a circular (1) or box (3) section; 0 for other kinds.
double section_flow_area(int kind, double D, double B, double y);

// Critical depth for discharge Q into pipe_crit_depth; 0, or -1 when it cannot be found.
int superlink_crit_calc(int kind, double D, double B, double Q, double& pipe_crit_depth);

// Manning normal depth for roughness n, discharge Q and slope S into pipe_normal_depth;
// 0, or -1 when it cannot be found.
int superlink_norm_calc(int kind, double D, double B, double n, double Q, double S, double& pipe_normal_depth);

// Flow (m3/s, negative when water is pushed out to the surface) through a surface inlet of the
// given kind from the overland depth of cell into a pipe node or superjunction with head H and
// ground G; volume gets the water exchanged in the step (m3), which leaves the cell's depth.
double inlet_flow(int kind, int release, double H, double G, double As, double dt, std::vector<double>& ov_depth,
                  int cell, double cell_area, double L, double Dg, double& volume);

}  // namespace pluvo
