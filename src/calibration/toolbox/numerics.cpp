// Standard dense linear algebra, index sort and uniform deviates for the estimation toolbox.
#include "calibration/toolbox/numerics.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

namespace pluvo::toolbox {

void end_process(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}

void nrerror(const char* text) {
  std::fputs("Numerical Recipes run-time error...\n", stderr);
  std::fprintf(stderr, "%s\n", text);
  std::fputs("...now exiting to system...\n", stderr);
  end_process(1);
}

matrix_cal::matrix_cal(int rlo, int rhi, int clo, int chi) {
  (void)rlo;
  (void)clo;
  if (rhi < 0 || chi < 0) nrerror("allocation failure 1 in matrix()");
  try {
    stride_ = static_cast<std::size_t>(chi) + 1;
    data_.assign((static_cast<std::size_t>(rhi) + 1) * stride_, 0.0);
  } catch (const std::bad_alloc&) {
    nrerror("allocation failure 2 in matrix()");
  }
  rows_ = rhi;
  cols_ = chi;
}

std::vector<int> ivector(int lo, int hi) {
  (void)lo;
  try {
    return std::vector<int>(static_cast<std::size_t>(hi < 0 ? 0 : hi) + 1, 0);
  } catch (const std::bad_alloc&) {
    nrerror("allocation failure in ivector()");
  }
}

std::vector<double> dvector(int lo, int hi) {
  (void)lo;
  try {
    return std::vector<double>(static_cast<std::size_t>(hi < 0 ? 0 : hi) + 1, 0.0);
  } catch (const std::bad_alloc&) {
    nrerror("allocation failure in dvector()");
  }
}

void choldc(matrix_cal& a, int n, std::vector<double>& p) {
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      double sum = a[i][j];
      for (int k = i - 1; k >= 1; --k) sum -= a[i][k] * a[j][k];
      if (i == j) {
        if (sum <= 0.0) nrerror("choldc failed");
        p[i] = std::sqrt(sum);
      } else {
        a[j][i] = sum / p[i];
      }
    }
  }
}

void cholsl(const matrix_cal& a, int n, const std::vector<double>& p, const std::vector<double>& b,
            std::vector<double>& x) {
  for (int i = 1; i <= n; ++i) {
    double sum = b[i];
    for (int k = i - 1; k >= 1; --k) sum -= a[i][k] * x[k];
    x[i] = sum / p[i];
  }
  for (int i = n; i >= 1; --i) {
    double sum = x[i];
    for (int k = i + 1; k <= n; ++k) sum -= a[k][i] * x[k];
    x[i] = sum / p[i];
  }
}

void ludcmp(matrix_cal& a, int n, std::vector<int>& indx, double& d, int& singular) {
  constexpr double tiny = 1.0e-20;
  std::vector<double> vv = dvector(1, n);
  singular = 0;
  d = 1.0;
  for (int i = 1; i <= n; ++i) {
    double big = 0.0;
    for (int j = 1; j <= n; ++j) big = std::fmax(big, std::fabs(a[i][j]));
    if (big == 0.0) {
      singular = 1;
      return;
    }
    vv[i] = 1.0 / big;
  }
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) {
      double sum = a[i][j];
      for (int k = 1; k < i; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
    }
    double big = 0.0;
    int imax = j;
    for (int i = j; i <= n; ++i) {
      double sum = a[i][j];
      for (int k = 1; k < j; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
      const double dum = vv[i] * std::fabs(sum);
      if (dum >= big) {
        big = dum;
        imax = i;
      }
    }
    if (j != imax) {
      for (int k = 1; k <= n; ++k) std::swap(a[imax][k], a[j][k]);
      d = -d;
      vv[imax] = vv[j];
    }
    indx[j] = imax;
    if (a[j][j] == 0.0) a[j][j] = tiny;
    if (j != n) {
      const double dum = 1.0 / a[j][j];
      for (int i = j + 1; i <= n; ++i) a[i][j] *= dum;
    }
  }
}

void lubksb_cal(const matrix_cal& a, int n, const std::vector<int>& indx, std::vector<double>& b) {
  int ii = 0;
  for (int i = 1; i <= n; ++i) {
    const int ip = indx[i];
    double sum = b[ip];
    b[ip] = b[i];
    if (ii) {
      for (int j = ii; j < i; ++j) sum -= a[i][j] * b[j];
    } else if (sum != 0.0) {
      ii = i;
    }
    b[i] = sum;
  }
  for (int i = n; i >= 1; --i) {
    double sum = b[i];
    for (int j = i + 1; j <= n; ++j) sum -= a[i][j] * b[j];
    b[i] = sum / a[i][i];
  }
}

