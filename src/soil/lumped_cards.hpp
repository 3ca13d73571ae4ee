#pragma once
// The card files of the lumped models: a header word, then one keyword and value per line.
#include "common/checked_file.hpp"

namespace pluvo {

// A lumped model's card file and the messages that refuse it.
struct lumped_card_file {
  const char* header;         // the first token of line 1, compared exactly
  const char* wrong_header;   // printed on the error stream
  const char* premature_end;  // a format taking the count of values read
  const char* duplicates;
  int (*card_id)(char* line);
  int (*slot_of)(int id);
  int wanted;  // values to read
  int slots;   // positions a value may take
};

// Reads the file's values; false, with the run stopped (code 4000), on a wrong header, an end
// before all values or a card read twice.
bool read_lumped_card_file(checked_file& file, const lumped_card_file& spec, double* values);

// The id of the line's first token in names (compared without regard to case), or
// unknown_id; the token is removed from the line.
int lumped_card_id(char* line, const char* const* names, const int* ids, int count, int unknown_id);

}  // namespace pluvo
