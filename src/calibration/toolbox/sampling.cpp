// Sampling routines of the global modes.
#include "calibration/toolbox/sampling.hpp"

#include <cmath>

#include "calibration/toolbox/numerics.hpp"

namespace pluvo::toolbox {

int random_parameter_vector(toolbox_control& c, long& seed) {
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& p = c.parameters[size_t(k)];
    if (!is_adjustable(p)) continue;
    const double u = ran1(seed);
    if (p.partrans == "log") {
      const double lo = std::pow(10.0, p.lower), hi = std::pow(10.0, p.upper);
      p.value = std::log10(lo + u * (hi - lo));
    } else {
      p.value = p.lower + u * (p.upper - p.lower);
    }
  }
  return 0;
}

int mlsl_critical_distance(const toolbox_control& c, int k, double& r) {
  int n = 0;
  double volume = 1.0;
  for (int q = 1; q <= c.npar; ++q) {
    const toolbox_parameter& p = c.parameters[size_t(q)];
    if (!is_adjustable(p)) continue;
    ++n;
    volume *= p.upper - p.lower;
  }
  if (n == 0 || k < 2) {
    r = 0.0;
    return 0;
  }
  // The unit ball's volume needs Gamma(n/2 + 1) with n/2 a real number, odd n included.
  const double g = std::exp(gammln(n / 2.0 + 1.0));
  const double pi = 4.0 * std::atan(1.0);
  r = std::pow(g * volume * c.mlsl_sigma * std::log(double(k)) / k, 1.0 / n) / std::sqrt(pi);
  return 0;
}

}  // namespace pluvo::toolbox
