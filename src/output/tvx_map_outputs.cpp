// Nutrient map outputs: the overland nitrogen and phosphorus totals and the mass and
// concentration maps of each nutrient constituent, written as every other map series.
#include <string>

#include "common/checked_array.hpp"
#include "common/error_state.hpp"
#include "output/map_outputs.hpp"
#include "output/map_series.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr const char* nutrient_codes[9] = {"no2", "no3", "nh4", "on", "op", "dp", "alg", "cbod", "do"};
constexpr int mass_ids[9] = {1025, 1028, 1031, 1034, 1037, 1040, 1046, 1049, 1052};
constexpr int conc_ids[9] = {1026, 1029, 1032, 1035, 1038, 1041, 1047, 1050, 1053};

// Row of nutrient constituent k (0 = NO2) in the constituent tables; null when there is none.
const double* nutrient_row(const checked_array_2d<double>& table, int k, const model_state& m) {
  if (m.first_type2_constituent < 1) return nullptr;
  return checked_array_2d_row(table, m.first_type2_constituent + k);
}

}  // namespace

void open_tvx_overland_outputs(model_state& m) {
  tvx_map_writers& t = m.tvx_writers;
  const int type = map_series_output_type(m);
  if (!m.tvx_state) return;
  // The totals the nutrient module forms each step, cells 1..N.
  const tvx_overland& o = m.tvx_state->overland;
  if (m.total_ov_n_flag && o.total_N.count >= m.cell_count) {
    place_map_on_grid(t.total_ov_n, o.total_N.data, m);
    map_series_writer_open(t.total_ov_n, type, m.total_ov_n_file, "", ".asc", 1055, "Total_ov_N", m);
  }
  if (m.total_ov_p_flag && o.total_P.count >= m.cell_count) {
    place_map_on_grid(t.total_ov_p, o.total_P.data, m);
    map_series_writer_open(t.total_ov_p, type, m.total_ov_p_file, "", ".asc", 1056, "Total_ov_P", m);
  }
  for (int k = 0; k < 9 && !error_state.error_code; k++) {
    const tvx_output_entry& out = m.tvx_state->out_ov[k];
    const double* mass = nutrient_row(m.ov_mass, k, m);
    const double* conc = nutrient_row(m.ov_conc, k, m);
    if (out.flag != 1 || !mass || !conc) continue;
    const std::string code = nutrient_codes[k];
    place_map_on_grid(t.ov_mass[k], mass, m);
    map_series_writer_open(t.ov_mass[k], type, out.file, ".mass", ".asc", mass_ids[k], "OV_" + code + "_mass", m);
    place_map_on_grid(t.ov_conc[k], conc, m);
    map_series_writer_open(t.ov_conc[k], type, out.file, ".conc", ".asc", conc_ids[k], "OV_" + code + "_conc", m);
  }
}

void write_tvx_step_outputs(model_state& m) {
  tvx_map_writers& t = m.tvx_writers;
  const double time = m.elapsed_min;
  if (!m.tvx_state) return;
  if (m.total_ov_n_flag) map_series_write_step(t.total_ov_n, time);
  if (m.total_ov_p_flag) map_series_write_step(t.total_ov_p, time);
  for (int k = 0; k < 9 && !error_state.error_terminate; k++) {
    if (m.tvx_state->out_ov[k].flag != 1) continue;
    map_series_write_step(t.ov_mass[k], time);
    map_series_write_step(t.ov_conc[k], time);
  }
}

}  // namespace pluvo
