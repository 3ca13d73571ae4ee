// Phases of processes that are not built yet: each does nothing.
#include "input/input_phases.hpp"

namespace pluvo {

void name_contaminant_map_outputs(model_state&) {}  // not built yet
void name_contaminant_chan_outputs(model_state&) {}  // not built yet
void read_sediment_inputs(model_state&) {}  // not built yet
void read_contaminant_inputs(model_state&) {}  // not built yet
void setup_superlink_grid_links(model_state&) {}  // not built yet
void setup_drain_network(model_state&) {}  // not built yet

}  // namespace pluvo

#include "common/line_reader.hpp"
#include "input/mapping_tables.hpp"
namespace pluvo {
int time_series_index_loaded = 0;
void check_mapping_tables(const std::string&, int*, int) {}  // not built yet
void print_stream_index_tables(const std::string&, int*, int) {}  // not built yet
void skip_table_header_line(checked_file& file) {  // not built yet: takes one line
  std::vector<char> line(line_buffer_size);
  read_line(line.data(), file);
}
map_table_target map_table_target_of(model_state&) { return {}; }  // not built yet
int read_index_map_table(const map_table_target&, const std::string&, int, const table_outputs&, int,
                         std::vector<double>*) { return 0; }  // not built yet
int read_gw_boundary_table(const map_table_target&, const std::string&) { return 0; }  // not built yet
int read_wetland_table(const map_table_target&, const std::string&, int&, std::vector<std::array<double, 8>>&,
                       std::vector<int32_t>&) { return 0; }  // not built yet
int read_layered_soil_map_table(model_state&, int, const soil_block_reader&) { return 0; }  // not built yet
int read_multilayer_ga_table(model_state&, const soil_block_reader&) { return 0; }  // not built yet
int read_permafrost_soil_table(model_state&, const soil_block_reader&) { return 0; }  // not built yet
int read_rating_curves(const std::string&, int, const std::vector<int32_t>&, const std::vector<double>&,
                       const elevation_series_finder&, std::vector<rating_curve_record>&) { return 0; }  // not built yet
}  // namespace pluvo
