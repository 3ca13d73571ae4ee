#pragma once
// Inside the hourly weather reader: its memories and the list-of-grids format.

#include <cstdio>
#include <string>

namespace pluvo {

struct model_state;

// The next line of fp without its line end ('\r' dropped too); false at the end of the file.
bool read_hmet_line(std::FILE* fp, std::string& line);

// A scanned record's date: the file's last so far, and its first when first is set.
void note_scanned_date(model_state& m, bool first, int year, int month, int day, int hour);

// Empties the reader's memories and day buffer; the scan of each run calls it first.
void reset_hmet_memory(model_state& m);

// The list-of-ASCII-grids branch of read_hmet_data: call mode 1 scans the list, later calls
// read one hour's grids onto the cells. Results as read_hmet_data.
int read_hmet_grids(model_state& m, int call_mode);

// How far (map units) the model cell centre of row r, column c lies from the lower-left corner
// of the weather-grid cell (ic, ir) chosen for it; prints a message per direction that is off
// by more than 1.3 weather cells.
double check_hmet_grid_alignment(int r, int c, double grid_north, double grid_west,
                                 double cell_size, int grid_cols, int grid_rows, double y0,
                                 double x0, double ch, int ic, int ir, int nr);

}  // namespace pluvo
