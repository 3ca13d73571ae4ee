// The Sacramento soil-moisture model: five stores turn the watershed's infiltrated water into an
// hourly outflow for the channels.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "soil/flow_passes.hpp"
#include "soil/lumped_cards.hpp"
#include "soil/lumped_models.hpp"
#include "soil/soil_phases.hpp"

namespace pluvo {

namespace {

constexpr int real_cards = 17;
constexpr int saved_id = 19, unknown_id = 20;

int sacramento_slot(int id) {
  if (id >= 1 && id <= 11) return id - 1;
  if (id == saved_id) return sac_saved;
  if (id >= 12 && id <= 16) return id;  // the contents follow saved
  return -1;                            // the header word, the basin counts, unknown words
}

bool capacities_positive(const std::array<double, sac_param_count>& p) {
  const struct { int index; const char* name; } capacities[] = {
      {sac_uztwm, "uztwm"}, {sac_uzfwm, "uzfwm"}, {sac_lztwm, "lztwm"}, {sac_lzfsm, "lzfsm"}, {sac_lzfpm, "lzfpm"}};
  for (const auto& c : capacities)
    if (!(p[size_t(c.index)] > 0.0)) {
      stop_run("The Sacramento parameter card %s is %g: a store capacity must be above 0.\n"
               "Program terminated in read_sacramento\n",
               c.name, p[size_t(c.index)]);
      return false;
    }
  return true;
}

void limit_contents(std::array<double, sac_param_count>& p) {
  const struct { int content, capacity; const char* warning; } stores[] = {
      {sac_uztwc, sac_uztwm, "WARNING:uztwc changed!\n"}, {sac_uzfwc, sac_uzfwm, "WARNING:uzfwc changed!\n"},
      {sac_lztwc, sac_lztwm, "WARNING:lztwc changed!\n"}, {sac_lzfsc, sac_lzfsm, "WARNING:lzfsc changed!\n"},
      {sac_lzfpc, sac_lzfpm, "WARNING:lzfpc changed!\n"}};
  for (const auto& s : stores) {
    double& f = p[size_t(s.content)];
    if (f > 1.0 || f < 0.0) {
      f = f > 1.0 ? 0.99 : 0.01;
      std::fputs(s.warning, stdout);
    }
    f *= p[size_t(s.capacity)];
  }
}

void limit_rates(std::array<double, sac_param_count>& p) {
  const struct { int index; const char* warning; } rates[] = {
      {sac_uzk, "WARNING:uzk changed!\n"}, {sac_lzsk, "WARNING:lzsk changed!\n"}, {sac_lzpk, "WARNING:lzpk changed!\n"}};
  for (const auto& r : rates) {
    double& k = p[size_t(r.index)];
    if (k > 1.0 || k < 0.0) {
      k = k > 1.0 ? 0.5 : 0.05;
      std::fputs(r.warning, stdout);
    }
  }
  if (p[sac_saved] > p[sac_lzfpc]) {
    p[sac_saved] = p[sac_lzfpc];
    std::fputs("WARNING:saved changed!\n", stdout);
  }
}

// Free-water percolation F into the lower zone: shared between the primary and supplementary
// stores by their deficits; what neither holds goes to the tension store, which has the room
// because percolation never exceeds the lower zone's deficiency.
void share_free_percolation(std::array<double, sac_param_count>& p, double F) {
  double& lzfpc = p[sac_lzfpc];
  double& lzfsc = p[sac_lzfsc];
  const double lzfpm = p[sac_lzfpm], lzfsm = p[sac_lzfsm];
  const double ratlp = std::max(0.0, 1.0 - lzfpc / lzfpm), ratls = std::max(0.0, 1.0 - lzfsc / lzfsm);
  if (ratlp + ratls <= 0.0) {
    p[sac_lztwc] += F;
    return;
  }
  const double hpl = lzfpm / (lzfpm + lzfsm);
  const double primary_fraction = std::min(1.0, 2.0 * hpl * ratlp / (ratls + ratlp));
  double supplementary = F - primary_fraction * F;
  lzfsc += supplementary;
  if (lzfsc > lzfsm) {
    supplementary -= lzfsc - lzfsm;
    lzfsc = lzfsm;
  }
  lzfpc += F - supplementary;
  if (lzfpc > lzfpm) {
    p[sac_lztwc] += lzfpc - lzfpm;
    lzfpc = lzfpm;
  }
}

// Percolation from the upper free water of one increment, with the interflow it leaves.
void percolate(std::array<double, sac_param_count>& p, double pbase, double dinc, double duz, sac_fluxes& out) {
  double& uzfwc = p[sac_uzfwc];
  const double lower_capacity = p[sac_lzfpm] + p[sac_lzfsm] + p[sac_lztwm];
  const double lower_content = p[sac_lzfpc] + p[sac_lzfsc] + p[sac_lztwc];
  const double defr = std::max(0.0, (lower_capacity - lower_content) / lower_capacity);
  double perc = dinc * pbase * (uzfwc / p[sac_uzfwm]) * (1.0 + p[sac_zperc] * std::pow(defr, p[sac_rexp]));
  perc = std::min(perc, uzfwc);
  uzfwc -= perc;
  const double overfill = lower_content + perc - lower_capacity;
  if (overfill > 0.0) {
    perc -= overfill;
    uzfwc += overfill;
  }
  const double interflow = duz * uzfwc;
  uzfwc -= interflow;
  out.interflow += interflow;
  double to_tension = perc * (1.0 - p[sac_pfree]);
  double F = perc - to_tension;
  if (p[sac_lztwc] + to_tension > p[sac_lztwm]) {
    F += p[sac_lztwc] + to_tension - p[sac_lztwm];
    to_tension = p[sac_lztwm] - p[sac_lztwc];
  }
  p[sac_lztwc] += to_tension;
  if (F > 0.0) share_free_percolation(p, F);
}

void upper_zone_evaporation(std::array<double, sac_param_count>& p, double demand, sac_fluxes& out) {
  double& uztwc = p[sac_uztwc];
  double& uzfwc = p[sac_uzfwc];
  double e1 = demand * uztwc / p[sac_uztwm];
  double e2 = 0.0;
  if (uztwc - e1 < 0.0) {
    e1 = uztwc;
    uztwc = 0.0;
    e2 = std::min(demand - e1, uzfwc);
    uzfwc -= e2;
  } else {
    uztwc -= e1;
  }
  out.et = e1 + e2;
}

// Tension water is refilled from free water where free water is relatively fuller.
void balance_zones(std::array<double, sac_param_count>& p) {
  const double uztwm = p[sac_uztwm], uzfwm = p[sac_uzfwm], lztwm = p[sac_lztwm];
  if (p[sac_uzfwc] / uzfwm > p[sac_uztwc] / uztwm) {
    const double ratio = (p[sac_uztwc] + p[sac_uzfwc]) / (uztwm + uzfwm);
    p[sac_uztwc] = ratio * uztwm;
    p[sac_uzfwc] = ratio * uzfwm;
  }
  const double saved = p[sac_saved];
  const double lower = (p[sac_lzfpc] + p[sac_lzfsc] + p[sac_lztwc] - saved) /
                       (p[sac_lzfpm] + p[sac_lzfsm] + lztwm - saved);
  const double tension = p[sac_lztwc] / lztwm;
  if (lower > tension) {
    const double moved = (lower - tension) * lztwm;
    p[sac_lztwc] += moved;
    p[sac_lzfsc] -= moved;
    if (p[sac_lzfsc] < 0.0) {
      p[sac_lzfpc] += p[sac_lzfsc];
      p[sac_lzfsc] = 0.0;
    }
  }
}

}  // namespace

int sacramento_card_id(char* line) {
  static const char* const names[] = {"pluvo_sacramento", "num_basins", "basin", "uztwm", "uzfwm", "uzk",
                                      "zperc", "rexp", "lztwm", "lzfsm", "lzfpm", "lzsk", "lzpk", "pfree",
                                      "uztwc", "uzfwc", "lztwc", "lzfsc", "lzfpc", "saved"};
  static const int ids[] = {0, 17, 18, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, saved_id};
  return lumped_card_id(line, names, ids, int(std::size(ids)), unknown_id);
}

void read_sacramento_input(checked_file& file, model_state& m) {
  static const lumped_card_file spec = {
      "PLUVO_SACRAMENTO",
      "The specified Sacramento model input parameter file does not\n"
      "have the proper header: PLUVO_SACRAMENTO \n"
      "Program terminated in read_sacramento\n",
      "Premature end-of-file in the Sacramento parameter input file.\n"
      "The file should contain 21 parameters.  Only %d parameters read.\n"
      "Program terminated in read_sacramento_input.\n",
      "Duplicate cards read in Sacramento parameter file.\n"
      "There should be only 21 different cards in the file\n"
      "with no duplicates.\n"
      "Program terminated in read_sacramento\n",
      sacramento_card_id,
      sacramento_slot,
      real_cards,
      sac_param_count};
  auto& p = m.sac_params;
  p.fill(0.0);
  if (!read_lumped_card_file(file, spec, p.data())) return;
  if (!capacities_positive(p)) return;
  limit_contents(p);
  limit_rates(p);
  m.sac_pbase = p[sac_lzpk] * p[sac_lzfpm] + p[sac_lzsk] * p[sac_lzfsm];
  if (m.topo_index_on) topodex(m);
}

void topodex(model_state& m) {
  grid<double> area, index;
  upslope_flow_passes(m.cell_number_grid, m.elevation, m.cell_size, area, &index);
  if (error_state.error_terminate) return;
  m.topo_dex.assign(size_t(m.cell_count) + 1, 0.0);
  for (int r = 1; r <= m.cell_number_grid.rows(); ++r)
    for (int c = 1; c <= m.cell_number_grid.cols(); ++c)
      if (const int32_t cell = m.cell_number_grid(r, c); cell > 0) m.topo_dex[size_t(cell)] = index(r, c);
  m.topo_dex_on = 1;
}

sac_fluxes sacramento_et_step(std::array<double, sac_param_count>& p, double pbase, double& balance,
                              double demand, double P) {
  sac_fluxes out;
  const double before = sac_storage_mm(p);
  upper_zone_evaporation(p, demand, out);
  balance_zones(p);
  double twx = P - (p[sac_uztwm] - p[sac_uztwc]);
  if (twx < 0.0) {
    p[sac_uztwc] += P;
    twx = 0.0;
  } else {
    p[sac_uztwc] = p[sac_uztwm];
  }
  const int n = int((twx + p[sac_uzfwc]) / 5.0 + 1.00001);
  const double dinc = 1.0 / n, pinc = dinc * twx;
  auto per_increment = [&](double k) { return n > 1 ? 1.0 - std::pow(1.0 - k, dinc) : k; };
  const double duz = per_increment(p[sac_uzk]), dlzp = per_increment(p[sac_lzpk]),
               dlzs = per_increment(p[sac_lzsk]);
  for (int i = 0; i < n; ++i) {
    const double primary = p[sac_lzfpc] * dlzp, supplementary = p[sac_lzfsc] * dlzs;
    p[sac_lzfpc] -= primary;
    p[sac_lzfsc] -= supplementary;
    out.baseflow += primary + supplementary;
    if (pinc + p[sac_uzfwc] > 0.01) percolate(p, pbase, dinc, duz, out);
    p[sac_uzfwc] += pinc;
    if (p[sac_uzfwc] > p[sac_uzfwm]) {
      out.surface += p[sac_uzfwc] - p[sac_uzfwm];
      p[sac_uzfwc] = p[sac_uzfwm];
    }
  }
  balance += before - sac_storage_mm(p) + P - out.et - out.outflow();
  return out;
}

void sacramento_step(model_state& m) {
  if (!m.sacramento_on || !(std::fabs(m.sac_next_time - m.cur_julian) < m.time_tolerance)) return;
  m.sac_step_count += 1;
  auto& p = m.sac_params;
  if (m.sac_step_count == 1) {
    m.sac_infil_mark = 0.0;
    m.sac_prev_outflow_mm = 0.0;
    m.sac_outflow_mm = m.sac_avg_outflow_mm = p[sac_lzfsc] * p[sac_lzsk] + p[sac_lzfpc] * p[sac_lzpk];
  }
  const double area_m3_per_mm = m.watershed_area / 1000.0;
  m.sac_et_demand_mm = m.aet_avg * 10.0;
  const double P = m.cell_count > 0 ? (m.sac_infil_depth_sum - m.sac_infil_mark) / m.cell_count * 1000.0 : 0.0;
  m.sac_infil_mark = m.sac_infil_depth_sum;
  m.sac_input_mm = P;
  m.sac_rain_mm += P;
  m.sac_infil_volume += P * area_m3_per_mm;
  m.sac_pet_mm += m.sac_et_demand_mm;
  m.sac_last_time = m.cur_julian;
  m.sac_next_time = m.cur_julian + m.sac_interval;
  const sac_fluxes f = sacramento_et_step(p, m.sac_pbase, m.sac_param_17, m.sac_et_demand_mm, P);
  const double Q = f.outflow();
  m.sac_et_mm = f.et;
  m.sac_prev_outflow_mm = m.sac_outflow_mm;
  m.sac_prev_avg_outflow_mm = m.sac_avg_outflow_mm;
  m.sac_outflow_mm = Q;
  m.sac_avg_outflow_mm = (Q + m.sac_prev_outflow_mm) / 2.0;
  m.sac_flow_cms = Q * m.watershed_area / 3.6e6;
  m.sac_aet_mm += f.et;
  m.sac_evap_volume += f.et * area_m3_per_mm;
  m.sac_runoff_mm += Q;
  m.sac_baseflow_volume += Q * area_m3_per_mm;
  m.sac_deep_recharge_mm += f.deep;
}

}  // namespace pluvo
