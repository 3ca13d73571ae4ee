// Multi-level single linkage (-mlsl): samples drawn iteration after iteration, a local search
// from every good sample with no better one nearby, and a Bayesian estimate of when every
// minimum has been found.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
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

// mlsl.in: N, gamma, sigma, D, the seed mode, the seed, the four maxima and f, checked before
// anything is sized by them. False, with a message.
bool read_mlsl_settings(const toolbox_control& c, mlsl_settings& in) {
  std::FILE* f = std::fopen("mlsl.in", "r");
  const bool head = f && std::fscanf(f, "%d %lf %lf %lf", &in.n, &in.gamma, &in.sigma, &in.d) == 4;
  announce_seed_choice();
  const bool rest = head && std::fscanf(f, "%15s %u %d %d %d %d %lf", in.letter, &in.seed, &in.max_iterations,
                                        &in.max_searches, &in.max_search_no_gain, &in.max_iteration_no_gain,
                                        &in.f) == 7;
  if (f) std::fclose(f);
  if (!rest) {
    std::printf("Error: mlsl.in must hold N, gamma, sigma, D, the seed mode, the seed, the four "
                "maxima and f\n");
    return false;
  }
  // The tables and the reduced sample are sized by these.
  if (!(in.gamma > 0.0 && in.gamma <= 1.0) || in.n < 1 || in.max_iterations < 1 || in.max_searches < 1) {
    std::printf("Error: mlsl.in: gamma must lie in (0, 1] and N and the maximum numbers of "
                "iterations and local searches must be at least 1 (gamma %lf, N %d, iterations %d, "
                "local searches %d)\n",
                in.gamma, in.n, in.max_iterations, in.max_searches);
    return false;
  }
  const bool fits =
      count_in_range("mlsl.in", "the sample size N", in.n, 1, global_count_limit) &&
      count_in_range("mlsl.in", "the maximum number of iterations", in.max_iterations, 1, global_count_limit) &&
      count_in_range("mlsl.in", "the maximum number of local searches", in.max_searches, 1, global_count_limit) &&
      trajectory_fits(c, in.max_searches, "mlsl.in");
  const bool finite = std::isfinite(in.sigma) && std::isfinite(in.d) && std::isfinite(in.f);
  if (!finite)
    std::printf("Error: mlsl.in: sigma, D and f must be finite numbers (sigma %lf, D %lf, f %lf)\n", in.sigma, in.d,
                in.f);
  return fits && finite;
}

// Why the search stopped, in the numbering of its closing lines.
enum mlsl_stop { go_on = 0, searches_without_gain = 1, search_limit = 2, bayesian = 3, iteration_limit = 4,
                 iterations_without_gain = 5 };

// The multi-level single linkage search over its iterations; the state its steps share.
class mlsl_search {
 public:
  mlsl_search(int argc, char** argv, toolbox_control& c, toolbox_session& s, const mlsl_settings& in,
              std::FILE* rec, mode_file seeds, std::vector<int32_t> stored_seeds)
      : argc_(argc), argv_(argv), c_(c), s_(s), in_(in), rec_(rec), seeds_(std::move(seeds)),
        stored_seeds_(std::move(stored_seeds)), lambda_(c.rlambda1),
        capacity_((std::max(c.noptmax, 0) + 1) * in.max_searches), trajectory_(1, c.npar, 1, capacity_),
        trajectory_objective_(1, 1, 1, capacity_), generator_{in.seed} {}

  // 0, or 1 when the stored seeds ran out.
  int run();

 private:
  void control_information();
  bool sample(int k);
  int walk_reduced_sample(int k, const std::vector<int>& sorted, int reduced, double r);
  bool search_is_skipped(int i, const std::vector<int>& sorted, int reduced, double r);
  void local_search_from(int k, int si, int first_point);
  int stop_reason(int k, int total, int walk_reason);
  void global_results(int reason);
  void adjustable_names();
  void values_of(const std::vector<double>& v);
  void trajectory_line(int t);

