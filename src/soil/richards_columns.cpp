// The Richards soil table, the node layout of every cell's column and its initial state.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/richards_columns.hpp"
#include "soil/soil_phases.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

namespace {

// In the mapping-table layout the values of layer 1 start at this character of the class line.
constexpr size_t table_values_column = 87;
constexpr int havercamp_option = 2;

// One count line: the integer after an optional word; 0 when there is none.
int count_on_line(char* line, bool with_word) {
  char word[token_buffer_size];
  if (with_word && !next_token(line, word)) return 0;
  int32_t value = 0;
  next_int(line, value);
  return value;
}

// The values of one layer line into the columns of layer l (0-based) of the entry.
void store_layer(char* line, int option, int l, layered_soil_entry& e) {
  double v[12] = {};
  const int count = option == brooks_corey_option ? 10 : 12;
  for (int k = 0; k < count; ++k) next_double(line, v[k]);
  double* x = e.values;
  x[soil_col_conductivity + l] = v[0];
  x[soil_col_porosity + l] = v[1];
  x[soil_col_residual + l] = v[2];
  x[soil_col_initial + l] = v[3];
  x[soil_col_wilting + l] = v[4];
  x[soil_col_field_capacity + l] = v[5];
  x[soil_col_thickness + l] = v[6];
  if (option == brooks_corey_option) {
    x[soil_col_pore_index + l] = v[7];
    x[soil_col_bubbling + l] = -std::fabs(v[8]);
    x[soil_col_node_spacing + l] = v[9];
  } else {
    x[soil_col_alpha + l] = v[7];
    x[soil_col_beta + l] = v[8];
    x[soil_col_hav_a + l] = v[9];
    x[soil_col_hav_b + l] = v[10];
    x[soil_col_node_spacing + l] = v[11];
  }
}

// Every node of a column takes memory in every cell of its class: a column is at most this many
// nodes (a 100 m soil at 1 cm spacing).
constexpr double max_column_nodes = 10000.0;

// The nodes a class's layers make; NaN when a value is not a number.
double class_node_count(const layered_soil_entry& e) {
  double nodes = 0.0;
  for (int l = 0; l < 3; ++l) nodes += e.values[soil_col_thickness + l] / e.values[soil_col_node_spacing + l];
  return nodes;
}

// A layer that cannot make nodes (no thickness or spacing) would divide by zero.
bool class_usable(const layered_soil_entry& e) {
  for (int l = 0; l < 3; ++l)
    if (!(e.values[soil_col_node_spacing + l] > 0.0) || !(e.values[soil_col_thickness + l] >= 0.0)) return false;
  return true;
}

// The soil nodes of a class, and the layer counts num1, num2, num3.
void count_class_nodes(model_state& m, int c) {
  const double* x = m.layered_soil_table[size_t(c)].values;
  const int k1 = int(x[soil_col_thickness] / x[soil_col_node_spacing]);
  const int k12 = k1 + int(x[soil_col_thickness + 1] / x[soil_col_node_spacing + 1]);
  m.num1[size_t(c)] = k1;
  m.num2[size_t(c)] = k12;
  m.num3[size_t(c)] = k12 + int(x[soil_col_thickness + 2] / x[soil_col_node_spacing + 2]) + 1 -
                      (m.water_table_on ? 1 : 0);
}

// numtot and numcells of one cell from its class and the depth down to the aquifer bottom.
void lay_out_cell(model_state& m, int i) {
  const int c = m.soiltype[size_t(i)];
  const double* x = m.layered_soil_table[size_t(c)].values;
  const int soil = m.num3[size_t(c)];
  if (!m.water_table_on) {
    m.numtot[size_t(i)] = soil;
    m.numcells[size_t(i)] = soil;
    return;
  }
  const double t = x[soil_col_thickness] + x[soil_col_thickness + 1] + x[soil_col_thickness + 2];
  const double below = (m.elevation[size_t(i)] - m.bottom_elev[size_t(i)]) - t / 100.0;
  int total = soil + 1;
  if (below > 0.0) {
    const double k = below / m.aquifer_delta_z_value;
    if (k < 1.0) {
      total = soil + 2;
    } else {
      total = soil + int(k) + 1;
      if (k - std::floor(k) >= 0.25) total += 1;
    }
  }
  m.numtot[size_t(i)] = total;
  m.numcells[size_t(i)] = total + 9;
}

// The four evapotranspiration values of long-term runs go to every cell of the class.
void spread_et_values(model_state& m) {
  const int n = m.cell_count;
  std::vector<double>* targets[] = {&m.albedo_cell, &m.veg, &m.Kt, &m.Rs};
  for (int k = 0; k < 4; ++k) {
    std::vector<double>& v = *targets[k];
    if (v.size() != size_t(n) + 1) v.assign(size_t(n) + 1, 0.0);
    for (int i = 1; i <= n; ++i) v[size_t(i)] = m.layered_soil_table[size_t(m.soiltype[size_t(i)])].values[soil_col_et + k];
  }
}

// Layer (0, 1, 2) of node j of a class.
int node_layer(const model_state& m, int c, int j) {
  if (j <= m.num1[size_t(c)]) return 0;
  if (j > m.num2[size_t(c)]) return 2;
  return 1;
}

double cell_area(const model_state& m) { return m.cell_size * m.cell_size; }

// Fills every node of the column of cell i from its class.
void fill_column(model_state& m, int i) {
  const int c = m.soiltype[size_t(i)];
  const double* x = m.layered_soil_table[size_t(c)].values;
  const int n = m.numcells[size_t(i)];
  const int soil = m.num3[size_t(c)];
  const bool haverkamp = m.richards_c_option_value == havercamp_option;
  for (int j = 0; j <= n; ++j) {
    const int l = node_layer(m, c, j);
    m.THETA[i][j] = x[soil_col_initial + l];
    m.DZ[i][j] = x[soil_col_node_spacing + l];
    m.KS[i][j] = x[soil_col_conductivity + l];
    m.THETAS[i][j] = x[soil_col_porosity + l];
    m.THETAR[i][j] = x[soil_col_residual + l];
    m.THETAWP[i][j] = x[soil_col_wilting + l];
    m.THETAFC[i][j] = x[soil_col_field_capacity + l];
    if (haverkamp) {
      m.ALPHA[i][j] = x[soil_col_alpha + l];
      m.BETA[i][j] = x[soil_col_beta + l];
      m.AHAV[i][j] = x[soil_col_hav_a + l];
      m.BHAV[i][j] = x[soil_col_hav_b + l];
    } else {
      const double lam = x[soil_col_pore_index + l], hb = x[soil_col_bubbling + l];
      m.LAM[i][j] = lam;
      m.BP[i][j] = hb;
      m.thehac[i][j] = m.THETAS[i][j] * 2.0 / (2.0 + lam);
      m.BChc[i][j] = hb * std::pow(2.0 / (2.0 + lam), -1.0 / lam);
    }
    if (m.water_table_on && j > soil) m.DZ[i][j] = 100.0 * m.aquifer_delta_z_value;
  }
  // Below the soil, the last nodes hold the water that the aquifer trades with the column; they
  // are made slow and roomy so that it stays there. Soil nodes keep their own values.
  if (m.water_table_on && m.gw_simulation_on) {
    for (int j = std::max(soil + 1, n - 11); j <= n; ++j) {
      if (j == n) {
        m.KS[i][j] = 1e-6;
        m.THETAS[i][j] = 1.0;
      } else if (j == n - 1) {
        m.KS[i][j] = 1e-5;
        m.THETAS[i][j] = 0.8;
      } else {
        m.KS[i][j] /= 100.0;
        m.THETAS[i][j] = 0.75;
      }
    }
  }
  for (int j = 0; j <= n; ++j)
    retention_head(m.PHEAD, m.THETA, m.THETAS, m.THETAR, m.thehac, m.ALPHA, m.BETA, m.LAM, m.BP, i, j,
                   m.richards_c_option_value);
  update_column_conductivity(m, i);
  const double t = x[soil_col_thickness] + x[soil_col_thickness + 1] + x[soil_col_thickness + 2];
  m.avgks[size_t(i)] = t > 0.0 ? (x[soil_col_conductivity] * x[soil_col_thickness] +
                                  x[soil_col_conductivity + 1] * x[soil_col_thickness + 1] +
                                  x[soil_col_conductivity + 2] * x[soil_col_thickness + 2]) / t
                               : 0.0;
  m.totaldz[size_t(i)] = t;
}

// Under the aquifer the column ends at the water table from the start: the water of the nodes
// below it is the aquifer's, which holds it already, so the cut hands nothing over.
void end_column_at_water_table(model_state& m, int i) {
  update_soil_column_profile(m, i);
  if (size_t(i) < m.gw_unsat_exchange_cm.size()) m.gw_unsat_exchange_cm[size_t(i)] = 0.0;
  update_column_conductivity(m, i);
}

// The per-node rows of the frozen ground are sized for the soil-temperature nodes; under
// Richards columns they also hold one value per column node.
void widen_to_richards_nodes(model_state& m) {
  const int nodes = m.richards_nnodes;
  for (node_matrix<double>* a : {&m.fr_lq_wat, &m.K_init})
    if (!a->empty() && a->cols() < nodes) a->assign(m.cell_count, nodes, 0.0);
  if (!m.node_fromGIPL.empty() && m.node_fromGIPL.cols() < nodes) m.node_fromGIPL.assign(m.cell_count, nodes, 0);
}

}  // namespace

