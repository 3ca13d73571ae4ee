// Flow through a culvert barrel for a headwater and a tailwater level: the regime from the
// barrel's length, slope and the submergence of its ends, then its inlet-control, outlet-control
// or full-barrel formula.
#include "channel/culverts.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "channel/channel_routines.hpp"
#include "common/checked_file.hpp"
#include "common/console.hpp"
#include "common/error_state.hpp"

namespace pluvo {

namespace {

constexpr double gravity = 9.81;

// Lines of a failed evaluation: on the console and in the run's log; the caller stops the run.
void print_problem(const char* text) { write_log_message(error_log_file ? error_log_file->stream : nullptr, text); }

int shape_of(int structtype) { return structtype == 3 ? 1 : structtype == 4 ? 2 : 3; }

// Friction and exit term of a long barrel flowing at hydraulic radius r.
double long_barrel_term(double n, double length, double r) {
  return n * n * length * length / std::pow(r, 4.0 / 3.0) + 0.0509683995922528;
}

double full_barrel_flow(double area, double dh, double n, double length, double r) {
  return area > 0.0 ? area * std::sqrt(dh / long_barrel_term(n, length, r)) : 0.0;
}

// A barrel of rise d partly full at depth y: its flow for head difference dh.
double long_partial_flow(double d, double y, double w, int shape, double dh, double n, double length) {
  double a = 0.0, p = 0.0, t = 0.0;
  culvert_section_props(d, y, w, shape, a, p, t);
  return a > 0.0 && p > 0.0 ? full_barrel_flow(a, dh, n, length, a / p) : 0.0;
}

struct culvert_levels {
  double zi = 0.0, zo = 0.0;  // entrance and exit inverts for the direction of flow
  double slope = 0.0;         // positive falling toward the exit
  double head = 0.0, tail = 0.0;
  double c = 0.0;             // discharge coefficient for the direction of flow
  bool forward = true;
};

// Long mild barrel: friction governs.
double long_barrel_flow(const hydraulic_structure& e, const culvert_levels& v, double d, double w, int shape,
                        double r) {
  const double dh = v.head - v.tail, hw = v.head - v.zi;
  const double n = e.rough_coeff, length = e.length;
  const double full_area = d * 3.14159 * d * 0.25;
  if (r >= 1.5) {
    if (v.tail > v.zo + d / 2.0) return full_barrel_flow(full_area, dh, n, length, d * 0.25);
    return full_barrel_flow(full_area, v.head - (v.zo + d / 2.0), n, length, d * 0.25);
  }
  const double tail_depth = v.tail - v.zo;
  // A tailwater at or above the crown fills the barrel: it flows full under the head difference.
  if (tail_depth >= d) return full_barrel_flow(full_area, dh, n, length, d * 0.25);
  double q = 0.0;
  if (tail_depth > 0.0 && tail_depth < d) q = long_partial_flow(d, (0.7 * hw + tail_depth) * 0.5, w, shape, dh, n, length);
  if (v.tail <= v.zo + 1e-6) q = long_partial_flow(d, hw * 0.5, w, shape, dh, n, length);
  return q;
}

// Short or steep barrel under inlet control with a low tailwater.
double inlet_control_flow(const hydraulic_structure& e, int element, const culvert_levels& v, double d, double w,
                          int shape, double r, bool steep, double& rise, double& area) {
  const double h = steep ? v.head - v.zi : v.head - v.zo;
  if (h < 0.01) return 0.0;
  const double ci = e.inlet_coeff;
  if (shape == 3) {
    const double yc = 2.0 / 3.0 * h;
    rise = yc;
    area = yc * w;
    return std::sqrt(h - yc) * yc * w * ci * std::sqrt(19.62);
  }
  if (shape == 2) return 0.0;
  double c = v.c;
  if (ci >= 0.01) c = (1.0 - r / 1.5) * c + r * ci / 1.5;
  const double upper = h < d ? circular_segment_area(1, d, w, h) * c * std::sqrt(19.62) * std::sqrt(h / 3.0)
                             : circular_segment_area(1, d, w, d) * c * std::sqrt(19.62) * std::sqrt(0.4 * h);
  int iterations = 0;
  const double q = zbrent(1, d, w, c, h, 0.0001, upper, 0.0001, iterations);
  if (q == culvert_failed_flow) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Problem in zbrent (ex_flow_route.c). Hydraulic short culvert routine \n"
                  "The flow cannot be determine in culvert number %d\n",
                  element);
    print_problem(text);
    return culvert_failed_flow;
  }
  culvert_critical_depth(1, d, w, q, rise);
  double upper_depth = 0.0;
  culvert_critical_depth(1, d, w, upper, upper_depth);
  area = circular_segment_area(1, d, w, upper_depth);
  return q;
}

