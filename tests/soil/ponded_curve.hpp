#pragma once
// The implicit Green and Ampt curve the infiltration tests measure against.
#include <cmath>

namespace pluvo_test {

// Cumulative infiltration under ponding: F - P ln(1 + F/P) = K t, solved by bisection.
inline double implicit_green_ampt(double k, double p, double t) {
  double lo = 0.0, hi = k * t + 10.0 * std::sqrt(2.0 * p * k * t) + 1.0;
  for (int i = 0; i < 200; i++) {
    const double f = 0.5 * (lo + hi);
    (f - p * std::log1p(f / p) < k * t ? lo : hi) = f;
  }
  return 0.5 * (lo + hi);
}

}  // namespace pluvo_test
