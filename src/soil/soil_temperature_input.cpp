// The permafrost soil table: its counts, the names of its three side files (initial temperature
// profiles, node depths, output nodes) and the layer properties of every soil type.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "input/mapping_tables.hpp"
#include "record/model_state.hpp"
#include "soil/soil_phases.hpp"

namespace pluvo {

namespace {

// Limits on the counts, so that a mistyped count stops with a message instead of sizing the
// tables from it.
constexpr int most_types = 10000;
constexpr int most_layers = 1000;
constexpr int most_points = 100000;

struct table_reader {
  checked_file& file;
  model_state& m;
  std::unique_ptr<char[]> line = std::make_unique<char[]>(line_buffer_size);

  const char* name() const { return file.path.c_str(); }

  bool next_line(const char* what) {
    if (read_line(line.get(), file)) return true;
    stop_run("Error: the permafrost soil table in %s ends before %s\n", name(), what);
    return false;
  }

  bool in_range(const char* what, int value, int low, int high) const {
    if (value >= low && value <= high) return true;
    stop_run("Error: %s %d in the permafrost soil table in %s is outside %d to %d\n", what, value, name(), low,
             high);
    return false;
  }

  bool count_line(const char* format, const char* what, int low, int high, int32_t& value) {
    if (!next_line(what)) return false;
    char label[32] = {};
    int v = 0;
    if (std::sscanf(line.get(), format, label, &v) != 2) {
      stop_run("Error: the line for %s in the permafrost soil table in %s is not a label and a number\n", what,
               name());
      return false;
    }
    if (!in_range(what, v, low, high)) return false;
    value = v;
    return true;
  }