// Short or steep barrel, or a long steep one: submerged outlet, full barrel or orifice.
double short_barrel_flow(const hydraulic_structure& e, const culvert_levels& v, double d, double w, int shape,
                         bool steep) {
  const double dh = v.head - v.tail;
  const double h = steep ? v.head - v.zi : v.head - v.zo;
  double a, r;
  if (shape == 1) {
    a = 3.1415926 * d * d / 4.0;
    r = d / 4.0;
  } else if (shape == 2) {
    a = 0.788 * w * d;
    r = 0.299 * d;
  } else {
    a = w * d;
    r = a / (2.0 * w + 2.0 * d);
  }
  const double c = v.c, n = e.rough_coeff, length = e.length;
  if (h / d >= 1.0 && v.tail - v.zo >= d) {
    const double k = length > 15.0 ? 29.0 * c * c * n * n * length / std::pow(r, 4.0 / 3.0) + 1.0 : 1.0;
    return a * c * std::sqrt(2.0 * gravity * dh / k);
  }
  if (h / d >= 1.5 && v.tail < v.zo + d) {
    const double inlet = std::sqrt(v.head - v.zi) * a * c * std::sqrt(19.62);
    const double outlet = std::sqrt((v.head - (v.zo + d)) * 19.62) * a * c;
    return std::min(inlet, outlet);
  }
  return 0.0;
}

}  // namespace

void culv_flow(const std::vector<hydraulic_structure>& s, int element, double h_up, double h_dn, double& q,
               double& rise, double& area) {
  const hydraulic_structure& e = s[size_t(element)];
  if (e.length < 0.0001) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n"
                  "in culvert number %d is 0.0.  This is not possible. Program terminated.\n",
                  element);
    print_problem(text);
    q = culvert_failed_flow;
    return;
  }
  culvert_levels v;
  v.zi = e.upinvert;
  v.zo = culvert_exit_invert(e);
  v.slope = e.downinvert < 0.0001 ? e.slope : (e.upinvert - e.downinvert) / e.length;
  v.forward = h_up > h_dn;
  v.c = v.forward ? e.inlet_disch_coeff : e.rev_flow_disch_coeff;
  if (!v.forward) {
    std::swap(v.zi, v.zo);
    v.slope = -v.slope;
  }
  v.head = std::max(h_up, h_dn);
  v.tail = std::min(h_up, h_dn);
  const int shape = shape_of(e.structtype);
  const double w = e.size1;
  const double d = shape == 1 ? e.size1 : e.size2;
  rise = d;
  area = d * d * 3.14 * 0.5;
  q = 0.0;
  // Water passes only when the headwater stands above both inverts.
  if (v.zi >= v.head || v.zo >= v.head) return;
  const bool steep = v.slope > 0.01;
  const double hw = v.head - v.zi;
  const double r = (steep ? v.head - v.zi : v.head - v.zo) / d;
  double flow;
  if (e.length > 40.0 * d && v.slope < 0.01)
    flow = long_barrel_flow(e, v, d, w, shape, r);
  else if (r < 1.5 && 0.7 * hw + v.zo > v.tail)
    flow = inlet_control_flow(e, element, v, d, w, shape, r, steep, rise, area);
  else if (r < 1.5 && v.tail < v.zo + d) {
    double a = 0.0, p = 0.0, t = 0.0;
    culvert_section_props(d, v.tail - v.zo, w, shape, a, p, t);
    flow = a * v.c * std::sqrt((v.head - v.tail) * 19.62);
  } else {
    flow = short_barrel_flow(e, v, d, w, shape, steep);
  }
  if (flow == culvert_failed_flow) {
    q = culvert_failed_flow;
    return;
  }
  q = v.forward ? flow : -flow;
}

double culvert_exit_invert(const hydraulic_structure& e) {
  return e.downinvert < 0.0001 ? e.upinvert - e.length * e.slope : e.downinvert;
}

void culvert_section_props(double d, double y, double w, int shape, double& a, double& p, double& t) {
  a = p = t = 0.0;
  if (shape == 1) {
    if (y < 0.0) return;
    if (y >= d) {
      a = 3.1415926 * d * d / 4.0;
      p = 3.1415926 * d;
      return;
    }
    const double r = d / 2.0, angle = std::acos((r - y) / r);
    a = r * r * angle - (r - y) * r * std::sin(angle);
    p = angle * d;
    t = d * std::sin(angle);
  } else if (shape == 2) {
    if (y <= 0.0) return;
    const double f = std::min(y / d, 1.0), f2 = f * f, f3 = f2 * f, f4 = f3 * f;
    a = (0.450552317 * f2 + 0.850625935 * f - 0.0265118802 - 0.48046422 * f3) * d * w;
    const double radius = (1.1666329 * f - 0.0382820242 - 1.32389992 * f2 + 1.04200851 * f3 - 0.526837711 * f4) * d;
    p = a / radius;
    t = (3.13077957 * f + 0.656758295 - 9.66782176 * f2 + 11.9256017 * f3 - 5.88560436 * f4) * w;
  } else {
    if (y < 0.0) {
      p = w;
      t = w;
    } else if (y >= d) {
      a = d * w;
      p = 2.0 * d + 2.0 * w;
    } else {
      a = y * w;
      p = 2.0 * y + w;
      t = w;
    }
  }
}

