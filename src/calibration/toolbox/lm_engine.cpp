// One local estimation: initial run (or restart), iterations of Jacobian and lambda trials, a
// final run with the best parameters, and the results.
#include "calibration/toolbox/lm_engine.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "calibration/toolbox/estimation_tests.hpp"
#include "calibration/toolbox/model_runs.hpp"
#include "calibration/toolbox/record_files.hpp"
#include "calibration/toolbox/upgrade.hpp"

namespace pluvo::toolbox {

namespace {

int adjustable_count(const toolbox_control& c) {
  int n = 0;
  for (int k = 1; k <= c.npar; ++k) n += is_adjustable(c.parameters[size_t(k)]);
  return n;
}

// Screen and record file alike.
void both(std::FILE* rec, const char* text) {
  std::fputs(text, stdout);
  if (rec) std::fputs(text, rec);
}

void final_lines(std::FILE* rec) {
  if (!rec) return;
  std::fputs("The model has been run one final time using best parameters.\n", rec);
  std::fputs("Thus all model input files contain best parameter values, and model\n", rec);
  std::fputs("output files contain model results based on these parameters.\n", rec);
}

}  // namespace

int slm_update_jacobian(const toolbox_control& c, matrix_cal& j, const matrix_cal& p,
                        const std::vector<int>& adj) {
  const int n = int(adj.size()) - 1;
  const int m = c.nobs + c.nprior;
  std::vector<double> s(size_t(n) + 1, 0.0), x_now(size_t(n) + 1, 0.0), x_prev(size_t(n) + 1, 0.0);
  double ss = 0.0;
  for (int k = 1; k <= n; ++k) {
    const toolbox_parameter& prm = c.parameters[size_t(adj[size_t(k)])];
    x_now[size_t(k)] = prm.value;
    x_prev[size_t(k)] = prm.previous_value;
    s[size_t(k)] = prm.value - prm.previous_value;
    ss += s[size_t(k)] * s[size_t(k)];
  }
  if (ss == 0.0) return 0;  // no step, nothing learnt about the slopes
  const std::vector<double> pi_now = prior_values_at(p, c, x_now);
  const std::vector<double> pi_prev = prior_values_at(p, c, x_prev);
  for (int i = 1; i <= m; ++i) {
    const double y = i <= c.nobs ? c.observations[size_t(i)].simulated[1] -
                                       c.observations[size_t(i)].simulated[0]
                                 : pi_now[size_t(i - c.nobs)] - pi_prev[size_t(i - c.nobs)];
    double js = 0.0;
    for (int k = 1; k <= n; ++k) js += j[i][k] * s[size_t(k)];
    const double d = (y - js) / ss;
    for (int k = 1; k <= n; ++k) j[i][k] += d * s[size_t(k)];
  }
  return 0;
}

void calc_covariance_matrix(const matrix_cal& best_j, const matrix_cal& q, double phi,
                            matrix_cal& covariance, const toolbox_control& c, int& singular) {
  const int n = adjustable_count(c);
  const bool with_prior = c.pestmode == "estimation" && c.nprior >= 1;
  const int rows = with_prior ? c.nobs + c.nprior : c.nobs;
  matrix_cal normal(1, n, 1, n), inverse(1, n, 1, n);
  for (int a = 1; a <= n; ++a)
    for (int b = 1; b <= n; ++b) {
      double sum = 0.0;
      for (int i = 1; i <= rows; ++i) sum += best_j[i][a] * q[i][i] * best_j[i][b];
      normal[a][b] = sum;
    }
  singular = 0;
  dminverse(normal, n, inverse, singular);
  int k = 0;
  for (int i = 1; i <= c.nobs; ++i) k += c.observations[size_t(i)].weight > 0.0;
  for (int j = 1; j <= c.nprior; ++j) k += c.prior[size_t(j)].weight > 0.0;
  // No degrees of freedom left: no covariance can be formed, as for a singular matrix.
  if (!singular && k - n <= 0) singular = 1;
  if (singular) return;
  covariance = matrix_cal(1, n, 1, n);
  for (int a = 1; a <= n; ++a)
    for (int b = 1; b <= n; ++b) covariance[a][b] = phi / double(k - n) * inverse[a][b];
}

void rewrite_par(std::FILE* par, const toolbox_control& c, const std::vector<double>& values) {
  if (!par) return;
  std::fflush(par);
  par = std::freopen(nullptr, "w", par);
  if (!par) return;
  for (int k = 1; k <= c.npar; ++k) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    const double v = values[size_t(k)];
    std::fprintf(par, "%lf\n", p.partrans == "log" ? std::pow(10.0, v) : v);
  }
  std::fflush(par);
}

