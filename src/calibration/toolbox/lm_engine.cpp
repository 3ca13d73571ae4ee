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

int lm_optimise(int argc, char** argv, toolbox_control& c, const toolbox_output_names& names,
                toolbox_files& files, toolbox_file_handles& templates,
                toolbox_file_handles& instructions, local_search_store* store) {
  std::FILE* rec = files.rec;
  const int m = c.nobs + c.nprior;
  std::vector<int> adj(1, 0);
  list_adjustable_parameters(c, adj);
  const int n = int(adj.size()) - 1;
  adj.resize(size_t(n) + 1);
  const bool restart = argc >= 4 && argv[3] && std::strcmp(argv[3], "/r") == 0;

  matrix_cal j(1, m, 1, n), best_j(1, m, 1, n), q(1, m, 1, m), p(1, c.nprior, 1, n);
  std::vector<double> x0(size_t(n) + 1, 0.0), u(size_t(n) + 1, 0.0);
  const int numlam = c.numlam >= 1 ? c.numlam : 1;  // at least one trial per iteration
  std::vector<double> trial_phi(size_t(numlam) + 2, 0.0), trial_lambda(size_t(numlam) + 2, 0.0);
  std::vector<std::vector<double>> trial_u(size_t(numlam) + 2), trial_sim(size_t(numlam) + 2);
  std::vector<double> iter_best_sim(size_t(c.nobs) + 1, 0.0), best_sim(size_t(c.nobs) + 1, 0.0);
  std::vector<double> best_values(size_t(c.npar) + 1, 0.0);
  std::vector<double> history(size_t(c.noptmax >= 1 ? c.noptmax : 0) + 2, 0.0);
  double phi = 0.0, phi_prev = 0.0, best_phi = 0.0, iter_best_phi = 0.0;
  double largest_change = 0.0, last_change = 0.0;
  int iteration = 0, model_calls = 0, switched = 0, all_at_limits = 0, cyclic_position = 0;
  int small_changes = 0, best_iteration = 0, direction = 0, status = 0;
  double previous_lambda = 0.0;
  // A global mode learns how many runs this search made, whichever way it ends.
  struct runs_on_exit {
    local_search_store* store;
    const int& calls;
    ~runs_on_exit() {
      if (store && store->runs) *store->runs = calls;
    }
  } report_runs{store, model_calls};
  const int points_at_entry = store ? *store->count : 0;

  int switch_available = 0;
  for (int a = 1; a <= n; ++a) {
    const toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
    for (int g = 1; g <= c.npargp; ++g) {
      if (c.groups[size_t(g)].name != prm.group) continue;
      if (c.groups[size_t(g)].forcen == "switch") switch_available = 1;
      break;
    }
  }
  c.no_effect_count = 0;
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& prm = c.parameters[size_t(k)];
    prm.at_upper = prm.at_lower = prm.frozen = prm.no_effect = 0;
    prm.sensitivity = 0.0;
    best_values[size_t(k)] = prm.value;
  }
  for (int pj = 1; pj <= c.nprior; ++pj) {
    const toolbox_prior_item& item = c.prior[size_t(pj)];
    for (int t = 1; t <= item.term_count && t < int(item.term_names.size()); ++t)
      for (int a = 1; a <= n; ++a)
        if (c.parameters[size_t(adj[size_t(a)])].name == item.term_names[size_t(t)]) {
          j[c.nobs + pj][a] = best_j[c.nobs + pj][a] = p[pj][a] = item.coefficients[size_t(t)];
          break;
        }
  }
  for (int i = 1; i <= c.nobs; ++i) q[i][i] = c.observations[size_t(i)].weight * c.observations[size_t(i)].weight;
  for (int pj = 1; pj <= c.nprior; ++pj) q[c.nobs + pj][c.nobs + pj] = c.prior[size_t(pj)].weight * c.prior[size_t(pj)].weight;

  // The objective function of a slot, prior part included.
  auto evaluate = [&](int slot) {
    double measured = 0.0, prior = 0.0;
    calc_phi(c, slot, measured);
    if (c.nprior >= 1) calc_prior_values(c, p, prior);
    return measured + prior;
  };
  auto slot_values = [&](int slot) {
    std::vector<double> v(size_t(c.nobs) + 1, 0.0);
    for (int i = 1; i <= c.nobs; ++i) v[size_t(i)] = c.observations[size_t(i)].simulated[slot];
    return v;
  };
  auto set_slot = [&](int slot, const std::vector<double>& v) {
    for (int i = 1; i <= c.nobs; ++i) c.observations[size_t(i)].simulated[slot] = v[size_t(i)];
  };
  auto stored_values = [&] {
    std::vector<double> v(size_t(c.npar) + 1, 0.0);
    for (int k = 1; k <= c.npar; ++k) v[size_t(k)] = c.parameters[size_t(k)].value;
    return v;
  };
  auto take_values = [&](const std::vector<double>& v) {
    for (int k = 1; k <= c.npar; ++k) c.parameters[size_t(k)].value = v[size_t(k)];
  };

  if (!restart) {
    status = run_toolbox_model(c, value_field::stored, 0, names, instructions, argv, model_calls);
    if (status) return status;
    double measured = 0.0, prior = 0.0;
    calc_phi(c, 0, measured);
    if (c.nprior >= 1) calc_prior_values(c, p, prior);
    phi = measured + prior;
    print_run_record(names, measured, prior, phi, c);
    write_initial_record(rec, files.par, measured, prior, phi, c);
    iteration = 1;
    if (c.noptmax >= 1) history[1] = phi;
    if (store && store->objectives && c.noptmax > 0 && *store->count >= 1)
      (*store->objectives)[1][*store->count] = phi;
    best_phi = phi;
    best_sim = slot_values(0);
  }

  enum class ending { results, after_limits, after_test };
  ending end = ending::results;
  if (c.noptmax != 0) {
    bool first_pass = true;
    for (;;) {
      if (first_pass && restart && iteration == 0) {
        restart_state s;
        read_restart_file(s, c, names);
        j = s.jacobian;
        best_j = s.jacobian_2;
        iteration = s.iteration;
        phi = s.phi;
        phi_prev = s.previous_phi;
        if (history.size() < size_t(iteration) + 2) history.resize(size_t(iteration) + 2, 0.0);
        for (int k = 1; k <= iteration && k < int(s.iteration_phi.size()); ++k)
          history[size_t(k)] = s.iteration_phi[size_t(k)];
        best_values = s.best_parameters;
        best_sim = s.best_simulated;
        best_phi = s.lowest_phi;
        best_iteration = s.lowest_reference;
        switched = s.three_point;
        largest_change = s.largest_relative_change;
        small_changes = s.small_change_count;
        last_change = s.last_relative_change;
        x0 = s.start_values;
        model_calls = s.model_calls;
        cyclic_position = s.cyclic_position;
        if (rec) std::fprintf(rec, "\n\n%29s.....RESTART.....\n\n", "");
      }
      first_pass = false;
      // 2. Bounds and flags afresh.
      c.frozen_count = 0;
      c.no_effect_count = 0;
      for (int k = 1; k <= c.npar; ++k) {
        toolbox_parameter& prm = c.parameters[size_t(k)];
        prm.no_effect = 0;
        if (std::fabs(prm.value - prm.upper) < 1e-8) prm.value = prm.upper;
        if (std::fabs(prm.value - prm.lower) < 1e-8) prm.value = prm.lower;
        prm.at_upper = prm.value >= prm.upper;
        prm.at_lower = prm.lower >= prm.value;
        prm.frozen = 0;
      }
      // 3. Ratio to the previous iteration.
      c.phi_ratio = phi_prev == 0.0 ? std::numeric_limits<double>::infinity() : phi / phi_prev;
      phi_prev = phi;
      if (c.noptmax > 0) {
        if (history.size() < size_t(iteration) + 2) history.resize(size_t(iteration) + 2, 0.0);
        history[size_t(iteration)] = phi;
      }
      // 4. A new best.
      if (phi < best_phi) {
        best_phi = phi;
        best_iteration = iteration - 1;
        best_values = stored_values();
        best_sim = slot_values(1);
        rewrite_par(files.par, c, best_values);
        best_j = j;
      }
      // 5. Switch to three-point derivatives when the objective function stalls.
      if (!switched && switch_available && iteration > 1 &&
          c.phiredswh >= (history[size_t(iteration - 1)] - history[size_t(iteration)]) /
                             history[size_t(iteration - 1)])
        switched = 1;
      if (iteration > 1) set_slot(0, slot_values(1));
      for (int k = 1; k <= c.npar; ++k) c.parameters[size_t(k)].previous_value = c.parameters[size_t(k)].value;
      for (int a = 1; a <= n; ++a) x0[size_t(a)] = c.parameters[size_t(adj[size_t(a)])].value;
      // 8. Termination tests.
      if (c.noptmax != -1) {
        if (store && iteration >= 2) {
          // A search with no column left for its iterate ends as a repelled one does.
          if (*store->count >= store->capacity) {
            end = ending::after_test;
            break;
          }
          const int col = ++*store->count;
          for (int k = 1; k <= c.npar; ++k) (*store->trajectory)[k][col] = c.parameters[size_t(k)].value;
          if (store->objectives) (*store->objectives)[1][col] = phi;
        }
        int stop = 0;
        check_termination(rec, iteration, best_iteration, small_changes, history, best_phi, phi, c,
                          stop, model_calls);
        if (!stop && store && iteration >= 2)
          near_previous_point(points_at_entry, *store->trajectory, *store->count, c, stop);
        if (stop) {
          end = ending::after_test;
          break;
        }
      }
      print_iteration_header(c, iteration, model_calls, phi, 0.0, phi);
      write_iteration_header(c, rec, iteration, model_calls, phi, 0.0, phi);
      status = calc_jacobian(c, adj, names, j, model_calls, switched, templates, instructions,
                             iteration, cyclic_position, argv);
      if (iteration == 1) best_j = j;
      check_parameter_effect(c, j, p, rec);
      write_sensitivities(c, j, j, names, iteration, files.sen, 0);
      if (std::FILE* jac = store ? nullptr : std::fopen("jac.txt", "w")) {
        if (status == 0) {
          for (int i = 1; i <= m; ++i) {
            for (int a = 1; a <= n; ++a) std::fprintf(jac, "%lf\t", j[i][a]);
            std::fputs("\n", jac);
          }
        }
        std::fclose(jac);
      }
      if (status) return status;
      if (c.noptmax != -1) {
        // 14. Lambda trials.
        const double lambda_start = c.rlambda1;
        iter_best_phi = phi;
        iter_best_sim = slot_values(0);
        int trials = 0, keep = -1;
        const double phi_start = phi;
        bool leave_unaccepted = false;
        for (;;) {
          if (c.no_effect_count == 0) {
            calc_upgrade_vector(j, p, q, c, u);
            optimal_upgrade_length_all(j, p, q, c, u);
          }
          upgrade_parameters(j, p, q, c, u, adj, rec);
          if (c.frozen_count + c.no_effect_count == n) {
            all_at_limits = 1;
            leave_unaccepted = true;
            break;
          }
          char line[160];
          std::snprintf(line, sizeof line, "\n\tLambda = %E ----->\n\trunning model ...\n", c.rlambda1);
          both(rec, line);
          status = run_toolbox_model(c, value_field::stored, 1, names, instructions, argv, model_calls);
          double trial = phi;
          if (status == 0) {
            trial = evaluate(1);
            if (c.method == 1 && iteration >= 2 &&
                (c.full_update == 0 || (c.full_update == 1 && c.phi_ratio < c.full_update_threshold)))
              slm_update_jacobian(c, j, p, adj);
            ++trials;
            trial_phi[size_t(trials)] = trial;
            trial_lambda[size_t(trials)] = c.rlambda1;
            trial_u[size_t(trials)] = u;
            trial_sim[size_t(trials)] = slot_values(1);
            if (trial < iter_best_phi) {
              iter_best_phi = trial;
              iter_best_sim = slot_values(1);
            }
          }
          std::snprintf(line, sizeof line, "\tPhi =\t%E\t\t(%E of starting phi)\n", trial,
                        trial / phi_start);
          std::fputs(line, stdout);
          std::fputs("\n", stdout);
          if (rec) {
            std::fputs(line, rec);
            std::fputs("\n", rec);
          }
          if (status) {
            // The remaining trials print their lines and run nothing.
            for (int t = trials + 2; t <= numlam; ++t) {
              std::snprintf(line, sizeof line, "\n\tLambda = %E ----->\n\trunning model ...\n", c.rlambda1);
              both(rec, line);
              std::snprintf(line, sizeof line, "\tPhi =\t%E\t\t(%E of starting phi)\n", phi, phi / phi_start);
              both(rec, line);
              both(rec, "\n");
            }
            return status;
          }
          phi = trial;
          check_lambda_termination(rec, phi_prev, trials, trial_phi, c, keep);
          if (keep >= 0) break;
          for (int a = 1; a <= n; ++a) {
            toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
            prm.value -= u[size_t(a)];
            if (prm.value < prm.upper) prm.at_upper = 0;
            if (prm.value > prm.lower) prm.at_lower = 0;
          }
          follow_parents(c);
          adjust_lambda(lambda_start, previous_lambda, direction, phi, trial_phi, trials, c);
          if (trials >= numlam) {
            leave_unaccepted = true;
            break;
          }
        }
        if (!leave_unaccepted) {
          // 15. End of the trials.
          const int b = keep;
          const double phi_b = b >= 1 ? trial_phi[size_t(b)] : phi_prev;
          bool retry = false;
          if (b >= 1 && iteration == 1 && phi_b > phi_prev && switch_available && !switched) {
            retry = true;
            switched = 1;
            c.rlambda1 = trial_lambda[1];
            set_slot(1, iter_best_sim);
            evaluate(1);
            phi = phi_prev;
            for (int a = 1; a <= n; ++a) c.parameters[size_t(adj[size_t(a)])].value = x0[size_t(a)];
            follow_parents(c);
          } else {
            if (b >= 1 && !switched && switch_available && iteration > 1 && phi_b > phi_prev) {
              take_values(best_values);
              set_slot(1, best_sim);
            } else {
              // A trial to keep; none when every trial failed, and then the starting point.
              for (int a = 1; a <= n; ++a)
                c.parameters[size_t(adj[size_t(a)])].value =
                    x0[size_t(a)] + (b >= 1 ? trial_u[size_t(b)][size_t(a)] : 0.0);
              follow_parents(c);
              set_slot(1, b >= 1 && phi_b > phi_prev ? trial_sim[size_t(b)] : iter_best_sim);
            }
            phi = evaluate(1);
            if (direction && b >= 1)
              c.rlambda1 = trial_lambda[size_t(b)];
            else if (!direction)
              adjust_lambda(lambda_start, previous_lambda, direction, phi, trial_phi, trials, c);
          }
          (void)retry;
          direction = 0;
          if (rec) {
            std::fputs("      Current parameter values                 Previous parameter values\n", rec);
            for (int k = 1; k <= c.npar; ++k) {
              const toolbox_parameter& prm = c.parameters[size_t(k)];
              const double prev = prm.partrans == "log" ? std::pow(10.0, prm.previous_value) : prm.previous_value;
              std::fprintf(rec, "      %s             %10lf                %s               %lf\n",
                           prm.name.c_str(), untransformed(prm), prm.name.c_str(), prev);
            }
            std::fputs("\n", rec);
          }
        }
      }
      // 16. Relative parameter change.
      ++iteration;
      largest_change = 0.0;
      for (int a = 1; a <= n; ++a) {
        const toolbox_parameter& prm = c.parameters[size_t(adj[size_t(a)])];
        // The multi-level search measures the change on the stored values, logarithms included.
        const bool lg = prm.partrans == "log" && !(store && store->mlsl);
        const double from = lg ? std::pow(10.0, x0[size_t(a)]) : x0[size_t(a)];
        const double to = lg ? std::pow(10.0, prm.value) : prm.value;
        last_change = from != 0.0 ? std::fabs((from - to) / from)
                                  : (to == 0.0 ? 0.0 : std::numeric_limits<double>::infinity());
        if (last_change > largest_change) largest_change = last_change;
      }
      if (c.relparstp > largest_change)
        ++small_changes;
      else
        small_changes = 0;
      if (c.rstfle == "restart" && c.noptmax >= 1) {
        restart_state s;
        s.jacobian = j;
        s.jacobian_2 = best_j;
        s.iteration = iteration;
        s.phi = phi;
        s.previous_phi = phi_prev;
        s.iteration_phi = history;
        s.iteration_phi.resize(std::max(history.size(), size_t(iteration) + 1), 0.0);
        s.best_parameters = best_values;
        s.best_simulated = best_sim;
        s.lowest_phi = best_phi;
        s.lowest_reference = best_iteration;
        s.three_point = switched;
        s.largest_relative_change = largest_change;
        s.small_change_count = small_changes;
        s.last_relative_change = last_change;
        s.start_values = x0;
        s.model_calls = model_calls;
        s.cyclic_position = cyclic_position;
        write_restart_file(s, c, names);
      }
      if (c.noptmax == -1) {
        best_j = j;
        break;
      }
      if (iteration > c.noptmax || all_at_limits) {
        end = ending::after_limits;
        break;
      }
    }
  }

  if (end == ending::after_limits) {
    if (phi < best_phi) {
      best_phi = phi;
      best_values = stored_values();
      best_j = j;
    }
    std::remove(names.rst.c_str());
    std::printf("\nRunning model one last time with best parameters...\n\n\n");
    if (!all_at_limits && rec) {
      std::fputs("Optimization complete: Maximum number of optimization iterations completed.\n", rec);
      std::fprintf(rec, "Total Model Calls:\t%d\n", model_calls);
      std::fputs("\n", rec);
      final_lines(rec);
      std::fputs("\n\n", rec);
    }
    rewrite_par(files.par, c, best_values);
    take_values(best_values);
    run_toolbox_model(c, value_field::stored, 0, names, instructions, argv, model_calls, true);
    phi = evaluate(0);
    if (all_at_limits) {
      std::printf("Optimisation complete: all parameters at their limits.\n");
      std::printf("Total Model Calls:\t%d\n", model_calls);
      if (rec) {
        std::fputs("Optimisation complete: all parameters at their limits.\n", rec);
        std::fprintf(rec, "Total Model Calls:\t%d\n", model_calls);
        std::fputs("\n", rec);
        final_lines(rec);
        std::fputs("\n\n", rec);
      }
    }
  } else if (end == ending::after_test) {
    std::remove(names.rst.c_str());
    take_values(best_values);
    std::printf("\nRunning model one last time with best parameters...\n\n\n");
    if (rec) {
      std::fputs("\n", rec);
      final_lines(rec);
      std::fputs("\n\n", rec);
    }
    rewrite_par(files.par, c, best_values);
    run_toolbox_model(c, value_field::stored, 0, names, instructions, argv, model_calls, true);
    ++model_calls;
    phi = evaluate(0);
  }

  matrix_cal cov(1, n, 1, n), c2, r(1, n, 1, n), e(1, n, 1, n);
  std::vector<double> eigen(size_t(n) + 1, 0.0);
  int singular = 0;
  if (c.noptmax != 0) {
    write_sensitivities(c, best_j, best_j, names, iteration, files.sen, 1);
    calc_covariance_matrix(best_j, q, phi, cov, c, singular);
    c2 = cov;
    if (!singular) {
      scale_by_diagonal(c2, r, c);
      int rotations = 0;
      jacobi(c2, n, eigen, e, rotations);
      eigsrt(eigen, e, n);
    }
  }
  write_optimisation_results(rec, phi, cov, r, e, eigen, c, c.noptmax == 0 ? 0 : singular, p);
  return 0;
}

}  // namespace pluvo::toolbox
