#pragma once
// Dissolved constituents in the overland water: the transfer kernels of one constituent k over
// one sub-step of dt seconds, the booking of what they gathered and the transport between
// cells. Masses are g (concentration g/m3 times m3), the balance totals kg.

namespace pluvo {

struct model_state;

// Cells of a channel lake that the rain and infiltration kernels and the mass update pass over:
// inside a lake that is not newly flooded, or marked -1.
bool lake_cell_for_update(const model_state& m, int i);
// Cells of a channel lake (lake_mask above 0) that the other kernels pass over.
bool channel_lake_cell(const model_state& m, int i);

// Rain of concentration precip_conc[k] into the water of every cell.
void contam_rain_loading(model_state& m, int k, double dt);
// Mass that leaves with the water infiltrated since the last call; a cell that dried out
// hands on all it holds. Clears ov_infil_volume after the last constituent.
void infiltrate_constituent_mass(model_state& m, int k);
// Release from the land surface (soil transport off) or the soil mixing layer into the water,
// or back, at the uptake rate.
void contam_soil_water_exchange(model_state& m, int k, double dt);
// Hands infiltrated mass x of k in cell i to the soil: with soil transport, the soil row of k or
// of its nutrient's soil partner. Returns the share that has no soil row to go to.
double infiltrated_to_soil(model_state& m, int k, int i, double x);
// First-order decay of the dissolved mass.
void overland_decay_mass(model_state& m, int k, double dt);
// Mass carried with the lateral volume of every grid-stream entry, upwind.
void exchange_grid_stream_mass(model_state& m, int k);

// m a / b when the update a is shorter than the interval b by more than 0.5 s, else m.
double scale_loss_by_depth(double a, double b, double m);

// Scratch of the transport of one constituent, per cell.
struct overland_transport_work {
  double* conc;    // c
  double* mass;    // M
  double* disp;    // D
  double* source;  // S, g/s
  double* fd;      // dispersive flux across the face with the upstream neighbour, into the cell
  double* fa;      // advective flux, likewise
  double* fd2;     // corrector fluxes
  double* fa2;
  double* conc1;   // provisional concentration
  double* mass0;   // mass at the start of the direction
  double* lake_in;  // per cell: mass booked to the lake across the cell's upstream face
  double* deficit;  // per cell: mass put back to keep it from going negative
  const double* still;  // per cell: zero face discharges
};

// The returned net source rate (g/s) of constituent k in cell j over an update of dt s; the
// terms taken are added to booked[0..9]: precipitation, exfiltration, uptake, decay,
// infiltration, outlet, lateral, infiltrated mass without a soil row, sediment release, and
// the lateral mass the cell could not pay (booked with the lateral, put back on the cell).
double update_overland_constituent_mass(model_state& m, int k, int j, double dt, double* booked);

// Advection and dispersion of constituent k over dt s in both directions, the order by sweep
// (1: y first). Books lake-face mass and the mass put back on negative cells.
void advect_disperse_overland_constituent(model_state& m, int k, double dt, int sweep, overland_transport_work& w);

}  // namespace pluvo
