#pragma once
// Manning face laws of the explicit overland scheme: the discharge per unit width (m2/s)
// across one face from cell j to its neighbour nb, positive from j to nb.
#include <array>
#include <cmath>

namespace pluvo {

// d^(5/3) without a general pow: the hot loops call it for every wet face.
inline double depth_five_thirds(double d) { return d * std::cbrt(d * d); }

// Water-surface slope from j to nb; a level face keeps a tiny slope toward nb.
inline double water_surface_slope(double ground_slope, double hj, double hnb, double dx,
                                  double addend) {
  double s = ground_slope - (hnb - hj) / dx + addend;
  if (std::fabs(s) < 1e-20) s = 1e-20;
  return s;
}

// (h - r)^(5/3) of a cell, the depth term of Manning's law for the water it can give;
// 0 when its water does not exceed its retention depth.
inline double flowing_depth_term(double h, double r) {
  const double d = h - r;
  return d > 0.0 ? depth_five_thirds(d) : 0.0;
}

// Ordinary cells: the water flows from the upwind cell, with that cell's depth term
// (dj or dnb) and roughness (nj or nnb), whichever way the face points; so a mirrored grid
// gives the mirrored flow.
inline double upwind_face_discharge(double s, double dj, double dnb, double nj, double nnb) {
  const bool from_j = s >= 0.0;
  const double d = from_j ? dj : dnb;
  if (d <= 0.0) return 0.0;
  const double q = std::sqrt(std::fabs(s)) / (from_j ? nj : nnb) * d;
  return from_j ? q : -q;
}

// The same from the depths and retention depths of the two cells.
inline double plain_face_discharge(double s, double hj, double hnb, double rj, double rnb,
                                   double nj, double nnb) {
  if (s >= 0.0) return upwind_face_discharge(s, flowing_depth_term(hj, rj), 0.0, nj, nnb);
  return upwind_face_discharge(s, 0.0, flowing_depth_term(hnb, rnb), nj, nnb);
}

// Wetland positions in a property record.
enum wetland_field { wetland_height = 1, wetland_k1 = 2, wetland_transition = 3, wetland_k2 = 4,
                     wetland_manning = 6 };

// Cell j is a wetland: a linear law through the wetland body below its height, blended into
// Manning flow over it across the transition depth. Toward or from an ordinary cell the
// surface flow uses the ordinary cell's roughness nnb.
inline double wetland_face_discharge(double s, double hj, double hnb, double rnb, bool nb_wetland,
                                     const std::array<double, 8>& w, double nnb) {
  const double hw = w[wetland_height], k1 = w[wetland_k1], dtr = w[wetland_transition];
  const double k2 = w[wetland_k2], nw = w[wetland_manning];
  const double e = s >= 0.0 ? hj - hw : (nb_wetland ? hnb - hw : hnb - rnb);
  if (e <= 0.0) {
    if (s >= 0.0) return k1 * s * hj;
    return nb_wetland ? k1 * s * hnb : 0.0;
  }
  const double root = std::sqrt(std::fabs(s));
  if (nb_wetland) {
    const double m = (s >= 0.0 ? root : -root) / nw * depth_five_thirds(e);
    if (e > dtr) return k1 * hw * s + m;
    return k1 * hw * s + (1.0 - e / dtr) * k2 * e * s + m * e / dtr;
  }
  const double q = root / nnb * depth_five_thirds(e);
  return s >= 0.0 ? q : -q;
}

}  // namespace pluvo