  bool file_line(const char* what, std::string& file_name) {
    if (!next_line(what)) return false;
    std::string label;
    if (!next_token(line.get(), label) || !next_token(line.get(), file_name)) {
      stop_run("Error: the line for %s in the permafrost soil table in %s is not a label and a file name\n", what,
               name());
      return false;
    }
    return true;
  }
};

bool read_layer(const char* text, gipl_layer& l) {
  return std::sscanf(text, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &l.Thick, &l.Tfr, &l.Wvol, &l.Wunf, &l.Tfr_a,
                     &l.Bclv, &l.Cclv, &l.Cond_th, &l.Cond_fr, &l.Cvol) == 10;
}

bool read_soil_types(table_reader& r) {
  gipl_soil_table& g = r.m.gipl_state;
  const size_t types = size_t(g.type_count) + 1;
  g.layers.assign(types, {});
  g.Dn_nums.assign(types, 0);
  g.Dn_init_nums.assign(types, 0);
  g.Dn_out_nums.assign(types, 0);
  for (int s = 1; s <= g.type_count; ++s) {
    if (!r.next_line("the line of a permafrost soil type")) return false;
    int layers = 0, points = 0, nodes = 0, outputs = 0, taken = 0;
    gipl_layer first;
    const int got = std::sscanf(r.line.get(), "%*s %d %d %d %d %n", &layers, &points, &nodes, &outputs, &taken);
    if (got != 4 || !read_layer(r.line.get() + taken, first)) {
      stop_run("Error: the line of permafrost soil type %d in %s needs an identifier, four counts and ten layer "
               "values\n",
               s, r.name());
      return false;
    }
    if (!r.in_range("the layer count", layers, 1, g.max_layers) ||
        !r.in_range("the initial temperature point count", points, 1, g.max_init_points) ||
        !r.in_range("the node count", nodes, 2, g.max_column_nodes) || !r.in_range("the output node count", outputs, 0, nodes))
      return false;
    g.Dn_nums[size_t(s)] = nodes;
    g.Dn_init_nums[size_t(s)] = points;
    g.Dn_out_nums[size_t(s)] = outputs;
    std::vector<gipl_layer>& l = g.layers[size_t(s)];
    l.assign(size_t(layers) + 1, gipl_layer{});
    l[1] = first;
    for (int k = 2; k <= layers; ++k) {
      if (!r.next_line("a layer line of a permafrost soil type")) return false;
      if (!read_layer(r.line.get(), l[size_t(k)])) {
        stop_run("Error: layer %d of permafrost soil type %d in %s needs ten values\n", k, s, r.name());
        return false;
      }
    }
  }
  return true;
}

// The identifier line of a soil type in a side file: the count it gives must be the table's.
bool side_count(checked_file& f, const char* what, int type, int expected) {
  int n = -1;
  if (std::fscanf(f.stream, "%*s %d \n", &n) != 1 || n != expected) {
    stop_run("Error: the %s file %s gives %d values for permafrost soil type %d; the soil table gives %d\n", what,
             f.path.c_str(), n, type, expected);
    return false;
  }
  return true;
}

bool short_side_file(checked_file& f, const char* what, int type) {
  stop_run("Error: the %s file %s ends or holds a non-number in permafrost soil type %d\n", what, f.path.c_str(),
           type);
  return false;
}

bool open_side_file(checked_file& f, const std::string& name, const char* missing) {
  if (checked_file_open(f, name.c_str(), 'r')) return true;
  message_out("%s", missing);
  stop_run("Error: unable to open %s, named in the permafrost soil table\n", name.c_str());
  return false;
}

bool read_initial_profiles(gipl_soil_table& g, checked_file& f) {
  g.Dn_init.assign(size_t(g.type_count) + 1, {});
  g.T_init.assign(size_t(g.type_count) + 1, {});
  for (int s = 1; s <= g.type_count; ++s) {
    const int n = g.Dn_init_nums[size_t(s)];
    if (!side_count(f, "initial temperature", s, n)) return false;
    std::vector<double>& depth = g.Dn_init[size_t(s)];
    std::vector<double>& temp = g.T_init[size_t(s)];
    depth.assign(size_t(n) + 1, 0.0);
    temp.assign(size_t(n) + 1, 0.0);
    for (int k = 1; k <= n; ++k)
      if (std::fscanf(f.stream, "%lf %lf\n", &depth[size_t(k)], &temp[size_t(k)]) != 2)
        return short_side_file(f, "initial temperature", s);
  }
  return true;
}

bool read_node_depths(gipl_soil_table& g, checked_file& f) {
  g.Depth.assign(size_t(g.type_count) + 1, {});
  for (int s = 1; s <= g.type_count; ++s) {
    const int n = g.Dn_nums[size_t(s)];
    if (!side_count(f, "node depth", s, n)) return false;
    std::vector<double>& z = g.Depth[size_t(s)];
    z.assign(size_t(n) + 1, 0.0);
    for (int j = 1; j <= n; ++j) {
      if (std::fscanf(f.stream, "%lf", &z[size_t(j)]) != 1) return short_side_file(f, "node depth", s);
      // The conduction step divides by the spacing of neighbouring nodes.
      if (j > 1 && !(z[size_t(j)] > z[size_t(j) - 1])) {
        stop_run("Error: node %d of permafrost soil type %d in %s is not deeper than node %d\n", j, s,
                 f.path.c_str(), j - 1);
        return false;
      }
    }
  }
  return true;
}

bool read_output_nodes(gipl_soil_table& g, checked_file& f) {
  g.Dn_out.assign(size_t(g.type_count) + 1, {});
  for (int s = 1; s <= g.type_count; ++s) {
    const int n = g.Dn_out_nums[size_t(s)];
    if (!side_count(f, "output node", s, n)) return false;
    std::vector<int32_t>& out = g.Dn_out[size_t(s)];
    out.assign(size_t(n) + 1, 0);
    for (int k = 1; k <= n; ++k) {
      if (std::fscanf(f.stream, "%d", &out[size_t(k)]) != 1) return short_side_file(f, "output node", s);
      if (out[size_t(k)] < 1 || out[size_t(k)] > g.Dn_nums[size_t(s)]) {
        stop_run("Error: output node %d of permafrost soil type %d in %s is outside 1 to %d\n", out[size_t(k)], s,
                 f.path.c_str(), g.Dn_nums[size_t(s)]);
        return false;
      }
    }
  }
  return true;
}

}  // namespace

int read_soil_temperature_input(checked_file& file, model_state& m) {
  gipl_soil_table& g = m.gipl_state;
  g = gipl_soil_table{};
  table_reader r{file, m};
  if (!r.count_line("%7s %d\n", "the number of soil types", 1, most_types, g.type_count) ||
      !r.count_line("%17s %d\n", "the largest number of layers", 1, most_layers, g.max_layers) ||
      !r.count_line("%11s %d\n", "the largest number of initial temperature points", 1, most_points,
                    g.max_init_points) ||
      !r.count_line("%6s %d\n", "the largest number of nodes", 2, most_points, g.max_column_nodes))
    return 0;
  std::string init_name, depth_name, output_name;
  if (!r.file_line("the initial temperature file", init_name) || !r.file_line("the node depth file", depth_name) ||
      !r.file_line("the output node file", output_name))
    return 0;
  skip_table_header_line(file);
  if (!read_soil_types(r)) return 0;
  checked_file init, depth, output;
  if (!open_side_file(init, init_name, "where is the init_temp_file?\n") || !read_initial_profiles(g, init)) return 0;
  if (!open_side_file(depth, depth_name, "where is the dep_node_file?\n") || !read_node_depths(g, depth)) return 0;
  if (!open_side_file(output, output_name, "where is the output_node_file?\n") || !read_output_nodes(g, output))
    return 0;
  return g.type_count;
}

}  // namespace pluvo
