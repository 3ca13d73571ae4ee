#pragma once
// Manning face laws of the explicit overland scheme: the discharge per unit width (m2/s)
// across one face from cell j to its neighbour nb, positive from j to nb.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace pluvo {

inline std::uint64_t bits_of(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// floor(b / 3) from 32-bit halves (2^32 = 3 x 1431655765 + 1), for vector loops, which have
// no 64-bit high multiply for b / 3.
inline std::uint64_t third_of(std::uint64_t b) {
  const std::uint32_t hi = std::uint32_t(b >> 32), lo = std::uint32_t(b);
  const std::uint32_t qh = std::uint32_t((std::uint64_t(hi) * 0xAAAAAAABu) >> 33), rh = hi - 3 * qh;
  const std::uint32_t ql = std::uint32_t((std::uint64_t(lo) * 0xAAAAAAABu) >> 33), rl = lo - 3 * ql;
  return (std::uint64_t(qh) << 32) + std::uint64_t(rh) * 1431655765u + ql + (rh + rl >= 3 ? 1u : 0u);
}

inline bool normal_depth(double d) { return d >= 1e-300 && d <= 1e300; }

// d^(5/3) for a normal_depth d without a general pow or the library's cube root, which took
// half the time of an overland sub-step: d^2 x d^(-1/3), the inverse cube root r refined
// from a guess made from the exponent bits by two steps of fourth order (e = 1 - d r^3 falls
// from about 0.1 to 1e-20), good to 4e-16 relative. third: a third of d's bits, rounded down.
inline double normal_five_thirds(double d, std::uint64_t third) {
  const std::uint64_t bits = 0x553ef0ff289dd796ull - third;
  double r;
  std::memcpy(&r, &bits, sizeof r);
  for (int k = 0; k < 2; k++) {
    const double e = 1.0 - d * (r * r * r);
    r += r * e * (1.0 / 3.0 + e * (2.0 / 9.0 + e * (14.0 / 81.0)));
  }
  return d * d * r;
}

// d^(5/3); outside the range of normal numbers the library's cube root is kept.
inline double depth_five_thirds(double d) {
  if (!normal_depth(d)) return d * std::cbrt(d * d);
  return normal_five_thirds(d, bits_of(d) / 3);
}

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
// gives the mirrored flow. Written without branches, so that loops over faces vectorise.
inline double upwind_face_discharge(double s, double dj, double dnb, double nj, double nnb) {
  const bool from_j = s >= 0.0;
  const double d = from_j ? dj : dnb;
  const double q = std::sqrt(std::fabs(s)) / (from_j ? nj : nnb) * d;
  return d <= 0.0 ? 0.0 : from_j ? q : -q;
}

// flowing_depth_term for vector loops: a flowing depth outside the normal range gets 0 here
// and adds 1 to odd, to be made again by flowing_depth_term.
inline double normal_flowing_depth_term(double h, double r, int& odd) {
  const double d = h - r;
  const bool normal = normal_depth(d);
  odd += d > 0.0 && !normal ? 1 : 0;
  const double ds = normal ? d : 1.0;
  const double t = normal_five_thirds(ds, third_of(bits_of(ds)));
  return normal ? t : 0.0;
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
