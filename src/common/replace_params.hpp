#pragma once
// Replacement parameters: bracketed names in input lines replaced by run values.
#include "common/checked_file.hpp"

namespace pluvo {

extern bool replace_pairs_active;

// Substitutes every bracketed key of a line read by the line reader, in place; the line
// never grows beyond capacity characters including its terminator.
void replace_params_in_line(char* line, int capacity);

// Lists the values used by this run on the console and in the summary.
void print_replacement_values_run(checked_file& summary, int silent);

// Empties the process-wide pair list.
void free_replace_params();

}  // namespace pluvo
