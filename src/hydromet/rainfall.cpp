// The rain of each step onto the grid: into channel lakes, the snowpack or the overland depth.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "record/model_state.hpp"
#include "soil/seasonal_retention.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;

bool due(const model_state& m) {
  return std::fabs(m.step_next_time - m.cur_julian) < m.time_tolerance && m.precip_state == 1;
}

bool in_channel_lake(const model_state& m, int c) { return m.lakes_on && m.lake_mask[c] > 0; }

// Gross rain of the step on lake cells: channel lakes take it whole, overland lakes book it
// and the cell goes on like any other.
void rain_on_lakes(model_state& m, double dt) {
  const double area = m.cell_size * m.cell_size;
  if (m.overland_lakes_on)
    for (int l = 1; l <= m.overland_lake_count; ++l) m.overland_lake_records[l].added_volume = 0.0;
  if (!m.lakes_on && !m.overland_lakes_on) return;
  for (int c = 1; c <= m.cell_count; ++c) {
    const double v = dt * m.cell_rain_rate[c] * area / 3600000.0;
    if (in_channel_lake(m, c)) {
      const int lake = m.lake_mask[c];
      m.lake_volume[lake] += v;
      // The lake's constituents take the rain's load at their next update.
      if (m.chan_con_trans_on && size_t(lake) < m.lake_precip_volume.size()) m.lake_precip_volume[size_t(lake)] += v;
      m.lake_rain_volume += v;
      m.precip_to_lake_total += v;
      m.precip_to_lake_volume += v;
      m.rain_volume_total += v;
      continue;
    }
    const int l = m.overland_lakes_on ? m.oland_lake_new[c] : 0;
    if (l > 0) {
      m.overland_lake_records[l].added_volume += v;
      m.olake_rain_volume_total += v;
      m.olake_extent_update = 1;
    }
  }
}

// Sizes (once) the per-cell arrays this phase writes that the set-up leaves to their users.
void size_if_missing(std::vector<double>& v, int n, double fill) {
  if (v.size() < size_t(n) + 1) v.assign(size_t(n) + 1, fill);
}

void prepare_cell_arrays(model_state& m) {
  const int n = m.cell_count;
  size_if_missing(m.cell_rain_rate, n, 0.0);
  size_if_missing(m.ov_depth, n, 0.0);
  size_if_missing(m.ov_depth_change, n, 0.0);
  if (m.interception_on || m.snow_canopy_intercept_on == 1) size_if_missing(m.ri_eff, n, 0.0);
  if (m.interception_on) {
    size_if_missing(m.icep_stor, n, 0.0);
    size_if_missing(m.icep_coef, n, 0.0);
    size_if_missing(m.icep_dep, n, 0.0);
  }
  if (m.long_term_on || m.snow_canopy_intercept_on == 1) size_if_missing(m.temper_gridded, n, 0.0);
  if (m.long_term_on) {
    size_if_missing(m.snow_swe, n, 0.0);
    size_if_missing(m.snow_scf_cell, n, 1.0);
    size_if_missing(m.H_Val, n, 0.0);
    size_if_missing(m.Snow_Accumulated_Hr, n, 0.0);
  }
}

bool boundary_takes_rain(int type) { return type == 2 || type == 3 || type == 9; }

bool is_bad_depth(double depth) { return !std::isfinite(depth) || depth < -tiny; }

// The step's rain where every cell takes it on its own depth (no lakes, snow, head
// boundaries, blockage or BMP units): the same sums, in the same blocks and order, as the
// general pass; the sums that are zero there stay zero. Neighbouring cells mostly share their
// rate, so a cell whose rate has the bits of the one before reuses its depth and volume, which
// the same operations on the same operands would give again: two divisions fewer per cell.
std::array<double, 6> rain_on_open_ground(model_state& m, const double* rate, double dt, double area) {
  double* depth = m.ov_depth.data();
  double* change = m.ov_depth_change.data();
  const std::array<double, 3> s = parallel_block_sums<3>(m.cell_count, [=](int first, int last) {
    if (first > last) return std::array<double, 3>{};
    double volume = 0.0, rates = 0.0, bad = 0.0;
    uint64_t last_bits = std::bit_cast<uint64_t>(rate[first]);
    double d = dt * rate[first] / 3600000.0, v = rate[first] * area * dt / 3600000.0;
    for (int c = first; c <= last; c++) {
      const double r = rate[c];
      const uint64_t bits = std::bit_cast<uint64_t>(r);
      if (bits != last_bits) {
        last_bits = bits;
        d = dt * r / 3600000.0;
        v = r * area * dt / 3600000.0;
      }
      depth[c] += d;
      change[c] = 0.0;
      if (is_bad_depth(depth[c])) bad = 1.0;
      volume += v;
      rates += r;
    }
    return std::array<double, 3>{volume, rates, bad};
  });
  return {s[0], s[1], 0.0, 0.0, s[2], 0.0};
}

}  // namespace

