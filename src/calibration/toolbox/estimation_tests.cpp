// Objective function, lambda schedule and stopping rules of the Levenberg-Marquardt engines.
#include "calibration/toolbox/estimation_tests.hpp"

#include <cmath>
#include <cstdarg>

namespace pluvo::toolbox {

namespace {

// The same line on the screen and in the record.
void both(std::FILE* record, const char* format, ...) __attribute__((format(printf, 2, 3)));
void both(std::FILE* record, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  std::vprintf(format, args);
  if (record) std::vfprintf(record, format, copy);
  va_end(copy);
  va_end(args);
}

// The trial with the least phi; the later of equal values wins and phi of 1e30 or more never
// counts. 0 when no trial qualifies.
int least_trial(int trials, const std::vector<double>& trial_phi) {
  double best = 1e30;
  int keep = 0;
  for (int j = 1; j <= trials; ++j) {
    if (trial_phi[size_t(j)] < 1e30 && trial_phi[size_t(j)] <= best) {
      best = trial_phi[size_t(j)];
      keep = j;
    }
  }
  return keep;
}

}  // namespace

int calc_phi(toolbox_control& c, int slot, double& phi) {
  for (int g = 1; g <= c.nobsgp; ++g) c.observation_groups[size_t(g)].contribution = 0.0;
  if (slot == 0 || slot == 1) {
    for (int g = 1; g <= c.nobsgp; ++g) {
      toolbox_observation_group& group = c.observation_groups[size_t(g)];
      for (int i = 1; i <= c.nobs; ++i) {
        const toolbox_observation& o = c.observations[size_t(i)];
        if (o.group != group.name) continue;
        const double r = (o.measured - o.simulated[slot]) * o.weight;
        group.contribution += r * r;
      }
    }
  }
  phi = 0.0;
  for (int g = 1; g <= c.nobsgp; ++g) phi += c.observation_groups[size_t(g)].contribution;
  return 0;
}

int calc_prior_values(toolbox_control& c, const matrix_cal& prior_coefficients, double& prior_phi) {
  std::vector<double> values(1);
  for (int k = 1; k <= c.npar; ++k)
    if (is_adjustable(c.parameters[size_t(k)])) values.push_back(c.parameters[size_t(k)].value);
  const int n_adj = static_cast<int>(values.size()) - 1;
  std::vector<double> calculated = dvector(1, c.nprior);
  dmvmult(prior_coefficients, c.nprior, n_adj, values, n_adj, calculated);
  prior_phi = 0.0;
  for (int g = 1; g <= c.nobsgp; ++g) {
    toolbox_observation_group& group = c.observation_groups[size_t(g)];
    for (int k = 1; k <= c.nprior; ++k) {
      const toolbox_prior_item& item = c.prior[size_t(k)];
      if (item.group != group.name) continue;
      const double r = (item.provided - calculated[size_t(k)]) * item.weight;
      group.contribution += r * r;
      prior_phi += r * r;
    }
  }
  return 0;
}

int adjust_lambda(double start_lambda, double& previous_lambda, int& increasing,
                  double trial_phi_now, const std::vector<double>& trial_phi, int trial,
                  toolbox_control& c) {
  double& lambda = c.rlambda1;
  if (trial <= 1) {
    previous_lambda = lambda;
    lambda /= c.rlamfac;
    return 0;
  }
  const double previous_phi = trial_phi[size_t(trial - 1)];
  const double before = previous_lambda;
  if (previous_phi <= trial_phi_now && start_lambda >= before && start_lambda > lambda) {
    // Decreasing lambdas stopped helping: turn to increasing ones from the start.
    previous_lambda = lambda;
    lambda = start_lambda * c.rlamfac;
    increasing = 1;
    return 0;
  }
  previous_lambda = lambda;
  if (before > lambda)
    lambda /= c.rlamfac;
  else
    lambda *= c.rlamfac;
  return 0;
}

int check_lambda_termination(std::FILE* record, double start_phi, int trials,
                             const std::vector<double>& trial_phi, const toolbox_control& c,
                             int& keep) {
  const int n = trials;
  if (n == c.numlam) {
    both(record, "No more lambdas: allowed lambdas per iteration =  %d\n\n", c.numlam);
    keep = least_trial(n, trial_phi);
    return 0;
  }
  for (int j = 1; j <= n; ++j) {
    if (trial_phi[size_t(j)] <= c.phiratsuf * start_phi) {
      both(record, "No more lambdas: phi is less than %lf of starting phi\n\n", c.phiratsuf);
      keep = j;
      return 0;
    }
  }
  if (n >= 2 && trial_phi[size_t(n)] > trial_phi[size_t(n - 1)]) {
    if (n == 2) return 0;
    both(record, "No more lambdas: phi rising\n\n");
    keep = least_trial(n, trial_phi);
    return 0;
  }
  if (n >= 2 && 1.0 - trial_phi[size_t(n)] / trial_phi[size_t(n - 1)] <= c.phiredlam) {
    both(record, "No more lambdas: relative phi reduction between lambdas less than %lf\n\n",
         c.phiredlam);
    keep = least_trial(n, trial_phi);
  }
  return 0;
}

int check_termination(std::FILE* record, int iteration, int lowest_reference,
                      int small_change_count, const std::vector<double>& iteration_phi,
                      double lowest_phi, double phi, const toolbox_control& c, int& stop,
                      int model_calls) {
  auto finish = [&] {
    both(record, "Total Model Calls:\t%d\n", model_calls);
    stop = 1;
    return 0;
  };
  if (std::fabs(phi) <= 1e-30) {
    both(record, "Optimization complete: the objective function equals zero\n");
    return finish();
  }
  int within = 0;
  for (int k = 1; k <= iteration; ++k)
    if ((iteration_phi[size_t(k)] - lowest_phi) / iteration_phi[size_t(k)] <= c.phiredstp) ++within;
  if (within >= c.nphistp) {
    both(record, "Optimization complete: the  %d lowest phi's are within a relative distance\n",
         c.nphistp);
    both(record, "                       of each other of %lf\n", c.phiredstp);
    return finish();
  }
  if (iteration - lowest_reference > c.nphinored) {
    both(record, "Optimization complete:   %d optimization iterations have elapsed since lowest\n",
         c.nphinored);
    both(record, "                       phi was achieved.\n");
    return finish();
  }
  if (small_change_count >= c.nrelpar) {
    both(record, "Optimization complete: relative parameter change less than %lf\n", c.relparstp);
    both(record, "                       over %d successive iterations.\n", c.nrelpar);
    return finish();
  }
  return 0;
}

}  // namespace pluvo::toolbox
