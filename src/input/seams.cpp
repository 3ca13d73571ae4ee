// Phases of processes that are not built yet: each does nothing.
#include "input/input_phases.hpp"

namespace pluvo {

void open_project_files(model_state&) {}  // not built yet
void init_input_grids(model_state&) {}  // not built yet
void name_contaminant_map_outputs(model_state&) {}  // not built yet
void name_contaminant_chan_outputs(model_state&) {}  // not built yet
void build_cell_connectivity(model_state&) {}  // not built yet
void compute_face_slopes(model_state&) {}  // not built yet
void compute_centered_slopes(model_state&) {}  // not built yet

}  // namespace pluvo

#include "input/mapping_tables.hpp"
namespace pluvo {
int time_series_index_loaded = 0;
void check_mapping_tables(const std::string&, int*, int) {}  // not built yet
void print_stream_index_tables(const std::string&, int*, int) {}  // not built yet
}  // namespace pluvo
