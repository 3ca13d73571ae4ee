#pragma once
// The steps of the channel network set-up that tests and the routing start reach one by one.
#include <cstdint>
#include <vector>

#include "common/grid.hpp"

namespace pluvo {

struct model_state;

// Ties every stream cell to its node: con_vect[link * node_extent + node] = cell for each cell
// whose link (cell_link) is not 0. A cell number above cell_count only warns; a link or node
// outside con_vect stops the run.
void cconnect(int cell_count, int node_extent, const grid<int32_t>& cell_numbers,
              const std::vector<int32_t>& cell_link, const std::vector<int32_t>& cell_node,
              std::vector<int32_t>& con_vect);

// "short_links.out": the links of one computational node.
void write_short_links(const model_state& m);

// "bad_thalweg.out": the grid-stream entries whose bed lies above their cell.
void write_bad_thalweg(const model_state& m);

// The starting depth and discharge of the nodes from the hotstart list file or the
// water-surface (depth) file.
void read_channel_hotstart(model_state& m);

// The head of the channel point-input file and its first dated record's header. 1 when that
// header was read, 0 when there is no dated record (or a card is missing: the run then stops),
// -1 at an unexpected end of the file.
int read_chan_point_sources(model_state& m);

// The values of the current dated record at every point, then the next header. 1 with a new
// date, 0 when every record is read, -1 at an unexpected end of the file.
int read_channel_point_record(model_state& m);

// Julian time of the dated record whose header was read last (seconds 0).
double chan_point_record_time(const model_state& m);

}  // namespace pluvo
