#pragma once
// The phases this process family offers to the driver.

#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "record/overland_state.hpp"

namespace pluvo {

struct model_state;
struct lowspot_record;

void apply_cell_inflows(model_state& m);
void apply_overland_sources_sinks(model_state& m);
void bmp_step(model_state& m);
void route_overland_step(model_state& m);
// True when a routed step with flowing water goes on to the overland erosion step: erosion is
// on and its classes are not carried as constituents.
bool overland_erosion_on(const model_state& m);
void update_overland_lake_extent(model_state& m);

// Set-up readers called by the input-grid driver.
void read_bmp_table(model_state& m);
// The OV_PUMP file: one pump per line, "row column ELEV|TS series-name", into ov_pumps.
void read_overland_pump_file(model_state& m);

// Fills the water surface and volume of lakes 1..count from an open lake file of the kind
// (1: overland lakes).
void read_lake_file(checked_file& file, int kind, int count, std::vector<overland_lake_record>& lakes);

// Set-up services the input readers call (through the table of input/neighbour_services.hpp).
void read_lowspot_file(checked_file& file, const std::string& name, int& count,
                       std::vector<lowspot_record>& records);
// A channel pump from the rest of a PUMPTO line (two integers, ELEV or TS, a series name) for
// link `link` whose code is link_type; its handle in channel_pump_list, 0 after a bad flow type.
int read_channel_pump(char* rest_of_line, int link, int link_type);

// 0 when the first token of line (blanks, tabs and line ends separate) is "spot" in any case,
// else 1; the token and the blanks before it are removed from line.
int is_spot_card(char* line);

}  // namespace pluvo
