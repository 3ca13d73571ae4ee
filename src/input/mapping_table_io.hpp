#pragma once
// Pieces shared by the mapping-table readers (not for use outside them).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

// One line of the standard length, on the heap.
struct line_buffer {
  std::unique_ptr<char[]> text;
  line_buffer();
  char* data() { return text.get(); }
};

// The id in columns 1-6 of a row; false when they hold no integer.
bool read_row_id(const char* line, int32_t& id);

// The id and count values (from column 87) of a row already read; as read_index_table.
int parse_table_row(const char* line, int32_t& id, int count, double* values);

// Opens the mapping-table file for reading; error 64, reported, when it does not open.
bool open_mapping_table_file(checked_file& file, const std::string& path);

// One INDEX_MAP line: the map's name (kept exactly) and its file.
struct index_map_entry {
  std::string name;
  std::string file;
};

// KEYWORD <file, maybe quoted> <name: the rest of the line, kept exactly>.
index_map_entry split_index_map_line(const char* text);

// A block header's name: from its second blank-separated token to the end of the line.
std::string header_name(const char* line);

// From the file's start: the INDEX_MAP lines that directly follow the first line, newest first,
// with line holding the line after them. false when the file is no mapping-table file.
bool read_index_map_section(checked_file& file, char* line, std::vector<index_map_entry>& entries);

// One row of a table check: two blanks, the name, dots to 35 characters, then Y or N.
void print_table_check_row(const char* display, int flag);

// Ids and counts above these are refused before they size any array.
constexpr int largest_row_count = 1000000;    // NUM_IDS
constexpr int largest_class_count = 10000;    // NUM_SED, NUM_CONTAM

// true when count is within limit; otherwise the count is reported, naming the file, and the run stops.
bool count_within(int count, int limit, const char* keyword, const std::string& path);

}  // namespace pluvo
