#include "overland/explicit_scheme.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#include <omp.h>

#include "channel/channel_services.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"
#include "common/parallel_team.hpp"
#include "overland/explicit_faces.hpp"
#include "overland/face_law.hpp"
#include "overland/overland_lakes.hpp"
#include "overland/scheme_checks.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

using namespace explicit_faces;

// The stretch of cells from j on (to last at most) whose neighbour along the row is the
// next number (step 1) or the one before (step -1), and whose neighbour across rows lies one
// distance off, or which have none: in the row-major numbering, a row's run of open cells.
// Their neighbours sit at fixed offsets, so the loops over a stretch vectorise, without index
// arrays or branches. Returns one past its last cell; off is the distance across (0: none).
inline int stretch_end(const int* along, const int* across, int j, int last, int step, int& off) {
  const int a = across[j];
  off = a ? a - j : 0;
  const int shift = a ? off : 0;
  const int on = a ? 1 : 0;  // across[k] is k + off, or 0 throughout
  // Blocks of cells compared without branches first, then cell by cell.
  constexpr int block = 16;
  int k = j;
  while (k + block - 1 <= last) {
    int broken = 0;
#pragma omp simd reduction(| : broken)
    for (int i = k; i < k + block; i++) broken |= (along[i] != i + step) | (across[i] != (i + shift) * on);
    if (broken) break;
    k += block;
  }
  while (k <= last && along[k] == k + step && across[k] == (k + shift) * on) k++;
  return k;
}

// Both faces of cell j; returns the number that move too much water.
template <bool Wetlands, bool Dikes, bool Lakes>
inline int both_faces(const face_inputs& f, int j, double to_depth) {
  const int dike = Dikes ? f.dike[j] : 0;
  f.qx[j] = face_discharge<Wetlands, Lakes>(f, j, f.right[j], dike & 2, f.sx[j]);
  f.qy[j] = face_discharge<Wetlands, Lakes>(f, j, f.below[j], dike & 4, f.sy[j]);
  if (f.face_block) {
    f.qx[j] *= open_face(f, j, f.right[j], 2, 4);
    f.qy[j] *= open_face(f, j, f.below[j], 3, 1);
  }
  return face_fails<Lakes>(f, j, f.qx[j], to_depth) + face_fails<Lakes>(f, j, f.qy[j], to_depth);
}

// Both faces of cells first..last of a grid without wetlands, dikes or lakes: the stretches
// in vector registers (a cell with no neighbour across takes its own depth there, and the
// face passes nothing), the cells between them one by one. Copies for wider vector units
// are chosen when the program starts; none fuses a multiply and an add, so all give the
// numbers of the cell-by-cell loop.
__attribute__((target_clones("avx512f", "avx2", "default")))
int plain_faces_of(const face_inputs& f, int first, int last, double to_depth) {
  int failures = 0;
  for (int j = first; j <= last;) {
    int off;
    const int end = stretch_end(f.right, f.below, j, last, 1, off);
    if (end == j) {
      failures += both_faces<false, false, false>(f, j, to_depth);
      j++;
      continue;
    }
    const bool below = f.below[j] != 0;
    // The arrays at hand, so that the compiler need not reload them from f.
    const double *h = f.h, *term = f.term, *rough = f.rough, *sx = f.sx, *sy = f.sy;
    double *qx = f.qx, *qy = f.qy;
    const double dx = f.dx, addend = f.addend;
#pragma omp simd reduction(+ : failures)
    for (int k = j; k < end; k++) {
      const double s = water_surface_slope(sx[k], h[k], h[k + 1], dx, addend);
      const double q = upwind_face_discharge(s, term[k], term[k + 1], rough[k], rough[k + 1]);
      const double t = water_surface_slope(sy[k], h[k], h[k + off], dx, addend);
      const double p = below ? upwind_face_discharge(t, term[k], term[k + off], rough[k], rough[k + off]) : 0.0;
      qx[k] = q;
      qy[k] = p;
      failures += (std::fabs(q * to_depth) >= max_face_depth_change ? 1 : 0) +
                  (std::fabs(p * to_depth) >= max_face_depth_change ? 1 : 0);
    }
    j = end;
  }
  return failures;
}