void scale_by_diagonal(const matrix_cal& c2, matrix_cal& r, const toolbox_control& c) {
  const int n = adjustable_count(c);
  r = matrix_cal(1, n, 1, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      // An exact fit has no variance: its correlations are 0, never 0/0.
      const double scale = std::sqrt(c2[i][i] * c2[j][j]);
      r[i][j] = scale > 0.0 ? c2[i][j] / scale : 0.0;
    }
}

int near_previous_point(int m, const matrix_cal& trajectory, int, const toolbox_control& c,
                        int& terminate) {
  terminate = 0;
  for (int k = 1; k <= m; ++k) {
    double sum = 0.0;
    for (int q = 1; q <= c.npar; ++q) {
      const toolbox_parameter& p = c.parameters[size_t(q)];
      const double d = (p.value - trajectory[q][k]) / (p.upper - p.lower);
      sum += d * d;
    }
    const double d = std::sqrt(sum);
    if (d > 1e-10 && d < c.repulsion_distance) {
      terminate = 1;
      return 0;
    }
  }
  return 0;
}

int lm_optimise_tr(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                   toolbox_files& files, toolbox_file_handles& templates,
                   toolbox_file_handles& instructions, matrix_cal& trajectory, int* count,
                   int* runs) {
  local_search_store store;
  store.trajectory = &trajectory;
  store.count = count;
  store.capacity = trajectory.cols();
  store.runs = runs;
  return lm_optimise(argc, argv, c, names, files, templates, instructions, &store);
}

int lm_optimise_mlsl(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                     toolbox_files& files, toolbox_file_handles& templates,
                     toolbox_file_handles& instructions, matrix_cal& trajectory,
                     matrix_cal& trajectory_objective, int* count, int* runs) {
  local_search_store store;
  store.trajectory = &trajectory;
  store.objectives = &trajectory_objective;
  store.count = count;
  store.capacity = trajectory.cols();
  store.runs = runs;
  store.mlsl = true;
  return lm_optimise(argc, argv, c, names, files, templates, instructions, &store);
}

namespace {

// One local estimation, its steps as member functions over the state they share.
class lm_search {
 public:
  lm_search(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names, toolbox_files& files,
            toolbox_file_handles& templates, toolbox_file_handles& instructions, local_search_store* store)
      : argv_(argv), c_(c), names_(names), files_(files), templates_(templates), instructions_(instructions),
        store_(store), rec_(files.rec), m_(c.nobs + c.nprior), adj_(adjustable_list(c)), n_(int(adj_.size()) - 1),
        restart_(argc >= 4 && argv[3] && std::strcmp(argv[3], "/r") == 0),
        j_(1, m_, 1, n_), best_j_(1, m_, 1, n_), q_(1, m_, 1, m_), p_(1, c.nprior, 1, n_),
        x0_(size_t(n_) + 1, 0.0), u_(size_t(n_) + 1, 0.0), numlam_(c.numlam >= 1 ? c.numlam : 1),
        trial_phi_(size_t(numlam_) + 2, 0.0), trial_lambda_(size_t(numlam_) + 2, 0.0),
        trial_u_(size_t(numlam_) + 2), trial_sim_(size_t(numlam_) + 2), iter_best_sim_(size_t(c.nobs) + 1, 0.0),
        best_sim_(size_t(c.nobs) + 1, 0.0), best_values_(size_t(c.npar) + 1, 0.0),
        history_(size_t(c.noptmax >= 1 ? c.noptmax : 0) + 2, 0.0), points_at_entry_(store ? *store->count : 0) {}
  // A global mode learns how many runs this search made, whichever way it ends.
  ~lm_search() {
    if (store_ && store_->runs) *store_->runs = model_calls_;
  }
  lm_search(const lm_search&) = delete;
  lm_search& operator=(const lm_search&) = delete;

