#pragma once
// Pieces of the channel sand and suspended-sediment transport that stand on their own: the sand
// fall velocity, Yang's capacity, break-point section properties and the sediment-store layout.
#include <cstddef>

#include "record/channel_state.hpp"

namespace pluvo {

struct model_state;

// Link classes of the channel sediment transport (link type bits).
constexpr int sediment_erodible_bit = 2;
constexpr int sediment_trapezoid_bit = 4;
constexpr int sediment_breakpoint_bit = 8;
constexpr int sediment_lake_bit = 32;
constexpr int sediment_structure_bit = 64;

// A channel link taken by a lake (bit 128 on a section link).
inline bool sediment_excluded(int type) { return (type & (4 | 8 | 16)) && (type & ltype_taken_by_lake); }
// A lake link or a link taken by a lake: its sediment lives in the lake.
inline bool sediment_lake_like(int type) { return (type & sediment_lake_bit) || sediment_excluded(type); }
// Neither a lake, a structure nor taken by a lake: its nodes hold and pass suspended sediment.
inline bool sediment_carrying_link(int type) { return !sediment_lake_like(type) && !(type & sediment_structure_bit); }
// An erodible trapezoid or break-point link whose bed sand moves.
inline bool sediment_sand_link(int type) {
  return (type & sediment_erodible_bit) && (type & (sediment_trapezoid_bit | sediment_breakpoint_bit)) &&
         sediment_carrying_link(type);
}

// Nodes of a link as the sediment transport sees them: a lake or structure last link has one.
int sediment_node_count(const model_state& m, int link);

// Fall velocity (m/s) of quartz sand of diameter d_mm (mm) in water of kinematic viscosity nu
// (m2/s).
double sand_fall_velocity(double d_mm, double nu);

// Critical velocity ratio of Yang's formula at shear Reynolds number x; 0 below 1.2, where the
// bed does not move.
double yang_critical_velocity_ratio(double x);

// Sand transport capacity (m3/s of quartz, signed as q) of a section of flow area a, hydraulic
// radius r and energy slope s (taken in absolute value) passing q m3/s, for sand of diameter
// d_mm (mm) in water of viscosity nu (m2/s). NaN when the hydraulics are not numbers.
double yang_sand_capacity(double q, double a, double r, double s, double d_mm, double nu);

// Flow area and wetted perimeter of break-point node `key` at depth y, from its table.
void channel_area_depth_lookup(const model_state& m, int key, double y, double& area, double& perimeter);

// Slot of sand position p (1..num_sand_classes, then num_sand_classes + 1 for the bed laid at
// set-up) in a sand store laid out as ch_sand_vol: the class number of a sand class, classes + 1
// for the set-up bed.
int sand_store_slot(const model_state& m, int p);

}  // namespace pluvo
