// Link/node series: header, step records, the series writer and the stream and superlink headers.
#include "output/linknode_series.hpp"

#include <string>

#include "output/output_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr const char* kind_lines[] = {
    "PLUVO_LINKNODE_STREAM_DEPTH",       "PLUVO_LINKNODE_STREAM_FLOW",
    "PLUVO_LINKNODE_STREAM_STAGE",       "PLUVO_LINKNODE_STREAM_VELOCITY",
    "PLUVO_LINKNODE_FLOOD_STREAM_DEPTH", "PLUVO_LINKNODE_SUPERLINK_FLOW",
    "PLUVO_LINKNODE_SUPERLINK_HEAD",     "PLUVO_LINKNODE_SUPERLINK_TILE_FLOW",
    "PLUVO_LINKNODE_NO2_MASS",           "PLUVO_LINKNODE_NO3_MASS",
    "PLUVO_LINKNODE_NH4_MASS",           "PLUVO_LINKNODE_ON_MASS",
    "PLUVO_LINKNODE_OP_MASS",            "PLUVO_LINKNODE_DP_MASS",
    "PLUVO_LINKNODE_ALG_MASS",           "PLUVO_LINKNODE_CBOD_MASS",
    "PLUVO_LINKNODE_DO_MASS",            "PLUVO_LINKNODE_NO2_CONC",
    "PLUVO_LINKNODE_NO3_CONC",           "PLUVO_LINKNODE_NH4_CONC",
    "PLUVO_LINKNODE_ON_CONC",            "PLUVO_LINKNODE_OP_CONC",
    "PLUVO_LINKNODE_DP_CONC",            "PLUVO_LINKNODE_ALG_CONC",
    "PLUVO_LINKNODE_CBOD_CONC",          "PLUVO_LINKNODE_DO_CONC",
    "PLUVO_LINKNODE_MASS",               "PLUVO_LINKNODE_CONCENTRATION",
    "PLUVO_LINKNODE_TOTAL_NITROGEN",     "PLUVO_LINKNODE_TOTAL_KJELDAHL_NITROGEN",
    "PLUVO_LINKNODE_TOTAL_PHOSPHORUS",   "PLUVO_LINKNODE_STREAM_SED_FLUX",
};

constexpr int lake_bit = 32;
constexpr int structure_bit = 64;
constexpr int channel_bits = 4 | 8;

void put_empty_node(std::FILE* f) { std::fprintf(f, "0  -999.999   "); }

double node_value(const double* first, const double* second, size_t key, int mode) {
  if (mode == 1) return first[key] - second[key];
  if (mode == 2) return second[key] > 1e-7 ? first[key] / second[key] : 0.0;
  return first[key];
}

void set_series(linknode_series_writer& w, int kind, const double* lake_values, model_state& m) {
  w.layout_code = kind;
  w.lake_values = lake_values;
  w.link_count = m.nlinks;
  w.stride = m.chan_node_extent;
  w.node_count = m.nx1.data();
  w.output_node_count = printed_node_counts(m);
  w.link_type = m.ltype.data();
  w.second_array = m.bel.data();
  w.lake_of_link = m.lake2link.data();
  w.lake_count = m.nlakes;
  w.node_values.assign(size_t(w.link_count + 1) * size_t(w.stride > 0 ? w.stride : 1) + 1, 0.0);
  w.lake_step_values.assign(w.lake_count > 0 ? size_t(w.lake_count) + 1 : 0, 0.0);
}

}  // namespace

const int32_t* printed_node_counts(const model_state& m) {
  return m.og_nx1.size() > size_t(m.nlinks) ? m.og_nx1.data() : m.nx.data();
}

const char* linknode_kind_line(int kind) {
  return kind >= 0 && kind < int(sizeof kind_lines / sizeof kind_lines[0]) ? kind_lines[kind] : nullptr;
}

void write_linknode_header(std::FILE* f, int kind, int num_links, int time_step, int num_ts, int day, int month,
                           int year, int hour, int minute) {
  if (const char* line = linknode_kind_line(kind)) std::fprintf(f, "%s\n", line);
  std::fprintf(f, "NUM_LINKS     %d\n", num_links);
  std::fprintf(f, "TIME_STEP     %d\n", time_step);
  std::fprintf(f, "NUM_TS        %d\n", num_ts);
  std::fprintf(f, "START_TIME    %2d %2d %4d %2d %2d %2d\n", day, month, year, hour, minute, 0);
}

void write_linknode_step(std::FILE* f, int link_count, const int32_t* valid_nodes, const int32_t* output_nodes,
                         const int32_t* link_types, int step_number, const double* first, const double* second,
                         int stride, int mode, const int32_t* lake_table, const double* lake_elevations) {
  std::fprintf(f, "TS    %d\n", step_number);
  for (int l = 1; l <= link_count; l++) {
    const int t = link_types[l];
    const size_t base = size_t(l) * size_t(stride);
    if (t & lake_bit) {
      if (mode == 1 || mode == 2)
        std::fprintf(f, "-1 %6.5lf   ", lake_elevations[lake_table[l]]);
      else
        put_empty_node(f);
    }
    if (t & structure_bit) {
      if (mode == 0)
        std::fprintf(f, "-2  %6.5lf   ", first[base + 1]);
      else
        put_empty_node(f);
    }
    if (!(t & (4 | 8 | 16))) {
      std::fputc('\n', f);
      continue;
    }
    const int n = output_nodes[l];
    std::fprintf(f, "%d   ", n);
    for (int j = 1; j <= n; j++) {
      if (j <= valid_nodes[l])
        std::fprintf(f, "1  %6.5lf   ", node_value(first, second, base + size_t(j), mode));
      else
        put_empty_node(f);
    }
    std::fputc('\n', f);
  }
  std::fputc('\n', f);
}

