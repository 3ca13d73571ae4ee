#pragma once
// The map output step's services: the depth map and the nutrient map and link/node writers.
#include <cstdint>
#include <vector>

#include "common/grid.hpp"

namespace pluvo {

struct model_state;
struct grid_position;

// depth_map = overland depth per cell, then for each channel lake the lake stage minus the
// ground elevation over the lake's first lake_cell_count[l] cells of its cell list.
void build_depth_map_parallel(int lake_count, const std::vector<std::vector<grid_position>>& lake_cell_lists,
                              const std::vector<double>& elevation, const grid<int32_t>& cell_numbers,
                              const std::vector<double>& lake_stage, const std::vector<int32_t>& lake_cell_count,
                              int cell_count, const std::vector<double>& ov_depth, std::vector<double>& depth_map,
                              int lakes_on);

// At the normal end of a run: the end mark of every open dataset series.
void write_dataset_ends(model_state& m);

void open_tvx_overland_outputs(model_state& m);
void write_tvx_step_outputs(model_state& m);

}  // namespace pluvo
