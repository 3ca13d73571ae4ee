// Nutrient map and link/node outputs.
#include "output/map_outputs.hpp"
#include "record/model_state.hpp"

namespace pluvo {

void open_tvx_overland_outputs(model_state&) {}  // not built yet: the nutrient model is refused
void write_tvx_step_outputs(model_state&) {}  // not built yet: the nutrient model is refused

}  // namespace pluvo
