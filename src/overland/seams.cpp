// Phases of processes that are not built yet: each does nothing.
#include "overland/overland_phases.hpp"

namespace pluvo {

void bmp_step(model_state&) {}  // not built yet
void update_overland_lake_extent(model_state&) {}  // not built yet

void read_bmp_table(model_state&) {}  // not built yet

void read_lake_file(checked_file&, int, int, std::vector<overland_lake_record>&) {}  // not built yet

}  // namespace pluvo
