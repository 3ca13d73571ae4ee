// Gauge rates spread over the cells by inverse-distance weighting and by nearest gauge.
#include <gtest/gtest.h>

#include <vector>

#include "common/parallel_fill.hpp"
#include "common/process.hpp"
#include "hydromet/gauge_interpolation.hpp"
#include "precip_fixture.hpp"

namespace {

using namespace precip_test;

struct gauge {
  double x, y, rate;
};

void set_gauges(pluvo::model_state& m, const std::vector<gauge>& gauges) {
  const int n = int(gauges.size());
  m.gauge_count = n;
  m.gauge_x.assign(size_t(n) + 1, 0.0);
  m.gauge_y.assign(size_t(n) + 1, 0.0);
  pluvo::checked_array_2d_grow_fill(m.precip_table, n, 0.0, 1);
  for (int g = 1; g <= n; ++g) {
    m.gauge_x[g] = gauges[size_t(g) - 1].x;
    m.gauge_y[g] = gauges[size_t(g) - 1].y;
    m.precip_table.rows[g][1] = gauges[size_t(g) - 1].rate;
  }
}

enum class method { weighting, nearest };

// Rates of record 1 on every cell; false when the nearest-gauge search failed.
bool interpolate(pluvo::model_state& m, method how) {
  if (how == method::weighting) {
    pluvo::distribute_precip_idw(m, 1);
    return true;
  }
  if (m.gauge_count >= 2 && !pluvo::find_nearest_gauges(m)) return false;
  pluvo::assign_from_index_table_parallel(1, m.gauge_count, m.nearest.data(), m.precip_table,
                                          m.cell_rain_rate.data(), m.cell_count);
  return true;
}

struct spread_case {
  const char* name;
  std::vector<gauge> gauges;
  int cell;  // cell 5 is the centre of the 3 x 3 grid, its centre at (45, 45)
  double weighted, nearest;
};

TEST(GaugeInterpolation, CasesByWeightingAndByNearestGauge) {
  const spread_case cases[] = {
      {"a gauge 10 m from the centre speaks alone", {{55, 45, 7}, {85, 85, 100}}, 5, 7.0, 7.0},
      {"a gauge on the centre", {{45, 45, 3}, {0, 0, 9}}, 5, 3.0, 3.0},
      {"equidistant gauges", {{45, 95, 2}, {45, -5, 6}}, 5, 4.0, 2.0},
      {"one gauge far away", {{1e7, 1e7, 5}}, 1, 5.0, 5.0},
      {"one gauge far away, last cell", {{1e7, 1e7, 5}}, 9, 5.0, 5.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (method how : {method::weighting, method::nearest}) {
      clear_errors();
      auto m = make_grid(3, 3, 30.0);
      set_gauges(*m, c.gauges);
      ASSERT_TRUE(interpolate(*m, how));
      EXPECT_DOUBLE_EQ(m->cell_rain_rate[size_t(c.cell)],
                       how == method::weighting ? c.weighted : c.nearest);
    }
  }
}

TEST(GaugeInterpolation, GaugesBeyond900KmStopOnlyTheNearestGaugeSearch) {
  clear_errors();
  auto m = make_grid(2, 2, 30.0);
  set_gauges(*m, {{1e6, 1e6, 4}, {-1e6, 1e6, 8}});
  testing::internal::CaptureStdout();
  EXPECT_TRUE(interpolate(*m, method::weighting));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_NEAR(m->cell_rain_rate[1], 6.0, 1e-3);  // nearly equidistant
  testing::internal::CaptureStdout();
  EXPECT_FALSE(interpolate(*m, method::nearest));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Failure to identify closest raingauge in find_neighbor\n"
            "check rain gage data file, particularly gage coordinates\n\n");
  EXPECT_EQ(pluvo::error_state.error_terminate, 1);
  clear_errors();
}

TEST(GaugeInterpolation, SameRatesOnOneAndEightThreads) {
  const std::vector<gauge> gauges = {{100, 200, 3.5}, {900, 1000, 12.25}, {610, 40, 7.0}};
  for (method how : {method::weighting, method::nearest}) {
    std::vector<double> rates[2];
    const int threads[2] = {1, 8};
    for (int t = 0; t < 2; ++t) {
      pluvo::set_thread_count(threads[t]);
      auto m = make_grid(37, 41, 30.0);
      set_gauges(*m, gauges);
      ASSERT_TRUE(interpolate(*m, how));
      rates[t] = m->cell_rain_rate;
    }
    EXPECT_EQ(rates[0], rates[1]);
    // Weighted rates lie between the smallest and the largest gauge rate.
    for (size_t c = 1; c < rates[0].size(); ++c) {
      EXPECT_GE(rates[0][c], 3.5);
      EXPECT_LE(rates[0][c], 12.25);
    }
  }
  pluvo::set_thread_count(pluvo::thread_count);
}

}  // namespace
