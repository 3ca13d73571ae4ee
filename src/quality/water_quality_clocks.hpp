#pragma once
// Start of the water-quality clocks, at the start of the run and of each event.

namespace pluvo {

struct model_state;

// Overland water-quality clocks to the current step window, the soil pair to its driving clock.
void start_water_quality_clocks(model_state& m);

// The event totals of the constituent balance back to zero.
void clear_event_water_quality(model_state& m);

}  // namespace pluvo