  int argc_;
  char** argv_;
  toolbox_control& c_;
  toolbox_session& s_;
  const mlsl_settings& in_;
  std::FILE* rec_;
  mode_file seeds_;  // written in mode "Y"
  const std::vector<int32_t> stored_seeds_;
  const double lambda_;
  const int capacity_;
  matrix_cal trajectory_, trajectory_objective_;
  int points_ = 0;
  std::vector<std::vector<double>> samples_{1}, sample_objectives_{1}, ends_{1}, starts_{1};
  std::vector<double> sort_key_ = std::vector<double>(1, 0.0), end_objective_ = std::vector<double>(1, 0.0);
  sample_seed_generator generator_;
  int k_ = 0, searches_ = 0, minima_ = 0, model_calls_ = 0, search_no_gain_ = 0, iteration_no_gain_ = 0;
  double best_ = failed_objective, reference_ = failed_objective, iteration_best_ = 1e300;
  int best_search_ = 0;
};

void mlsl_search::adjustable_names() {
  for (int q = 1; q <= c_.npar; ++q)
    if (is_adjustable(c_.parameters[size_t(q)])) std::fprintf(rec_, "%s\t", c_.parameters[size_t(q)].name.c_str());
}

void mlsl_search::values_of(const std::vector<double>& v) {
  for (int q = 1; q <= c_.npar; ++q) {
    const toolbox_parameter& p = c_.parameters[size_t(q)];
    if (is_adjustable(p)) std::fprintf(rec_, "%lf\t", shown(p, v[size_t(q)]));
  }
}

// A point the search visited, its objective function, and the groups' failed-value markers.
void mlsl_search::trajectory_line(int t) {
  for (int q = 1; q <= c_.npar; ++q) {
    const toolbox_parameter& p = c_.parameters[size_t(q)];
    if (is_adjustable(p)) std::fprintf(rec_, "%lf\t", shown(p, trajectory_[q][t]));
  }
  std::fprintf(rec_, "%lf\t", trajectory_objective_[1][t]);
  for (int g = 1; g <= c_.nobsgp; ++g) std::fprintf(rec_, "%lf\t", failed_objective);
  std::fputs("\n", rec_);
}

void mlsl_search::control_information() {
  std::fputs("                        CT_MLSL CONTROL INFORMATION\n\n", rec_);
  std::fprintf(rec_, "Input unsigned long random seed                             : %u\n", in_.seed);
  std::fprintf(rec_, "Uniform random sample size at step k                        : %d\n", in_.n);
  std::fprintf(rec_, "Value for reduction of the sample                           : %lf\n", in_.gamma);
  std::fprintf(rec_, "Value for sigma                                             : %lf\n", in_.sigma);
  std::fprintf(rec_, "Maximum MLSL iterations to carry out                        : %d\n", in_.max_iterations);
  std::fprintf(rec_, "Maximum number of local search inversions to carry out      : %d\n", in_.max_searches);
  std::fprintf(rec_, "Maximum number of CT runs with no objective function improvement    : %d\n",
               in_.max_search_no_gain);
  std::fprintf(rec_, "Maximum number of MLSL iterations with no objective function improvement    : %d\n",
               in_.max_iteration_no_gain);
  std::fprintf(rec_, "Improvement fraction judged to be negligible                : %lf\n", in_.f);
  std::fprintf(rec_, "Name of existing control file : %s\n\n", s_.names.case_name.c_str());
}

