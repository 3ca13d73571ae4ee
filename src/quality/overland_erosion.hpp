#pragma once
// Overland erosion pieces: transport capacity, detachment by rain splash and by flow, and the
// median grain size. Volumes are m3 per cell and size class.

namespace pluvo {

struct ov_sed_record;

// Rate in kg to sediment volume: particle density 2.65 x 998.2 kg/m3, for every class.
constexpr double sediment_density = 2645.23;
// 998.2 kg/m3 x 9.81 m/s2: unit weight of water, N/m3.
constexpr double water_unit_weight = 9792.342;

// Layers of vol_sed and sed_fract.
enum sed_layer : int { parent_soil = 1, suspended = 2, deposit = 3, exported = 4 };

// Volume (m3) the flow can carry out of cell in one step of dt seconds: method 1..6 (any other
// returns q). S slope, h depth (m), q unit discharge (m2/s), K the cell's erodibility (methods 1
// and 2 only), scale = dt dx / 2645.23, open_factor the unblocked share (1 without blockage).
double sediment_transport_capacity(int method, int cell, double S, double h, double q, double dt, double dx,
                                   ov_sed_record& s, double K, double scale, double open_factor);

// Median diameter (micrometres) of the suspended load, else the deposit, else the parent soil.
double median_particle_diameter(int cell, ov_sed_record& s);

// Rain splash at rate i (mm/h) with coefficients a, b; moves deposit (and, off channel cells,
// parent soil) into suspension and books it in eroded ([cell][class], slot 0 the sum).
void rain_splash_detachment(int cell, double i, double h, ov_sed_record& s, double dt, double dx, double K_splash,
                            double a, double b, const int* channel_cells, double* eroded);

// Flow detachment under shear 9792.342 h S where the capacity exceeds the suspended load.
// block_value1 is the blocked share of the cell (used with block_on).
void flow_detachment(int cell, double S, double h, ov_sed_record& s, double dt, double dx, double coef, double exp,
                     double tau_crit, const int* channel_cells, double* eroded, double capacity, int block_on,
                     double block_value1);

}  // namespace pluvo
