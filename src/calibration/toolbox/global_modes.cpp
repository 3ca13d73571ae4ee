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

// The sampled point's adjustable values and its objective functions, one record line.
void sample_line(std::FILE* rec, const toolbox_control& c, const std::vector<double>& point,
                 const std::vector<double>& objectives, record_numbers form) {
  for (int k = 1; k <= c.npar; ++k) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    if (is_adjustable(p))
      std::fprintf(rec, form == record_numbers::fixed ? "%lf\t" : "%.10E\t", shown(p, point[size_t(k)]));
  }
  for (double v : objectives) std::fprintf(rec, "%lf\t", v);
  std::fputs("\n", rec);
}

int local_search(int argc, char** argv, toolbox_control& c, toolbox_session& s) {
  return lm_optimise(argc, argv, c, s.names, s.files, s.templates, s.instructions);
}

}  // namespace

int multistart_main(int argc, char** argv) {
  if (argc < 2) return no_command_line_arguments();
  announce_global_mode("multistart", "Multistart");
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
  session_guard session(c, s);
  if (int status = open_toolbox_session(argc, argv, c, s, prediction)) return status;
  const mode_file record(std::fopen("slm_vyn_ms1.rec", "w")), parameters(std::fopen("parameters.prn", "w")),
      seeds(std::fopen("RandomNumberSeeds.prn", "w"));
  if (!record || !parameters || !seeds) {
    std::printf("Error: cannot create the multistart record files\n");
    return 1;
  }
  std::FILE* rec = record.get();
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
    std::fprintf(seeds.get(), "%d\n", sample_seed);
    for (int k = 1; k <= c.npar; ++k)
      std::fprintf(parameters.get(), "%.12E\t", shown(c.parameters[size_t(k)], c.parameters[size_t(k)].value));
    std::fputs("\n", parameters.get());
    starts[size_t(i)] = current_point(c);
    const bool ok = local_search(argc, argv, c, s) == 0;
    start_objectives[size_t(i)] = objectives_of(c, !ok);
    if (i == 1) {
      std::fputs("                        CT_MS1 CONTROL INFORMATION\n\n", rec);
      std::fprintf(rec, "Input unsigned long random seed                             : %u\n", seed);
      std::fprintf(rec, "Number of pre-inversion runs to carry out                   : %d\n", n);
      std::fprintf(rec, "Name of existing control file : %s\n\n", s.names.case_name.c_str());
      std::fputs("                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n", rec);
      column_line(rec, c);
    }
    sample_line(rec, c, starts[size_t(i)], start_objectives[size_t(i)], record_numbers::fixed);
  }
  c.noptmax = noptmax;
  std::fputs("\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n", rec);
  for (int i = 1; i <= n; ++i) {
    c.rlambda1 = lambda;
    take_point(c, starts[size_t(i)]);
    // A failed inversion is shown as it ended; the next one follows.
    local_search(argc, argv, c, s);
    std::fprintf(rec, " Results of CT inversion run number %d --->\n\n", i);
    write_search_results(rec, c, starts[size_t(i)], start_objectives[size_t(i)], objectives_of(c, false),
                         record_numbers::fixed);
  }
  return 0;
}

namespace {

struct trajectory_settings {
  char letter[16] = "";
  unsigned int seed = 0;
  int n = 0, m = 0, k_limit = 0;
  double f = 0.0;
};

// tr.in: the seed mode, the seed, N samples, M inversions, K inversions without gain and the
// negligible fraction f, checked before anything is sized by them. False, with a message.
bool read_trajectory_settings(const toolbox_control& c, trajectory_settings& in) {
  std::FILE* f = std::fopen("tr.in", "r");
  const bool read = f && std::fscanf(f, "%15s %u %d %d %d %lf", in.letter, &in.seed, &in.n, &in.m, &in.k_limit,
                                     &in.f) == 6;
  if (f) std::fclose(f);
  if (!read) {
    std::printf("Error: tr.in must hold the seed mode, the seed, N, M, K and f\n");
    return false;
  }
  // The tables are sized by these; out-of-range settings would run past them.
  if (in.n < 1 || in.m < 1 || in.m > in.n) {
    std::printf("Error: tr.in asks for %d samples and %d inversions; both must be at least 1 and "
                "the inversions no more than the samples\n",
                in.n, in.m);
    return false;
  }
  const bool fits = count_in_range("tr.in", "the number of samples N", in.n, 1, global_count_limit) &&
                    trajectory_fits(c, in.m, "tr.in");
  if (!std::isfinite(in.f)) std::printf("Error: tr.in: the improvement fraction f is %lf; it must be finite\n", in.f);
  return fits && std::isfinite(in.f);
}

// The seeds of an earlier sampling, read back for mode "N"; false, with a message, when they
// are too few for n samples.
bool read_stored_seeds(int n, std::vector<int32_t>& stored) {
  std::FILE* in = std::fopen("RandomNumberSeeds.prn", "r");
  int32_t v = 0;
  while (in && int(stored.size()) < n && std::fscanf(in, "%d", &v) == 1) stored.push_back(v);
  if (in) std::fclose(in);
  if (int(stored.size()) >= n) return true;
  std::printf("Error: RandomNumberSeeds.prn holds %d seeds; %d samples need one each\n", int(stored.size()), n);
  return false;
}

// Trajectory repulsion: the samples' local estimations without iterations, then inversions from
// the best samples, each started as far as it can be from the points visited before it and
// repelled from them.
class trajectory_search {
 public:
  trajectory_search(int argc, char** argv, toolbox_control& c, toolbox_session& s, const trajectory_settings& in,
                    std::FILE* rec)
      : argc_(argc), argv_(argv), c_(c), s_(s), in_(in), rec_(rec), samples_(size_t(in.n) + 1),
        sample_objectives_(size_t(in.n) + 1), sort_key_(size_t(in.n) + 1, 0.0) {}

