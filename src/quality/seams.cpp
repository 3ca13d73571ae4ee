// Phases of processes that are not built yet: each does nothing.
#include "quality/quality_phases.hpp"

namespace pluvo {

void check_sediment_contaminant_sources(model_state&) {}  // not built yet
void step_contaminant_reactions(model_state&) {}  // not built yet

}  // namespace pluvo

#include "quality/quality_services.hpp"

namespace pluvo {

double* tvx_stream_row(model_state&, int, int) { return nullptr; }  // not built yet

}  // namespace pluvo