// Both faces of the cells of one share; each face is written only by its left or upper
// cell, so the shares have no shared writes. With Reuse the discharges already stored are
// those of the same depths (a step restarted from its first sub-step with a shorter one),
// and only the test is made again. Returns the number of faces that move too much water.
template <bool Wetlands, bool Dikes, bool Lakes, bool Reuse>
int compute_faces(const face_inputs& f, double dts, cell_share share) {
  const double to_depth = dts / f.dx;
  if constexpr (!Wetlands && !Dikes && !Lakes && !Reuse)
    if (!f.face_block) return plain_faces_of(f, share.first, share.last, to_depth);
  int celerity_failures = 0;
  for (int j = share.first; j <= share.last; j++) {
    if constexpr (!Reuse)
      celerity_failures += both_faces<Wetlands, Dikes, Lakes>(f, j, to_depth);
    else
      celerity_failures += face_fails<Lakes>(f, j, f.qx[j], to_depth) + face_fails<Lakes>(f, j, f.qy[j], to_depth);
  }
  return celerity_failures;
}

bool is_lake(const face_inputs& f, int i) { return f.lake && f.lake[i] > 0; }

// Cell i's new depth from its four faces' transfers (q x dts / dx), in a fixed order, so the
// sums are the same on any thread count. Lake cells keep their depth: their water is the
// lake's. With Terms the depth term of the new depth is made for the next sub-step while the
// cell is at hand. Returns 1 when the cell would fall below min_depth_after_step.
template <bool Terms>
inline int gather_cell(const face_inputs& f, int i, double to_depth) {
  if (is_lake(f, i)) {
    f.next[i] = f.h[i];
    return 0;
  }
  double change = -(f.qx[i] * to_depth) - f.qy[i] * to_depth;
  if (f.left[i]) change += f.qx[f.left[i]] * to_depth;
  if (f.above[i]) change += f.qy[f.above[i]] * to_depth;
  const double next = f.h[i] + open_change(f, i, change);
  f.next[i] = next;
  if constexpr (Terms) f.term[i] = flowing_depth_term(next, f.r[i]);
  return next < min_depth_after_step ? 1 : 0;
}

// The same for a cell of a stretch whose left neighbour is i - 1 and whose upper one, when
// it has one (above), is i + off.
inline double stretch_cell_depth(const double* h, const double* qx, const double* qy, int i, int off, bool above,
                                 double to_depth) {
  double change = -(qx[i] * to_depth) - qy[i] * to_depth;
  change += qx[i - 1] * to_depth;
  const double from_above = change + qy[i + off] * to_depth;
  return h[i] + (above ? from_above : change);
}

// gather_cell for cells first..last of a grid without lakes, the stretches in vector
// registers; terms: also make the depth terms of the new depths.
__attribute__((target_clones("avx512f", "avx2", "default")))
int plain_gather_of(const face_inputs& f, int first, int last, double to_depth, bool terms) {
  int dry_failures = 0;
  for (int i = first; i <= last;) {
    int off;
    const int end = stretch_end(f.left, f.above, i, last, -1, off);
    if (end == i) {
      dry_failures += terms ? gather_cell<true>(f, i, to_depth) : gather_cell<false>(f, i, to_depth);
      i++;
      continue;
    }
    const bool above = f.above[i] != 0;
    const double *h = f.h, *qx = f.qx, *qy = f.qy, *r = f.r;
    double *next_depth = f.next, *term = f.term;
    if (!terms) {
#pragma omp simd reduction(+ : dry_failures)
      for (int k = i; k < end; k++) {
        const double next = stretch_cell_depth(h, qx, qy, k, off, above, to_depth);
        next_depth[k] = next;
        dry_failures += next < min_depth_after_step ? 1 : 0;
      }
    } else {
      int odd = 0;
#pragma omp simd reduction(+ : dry_failures, odd)
      for (int k = i; k < end; k++) {
        const double next = stretch_cell_depth(h, qx, qy, k, off, above, to_depth);
        next_depth[k] = next;
        dry_failures += next < min_depth_after_step ? 1 : 0;
        term[k] = normal_flowing_depth_term(next, r[k], odd);
      }
      if (odd)
        for (int k = i; k < end; k++) f.term[k] = flowing_depth_term(f.next[k], f.r[k]);
    }
    i = end;
  }
  return dry_failures;
}