void update_column_conductivity(model_state& m, int i) {
  if (m.richards_c_option_value == brooks_corey_option)
    brooks_corey_layer_functions(m, i);
  else
    soil_retention_curve(m, i);
}

double root_zone_water_cm(const model_state& m, int i) {
  const double root = size_t(i) < m.root_depth.size() ? m.root_depth[size_t(i)] * 100.0 : 0.0;
  double covered = 0.0, water = 0.0;
  for (int j = 1; j < m.numcells[size_t(i)] && covered < root; ++j) {
    water += m.THETA[i][j] * m.DZ[i][j];
    covered += m.DZ[i][j];
  }
  return water;
}

double column_water_cm(const model_state& m, int i) {
  double water = 0.0;
  for (int j = 1; j < m.numcells[size_t(i)]; ++j) water += m.THETA[i][j] * m.DZ[i][j];
  return water;
}

int read_richards_soil_table(checked_file& file, int richards_scheme, model_state& m) {
  const bool plain = &file == &m.soil_layer_table_fp;
  const std::string& source = plain ? m.soil_layer_input_path : m.mapping_table_path;
  auto line = std::make_unique<char[]>(line_buffer_size);
  const auto next_line = [&](const char* what, int c) {
    if (read_line(line.get(), file)) return true;
    stop_run("Error: the Richards soil table %s ends before the %s of soil class %d\n", source.c_str(), what, c);
    return false;
  };
  if (!next_line("counts", 0)) return 0;
  const int classes = count_on_line(line.get(), !plain);
  if (!next_line("counts", 0)) return 0;
  if (!plain && !next_line("column headings", 0)) return 0;

  const int largest = int(layered_soil_table_size) - 1;
  m.num1.assign(layered_soil_table_size, 0);
  m.num2.assign(layered_soil_table_size, 0);
  m.num3.assign(layered_soil_table_size, 0);
  std::vector<char> read_class(layered_soil_table_size, 0);
  for (int k = 1; k <= classes; ++k) {
    if (!next_line("class line", k)) return 0;
    int32_t c = -1;
    next_int(line.get(), c);
    if (c < 0 || c > largest) {
      stop_run("Error: soil class %d of the Richards soil table %s is outside 0 to %d\n", c, source.c_str(), largest);
      return 0;
    }
    layered_soil_entry& e = m.layered_soil_table[size_t(c)];
    e = layered_soil_entry{};
    if (plain && m.long_term_on) {
      if (!next_line("evapotranspiration line", c)) return 0;
      char* rest = line.get();
      for (int v = 0; v < 4; ++v) next_double(rest, e.values[soil_col_et + v]);
    }
    for (int l = 0; l < 3; ++l) {
      if (l > 0 || plain) {
        if (!next_line("layer lines", c)) return 0;
        store_layer(line.get(), richards_scheme, l, e);
      } else {
        const size_t length = std::strlen(line.get());
        store_layer(line.get() + std::min(length, table_values_column), richards_scheme, l, e);
      }
    }
    if (!class_usable(e)) {
      stop_run("Error: soil class %d of the Richards soil table %s needs a layer thickness of 0 or more and a "
               "node spacing above 0 in every layer\n", c, source.c_str());
      return 0;
    }
    const double nodes = class_node_count(e);
    if (!(nodes <= max_column_nodes)) {
      stop_run("Error: soil class %d of the Richards soil table %s has layers of %g, %g and %g cm at node spacings "
               "of %g, %g and %g cm: %g nodes, outside 0..%g.\n",
               c, source.c_str(), e.values[soil_col_thickness], e.values[soil_col_thickness + 1],
               e.values[soil_col_thickness + 2], e.values[soil_col_node_spacing],
               e.values[soil_col_node_spacing + 1], e.values[soil_col_node_spacing + 2], nodes, max_column_nodes);
      return 0;
    }
    count_class_nodes(m, c);
    read_class[size_t(c)] = 1;
  }

  const int n = m.cell_count;
  m.numtot.assign(size_t(n) + 1, 0);
  m.numcells.assign(size_t(n) + 1, 0);
  int deepest = 0;
  for (int i = 1; i <= n; ++i) {
    const int c = m.soiltype[size_t(i)];
    if (c < 0 || c > largest || !read_class[size_t(c)]) {
      stop_run("Error: soil class %d of cell %d is not in the Richards soil table %s\n", c, i, source.c_str());
      return 0;
    }
    lay_out_cell(m, i);
    deepest = std::max(deepest, m.numcells[size_t(i)]);
  }
  if (plain && m.long_term_on) spread_et_values(m);
  return deepest + 2;
}

