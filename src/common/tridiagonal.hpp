#pragma once
// A tridiagonal system on 1-based vectors, rows first..n:
//   c[k] u[k-1] + b[k] u[k] + a[k] u[k+1] = r[k].
// Forward elimination and back substitution without pivoting; the solution replaces r and b is
// overwritten. A zero pivot gives non-finite values, which the caller's checks catch.
namespace pluvo {

void solve_tridiagonal(int first, int n, const double* a, double* b, const double* c, double* r);

}  // namespace pluvo