// Gathers the face transfers into the new depths of the cells of one share; returns the
// number of cells that would fall below min_depth_after_step.
int gather_faces(const face_inputs& f, double to_depth, bool terms, cell_share share) {
  if (!f.lake && !f.area_block) return plain_gather_of(f, share.first, share.last, to_depth, terms);
  int dry_failures = 0;
  for (int i = share.first; i <= share.last; i++)
    dry_failures += terms ? gather_cell<true>(f, i, to_depth) : gather_cell<false>(f, i, to_depth);
  return dry_failures;
}

// The depth terms of cells first..last in vector registers.
__attribute__((target_clones("avx512f", "avx2", "default")))
int depth_terms_of(const face_inputs& f, int first, int last) {
  int odd = 0;
  const double *h = f.h, *r = f.r;
  double* term = f.term;
#pragma omp simd reduction(+ : odd)
  for (int i = first; i <= last; i++) term[i] = normal_flowing_depth_term(h[i], r[i], odd);
  if (odd)
    for (int i = first; i <= last; i++) f.term[i] = flowing_depth_term(f.h[i], f.r[i]);
  return 0;
}

template <bool Lakes, bool Reuse>
int faces_of(const face_inputs& f, double dts, bool wetlands, bool dikes, cell_share share) {
  if (wetlands)
    return dikes ? compute_faces<true, true, Lakes, Reuse>(f, dts, share)
                 : compute_faces<true, false, Lakes, Reuse>(f, dts, share);
  return dikes ? compute_faces<false, true, Lakes, Reuse>(f, dts, share)
               : compute_faces<false, false, Lakes, Reuse>(f, dts, share);
}

// The faces of one share for the variant the grid needs; reuse: the stored discharges are
// those of f.h already, only their test is made.
int faces_of_share(const face_inputs& f, double dts, bool wetlands, bool dikes, bool reuse, cell_share share) {
  if (f.lake)
    return reuse ? faces_of<true, true>(f, dts, wetlands, dikes, share)
                 : faces_of<true, false>(f, dts, wetlands, dikes, share);
  return reuse ? faces_of<false, true>(f, dts, wetlands, dikes, share)
               : faces_of<false, false>(f, dts, wetlands, dikes, share);
}

// The faces between a channel-lake cell and an open cell. The extents change only between
// calls, so the list holds for a whole call.
struct lake_faces {
  struct face {
    int cell;             // the face's left or upper cell, which stores its discharge
    int lake;
    bool y;               // a lower face (ov_qy), else a right face (ov_qx)
    bool lake_is_beyond;  // the lake lies in the neighbour, not in cell
  };
  std::vector<face> faces;
  std::vector<double> taken;  // per lake: what its faces take out of it in the sub-step, m3
  std::vector<double> share;  // per lake: the share of that outflow it can supply
};

lake_faces collect_lake_faces(const face_inputs& f, int lakes) {
  lake_faces l;
  l.taken.assign(size_t(lakes) + 1, 0.0);
  l.share.assign(size_t(lakes) + 1, 1.0);
  for (int j = 1; j <= f.n; j++) {
    const int faces[2] = {f.right[j], f.below[j]};
    for (int side = 0; side < 2; side++) {
      const int nb = faces[side];
      if (nb == 0) continue;
      const int lj = f.lake[j], ln = f.lake[nb];
      if ((lj > 0) == (ln > 0)) continue;
      l.faces.push_back({j, ln > 0 ? ln : lj, side == 1, ln > 0});
    }
  }
  return l;
}

double& face_flow(const face_inputs& f, const lake_faces::face& face) {
  return face.y ? f.qy[face.cell] : f.qx[face.cell];
}

