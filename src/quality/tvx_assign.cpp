// Initial concentrations and parameters of the nutrient constituents, each from the source its
// card chooses (a map, a uniform value or the mapping table), and the groundwater and soil
// values that come from the mapping tables alone.
#include <cstdio>
#include <string>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "input/ascii_map.hpp"
#include "input/mapping_tables.hpp"
#include "input/stream_tables.hpp"
#include "quality/tvx.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

// The tables that carry the water constituents, and the column of each constituent in its
// table: NO2..ON from TVX_N, OP and DP from TVX_P, Alg, CBOD and DO from TVX_OTH, whose
// presence and rain concentrations they take in that column order.
enum water_table { table_n, table_p, table_oth, water_table_count };
constexpr int table_of[tvx_water_count] = {table_n, table_n, table_n, table_n, table_p,
                                           table_p, table_oth, table_oth, table_oth};
constexpr int column_of[tvx_water_count] = {0, 1, 2, 3, 0, 1, 0, 1, 2};
constexpr int grid_table_ids[water_table_count] = {map_table::tvx_n, map_table::tvx_p, map_table::tvx_oth};
constexpr int stream_table_codes[water_table_count] = {stream_table::tvx_n, stream_table::tvx_p,
                                                       stream_table::tvx_oth};
constexpr int precip_counts[water_table_count] = {4, 3, 3};

constexpr int map_table_tvx_soil_c = 25;
constexpr int map_table_tvx_soil_n = 26;
constexpr int map_table_tvx_soil_p = 27;
constexpr int map_table_tvx_gw_n = 28;
constexpr int map_table_tvx_gw_p = 29;
constexpr int map_table_tvx_gw_oth = 30;
constexpr int map_table_tvx_soil_km = 31;
constexpr int map_table_tvx_soil_koc = 32;

// Bits of a link type that mark a channel section: trapezoid, break-point, other.
constexpr int section_bits = 4 | 8 | 16;

bool grid_table_present(const model_state& m, int id) {
  return m.mapping_table_on && m.grid_table_presence[presence_slot(id)] != 0;
}

// Slots of stream_table_presence: roughness, TVX_N, TVX_P, TVX_OTH, TVX_C, DISPERSION.
bool stream_table_present(const model_state& m, int code) {
  const int slot = code == stream_table::tvx_n     ? 1
                   : code == stream_table::tvx_p   ? 2
                   : code == stream_table::tvx_oth ? 3
                   : code == stream_table::tvx_c   ? 4
                                                   : 5;
  return m.st_mapping_table_on && m.stream_table_presence[slot] != 0;
}

void say(const model_state& m, const char* format, const char* name) {
  if (m.silent_mode != 1) message_out(format, name);
}

// Per-cell columns of a grid table, each cells + 1 long; false after a reported error.
bool read_grid_columns(model_state& m, int id, int count, std::vector<std::vector<double>>& columns,
                       int precip_count = 0, std::vector<double>* precip = nullptr) {
  columns.assign(size_t(count), std::vector<double>(size_t(m.cell_count) + 1, 0.0));
  table_outputs outputs{};
  for (int c = 0; c < count && c < max_generic_columns; ++c) outputs[size_t(c)] = &columns[size_t(c)];
  return read_index_map_table(map_table_target_of(m), m.mapping_table_path, id, outputs, precip_count, precip) != 0;
}

void copy_column(const std::vector<double>& from, checked_array<double>& to, int count) {
  for (int i = 1; i <= count && size_t(i) < from.size(); ++i) to[i] = from[size_t(i)];
}

// A real masked grid onto the cells; false when the file does not open.
bool read_cell_map(model_state& m, const std::string& file, std::vector<double>& values) {
  checked_file f;
  if (!checked_file_open(f, file.c_str(), 'r')) return false;
  values.assign(size_t(m.cell_count) + 1, 0.0);
  read_ascii_map(f, file.c_str(), 3, m.grid_north, m.grid_south, m.grid_east, m.grid_west, m.grid_rows, m.grid_cols,
                 m.cell_number_grid, &values, nullptr, nullptr, m.project_rows, m.project_cols, m.silent_mode);
  checked_file_close(f);
  return true;
}

void form_cell_masses(const model_state& m, tvx_constituent& c) {
  const double dx = m.cell_size;
  for (int i = 1; i <= m.cell_count; ++i) c.mass[i] = dx * m.ov_depth[size_t(i)] * dx * c.conc[i];
}

