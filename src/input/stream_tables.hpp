#pragma once
// Stream mapping-table file (PLUVO_STREAM_INDEX_MAP_TABLES) and stream map files: per-class
// tables of stream parameters, tied by name to a stream map that gives every link its class id,
// delivered into flat per-link, per-node arrays (element (max_nodes + 1) * link + node).
// Offers: the keyword codes and their labels, the table search, the NUM_IDS line, the stream
// map reader, the table reader and the presence check (print_stream_index_tables, declared
// with the mapping-table services).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

// Codes of the stream table keywords.
namespace stream_table {
constexpr int roughness = 1;
constexpr int tvx_n = 2;
constexpr int tvx_p = 3;
constexpr int tvx_c = 4;
constexpr int tvx_oth = 5;
constexpr int dispersion = 6;
constexpr int num_ids = 37;
constexpr int st_index_map = 38;
}  // namespace stream_table

// The code of the keyword the line begins with, ROUGHNESS not included (callers test it first); 0 for none.
int stream_table_card_code(const char* line);
// The same with ROUGHNESS tested first.
int stream_table_line_code(const char* line);
// The name a code carries in error 66, for example "TVX_N (Stream)"; "" for an unknown code.
std::string stream_table_card_label(int code);
// Values per row of a table code, 0 for the others.
int stream_table_value_columns(int code);

// Leaves file just after the header line of the block with code and writes the block's stream
// map file name; 1 when found, 0 otherwise (a header on the file's last line is not found).
int seek_stream_table(checked_file& file, int code, std::string& stream_map_file);

// One line: the integer after NUM_IDS, else 0.
int read_stream_num_ids(checked_file& file);

// The shape of the channel network the stream arrays follow: links 1..nlinks, link l with
// nx[l] nodes; flat arrays have stride max_nodes + 1.
struct stream_network_shape {
  int32_t nlinks = 0;
  int32_t max_nodes = 0;
  const std::vector<int32_t>* nx = nullptr;  // elements 1..nlinks
  size_t flat_size() const { return size_t(max_nodes + 1) * size_t(nlinks + 1); }
  size_t at(int link, int node) const { return size_t(max_nodes + 1) * size_t(link) + size_t(node); }
};

// Reads a stream map file. Mode 0 reads one integer id per link into ids, mode 2 one real per
// link into values; every node of a link receives the link's value, at shape.at(link, node).
// A destination smaller than the flat size is first grown with zeros.
// 0 on success, -1 when the file does not open, -2 without the STREAM_MAP header, -3 when its
// link count differs from the network's, -4 when a value cannot be read, -5 when a link's node
// count does not fit the stride (reported here with code 4000).
int read_stream_map(const std::string& file_name, const stream_network_shape& shape, std::vector<int32_t>* ids,
                    std::vector<double>* values, int mode);

// Reads the table with code onto the outputs (output k receives value column k; null outputs
// are skipped). 1 on success, 0 after a reported error.
using stream_table_outputs = std::array<std::vector<double>*, 4>;
int read_stream_index_map_tables(const std::string& file_name, int code, const stream_table_outputs& outputs,
                                 const stream_network_shape& shape);

// The error codes 115 to 118 of a stream map reader result (-1 to -4); 4000 for -5, 0 for success.
int stream_map_error_code(int result);

}  // namespace pluvo