void dminverse(matrix_cal& a, int n, matrix_cal& y, int& singular) {
  std::vector<int> indx = ivector(1, n);
  double d = 0.0;
  ludcmp(a, n, indx, d, singular);
  if (singular) return;
  std::vector<double> col = dvector(1, n);
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= n; ++i) col[i] = 0.0;
    col[j] = 1.0;
    lubksb_cal(a, n, indx, col);
    for (int i = 1; i <= n; ++i) y[i][j] = col[i];
  }
}

void solve3_lu(matrix_cal& a, int, const matrix_cal& b, int, matrix_cal& x) {
  std::vector<int> indx = ivector(1, 3);
  double d = 0.0;
  int singular = 0;
  ludcmp(a, 3, indx, d, singular);
  if (singular) return;
  std::vector<double> col = dvector(1, 3);
  for (int i = 1; i <= 3; ++i) col[i] = b[i][1];
  lubksb_cal(a, 3, indx, col);
  for (int i = 1; i <= 3; ++i) x[i][1] = col[i];
}

namespace {
inline void rotate(matrix_cal& a, int i, int j, int k, int l, double s, double tau) {
  const double g = a[i][j];
  const double h = a[k][l];
  a[i][j] = g - s * (h + g * tau);
  a[k][l] = h + s * (g - h * tau);
}
}  // namespace

void jacobi(matrix_cal& a, int n, std::vector<double>& d, matrix_cal& v, int& nrot) {
  std::vector<double> b = dvector(1, n);
  std::vector<double> z = dvector(1, n);
  for (int ip = 1; ip <= n; ++ip) {
    for (int iq = 1; iq <= n; ++iq) v[ip][iq] = 0.0;
    v[ip][ip] = 1.0;
  }
  for (int ip = 1; ip <= n; ++ip) {
    b[ip] = d[ip] = a[ip][ip];
    z[ip] = 0.0;
  }
  nrot = 0;
  for (int sweep = 1; sweep <= 50; ++sweep) {
    double sm = 0.0;
    for (int ip = 1; ip < n; ++ip)
      for (int iq = ip + 1; iq <= n; ++iq) sm += std::fabs(a[ip][iq]);
    if (sm == 0.0) return;
    const double tresh = sweep < 4 ? 0.2 * sm / (double(n) * n) : 0.0;
    for (int ip = 1; ip < n; ++ip) {
      for (int iq = ip + 1; iq <= n; ++iq) {
        const double g = 100.0 * std::fabs(a[ip][iq]);
        if (sweep > 4 && std::fabs(d[ip]) + g == std::fabs(d[ip]) &&
            std::fabs(d[iq]) + g == std::fabs(d[iq])) {
          a[ip][iq] = 0.0;
        } else if (std::fabs(a[ip][iq]) > tresh) {
          double h = d[iq] - d[ip];
          double t;
          if (std::fabs(h) + g == std::fabs(h)) {
            t = a[ip][iq] / h;
          } else {
            const double theta = 0.5 * h / a[ip][iq];
            t = 1.0 / (std::fabs(theta) + std::sqrt(1.0 + theta * theta));
            if (theta < 0.0) t = -t;
          }
          const double c = 1.0 / std::sqrt(1.0 + t * t);
          const double s = t * c;
          const double tau = s / (1.0 + c);
          h = t * a[ip][iq];
          z[ip] -= h;
          z[iq] += h;
          d[ip] -= h;
          d[iq] += h;
          a[ip][iq] = 0.0;
          for (int j = 1; j < ip; ++j) rotate(a, j, ip, j, iq, s, tau);
          for (int j = ip + 1; j < iq; ++j) rotate(a, ip, j, j, iq, s, tau);
          for (int j = iq + 1; j <= n; ++j) rotate(a, ip, j, iq, j, s, tau);
          for (int j = 1; j <= n; ++j) rotate(v, j, ip, j, iq, s, tau);
          ++nrot;
        }
      }
    }
    for (int ip = 1; ip <= n; ++ip) {
      b[ip] += z[ip];
      d[ip] = b[ip];
      z[ip] = 0.0;
    }
  }
  nrerror("Too many iterations in routine jacobi");
}