// The sampling phase of iteration k: N new samples, each evaluated once. False, with a message,
// when the stored seeds run out.
bool mlsl_search::sample(int k) {
  const int noptmax = c_.noptmax;
  c_.noptmax = 0;
  std::fprintf(rec_, "\nSampling Phase: Iteration %d\n\n", k);
  adjustable_names();
  std::fputs("Total\t", rec_);
  for (int g = 1; g <= c_.nobsgp; ++g) std::fprintf(rec_, "%s\t", c_.observation_groups[size_t(g)].name.c_str());
  std::fputs("\n", rec_);
  for (int i = 1; i <= in_.n; ++i) {
    int32_t sample_seed = generator_.next();
    if (c_.seed_mode == "Y") std::fprintf(seeds_.get(), "%d\n", sample_seed);
    if (c_.seed_mode == "N") {
      if (samples_.size() > stored_seeds_.size()) {
        std::printf("Error: RandomNumberSeeds.prn holds %d seeds; sample %d needs one more\n",
                    int(stored_seeds_.size()), int(samples_.size()));
        return false;
      }
      sample_seed = stored_seeds_[samples_.size() - 1];
    }
    long draw = sample_seed;
    random_parameter_vector(c_, draw);
    follow_parents(c_);
    samples_.push_back(current_point(c_));
    const bool ok = lm_optimise(argc_, argv_, c_, s_.names, s_.files, s_.templates, s_.instructions) == 0;
    sample_objectives_.push_back(objectives_of(c_, !ok));
    // A failed sample sorts last and never starts a search.
    sort_key_.push_back(ok ? sample_objectives_.back()[0] : 1e300);
    values_of(samples_.back());
    for (double v : sample_objectives_.back()) std::fprintf(rec_, "%lf\t", v);
    std::fputs("\n", rec_);
  }
  std::fputs("\n", rec_);
  model_calls_ += in_.n;
  c_.noptmax = noptmax;
  return true;
}

// True, with its record line, when no local search starts from vector i of the reduced sample:
// a better vector of the sample, or an earlier search's end or start, lies near it.
bool mlsl_search::search_is_skipped(int i, const std::vector<int>& sorted, int reduced, double r) {
  const int si = sorted[size_t(i)];
  const std::vector<double>& x = samples_[size_t(si)];
  const double phi = sort_key_[size_t(si)];
  bool matched = false;
  for (int j = 1; j <= reduced; ++j) {
    const int sj = sorted[size_t(j)];
    if (j == i || !(distance(x, samples_[size_t(sj)]) <= r && sort_key_[size_t(sj)] < phi)) continue;
    std::fprintf(rec_, "No LS for vector %d of the reduced sample. It is within an alpha distance of the "
                       "vector %d with a lower obj. function value\n", i, j);
    matched = true;
  }
  if (!matched && minima_ >= 1) {
    bool near = false;
    for (size_t e = 1; e < ends_.size(); ++e) {
      if (!(distance(x, ends_[e]) <= r && end_objective_[e] < phi)) continue;
      std::fprintf(rec_, "No LS for vector %d of the reduced sample. It is within an alpha distance of "
                         "a previous LS end point\n", i);
      near = true;
    }
    if (!near)
      for (size_t e = 1; e < ends_.size(); ++e) {
        if (!(distance(x, ends_[e]) < in_.d)) continue;
        std::fprintf(rec_, "No LS for vector %d of the reduced sample. It is within a distance %lf of a "
                           "previous LS end point\n", i, in_.d);
        near = true;
      }
    matched = near;
  }
  if (!matched && searches_ >= 1) {
    for (size_t e = 1; e < starts_.size(); ++e) {
      if (!(distance(x, starts_[e]) < 1e-08)) continue;
      std::fprintf(rec_, "No LS for vector %d of the reduced sample. It is too close to a previous LS "
                         "start point\n", i);
      matched = true;
    }
  }
  return matched;
}

