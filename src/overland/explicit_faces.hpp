#pragma once
// The explicit scheme's per-face pieces: the flat views one sub-step reads and writes, and the
// face laws and tests its sweeps share. Only the explicit scheme includes this.
#include <array>
#include <cmath>

#include "overland/face_law.hpp"
#include "record/model_state.hpp"

namespace pluvo::explicit_faces {

constexpr double max_face_depth_change = 0.06;  // m moved across one face in one sub-step
constexpr double min_depth_after_step = -0.0001;
constexpr double smallest_substep = 0.005;     // s
constexpr int max_divisions_per_call = 5;
constexpr double plain_slope_addend = 1e-30;
constexpr double lake_slope_addend = 1e-20;

// Flat views of the record that one sub-step reads and writes.
struct face_inputs {
  int n = 0;
  double dx = 0.0;
  double addend = plain_slope_addend;
  const double* h = nullptr;
  const double* z = nullptr;
  const double* r = nullptr;
  const double* rough = nullptr;
  const double* sx = nullptr;
  const double* sy = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const int* dike = nullptr;
  const int* wet = nullptr;
  const std::array<double, 8>* wet_props = nullptr;
  int wet_count = 0;
  const int* lake = nullptr;          // channel-lake number per cell, 0 none
  const double* lake_elev = nullptr;  // per channel lake
  const double (*face_block)[6] = nullptr;  // blocked share of each face, 1..4 from above
  const double* area_block = nullptr;       // blocked share of each cell's area
  double* term = nullptr;  // flowing_depth_term of each cell's current depth
  double* qx = nullptr;
  double* qy = nullptr;
  double* next = nullptr;
};

inline const std::array<double, 8>* wetland_record(const face_inputs& f, int cell) {
  if (!f.wet) return nullptr;
  const int id = f.wet[cell];
  return id >= 1 && id <= f.wet_count ? &f.wet_props[id] : nullptr;
}

inline double clamped(double s) { return std::fabs(s) < 1e-20 ? 1e-20 : s; }

inline double manning(double s, double n, double d) {
  if (d <= 0.0) return 0.0;
  const double q = std::sqrt(std::fabs(s)) / n * depth_five_thirds(d);
  return s >= 0.0 ? q : -q;
}

// A wetland cell of depth h facing a lake: the wetland law with the lake as the other side.
inline double wetland_lake_discharge(double s, double h, const std::array<double, 8>& w) {
  return wetland_face_discharge(s, h, h, 0.0, true, w, 0.0);
}

// Face between two cells that are not lake cells. With Terms the depth terms of the
// current depths are read from f.term, each computed once per cell and sub-step.
template <bool Wetlands, bool Terms>
inline double cell_face_discharge(const face_inputs& f, int j, int nb, double ground_slope) {
  const double hj = f.h[j], hnb = f.h[nb];
  const double s = water_surface_slope(ground_slope, hj, hnb, f.dx, f.addend);
  if constexpr (Wetlands) {
    if (const auto* w = wetland_record(f, j))
      return wetland_face_discharge(s, hj, hnb, f.r[nb], f.wet[nb] >= 1, *w, f.rough[nb]);
  }
  if constexpr (Terms) return upwind_face_discharge(s, f.term[j], f.term[nb], f.rough[j], f.rough[nb]);
  return plain_face_discharge(s, hj, hnb, f.r[j], f.r[nb], f.rough[j], f.rough[nb]);
}

// Face of a cell with a channel lake on one side; the lake's level is its head.
template <bool Wetlands>
inline double lake_face_discharge(const face_inputs& f, int j, int nb, int lake_j, int lake_nb) {
  if (lake_nb > 0) {  // water leaves j into the lake, or the lake floods j
    const double level = f.lake_elev[lake_nb];
    const double s = clamped((f.z[j] + f.h[j] - level) / f.dx + lake_slope_addend);
    if constexpr (Wetlands) {
      if (const auto* w = wetland_record(f, j)) return wetland_lake_discharge(s, f.h[j], *w);
    }
    return manning(s, f.rough[j], s > 0.0 ? f.h[j] - f.r[j] : level - f.z[j]);
  }
  const double level = f.lake_elev[lake_j];
  const double s = clamped((level - (f.z[nb] + f.h[nb])) / f.dx);
  if constexpr (Wetlands) {
    if (const auto* w = wetland_record(f, nb)) return wetland_lake_discharge(s, f.h[nb], *w);
  }
  return manning(s, f.rough[nb], s < 0.0 ? f.h[nb] - f.r[nb] : level - f.z[nb]);
}

// The open share of the face between j and nb: the larger of its two blocked shares closes it.
inline double open_face(const face_inputs& f, int j, int nb, int j_face, int nb_face) {
  return nb ? 1.0 - std::max(f.face_block[j][j_face], f.face_block[nb][nb_face]) : 1.0;
}

// A depth change of cell i: the water stands on the open share of a blocked cell.
inline double open_change(const face_inputs& f, int i, double change) {
  return f.area_block && f.area_block[i] < 1.0 ? change / (1.0 - f.area_block[i]) : change;
}

// Returns 1 when the depth q moves across a face in the sub-step (q x dts / dx) is too
// large; on the lake path only water leaving an ordinary cell j is tested.
template <bool Lakes>
inline int face_fails(const face_inputs& f, int j, double q, double to_depth) {
  if constexpr (Lakes) {
    if (f.lake[j] > 0) return 0;
  }
  return std::fabs(q * to_depth) >= max_face_depth_change ? 1 : 0;
}

// One face's discharge q; a closed face, or one between two cells of one lake, passes
// nothing.
template <bool Wetlands, bool Lakes>
inline double face_discharge(const face_inputs& f, int j, int nb, bool closed, double ground_slope) {
  if (nb == 0 || closed) return 0.0;
  if constexpr (Lakes) {
    const int lj = f.lake[j], ln = f.lake[nb];
    if (lj > 0 && ln > 0) return 0.0;
    if (lj > 0 || ln > 0) return lake_face_discharge<Wetlands>(f, j, nb, lj, ln);
  }
  return cell_face_discharge<Wetlands, true>(f, j, nb, ground_slope);
}

}  // namespace pluvo::explicit_faces