  int run();

 private:
  enum class ending { results, after_limits, after_test };
  // What the lambda trials of one iteration leave for their end.
  struct trials_outcome {
    double lambda_start = 0.0;
    int trials = 0;
    int keep = -1;            // the trial to keep, -1 when none was accepted
    bool unaccepted = false;  // every parameter at a limit, or the trials ran out
  };

  static std::vector<int> adjustable_list(const toolbox_control& c) {
    std::vector<int> adj(1, 0);
    list_adjustable_parameters(c, adj);
    return adj;
  }

  void prepare();
  int first_run();
  void load_restart();
  void reset_bounds();
  void track_objective();
  bool termination_reached();
  int sensitivity_step();
  int lambda_trials(trials_outcome& t);
  void end_trials(const trials_outcome& t);
  void measure_change();
  void write_restart();
  int iterate(ending& end);
  void final_run(ending end);
  void write_results();

  // The objective function of a slot, prior part included.
  double evaluate(int slot) {
    double measured = 0.0, prior = 0.0;
    calc_phi(c_, slot, measured);
    if (c_.nprior >= 1) calc_prior_values(c_, p_, prior);
    return measured + prior;
  }
  std::vector<double> slot_values(int slot) const {
    std::vector<double> v(size_t(c_.nobs) + 1, 0.0);
    for (int i = 1; i <= c_.nobs; ++i) v[size_t(i)] = c_.observations[size_t(i)].simulated[slot];
    return v;
  }
  void set_slot(int slot, const std::vector<double>& v) {
    for (int i = 1; i <= c_.nobs; ++i) c_.observations[size_t(i)].simulated[slot] = v[size_t(i)];
  }
  std::vector<double> stored_values() const {
    std::vector<double> v(size_t(c_.npar) + 1, 0.0);
    for (int k = 1; k <= c_.npar; ++k) v[size_t(k)] = c_.parameters[size_t(k)].value;
    return v;
  }
  void take_values(const std::vector<double>& v) {
    for (int k = 1; k <= c_.npar; ++k) c_.parameters[size_t(k)].value = v[size_t(k)];
  }
  void trial_lines(double lambda, double phi, double phi_start) {
    char line[160];
    std::snprintf(line, sizeof line, "\n\tLambda = %E ----->\n\trunning model ...\n", lambda);
    both(rec_, line);
    std::snprintf(line, sizeof line, "\tPhi =\t%E\t\t(%E of starting phi)\n", phi, phi / phi_start);
    both(rec_, line);
    both(rec_, "\n");
  }

