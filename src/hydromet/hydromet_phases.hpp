#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void init_hmet_stations_and_bands(model_state& m);
void read_event_precip(model_state& m);
void update_precipitation(model_state& m);
void apply_rainfall(model_state& m);
void update_hydrometeorology(model_state& m);
void long_term_snow_step(model_state& m);

// Reads the next event of the precipitation file (raingage_fp): 1 an event was read
// (its first record's date in precip_dates[1], its kind in precip_kind), 0 end of file,
// -1 unexpected end of file.
int read_precip_event(model_state& m);
// Reads one hydrometeorological record; call mode 1 scans the file: the first record's
// date goes to hmet_year .. hmet_hour, the last one's to hmet_last_year .. hmet_last_hour.
int read_hmet_data(model_state& m, int call_mode);
// Reads the orographic station file's header (its base and gauge elevations) and turns the
// orographic lapse rate on; false, with the run stopped, when the header cannot be used.
bool read_orographic_header(model_state& m);
// Set-up readers called by the input-grid driver.
void read_nwsrfs_elevation_bands(model_state& m);
void set_hmet_gage_parameters(model_state& m);

}  // namespace pluvo
