// The location lists of the point output files, each position checked against what it names
// before any writer indexes with it.
#include <cstdio>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "input/location_lists.hpp"
#include "record/model_state.hpp"

namespace pluvo {

bool read_location_list(checked_file& f, int fields, int& count, std::vector<int32_t>& first,
                        std::vector<int32_t>& second, const std::function<bool(int)>& fits) {
  count = 0;
  if (!f.is_open() || std::fscanf(f.stream, "%d", &count) != 1 || count < 0) count = 0;
  first.assign(size_t(count) + 1, 0);
  second.assign(fields == 2 ? size_t(count) + 1 : 0, 0);
  for (int i = 1; i <= count; ++i) {
    const int got = fields == 2 ? std::fscanf(f.stream, "%d %d \n", &first[size_t(i)], &second[size_t(i)])
                                : std::fscanf(f.stream, "%d \n", &first[size_t(i)]);
    if (got != fields) {
      stop_run("End of file reached in file %s, exiting\n", f.path.c_str());
      return false;
    }
    if (!fits(i)) return false;
  }
  return true;
}

namespace {

// A channel link and node: the link in 1..nlinks, the node among the link's nodes.
bool channel_place_fits(const model_state& m, const checked_file& f, int i, int link, int node) {
  if (link < 1 || link > m.nlinks || size_t(link) >= m.nx1.size()) {
    stop_run("Error: link %d of location %d in file %s is outside the channel network of %d links.\n", link, i,
             f.path.c_str(), m.nlinks);
    return false;
  }
  const int nodes = m.nx1[size_t(link)] < m.max_nodes ? m.nx1[size_t(link)] : m.max_nodes;
  if (node < 1 || node > nodes) {
    stop_run("Error: node %d of link %d (location %d) in file %s is outside the link's %d nodes.\n", node, link, i,
             f.path.c_str(), nodes);
    return false;
  }
  return true;
}

void read_channel_places(model_state& m, checked_file& f, int& count, std::vector<int32_t>& links,
                         std::vector<int32_t>& nodes) {
  read_location_list(f, 2, count, links, nodes,
                     [&](int i) { return channel_place_fits(m, f, i, links[size_t(i)], nodes[size_t(i)]); });
  checked_file_close(f);
}

void read_hydrograph_locations(model_state& m) {
  if (m.hyd_location_on != 1) return;
  read_channel_places(m, m.hydrograph_location_fp, m.hydrograph_link_count, m.hlink, m.hnode);
}

void read_gwflux_locations(model_state& m) {
  if (m.gwflux_location_on != 1) return;
  read_channel_places(m, m.gw_flux_location_fp, m.gw_flux_point_count, m.gwflink, m.gwfnode);
}

// Rows and columns on the grid; each becomes the number of its cell, 0 outside the watershed.
void read_cell_output_locations(model_state& m) {
  if (m.celldepdis_location_on != 1) return;
  checked_file& f = m.dep_dis_location_fp;
  m.gnumlocater.clear();
  const bool read = read_location_list(f, 2, m.cell_output_count, m.celrowloc, m.celcolloc, [&](int i) {
    return grid_place_fits(m, f, i, m.celrowloc[size_t(i)], m.celcolloc[size_t(i)]);
  });
  checked_file_close(f);
  if (!read) return;
  m.gnumlocater.assign(size_t(m.cell_output_count), 0);
  for (int i = 1; i <= m.cell_output_count; ++i)
    m.gnumlocater[size_t(i) - 1] = cell_at(m, m.celrowloc[size_t(i)], m.celcolloc[size_t(i)]);
}

void read_sed_hydrograph_locations(model_state& m) {
  if (!m.ov_sed || m.ov_sed->sed_hydro_locations_on != 1 || m.chan_sed_transport_on != 1) return;
  read_channel_places(m, m.sed_hydrograph_location_fp, m.sed_hydrograph_point_count, m.slink, m.snode);
  if (error_state.error_terminate) return;
  std::FILE* out = m.ov_sed->out_sed_loc_fp.stream;
  if (!out) return;
  std::fprintf(out, "%d\n", m.sed_hydrograph_point_count);
  for (int i = 1; i <= m.sed_hydrograph_point_count; ++i)
    std::fprintf(out, "%4d %4d\n", m.slink[size_t(i)], m.snode[size_t(i)]);
}

void read_superjunction_locations(model_state& m) {
  if (m.superlink_junc_location_on != 1) return;
  checked_file& f = m.superjunction_location_fp;
  std::vector<int32_t> none;
  read_location_list(f, 1, m.sjunc_count, m.sjunc, none, [&](int i) {
    const int j = m.sjunc[size_t(i)];
    if (j >= 1 && j <= m.num_superjunctions) return true;
    stop_run("Error: superjunction %d of location %d in file %s is outside the network of %d superjunctions.\n", j,
             i, f.path.c_str(), m.num_superjunctions);
    return false;
  });
}

void read_superlink_node_locations(model_state& m) {
  if (m.superlink_node_location_on != 1) return;
  checked_file& f = m.superlink_node_location_fp;
  read_location_list(f, 2, m.sl_location_count, m.sl_link, m.sl_node, [&](int i) {
    const int link = m.sl_link[size_t(i)], node = m.sl_node[size_t(i)];
    if (link < 1 || link > m.num_superlinks || size_t(link) >= m.nnodes.size()) {
      stop_run("Error: superlink %d of location %d in file %s is outside the network of %d superlinks.\n", link, i,
               f.path.c_str(), m.num_superlinks);
      return false;
    }
    const int nodes = m.nnodes[size_t(link)] + 1;
    if (node >= 1 && node <= nodes) return true;
    stop_run("Error: node %d of superlink %d (location %d) in file %s is outside the link's %d nodes.\n", node, link,
             i, f.path.c_str(), nodes);
    return false;
  });
}

}  // namespace

bool grid_place_fits(const model_state& m, const checked_file& f, int i, int row, int col) {
  if (row >= 1 && row <= m.grid_rows && col >= 1 && col <= m.grid_cols) return true;
  stop_run("Error: location %d (row %d col %d) in file %s lies outside the grid of %d rows and %d columns.\n", i, row,
           col, f.path.c_str(), m.grid_rows, m.grid_cols);
  return false;
}

int cell_at(const model_state& m, int row, int col) {
  const grid<int32_t>& numbers = m.cell_number_grid;
  return row <= numbers.rows() && col <= numbers.cols() ? numbers(row, col) : 0;
}

void read_output_location_lists(model_state& m) {
  using reader = void (*)(model_state&);
  for (reader r : {read_hydrograph_locations, read_gwflux_locations, read_cell_output_locations,
                   read_sed_hydrograph_locations, read_superjunction_locations, read_superlink_node_locations}) {
    r(m);
    if (error_state.error_terminate) return;
  }
}

}  // namespace pluvo