  char** argv_;
  toolbox_control& c_;
  const toolbox_output_names& names_;
  toolbox_files& files_;
  toolbox_file_handles& templates_;
  toolbox_file_handles& instructions_;
  local_search_store* store_;
  std::FILE* rec_;
  const int m_;
  const std::vector<int> adj_;
  const int n_;
  const bool restart_;
  matrix_cal j_, best_j_, q_, p_;
  std::vector<double> x0_, u_;
  const int numlam_;  // at least one trial per iteration
  std::vector<double> trial_phi_, trial_lambda_;
  std::vector<std::vector<double>> trial_u_, trial_sim_;
  std::vector<double> iter_best_sim_, best_sim_, best_values_, history_;
  double phi_ = 0.0, phi_prev_ = 0.0, best_phi_ = 0.0, largest_change_ = 0.0, last_change_ = 0.0;
  double previous_lambda_ = 0.0;
  int iteration_ = 0, model_calls_ = 0, switched_ = 0, all_at_limits_ = 0, cyclic_position_ = 0;
  int small_changes_ = 0, best_iteration_ = 0, direction_ = 0, switch_available_ = 0;
  const int points_at_entry_;
};

// 1. The switch to three-point derivatives, the flags afresh, the prior rows of the sensitivity
// matrix and the weights.
void lm_search::prepare() {
  for (int a = 1; a <= n_; ++a) {
    const toolbox_parameter& prm = c_.parameters[size_t(adj_[size_t(a)])];
    for (int g = 1; g <= c_.npargp; ++g) {
      if (c_.groups[size_t(g)].name != prm.group) continue;
      if (c_.groups[size_t(g)].forcen == "switch") switch_available_ = 1;
      break;
    }
  }
  c_.no_effect_count = 0;
  for (int k = 1; k <= c_.npar; ++k) {
    toolbox_parameter& prm = c_.parameters[size_t(k)];
    prm.at_upper = prm.at_lower = prm.frozen = prm.no_effect = 0;
    prm.sensitivity = 0.0;
    best_values_[size_t(k)] = prm.value;
  }
  for (int pj = 1; pj <= c_.nprior; ++pj) {
    const toolbox_prior_item& item = c_.prior[size_t(pj)];
    for (int t = 1; t <= item.term_count && t < int(item.term_names.size()); ++t)
      for (int a = 1; a <= n_; ++a)
        if (c_.parameters[size_t(adj_[size_t(a)])].name == item.term_names[size_t(t)]) {
          j_[c_.nobs + pj][a] = best_j_[c_.nobs + pj][a] = p_[pj][a] = item.coefficients[size_t(t)];
          break;
        }
  }
  for (int i = 1; i <= c_.nobs; ++i)
    q_[i][i] = c_.observations[size_t(i)].weight * c_.observations[size_t(i)].weight;
  for (int pj = 1; pj <= c_.nprior; ++pj)
    q_[c_.nobs + pj][c_.nobs + pj] = c_.prior[size_t(pj)].weight * c_.prior[size_t(pj)].weight;
}

// 2. The run at the starting values, unless the search restarts.
int lm_search::first_run() {
  const int status = run_toolbox_model(c_, value_field::stored, 0, names_, instructions_, argv_, model_calls_);
  if (status) return status;
  double measured = 0.0, prior = 0.0;
  calc_phi(c_, 0, measured);
  if (c_.nprior >= 1) calc_prior_values(c_, p_, prior);
  phi_ = measured + prior;
  print_run_record(names_, measured, prior, phi_, c_);
  write_initial_record(rec_, files_.par, measured, prior, phi_, c_);
  iteration_ = 1;
  if (c_.noptmax >= 1) history_[1] = phi_;
  if (store_ && store_->objectives && c_.noptmax > 0 && *store_->count >= 1)
    (*store_->objectives)[1][*store_->count] = phi_;
  best_phi_ = phi_;
  best_sim_ = slot_values(0);
  return 0;
}

// 3. A restart takes the state the restart file kept.
void lm_search::load_restart() {
  restart_state s;
  read_restart_file(s, c_, names_);
  j_ = s.jacobian;
  best_j_ = s.jacobian_2;
  iteration_ = s.iteration;
  phi_ = s.phi;
  phi_prev_ = s.previous_phi;
  if (history_.size() < size_t(iteration_) + 2) history_.resize(size_t(iteration_) + 2, 0.0);
  for (int k = 1; k <= iteration_ && k < int(s.iteration_phi.size()); ++k)
    history_[size_t(k)] = s.iteration_phi[size_t(k)];
  best_values_ = s.best_parameters;
  best_sim_ = s.best_simulated;
  best_phi_ = s.lowest_phi;
  best_iteration_ = s.lowest_reference;
  switched_ = s.three_point;
  largest_change_ = s.largest_relative_change;
  small_changes_ = s.small_change_count;
  last_change_ = s.last_relative_change;
  x0_ = s.start_values;
  model_calls_ = s.model_calls;
  cyclic_position_ = s.cyclic_position;
  if (rec_) std::fprintf(rec_, "\n\n%29s.....RESTART.....\n\n", "");
}

// 4. Bounds and flags afresh.
void lm_search::reset_bounds() {
  c_.frozen_count = 0;
  c_.no_effect_count = 0;
  for (int k = 1; k <= c_.npar; ++k) {
    toolbox_parameter& prm = c_.parameters[size_t(k)];
    prm.no_effect = 0;
    if (std::fabs(prm.value - prm.upper) < 1e-8) prm.value = prm.upper;
    if (std::fabs(prm.value - prm.lower) < 1e-8) prm.value = prm.lower;
    prm.at_upper = prm.value >= prm.upper;
    prm.at_lower = prm.lower >= prm.value;
    prm.frozen = 0;
  }
}

// 5. The ratio to the previous iteration, a new best, and the switch to three-point derivatives
// when the objective function stalls; the iteration's start point kept.
void lm_search::track_objective() {
  c_.phi_ratio = phi_prev_ == 0.0 ? std::numeric_limits<double>::infinity() : phi_ / phi_prev_;
  phi_prev_ = phi_;
  if (c_.noptmax > 0) {
    if (history_.size() < size_t(iteration_) + 2) history_.resize(size_t(iteration_) + 2, 0.0);
    history_[size_t(iteration_)] = phi_;
  }
  if (phi_ < best_phi_) {
    best_phi_ = phi_;
    best_iteration_ = iteration_ - 1;
    best_values_ = stored_values();
    best_sim_ = slot_values(1);
    rewrite_par(files_.par, c_, best_values_);
    best_j_ = j_;
  }
  if (!switched_ && switch_available_ && iteration_ > 1 &&
      c_.phiredswh >= (history_[size_t(iteration_ - 1)] - history_[size_t(iteration_)]) /
                          history_[size_t(iteration_ - 1)])
    switched_ = 1;
  if (iteration_ > 1) set_slot(0, slot_values(1));
  for (int k = 1; k <= c_.npar; ++k) c_.parameters[size_t(k)].previous_value = c_.parameters[size_t(k)].value;
  for (int a = 1; a <= n_; ++a) x0_[size_t(a)] = c_.parameters[size_t(adj_[size_t(a)])].value;
}

// 6. Termination tests; a global mode's search also stores its iterate and ends near a point
// stored before it began.
bool lm_search::termination_reached() {
  if (store_ && iteration_ >= 2) {
    // A search with no column left for its iterate ends as a repelled one does.
    if (*store_->count >= store_->capacity) return true;
    const int col = ++*store_->count;
    for (int k = 1; k <= c_.npar; ++k) (*store_->trajectory)[k][col] = c_.parameters[size_t(k)].value;
    if (store_->objectives) (*store_->objectives)[1][col] = phi_;
  }
  int stop = 0;
  check_termination(rec_, iteration_, best_iteration_, small_changes_, history_, best_phi_, phi_, c_, stop,
                    model_calls_);
  if (!stop && store_ && iteration_ >= 2) near_previous_point(points_at_entry_, *store_->trajectory, *store_->count, c_, stop);
  return stop != 0;
}

// 7. The sensitivity matrix of the iteration, its sensitivities and, for a lone search, jac.txt.
int lm_search::sensitivity_step() {
  print_iteration_header(c_, iteration_, model_calls_, phi_, 0.0, phi_);
  write_iteration_header(c_, rec_, iteration_, model_calls_, phi_, 0.0, phi_);
  const int status = calc_jacobian(c_, adj_, names_, j_, model_calls_, switched_, templates_, instructions_,
                                   iteration_, cyclic_position_, argv_);
  if (iteration_ == 1) best_j_ = j_;
  check_parameter_effect(c_, j_, p_, rec_);
  write_sensitivities(c_, j_, j_, names_, iteration_, files_.sen, 0);
  if (std::FILE* jac = store_ ? nullptr : std::fopen("jac.txt", "w")) {
    if (status == 0) {
      for (int i = 1; i <= m_; ++i) {
        for (int a = 1; a <= n_; ++a) std::fprintf(jac, "%lf\t", j_[i][a]);
        std::fputs("\n", jac);
      }
    }
    std::fclose(jac);
  }
  return status;
}

// 8. Lambda trials: upgrade vectors tried until one is accepted, every parameter sits at a limit,
// or the trials run out.
int lm_search::lambda_trials(trials_outcome& t) {
  t.lambda_start = c_.rlambda1;
  double iter_best_phi = phi_;
  iter_best_sim_ = slot_values(0);
  const double phi_start = phi_;
  for (;;) {
    if (c_.no_effect_count == 0) {
      calc_upgrade_vector(j_, p_, q_, c_, u_);
      optimal_upgrade_length_all(j_, p_, q_, c_, u_);
    }
    upgrade_parameters(j_, p_, q_, c_, u_, adj_, rec_);
    if (c_.frozen_count + c_.no_effect_count == n_) {
      all_at_limits_ = 1;
      t.unaccepted = true;
      return 0;
    }
    char line[160];
    std::snprintf(line, sizeof line, "\n\tLambda = %E ----->\n\trunning model ...\n", c_.rlambda1);
    both(rec_, line);
    const int status = run_toolbox_model(c_, value_field::stored, 1, names_, instructions_, argv_, model_calls_);
    double trial = phi_;
    if (status == 0) {
      trial = evaluate(1);
      if (c_.method == 1 && iteration_ >= 2 &&
          (c_.full_update == 0 || (c_.full_update == 1 && c_.phi_ratio < c_.full_update_threshold)))
        slm_update_jacobian(c_, j_, p_, adj_);
      ++t.trials;
      trial_phi_[size_t(t.trials)] = trial;
      trial_lambda_[size_t(t.trials)] = c_.rlambda1;
      trial_u_[size_t(t.trials)] = u_;
      trial_sim_[size_t(t.trials)] = slot_values(1);
      if (trial < iter_best_phi) {
        iter_best_phi = trial;
        iter_best_sim_ = slot_values(1);
      }
    }
    std::snprintf(line, sizeof line, "\tPhi =\t%E\t\t(%E of starting phi)\n", trial, trial / phi_start);
    std::fputs(line, stdout);
    std::fputs("\n", stdout);
    if (rec_) {
      std::fputs(line, rec_);
      std::fputs("\n", rec_);
    }
    if (status) {
      // The remaining trials print their lines and run nothing.
      for (int k = t.trials + 2; k <= numlam_; ++k) trial_lines(c_.rlambda1, phi_, phi_start);
      return status;
    }
    phi_ = trial;
    check_lambda_termination(rec_, phi_prev_, t.trials, trial_phi_, c_, t.keep);
    if (t.keep >= 0) return 0;
    for (int a = 1; a <= n_; ++a) {
      toolbox_parameter& prm = c_.parameters[size_t(adj_[size_t(a)])];
      prm.value -= u_[size_t(a)];
      if (prm.value < prm.upper) prm.at_upper = 0;
      if (prm.value > prm.lower) prm.at_lower = 0;
    }
    follow_parents(c_);
    adjust_lambda(t.lambda_start, previous_lambda_, direction_, phi_, trial_phi_, t.trials, c_);
    if (t.trials >= numlam_) {
      t.unaccepted = true;
      return 0;
    }
  }
}

// 9. The end of the accepted trials: the values to go on from, and the lambda of the next
// iteration.
void lm_search::end_trials(const trials_outcome& t) {
  const int b = t.keep;
  const double phi_b = b >= 1 ? trial_phi_[size_t(b)] : phi_prev_;
  if (b >= 1 && iteration_ == 1 && phi_b > phi_prev_ && switch_available_ && !switched_) {
    // The first iteration failed with two-point derivatives: it is taken again with three.
    switched_ = 1;
    c_.rlambda1 = trial_lambda_[1];
    set_slot(1, iter_best_sim_);
    evaluate(1);
    phi_ = phi_prev_;
    for (int a = 1; a <= n_; ++a) c_.parameters[size_t(adj_[size_t(a)])].value = x0_[size_t(a)];
    follow_parents(c_);
  } else {
    if (b >= 1 && !switched_ && switch_available_ && iteration_ > 1 && phi_b > phi_prev_) {
      take_values(best_values_);
      set_slot(1, best_sim_);
    } else {
      // A trial to keep; none when every trial failed, and then the starting point.
      for (int a = 1; a <= n_; ++a)
        c_.parameters[size_t(adj_[size_t(a)])].value = x0_[size_t(a)] + (b >= 1 ? trial_u_[size_t(b)][size_t(a)] : 0.0);
      follow_parents(c_);
      set_slot(1, b >= 1 && phi_b > phi_prev_ ? trial_sim_[size_t(b)] : iter_best_sim_);
    }
    phi_ = evaluate(1);
    if (direction_ && b >= 1)
      c_.rlambda1 = trial_lambda_[size_t(b)];
    else if (!direction_)
      adjust_lambda(t.lambda_start, previous_lambda_, direction_, phi_, trial_phi_, t.trials, c_);
  }
  direction_ = 0;
  if (!rec_) return;
  std::fputs("      Current parameter values                 Previous parameter values\n", rec_);
  for (int k = 1; k <= c_.npar; ++k) {
    const toolbox_parameter& prm = c_.parameters[size_t(k)];
    const double prev = prm.partrans == "log" ? std::pow(10.0, prm.previous_value) : prm.previous_value;
    std::fprintf(rec_, "      %s             %10lf                %s               %lf\n", prm.name.c_str(),
                 untransformed(prm), prm.name.c_str(), prev);
  }
  std::fputs("\n", rec_);
}

// 10. The next iteration, and the relative parameter change of this one.
void lm_search::measure_change() {
  ++iteration_;
  largest_change_ = 0.0;
  for (int a = 1; a <= n_; ++a) {
    const toolbox_parameter& prm = c_.parameters[size_t(adj_[size_t(a)])];
    // The multi-level search measures the change on the stored values, logarithms included.
    const bool lg = prm.partrans == "log" && !(store_ && store_->mlsl);
    const double from = lg ? std::pow(10.0, x0_[size_t(a)]) : x0_[size_t(a)];
    const double to = lg ? std::pow(10.0, prm.value) : prm.value;
    last_change_ = from != 0.0 ? std::fabs((from - to) / from)
                               : (to == 0.0 ? 0.0 : std::numeric_limits<double>::infinity());
    if (last_change_ > largest_change_) largest_change_ = last_change_;
  }
  if (c_.relparstp > largest_change_)
    ++small_changes_;
  else
    small_changes_ = 0;
}

// 11. The restart file of the iteration.
void lm_search::write_restart() {
  restart_state s;
  s.jacobian = j_;
  s.jacobian_2 = best_j_;
  s.iteration = iteration_;
  s.phi = phi_;
  s.previous_phi = phi_prev_;
  s.iteration_phi = history_;
  s.iteration_phi.resize(std::max(history_.size(), size_t(iteration_) + 1), 0.0);
  s.best_parameters = best_values_;
  s.best_simulated = best_sim_;
  s.lowest_phi = best_phi_;
  s.lowest_reference = best_iteration_;
  s.three_point = switched_;
  s.largest_relative_change = largest_change_;
  s.small_change_count = small_changes_;
  s.last_relative_change = last_change_;
  s.start_values = x0_;
  s.model_calls = model_calls_;
  s.cyclic_position = cyclic_position_;
  write_restart_file(s, c_, names_);
}

// The iterations; 0, or the status of a step that failed.
int lm_search::iterate(ending& end) {
  if (restart_ && iteration_ == 0) load_restart();
  for (;;) {
    reset_bounds();
    track_objective();
    if (c_.noptmax != -1 && termination_reached()) {
      end = ending::after_test;
      return 0;
    }
    if (const int status = sensitivity_step()) return status;
    if (c_.noptmax != -1) {
      trials_outcome t;
      if (const int status = lambda_trials(t)) return status;
      if (!t.unaccepted) end_trials(t);
    }
    measure_change();
    if (c_.rstfle == "restart" && c_.noptmax >= 1) write_restart();
    if (c_.noptmax == -1) {
      best_j_ = j_;
      return 0;
    }
    if (iteration_ > c_.noptmax || all_at_limits_) {
      end = ending::after_limits;
      return 0;
    }
  }
}

// 12. The model run one last time with the best parameters, so that its files hold them.
void lm_search::final_run(ending end) {
  if (end == ending::after_limits) {
    if (phi_ < best_phi_) {
      best_phi_ = phi_;
      best_values_ = stored_values();
      best_j_ = j_;
    }
    std::remove(names_.rst.c_str());
    std::printf("\nRunning model one last time with best parameters...\n\n\n");
    if (!all_at_limits_ && rec_) {
      std::fputs("Optimization complete: Maximum number of optimization iterations completed.\n", rec_);
      std::fprintf(rec_, "Total Model Calls:\t%d\n", model_calls_);
      std::fputs("\n", rec_);
      final_lines(rec_);
      std::fputs("\n\n", rec_);
    }
    rewrite_par(files_.par, c_, best_values_);
    take_values(best_values_);
    run_toolbox_model(c_, value_field::stored, 0, names_, instructions_, argv_, model_calls_, true);
    phi_ = evaluate(0);
    if (all_at_limits_) {
      std::printf("Optimisation complete: all parameters at their limits.\n");
      std::printf("Total Model Calls:\t%d\n", model_calls_);
      if (rec_) {
        std::fputs("Optimisation complete: all parameters at their limits.\n", rec_);
        std::fprintf(rec_, "Total Model Calls:\t%d\n", model_calls_);
        std::fputs("\n", rec_);
        final_lines(rec_);
        std::fputs("\n\n", rec_);
      }
    }
  } else if (end == ending::after_test) {
    std::remove(names_.rst.c_str());
    take_values(best_values_);
    std::printf("\nRunning model one last time with best parameters...\n\n\n");
    if (rec_) {
      std::fputs("\n", rec_);
      final_lines(rec_);
      std::fputs("\n\n", rec_);
    }
    rewrite_par(files_.par, c_, best_values_);
    run_toolbox_model(c_, value_field::stored, 0, names_, instructions_, argv_, model_calls_, true);
    ++model_calls_;
    phi_ = evaluate(0);
  }
}

// 13. Covariance, correlation and eigen analysis of the best sensitivities, and the results.
void lm_search::write_results() {
  matrix_cal cov(1, n_, 1, n_), c2, r(1, n_, 1, n_), e(1, n_, 1, n_);
  std::vector<double> eigen(size_t(n_) + 1, 0.0);
  int singular = 0;
  if (c_.noptmax != 0) {
    write_sensitivities(c_, best_j_, best_j_, names_, iteration_, files_.sen, 1);
    calc_covariance_matrix(best_j_, q_, phi_, cov, c_, singular);
    c2 = cov;
    if (!singular) {
      scale_by_diagonal(c2, r, c_);
      int rotations = 0;
      jacobi(c2, n_, eigen, e, rotations);
      eigsrt(eigen, e, n_);
    }
  }
  write_optimisation_results(rec_, phi_, cov, r, e, eigen, c_, c_.noptmax == 0 ? 0 : singular, p_);
}

int lm_search::run() {
  prepare();
  if (!restart_)
    if (const int status = first_run()) return status;
  ending end = ending::results;
  if (c_.noptmax != 0)
    if (const int status = iterate(end)) return status;
  final_run(end);
  write_results();
  return 0;
}

}  // namespace

int lm_optimise(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                toolbox_files& files, toolbox_file_handles& templates,
                toolbox_file_handles& instructions, local_search_store* store) {
  lm_search search(argc, argv, c, names, files, templates, instructions, store);
  return search.run();
}

}  // namespace pluvo::toolbox