void linknode_header_times(const model_state& m, int& time_step, int& num_ts) {
  const double interval_s = double(m.hyd_write_steps) * m.time_step;
  time_step = int(interval_s / 60.0);
  if (time_step > 0) {
    num_ts = m.total_time_min / time_step;
  } else {
    // An interval under a minute: count the output times from the interval in seconds.
    num_ts = interval_s > 0.0 ? int(double(m.total_time_min) * 60.0 / interval_s) : 0;
  }
}

void write_linknode_headers(model_state& m) {
  int time_step = 0;
  int num_ts = 0;
  linknode_header_times(m, time_step, num_ts);
  const auto header = [&](checked_file& file, int kind, int links) {
    if (file.is_open())
      write_linknode_header(file.stream, kind, links, time_step, num_ts, m.cur_day, m.cur_month, m.cur_year,
                            m.cur_hour, m.cur_minute);
  };
  if (m.chan_explic_on) {
    header(m.out_chan_depth_fp, 0, m.nlinks);
    header(m.out_stream_sed_flux_fp, 31, m.nlinks);
    header(m.out_chan_discharge_fp, 1, m.nlinks);
    header(m.out_chan_stage_fp, 2, m.nlinks);
    header(m.out_chan_velocity_fp, 3, m.nlinks);
  }
  header(m.flood_stream_fp, 4, m.nlinks);
  if (m.storm_sewer_on) {
    header(m.pipe_flow_fp, 5, m.num_superlinks);
    header(m.pipe_head_fp, 6, m.num_superlinks);
    header(m.pipe_tile_fp, 7, m.num_superlinks);
  }
}

void write_stream_linknode_steps(model_state& m) {
  if (!m.chan_explic_on || m.nlinks < 1) return;
  const int32_t* printed = printed_node_counts(m);
  const double* lake_elev = m.lake_elev.empty() ? nullptr : m.lake_elev.data();
  const auto step = [&](checked_file& file, int& counter, const std::vector<double>& first,
                        const std::vector<double>& second, int mode) {
    if (!file.is_open()) return;
    write_linknode_step(file.stream, m.nlinks, m.nx.data(), printed, m.ltype.data(), counter, first.data(),
                        second.empty() ? nullptr : second.data(), m.chan_node_extent, mode, m.lake2link.data(),
                        lake_elev);
    counter++;
  };
  const std::vector<double> none;
  step(m.out_chan_depth_fp, m.chan_depth_series_step, m.yp, m.bel, 1);
  step(m.out_chan_discharge_fp, m.chan_discharge_series_step, m.qp, none, 0);
  step(m.out_chan_velocity_fp, m.chan_velocity_series_step, m.qp, m.area, 2);
  step(m.out_chan_stage_fp, m.chan_stage_series_step, m.yp, m.bel, 0);
}

void linknode_series_writer_init(linknode_series_writer& w) { w = linknode_series_writer(); }

void linknode_series_set_flat(linknode_series_writer& w, int kind, const double* values, const double* lake_values,
                              model_state& m) {
  set_series(w, kind, lake_values, m);
  w.layout = 1;
  w.values = values;
}

void linknode_series_set_nodes(linknode_series_writer& w, int kind, const double* const* values,
                               const double* lake_values, model_state& m) {
  set_series(w, kind, lake_values, m);
  w.layout = 2;
  w.matrix_values = values;
}

void linknode_series_open(linknode_series_writer& w, const std::string& base, const char* part1, const char* part2,
                          double scale) {
  const std::string name = base + (part1 ? part1 : "") + (part2 ? part2 : "");
  w.scale = scale;
  if (!checked_file_open(w.file, name.c_str(), 'w')) {
    std::printf("Error: unable to open file %s\n", name.c_str());
    return;
  }
  write_linknode_header(w.file.stream, w.layout_code, w.link_count, 15, 15, 0, 0, 0, 0, 0);
}

void linknode_series_write_step(linknode_series_writer& w) {
  const size_t stride = size_t(w.stride);
  for (int l = 1; l <= w.link_count; l++) {
    const int t = w.link_type[l];
    if (!(t & channel_bits)) {
      const int lake = w.lake_of_link ? w.lake_of_link[l] : 0;
      if ((t & lake_bit) && w.lake_values && lake >= 1 && lake <= w.lake_count)
        w.lake_step_values[size_t(lake)] = w.lake_values[lake] / w.scale;
      continue;
    }
    for (int j = 1; j <= w.output_node_count[l]; j++) {
      const size_t key = size_t(l) * stride + size_t(j);
      double v = 0.0;
      if (w.layout == 1 && w.values)
        v = w.values[key] / w.scale;
      else if (w.layout == 2 && w.matrix_values)
        v = w.matrix_values[j][l] * w.scale;
      w.node_values[key] = j > w.node_count[l] - 1 ? 0.0 : v;
    }
  }
  if (!w.file.is_open()) {
    std::printf("Error writing to link/node file...\n");
    w.series_step++;
    return;
  }
  write_linknode_step(w.file.stream, w.link_count, w.node_count, w.output_node_count, w.link_type, w.series_step,
                      w.node_values.data(), w.second_array, w.stride, 0, w.lake_of_link,
                      w.lake_step_values.empty() ? nullptr : w.lake_step_values.data());
  w.series_step++;
}

void linknode_series_writer_close(linknode_series_writer& w) {
  checked_file_close_void(w.file);
  w.node_values.clear();
  w.lake_step_values.clear();
}

}  // namespace pluvo
