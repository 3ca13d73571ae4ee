#include "soil/lumped_cards.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/error_state.hpp"
#include "common/line_reader.hpp"

namespace pluvo {

namespace {

// True when the first token of the file's first line is exactly word.
bool lumped_header_matches(checked_file& file, const char* word) {
  std::vector<char> line(line_buffer_size, '\0');
  char token[token_buffer_size] = {};
  if (!read_line(line.data(), file) || !next_token(line.data(), token)) return false;
  return std::strcmp(token, word) == 0;
}

// Reads keyword-value lines until wanted values are read or the file ends; counts each slot's
// readings. The number of values read.
int read_lumped_cards(checked_file& file, int (*card_id)(char* line), int (*slot_of)(int id), int wanted,
                      double* values, int* times_read) {
  std::vector<char> line(line_buffer_size, '\0');
  int read = 0;
  while (read < wanted && read_line(line.data(), file)) {
    const int slot = slot_of(card_id(line.data()));
    if (slot < 0) continue;
    double value = 0.0;
    if (!next_double(line.data(), value)) continue;
    values[slot] = value;
    ++times_read[slot];
    ++read;
  }
  return read;
}

}  // namespace

bool read_lumped_card_file(checked_file& file, const lumped_card_file& spec, double* values) {
  if (!lumped_header_matches(file, spec.header)) {
    std::fputs(spec.wrong_header, stderr);
    set_error(4000);
    report_error(error_state);
    return false;
  }
  std::vector<int> times_read(size_t(spec.slots), 0);
  const int read = read_lumped_cards(file, spec.card_id, spec.slot_of, spec.wanted, values, times_read.data());
  if (read < spec.wanted) {
    stop_run(spec.premature_end, read);
    return false;
  }
  if (std::any_of(times_read.begin(), times_read.end(), [](int n) { return n > 1; })) {
    stop_run("%s", spec.duplicates);
    return false;
  }
  return true;
}

int lumped_card_id(char* line, const char* const* names, const int* ids, int count, int unknown_id) {
  char token[token_buffer_size] = {};
  if (!next_token(line, token)) return unknown_id;
  for (char* p = token; *p; ++p) *p = char(std::tolower(static_cast<unsigned char>(*p)));
  for (int k = 0; k < count; ++k)
    if (std::strcmp(token, names[k]) == 0) return ids[k];
  return unknown_id;
}

}  // namespace pluvo
