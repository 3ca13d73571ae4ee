// Section properties, critical and normal depths of pipes, and surface inlets.
#include "groundwater/pipe_hydraulics.hpp"

#include <algorithm>
#include <cmath>

#include "common/console.hpp"

namespace pluvo {

namespace {

constexpr double gravity = 9.81;

struct circle_segment {
  double theta;  // half the angle the water surface subtends at the centre
  double area;
  double perimeter;
  double top_width;
};

circle_segment circular_segment(double D, double y) {
  const double r = D / 2.0;
  const double theta = std::acos((r - y) / r);
  const double s = std::sin(theta);
  return {theta, r * r * theta - (r - y) * r * s, theta * D, D * s};
}

}  // namespace

pipe_section pipe_section_properties(double D, double y, double B, int kind) {
  pipe_section p;
  if (kind == pipe_circular) {
    if (y < 0.0) return p;
    if (y < D) {
      const circle_segment c = circular_segment(D, y);
      p.pipe_top_width = c.top_width;
      p.pipe_wet_perim = c.perimeter;
      p.pipe_area = c.area;
    } else {
      p.pipe_top_width = 0.0;
      p.pipe_wet_perim = 3.1415926 * D;
      p.pipe_area = 3.1415926 * D * D / 4.0;
    }
  } else if (kind == pipe_arch) {
    if (y <= 0.0) return p;
    const double h = y >= D ? 1.0 : y / D;
    const double h2 = h * h, h3 = h2 * h, h4 = h3 * h;
    p.pipe_area = (0.450552317 * h2 + 0.850625935 * h - 0.0265118802 - 0.48046422 * h3) * D * B;
    const double radius = (1.1666329 * h - 0.0382820242 - 1.32389992 * h2 + 1.04200851 * h3 - 0.526837711 * h4) * D;
    p.pipe_wet_perim = p.pipe_area / radius;
    p.pipe_top_width = (3.13077957 * h + 0.656758295 - 9.66782176 * h2 + 11.9256017 * h3 - 5.88560436 * h4) * B;
  } else if (kind == pipe_box) {
    if (y < 0.0) {
      p.pipe_wet_perim = B;
      p.pipe_top_width = B;
    } else if (y >= D) {
      p.pipe_area = D * B;
      p.pipe_wet_perim = 2.0 * D + 2.0 * B;
    } else {
      p.pipe_area = y * B;
      p.pipe_wet_perim = 2.0 * y + B;
      p.pipe_top_width = B;
    }
  }
  return p;
}

double section_flow_area(int kind, double D, double B, double y) {
  if (kind == pipe_circular) return circular_segment(D, y).area;
  if (kind == pipe_box) return B * y;
  return 0.0;
}

int superlink_crit_calc(int kind, double D, double B, double Q, double& pipe_crit_depth) {
  if (kind == pipe_box) {
    pipe_crit_depth = std::pow((Q / B) * (Q / B) / gravity, 0.3333333333333);
    return 0;
  }
  if (kind == pipe_arch) {
    message_out("arch culverts not yet supported in subroutine superlink_crit_calc() \n");
    message_out("program terminated\n");
    return -1;
  }
  // Newton on z, the height of the centre above the water surface, for A sqrt(A/T) = Q/sqrt(g).
  const double r = D / 2.0;
  const double target = Q / std::sqrt(gravity);
  double z = 0.001;
  for (int update = 0; update < 10000; ++update) {
    const double y = r - z;
    const double A = section_flow_area(pipe_circular, D, B, y);
    const double T = D * std::sin(std::acos((2.0 * y - D) / D));
    const double F = A * std::sqrt(A / T) - target;
    // dA/dy = T and dT/dy = -2 (2y - D) / T; z runs against y.
    const double dT_dy = -2.0 * (2.0 * y - D) / T;
    const double dF_dy = 1.5 * std::sqrt(A * T) - 0.5 * A * std::sqrt(A) * std::pow(T, -1.5) * dT_dy;
    double next = z + F / dF_dy;
    if (next < -r) next = 0.001 - r;
    if (next > r) next = r - 0.001;
    const double change = std::fabs(next - z);
    z = next;
    if (change <= 1e-8) {
      pipe_crit_depth = r - z;
      return 0;
    }
  }
  message_out("no convergence in culvert critical depth routine\n");
  message_out("program terminated.\n");
  return -1;
}

int superlink_norm_calc(int kind, double D, double B, double n, double Q, double S, double& pipe_normal_depth) {
  const double conveyance = std::sqrt(S) / n;
  if (kind == pipe_box) {
    double y = D / 2.0;
    for (int update = 0; update < 251; ++update) {
      const double A = y * B, P = 2.0 * y + B;
      const double next = y + (Q - conveyance * A * std::pow(A / P, 2.0 / 3.0)) /
                                  ((B / P + B * B + 2.0 * A / P) * conveyance);
      if (std::fabs(next - y) <= 1e-8) {
        pipe_normal_depth = y;
        return 0;
      }
      y = next;
    }
    message_out("WARNING NO CONVERGENCE IN NORMCALC!!!\n");
    message_out("AFTER 250 ITERATIONS.  PROGRAM WILL\n");
    message_out("FAIL.  CHECK OUTLET SLOPE.  MUST BE\n");
    message_out("POSITIVE AND SUBCRITICAL.\n");
    return -1;
  }
  if (kind == pipe_arch) {
    message_out("arch culverts not yet supported in subroutine superlink_norm_calc() \n");
    message_out("program terminated\n");
    return -1;
  }
  // Newton on the depth with the exact derivative of the Manning discharge.
  double y = D / 4.0;
  for (int update = 0; update < 1000; ++update) {
    const circle_segment c = circular_segment(D, y);
    const double R = c.area / c.perimeter;
    const double s = std::sin(c.theta);
    const double dA = D * s, dP = 2.0 / s;
    const double dR = (dA * c.perimeter - c.area * dP) / (c.perimeter * c.perimeter);
    const double f = conveyance * c.area * std::pow(R, 2.0 / 3.0) - Q;
    const double df = conveyance * (dA * std::pow(R, 2.0 / 3.0) + c.area * (2.0 / 3.0) * std::pow(R, -1.0 / 3.0) * dR);
    double next = y - f / df;
    if (next >= D) {
      pipe_normal_depth = D;  // the pipe flows full
      return 0;
    }
    if (!(next > 0.0)) next = y / 2.0;  // stay inside the section
    const double change = std::fabs(next - y);
    y = next;
    if (change <= 1e-8) {
      pipe_normal_depth = y;
      return 0;
    }
  }
  message_out("no convergence in culvert normal depth routine\n");
  message_out("program terminated.\n");
  return -1;
}

double inlet_flow(int kind, int release, double H, double G, double As, double dt, std::vector<double>& ov_depth,
                  int cell, double cell_area, double L, double Dg, double& volume) {
  volume = 0.0;
  double& depth = ov_depth[size_t(cell)];
  if (kind >= 1 && kind <= 9) {
    if (release && H > G) {
      const double rate = -(H - G) * As / dt * kind;
      volume = rate * dt;
      return rate;
    }
    if (depth <= 1e-16) return 0.0;
    const double available = depth * cell_area;
    const double d_ft = 3.28 * depth;
    // A weir along three sides of the grate, or an orifice once the water stands high.
    const double weir = 3.0 * (3.0 * 3.28 * L) * std::pow(d_ft, 1.5);
    const double orifice = 0.67 * (0.785 * Dg * Dg * 10.764) * std::sqrt(64.4 * d_ft);
    double cfs;
    if (d_ft <= 0.4)
      cfs = weir;
    else if (d_ft < 1.0)
      cfs = std::min(orifice, weir);
    else
      cfs = orifice;
    double flow = cfs * 0.02832 * kind;
    volume = flow * dt;
    if (volume > available) {
      volume = available;
      flow = available / dt;
    }
    depth -= volume / cell_area;
    return flow;
  }
  if (kind == 10 && depth > 1e-16) {
    volume = depth * cell_area;
    depth = 0.0;
    return volume / dt;
  }
  return 0.0;
}

}  // namespace pluvo
