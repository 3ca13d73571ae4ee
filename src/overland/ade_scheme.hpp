#pragma once
// The alternating-direction overland scheme (OVERTYPE 2 and, with a predictor-corrector,
// OVERTYPE 3) and its per-direction kernels.
#include <array>

#include "record/overland_state.hpp"

namespace pluvo {

struct model_state;

// Routes the overland water for dt seconds and returns the volume (m3) that left through the
// outlet cell (0 with channel routing on), or -1.0 after a fatal stop.
double route_overland_ade(model_state& m, double dt);

// Flat views of the record the kernels read; a null pointer means the process is off.
struct ade_view {
  int n = 0;
  double dx = 0.0;
  const double* z = nullptr;
  const double* retention = nullptr;
  const double* roughness = nullptr;  // effective Manning n
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const int* dike = nullptr;
  const int* olake = nullptr;  // overland lake per cell
  const overland_lake_record* olakes = nullptr;
  const int* clake = nullptr;  // channel lake per cell
  const double* clake_elev = nullptr;
  const int* wet = nullptr;
  const std::array<double, 8>* wet_props = nullptr;
  int wet_count = 0;
  const double* swe = nullptr;  // lateral flow through snow
  const std::array<double, 12>* snow_params = nullptr;
  double darcy = 0.0;
  const double (*face_block)[6] = nullptr;  // rows of the [cell][0..5] face blockage
  const double* area_block = nullptr;
  const int* boundary = nullptr;  // boundary type per cell
  int outlet = 0;
  bool channel_routing = false;

  bool is_lake(int i) const { return (olake && olake[i] > 0) || (clake && clake[i] > 0); }
  bool is_held(int i) const {
    if (!boundary) return false;
    const int t = boundary[i];
    return t == 2 || t == 3 || t == 8 || t == 9;
  }
  // Share of the cell's area that holds water.
  double open_share(int i) const { return area_block && area_block[i] < 1.0 ? 1.0 - area_block[i] : 1.0; }
  // Divides a depth change by the open share of the cell's area.
  double open_share_change(int i, double e) const {
    if (area_block && area_block[i] < 1.0) return e / (1.0 - area_block[i]);
    return e;
  }
};

ade_view make_ade_view(model_state& m);

// Face flows (m3/s) of one direction from depth h into q[1..n]; x: toward rightcon. With a
// transfer time above 0 (s), no face between ordinary cells moves more in that time than
// levels its two heads.
void ade_fluxes(const ade_view& v, const double* h, double* q, bool x_direction, double transfer_time = 0.0);

// What one depth update counted, m3.
struct ade_update_totals {
  double gain = 0.0, loss = 0.0, outlet = 0.0;
  double clipped = 0.0;  // water a clip of a small negative depth put in
};

// Applies the face flows of one direction for h_step seconds; returns 0 good, 1 shorten the
// next sub-step, 2 failed. ref is the depth at the sweep start and moves forward with h.
int ade_update_depths(const ade_view& v, double* h, double* change, double* ref, const double* q,
                      const int* upstream, double h_step, double scale, ade_update_totals& totals);

// Estimates the depth changes a sub-step of h_step would make; returns 1 when too large.
int ade_substep_estimate(const ade_view& v, const double* h, double* change, const double* q,
                         const int* upstream, double h_step, double scale, double& ratio, int& worst);

// The sub-step control of one ADE step: lengths always add up to the step.
struct ade_substep_clock {
  double remaining = 0.0;
  double h = 0.0;
  // The first sub-step length from the prediction.
  static double predicted(double dt, double h, int status_y, int status_x, double ratio, double dtmin,
                          int& good_steps);
  // Starts the next sub-step: shorter after a status of 1, a short remainder merged in.
  // Sets last to the length before the merge; returns the length to use.
  double next(int status, double dtmin, double& last);
};

}  // namespace pluvo
