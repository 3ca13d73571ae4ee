#pragma once
// The phases this process family offers to the driver.

#include "common/checked_file.hpp"

namespace pluvo {

struct model_state;

void compute_infiltration(model_state& m);
void hourly_et_and_soil_moisture(model_state& m);
void update_soil_temperature(model_state& m);
void release_melt_and_wake(model_state& m);
void update_soil_moisture(model_state& m);
void sacramento_step(model_state& m);
void conceptual_gw_step(model_state& m);
void step_soil_water_quality(model_state& m);

// Set-up services the input readers call (through the table of input/neighbour_services.hpp).
int read_richards_soil_table(checked_file& file, int richards_scheme, model_state& m);
void init_richards_soil_columns(model_state& m);
int read_soil_temperature_input(checked_file& file, model_state& m);
void read_layered_soil_table(checked_file& file, model_state& m);
void read_sacramento_input(checked_file& file, model_state& m);
void read_conceptual_gw(checked_file& file, model_state& m);

}  // namespace pluvo
