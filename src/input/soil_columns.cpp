// Richards soil columns and the three-layer Green and Ampt soil table.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "common/process.hpp"
#include "input/grid_setup.hpp"
#include "input/neighbour_services.hpp"
#include "input/property_readers.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double smallest = 1e-16;
constexpr int max_conductivity_tokens = 87;

void say(const model_state& m, const char* text) {
  if (m.super_quiet_on == 0 && process_index == 0) message_out("%s", text);
}

// One layer of a soil as the table gives it.
struct soil_layer {
  double k = 0.0, lambda = 0.0, suction = 0.0, porosity = 0.0, field_capacity = 0.0, wilting_point = 0.0,
         residual = 0.0, initial = 0.0, depth = 0.0;
};

// The first value of the line that is not 0 (a NaN stops too): text and zero columns before the
// conductivity are passed over.
double take_conductivity(char* line) {
  double v = 0.0;
  for (int t = 0; t < max_conductivity_tokens; ++t) {
    if (!next_double(line, v)) return 0.0;
    if (v != 0.0) return v;
  }
  return v;
}

// Reads the values after the conductivity and checks them; false with the reason in problem.
bool take_layer(char* line, int layer, int soil, soil_layer& s, std::string& problem) {
  next_double(line, s.lambda);
  if (!(s.lambda >= smallest && s.lambda <= 1.0)) {
    problem += format_text("Lamda for layer %d of soil %d must be between 0.0 and 1.0 \n", layer, soil);
    return false;
  }
  next_double(line, s.suction);
  if (!(s.suction >= smallest)) {
    problem += format_text("Suction head for layer %d of soil %d must be greater than zero \n", layer, soil);
    return false;
  }
  next_double(line, s.porosity);
  if (!(s.porosity >= smallest && s.porosity <= 1.0)) {
    problem += format_text("Porosity for layer %d of soil %d must be between 0.0 and 1.0 \n", layer, soil);
    return false;
  }
  next_double(line, s.field_capacity);
  if (!(s.field_capacity >= smallest && s.field_capacity <= s.porosity)) {
    problem += format_text("Field Capacity for layer %d of soil %d must be between 0.0 and porosity \n", layer, soil);
    return false;
  }
  next_double(line, s.wilting_point);
  if (!(s.wilting_point >= smallest && s.wilting_point <= s.field_capacity)) {
    problem += format_text("Wilting point for layer %d of soil %d must be between 0.0 and field capacity \n", layer,
                soil);
    return false;
  }
  next_double(line, s.residual);
  if (!(s.residual >= smallest && s.residual <= s.wilting_point)) {
    problem += format_text("Residual saturation for layer %d of soil %d must be between 0.0 and wilting point \n", layer,
                soil);
    return false;
  }
  next_double(line, s.initial);
  if (!(s.initial >= s.residual && s.initial <= s.porosity)) {
    problem += format_text(
        "Initial moisture for layer %d of soil %d must be between residual saturation and porosity \n ",
        layer, soil);
    return false;
  }
  if (layer < 3) next_double(line, s.depth);
  return true;
}

void store_soil(layered_soil_entry& e, const soil_layer (&layers)[3]) {
  for (int l = 0; l < 3; ++l) {
    const soil_layer& s = layers[l];
    e.values[0 + l] = s.suction;
    e.values[4 + l] = s.k;
    e.values[7 + l] = s.porosity;
    e.values[10 + l] = s.initial;
    e.values[13 + l] = s.wilting_point;
    e.values[16 + l] = s.field_capacity;
    e.values[19 + l] = s.residual;
    e.values[25 + l] = s.lambda;
  }
  e.values[22] = layers[0].depth;
  e.values[23] = layers[1].depth;
}

// One count line: a keyword and an integer; 0 when the line is missing or holds none.
int read_count_line(checked_file& file, char* line) {
  if (!read_line(line, file)) return 0;
  char keyword[32];
  int count = 0;
  if (std::sscanf(line, "%16s %d", keyword, &count) != 2) return 0;
  return count;
}

void allocate_richards_arrays(model_state& m, int n, int nodes) {
  node_matrix<double>* matrices[] = {&m.PHEAD, &m.KHEAD, &m.THETA,  &m.WATCAP, &m.WATFLUX, &m.SOURCE,
                                     &m.DZ,    &m.KS,    &m.THETAS, &m.THETAR, &m.THETAWP, &m.THETAFC,
                                     &m.LAM,   &m.BP,    &m.thehac, &m.BChc};
  for (node_matrix<double>* a : matrices) a->assign(n, nodes, 0.0);
  if (m.richards_c_option_value == 2)
    for (node_matrix<double>* a : {&m.AHAV, &m.BHAV, &m.ALPHA, &m.BETA}) a->assign(n, nodes, 0.0);
  // The solver also sweeps the groundwater cells with these when they outnumber the nodes.
  const int bound = (m.gw_simulation_on == 1 && nodes <= n) ? n : nodes;
  for (std::vector<double>* v : {&m.A, &m.B, &m.C, &m.D}) v->assign(size_t(bound) + 1, 0.0);
  m.richards_node_work_1.assign(size_t(nodes) + 1, 0.0);
  m.richards_node_work_2.assign(size_t(nodes) + 1, 0.0);
}

