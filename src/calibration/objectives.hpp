#pragma once
// Scoring a calibration run: the observed event peaks and volumes, the six criteria, and the
// files that keep them ("%d_cost.out", "%d_obs.log", "results_all.out").
// Offers: objective_record, read_calibration_observations, evaluate_objectives and the criteria,
// hmle_lambda_search, add_result, collect_calibration_results, write_observation_log, and
// open_appending (an appended file that is new when the caller must write its header).
// Arrays are 1-based: element 0 is unused.
#include <array>
#include <functional>
#include <list>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

// Bad-data values of the criteria.
constexpr double bad_criterion = 999999.99;
constexpr double no_comparison = -1.0;
constexpr double no_maximum = -99999.999;

struct calibration_result {
  double cost = 0.0;
  double hmle = 0.0;
  double rmse = 0.0;
  double max_peak = 0.0;
  double max_volume = 0.0;
  std::vector<double> parameters;  // 1..parameter_count
  double log_error = 0.0;
  int parameter_count = 0;
};

// The order of the six ordered lists.
enum result_key : int { key_cost, key_hmle, key_rmse, key_log_error, key_max_peak, key_max_volume };

// Results of the evaluations not yet written: the list owns them, the six ordered lists (one per
// criterion, increasing) refer to them.
struct calibration_result_lists {
  std::list<calibration_result> results;
  std::array<std::vector<const calibration_result*>, 6> ordered;
};

struct objective_record {
  double hmle = 0.0;
  double rmse = 0.0;
  double log_error = 0.0;
  double max_peak = 0.0;
  double max_volume = 0.0;
  double cost = 0.0;
  // Entries 1..entry_count; empty until the observation file is read.
  std::vector<double> observed_peak;
  std::vector<double> observed_volume;
  std::vector<double> peak_weight;
  std::vector<double> volume_weight;
  int entry_count = 0;
  double volume_scale = 0.0;
  calibration_result_lists results;
};

// Reads the calibration observation file into record. 1 on success; -1 on failure (error 135
// when a line holds fewer than four numbers), the entry count then left at 0.
int read_calibration_observations(objective_record& record, const char* file_name);

// The six criteria of one run in the record, its result kept and its files appended to; gives
// the cost. A null simulated array (the run gave none) gives the bad-data values.
double evaluate_objectives(objective_record& record, const double* sim_peak, const double* sim_volume,
                           int run, int n, const double* x);

double compute_volume_scale(objective_record& record);
double compute_hmle(objective_record& record, const double* sim_peak, const double* sim_volume);
double compute_cost(objective_record& record, const double* sim_peak, const double* sim_volume, int run);
double compute_rmse(objective_record& record, const double* sim_peak, const double* sim_volume);
double compute_log_error(objective_record& record, const double* sim_peak, const double* sim_volume);
double max_simulated_peak(objective_record& record, const double* sim_peak);
double max_simulated_volume(objective_record& record, const double* sim_volume);

// The lambda in [a, b] whose condition is nearest zero among those a golden-section search
// tries; every trial lies in [a, b].
double hmle_lambda_search(const std::function<double(double)>& condition, double a = 0.1, double b = 3.0);

void add_result(objective_record& record, double cost, double hmle, double rmse, double log_error,
                double max_peak, double max_volume, const double* x, int n);

// Process 0 appends the held results to "results_all.out"; then they are dropped.
void collect_calibration_results(objective_record& record, int process);

void write_observation_log(objective_record& record, const double* sim_peak, const double* sim_volume,
                           int run);

// Opens name for appending; created tells whether the file was new, so that the caller writes
// its header. false when it cannot be opened.
bool open_appending(checked_file& file, const char* name, bool& created);

}  // namespace pluvo