  void sample(std::FILE* seeds, const std::vector<int32_t>& stored_seeds);
  void invert();

 private:
  void control_information();
  int farthest_start(const std::vector<int>& sorted, const std::vector<char>& used, const matrix_cal& trajectory,
                     int points) const;

  int argc_;
  char** argv_;
  toolbox_control& c_;
  toolbox_session& s_;
  const trajectory_settings& in_;
  std::FILE* rec_;
  std::vector<std::vector<double>> samples_, sample_objectives_;
  std::vector<double> sort_key_;
  double lambda_ = 0.0;  // the control file's starting lambda, which every inversion starts from
};

void trajectory_search::control_information() {
  std::fputs("                        CT_MS2 CONTROL INFORMATION\n\n", rec_);
  std::fprintf(rec_, "Input unsigned long random seed                             : %u\n", in_.seed);
  std::fprintf(rec_, "Number of pre-inversion runs to carry out                   : %d\n", in_.n);
  std::fprintf(rec_, "Maximum number of CT inversions to carry out                : %d\n", in_.m);
  std::fprintf(rec_, "Number of CT runs with no objective function improvement    : %d\n", in_.k_limit);
  std::fprintf(rec_, "Improvement fraction judged to be negligible                : %lf\n", in_.f);
  std::fprintf(rec_, "Name of existing control file : %s\n\n", s_.names.case_name.c_str());
  std::fputs("                   RESULTS OF PRE-INVERSION SAMPLE RUNS\n\n", rec_);
  column_line(rec_, c_);
}

// The pre-inversion samples: drawn (or seeded from the stored seeds), each evaluated once.
void trajectory_search::sample(std::FILE* seeds, const std::vector<int32_t>& stored_seeds) {
  const int noptmax = c_.noptmax;
  lambda_ = c_.rlambda1;
  c_.noptmax = 0;
  sample_seed_generator generator{in_.seed};
  for (int i = 1; i <= in_.n; ++i) {
    int32_t sample_seed = generator.next();
    if (c_.seed_mode == "Y") std::fprintf(seeds, "%d\n", sample_seed);
    if (c_.seed_mode == "N") sample_seed = stored_seeds[size_t(i - 1)];
    long draw = sample_seed;
    random_parameter_vector(c_, draw);
    follow_parents(c_);
    samples_[size_t(i)] = current_point(c_);
    const bool ok = local_search(argc_, argv_, c_, s_) == 0;
    sample_objectives_[size_t(i)] = objectives_of(c_, !ok);
    // A failed sample sorts last, so it never becomes a start point.
    sort_key_[size_t(i)] = ok ? sample_objectives_[size_t(i)][0] : 1e300;
    if (i == 1) control_information();
    sample_line(rec_, c_, samples_[size_t(i)], sample_objectives_[size_t(i)], record_numbers::exponent);
  }
  c_.noptmax = noptmax;
}

// Among the best M samples not yet used, the one farthest from the points visited; 0 when none
// lies apart from them.
int trajectory_search::farthest_start(const std::vector<int>& sorted, const std::vector<char>& used,
                                      const matrix_cal& trajectory, int points) const {
  int start = 0;
  double farthest = 0.0;
  for (int e = 1; e <= in_.m; ++e) {
    const int cand = sorted[size_t(e)];
    if (used[size_t(cand)]) continue;
    for (int t = 1; t <= points; ++t) {
      double d = 0.0;
      for (int q = 1; q <= c_.npar; ++q) {
        const toolbox_parameter& p = c_.parameters[size_t(q)];
        const double x = (samples_[size_t(cand)][size_t(q)] - trajectory[q][t]) / (p.upper - p.lower);
        d += x * x;
      }
      if (d > farthest) {
        farthest = d;
        start = cand;
      }
    }
  }
  return start;
}

// The inversions, until M are done, K in a row bring no gain, or no start is left; the best end
// goes into the ".par" file.
void trajectory_search::invert() {
  std::fputs("\n\n                   RESULTS OF CT OPTIMIZATION RUNS\n\n\n", rec_);
  const int n = in_.n;
  std::vector<int> sorted(size_t(n) + 1, 0);
  indexx(n, sort_key_, sorted);
  const int capacity = (std::max(c_.noptmax, 0) + 1) * in_.m;
  matrix_cal trajectory(1, c_.npar, 1, capacity);
  int points = 0;
  std::vector<char> used(size_t(n) + 1, 0);
  double best = failed_objective;
  std::vector<double> best_point;
  int best_run = 0, no_improvement = 0, model_calls = n;
  for (int r = 1; r <= in_.m; ++r) {
    int start = r == 1 ? sorted[1] : farthest_start(sorted, used, trajectory, points);
    // No candidate apart from the points visited: the first unused one in sorted order.
    for (int e = 1; start == 0 && e <= n; ++e)
      if (!used[size_t(sorted[size_t(e)])]) start = sorted[size_t(e)];
    if (start == 0) break;
    used[size_t(start)] = 1;
    take_point(c_, samples_[size_t(start)]);
    if (points >= capacity) break;
    ++points;
    for (int q = 1; q <= c_.npar; ++q) trajectory[q][points] = c_.parameters[size_t(q)].value;
    c_.rlambda1 = lambda_;
    int runs = 0;
    lm_optimise_tr(argc_, argv_, c_, s_.names, s_.files, s_.templates, s_.instructions, trajectory, &points, &runs);
    model_calls += runs;
    const std::vector<double> end = objectives_of(c_, false);
    std::fprintf(rec_, " Results of CT inversion run number %d --->\n\n", r);
    write_search_results(rec_, c_, samples_[size_t(start)], sample_objectives_[size_t(start)], end,
                         record_numbers::exponent);
    write_search_runs(rec_, "CT run", runs, model_calls);
    if (r > 1) {
      if (end[0] >= (1.0 - in_.f) * best)
        ++no_improvement;
      else
        no_improvement = 0;
    }
    if (r == 1 || end[0] < best) {
      best = end[0];
      best_run = r;
      best_point = current_point(c_);
    }
    if (no_improvement == in_.k_limit) break;
  }
  std::fputs("\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n", rec_);
  std::fprintf(rec_, "The global search process yielded a total objective function value of %lf\n", best);
  std::fprintf(rec_, "This value was obtained from inversion run number %d\n\n", best_run);
  // Each inversion rewrote the ".par" file with its own end; the search's answer is the best one.
  if (!best_point.empty()) rewrite_par(s_.files.par, c_, best_point);
}

}  // namespace

