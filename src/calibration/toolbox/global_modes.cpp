// The global modes built from repeated local estimations: multistart (-ms) and trajectory
// repulsion (-tr).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "calibration/calibration_modes.hpp"
#include "calibration/toolbox/global_common.hpp"
#include "calibration/toolbox/record_files.hpp"
#include "calibration/toolbox/sampling.hpp"
#include "calibration/toolbox/session.hpp"
#include "calibration/toolbox/upgrade.hpp"

namespace pluvo {

using namespace toolbox;

namespace {

void column_line(std::FILE* f, const toolbox_control& c) {
  for (int k = 1; k <= c.npar; ++k)
    if (is_adjustable(c.parameters[size_t(k)])) std::fprintf(f, "%s\t", c.parameters[size_t(k)].name.c_str());
  std::fputs("Total\t", f);
  for (int g = 1; g <= c.nobsgp; ++g) std::fprintf(f, "%s\t", c.observation_groups[size_t(g)].name.c_str());
  std::fputs("\n", f);
}

void take_point(toolbox_control& c, const std::vector<double>& values) {
  for (int k = 1; k <= c.npar; ++k) c.parameters[size_t(k)].value = values[size_t(k)];
}

}  // namespace

int multistart_main(int argc, char** argv) {
  if (argc < 2) return no_command_line_arguments();
  std::printf("\nUsing the multistart stochastic global optimization method,\n");
  std::printf("as implemented directly in PLUVO, to calibrate the current PLUVO model.\n");
  std::printf("Multistart uses the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in PLUVO, for local search.\n\n");
  if (int status = check_toolbox_arguments(argc, argv, "-ms")) return status;
  unsigned int seed = 0;
  int n = 0;
  {
    std::FILE* in = std::fopen("ms.in", "r");
    const bool read = in && std::fscanf(in, "%u %d", &seed, &n) == 2;
    if (in) std::fclose(in);
    if (!read) {
      std::printf("Error: ms.in must hold the random seed and the number of pre-inversion runs\n");
      return 1;
    }
    if (!count_in_range("ms.in", "the number of pre-inversion runs", n, 0, global_count_limit)) return 1;
  }
  static const char* const prediction[] = {
      "\n", "Currently, the slm_vyn_ms1 does not support prediction capabilities.\n",
      "Please change the PESTMODE parameter in the input control\n",
      "file to 'estimation' and recommence execution of slm_vyn_ms1.\n", "\n", nullptr};
  toolbox_control c;
  toolbox_session s;
  int status = open_toolbox_session(argc, argv, c, s, prediction);
  std::FILE* rec = status == 0 ? std::fopen("slm_vyn_ms1.rec", "w") : nullptr;
  std::FILE* parameters = status == 0 ? std::fopen("parameters.prn", "w") : nullptr;
  std::FILE* seeds = status == 0 ? std::fopen("RandomNumberSeeds.prn", "w") : nullptr;
  if (status == 0 && (!rec || !parameters || !seeds)) {
    std::printf("Error: cannot create the multistart record files\n");
    status = 1;
  }
  if (status == 0) {
    c.seed_mode = "Y";
    std::vector<std::vector<double>> starts(size_t(n) + 1);
    std::vector<std::vector<double>> start_objectives(size_t(n) + 1);
    const int noptmax = c.noptmax;
    const double lambda = c.rlambda1;
    c.noptmax = 0;
    sample_seed_generator generator{seed};
    for (int i = 1; i <= n; ++i) {
      const int32_t sample_seed = generator.next();
      long draw = sample_seed;
      random_parameter_vector(c, draw);
      follow_parents(c);
      std::fprintf(seeds, "%d\n", sample_seed);
      for (int k = 1; k <= c.npar; ++k)
        std::fprintf(parameters, "%.12E\t", shown(c.parameters[size_t(k)], c.parameters[size_t(k)].value));
      std::fputs("\n", parameters);
      starts[size_t(i)] = current_point(c);
      const bool ok = lm_optimise(argc, argv, c, s.names, s.files, s.templates, s.instructions) == 0;
      start_objectives[size_t(i)] = objectives_of(c, !ok);
      if (i == 1) {
        std::fputs("                        CT_MS1 CONTROL INFORMATION\n\n", rec);
        std::fprintf(rec, "Input unsigned long random seed                             : %u\n", seed);
        std::fprintf(rec, "Number of pre-inversion runs to carry out                   : %d\n", n);
        std::fprintf(rec, "Name of existing control file : %s\n\n", s.names.case_name.c_str());
        std::fputs("                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n", rec);
        column_line(rec, c);
      }
      for (int k = 1; k <= c.npar; ++k) {
        const toolbox_parameter& p = c.parameters[size_t(k)];
        if (is_adjustable(p)) std::fprintf(rec, "%lf\t", shown(p, starts[size_t(i)][size_t(k)]));
      }
      for (double v : start_objectives[size_t(i)]) std::fprintf(rec, "%lf\t", v);
      std::fputs("\n", rec);
    }
    c.noptmax = noptmax;
    std::fputs("\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n", rec);
    for (int i = 1; i <= n; ++i) {
      c.rlambda1 = lambda;
      take_point(c, starts[size_t(i)]);
      const bool ok = lm_optimise(argc, argv, c, s.names, s.files, s.templates, s.instructions) == 0;
      const std::vector<double> end = objectives_of(c, false);
      (void)ok;  // a failed inversion is shown as it ended; the next one follows
      std::fprintf(rec, " Results of CT inversion run number %d --->\n\n", i);
      std::fputs("     Parameter values:-\n\n", rec);
      std::fputs("         Parameter           Starting parameter  Optimised parameter\n", rec);
      std::fputs("         name                value               value\n", rec);
      for (int k = 1; k <= c.npar; ++k) {
        const toolbox_parameter& p = c.parameters[size_t(k)];
        if (!is_adjustable(p)) continue;
        std::fprintf(rec, "\t%s\t%lf\t%lf\n", p.name.c_str(), shown(p, starts[size_t(i)][size_t(k)]),
                     shown(p, p.value));
      }
      std::fputs("\n\n     Objective function(s):-\n\n", rec);
      std::fputs("         Observation         Starting objective  Optimised objective\n", rec);
      std::fputs("         group name          function value      function value\n", rec);
      std::fprintf(rec, "\t%s\t%lf\t%lf\n", "total", start_objectives[size_t(i)][0], end[0]);
      for (int g = 1; g <= c.nobsgp; ++g)
        std::fprintf(rec, "\t%s\t%lf\t%lf\n", c.observation_groups[size_t(g)].name.c_str(),
                     start_objectives[size_t(i)][size_t(g)], end[size_t(g)]);
      std::fputs("\n\n", rec);
    }
  }
  for (std::FILE* f : {rec, parameters, seeds})
    if (f) std::fclose(f);
  close_toolbox_session(c, s);
  return status;
}

}  // namespace pluvo