// One local search from sample si in iteration k, its record block, and the best so far.
void mlsl_search::local_search_from(int k, int si, int first_point) {
  const std::vector<double>& x = samples_[size_t(si)];
  int runs = 0;
  lm_optimise_mlsl(argc_, argv_, c_, s_.names, s_.files, s_.templates, s_.instructions, trajectory_,
                   trajectory_objective_, &points_, &runs);
  model_calls_ += runs;
  const std::vector<double> end = objectives_of(c_, false);
  const std::vector<double> here = current_point(c_);
  bool known = false;
  if (minima_ > 1)
    for (size_t e = 1; e < ends_.size() && !known; ++e) known = distance(here, ends_[e]) < 1e-6;
  if (known) {
    --minima_;
    std::fputs("\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n", rec_);
    std::fprintf(rec_, "\n Results of MLSL supervised local search which occured in step %d --->\n\n", k);
  } else {
    ends_.push_back(here);
    end_objective_.push_back(end[0]);
    std::fprintf(rec_, "\n Results of MLSL supervised local search %d which occured in step %d --->\n\n", minima_, k);
  }
  write_search_results(rec_, c_, x, sample_objectives_[size_t(si)], end, record_numbers::fixed);
  write_search_runs(rec_, "Local Search", runs, model_calls_);
  if (!known) {
    std::fprintf(rec_, "Upgrade vectors for Local Search %d which occured during step %d of MLSL\n\n", minima_, k);
    for (int t = first_point; t <= points_; ++t) trajectory_line(t);
    std::fputs("\n\n", rec_);
  }
  iteration_best_ = std::min(iteration_best_, end[0]);
  if (searches_ > 1) {
    if (end[0] >= (1.0 - in_.f) * best_)
      ++search_no_gain_;
    else
      search_no_gain_ = 0;
  }
  if (searches_ == 1 && best_ == failed_objective) {
    best_ = end[0];
    best_search_ = 1;
  } else if (searches_ > 1 && end[0] < best_) {
    best_ = end[0];
    best_search_ = searches_;
  }
}

// The local searches of iteration k over the reduced sample, until the searches without gain or
// the searches allowed run out; gives that reason, or 0.
int mlsl_search::walk_reduced_sample(int k, const std::vector<int>& sorted, int reduced, double r) {
  int walk_reason = go_on;
  for (int i = 1; i <= reduced && walk_reason == go_on; ++i) {
    const int si = sorted[size_t(i)];
    if (search_is_skipped(i, sorted, reduced, r)) continue;
    const std::vector<double>& x = samples_[size_t(si)];
    std::fprintf(rec_, "\nA LS will be performed from vector %d of the reduced sample in iteration %d\n", i, k);
    ++searches_;
    ++minima_;
    c_.rlambda1 = lambda_;
    for (int q = 1; q <= c_.npar; ++q) c_.parameters[size_t(q)].value = x[size_t(q)];
    starts_.push_back(x);
    if (points_ >= capacity_) break;
    const int first_point = ++points_;
    for (int q = 1; q <= c_.npar; ++q) trajectory_[q][points_] = x[size_t(q)];
    local_search_from(k, si, first_point);
    if (search_no_gain_ == in_.max_search_no_gain) walk_reason = searches_without_gain;
    else if (searches_ >= in_.max_searches) walk_reason = search_limit;
  }
  return walk_reason;
}

// The end of iteration k: the gain over the earlier iterations, and why the search stops, or 0.
int mlsl_search::stop_reason(int k, int total, int walk_reason) {
  if (k == 1) {
    if (searches_ >= 1 && reference_ == failed_objective) reference_ = best_;
  } else {
    if (iteration_best_ >= (1.0 - in_.f) * reference_)
      ++iteration_no_gain_;
    else
      iteration_no_gain_ = 0;
    if (iteration_best_ < reference_) reference_ = iteration_best_;
  }
  const double nk = total * in_.gamma;
  if (iteration_no_gain_ == in_.max_iteration_no_gain) return iterations_without_gain;
  if (k >= in_.max_iterations) return iteration_limit;
  if (nk > minima_ + 2 && (nk - 1.0) * minima_ / (nk - minima_ - 2.0) <= minima_ + 0.5) return bayesian;
  return walk_reason;
}

