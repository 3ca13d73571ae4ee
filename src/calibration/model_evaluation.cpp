// One calibration evaluation: the parameter values into the replacement pairs, one model run in
// this process, and its event peaks and volumes scored against the observations.
#include <climits>
#include <cmath>
#include <cstdio>

#include "calibration/calibration_modes.hpp"
#include "common/process.hpp"
#include "common/replace_params.hpp"
#include "record/run_state.hpp"

namespace pluvo {

int load_calibration_pairs(const char* pair_file, const double* x, int n) {
  int bad_line = 0;
  if (read_replace_param_file(pair_file, &bad_line) != 0) {
    std::printf("Error: unable to read the replacement parameter file %s; the calibration ends.\n", pair_file);
    return -1;
  }
  const int pairs = int(replace_pair_list.size());
  // A skipped line would shift every later value onto the wrong key.
  if (bad_line > 0) {
    std::printf("Error: the replacement parameter file %s: line %d is not a well-formed pair; the calibration "
                "ends.\n",
                pair_file, bad_line);
    free_replace_params();
    return -1;
  }
  if (pairs < n) {
    std::printf("Error: the replacement parameter file %s: line 1 gives %d pairs, but the calibration has %d "
                "parameters; the calibration ends.\n",
                pair_file, pairs, n);
    free_replace_params();
    return -1;
  }
  if (pairs > n) {
    std::printf("Error: the replacement parameter file %s holds %d parameters, but the calibration gives "
                "values for only %d; the model is not run.\n",
                pair_file, pairs, n);
    free_replace_params();
    return -1;
  }
  for (int k = 1; k <= pairs; ++k) {
    replace_pair& pair = replace_pair_list[size_t(k - 1)];
    pair.double_value = x[k];
    // A count or a class number takes the nearest whole value.
    const double rounded = std::round(x[k]);
    pair.int_value = rounded >= double(INT_MAX) ? INT_MAX : rounded <= double(INT_MIN) ? INT_MIN : int(rounded);
  }
  replace_pairs_active = true;
  return 0;
}

double calibration_objective(const char* pair_file, const char* project_file, const double* x,
                             objective_record& record, int n, const char* mode_name) {
  run_number = process_index;
  run_number_prefix_on = 1;
  if (load_calibration_pairs(pair_file, x, n) != 0) return bad_criterion;
  calibration_results results;
  model_run_function run = current_model_run_function();
  // A run that stopped on an error has no results worth scoring, whatever its record holds.
  const bool ran = run && run(project_file, &results, mode_name) == 0;
  const double* peaks = ran && !results.event_peaks.empty() ? results.event_peaks.data() : nullptr;
  const double* volumes = ran && !results.event_volumes.empty() ? results.event_volumes.data() : nullptr;
  const long held = long(results.num_events) * long(results.num_columns);
  if (peaks && volumes && record.entry_count > held) {
    std::printf("Error: the observation file holds %d entries, but the run gave simulated peaks and volumes "
                "for only %ld; the run is scored as bad data.\n",
                record.entry_count, held);
    peaks = volumes = nullptr;
  }
  return evaluate_objectives(record, peaks, volumes, run_number, n, x);
}

bool evaluation_failed(double cost) { return !std::isfinite(cost) || std::fabs(cost) == bad_criterion; }

}  // namespace pluvo
