#pragma once
// Overland lakes: the card test of the lake file and the extent update of the lakes.
#include <vector>

#include "record/overland_state.hpp"

namespace pluvo {

struct model_state;

// The grid as the extent update sees it; every array is per cell from 1.
struct lake_grid {
  int n = 0;              // cells
  double dx = 0.0;        // m
  const double* z = nullptr;  // ground, m
  double* h = nullptr;        // overland depth, m: cells that join a lake hand it over
  const int* above = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* lake_mask = nullptr;  // lake of the initial extent, 0 elsewhere
  int* lake_new = nullptr;         // lake of the current extent
  const int* dike = nullptr;       // dike side bits (1 top, 2 right, 4 bottom, 8 left), or null
};

// 0 when the first token of line is "lake" in any case, else 1 (also for a blank line); the
// token is removed from line.
int is_lake_card(char* line);

// Turns every lake's volume change of the step (its added_volume) into a new level and extent;
// adds what went in to added and what went out to drained (m3).
void olake_extent(lake_grid& g, std::vector<overland_lake_record>& lakes, int count, double& added,
                  double& drained);

// A lake gives its faces only the water above its outlet level (the level of its lake file) and
// what they brought in: sets every lake's release limit for a step from its level and extent.
void olake_release_limits(model_state& m);

// The part of volume (m3, out of lake l across one face; negative into it) the lake can give:
// an outflow is cut to the lake's release limit and spends it, an inflow adds to it.
double olake_release(model_state& m, int l, double volume);

}  // namespace pluvo