void mlsl_search::global_results(int reason) {
  std::fputs("\n\n\n\n                   RESULTS OF GLOBAL SEARCH PROCESS\n\n", rec_);
  std::fprintf(rec_, "Actual number of local searches performed is: %d\n", searches_);
  std::fprintf(rec_, "The number of local searches that yielded distinct local minima: %d\n", minima_);
  std::fprintf(rec_, "The number of MLSL iterations is: %d\n", k_);
  std::fprintf(rec_, "The global search process yielded a total objective function value of %lf\n", best_);
  std::fprintf(rec_, "This value was obtained from reported inversion run number %d\n\n", best_search_);
  std::fprintf(rec_, "Total model calls    = %d\n", model_calls_);
  switch (reason) {
    case searches_without_gain:
      std::fprintf(rec_, "Stopped because there have been %d actual local searches with no objective function "
                         "improvement.\n\n", search_no_gain_);
      break;
    case search_limit:
      std::fprintf(rec_, "Stopped because there have been %d local searches, the maximum set with input.\n\n",
                   searches_);
      break;
    case bayesian:
      std::fputs("Stopped because Bayesian stopping criteria were satisfied.\n\n", rec_);
      break;
    case iteration_limit:
      std::fprintf(rec_, "Stopped because the maximum MLSL iterations, %d, to carry out were carried out\n\n",
                   in_.max_iterations);
      break;
    default:
      std::fprintf(rec_, "Stopped because there have been %d MLSL iterations with no objective function "
                         "improvement.\n\n", iteration_no_gain_);
      break;
  }
}

int mlsl_search::run() {
  control_information();
  int reason = go_on;
  while (reason == go_on) {
    const int k = ++k_;
    if (!sample(k)) return 1;
    const int total = int(samples_.size()) - 1;
    std::vector<int> sorted(size_t(total) + 1, 0);
    indexx(total, sort_key_, sorted);
    const int reduced = int(total * in_.gamma);
    std::fprintf(rec_, "Reduced Sample Set: Iteration %d\n\n", k);
    adjustable_names();
    std::fputs("Total\t\n", rec_);
    for (int i = 1; i <= reduced; ++i) {
      values_of(samples_[size_t(sorted[size_t(i)])]);
      std::fprintf(rec_, "%lf\t\n", sample_objectives_[size_t(sorted[size_t(i)])][0]);
    }
    double r = 0.0;
    mlsl_critical_distance(c_, total, r);
    std::fprintf(rec_, "\n\nFor iteration %d, alpha equals %lf\n\n", k, r);
    iteration_best_ = 1e300;
    reason = stop_reason(k, total, walk_reduced_sample(k, sorted, reduced, r));
  }
  seeds_.reset();
  global_results(reason);
  return 0;
}

}  // namespace

int mlsl_main(int argc, char** argv) {
  if (argc < 2) return no_command_line_arguments();
  announce_global_mode("Multi Level Single Linkage (MLSL)", "MLSL");
  if (int status = check_toolbox_arguments(argc, argv, "-mlsl")) return status;
  toolbox_control c;
  toolbox_session s;
  session_guard session(c, s);
  if (int status = open_toolbox_session(argc, argv, c, s, ms2_prediction_lines)) return status;
  mlsl_settings in;
  if (!read_mlsl_settings(c, in)) return 1;
  c.mlsl_n = in.n;
  c.mlsl_gamma = in.gamma;
  c.mlsl_sigma = in.sigma;
  c.mlsl_d = in.d;
  c.seed_mode = in.letter;
  std::vector<int32_t> stored_seeds;
  mode_file seeds;
  if (c.seed_mode == "Y") {
    seeds.reset(std::fopen("RandomNumberSeeds.prn", "w"));
  } else if (c.seed_mode == "N") {
    const mode_file f(std::fopen("RandomNumberSeeds.prn", "r"));
    int32_t v = 0;
    while (f && std::fscanf(f.get(), "%d", &v) == 1) stored_seeds.push_back(v);
  }
  const mode_file rec(std::fopen("slm_vyn_mlsl.rec", "w"));
  if (!rec || (c.seed_mode == "Y" && !seeds)) {
    std::printf("Error: cannot create the MLSL record files\n");
    return 1;
  }
  mlsl_search search(argc, argv, c, s, in, rec.get(), std::move(seeds), std::move(stored_seeds));
  return search.run();
}

}  // namespace pluvo
