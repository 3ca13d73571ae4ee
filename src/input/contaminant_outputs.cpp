// The contaminant map and channel outputs written with ALL_CONTAM_OUTPUT, and the nutrient
// outputs in the style of hydrographs.
#include <cstdio>
#include <string>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/input_phases.hpp"
#include "input/neighbour_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

int map_output_type(const model_state& m) {
  if (m.map_type_zero_on) return 1;
  if (m.map_output_type2) return 3;
  return 2;  // a PAXL grid never gets this far: the run parameters refuse it
}

void set_up_map_series(model_state& m, map_series_writer& w, const double* values) {
  w.values = values;
  w.cell_map = &m.cell_number_grid;
  w.rows = m.grid_rows;
  w.cols = m.grid_cols;
  w.north = m.grid_north;
  w.south = m.grid_south;
  w.east = m.grid_east;
  w.west = m.grid_west;
  w.cell_size = m.cell_size;
  w.nodata = -999.99;
  w.precision = 6;
  w.conversion = 1000.0;
}

std::string numbered(const char* stem, int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%s_%02d", stem, i);
  return text;
}

}  // namespace

void name_contaminant_map_outputs(model_state& m) {
  m.contaminant_writers.clear();
  m.contam_map_writer_count = 0;
  m.contaminant_writers.emplace_back();  // element 0 is not used
  for (int c = 1; c <= m.num_constituents && size_t(c) < m.constituent_map_output_on.size(); ++c)
    if (m.constituent_map_output_on[size_t(c)]) {
      m.contaminant_writers.emplace_back();
      m.contaminant_writers.back().constituent = c;
    }
  const int count = int(m.contaminant_writers.size()) - 1;
  m.contam_map_writer_count = count;
  if (count == 0) return;
  const int type = map_output_type(m);
  // Writer i belongs to the i-th flagged constituent; its series are numbered by i.
  for (int i = 1; i <= count; ++i) {
    contaminant_output_writers& w = m.contaminant_writers[size_t(i)];
    const int c = w.constituent;
    const std::string& name = m.constituent_output_name[size_t(c)];
    set_up_map_series(m, w.conc, checked_array_2d_row(m.ov_conc, c));
    neighbour_services.map_series_writer_open(w.conc, type, name, ".conc", ".asc",
                                              (i - 1) * m.num_constituents + 5000, numbered("conc", i), m);
    set_up_map_series(m, w.mass, checked_array_2d_row(m.ov_mass, c));
    neighbour_services.map_series_writer_open(w.mass, type, name, ".mass", ".asc",
                                              (i - 1) * m.num_constituents + 5001, numbered("mass", i), m);
  }
}

void name_contaminant_chan_outputs(model_state& m) {
  if (m.contam_map_writer_count == 0 || !m.chan_con_trans_on) return;
  m.contam_chan_writer_count = m.contam_map_writer_count;
  for (int i = 1; i <= m.contam_chan_writer_count; ++i) {
    contaminant_output_writers& w = m.contaminant_writers[size_t(i)];
    const int c = w.constituent;
    const std::string& name = m.constituent_output_name[size_t(c)];
    neighbour_services.linknode_series_set_flat(w.chan_conc, 27, checked_array_2d_row(m.chan_node_conc, c),
                                                m.lakes_on ? checked_array_2d_row(m.lake_con_conc, c) : nullptr, m);
    neighbour_services.linknode_series_open(w.chan_conc, name, ".chan", ".conc", 1.0);
    neighbour_services.linknode_series_set_flat(w.chan_mass_series, 26, checked_array_2d_row(m.chan_node_mass, c),
                                                m.lakes_on ? checked_array_2d_row(m.lake_con_mass, c) : nullptr, m);
    neighbour_services.linknode_series_open(w.chan_mass_series, name, ".chan", ".mass", 1.0);
  }
}

namespace {

bool open_total(checked_file& f, int flag, const std::string& name, const char* kind) {
  if (!flag || checked_file_open(f, name.c_str(), 'w')) return true;
  set_error(4, kind, name);
  return false;
}

bool open_nutrient_output(checked_file& f, const std::string& name, int k, const char* what) {
  if (checked_file_open(f, name.c_str(), 'w')) return true;
  char text[2600];
  std::snprintf(text, sizeof text,
                "Error opening nutrient %s output file (hydrograph style )\nfor the %s hydrograph file. \n"
                "Given filename: %.2047s\n",
                what, tvx_water_constituent_names[k], name.c_str());
  write_log_message(error_log_file ? error_log_file->stream : nullptr, text);
  set_error(4, std::string("nutrient ") + what, name);
  return false;
}

}  // namespace

void open_tvx_hydrograph_outputs(model_state& m) {
  if (!open_total(m.total_chan_n_fp, m.total_chan_n_flag, m.total_chan_n_file, "output total channel nitrogen") ||
      !open_total(m.total_chan_kn_fp, m.total_chan_kn_flag, m.total_chan_kn_file,
                  "output total channel Kjeldahl nitrogen") ||
      !open_total(m.total_chan_p_fp, m.total_chan_p_flag, m.total_chan_p_file, "output total channel phosphorus"))
    return;
  if (!m.tvx_state) return;
  for (int k = 0; k < 9; ++k) {
    const tvx_output_entry& out = m.tvx_state->out_hyd[k];
    if (out.flag != 1) continue;
    if (!open_nutrient_output(m.tvx_hyd_conc_fp[k], out.file + ".conc", k, "concentration") ||
        !open_nutrient_output(m.tvx_hyd_mass_fp[k], out.file + ".mass", k, "mass"))
      return;
  }
}

}  // namespace pluvo