int trajectory_repulsion_main(int argc, char** argv) {
  if (argc < 2) return no_command_line_arguments();
  announce_global_mode("trajectory repulsion", "Trajectory repulsion");
  if (int status = check_toolbox_arguments(argc, argv, "-tr")) return status;
  toolbox_control c;
  toolbox_session s;
  session_guard session(c, s);
  if (int status = open_toolbox_session(argc, argv, c, s, ms2_prediction_lines)) return status;
  announce_seed_choice();
  trajectory_settings in;
  if (!read_trajectory_settings(c, in)) return 1;
  c.seed_mode = in.letter;
  mode_file seeds;
  std::vector<int32_t> stored_seeds;
  if (c.seed_mode == "Y") seeds.reset(std::fopen("RandomNumberSeeds.prn", "w"));
  else if (c.seed_mode == "N" && !read_stored_seeds(in.n, stored_seeds)) return 1;
  const mode_file rec(std::fopen("slm_vyn_ms2.rec", "w"));
  if (!rec || (c.seed_mode == "Y" && !seeds)) {
    std::printf("Error: cannot create the trajectory repulsion record files\n");
    return 1;
  }
  trajectory_search search(argc, argv, c, s, in, rec.get());
  search.sample(seeds.get(), stored_seeds);
  seeds.reset();
  search.invert();
  return 0;
}

}  // namespace pluvo
