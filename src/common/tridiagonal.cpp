#include "common/tridiagonal.hpp"

namespace pluvo {

void solve_tridiagonal(int first, int n, const double* a, double* b, const double* c, double* r) {
  for (int k = first + 1; k <= n; k++) {
    const double f = c[k] / b[k - 1];
    b[k] -= f * a[k - 1];
    r[k] -= f * r[k - 1];
  }
  r[n] /= b[n];
  for (int k = n - 1; k >= first; k--) r[k] = (r[k] - a[k] * r[k + 1]) / b[k];
}

}  // namespace pluvo
