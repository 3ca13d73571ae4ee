#pragma once
// What the three global modes (-ms, -mlsl, -tr) share around their local searches: the screen
// text without a control file, the prediction refusal of the ms2 modes, a parameter as the records
// show it, the current point and the objective of the last evaluation, the record block of a
// local search, and the files and session that close themselves on every way out.
#include <cstdio>
#include <memory>
#include <vector>

#include "calibration/toolbox/control_file.hpp"
#include "calibration/toolbox/session.hpp"

namespace pluvo::toolbox {

// The records' value of an evaluation that failed.
constexpr double failed_objective = -999.999;

// The most samples, searches or iterations a global mode's input may ask for.
constexpr long global_count_limit = 100000;

// A count read from a mode's input file, checked before anything is sized by it; false, with a
// message naming the file, the value and the limits, when it lies outside low..high.
bool count_in_range(const char* file, const char* what, long value, long low, long high);

// The table of points a global mode keeps: (NOPTMAX + 1) x searches columns of NPAR values. False,
// with a message, when it would take more room than a calibration may.
bool trajectory_fits(const toolbox_control& c, long searches, const char* file);

// The screen lines that name a global mode's method (in its long and short name) and its local
// search.
void announce_global_mode(const char* method, const char* short_name);

// The screen lines before a mode's seeds are drawn or read.
void announce_seed_choice();

// Prints the lines for a missing control file; the mode ends with status 1.
int no_command_line_arguments();

// The prediction refusal lines of the -mlsl and -tr modes.
extern const char* const ms2_prediction_lines[];

// A stored value as the records show it: log parameters untransformed.
double shown(const toolbox_parameter& p, double stored);

// Every parameter's current value, 1-based.
std::vector<double> current_point(const toolbox_control& c);

// Total (entry 0) and group contributions of the last evaluation; a failed one carries the marker.
std::vector<double> objectives_of(const toolbox_control& c, bool failed);

// How a global mode's record shows its numbers: fixed decimals, or exponent form.
enum class record_numbers { fixed, exponent };

// The record block of one local search: each adjustable parameter and each objective function
// (total, then the groups) at its start and its end.
void write_search_results(std::FILE* rec, const toolbox_control& c, const std::vector<double>& start_point,
                          const std::vector<double>& start_objectives, const std::vector<double>& end_objectives,
                          record_numbers form);

// The run counts that follow a search's block ("CT run" or "Local Search").
void write_search_runs(std::FILE* rec, const char* search, int runs, int model_calls);

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
// A file of a mode, closed on every way out of it.
using mode_file = std::unique_ptr<std::FILE, file_closer>;

// The session of a global mode, closed on every way out of it.
class session_guard {
 public:
  session_guard(toolbox_control& c, toolbox_session& s) : c_(c), s_(s) {}
  ~session_guard() { close_toolbox_session(c_, s_); }
  session_guard(const session_guard&) = delete;
  session_guard& operator=(const session_guard&) = delete;

 private:
  toolbox_control& c_;
  toolbox_session& s_;
};

}  // namespace pluvo::toolbox