// One overland constituent from its card; false when the assignment must stop.
bool assign_overland_constituent(model_state& m, const tvx_init_entry& card, int k, tvx_constituent& c, bool present) {
  const char* name = tvx_water_constituent_names[k];
  switch (card.kind) {
    case 1: {
      std::vector<double> v;
      if (!read_cell_map(m, card.file, v)) {
        message_out("Error opening initial condition continuous map file \nfor the grid %s constituent. \n"
                    "Given filename: %s\n", name, card.file.c_str());
        set_error(80, "", card.file);
        return false;
      }
      if (error_state.error_terminate) return false;
      say(m, "Assigning parameters from a continuous map for the constituent %s\n", name);
      copy_column(v, c.conc, m.cell_count);
      form_cell_masses(m, c);
      return true;
    }
    case 2:
      if (!present) {
        set_error(119, name);
        return false;
      }
      say(m, "Assigning parameters for the %s constituent from the mapping table.\n", name);
      form_cell_masses(m, c);
      return true;
    case 3:
      say(m, "Assigning spatially uniform parameters for the %s constituent\n", name);
      for (int i = 1; i <= m.cell_count; ++i) c.conc[i] = card.value;
      form_cell_masses(m, c);
      return true;
    default: return true;
  }
}

// One of the three overland parameters (index 9 carbon, 10 its organic fraction, 11 dispersion).
bool assign_overland_parameter(model_state& m, const tvx_init_entry& card, int index, checked_array<double>& to,
                               bool present) {
  const char* name = tvx_water_constituent_names[index];
  const bool dispersion = index == 11;
  switch (card.kind) {
    case 1: {
      std::vector<double> v;
      if (!read_cell_map(m, card.file, v)) {
        message_out(dispersion ? "Error opening initial condition continuous map file \nfor the overland grid %s "
                                 "constituent. \nGiven filename: %s\n"
                               : "Error opening initial condition continuous map file \nfor the grid %s constituent. "
                                 "\nGiven filename: %s\n",
                    name, card.file.c_str());
        set_error(80, "", card.file);
        return false;
      }
      if (error_state.error_terminate) return false;
      say(m, dispersion ? "Assigning parameters from a continuous map for the overland constituent %s\n"
                        : "Assigning parameters from a continuous map for the constituent %s\n", name);
      copy_column(v, to, m.cell_count);
      return true;
    }
    case 2:
      if (!present) {
        set_error(119, name);
        return false;
      }
      say(m, dispersion ? "Assigning parameters for the overland constituent %s from the mapping table.\n"
                        : "Assigning parameters for the %s constituent from the mapping table.\n", name);
      return true;
    case 3:
      say(m, dispersion ? "Assigning spatially uniform parameters for the overland constituent %s\n"
                        : "Assigning spatially uniform parameters for the %s constituent\n", name);
      for (int i = 1; i <= m.cell_count; ++i) to[i] = card.value;
      return true;
    default: return true;
  }
}

stream_network_shape stream_shape(model_state& m) {
  stream_network_shape shape;
  shape.nlinks = m.nlinks;
  shape.max_nodes = m.chan_node_extent - 1;
  shape.nx = &m.nx;
  return shape;
}

// Calls f(link, node, key) for the nodes of every link with a channel section.
template <typename F>
void for_section_nodes(const model_state& m, F f) {
  for (int l = 1; l <= m.nlinks; ++l) {
    if (!(m.ltype[size_t(l)] & section_bits)) continue;
    for (int n = 1; n <= m.nx[size_t(l)] && n < m.chan_node_extent; ++n) f(l, n, l * m.chan_node_extent + n);
  }
}

void copy_stream_column(const std::vector<double>& from, checked_array<double>& to, const model_state& m) {
  for (int i = 0; i < m.chan_slot_count && size_t(i) < from.size(); ++i) to[i] = from[size_t(i)];
}

// Reads the stream block onto the node keys of the given arrays; false after a reported error.
bool read_stream_block(model_state& m, int code, std::initializer_list<checked_array<double>*> to) {
  std::vector<double> columns[4];
  stream_table_outputs outputs{};
  size_t c = 0;
  for (c = 0; c < to.size() && c < 4; ++c) {
    columns[c].assign(size_t(m.chan_slot_count), 0.0);
    outputs[c] = &columns[c];
  }
  if (!read_stream_index_map_tables(m.st_mapping_table_path, code, outputs, stream_shape(m))) return false;
  c = 0;
  for (checked_array<double>* a : to) copy_stream_column(columns[c++], *a, m);
  return true;
}

}  // namespace