void set_root_depths(model_state& m, int n) {
  if (!m.root_depth.empty()) return;
  m.root_depth.assign(size_t(n) + 1, 0.0);
  const double depth = m.soil_moist_depth_cm / 100.0;
  const bool by_vegetation = m.long_term_on && m.et_calc_penman_on && m.veg.size() == size_t(n) + 1;
  for (int i = 1; i <= n; ++i) m.root_depth[i] = by_vegetation ? std::min(m.veg[i], depth) : depth;
}

}  // namespace

int read_multilayer_soil_table(checked_file& file, model_state& m, std::string& problem) {
  auto line = std::make_unique<char[]>(line_buffer_size);
  const int soils = read_count_line(file, line.get());
  read_count_line(file, line.get());
  skip_table_header_line(file);
  if (soils < 1) return soils;
  const int largest_id = int(layered_soil_table_size) - 1;
  for (int n = 1; n <= soils; ++n) {
    soil_layer layers[3];
    int32_t id = 0;
    for (int l = 1; l <= 3; ++l) {
      if (!read_line(line.get(), file)) {
        problem += format_text("Error: the multi layer soil table ends before layer %d of its soil %d\n", l, n);
        return 0;
      }
      if (l == 1) {
        next_int(line.get(), id);
        if (id < 0 || id > largest_id) {
          problem += format_text("Error: soil id %d of the multi layer soil table is outside 0 to %d\n", id, largest_id);
          return 0;
        }
      }
      layers[l - 1].k = take_conductivity(line.get());
      if (!take_layer(line.get(), l, id, layers[l - 1], problem)) return 0;
    }
    for (int l = 2; l <= 3; ++l)
      if (layers[l - 1].k < smallest) {
        if (l == 2)
          problem += format_text("Soil hydraulic conductivity for layer 2 of soil %d must be greater than zero \n", id);
        else
          problem += format_text("Soil hydraulic conductivity for layer 3 of soil %d must be greater than zero \n", id);
        return 0;
      }
    store_soil(m.layered_soil_table[size_t(id)], layers);
  }
  return soils;
}

void setup_richards_soil_columns(model_state& m) {
  if (m.inf_richards_on != 1) return;
  const int n = m.cell_count;
  ensure_cells(m.soiltype, n);
  ensure_cells(m.numcells, n);
  say(m, "Reading Soil Table");
  const int scheme = m.richards_c_option_value;
  if (scheme != 1 && scheme != 2) {
    stop_run("\nError: Richards infiltration needs the retention model RICHARDS_C_OPTION brooks or havercamp; "
             "the option is %d\n", scheme);
    return;
  }
  int nodes = 0;
  const bool from_file = m.soil_layer_table_fp.is_open();
  if (from_file) {
    // The plain soil table names classes; the soil type map gives each cell its class.
    if (m.soil_type_fp.is_open() && !read_soil_type_map(m)) return;
    nodes = neighbour_services.read_richards_soil_table(m.soil_layer_table_fp, scheme, m);
    checked_file_close(m.soil_layer_table_fp);
  } else {
    nodes = read_layered_soil_map_table(m, scheme, [&m, scheme](checked_file& f) {
      return neighbour_services.read_richards_soil_table(f, scheme, m);
    });
  }
  if (error_state.error_terminate) return;
  if (!soil_classes_in_table(m, from_file ? m.soil_layer_input_path : m.mapping_table_path)) return;
  if (nodes < 1) {
    stop_run("\nError: the Richards soil table gave the soil columns no nodes\n");
    return;
  }
  m.richards_nnodes = nodes;
  std::fputs("   Done\n", stdout);
  allocate_richards_arrays(m, n, nodes);
  set_root_depths(m, n);
  ensure_cells(m.dtr, n);
  ensure_cells(m.yes_exfil, n);
  ensure_cells(m.surface_moisture, n);
  say(m, "Initialize Richards Params");
  neighbour_services.init_richards_soil_columns(m);
  if (error_state.error_terminate) return;
  for (int i = 1; i <= n; ++i) {
    m.dtr[i] = m.time_step / 3600.0;
    if (m.water_table_on && m.yes_exfil[i] == 1) m.exfiltration_any = 1;
    m.surface_moisture[i] = m.THETA[i][1];
  }
  say(m, "   Done\n");
}

}  // namespace pluvo
