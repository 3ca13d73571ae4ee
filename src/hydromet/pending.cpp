// Solar and energy-balance routines that are not built yet. Whoever builds one removes it here.
#include "hydromet/solar_energy.hpp"

namespace pluvo {

int check_julian_day(int, int, int) { return 0; }  // not built yet
double check_hour_angle(double) { return 0.0; }  // not built yet
double compute_solar_azimuth(int, int, int, int, double, int, double, double) { return 0.0; }  // not built yet
double extraterrestrial_radiation(int, int, int, int, double, double, std::vector<double>&, double) { return 0.0; }  // not built yet
double compute_daily_shading(model_state&, int, int, int, double, int, double) { return 0.0; }  // not built yet
void compute_cell_energy_balance(int, model_state&, int, int, int, int, double, double) {}  // not built yet

}  // namespace pluvo