// Volume the face moves out of its lake in the sub-step (m3); negative when it moves water in.
double taken_from_lake(const face_inputs& f, const lake_faces::face& face, double dts) {
  const double v = face_flow(f, face) * dts * f.dx;  // positive from cell to its neighbour
  return face.lake_is_beyond ? -v : v;
}

// A lake gives no more than it holds: when its faces would take more in one sub-step, each of
// them takes the same share of what it holds (the neighbours' depths follow, since they are
// gathered from the same discharges). The lake's level drives its faces until the next extent
// update, and without this a small lake would be drawn below empty. True when a face was cut.
bool limit_lake_outflow(const face_inputs& f, lake_faces& l, const std::vector<double>& volume, double dts) {
  std::fill(l.taken.begin(), l.taken.end(), 0.0);
  for (const auto& face : l.faces) {
    const double v = taken_from_lake(f, face, dts);
    if (v > 0.0) l.taken[size_t(face.lake)] += v;
  }
  bool cut = false;
  for (size_t k = 1; k < l.taken.size(); k++) {
    const double held = std::max(volume[k], 0.0);
    l.share[k] = l.taken[k] > held ? held / l.taken[k] : 1.0;
    cut = cut || l.share[k] < 1.0;
  }
  if (!cut) return false;
  for (const auto& face : l.faces)
    if (taken_from_lake(f, face, dts) > 0.0) face_flow(f, face) *= l.share[size_t(face.lake)];
  return true;
}

void print_face_failure(const face_inputs& f, bool y, int j, double dts) {
  const double t = (y ? f.qy[j] : f.qx[j]) * (dts / f.dx);
  if (!f.lake) {
    if (y)
      message_out("need to split...(y-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n", std::fabs(t), -t,
                  f.h[j] - t);
    else
      message_out("need to split...(x-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n", std::fabs(t), -t,
                  f.h[j] - t);
    return;
  }
  const double q = y ? f.qy[j] : f.qx[j];
  if (y)
    message_out("  ]y:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", std::fabs(t), -t, q, dts, j);
  else
    message_out("  ]x:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", std::fabs(t), -t, q, dts, j);
  message_out("    -> Cell Exceded Celerity Check\n");
}

void print_cell_failure(const face_inputs& f, bool y, int i, double dts) {
  if (!f.lake) {
    const double to_depth = dts / f.dx;
    const double du = std::max(std::fabs(f.qx[i] * to_depth), std::fabs(f.qy[i] * to_depth));
    const double dh = f.next[i] - f.h[i];
    if (y)
      message_out("need to split...(y-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n", du, dh, f.next[i]);
    else
      message_out("need to split...(x-dir) curr_du=%lf, dhh=%lf, h[j]+dhh=%lf\n", du, dh, f.next[i]);
    return;
  }
  if (y)
    message_out("  ]y: h+dh < 0.00   (h+dh=%lf)  j:%d\n", f.next[i], i);
  else
    message_out("  ]x: h+dh < 0.00   (h+dh=%lf)  j:%d\n", f.next[i], i);
  message_out("    -> Outflow Exceeded Water Depth\n");
}

// Names the failing faces in sweep order, then the cells drained below zero by all their
// faces together (named with the last sweep); at most limit of them.
void print_failures(const face_inputs& f, int sweep_order, int limit, double dts) {
  int printed = 0;
  const bool y_first = sweep_order == 1;
  const double to_depth = dts / f.dx;
  for (int pass = 0; pass < 2; pass++) {
    const bool y = (pass == 0) == y_first;
    const double* q = y ? f.qy : f.qx;
    for (int j = 1; j <= f.n && printed < limit; j++) {
      if (std::fabs(q[j] * to_depth) < max_face_depth_change || is_lake(f, j)) continue;
      print_face_failure(f, y, j, dts);
      printed++;
    }
  }
  for (int i = 1; i <= f.n && printed < limit; i++) {
    if (is_lake(f, i) || f.next[i] >= min_depth_after_step) continue;
    print_cell_failure(f, !y_first, i, dts);
    printed++;
  }
}

template <typename T>
void size_for(std::vector<T>& v, size_t n) {
  if (v.size() != n) v.assign(n, T());
}