void init_richards_soil_columns(model_state& m) {
  const int n = m.cell_count;
  for (std::vector<double>* v : {&m.avgks, &m.totaldz, &m.inf_rich})
    if (v->size() != size_t(n) + 1) v->assign(size_t(n) + 1, 0.0);
  m.bound_type.assign(size_t(n) + 1, 1);
  if (m.yes_exfil.size() != size_t(n) + 1) m.yes_exfil.assign(size_t(n) + 1, 0);
  double root_zone = 0.0, column = 0.0;
  for (int i = 1; i <= n; ++i) {
    fill_column(m, i);
    if (m.water_table_on && m.gw_simulation_on) end_column_at_water_table(m, i);
    root_zone += root_zone_water_cm(m, i) / 100.0 * cell_area(m);
    column += column_water_cm(m, i) / 100.0 * cell_area(m);
  }
  // Frozen ground: each node takes its temperature from the soil-temperature column.
  if (m.permafrost_gipl_flag == 1 || m.multi_layer_infil_gipl_flag == 1) {
    widen_to_richards_nodes(m);
    for (int i = 1; i <= n; ++i) {
      build_gipl_node_maps(m, i);
      freeze_richards_column(m, i);
    }
  }
  if (m.summary_fp.is_open()) {
    std::fprintf(m.summary_fp.stream, "Inital volume of water in root zone= %lf \n \n", root_zone);
    std::fprintf(m.summary_fp.stream, "Inital volume of water in soil column= %lf \n \n", column);
  }
}

}  // namespace pluvo