namespace pluvo {

int trajectory_repulsion_main(int argc, char** argv) {
  if (argc < 2) return no_command_line_arguments();
  std::printf("\nUsing the trajectory repulsion stochastic global optimization method,\n");
  std::printf("as implemented directly in PLUVO, to calibrate the current PLUVO model.\n");
  std::printf("Trajectory repulsion uses the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in PLUVO, for local search.\n\n");
  if (int status = check_toolbox_arguments(argc, argv, "-tr")) return status;
  toolbox_control c;
  toolbox_session s;
  int status = open_toolbox_session(argc, argv, c, s, ms2_prediction_lines);
  if (status != 0) {
    close_toolbox_session(c, s);
    return status;
  }
  std::printf("This program will either generate or read seeds associated with\n");
  std::printf("random sampling - the ability to read thus precludes having\n");
  std::printf("to recompute previously computed pre-inversion runs.\n\n");
  char letter[16] = "";
  unsigned int seed = 0;
  int n = 0, m = 0, k_limit = 0;
  double f = 0.0;
  {
    std::FILE* in = std::fopen("tr.in", "r");
    const bool read = in && std::fscanf(in, "%15s %u %d %d %d %lf", letter, &seed, &n, &m,
                                        &k_limit, &f) == 6;
    if (in) std::fclose(in);
    if (!read) {
      std::printf("Error: tr.in must hold the seed mode, the seed, N, M, K and f\n");
      close_toolbox_session(c, s);
      return 1;
    }
  }
  // The tables are sized by these; out-of-range settings would run past them.
  if (n < 1 || m < 1 || m > n) {
    std::printf("Error: tr.in asks for %d samples and %d inversions; both must be at least 1 and "
                "the inversions no more than the samples\n",
                n, m);
    close_toolbox_session(c, s);
    return 1;
  }
  if (!count_in_range("tr.in", "the number of samples N", n, 1, global_count_limit) ||
      !trajectory_fits(c, m, "tr.in") ||
      !(std::isfinite(f))) {
    if (!std::isfinite(f)) std::printf("Error: tr.in: the improvement fraction f is %lf; it must be finite\n", f);
    close_toolbox_session(c, s);
    return 1;
  }
  c.seed_mode = letter;
  std::FILE* seeds = nullptr;
  std::vector<int32_t> stored_seeds;
  if (c.seed_mode == "Y") {
    seeds = std::fopen("RandomNumberSeeds.prn", "w");
  } else if (c.seed_mode == "N") {
    std::FILE* in = std::fopen("RandomNumberSeeds.prn", "r");
    int32_t v = 0;
    while (in && int(stored_seeds.size()) < n && std::fscanf(in, "%d", &v) == 1) stored_seeds.push_back(v);
    if (in) std::fclose(in);
    if (int(stored_seeds.size()) < n) {
      std::printf("Error: RandomNumberSeeds.prn holds %d seeds; %d samples need one each\n",
                  int(stored_seeds.size()), n);
      close_toolbox_session(c, s);
      return 1;
    }
  }
  std::FILE* rec = std::fopen("slm_vyn_ms2.rec", "w");
  if (!rec || (c.seed_mode == "Y" && !seeds)) {
    std::printf("Error: cannot create the trajectory repulsion record files\n");
    if (rec) std::fclose(rec);
    if (seeds) std::fclose(seeds);
    close_toolbox_session(c, s);
    return 1;
  }
  const int noptmax = c.noptmax;
  const double lambda = c.rlambda1;
  c.noptmax = 0;
  std::vector<std::vector<double>> samples(size_t(n) + 1);
  std::vector<std::vector<double>> sample_objectives(size_t(n) + 1);
  std::vector<double> sort_key(size_t(n) + 1, 0.0);
  sample_seed_generator generator{seed};
  for (int i = 1; i <= n; ++i) {
    int32_t sample_seed = generator.next();
    if (c.seed_mode == "Y") std::fprintf(seeds, "%d\n", sample_seed);
    if (c.seed_mode == "N") sample_seed = stored_seeds[size_t(i - 1)];
    long draw = sample_seed;
    random_parameter_vector(c, draw);
    follow_parents(c);
    samples[size_t(i)] = current_point(c);
    const bool ok = lm_optimise(argc, argv, c, s.names, s.files, s.templates, s.instructions) == 0;
    sample_objectives[size_t(i)] = objectives_of(c, !ok);
    // A failed sample sorts last, so it never becomes a start point.
    sort_key[size_t(i)] = ok ? sample_objectives[size_t(i)][0] : 1e300;
    if (i == 1) {
      std::fputs("                        CT_MS2 CONTROL INFORMATION\n\n", rec);
      std::fprintf(rec, "Input unsigned long random seed                             : %u\n", seed);
      std::fprintf(rec, "Number of pre-inversion runs to carry out                   : %d\n", n);
      std::fprintf(rec, "Maximum number of CT inversions to carry out                : %d\n", m);
      std::fprintf(rec, "Number of CT runs with no objective function improvement    : %d\n", k_limit);
      std::fprintf(rec, "Improvement fraction judged to be negligible                : %lf\n", f);
      std::fprintf(rec, "Name of existing control file : %s\n\n", s.names.case_name.c_str());
      std::fputs("                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n", rec);
      column_line(rec, c);
    }
    for (int k = 1; k <= c.npar; ++k) {
      const toolbox_parameter& p = c.parameters[size_t(k)];
      if (is_adjustable(p)) std::fprintf(rec, "%.10E\t", shown(p, samples[size_t(i)][size_t(k)]));
    }
    for (double v : sample_objectives[size_t(i)]) std::fprintf(rec, "%lf\t", v);
    std::fputs("\n", rec);
  }
  if (seeds) std::fclose(seeds);
  c.noptmax = noptmax;
  std::fputs("\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n", rec);
  std::vector<int> sorted(size_t(n) + 1, 0);
  indexx(n, sort_key, sorted);
  const int capacity = (std::max(noptmax, 0) + 1) * m;
  matrix_cal trajectory(1, c.npar, 1, capacity);
  int points = 0;
  std::vector<char> used(size_t(n) + 1, 0);
  double best = failed_objective;
  std::vector<double> best_point;
  int best_run = 0, no_improvement = 0, model_calls = n;
  for (int r = 1; r <= m; ++r) {
    int start = 0;
    if (r == 1) {
      start = sorted[1];
    } else {
      double farthest = 0.0;
      for (int e = 1; e <= m; ++e) {
        const int cand = sorted[size_t(e)];
        if (used[size_t(cand)]) continue;
        for (int t = 1; t <= points; ++t) {
          double d = 0.0;
          for (int q = 1; q <= c.npar; ++q) {
            const toolbox_parameter& p = c.parameters[size_t(q)];
            const double x = (samples[size_t(cand)][size_t(q)] - trajectory[q][t]) / (p.upper - p.lower);
            d += x * x;
          }
          if (d > farthest) {
            farthest = d;
            start = cand;
          }
        }
      }
      // No candidate apart from the points visited: the first unused one in sorted order.
      for (int e = 1; start == 0 && e <= n; ++e)
        if (!used[size_t(sorted[size_t(e)])]) start = sorted[size_t(e)];
      if (start == 0) break;
    }
    used[size_t(start)] = 1;
    take_point(c, samples[size_t(start)]);
    if (points >= capacity) break;
    ++points;
    for (int q = 1; q <= c.npar; ++q) trajectory[q][points] = c.parameters[size_t(q)].value;
    c.rlambda1 = lambda;
    int runs = 0;
    lm_optimise_tr(argc, argv, c, s.names, s.files, s.templates, s.instructions, trajectory, &points,
                   &runs);
    model_calls += runs;
    const std::vector<double> end = objectives_of(c, false);
    std::fprintf(rec, " Results of CT inversion run number %d --->\n\n", r);
    std::fputs("     Parameter values:-\n\n", rec);
    std::fputs("         Parameter           Starting parameter  Optimised parameter\n", rec);
    std::fputs("         name                value               value\n", rec);
    for (int k = 1; k <= c.npar; ++k) {
      const toolbox_parameter& p = c.parameters[size_t(k)];
      if (!is_adjustable(p)) continue;
      std::fprintf(rec, "\t%s\t%.10E\t%.10E\n", p.name.c_str(), shown(p, samples[size_t(start)][size_t(k)]),
                   shown(p, p.value));
    }
    std::fputs("\n\n     Objective function(s):-\n\n", rec);
    std::fputs("         Observation         Starting objective  Optimised objective\n", rec);
    std::fputs("         group name          function value      function value\n", rec);
    std::fprintf(rec, "\t%s\t%lE\t%lE\n", "total", sample_objectives[size_t(start)][0], end[0]);
    for (int g = 1; g <= c.nobsgp; ++g)
      std::fprintf(rec, "\t%s\t%lE\t%lE\n", c.observation_groups[size_t(g)].name.c_str(),
                   sample_objectives[size_t(start)][size_t(g)], end[size_t(g)]);
    std::fputs("\n\n", rec);
    std::fprintf(rec, " Number of model runs for latest CT run   = %d\n", runs);
    std::fprintf(rec, " Total number of model calls so far       = %d\n", model_calls);
    std::fputs("\n\n\n\n", rec);
    if (r > 1) {
      if (end[0] >= (1.0 - f) * best)
        ++no_improvement;
      else
        no_improvement = 0;
    }
    if (r == 1 || end[0] < best) {
      best = end[0];
      best_run = r;
      best_point = current_point(c);
    }
    if (no_improvement == k_limit) break;
  }
  std::fputs("\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n", rec);
  std::fprintf(rec, "The global search process yielded a total objective function value of %lf\n", best);
  std::fprintf(rec, "This value was obtained from inversion run number %d\n\n", best_run);
  std::fclose(rec);
  // Each inversion rewrote the ".par" file with its own end; the search's answer is the best one.
  if (!best_point.empty()) rewrite_par(s.files.par, c, best_point);
  close_toolbox_session(c, s);
  return 0;
}

}  // namespace pluvo
