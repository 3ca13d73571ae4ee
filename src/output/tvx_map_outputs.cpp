// Nutrient map outputs: the overland nitrogen and phosphorus totals and the mass and
// concentration maps of each nutrient constituent, written as every other map series; along the
// streams, each constituent's node masses and concentrations and the nitrogen, Kjeldahl nitrogen
// and phosphorus totals, written as link/node series.
#include <string>

#include "common/checked_array.hpp"
#include "common/error_state.hpp"
#include "output/linknode_series.hpp"
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

// The stream and lake records hold node values once the channel set-up has sized them.
bool streams_sized(const model_state& m) {
  const tvx_object& t = *m.tvx_state;
  return m.chan_explic_on && m.nlinks >= 1 && m.chan_node_extent >= 1 && t.streams.slots.count >= 9 &&
         t.streams.slots.data && t.streams.total_KN.row_count >= 1 &&
         t.streams.slots[0]->mass.count >= int64_t(m.nlinks + 1) * m.chan_node_extent - 1;
}

bool lakes_sized(const model_state& m) {
  const tvx_lakes& l = m.tvx_state->lakes;
  return m.lakes_on && m.nlakes >= 1 && l.slots.count >= 9 && l.slots.data && l.total_KN.count >= m.nlakes;
}

// A stream total series: the card's file, which set-up opened to check it, is handed to the writer.
void open_total_chan(linknode_series_writer& w, checked_file& checked, const std::string& name, int kind,
                     checked_array_2d<double>& stream_total, const checked_array<double>* lake_total, model_state& m) {
  checked_file_close_void(checked);
  linknode_series_set_nodes(w, kind, stream_total.rows, lake_total ? lake_total->data : nullptr, m);
  linknode_series_open(w, name, "", "", 1000.0);
}

// The OUT_ST_* series of each constituent: node masses (kinds 8..16) and concentrations (17..25).
void open_tvx_stream_outputs(model_state& m) {
  tvx_map_writers& t = m.tvx_writers;
  tvx_object& tvx = *m.tvx_state;
  const bool lakes = lakes_sized(m);
  if (m.total_chan_n_flag)
    open_total_chan(t.total_chan_n, m.total_chan_n_fp, m.total_chan_n_file, 28, tvx.streams.total_N,
                    lakes ? &tvx.lakes.total_N : nullptr, m);
  if (m.total_chan_kn_flag)
    open_total_chan(t.total_chan_kn, m.total_chan_kn_fp, m.total_chan_kn_file, 29, tvx.streams.total_KN,
                    lakes ? &tvx.lakes.total_KN : nullptr, m);
  if (m.total_chan_p_flag)
    open_total_chan(t.total_chan_p, m.total_chan_p_fp, m.total_chan_p_file, 30, tvx.streams.total_P,
                    lakes ? &tvx.lakes.total_P : nullptr, m);
  for (int k = 0; k < 9; k++) {
    const tvx_output_entry& out = tvx.out_st[k];
    if (out.flag != 1) continue;
    const tvx_constituent& s = *tvx.streams.slots[k];
    const tvx_constituent* l = lakes ? tvx.lakes.slots[k] : nullptr;
    linknode_series_set_flat(t.st_mass[k], 8 + k, s.mass.data, l ? l->mass.data : nullptr, m);
    linknode_series_open(t.st_mass[k], out.file, ".mass", "", 1.0);
    linknode_series_set_flat(t.st_conc[k], 17 + k, s.conc.data, l ? l->conc.data : nullptr, m);
    linknode_series_open(t.st_conc[k], out.file, ".conc", "", 1.0);
  }
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
    place_map_on_grid(t.ov_mass_maps[k], mass, m);
    map_series_writer_open(t.ov_mass_maps[k], type, out.file, ".mass", ".asc", mass_ids[k], "OV_" + code + "_mass", m);
    place_map_on_grid(t.ov_conc_maps[k], conc, m);
    map_series_writer_open(t.ov_conc_maps[k], type, out.file, ".conc", ".asc", conc_ids[k], "OV_" + code + "_conc", m);
  }
  if (!error_state.error_code && streams_sized(m)) open_tvx_stream_outputs(m);
}

void write_tvx_step_outputs(model_state& m) {
  tvx_map_writers& t = m.tvx_writers;
  const double time = m.elapsed_min;
  if (!m.tvx_state) return;
  if (m.total_ov_n_flag) map_series_write_step(t.total_ov_n, time);
  if (m.total_ov_p_flag) map_series_write_step(t.total_ov_p, time);
  // The totals were formed from this step's masses by the nutrient module's phase.
  const bool streams = streams_sized(m);
  if (streams) {
    if (m.total_chan_n_flag) linknode_series_write_step(t.total_chan_n);
    if (m.total_chan_kn_flag) linknode_series_write_step(t.total_chan_kn);
    if (m.total_chan_p_flag) linknode_series_write_step(t.total_chan_p);
  }
  for (int k = 0; k < 9 && !error_state.error_terminate; k++) {
    if (m.tvx_state->out_ov[k].flag == 1) {
      map_series_write_step(t.ov_mass_maps[k], time);
      map_series_write_step(t.ov_conc_maps[k], time);
    }
    if (streams && m.tvx_state->out_st[k].flag == 1) {
      linknode_series_write_step(t.st_mass[k]);
      linknode_series_write_step(t.st_conc[k]);
    }
  }
}

}  // namespace pluvo
