// Multi-level single linkage (-mlsl): samples drawn iteration after iteration, a local search
// from every good sample with no better one nearby, and a Bayesian estimate of when every
// minimum has been found.
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

struct mlsl_settings {
  int n = 0;
  double gamma = 0.0, sigma = 0.0, d = 0.0;
  char letter[16] = "";
  unsigned int seed = 0;
  int max_iterations = 0, max_searches = 0, max_search_no_gain = 0, max_iteration_no_gain = 0;
  double f = 0.0;
};

double distance(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0.0;
  for (size_t k = 1; k < a.size() && k < b.size(); ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
  return std::sqrt(sum);
}

}  // namespace

int mlsl_main(int argc, char** argv) {
  if (argc < 2) return no_command_line_arguments();
  std::printf("\nUsing the Multi Level Single Linkage (MLSL) stochastic global optimization method,\n");
  std::printf("as implemented directly in PLUVO, to calibrate the current PLUVO model.\n");
  std::printf("MLSL uses the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in PLUVO, for local search.\n\n");
  if (int status = check_toolbox_arguments(argc, argv, "-mlsl")) return status;
  toolbox_control c;
  toolbox_session s;
  int status = open_toolbox_session(argc, argv, c, s, ms2_prediction_lines);
  if (status != 0) {
    close_toolbox_session(c, s);
    return status;
  }
  mlsl_settings in;
  {
    std::FILE* f = std::fopen("mlsl.in", "r");
    const bool head = f && std::fscanf(f, "%d %lf %lf %lf", &in.n, &in.gamma, &in.sigma, &in.d) == 4;
    std::printf("This program will either generate or read seeds associated with\n");
    std::printf("random sampling - the ability to read thus precludes having\n");
    std::printf("to recompute previously computed pre-inversion runs.\n\n");
    const bool rest = head && std::fscanf(f, "%15s %u %d %d %d %d %lf", in.letter, &in.seed,
                                          &in.max_iterations, &in.max_searches,
                                          &in.max_search_no_gain, &in.max_iteration_no_gain,
                                          &in.f) == 7;
    if (f) std::fclose(f);
    if (!rest) {
      std::printf("Error: mlsl.in must hold N, gamma, sigma, D, the seed mode, the seed, the four "
                  "maxima and f\n");
      close_toolbox_session(c, s);
      return 1;
    }
  }
  // The tables and the reduced sample are sized by these.
  if (!(in.gamma > 0.0 && in.gamma <= 1.0) || in.n < 1 || in.max_iterations < 1 || in.max_searches < 1) {
    std::printf("Error: mlsl.in: gamma must lie in (0, 1] and N and the maximum numbers of "
                "iterations and local searches must be at least 1 (gamma %lf, N %d, iterations %d, "
                "local searches %d)\n",
                in.gamma, in.n, in.max_iterations, in.max_searches);
    close_toolbox_session(c, s);
    return 1;
  }
  if (!count_in_range("mlsl.in", "the sample size N", in.n, 1, global_count_limit) ||
      !count_in_range("mlsl.in", "the maximum number of iterations", in.max_iterations, 1, global_count_limit) ||
      !count_in_range("mlsl.in", "the maximum number of local searches", in.max_searches, 1, global_count_limit) ||
      !trajectory_fits(c, in.max_searches, "mlsl.in") ||
      !(std::isfinite(in.sigma) && std::isfinite(in.d) && std::isfinite(in.f))) {
    if (!(std::isfinite(in.sigma) && std::isfinite(in.d) && std::isfinite(in.f)))
      std::printf("Error: mlsl.in: sigma, D and f must be finite numbers (sigma %lf, D %lf, f %lf)\n", in.sigma,
                  in.d, in.f);
    close_toolbox_session(c, s);
    return 1;
  }
  c.mlsl_n = in.n;
  c.mlsl_gamma = in.gamma;
  c.mlsl_sigma = in.sigma;
  c.mlsl_d = in.d;
  c.seed_mode = in.letter;
  std::vector<int32_t> stored_seeds;
  std::FILE* seeds = nullptr;
  if (c.seed_mode == "Y") {
    seeds = std::fopen("RandomNumberSeeds.prn", "w");
  } else if (c.seed_mode == "N") {
    std::FILE* f = std::fopen("RandomNumberSeeds.prn", "r");
    int32_t v = 0;
    while (f && std::fscanf(f, "%d", &v) == 1) stored_seeds.push_back(v);
    if (f) std::fclose(f);
  }
  std::FILE* rec = std::fopen("slm_vyn_mlsl.rec", "w");
  if (!rec || (c.seed_mode == "Y" && !seeds)) {
    std::printf("Error: cannot create the MLSL record files\n");
    if (rec) std::fclose(rec);
    if (seeds) std::fclose(seeds);
    close_toolbox_session(c, s);
    return 1;
  }
  std::fputs("                        CT_MLSL CONTROL INFORMATION\n\n", rec);
  std::fprintf(rec, "Input unsigned long random seed                             : %u\n", in.seed);
  std::fprintf(rec, "Uniform random sample size at step k                        : %d\n", in.n);
  std::fprintf(rec, "Value for reduction of the sample                           : %lf\n", in.gamma);
  std::fprintf(rec, "Value for sigma                                             : %lf\n", in.sigma);
  std::fprintf(rec, "Maximum MLSL iterations to carry out                        : %d\n", in.max_iterations);
  std::fprintf(rec, "Maximum number of local search inversions to carry out      : %d\n", in.max_searches);
  std::fprintf(rec, "Maximum number of CT runs with no objective function improvement    : %d\n",
               in.max_search_no_gain);
  std::fprintf(rec, "Maximum number of MLSL iterations with no objective function improvement    : %d\n",
               in.max_iteration_no_gain);
  std::fprintf(rec, "Improvement fraction judged to be negligible                : %lf\n", in.f);
  std::fprintf(rec, "Name of existing control file : %s\n\n", s.names.case_name.c_str());
  const double lambda = c.rlambda1;
  const int capacity = (std::max(c.noptmax, 0) + 1) * in.max_searches;
  matrix_cal trajectory(1, c.npar, 1, capacity), trajectory_objective(1, 1, 1, capacity);
  int points = 0;
  std::vector<std::vector<double>> samples(1), sample_objectives(1), ends(1), starts(1);
  std::vector<double> sort_key(1, 0.0), end_objective(1, 0.0);
  sample_seed_generator generator{in.seed};
  int k = 0, searches = 0, minima = 0, model_calls = 0, search_no_gain = 0, iteration_no_gain = 0;
  double best = failed_objective, reference = failed_objective;
  int best_search = 0, reason = 0;
  const auto adjustable_names = [&] {
    for (int q = 1; q <= c.npar; ++q)
      if (is_adjustable(c.parameters[size_t(q)])) std::fprintf(rec, "%s\t", c.parameters[size_t(q)].name.c_str());
  };
  const auto values_of = [&](const std::vector<double>& v) {
    for (int q = 1; q <= c.npar; ++q) {
      const toolbox_parameter& p = c.parameters[size_t(q)];
      if (is_adjustable(p)) std::fprintf(rec, "%lf\t", shown(p, v[size_t(q)]));
    }
  };
  while (reason == 0) {
    ++k;
    const int noptmax = c.noptmax;
    c.noptmax = 0;
    std::fprintf(rec, "\nSampling Phase: Iteration %d\n\n", k);
    adjustable_names();
    std::fputs("Total\t", rec);
    for (int g = 1; g <= c.nobsgp; ++g) std::fprintf(rec, "%s\t", c.observation_groups[size_t(g)].name.c_str());
    std::fputs("\n", rec);
    for (int i = 1; i <= in.n; ++i) {
      int32_t sample_seed = generator.next();
      if (c.seed_mode == "Y") std::fprintf(seeds, "%d\n", sample_seed);
      if (c.seed_mode == "N") {
        if (samples.size() > stored_seeds.size()) {
          std::printf("Error: RandomNumberSeeds.prn holds %d seeds; sample %d needs one more\n",
                      int(stored_seeds.size()), int(samples.size()));
          std::fclose(rec);
          close_toolbox_session(c, s);
          return 1;
        }
        sample_seed = stored_seeds[samples.size() - 1];
      }
      long draw = sample_seed;
      random_parameter_vector(c, draw);
      follow_parents(c);
      samples.push_back(current_point(c));
      const bool ok = lm_optimise(argc, argv, c, s.names, s.files, s.templates, s.instructions) == 0;
      sample_objectives.push_back(objectives_of(c, !ok));
      // A failed sample sorts last and never starts a search.
      sort_key.push_back(ok ? sample_objectives.back()[0] : 1e300);
      values_of(samples.back());
      for (double v : sample_objectives.back()) std::fprintf(rec, "%lf\t", v);
      std::fputs("\n", rec);
    }
    std::fputs("\n", rec);
    model_calls += in.n;
    c.noptmax = noptmax;
    const int total = int(samples.size()) - 1;
    std::vector<int> sorted(size_t(total) + 1, 0);
    indexx(total, sort_key, sorted);
    const int reduced = int(total * in.gamma);
    std::fprintf(rec, "Reduced Sample Set: Iteration %d\n\n", k);
    adjustable_names();
    std::fputs("Total\t\n", rec);
    for (int i = 1; i <= reduced; ++i) {
      values_of(samples[size_t(sorted[size_t(i)])]);
      std::fprintf(rec, "%lf\t\n", sample_objectives[size_t(sorted[size_t(i)])][0]);
    }
    double r = 0.0;
    mlsl_critical_distance(c, total, r);
    std::fprintf(rec, "\n\nFor iteration %d, alpha equals %lf\n\n", k, r);
    double iteration_best = 1e300;
    int walk_reason = 0;
    for (int i = 1; i <= reduced && walk_reason == 0; ++i) {
      const int si = sorted[size_t(i)];
      const std::vector<double>& x = samples[size_t(si)];
      const double phi = sort_key[size_t(si)];
      bool matched = false;
      for (int j = 1; j <= reduced; ++j) {
        const int sj = sorted[size_t(j)];
        if (j == i || !(distance(x, samples[size_t(sj)]) <= r && sort_key[size_t(sj)] < phi)) continue;
        std::fprintf(rec, "No LS for vector %d of the reduced sample. It is within an alpha distance of the "
                          "vector %d with a lower obj. function value\n", i, j);
        matched = true;
      }
      if (!matched && minima >= 1) {
        bool near = false;
        for (size_t e = 1; e < ends.size(); ++e) {
          if (!(distance(x, ends[e]) <= r && end_objective[e] < phi)) continue;
          std::fprintf(rec, "No LS for vector %d of the reduced sample. It is within an alpha distance of "
                            "a previous LS end point\n", i);
          near = true;
        }
        if (!near)
          for (size_t e = 1; e < ends.size(); ++e) {
            if (!(distance(x, ends[e]) < in.d)) continue;
            std::fprintf(rec, "No LS for vector %d of the reduced sample. It is within a distance %lf of a "
                              "previous LS end point\n", i, in.d);
            near = true;
          }
        matched = near;
      }
      if (!matched && searches >= 1) {
        for (size_t e = 1; e < starts.size(); ++e) {
          if (!(distance(x, starts[e]) < 1e-08)) continue;
          std::fprintf(rec, "No LS for vector %d of the reduced sample. It is too close to a previous LS "
                            "start point\n", i);
          matched = true;
        }
      }
      if (matched) continue;
      std::fprintf(rec, "\nA LS will be performed from vector %d of the reduced sample in iteration %d\n", i, k);
      ++searches;
      ++minima;
      c.rlambda1 = lambda;
      for (int q = 1; q <= c.npar; ++q) c.parameters[size_t(q)].value = x[size_t(q)];
      starts.push_back(x);
      if (points >= capacity) break;
      const int first_point = ++points;
      for (int q = 1; q <= c.npar; ++q) trajectory[q][points] = x[size_t(q)];
      int runs = 0;
      lm_optimise_mlsl(argc, argv, c, s.names, s.files, s.templates, s.instructions, trajectory,
                       trajectory_objective, &points, &runs);
      model_calls += runs;
      const std::vector<double> end = objectives_of(c, false);
      const std::vector<double> here = current_point(c);
      bool known = false;
      if (minima > 1)
        for (size_t e = 1; e < ends.size() && !known; ++e) known = distance(here, ends[e]) < 1e-6;
      if (known) {
        --minima;
        std::fputs("\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n", rec);
        std::fprintf(rec, "\n Results of MLSL supervised local search which occured in step %d --->\n\n", k);
      } else {
        ends.push_back(here);
        end_objective.push_back(end[0]);
        std::fprintf(rec, "\n Results of MLSL supervised local search %d which occured in step %d --->\n\n",
                     minima, k);
      }
      std::fputs("     Parameter values:-\n\n", rec);
      std::fputs("         Parameter           Starting parameter  Optimised parameter\n", rec);
      std::fputs("         name                value               value\n", rec);
      for (int q = 1; q <= c.npar; ++q) {
        const toolbox_parameter& p = c.parameters[size_t(q)];
        if (is_adjustable(p))
          std::fprintf(rec, "\t%s\t%lf\t%lf\n", p.name.c_str(), shown(p, x[size_t(q)]), shown(p, p.value));
      }
      std::fputs("\n\n     Objective function(s):-\n\n", rec);
      std::fputs("         Observation         Starting objective  Optimised objective\n", rec);
      std::fputs("         group name          function value      function value\n", rec);
      std::fprintf(rec, "\t%s\t%lf\t%lf\n", "total", sample_objectives[size_t(si)][0], end[0]);
      for (int g = 1; g <= c.nobsgp; ++g)
        std::fprintf(rec, "\t%s\t%lf\t%lf\n", c.observation_groups[size_t(g)].name.c_str(),
                     sample_objectives[size_t(si)][size_t(g)], end[size_t(g)]);
      std::fputs("\n\n", rec);
      std::fprintf(rec, " Number of model runs for latest Local Search   = %d\n", runs);
      std::fprintf(rec, " Total number of model calls so far       = %d\n", model_calls);
      std::fputs("\n\n\n\n", rec);
      if (!known) {
        std::fprintf(rec, "Upgrade vectors for Local Search %d which occured during step %d of MLSL\n\n", minima, k);
        for (int t = first_point; t <= points; ++t) {
          for (int q = 1; q <= c.npar; ++q) {
            const toolbox_parameter& p = c.parameters[size_t(q)];
            if (is_adjustable(p)) std::fprintf(rec, "%lf\t", shown(p, trajectory[q][t]));
          }
          std::fprintf(rec, "%lf\t", trajectory_objective[1][t]);
          for (int g = 1; g <= c.nobsgp; ++g) std::fprintf(rec, "%lf\t", failed_objective);
          std::fputs("\n", rec);
        }
        std::fputs("\n\n", rec);
      }
      iteration_best = std::min(iteration_best, end[0]);
      if (searches > 1) {
        if (end[0] >= (1.0 - in.f) * best)
          ++search_no_gain;
        else
          search_no_gain = 0;
      }
      if (searches == 1 && best == failed_objective) {
        best = end[0];
        best_search = 1;
      } else if (searches > 1 && end[0] < best) {
        best = end[0];
        best_search = searches;
      }
      if (search_no_gain == in.max_search_no_gain) walk_reason = 1;
      else if (searches >= in.max_searches) walk_reason = 2;
    }
    if (k == 1) {
      if (searches >= 1 && reference == failed_objective) reference = best;
    } else {
      if (iteration_best >= (1.0 - in.f) * reference)
        ++iteration_no_gain;
      else
        iteration_no_gain = 0;
      if (iteration_best < reference) reference = iteration_best;
    }
    const double nk = total * in.gamma;
    if (iteration_no_gain == in.max_iteration_no_gain)
      reason = 5;
    else if (k >= in.max_iterations)
      reason = 4;
    else if (nk > minima + 2 && (nk - 1.0) * minima / (nk - minima - 2.0) <= minima + 0.5)
      reason = 3;
    else
      reason = walk_reason;
  }
  if (seeds) std::fclose(seeds);
  std::fputs("\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n", rec);
  std::fprintf(rec, "Actual number of local searches performed is: %d\n", searches);
  std::fprintf(rec, "The number of local searches that yielded distinct local minima: %d\n", minima);
  std::fprintf(rec, "The number of MLSL iterations is: %d\n", k);
  std::fprintf(rec, "The global search process yielded a total objective function value of %lf\n", best);
  std::fprintf(rec, "This value was obtained from reported inversion run number %d\n\n", best_search);
  std::fprintf(rec, "Total model calls    = %d\n", model_calls);
  switch (reason) {
    case 1:
      std::fprintf(rec, "Stopped because there have been %d actual local searches with no objective function "
                        "improvement.\n\n", search_no_gain);
      break;
    case 2:
      std::fprintf(rec, "Stopped because there have been %d local searches, the maximum set with input.\n\n",
                   searches);
      break;
    case 3:
      std::fputs("Stopped because Bayesian stopping criteria were satisfied.\n\n", rec);
      break;
    case 4:
      std::fprintf(rec, "Stopped because the maximum MLSL iterations, %d, to carry out were carried out\n\n",
                   in.max_iterations);
      break;
    default:
      std::fprintf(rec, "Stopped because there have been %d MLSL iterations with no objective function "
                        "improvement.\n\n", iteration_no_gain);
      break;
  }
  std::fclose(rec);
  close_toolbox_session(c, s);
  return 0;
}

}  // namespace pluvo
