#pragma once
// Replacement parameters: bracketed keys in input lines replaced by run values.
// Offers: the pair file (key and C format per line) and value file (one line per run),
// replace_params_in_line for the line reader, and the two listings for the summary.
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

enum replace_type : int32_t { replace_unknown = -1, replace_int = 0, replace_double = 1, replace_text = 2 };

struct replace_pair {
  std::string key;  // brackets included
  int32_t key_length = 0;
  std::string format;  // one conversion of the kind the type needs
  int32_t type = replace_unknown;
  double double_value = 0.0;
  int32_t int_value = 0;
  std::string text_value;
  bool used = false;  // substituted since the values were last loaded
};

// The pairs in the order of the pair file.
extern std::vector<replace_pair> replace_pair_list;
extern bool replace_pairs_active;
extern int32_t replace_count;

// Reads the pair file into a new list. 0 when done (an empty list too), -1 on failure. A
// malformed line is reported and skipped; first_bad_line, when given, gets the file line number
// of the first such line, or 0.
int read_replace_param_file(const char* name, int* first_bad_line = nullptr);

// Builds one pair from a pair-file line and appends it. 0, or -1 when the line is malformed.
int parse_replace_param_line(const char* line);

// Releases every pair and switches substitution off, so the next run starts as the first did.
void free_replace_params();

// Loads line run_index + 1 of the value file into the pairs and switches substitution on.
// 0, or -1 when the file cannot be opened.
int read_replace_value_file(const char* name);

// Substitutes every key of line in place; the line never grows past capacity characters
// (terminator included).
void replace_params_in_line(char* line, int capacity);

// Substitutes the key that starts at position. 1 when a key matched (length updated),
// 0 when none did, -1 when the value would not fit in the buffer.
int replace_bracket_pair(char* line, int position, int& length, int capacity);

// The value of a pair written with its own format.
std::string format_replace_value(const replace_pair& pair);

// Lists the current values in out (when open) and, unless silent is 1, on the console.
void print_replacement_values(checked_file& out, int silent);

// Lists how often values were substituted and which were used, then clears the count.
void print_replacement_values_run(checked_file& out, int silent);

}  // namespace pluvo
