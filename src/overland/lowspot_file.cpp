// The low-spot file: a LOWSPOT card, then one SPOT card per gap in a dike.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "overland/card_word.hpp"
#include "overland/overland_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

std::string take_card_word(char* line, const char* separators) {
  size_t start = std::strspn(line, separators);
  size_t length = std::strcspn(line + start, separators);
  std::string word(line + start, length);
  for (char& ch : word) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  std::memmove(line, line + start + length, std::strlen(line + start + length) + 1);
  return word;
}

int is_spot_card(char* line) { return take_card_word(line) == "spot" ? 0 : 1; }

void read_lowspot_file(checked_file& file, const std::string& name, int& count, std::vector<lowspot_record>& records) {
  std::vector<char> buffer(line_buffer_size);
  char* line = buffer.data();
  const std::string card = read_line(line, file) ? take_card_word(line) : std::string();
  // A shortened card word counts; an empty line does not.
  if (card.empty() || card.size() > 7 || std::string("lowspot").compare(0, card.size(), card) != 0) {
    stop_run("The lowspot input file: %s does not start with the LOWSPOT card.\n"
             "The file format is invalid.  Program terminated.\n",
             name.c_str());
    return;
  }
  int spots = 0;
  while (read_line(line, file))
    if (is_spot_card(line) == 0) spots++;
  if (spots == 0) {
    stop_run("Premature end-of-file in the lowspot input file.\n"
             "No SPOT cards encountered before end of file.\nProgram terminated.\n");
    return;
  }
  records.assign(size_t(spots) + 1, lowspot_record());
  std::rewind(file.stream);
  read_line(line, file);
  for (int k = 1; k <= spots && read_line(line, file);) {
    if (is_spot_card(line) != 0) continue;
    lowspot_record& r = records[size_t(k++)];
    next_int(line, r.row);
    next_int(line, r.col);
    next_int(line, r.direction);
    next_double(line, r.fraction);
    next_double(line, r.elevation);
  }
  count = spots;
}

}  // namespace pluvo