// The depth buffers are swapped with ov_depth during a call, so they take its size.
void size_work_arrays(model_state& m) {
  const size_t size = size_t(m.cell_count) + 1;
  size_for(m.ov_qx, size);
  size_for(m.ov_qy, size);
  size_for(m.ov_depth_change, size);
  size_for(m.explicit_saved_depth, m.ov_depth.size());
  size_for(m.explicit_next_depth, m.ov_depth.size());
  size_for(m.explicit_depth_term, size);
}

face_inputs bind_inputs(model_state& m, bool channel_lakes) {
  face_inputs f;
  f.n = m.cell_count;
  f.dx = m.cell_size;
  f.h = m.ov_depth.data();
  f.z = m.elevation.data();
  f.r = m.retent_dep.data();
  f.rough = m.dist_rough.data();
  f.sx = m.slope_x.data();
  f.sy = m.slope_y.data();
  f.right = m.rightcon.data();
  f.below = m.belowcon.data();
  f.left = m.leftcon.data();
  f.above = m.abovecon.data();
  f.dike = m.dike_mask.data();
  if (m.ovr_flow_block_on) {
    const size_t size = size_t(m.cell_count) + 1;
    const node_matrix<double>& faces = m.ovr_flow_block_frac;
    if (faces.cols() == 5 && size_t(faces.rows()) + 1 >= size)
      f.face_block = reinterpret_cast<const double(*)[6]>(faces[0]);
    if (m.ovr_flow_block_value1.size() >= size) f.area_block = m.ovr_flow_block_value1.data();
  }
  if (m.wetland_on && m.wetland_mask.size() > size_t(m.cell_count)) {
    f.wet = m.wetland_mask.data();
    f.wet_props = m.wetland_properties.data();
    f.wet_count = int(m.wetland_properties.size()) - 1;
  }
  if (channel_lakes) {
    f.addend = lake_slope_addend;
    f.lake = m.lake_mask.data();
    f.lake_elev = m.lake_elev.data();
  }
  f.term = m.explicit_depth_term.data();
  f.qx = m.ov_qx.data();
  f.qy = m.ov_qy.data();
  f.next = m.explicit_next_depth.data();
  return f;
}

// The water a sub-step moved between cells and channel lakes, booked to the lakes by the
// direction it flowed.
void book_lake_faces(model_state& m, const face_inputs& f, const lake_faces& l, double dts) {
  for (const auto& face : l.faces) {
    const double v = taken_from_lake(f, face, dts);
    const size_t k = size_t(face.lake);
    m.lake_volume[k] -= v;
    if (v < 0.0)
      m.lake_in_dv[k] -= v;
    else if (v > 0.0)
      m.lake_out_dv[k] += v;
  }
  // A lake cut to what it held ends at round-off from empty, never below it.
  for (size_t k = 1; k < l.share.size(); k++)
    if (l.share[k] < 1.0 && m.lake_volume[k] < 0.0) m.lake_volume[k] = 0.0;
}

// The failure counts the team's threads add into, one slot per sub-step in turn: a slot
// is read after the sub-step's last barrier and cleared two sub-steps later, so no barrier
// is spent on clearing it.
struct team_failures {
  int slot[3] = {0, 0, 0};
  bool cut = false;  // a channel lake's outflow was cut in the sub-step
};

