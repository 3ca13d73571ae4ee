#pragma once
// Radar rainfall grids: the calls the precipitation phases make for radar events.

namespace pluvo {

struct model_state;

// Builds the per-cell index into the radar grid from the header of the event's first file.
void map_cells_to_radar_grid(model_state& m, const char* first_file);

// Reads the header of a radar file into the radar grid record; the rate grid is made anew (dry)
// when its dimensions change. 0 when read, -1 when the file cannot be read, -2 for dimensions
// out of range (reported, the run stops).
int read_radar_grid_header(model_state& m, const char* name);

// Reads the radar grid file name into the radar grid record: 0 when read, -1 otherwise (a
// warning names the file and the previous record's rates stay whole).
int read_radar_precip_file(model_state& m, const char* name);

// Puts the radar grid's rates onto the cells.
void apply_radar_precip(model_state& m);

}  // namespace pluvo
