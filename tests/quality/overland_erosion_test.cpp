#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/printed.hpp"
#include "common/process.hpp"
#include "common/error_state.hpp"
#include "quality/overland_erosion.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"
#include "run/driver.hpp"
#include "erosion_fixture.hpp"
#include "run/whole_project.hpp"

namespace {

using namespace pluvo;
using pluvo_test::write_erosion_project;

double layer(const ov_sed_record& s, int cell, int k, int l) { return s.vol_sed[s.cell_class_layer(cell, k, l)]; }

// Per class, what the parent soil lost (layer 1, negative) and what is suspended, deposited and
// exported, summed over the cells: the sum stays zero.
struct class_books {
  double sum = 0.0, eroded = 0.0, exported = 0.0;
};

class_books books(const ov_sed_record& s, int cells, int k) {
  class_books b;
  for (int c = 1; c <= cells; ++c) {
    for (int l = 1; l <= 4; ++l) b.sum += layer(s, c, k, l);
    b.eroded -= layer(s, c, k, 1);
    b.exported += layer(s, c, k, 4);
  }
  b.sum += layer(s, 0, k, 2);  // the outlet's sink slot is emptied in the step
  return b;
}

struct run_record {
  std::string out;
  int code = -1;
  int steps = 0;
  std::vector<double> vol_sed;
};

// Runs e.prj on the given threads; check sees the record at the end of each step.
run_record run_erosion(int threads, const std::function<void(model_state&)>& check = nullptr) {
  run_record r;
  const int before = thread_count;
  set_thread_count(threads);
  set_phase_observer([&](const char* phase, int, model_state& m) {
    if (std::string(phase) != "write_time_series" || !m.ov_sed) return;
    ++r.steps;
    if (check) check(m);
    r.vol_sed = m.ov_sed->vol_sed;
  });
  r.out = printed_by([&] { r.code = run_pluvo("e.prj", nullptr, "e.prj"); });
  set_phase_observer(nullptr);
  set_thread_count(before);
  return r;
}

// Every transport method keeps each class accounted at every step of a rainy run on a rough grid.
TEST(OverlandErosion, SedimentIsAccountedAtEveryStepForEveryMethod) {
  for (int method = 1; method <= 6; ++method) {
    pluvo_test::scratch_dir dir;
    write_erosion_project(6, 7, method, "TIMESTEP 5\nTOT_TIME 4\nHYD_FREQ 1\n");
    double worst = 0.0, eroded = 0.0, moved_out = 0.0;
    const run_record r = run_erosion(1, [&](model_state& m) {
      for (int k = 1; k <= 3; ++k) {
        const class_books b = books(*m.ov_sed, m.cell_count, k);
        worst = std::max(worst, std::fabs(b.sum) / std::max(b.eroded, 1e-300));
        eroded += b.eroded;
        moved_out = std::max(moved_out, b.exported);
      }
    });
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_GE(r.steps, 48) << method;
    EXPECT_LE(worst, 1e-12) << "method " << method;
    EXPECT_GT(eroded, 0.0) << "method " << method;
    EXPECT_GT(moved_out, 0.0) << "method " << method;
  }
}

// The outlet sediment hydrograph shows every class the step exported, not the last one alone.
TEST(OverlandErosion, OutletSedimentLineCarriesEveryClass) {
  pluvo_test::scratch_dir dir;
  write_erosion_project(6, 7, 2, "TIMESTEP 5\nTOT_TIME 4\nHYD_FREQ 1\n");
  double last_exported = 0.0, worst = 0.0, at_minute_one = -1.0;
  int steps_with_two_classes = 0;
  const run_record r = run_erosion(1, [&](model_state& m) {
    const ov_sed_record& s = *m.ov_sed;
    const double total = layer(s, m.outlet_cell, 0, 4);
    worst = std::max(worst, std::fabs(s.outlet_sed_volume_step - (total - last_exported)));
    int classes = 0;
    for (int k = 1; k <= 3; ++k) classes += layer(s, m.outlet_cell, k, 4) > 0.0;
    if (classes >= 2 && s.outlet_sed_volume_step > 0.0) ++steps_with_two_classes;
    if (std::fabs(m.elapsed_min - 1.0) < 1e-9) at_minute_one = s.outlet_sed_volume_step;
    last_exported = total;
  });
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_LE(worst, 1e-15);
  EXPECT_GT(steps_with_two_classes, 0);
  // A line a minute, each the export of the minute's last step over the 5 s step.
  const std::string sed = pluvo_test::read_file("e.sed");
  char expected[64];
  std::snprintf(expected, sizeof expected, "%16.8lf %16.10lf\n", 1.0, at_minute_one / 5.0);
  EXPECT_GT(at_minute_one, 0.0);
  EXPECT_NE(sed.find(expected), std::string::npos) << sed << expected;
  EXPECT_EQ(std::count(sed.begin(), sed.end(), '\n'), 5) << sed;
}

// The per-cell loops give the same sediment on one thread and on eight (the grid is above the
// team threshold) over the first ten steps.
TEST(OverlandErosion, SameSedimentOnOneAndEightThreads) {
  pluvo_test::scratch_dir dir;
  write_erosion_project(64, 65, 4, "TIMESTEP 6\nTOT_TIME 1\nHYD_FREQ 10\n");
  const run_record one = run_erosion(1);
  const run_record eight = run_erosion(8);
  ASSERT_EQ(one.code, 0) << one.out;
  ASSERT_GE(one.steps, 10);
  ASSERT_EQ(eight.steps, one.steps);
  ASSERT_EQ(one.vol_sed.size(), eight.vol_sed.size());
  EXPECT_TRUE(one.vol_sed == eight.vol_sed);
}

// With the classes carried as constituents (SOIL_EROSION 10 and up) the run goes on, the grid is
// not eroded, and the classes are the first constituents, named by their class files; the same
// project with method 2 alone erodes.
TEST(OverlandErosion, ClassesAsConstituentsAreNotErodedOnTheGrid) {
  const struct {
    int method;
    bool erodes;
  } cases[] = {{2, true}, {12, false}};
  for (const auto& c : cases) {
    pluvo_test::scratch_dir dir;
    write_erosion_project(3, 4, c.method, "TIMESTEP 5\nTOT_TIME 2\nHYD_FREQ 1\n");
    double eroded = 0.0;
    std::vector<std::string> names;
    const run_record r = run_erosion(1, [&](model_state& m) {
      eroded = 0.0;
      for (int k = 1; k <= 3; ++k) eroded += books(*m.ov_sed, m.cell_count, k).eroded;
      names = m.constituent_output_name;
      if (!names.empty()) names.erase(names.begin());  // element 0 is not used
    });
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_GE(r.steps, 24) << c.method;
    EXPECT_EQ(eroded > 0.0, c.erodes) << c.method;
    const std::vector<std::string> classes = {"sand.out", "silt.out", "clay.out"};
    EXPECT_EQ(names, c.erodes ? std::vector<std::string>() : classes) << c.method;
  }
}

// A project read by the real reader, its state then set by hand: depth h everywhere, still
// water, no rain, flat water surface; suspended volume 1 of every class in every cell.
// What the set-up and the body printed.
template <class body>
std::string with_still_grid(double h, body b) {
  pluvo_test::scratch_dir dir;
  write_erosion_project(3, 4, 2, "TIMESTEP 5\nTOT_TIME 1\nHYD_FREQ 1\n");
  bool ran = false;
  const pluvo_test::set_up_result r = pluvo_test::set_up_past_refusal("e.prj", [&](model_state& m) {
    ov_sed_record& s = *m.ov_sed;
    const size_t cells = size_t(m.cell_count) + 1;
    for (std::vector<double>* v : {&m.ov_qx, &m.ov_qy, &m.cell_rain_rate, &m.ov_depth}) v->resize(cells);
    for (int c = 1; c <= m.cell_count; ++c) {
      m.ov_depth[size_t(c)] = h;
      m.elevation[size_t(c)] = 10.0;
      m.ov_qx[size_t(c)] = m.ov_qy[size_t(c)] = 0.0;
      m.cell_rain_rate[size_t(c)] = 0.0;
      for (int k = 1; k <= 3; ++k) s.vol_sed[s.cell_class_layer(c, k, 2)] = 1.0;
    }
    m.outlet_slope = 0.0;
    m.outlet_discharge = 0.0;
    b(m);
    ran = true;
  });
  EXPECT_FALSE(r.refused) << r.out;
  EXPECT_TRUE(ran) << r.out;
  return r.out;
}

TEST(OverlandErosion, StillDryGridDetachesNothingAndSettlesEverything) {
  for (double h : {0.0, 0.01}) {
    with_still_grid(h, [&](model_state& m) {
      compute_overland_erosion(m, 5.0);
      const ov_sed_record& s = *m.ov_sed;
      for (int c = 1; c <= m.cell_count; ++c)
        for (int k = 1; k <= 3; ++k) {
          EXPECT_EQ(layer(s, c, k, 1), 0.0);
          EXPECT_EQ(layer(s, c, k, 2), 0.0);
          EXPECT_EQ(layer(s, c, k, 3), 1.0);
          EXPECT_EQ(s.ov_sed_vol_eroded[s.cell_class(c, k)], 0.0);
          EXPECT_EQ(s.ov_sed_vol_deposited[s.cell_class(c, k)], 1.0);
        }
    });
  }
}

// A cell passing Q m3/s to its right neighbour over a flat surface keeps the share
// 1 - exp(-dx w / (V h)) of its suspended load, V = Q / (dx h).
TEST(OverlandErosion, TrappedFractionFollowsTheSettlingLaw) {
  const struct {
    double h, Q;
  } cases[] = {{0.01, 1e-4}, {0.01, 1e-3}, {0.05, 1e-2}, {0.002, 5e-5}};
  for (const auto& t : cases) {
    with_still_grid(t.h, [&](model_state& m) {
      const int c = 6;  // row 2, column 2: inside the grid, away from the outlet
      m.ov_qx[size_t(c)] = t.Q;
      compute_overland_erosion(m, 5.0);
      const ov_sed_record& s = *m.ov_sed;
      const double V = t.Q / (10.0 * t.h);
      for (int k = 1; k <= 3; ++k) {
        const double trapped = 1.0 - std::exp(-10.0 * s.settling_velocity[size_t(k)] / (V * t.h));
        EXPECT_NEAR(layer(s, c, k, 3), trapped, 1e-14) << t.Q << " class " << k;
        EXPECT_NEAR(layer(s, c, k, 2), 1.0 - trapped, 1e-14);
      }
    });
  }
}

TEST(OverlandErosion, NanLinesNameTheClassAndCell) {
  const std::string out = with_still_grid(0.0, [&](model_state& m) {
    ov_sed_record& s = *m.ov_sed;
    s.vol_sed[s.cell_class_layer(2, 2, 1)] = NAN;
    s.vol_sed[s.cell_class_layer(3, 1, 2)] = NAN;
    s.vol_sed[s.cell_class_layer(3, 3, 3)] = NAN;
    compute_overland_erosion(m, 5.0);
  });
  const size_t at = out.find("PT 3 ");
  ASSERT_NE(at, std::string::npos) << out;
  // The suspended NaN settles into the deposit as well.
  EXPECT_EQ(out.substr(at),
            "PT 3 eroded soil particle  2=Nan at grid 2\n"
            "PT 3 suspended soil particle  1=Nan at grid 3\n"
            "PT 3 deposited soil particle  1=Nan at grid 3\n"
            "PT 3 deposited soil particle  3=Nan at grid 3\n");
}

// One class of diameter d in the suspended load of cell 1.
struct one_cell_sediment {
  ov_sed_record s;
  explicit one_cell_sediment(std::vector<double> diameters_mm, std::vector<double> suspended) {
    s.num_sed_classes = int(diameters_mm.size());
    s.part_diam = {0.0};
    s.spec_grav = {0.0};
    for (double d : diameters_mm) {
      s.part_diam.push_back(d);
      s.spec_grav.push_back(2.65);
    }
    s.vol_sed.assign(size_t(2 * (s.num_sed_classes + 1) * ov_sed_record::layers), 0.0);
    s.sed_fract = s.vol_sed;
    for (int k = 1; k <= s.num_sed_classes; ++k) s.vol_sed[s.cell_class_layer(1, k, 2)] = suspended[size_t(k - 1)];
  }
};

TEST(OverlandErosion, MedianDiameter) {
  const struct {
    std::vector<double> d, f;
    double d50;
  } cases[] = {
      {{0.05}, {3.0}, 50.0},
      {{0.5, 0.2}, {0.0, 0.0}, 200.0},  // nothing loose, parent soil unset: the last class
      {{0.5, 0.2}, {0.3, 0.7}, 200.0},  // the last class alone holds half
      // The four-class case: the running sum reaches 0.5 at class 2, weight 0.8.
      {{1.0, 0.5, 0.1, 0.01}, {0.4, 0.3, 0.1, 0.2}, 1000.0 * 0.1 * std::pow(0.5 / 0.1, 0.8)},
  };
  for (const auto& t : cases) {
    one_cell_sediment o(t.d, t.f);
    EXPECT_NEAR(median_particle_diameter(1, o.s), t.d50, 1e-9 * t.d50);
  }
}

// Each method against its formula on both sides of the grain-size bounds.
TEST(OverlandErosion, TransportCapacityByMethodAndGrainSize) {
  const double S = 0.02, h = 0.01, q = 0.002, dt = 5.0, dx = 10.0, K = 0.7, open = 0.9;
  const double scale = dt * dx / 2645.23, V = q / h;
  const double P = 100.0 * V * S, W = std::pow(1000.0 * 9792.342 * h * S * V, 1.5), Q = 10000.0 * q;
  const double U = 100.0 * std::sqrt(9792.342 * h * S / 998.2);
  const double tail = scale * open / 10.0;
  const struct {
    int method;
    double d50;
    double expected;
  } cases[] = {
      {1, 20.0, 0.05 * dx * V * V * std::pow(S * h, 1.5) / (1.65 * 1.65 * 0.02e-3 * std::sqrt(9.81)) * dt * K * open},
      {2, 20.0, 1.7e8 * std::pow(S, 1.6667) * std::pow(q, 2.035) * K * scale},
      {3, 121.0, 0.006025596 * std::pow(P, 1.52) * std::pow(121.0, 0.59) * tail},
      {3, 122.0, 0.316227766 * std::pow(P, 2.59) * std::pow(122.0, -0.39) * tail},
      {4, 121.0, 1.977e-6 * std::pow(W, 1.044) * std::pow(121.0, 0.478) * tail},
      {4, 122.0, 4.6e-7 * std::pow(W, 1.75) * std::pow(122.0, -0.56) * tail},
      {5, 32.0, 6.16595 * std::pow(S, 1.9) * std::pow(Q, 1.1) * tail},
      {5, 33.0, 10.96478 * std::pow(S, 1.94) * std::pow(Q, 1.19) * tail},
      {5, 60.0, 10.96478 * std::pow(S, 1.94) * std::pow(Q, 1.19) * tail},
      {5, 61.0, 9.332543 * std::pow(S, 1.77) * std::pow(Q, 1.79) * tail},
      {5, 121.0, 9.332543 * std::pow(S, 1.77) * std::pow(Q, 1.79) * tail},
      {5, 122.0, 64.56542 * std::pow(S, 2.96) * std::pow(Q, 2.18) * tail},
      {5, 189.0, 64.56542 * std::pow(S, 2.96) * std::pow(Q, 2.18) * tail},
      {5, 190.0, 20.41738 * std::pow(S, 2.81) * std::pow(Q, 3.1) * tail},
      {6, 32.0, 0.035 * std::pow(U - 1.4, 2.88) * tail},
      {6, 33.0, 0.052 * std::pow(U - 1.4, 2.95) * tail},
      {6, 60.0, 0.052 * std::pow(U - 1.4, 2.95) * tail},
      {6, 61.0, 0.029 * std::pow(U - 1.45, 3.74) * tail},
      {6, 121.0, 0.029 * std::pow(U - 1.45, 3.74) * tail},
      {6, 122.0, 0.024 * std::pow(U - 1.55, 4.14) * tail},
      {6, 189.0, 0.024 * std::pow(U - 1.55, 4.14) * tail},
      {6, 190.0, 0.0092 * std::pow(U - 1.8, 5.06) * tail},
      {7, 20.0, q},
      {0, 20.0, q},
  };
  ASSERT_GT(U, 1.8);
  for (const auto& t : cases) {
    one_cell_sediment o({t.d50 / 1000.0}, {1.0});
    const double c = sediment_transport_capacity(t.method, 1, S, h, q, dt, dx, o.s, K, scale, open);
    EXPECT_NEAR(c, t.expected, 1e-12 * std::fabs(t.expected)) << t.method << " at " << t.d50;
  }
  one_cell_sediment o({0.02}, {1.0});
  EXPECT_EQ(sediment_transport_capacity(3, 1, S, 0.0, q, dt, dx, o.s, K, scale, open), 0.0);
  EXPECT_EQ(sediment_transport_capacity(3, 1, S, h, 0.0, dt, dx, o.s, K, scale, open), 0.0);
}

// Splash above the critical depth is damped; a channel cell with too little deposit detaches
// nothing; elsewhere the deposit goes first and the parent soil gives the rest by composition.
TEST(OverlandErosion, RainSplashTakesTheDepositFirst) {
  const double i = 30.0, dt = 5.0, dx = 10.0, a = 3.75e-8, b = 1.5545;
  const double full = 60.0 * a * std::pow(i, b) * dt * dx * dx / 2645.23;
  one_cell_sediment o({0.5, 0.02}, {0.0, 0.0});
  ov_sed_record& s = o.s;
  s.sed_fract[s.cell_class_layer(1, 1, 1)] = 0.25;
  s.sed_fract[s.cell_class_layer(1, 2, 1)] = 0.75;
  s.vol_sed[s.cell_class_layer(1, 1, 3)] = 0.2 * full;
  std::vector<double> eroded(6, 0.0);
  const int channel[2] = {0, 1};
  rain_splash_detachment(1, i, 0.0, s, dt, dx, 60.0, a, b, channel, eroded.data());
  EXPECT_EQ(eroded[3], 0.0);  // a channel cell keeps its short deposit and its soil
  const int land[2] = {0, 0};
  rain_splash_detachment(1, i, 0.0, s, dt, dx, 60.0, a, b, land, eroded.data());
  EXPECT_NEAR(layer(s, 1, 1, 2), 0.2 * full + 0.8 * full * 0.25, 1e-15);
  EXPECT_NEAR(layer(s, 1, 2, 2), 0.8 * full * 0.75, 1e-15);
  EXPECT_EQ(layer(s, 1, 1, 3), 0.0);
  EXPECT_NEAR(layer(s, 1, 1, 1) + layer(s, 1, 2, 1), -0.8 * full, 1e-15);
  EXPECT_NEAR(eroded[3 + 0], full, 1e-15);
  // Twice the critical depth damps by e^-1.
  one_cell_sediment deep({0.5}, {0.0});
  deep.s.sed_fract[deep.s.cell_class_layer(1, 1, 1)] = 1.0;
  std::vector<double> e2(4, 0.0);
  const double hc = 0.00124 * std::pow(i, 0.182);
  rain_splash_detachment(1, i, 2.0 * hc, deep.s, dt, dx, 60.0, a, b, land, e2.data());
  EXPECT_NEAR(e2[2], full * std::exp(-1.0), 1e-15);
}

}  // namespace