double circular_segment_area(int shape, double d, double w, double y) {
  if (shape == 3) return std::max(w * y, 0.0);
  const double r = d / 2.0;
  // Held inside the barrel: a depth above the crown has the full section.
  const double angle = std::acos(std::clamp((r - y) / r, -1.0, 1.0));
  return r * r * angle - std::sin(angle) * (r - y) * r;
}

void culvert_critical_depth(int shape, double d, double w, double q, double& yc) {
  if (shape == 3) {
    yc = std::pow((q / w) * (q / w) / gravity, 0.3333333333333);
    return;
  }
  if (shape == 2) {
    set_error(123);
    return;
  }
  // Newton on z, the height of the surface below the centre line, for A^1.5 T^-0.5 = q / sqrt(g).
  const double r = d / 2.0, target = q / std::sqrt(gravity);
  double z = 0.001;
  for (int iteration = 1; iteration <= 1000; iteration++) {
    const double y = r - z;
    const double a = circular_segment_area(1, d, w, y);
    const double t = d * std::sin(std::acos(std::fabs(y - r) / r));
    const double f = std::pow(a, 1.5) / std::sqrt(t) - target;
    const double dt_dz = -2.0 * z / std::sqrt(r * r - z * z);
    const double df = -1.5 * std::sqrt(a) * std::sqrt(t) - 0.5 * std::pow(a, 1.5) * std::pow(t, -1.5) * dt_dz;
    double next = z - f / df;
    if (next < -r) next = 0.001 - r;
    if (next > r) next = r - 0.001;
    const double change = std::fabs(next - z);
    z = next;
    if (change <= 1e-8) {
      yc = r - z;
      return;
    }
  }
  set_error(122);
}

double culvert_energy_residual(int shape, double d, double w, double c, double h, double q) {
  double yc = 0.0;
  culvert_critical_depth(shape, d, w, q, yc);
  const double a = circular_segment_area(shape, d, w, yc);
  // A critical depth above the head leaves no energy to drive the flow.
  return q - a * c * std::sqrt(19.62) * std::sqrt(std::max(h - yc, 0.0));
}

double zbrent(int shape, double d, double w, double c, double h, double lower, double upper, double tolerance,
              int& iterations) {
  const auto f = [&](double q) { return culvert_energy_residual(shape, d, w, c, h, q); };
  double a = lower, b = upper, cc = upper, dd = 0.0, e = 0.0;
  double fa = f(a), fb = f(b);
  iterations = 0;
  if ((fa > 0.0 && fb > 0.0) || (fa < 0.0 && fb < 0.0)) {
    print_problem("Problem in ZBRENT root finder\nRoot must be bracketed\n");
    return culvert_failed_flow;
  }
  double fc = fb;
  for (int iter = 1; iter <= 100; iter++) {
    iterations = iter;
    if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
      cc = a;
      fc = fa;
      e = dd = b - a;
    }
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = cc;
      cc = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const double tol1 = 6e-8 * std::fabs(b) + 0.5 * tolerance;
    const double xm = 0.5 * (cc - b);
    if (std::fabs(xm) <= tol1 || fb == 0.0) return b;
    if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
      // Inverse quadratic interpolation, or the secant when only two points are known.
      const double s = fb / fa;
      double p, q;
      if (a == cc) {
        p = 2.0 * xm * s;
        q = 1.0 - s;
      } else {
        const double qa = fa / fc, r = fb / fc;
        p = s * (2.0 * xm * qa * (qa - r) - (b - a) * (r - 1.0));
        q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
      }
      if (p > 0.0) q = -q;
      p = std::fabs(p);
      const double min1 = 3.0 * xm * q - std::fabs(tol1 * q);
      const double min2 = std::fabs(e * q);
      if (2.0 * p < std::min(min1, min2)) {
        e = dd;
        dd = p / q;
      } else {
        dd = xm;
        e = dd;
      }
    } else {
      dd = xm;
      e = dd;
    }
    a = b;
    fa = fb;
    b += std::fabs(dd) > tol1 ? dd : (xm >= 0.0 ? std::fabs(tol1) : -std::fabs(tol1));
    fb = f(b);
  }
  print_problem("Maximum number of iterations exceeded in ZBRENT\n");
  return culvert_failed_flow;
}

}  // namespace pluvo