void assign_constituent_parameters(tvx_object& t, model_state& m) {
  const int f = m.first_type2_constituent;
  if (f < 1) return;
  tvx_overland& o = t.overland;
  // Only the nine water constituents carry rain; the soil pools after them keep theirs.
  for (int k = 0; k < tvx_water_count; ++k) m.precip_conc[f + k] = 0.0;
  bool present[water_table_count] = {};
  std::vector<double> precip[water_table_count];
  std::vector<std::vector<double>> columns;
  for (int w = 0; w < water_table_count; ++w) {
    if (!grid_table_present(m, grid_table_ids[w])) continue;
    if (!read_grid_columns(m, grid_table_ids[w], precip_counts[w], columns, precip_counts[w], &precip[w])) return;
    present[w] = true;
    for (int k = 0; k < tvx_water_count; ++k)
      if (table_of[k] == w) copy_column(columns[size_t(column_of[k])], o.slots[k]->conc, m.cell_count);
  }
  bool carbon = false, dispersion = false;
  if (grid_table_present(m, map_table::tvx_c)) {
    if (!read_grid_columns(m, map_table::tvx_c, 2, columns)) return;
    copy_column(columns[0], o.dissOrgC, m.cell_count);
    copy_column(columns[1], o.dissOrgC_FOC, m.cell_count);
    carbon = true;
  }
  if (grid_table_present(m, map_table::dispersion)) {
    if (!read_grid_columns(m, map_table::dispersion, 1, columns)) return;
    copy_column(columns[0], o.dispersion, m.cell_count);
    dispersion = true;
  }
  for (int k = 0; k < tvx_water_count; ++k) {
    const int w = table_of[k];
    const size_t column = size_t(column_of[k]) + 1;
    m.precip_conc[f + k] = column < precip[w].size() ? precip[w][column] : 0.0;
    if (!assign_overland_constituent(m, t.ov_init[k], k, *o.slots[k], present[w])) return;
  }
  if (!assign_overland_parameter(m, t.ov_init[9], 9, o.dissOrgC, carbon)) return;
  if (!assign_overland_parameter(m, t.ov_init[10], 10, o.dissOrgC_FOC, carbon)) return;
  assign_overland_parameter(m, t.ov_init[11], 11, o.dispersion, dispersion);
}

void assign_mapped_nutrient_tables(model_state& m) {
  const int f = m.first_type2_constituent;
  if (f < 1) return;
  if (m.gw_cell_conc.rows() < m.num_constituents || m.gw_cell_conc.cols() < m.cell_count)
    m.gw_cell_conc.assign(m.num_constituents, m.cell_count);
  // Table, its columns, the constituent (from NO2) of its first column and how many it fills.
  const struct {
    int id, columns, first, used;
  } tables[] = {{map_table_tvx_gw_n, 4, 0, 4}, {map_table_tvx_gw_p, 4, 4, 3}, {map_table_tvx_gw_oth, 2, 7, 2}};
  std::vector<std::vector<double>> columns;
  for (const auto& g : tables) {
    if (!grid_table_present(m, g.id)) continue;
    if (!read_grid_columns(m, g.id, g.columns, columns)) return;
    for (int c = 0; c < g.used; ++c) {
      double* row = m.gw_cell_conc[f + g.first + c];
      for (int i = 1; i <= m.cell_count; ++i) row[i] = columns[size_t(c)][size_t(i)];
    }
  }
}

// One stream constituent from its card; the error state tells whether it was assigned.
void assign_stream_constituent_parameters(model_state& m, const tvx_init_entry& card, const char* name,
                                          tvx_constituent& c, bool present, bool parameter_only) {
  const auto form_mass = [&](int l, int, int key) {
    if (!parameter_only) c.mass[key] = m.link_dx[size_t(l)] * m.area[size_t(key)] * c.conc[key];
  };
  switch (card.kind) {
    case 3:
      say(m, "Assigning spatially uniform parameters for the stream constituent %s\n", name);
      for_section_nodes(m, [&](int l, int n, int key) {
        c.conc[key] = card.value;
        form_mass(l, n, key);
      });
      break;
    case 1: {
      std::vector<double> values(size_t(m.chan_slot_count), 0.0);
      if (read_stream_map(card.file, stream_shape(m), nullptr, &values, 2) == -1) {
        message_out("Error opening initial condition continuous map file \nfor the stream %s constituent. \n"
                    "Given filename: %s\n", name, card.file.c_str());
        set_error(80, "", card.file);
        break;
      }
      if (error_state.error_terminate) break;
      say(m, "Assigning parameters from a continuous map for the stream constituent %s\n", name);
      copy_stream_column(values, c.conc, m);
      for_section_nodes(m, form_mass);
      break;
    }
    case 2:
      if (!present) {
        set_error(120, name);
        break;
      }
      say(m, "Assigning parameters for the stream constituent %s from the mapping table.\n", name);
      break;
    default: break;
  }
}