// Sub-steps the whole step; after a failure the step starts again from the depths (and
// lake values) it started with, with a third of the sub-step. The starting depths are kept
// by swapping buffers, not copied: ov_depth holds them until the first sub-step that has a
// successor is kept, then explicit_saved_depth does. A failure in the first sub-step leaves
// the depths unchanged, so the restart takes the discharges just computed and only makes
// the test and the transfers again with the shorter sub-step.
// One thread team runs the whole step (a team per loop cost more than the loops on grids
// of some ten thousand cells): every thread takes the same decisions from the same counts,
// keeps its own copy of the buffer pointers and swaps them as the first thread swaps the
// record's buffers; a sub-step costs two barriers, after the faces and after the gather.
// At the end the discharges become per unit width times the cell size (q x dx).
void route_substepped(model_state& m, double dt, double dts, bool channel_lakes) {
  explicit_step_control& c = m.explicit_control;
  const bool quiet = m.quiet_on != 0;
  const bool dikes = m.dike_map_on != 0 && m.dike_mask.size() > size_t(m.cell_count);
  const bool wetlands = m.wetland_on != 0 && m.wetland_mask.size() > size_t(m.cell_count);
  const size_t lakes = channel_lakes ? size_t(m.nlakes) + 1 : 0;
  lake_faces lake_list;
  if (channel_lakes) lake_list = collect_lake_faces(bind_inputs(m, true), m.nlakes);
  const face_inputs start = bind_inputs(m, channel_lakes);
  double* const start_depth = m.ov_depth.data();
  double* const start_spare = m.explicit_saved_depth.data();
  team_failures counts;
#pragma omp parallel if(m.cell_count >= min_cells_for_threads)
  {
    const bool first_thread = omp_get_thread_num() == 0;
    const cell_share mine = team_share(start.n);
    face_inputs f = start;
    double* depth = start_depth;  // the buffer ov_depth holds
    double* spare = start_spare;  // the buffer explicit_saved_depth holds
    double substep = dts;
    int divisions = 0, slot = 0;
    bool too_small = false;
    bool start_saved = false;  // explicit_saved_depth holds the starting depths
    bool terms_ready = false;  // explicit_depth_term is that of ov_depth
    bool faces_ready = false;  // ov_qx, ov_qy are the discharges of ov_depth
    for (;;) {
      if (start_saved) {
        std::swap(depth, spare);
        f.h = depth;
        if (first_thread) std::swap(m.ov_depth, m.explicit_saved_depth);
        start_saved = false;
        terms_ready = false;
      }
      if (channel_lakes) {
        if (first_thread) {
          std::copy_n(m.explicit_saved_lake_elev.begin(), lakes, m.lake_elev.begin());
          std::copy_n(m.explicit_saved_lake_volume.begin(), lakes, m.lake_volume.begin());
          std::fill_n(m.lake_in_dv.begin(), lakes, 0.0);
          std::fill_n(m.lake_out_dv.begin(), lakes, 0.0);
        }
#pragma omp barrier
      }
      bool restart = false;
      int kept = 0;
      double t = 0.0;
      while (dt - t > 0.0) {
        const double step = explicit_next_substep(dt, t, substep);
        const bool last = step >= dt - t;
        if (!faces_ready && !terms_ready) {
          depth_terms_of(f, mine.first, mine.last);
#pragma omp barrier
        }
        int failures = faces_of_share(f, step, wetlands, dikes, faces_ready, mine);
#pragma omp barrier
        if (channel_lakes) {
#pragma omp single
          counts.cut = limit_lake_outflow(f, lake_list, m.lake_volume, step);
        }
        const bool cut = channel_lakes && counts.cut;
        failures += gather_faces(f, step / f.dx, !last, mine);
#pragma omp atomic
        counts.slot[slot] += failures;
#pragma omp barrier
        failures = counts.slot[slot];
        if (first_thread) counts.slot[(slot + 2) % 3] = 0;
        slot = (slot + 1) % 3;
        if (first_thread) {
          c.substeps_run++;
          if (faces_ready) c.substeps_reused++;
        }
        faces_ready = false;
        terms_ready = !last;
        if (failures > 0 && !too_small) {
          const bool at_limit = substep <= smallest_substep;
          const bool divide = !at_limit && divisions < max_divisions_per_call;
#pragma omp single copyprivate(substep)
          {
            if (!channel_lakes)
              print_failures(f, c.sweep_order, at_limit ? 1 : failures, step);
            else if (!quiet)
              print_failures(f, c.sweep_order, failures, step);
            if (divide)
              substep = explicit_divide_substep(c, substep, quiet);
            else if (!at_limit && !quiet)
              message_out(" *Time step to small to divide, continuing with current time step\n");
          }
          if (divide) {
            divisions++;
            restart = true;
            faces_ready = t == 0.0 && !cut;  // a cut discharge is not the depths' own
            terms_ready = false;
            break;
          }
          too_small = true;
        }
        if (channel_lakes && first_thread) book_lake_faces(m, f, lake_list, step);
        kept++;
        if (!last && !start_saved) {
          std::swap(spare, depth);
          if (first_thread) std::swap(m.explicit_saved_depth, m.ov_depth);
          start_saved = true;
        }
        std::swap(depth, f.next);
        f.h = depth;
        if (first_thread) std::swap(m.ov_depth, m.explicit_next_depth);
        t = last ? dt : t + step;
      }
      if (!restart) {
        if (first_thread) c.substeps_kept += kept;
        break;
      }
    }
    for (int i = mine.first; i <= mine.last; i++) {
      f.qx[i] *= f.dx;
      f.qy[i] *= f.dx;
    }
  }
}

