// Pieces the global modes share.
#include "calibration/toolbox/global_common.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pluvo::toolbox {

int no_command_line_arguments() {
  std::printf("\n");
  std::printf("No command line arguments.\n");
  std::printf("At the command prompt, please enter appropriate additional information.\n");
  std::printf("Review the PLUVO user's manual as needed.\n");
  return 1;
}

void announce_global_mode(const char* method, const char* short_name) {
  std::printf("\nUsing the %s stochastic global optimization method,\n", method);
  std::printf("as implemented directly in PLUVO, to calibrate the current PLUVO model.\n");
  std::printf("%s uses the (Secant) Levenberg-Marquardt local search method,\n", short_name);
  std::printf("as implemented directly in PLUVO, for local search.\n\n");
}

void announce_seed_choice() {
  std::printf("This program will either generate or read seeds associated with\n");
  std::printf("random sampling - the ability to read thus precludes having\n");
  std::printf("to recompute previously computed pre-inversion runs.\n\n");
}

bool count_in_range(const char* file, const char* what, long value, long low, long high) {
  if (value >= low && value <= high) return true;
  std::printf("Error: %s: %s is %ld; it must lie between %ld and %ld\n", file, what, value, low, high);
  return false;
}

bool trajectory_fits(const toolbox_control& c, long searches, const char* file) {
  // 16 M values (128 MB) hold any sensible search.
  constexpr double room = 16.0 * 1024 * 1024;
  const double values = (std::max(c.noptmax, 0) + 1.0) * double(searches) * (c.npar + 1.0);
  if (values <= room) return true;
  std::printf("Error: %s: %ld searches of up to NOPTMAX %d iterations over %d parameters would keep %.0f "
              "points; at most %.0f fit\n",
              file, searches, c.noptmax, c.npar, values, room);
  return false;
}

const char* const ms2_prediction_lines[] = {
    "\n", "Currently, the slm_vyn_ms2 does not support prediction capabilities.\n",
    "Please change the PESTMODE parameter in the input control\n",
    "file to 'estimation' and recommence execution of slm_vyn_ms2.\n", "\n", nullptr};

double shown(const toolbox_parameter& p, double stored) {
  return p.partrans == "log" ? std::pow(10.0, stored) : stored;
}

std::vector<double> current_point(const toolbox_control& c) {
  std::vector<double> v(size_t(c.npar) + 1, 0.0);
  for (int k = 1; k <= c.npar; ++k) v[size_t(k)] = c.parameters[size_t(k)].value;
  return v;
}

std::vector<double> objectives_of(const toolbox_control& c, bool failed) {
  std::vector<double> v(size_t(c.nobsgp) + 1, failed ? failed_objective : 0.0);
  if (failed) return v;
  for (int g = 1; g <= c.nobsgp; ++g) {
    v[size_t(g)] = c.observation_groups[size_t(g)].contribution;
    v[0] += v[size_t(g)];
  }
  return v;
}

void write_search_results(std::FILE* rec, const toolbox_control& c, const std::vector<double>& start_point,
                          const std::vector<double>& start_objectives, const std::vector<double>& end_objectives,
                          record_numbers form) {
  const bool fixed = form == record_numbers::fixed;
  std::fputs("     Parameter values:-\n\n", rec);
  std::fputs("         Parameter           Starting parameter  Optimised parameter\n", rec);
  std::fputs("         name                value               value\n", rec);
  for (int k = 1; k <= c.npar; ++k) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    if (!is_adjustable(p)) continue;
    std::fprintf(rec, fixed ? "\t%s\t%lf\t%lf\n" : "\t%s\t%.10E\t%.10E\n", p.name.c_str(),
                 shown(p, start_point[size_t(k)]), shown(p, p.value));
  }
  std::fputs("\n\n     Objective function(s):-\n\n", rec);
  std::fputs("         Observation         Starting objective  Optimised objective\n", rec);
  std::fputs("         group name          function value      function value\n", rec);
  for (int g = 0; g <= c.nobsgp; ++g)
    std::fprintf(rec, fixed ? "\t%s\t%lf\t%lf\n" : "\t%s\t%lE\t%lE\n",
                 g == 0 ? "total" : c.observation_groups[size_t(g)].name.c_str(), start_objectives[size_t(g)],
                 end_objectives[size_t(g)]);
  std::fputs("\n\n", rec);
}

void write_search_runs(std::FILE* rec, const char* search, int runs, int model_calls) {
  std::fprintf(rec, " Number of model runs for latest %s   = %d\n", search, runs);
  std::fprintf(rec, " Total number of model calls so far       = %d\n", model_calls);
  std::fputs("\n\n\n\n", rec);
}

}  // namespace pluvo::toolbox
