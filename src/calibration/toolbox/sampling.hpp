#pragma once
// Random starting points of the global modes and the multi-level single linkage distance.
#include <cstdint>

#include "calibration/toolbox/control_file.hpp"

namespace pluvo::toolbox {

// Draws every adjustable parameter uniformly between its bounds (in the untransformed range for
// "log" parameters) with ran1; tied and fixed ones are left alone.
int random_parameter_vector(toolbox_control& c, long& seed);
// Critical distance of multi-level single linkage for a sample of k points (k at least 2).
int mlsl_critical_distance(const toolbox_control& c, int k, double& r);

// The global modes' seed sequence: each sample's seed comes from a linear congruential state.
struct sample_seed_generator {
  uint32_t state = 0;
  int32_t next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<int32_t>(-0.5 * static_cast<double>(state));
  }
};

}  // namespace pluvo::toolbox
