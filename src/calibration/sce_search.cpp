// The shuffled complex evolution search: a sampled population split into complexes, each evolved
// by simplex steps on sub-complexes drawn with a bias to its better points, then shuffled.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "calibration/sce.hpp"

namespace pluvo {

namespace {

shuffle_generator sce_uniform;  // process-wide shuffle table of sce_ran1
int gasdev_cached = 0;          // a second normal deviate is waiting
double gasdev_value = 0.0;

// The output file, when the set-up opened it.
std::FILE* output(sce_record& r) { return r.output_open && r.output_file.is_open() ? r.output_file.stream : nullptr; }

bool within_bounds(const sce_record& r, const std::vector<double>& point, int upto) {
  for (int k = 1; k <= upto; ++k)
    if (point[size_t(k)] < r.bl[size_t(k)] || point[size_t(k)] > r.bu[size_t(k)]) return false;
  return true;
}

void write_log_line(sce_record& r, int counter, double value, double log_min, const std::vector<double>& point) {
  std::FILE* f = r.log_file.stream;
  std::fprintf(f, "%-5d  %9.4lf %9.4lf  : ", counter, value, log_min);
  for (int j = 1; j <= r.nopt; ++j) std::fprintf(f, " %le", point[size_t(j)]);
  std::fputc('\n', f);
}

void flush_log(sce_record& r) {
  if (r.log_file.is_open()) std::fflush(r.log_file.stream);
}

// Evaluates a point of a simplex step and logs it.
double evaluate_logged(sce_record& r, const std::vector<double>& point, int& counter, double& log_min) {
  const double f = sce_functn(r, point);
  if (f < log_min) log_min = f;
  sce_log_entry(r, counter, f, log_min, point);
  flush_log(r);
  return f;
}

void write_loop_report(sce_record& r, int nloop, int counter, int ngs, int npt, double best, double worst,
                       double gnrng, const sce_matrix& x, const std::vector<double>& xf) {
  std::FILE* f = output(r);
  if (!f) return;
  const int nopt1 = std::min(r.nopt, 8);
  std::fprintf(f, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", nloop, counter, ngs, best, worst, gnrng);
  for (int j = 1; j <= nopt1; ++j) std::fprintf(f, "%10.3lf ", r.bestx[size_t(j)]);
  std::fputc('\n', f);
  if (r.nopt > 8) {
    for (int j = 9; j <= r.nopt; ++j) std::fprintf(f, "%10.3lf ", r.bestx[size_t(j)]);
    std::fputc('\n', f);
  }
  if (r.iprint == 1) {
    std::fprintf(f, " POPULATION AT LOOP %d\n", nloop);
    for (int i = 1; i <= npt; ++i) {
      std::fprintf(f, "%10.5lf ", xf[size_t(i)]);
      for (int j = 1; j <= nopt1; ++j) std::fprintf(f, "%10.5lf ", x[size_t(i)][size_t(j)]);
      std::fputc('\n', f);
      if (r.nopt > 8) {
        for (int j = 9; j <= r.nopt; ++j) std::fprintf(f, "%10.3lf ", x[size_t(i)][size_t(j)]);
        std::fputc('\n', f);
      }
    }
  }
  std::fflush(f);
}

}  // namespace

double sce_ran1(sce_record& r) { return sce_uniform.next(r.seed); }

double sce_gasdev(sce_record& r) {
  if (gasdev_cached) {
    gasdev_cached = 0;
    return gasdev_value;
  }
  double y1 = 0.0, y2 = 0.0, rsq = 0.0;
  do {
    y1 = 2.0 * sce_ran1(r) - 1.0;
    y2 = 2.0 * sce_ran1(r) - 1.0;
    rsq = y1 * y1 + y2 * y2;
  } while (rsq >= 1.0 || rsq == 0.0);
  const double f = std::sqrt(-2.0 * std::log(rsq) / rsq);
  gasdev_value = y1 * f;
  gasdev_cached = 1;
  return y2 * f;
}

void sce_index_heapsort(int n, const std::vector<double>& arr, std::vector<int>& indx) {
  indx.assign(size_t(n) + 1, 0);
  for (int j = 1; j <= n; ++j) indx[size_t(j)] = j;
  if (n < 2) return;
  int l = (n >> 1) + 1, ir = n;
  for (;;) {
    int indxt = 0;
    if (l > 1) {
      indxt = indx[size_t(--l)];
    } else {
      indxt = indx[size_t(ir)];
      indx[size_t(ir)] = indx[1];
      if (--ir == 1) {
        indx[1] = indxt;
        return;
      }
    }
    const double q = arr[size_t(indxt)];
    int i = l, j = l + l;
    while (j <= ir) {
      if (j < ir && arr[size_t(indx[size_t(j)])] < arr[size_t(indx[size_t(j + 1)])]) ++j;
      if (!(q < arr[size_t(indx[size_t(j)])])) break;
      indx[size_t(i)] = indx[size_t(j)];
      i = j;
      j += j;
    }
    indx[size_t(i)] = indxt;
  }
}

void sce_sort_int(int n, std::vector<int>& ra) {
  if (n < 2) return;
  int l = (n >> 1) + 1, ir = n;
  for (;;) {
    int rra = 0;
    if (l > 1) {
      rra = ra[size_t(--l)];
    } else {
      rra = ra[size_t(ir)];
      ra[size_t(ir)] = ra[1];
      if (--ir == 1) {
        ra[1] = rra;
        return;
      }
    }
    int i = l, j = l + l;
    while (j <= ir) {
      if (j < ir && ra[size_t(j)] < ra[size_t(j + 1)]) ++j;
      if (!(rra < ra[size_t(j)])) break;
      ra[size_t(i)] = ra[size_t(j)];
      i = j;
      j += j;
    }
    ra[size_t(i)] = rra;
  }
}

void sce_sort(int n, sce_matrix& rows, std::vector<double>& values) {
  std::vector<int> index;
  sce_index_heapsort(n, values, index);
  const sce_matrix row_copy(rows.begin(), rows.begin() + n + 1);
  const std::vector<double> value_copy(values.begin(), values.begin() + n + 1);
  for (int i = 1; i <= n; ++i) {
    rows[size_t(i)] = row_copy[size_t(index[size_t(i)])];
    values[size_t(i)] = value_copy[size_t(index[size_t(i)])];
  }
}

void sce_getpnt(sce_record& r, int idist, std::vector<double>& out, const std::vector<double>& std_dev,
                const std::vector<double>& centre) {
  do {
    for (int j = 1; j <= r.nopt; ++j) {
      do {
        const double draw = idist == 1 ? sce_ran1(r) : sce_gasdev(r);
        out[size_t(j)] = centre[size_t(j)] + draw * std_dev[size_t(j)] * (r.bu[size_t(j)] - r.bl[size_t(j)]);
      } while (!within_bounds(r, out, j));
    }
  } while (!within_bounds(r, out, r.nopt));
}

void sce_parstt(sce_record& r, int npt, const sce_matrix& x, std::vector<double>& xnstd,
                const std::vector<double>& bound, double& gnrng, int& ipcnvg) {
  for (std::vector<double>* v : {&r.stat_max, &r.stat_min, &r.stat_mean})
    if (v->size() < size_t(r.nopt) + 1) v->assign(size_t(r.nopt) + 1, 0.0);
  double log_ranges = 0.0;
  for (int k = 1; k <= r.nopt; ++k) {
    double largest = -1e20, smallest = 1e20, sum = 0.0, sum_sq = 0.0;
    for (int i = 1; i <= npt; ++i) {
      const double v = x[size_t(i)][size_t(k)];
      largest = std::max(largest, v);
      smallest = std::min(smallest, v);
      sum += v;
      sum_sq += v * v;
    }
    const double mean = sum / npt;
    double variance = sum_sq / npt - mean * mean;
    if (variance <= 1e-20) variance = 1e-20;
    xnstd[size_t(k)] = std::sqrt(variance) / bound[size_t(k)];
    log_ranges += std::log((largest - smallest) / bound[size_t(k)] + 1e-20);
    r.stat_max[size_t(k)] = largest;
    r.stat_min[size_t(k)] = smallest;
    r.stat_mean[size_t(k)] = mean;
  }
  gnrng = std::exp(log_ranges / r.nopt);
  ipcnvg = gnrng <= 0.001 ? 1 : 0;
}

void sce_comp(int nopt, int npt_new, int ngs_new, int ngs_old, int npg, sce_matrix& x, std::vector<double>& xf) {
  sce_matrix work_rows(size_t(npt_new) + 1, std::vector<double>(size_t(nopt) + 1, 0.0));
  std::vector<double> work_values(size_t(npt_new) + 1, 0.0);
  for (int igs = 1; igs <= ngs_new; ++igs)
    for (int ipg = 1; ipg <= npg; ++ipg) {
      const int k1 = (ipg - 1) * ngs_new + igs, k2 = (ipg - 1) * ngs_old + igs;
      work_rows[size_t(k1)] = x[size_t(k2)];
      work_values[size_t(k1)] = xf[size_t(k2)];
    }
  for (int i = 1; i <= npt_new; ++i) {
    x[size_t(i)] = work_rows[size_t(i)];
    xf[size_t(i)] = work_values[size_t(i)];
  }
}

double sce_functn(sce_record& r, const std::vector<double>& x) {
  const double cost = r.model_run(r.pair_file.c_str(), r.project_file.c_str(), x.data(), r.objective, r.nopt, "temp");
  collect_calibration_results(r.objective, process_index);
  return std::fabs(cost);
}

int sce_open_log(sce_record& r, int n, const std::vector<double>& values, double& log_min, const sce_matrix& rows,
                 int& counter) {
  for (int i = 1; i <= n; ++i) log_min = std::min(log_min, values[size_t(i)]);
  // The counter numbers the evaluations whether or not the log can be written.
  if (!r.log_failed && !r.log_file.is_open()) {
    if (checked_file_open(r.log_file, "sce_log_file.txt", 'w')) {
      std::fputs("Sim No.   Cost     Minimum Cost:  Parameter Values\n", r.log_file.stream);
    } else {
      r.log_failed = 1;
      std::printf("Error: unable to open the log file.\n");
    }
  }
  if (!r.log_file.is_open()) {
    counter += n;
    return -1;
  }
  for (int i = 1; i <= n; ++i) write_log_line(r, counter++, values[size_t(i)], log_min, rows[size_t(i)]);
  flush_log(r);
  return 0;
}

void sce_log_entry(sce_record& r, int& counter, double value, double log_min, const std::vector<double>& point) {
  if (r.log_file.is_open()) write_log_line(r, counter, value, log_min, point);
  ++counter;
}

double cce_simplex_step(sce_record& r, sce_matrix& s, std::vector<double>& sf, const std::vector<double>& xnstd,
                        int& counter, double log_min) {
  const int n = int(sf.size()) - 1;
  const std::vector<double>& sb = s[1];
  const std::vector<double> sw = s[size_t(n)];
  const double fw = sf[size_t(n)];
  std::vector<double> ce(size_t(r.nopt) + 1, 0.0), snew(size_t(r.nopt) + 1, 0.0);
  for (int j = 1; j <= r.nopt; ++j) {
    for (int i = 1; i <= n - 1; ++i) ce[size_t(j)] += s[size_t(i)][size_t(j)];
    ce[size_t(j)] /= (n - 1);
  }
  for (int j = 1; j <= r.nopt; ++j) snew[size_t(j)] = ce[size_t(j)] + (ce[size_t(j)] - sw[size_t(j)]);
  // A reflection out of the box is never evaluated: a point around the best one is instead.
  if (!within_bounds(r, snew, r.nopt)) sce_getpnt(r, 2, snew, xnstd, sb);
  double fnew = evaluate_logged(r, snew, counter, log_min);
  if (fnew > fw) {
    for (int j = 1; j <= r.nopt; ++j) snew[size_t(j)] = ce[size_t(j)] - 0.5 * (ce[size_t(j)] - sw[size_t(j)]);
    fnew = evaluate_logged(r, snew, counter, log_min);
    if (fnew > fw) {
      sce_getpnt(r, 2, snew, xnstd, sb);
      fnew = evaluate_logged(r, snew, counter, log_min);
    }
  }
  s[size_t(n)] = snew;
  sf[size_t(n)] = fnew;
  return log_min;
}

void cce(sce_record& r, int igs, int nspl, int nps, int npg, sce_matrix& x, std::vector<double>& xf, int& counter,
         int ngs, const std::vector<double>& /*bound*/, const std::vector<double>& xnstd, double& log_min) {
  sce_matrix cx(size_t(npg) + 1);
  std::vector<double> cf(size_t(npg) + 1, 0.0);
  for (int k1 = 1; k1 <= npg; ++k1) {
    const int k2 = (k1 - 1) * ngs + igs;
    cx[size_t(k1)] = x[size_t(k2)];
    cf[size_t(k1)] = xf[size_t(k2)];
  }
  std::vector<int> lcs(size_t(nps) + 1, 0);
  sce_matrix s(size_t(nps) + 1);
  std::vector<double> sf(size_t(nps) + 1, 0.0);
  // The budget holds inside a complex too: a large step count never runs past it.
  for (int step = 1; step <= nspl && counter < r.maxn; ++step) {
    if (nps == npg) {
      for (int k = 1; k <= nps; ++k) lcs[size_t(k)] = k;
    } else {
      // Position p is drawn with probability 2(npg + 1 - p) / (npg(npg + 1)): better points first.
      const double half = npg + 0.5;
      for (int k = 1; k <= nps; ++k) {
        bool repeated = false;
        do {
          const double u = sce_ran1(r);
          lcs[size_t(k)] = 1 + int(half - std::sqrt(half * half - npg * (npg + 1.0) * u));
          repeated = std::find(lcs.begin() + 1, lcs.begin() + k, lcs[size_t(k)]) != lcs.begin() + k;
        } while (repeated);
      }
      sce_sort_int(nps, lcs);
    }
    for (int k = 1; k <= nps; ++k) {
      s[size_t(k)] = cx[size_t(lcs[size_t(k)])];
      sf[size_t(k)] = cf[size_t(lcs[size_t(k)])];
    }
    log_min = cce_simplex_step(r, s, sf, xnstd, counter, log_min);
    for (int k = 1; k <= nps; ++k) {
      cx[size_t(lcs[size_t(k)])] = s[size_t(k)];
      cf[size_t(lcs[size_t(k)])] = sf[size_t(k)];
    }
    sce_sort(npg, cx, cf);
  }
  for (int k1 = 1; k1 <= npg; ++k1) {
    const int k2 = (k1 - 1) * ngs + igs;
    x[size_t(k2)] = cx[size_t(k1)];
    xf[size_t(k2)] = cf[size_t(k1)];
  }
}

int sceua(sce_record& r) {
  if (!r.setup_ok) {
    std::printf("Error: unable to successufully setup SCE-UA. Unable to run.\n");
    return -1;
  }
  std::printf(" ENTER THE SCEUA SUBROUTINE --- \n");
  if (std::FILE* f = output(r)) std::fputs("ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n", f);
  double log_min = 99999999.0;
  const int nopt = r.nopt;
  // Each search starts both generators afresh, so that its sequence depends on iseed alone.
  r.seed = -std::labs(long(r.iseed));
  gasdev_cached = 0;
  std::printf(" ***  Evolution Loop Number %d\n", 0);
  int ngs = r.ngs;
  const int npg = r.npg;
  int npt = ngs * npg;
  if (r.maxn < npt) {
    std::printf("Error: maximum number of function calls is less than the number of points in the initial "
                "population\n");
    std::printf("Increase the number of function calls to at least %d\n", npt);
    return -1;
  }
  std::vector<double> bound(size_t(nopt) + 1, 0.0), unit(size_t(nopt) + 1, 1.0), xnstd(size_t(nopt) + 1, 0.0);
  for (int j = 1; j <= nopt; ++j) bound[size_t(j)] = r.bu[size_t(j)] - r.bl[size_t(j)];
  sce_matrix x(size_t(npt) + 1, std::vector<double>(size_t(nopt) + 1, 0.0));
  std::vector<double> xf(size_t(npt) + 1, 0.0);
  for (int i = 1; i <= npt; ++i) {
    if (i == 1 && r.iniflg == 1) x[1].assign(r.a.begin(), r.a.begin() + nopt + 1);
    else sce_getpnt(r, 1, x[size_t(i)], unit, r.bl);
    xf[size_t(i)] = sce_functn(r, x[size_t(i)]);
  }
  int counter = 1;
  sce_open_log(r, npt, xf, log_min, x, counter);
  sce_sort(npt, x, xf);
  r.bestx = x[1];
  r.bestf = xf[1];
  double best = xf[1], worst = xf[size_t(npt)];
  double gnrng = 0.0;
  int ipcnvg = 0;
  sce_parstt(r, npt, x, xnstd, bound, gnrng, ipcnvg);
  std::vector<double> criter(21, 0.0);
  if (counter < r.maxn && ipcnvg != 1) {
    for (int nloop = 1;; ++nloop) {
      std::printf(" ***  Evolution Loop Number %d\n", nloop);
      for (int igs = 1; igs <= ngs; ++igs)
        cce(r, igs, r.nspl, r.nps, npg, x, xf, counter, ngs, bound, xnstd, log_min);
      sce_sort(npt, x, xf);
      r.bestx = x[1];
      r.bestf = best = xf[1];
      worst = xf[size_t(npt)];
      sce_parstt(r, npt, x, xnstd, bound, gnrng, ipcnvg);
      write_loop_report(r, nloop, counter, ngs, npt, best, worst, gnrng, x, xf);
      if (counter >= r.maxn) {
        std::printf(" *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n");
        std::printf(" MAXIMUM NUMBER OF TRIALS %d EXCEEDED.  SEARCH WAS STOPPED AT\n", r.maxn);
        std::printf(" SUB-COMPLEX %d OF COMPLEX %d IN SHUFFLING LOOP %d ***\n", 0, ngs, nloop);
        break;
      }
      criter[20] = best;
      if (nloop >= r.kstop + 1) {
        const double c = criter[size_t(20 - r.kstop)];
        if (std::fabs(c - best) / (std::fabs(c + best) * 0.5) < r.pcento) {
          if (std::FILE* f = output(r)) {
            std::fputs(" *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n", f);
            std::fprintf(f, " CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n", r.pcento * 100.0, r.kstop);
          }
          break;
        }
      }
      for (int l = 1; l <= 19; ++l) criter[size_t(l)] = criter[size_t(l + 1)];
      if (ipcnvg == 1) {
        if (std::FILE* f = output(r)) {
          std::fputs(" *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n", f);
          std::fprintf(f, "    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n", gnrng * 100.0);
        }
        break;
      }
      if (ngs > r.mings) {
        sce_comp(nopt, npg * (ngs - 1), ngs - 1, ngs, npg, x, xf);
        npt = npg * (ngs - 1);
        ngs = ngs - 1;
      }
    }
  }
  if (std::FILE* f = output(r)) {
    std::fputs(" *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n", f);
    std::fprintf(f, "%lf ", best);
    for (int j = 1; j <= nopt; ++j) std::fprintf(f, "%le ", r.bestx[size_t(j)]);
    std::fputc('\n', f);
  }
  return counter;
}

}  // namespace pluvo
