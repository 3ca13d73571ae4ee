#pragma once
// What the three global modes (-ms, -mlsl, -tr) share around their local searches: the screen
// text without a control file, the prediction refusal of the ms2 modes, a parameter as the records
// show it, the current point and the objective of the last evaluation.
#include <vector>

#include "calibration/toolbox/control_file.hpp"

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

}  // namespace pluvo::toolbox
