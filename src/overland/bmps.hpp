#pragma once
// BMP units: the outlet rules and the water balance of one unit over one step.
#include "record/overland_state.hpp"

namespace pluvo {

// Volume (m3) that rule `rule` (1 percent of the volume, 2 constant discharge, 3 critical depth
// over a crest, 4 Manning flow on the cell's slope) moves in dt seconds with parameter p, head
// h (m) and available volume v (m3); never more than v, 0 for an unknown rule.
double bmp_outlet_flow(int rule, double p, double h, double v, double dt, double sx, double sy, double n);

// What one unit moved in one step, m3.
struct bmp_flows {
  double inflow = 0.0;       // from the cell's ponded water
  double outflow = 0.0;      // back onto the cell
  double seepage = 0.0;      // out of the unit's storage into its soil
  double percolation = 0.0;  // out of the soil below the unit
  double evaporation = 0.0;
};

// The cell's inputs as one unit sees them; arrays per cell from 1.
struct bmp_cell_inputs {
  double* depth = nullptr;  // m
  double cell_area = 0.0;   // m2
  const double* rough = nullptr;
  const double* sx = nullptr;
  const double* sy = nullptr;
};

// Steps unit u over dt seconds with open-water evaporation rate e (m/s).
bmp_flows bmp_cell_water_balance(bmp_record& b, int u, double dt, const bmp_cell_inputs& cell, double e);

}  // namespace pluvo
