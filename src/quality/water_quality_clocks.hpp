#pragma once
// Start of the water-quality clocks, at the start of the run and of each event.

namespace pluvo {

struct model_state;

// Overland water-quality clocks to the current step window, the soil pair to its driving clock.
void start_water_quality_clocks(model_state& m);

// The event totals of the constituent balance back to zero, and the overland and soil stores
// the event starts from.
void clear_event_water_quality(model_state& m);

// At the start of the run: the balance terms sized per constituent, the soil store the run
// starts from.
void start_constituent_balance(model_state& m);

// Dissolved overland mass of constituent k outside the channel lakes, and its mass in the soil
// layers, kg.
double overland_store(const model_state& m, int k);
double soil_store(const model_state& m, int k);

}  // namespace pluvo
