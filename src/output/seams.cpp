// Phases of processes that are not built yet: each does nothing.
#include "output/output_phases.hpp"
#include "output/series_files.hpp"

namespace pluvo {

void read_omba_exchange_at_start(model_state&) {}  // not built yet
void exchange_omba_maps(model_state&) {}  // not built yet
void setup_analyzers(model_state&, const char*) {}  // not built yet
void run_analyzers(model_state&, int) {}  // not built yet

}  // namespace pluvo