void eigsrt(std::vector<double>& d, matrix_cal& v, int n) {
  for (int i = 1; i < n; ++i) {
    int k = i;
    double p = d[i];
    for (int j = i + 1; j <= n; ++j) {
      if (d[j] >= p) {
        k = j;
        p = d[j];
      }
    }
    if (k != i) {
      d[k] = d[i];
      d[i] = p;
      for (int j = 1; j <= n; ++j) std::swap(v[j][i], v[j][k]);
    }
  }
}

void indexx(int n, const std::vector<double>& arr, std::vector<int>& indx) {
  constexpr int m = 7;
  constexpr int nstack = 50;
  std::vector<int> istack = ivector(1, nstack);
  for (int j = 1; j <= n; ++j) indx[j] = j;
  int jstack = 0;
  int l = 1;
  int ir = n;
  for (;;) {
    if (ir - l < m) {
      for (int j = l + 1; j <= ir; ++j) {
        const int indxt = indx[j];
        const double a = arr[indxt];
        int i = j - 1;
        for (; i >= l; --i) {
          if (arr[indx[i]] <= a) break;
          indx[i + 1] = indx[i];
        }
        indx[i + 1] = indxt;
      }
      if (jstack == 0) break;
      ir = istack[jstack--];
      l = istack[jstack--];
    } else {
      const int k = (l + ir) >> 1;
      std::swap(indx[k], indx[l + 1]);
      if (arr[indx[l]] > arr[indx[ir]]) std::swap(indx[l], indx[ir]);
      if (arr[indx[l + 1]] > arr[indx[ir]]) std::swap(indx[l + 1], indx[ir]);
      if (arr[indx[l]] > arr[indx[l + 1]]) std::swap(indx[l], indx[l + 1]);
      int i = l + 1;
      int j = ir;
      const int indxt = indx[l + 1];
      const double a = arr[indxt];
      for (;;) {
        do ++i; while (arr[indx[i]] < a);
        do --j; while (arr[indx[j]] > a);
        if (j < i) break;
        std::swap(indx[i], indx[j]);
      }
      indx[l + 1] = indx[j];
      indx[j] = indxt;
      jstack += 2;
      if (jstack > nstack) nrerror("NSTACK too small in indexx.");
      if (ir - i + 1 >= j - l) {
        istack[jstack] = ir;
        istack[jstack - 1] = i;
        ir = j - 1;
      } else {
        istack[jstack] = j - 1;
        istack[jstack - 1] = l;
        l = i;
      }
    }
  }
}

void dmmult(const matrix_cal& a, int a_rows, int a_cols, const matrix_cal& b, int b_rows,
            int b_cols, matrix_cal& c) {
  if (a_cols != b_rows) {
    std::fprintf(stderr, "a_cols <> b_rows (%d,%d): dmmult\n", a_cols, b_rows);
    end_process(1);
  }
  for (int i = 1; i <= a_rows; ++i) {
    for (int j = 1; j <= b_cols; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= a_cols; ++k) sum += a[i][k] * b[k][j];
      c[i][j] = sum;
    }
  }
}

void dmvmult(const matrix_cal& a, int rows, int cols, const std::vector<double>& x, int,
             std::vector<double>& y) {
  for (int i = 1; i <= rows; ++i) {
    double sum = 0.0;
    for (int k = 1; k <= cols; ++k) sum += a[i][k] * x[k];
    y[i] = sum;
  }
}

void dmtranspose(const matrix_cal& a, int rows, int cols, matrix_cal& b) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) b[j][i] = a[i][j];
}

void dmscale(const matrix_cal& a, int rows, int cols, double s, matrix_cal& b) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) b[i][j] = s * a[i][j];
}

void dmadd(const matrix_cal& a, int rows, int cols, const matrix_cal& b, matrix_cal& c) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) c[i][j] = a[i][j] + b[i][j];
}

double gammln(double x) {
  static constexpr double cof[6] = {76.18009172947146,     -86.50532032941678,
                                    24.01409824083091,     -1.231739572450155,
                                    0.001208650973866179,  -5.395239384953e-06};
  double y = x;
  double tmp = x + 5.5;
  tmp -= (x + 0.5) * std::log(tmp);
  double ser = 1.000000000190015;
  for (double c : cof) ser += c / ++y;
  return -tmp + std::log(2.5066282746310007 * ser / x);
}

double ran1(long& seed) {
  static shuffle_generator generator;
  return generator.next(seed);
}

}  // namespace pluvo::toolbox