void assign_stream_constituents(tvx_object& t, model_state& m) {
  tvx_streams& s = t.streams;
  if (s.slots.count < tvx_water_count) return;
  bool present[water_table_count] = {};
  for (int w = 0; w < water_table_count; ++w) {
    if (!stream_table_present(m, stream_table_codes[w])) continue;
    if (w == table_n && !read_stream_block(m, stream_table::tvx_n, {&s.slots[0]->conc, &s.slots[1]->conc,
                                                                    &s.slots[2]->conc, &s.slots[3]->conc}))
      return;
    if (w == table_p && !read_stream_block(m, stream_table::tvx_p, {&s.slots[4]->conc, &s.slots[5]->conc}))
      return;
    if (w == table_oth &&
        !read_stream_block(m, stream_table::tvx_oth, {&s.slots[6]->conc, &s.slots[7]->conc, &s.slots[8]->conc}))
      return;
    present[w] = true;
  }
  if (stream_table_present(m, stream_table::tvx_c) &&
      !read_stream_block(m, stream_table::tvx_c, {&s.dissOrgC, &s.dissOrgC_FOC}))
    return;
  if (stream_table_present(m, stream_table::dispersion) &&
      !read_stream_block(m, stream_table::dispersion, {&s.dispersion}))
    return;
  for (int k = 0; k < tvx_water_count; ++k)
    assign_stream_constituent_parameters(m, t.st_init[k], tvx_water_constituent_names[k], *s.slots[k],
                                         present[table_of[k]], false);
}

void assign_soil_nutrient_tables(model_state& m) {
  if (!m.soil_con_trans_on || !m.tvx_state) return;
  tvx_soils& s = m.tvx_state->soils;
  const int f = m.first_type2_constituent;
  if (f < 1 || s.slots.count < tvx_soil_pool_count) return;
  // Switch, table, first pool and pool count of the three soil tables.
  const struct {
    int on, id, first, count;
  } tables[] = {{m.soils_tvx_n, map_table_tvx_soil_n, 2, 5},
                {m.soils_tvx_p, map_table_tvx_soil_p, 7, 6},
                {m.soils_tvx_c, map_table_tvx_soil_c, 0, 2}};
  std::vector<std::vector<double>> columns;
  for (const auto& t : tables) {
    if (t.on != 2 || !grid_table_present(m, t.id)) continue;
    if (!read_grid_columns(m, t.id, t.count, columns)) return;
    for (int p = 0; p < t.count; ++p) {
      double* soil_value = checked_array_2d_row(m.ov_land_load, f + t.first + p);
      checked_array_2d<double>& pool = *s.slots[t.first + p + 1];
      for (int c = 1; c <= m.cell_count; ++c) {
        const double v = columns[size_t(p)][size_t(c)];
        if (soil_value) soil_value[c] = v;
        if (c <= pool.row_count) pool.rows[c][1] = v;
      }
    }
  }
  for (int slot = 1; slot <= tvx_soil_pool_count; ++slot) {
    checked_array_2d<double>& pool = *s.slots[slot];
    for (int c = 1; c <= pool.row_count; ++c) pool.rows[c][1] *= 1000.0;
  }
  const struct {
    int id, offset;
  } coefficients[] = {{map_table_tvx_soil_km, 0}, {map_table_tvx_soil_koc, 6}};
  for (const auto& k : coefficients) {
    if (!grid_table_present(m, k.id)) continue;
    if (!read_grid_columns(m, k.id, 6, columns)) return;
    if (s.km_koc_rows.row_count != m.cell_count) {
      checked_array_2d_destroy(s.km_koc_rows);
      checked_array_2d_grow_fill(s.km_koc_rows, m.cell_count, 0.0, 11);
      for (int c = 1; c <= s.km_koc_rows.row_count; ++c) s.km_koc_rows.rows[c][0] = 0.0;
    }
    for (int c = 1; c <= s.km_koc_rows.row_count; ++c)
      for (int j = 0; j < 6; ++j) s.km_koc_rows.rows[c][k.offset + j] = columns[size_t(j)][size_t(c)];
  }
}

}  // namespace pluvo