void apply_rainfall(model_state& m) {
  if (!due(m)) return;
  prepare_cell_arrays(m);
  // Julian days near 2.5e6 carry only about 1e-4 s; the step is taken to the model's time
  // resolution of 0.01 s so that a step's rain is exactly rate x step.
  const double dt = std::round((m.cur_julian - m.step_last_time) * 8640000.0) / 100.0;
  if (m.uniform_rain_on) ++m.uniform_rain_step;

  if (m.interception_on) {
    seasonal_retention_abstraction(m, dt);
  } else if (m.snow_canopy_intercept_on == 1) {
    for (int c = 1; c <= m.cell_count; ++c) m.ri_eff[c] = m.cell_rain_rate[c];
  }
  const std::vector<double>& rate = m.interception_on ? m.ri_eff : m.cell_rain_rate;
  rain_on_lakes(m, dt);

  const int n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  const bool long_term = m.long_term_on != 0;
  const bool boundaries = m.ov_boundary_on != 0;
  const bool blockage = m.ovr_flow_block_on != 0;
  const bool calibrate_snow = m.snow_calibrate_on == 1;
  const bool canopy_snow = m.snow_canopy_intercept_on == 1;
  // Sums in a fixed order, so the totals are the same on any thread count: volume, rate,
  // volume onto head boundaries, cells where snow fell, cells left without a real depth.
  // BMP units take the rain that falls on their area; at most one unit per cell, so the
  // per-unit stores are written by one cell each.
  const int* bmp_of_cell = m.ov_bmp_on && m.BMP.GNUM_num.size() > size_t(n) ? m.BMP.GNUM_num.data() : nullptr;
  const int* olake = m.overland_lakes_on && m.oland_lake_new.size() > size_t(n) ? m.oland_lake_new.data() : nullptr;
  const bool open_ground = !m.lakes_on && !olake && !long_term && !boundaries && !blockage && !bmp_of_cell && !calibrate_snow;
  const auto cell_rain = [&](int c) -> std::array<double, 6> {
    if (in_channel_lake(m, c)) return {};
    const double r = rate[c];
    double d = dt * r / 3600000.0;
    double bound_loss = 0.0, snow_fell = 0.0, to_bmp = 0.0;
    double booked = 1.0;  // the share of the cell's rain that reaches the ground
    // The snowfall correction is water the gauge missed: the pack's extra share is booked as
    // precipitation with the measured fall.
    double corrected = 0.0;
    // The lake has booked this rain already: on the cell's own depth it would count twice.
    if (olake && olake[c] > 0) {
      m.ov_depth_change[c] = 0.0;
      return {r * area * dt / 3600000.0, r, 0.0, 0.0, 0.0, 0.0};
    }
    // In event runs no snow can fall: the air is taken as 1000 degrees.
    const double air = long_term ? m.temper_gridded[c] : 1000.0;
    const bool boundary = boundaries && boundary_takes_rain(m.boundary_type[c]);
    if (boundary) bound_loss = d * area;
    const bool had_snow = long_term && m.snow_swe[c] > tiny;
    if (!boundary && had_snow) m.H_Val[c] += m.snow_scf_cell[c] * d * 1000.0;
    if (boundary) {
      // The boundary holds the cell's stage: the rain it books as lost must not stay on the
      // cell too, or the stage reset would book it a second time.
    } else if (long_term && m.snow_px_temp >= air - tiny) {
      snow_fell = 1.0;
      // Canopies catch from the step's snowfall, the first fall on bare ground included.
      if (canopy_snow && !had_snow) m.H_Val[c] += m.snow_scf_cell[c] * d * 1000.0;
      m.snow_swe[c] += m.snow_scf_cell[c] * d;
      corrected = (m.snow_scf_cell[c] - 1.0) * d * area;
      if (d > tiny) m.Snow_Accumulated_Hr[c] = 1.0;
    } else {
      // Rain on the blocked share of the cell never reaches the ground and is not booked: d
      // becomes the ground's water per unit of cell area, which stands on the open share.
      const double open = blockage ? open_share(m, c) : 1.0;
      d *= open;
      booked = open;
      if (bmp_of_cell && bmp_of_cell[c] > 0) {
        const size_t u = size_t(bmp_of_cell[c]);
        to_bmp = m.BMP.area[u] * d;
        m.BMP.storage[u] += to_bmp;
        d *= 1.0 - m.BMP.area[u] / area;
      }
      if (long_term && m.snow_swe[c] > tiny) {
        m.snow_swe[c] += m.snow_scf_cell[c] * d;
        corrected = (m.snow_scf_cell[c] - 1.0) * d * area;
      } else {
        m.ov_depth[c] += d / open;
      }
    }
    if (calibrate_snow) m.ov_depth[c] = 0.0;
    m.ov_depth_change[c] = 0.0;
    const double bad = is_bad_depth(m.ov_depth[c]) ? 1.0 : 0.0;
    return {r * area * dt / 3600000.0 * booked + corrected, r, bound_loss, snow_fell, bad, to_bmp};
  };
  const std::array<double, 6> sums =
      open_ground ? rain_on_open_ground(m, rate.data(), dt, area) : parallel_cell_sums<6>(n, cell_rain);
  m.bmp_precip_volume += sums[5];
  m.bmp_precip_total += sums[5];

  m.rain_volume_total += sums[0];
  m.rain_to_overland_volume += sums[0];
  m.rain_rate_sum += sums[1];
  m.ov_head_bound_loss += sums[2];
  if (sums[3] > 0.0) m.snow_present = 1;
  if (sums[4] > 0.0) {
    int first_bad = 1;
    while (first_bad < n && (in_channel_lake(m, first_bad) || !is_bad_depth(m.ov_depth[first_bad]))) first_bad++;
    if (!std::isfinite(m.ov_depth[first_bad]))
      stop_run("A non-real number for water depth has been detected for overland cell %d "
               "after applying rainfall\n", first_bad);
    else
      stop_run("A negative depth has been detected for overland cell %d after applying "
               "rainfall, check your rainfall input for negative values\n", first_bad);
    return;
  }
  if (m.rain_rate_sum > 0.0) {
    ++m.rain_step_count;
    if (m.awaiting_first_rain == 1) {
      m.awaiting_first_rain = 0;
      m.rain_start_min = m.elapsed_min;
    }
  }
}

}  // namespace pluvo