// Overland lakes: one serial pass of the full step, x faces applied before the y faces
// are computed. A lake's water is its record's; the cells of a lake keep their depth.
void route_overland_lakes(model_state& m, double dt) {
  face_inputs f = bind_inputs(m, false);
  f.addend = lake_slope_addend;
  const int n = m.cell_count;
  const double to_depth = dt / f.dx, area = f.dx * f.dx;
  const int* lake = m.oland_lake_new.data();
  olake_release_limits(m);
  std::fill(m.ov_qx.begin(), m.ov_qx.end(), 0.0);
  std::fill(m.ov_qy.begin(), m.ov_qy.end(), 0.0);
  std::vector<double>& change = m.ov_depth_change;
  std::fill(change.begin(), change.end(), 0.0);
  const bool dikes = m.dike_map_on != 0 && m.dike_mask.size() > size_t(m.cell_count);
  // The pass has no face checks: a cell gives no more than it holds at that point of the pass.
  const auto held = [&](int giver, double q) {
    const double a = std::max(0.0, f.h[giver] + change[size_t(giver)]);
    return std::fabs(q) * to_depth > a ? std::copysign(a / to_depth, q) : q;
  };
  for (int pass = 0; pass < 2; pass++) {
    const bool y = pass == 1;
    const int* nbr = y ? f.below : f.right;
    const double* slope = y ? f.sy : f.sx;
    double* qout = y ? f.qy : f.qx;
    const int bit = y ? 4 : 2;
    for (int j = 1; j <= n; j++) {
      const int nb = nbr[j];
      if (nb == 0 || (dikes && (f.dike[j] & bit))) continue;
      const int lj = lake[j], ln = lake[nb];
      if (lj > 0 && ln > 0) continue;
      const double open = f.face_block ? open_face(f, j, nb, y ? 3 : 2, y ? 1 : 4) : 1.0;
      double q;
      if (ln > 0) {  // j and the lake of nb
        overland_lake_record& l = m.overland_lake_records[size_t(ln)];
        const double s = clamped((f.z[j] + f.h[j] - l.wse) / f.dx + lake_slope_addend);
        const auto* w = wetland_record(f, j);
        q = open * (w ? wetland_lake_discharge(s, f.h[j], *w) : manning(s, f.rough[j], f.h[j] - f.r[j]));
        if (q > 0.0) q = held(j, q);
        q = -olake_release(m, ln, -q * to_depth * area) / (to_depth * area);
        change[size_t(j)] -= q * to_depth;
        l.added_volume += q * to_depth * area;
      } else if (lj > 0) {  // the lake of j and nb
        overland_lake_record& l = m.overland_lake_records[size_t(lj)];
        const double s = clamped((l.wse - (f.z[nb] + f.h[nb])) / f.dx + lake_slope_addend);
        const auto* w = wetland_record(f, nb);
        q = open * (w ? wetland_lake_discharge(s, f.h[nb], *w) : manning(s, f.rough[nb], f.h[nb] - f.r[nb]));
        if (q < 0.0) q = held(nb, q);
        q = olake_release(m, lj, q * to_depth * area) / (to_depth * area);
        change[size_t(nb)] += q * to_depth;
        l.added_volume -= q * to_depth * area;
      } else {
        q = f.wet ? cell_face_discharge<true, false>(f, j, nb, slope[j])
                  : cell_face_discharge<false, false>(f, j, nb, slope[j]);
        q *= open;
        q = held(q > 0.0 ? j : nb, q);
        change[size_t(j)] -= q * to_depth;
        change[size_t(nb)] += q * to_depth;
      }
      qout[j] = q;
    }
    for (int i = 1; i <= n; i++) {
      if (lake[i] <= 0) m.ov_depth[size_t(i)] += open_change(f, i, change[size_t(i)]);
      change[size_t(i)] = 0.0;
    }
  }
}

