// Phases of processes that are not built yet: each does nothing.
#include "quality/quality_phases.hpp"

namespace pluvo {

void check_sediment_contaminant_sources(model_state&) {}  // not built yet
void step_contaminant_reactions(model_state&) {}  // not built yet

}  // namespace pluvo

#include "quality/quality_services.hpp"

namespace pluvo {

void channel_sediment_transport(model_state&, double) {}  // not built yet
void route_stream_constituents(model_state&, double) {}  // not built yet

}  // namespace pluvo