// Drains the outlet cell over the outlet slope; never more than the cell holds.
double drain_outlet(model_state& m, double dt) {
  if (m.chan_explic_on) return 0.0;
  const int o = m.outlet_cell;
  if (o < 1 || o > m.cell_count) return 0.0;
  const double h = m.ov_depth[o];
  if (!(h > 0.0)) return 0.0;
  const double dx = m.cell_size;
  const double q = std::pow(h, 1.666667) * std::sqrt(m.outlet_slope) * dx / m.dist_rough[o];
  const double open = open_share(m, o);
  const double held = h * dx * dx * open;
  double volume = q * dt;
  if (volume >= held) {
    volume = held;
    m.ov_depth[o] = 0.0;
  } else {
    m.ov_depth[o] = h - volume / (dx * dx * open);
  }
  return volume;
}

}  // namespace

double explicit_first_substep(explicit_step_control& c, double dt, bool quiet) {
  if (c.calls_left >= 1) {
    c.calls_left--;
    c.changed = 1;
    return c.reduced_substep;
  }
  if (c.changed) {
    if (!quiet) message_out("Resetting time step to %4.2lf for overland flow...\n", dt);
    c.changed = 0;
  }
  return dt;
}

double explicit_divide_substep(explicit_step_control& c, double dts, bool quiet) {
  dts /= 3.0;
  if (!quiet) message_out(" *Changing overland time step to %4.2lf seconds...\n", dts);
  c.calls_left = 4;
  c.reduced_substep = dts;
  return dts;
}

double explicit_next_substep(double dt, double t, double dts) {
  const double rest = dt - t;
  return rest - dts < 0.0001 ? rest : dts;
}

double route_overland_explicit(model_state& m, double dt) {
  explicit_step_control& c = m.explicit_control;
  c.sweep_order ^= 1;
  if (!cell_arrays_fit(m)) return 0.0;
  const bool channel_lakes = m.lakes_on != 0;
  const bool overland_lakes = !channel_lakes && m.overland_lakes_on != 0;
  if (channel_lakes && !lake_numbers_fit(m, m.lake_mask, channel_lake_tables(m), "channel")) return 0.0;
  if (overland_lakes &&
      !lake_numbers_fit(m, m.oland_lake_new, m.overland_lake_records.size(), "overland"))
    return 0.0;

  const double dts = explicit_first_substep(c, dt, m.quiet_on != 0);
  size_work_arrays(m);
  if (channel_lakes) {
    const size_t lakes = size_t(m.nlakes) + 1;
    m.explicit_saved_lake_elev.assign(m.lake_elev.begin(), m.lake_elev.begin() + long(lakes));
    m.explicit_saved_lake_volume.assign(m.lake_volume.begin(), m.lake_volume.begin() + long(lakes));
  }
  if (overland_lakes)
    route_overland_lakes(m, dt);
  else
    route_substepped(m, dt, dts, channel_lakes);  // also makes the discharges q x dx

  if (m.lowspot_on) {
    double lost = 0.0, gained = 0.0;
    lowspot_weir_flow(m, dt, lost, gained);
    m.ov_head_bound_loss += lost;
    m.ov_head_bound_gain += gained;
  }
  const double outflow = drain_outlet(m, dt);
  if (overland_lakes) {
    const double dx = m.cell_size;
    double* qx = m.ov_qx.data();
    double* qy = m.ov_qy.data();
    parallel_for_cells(m.cell_count, [=](int i) {
      qx[i] *= dx;
      qy[i] *= dx;
    });
  }
  return outflow;
}

}  // namespace pluvo
