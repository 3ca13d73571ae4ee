#include "common/parallel_fill.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <vector>

#include "common/process.hpp"

namespace {

using namespace pluvo;

struct moisture_case {
  double uniform, residual, porosity, expected;
};

const moisture_case moisture_cases[] = {
    {0.30, 0.35, 0.45, 0.36},   // below the residual content: raised by the margin
    {0.50, 0.35, 0.45, 0.44},   // above the porosity: lowered by the margin
    {0.355, 0.35, 0.45, 0.355},  // inside the range: unchanged
    {0.445, 0.35, 0.45, 0.445},
    {0.20, 0.40, 0.38, 0.37},   // inverted bounds: the upper test wins
};
constexpr int case_count = sizeof moisture_cases / sizeof moisture_cases[0];

// Cell i holds case (i - 1) % case_count, by its own bounds or by its soil class.
std::vector<double> clamp_on_threads(int threads, bool per_cell, const moisture_case& c, int n) {
  std::vector<double> porosity_cell(n + 1), residual_cell(n + 1), out(n + 1, -1.0);
  std::vector<int32_t> soiltype(n + 1);
  const double class_porosity[] = {0, c.porosity, 0.9};
  const double class_residual[] = {0, c.residual, 0.0};
  for (int i = 1; i <= n; ++i) {
    porosity_cell[i] = c.porosity;
    residual_cell[i] = c.residual;
    soiltype[i] = 1;
  }
  omp_set_num_threads(threads);
  clamp_initial_moisture_parallel(n, class_porosity, out.data(), class_residual, soiltype.data(), porosity_cell.data(),
                                  residual_cell.data(), per_cell ? 1 : 0, c.uniform);
  omp_set_num_threads(thread_count);
  return out;
}

TEST(ParallelFill, MoistureClampTableOnOneAndEightThreads) {
  const int n = 1001;
  for (const moisture_case& c : moisture_cases) {
    for (bool per_cell : {false, true}) {
      const std::vector<double> one = clamp_on_threads(1, per_cell, c, n);
      const std::vector<double> eight = clamp_on_threads(8, per_cell, c, n);
      EXPECT_EQ(one, eight);
      EXPECT_EQ(one[0], -1.0);  // element 0 is not a cell
      for (int i = 1; i <= n; ++i) ASSERT_DOUBLE_EQ(one[i], c.expected) << c.uniform << " cell " << i;
    }
  }
  std::vector<double> out(2, -1.0);
  clamp_initial_moisture_parallel(0, nullptr, out.data(), nullptr, nullptr, nullptr, nullptr, 0, 0.3);
  EXPECT_EQ(out[1], -1.0);
}

TEST(ParallelFill, NearestGaugeRainRate) {
  checked_array_2d<double> table;  // one row per gauge, one column per record
  checked_array_2d_grow(table, 3, 4);
  for (int g = 1; g <= 3; ++g)
    for (int r = 0; r <= 4; ++r) table.rows[g][r] = 10.0 * g + r;
  const int n = 6;
  const std::vector<int32_t> nearest = {0, 1, 2, 3, 3, 0, 4};
  struct tc {
    int gauges, record;
    std::vector<double> expected;
  } cases[] = {
      {3, 2, {0, 12, 22, 32, 32, 0, 0}},  // gauges 0 and 4 do not exist: no row is read
      {1, 4, {0, 14, 14, 14, 14, 14, 14}},  // one gauge: row 1 whatever nearest says
      {3, 5, {0, 0, 0, 0, 0, 0, 0}},  // no such record
  };
  for (const tc& c : cases) {
    for (int threads : {1, 8}) {
      std::vector<double> rain(n + 1, 0.0);
      omp_set_num_threads(threads);
      assign_from_index_table_parallel(c.record, c.gauges, nearest.data(), table, rain.data(), n);
      omp_set_num_threads(thread_count);
      EXPECT_EQ(rain, c.expected) << c.gauges << " gauges, record " << c.record;
    }
  }
}

}  // namespace

namespace {

// A fresh array of a million cells and more holds its value in every element on any thread
// count; made present again, memory that holds values keeps them.
TEST(ParallelFill, FreshArraysHoldTheirValueOnOneAndEightThreads) {
  for (int threads : {1, 8}) {
    omp_set_num_threads(threads);
    std::vector<double> v;
    assign_fresh(v, 1234567, 2.5);
    ASSERT_EQ(v.size(), 1234567u);
    for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], 2.5) << threads << " threads, element " << i;
    for (size_t i = 0; i < v.size(); ++i) v[i] = double(i);
    prepare_fresh_pages(v.data(), v.size() * sizeof(double));
    for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], double(i)) << threads << " threads, element " << i;
    assign_fresh(v, 1001, -1.0);  // a smaller array reuses the block
    EXPECT_EQ(v, std::vector<double>(1001, -1.0));
    std::vector<int> small;
    assign_fresh(small, 3, 7);
    EXPECT_EQ(small, (std::vector<int>{7, 7, 7}));

    // Made together, each array as it was noted last.
    std::vector<double> a(5, 9.0), b, c;
    std::vector<int32_t> d;
    fresh_arrays arrays;
    arrays.add(a, 300001, 1.0);
    arrays.add(b, 300001);
    arrays.add(d, 300001, int32_t(-4));
    arrays.add(a, 200001, 3.0);
    arrays.add(c, 2, 0.5);
    arrays.make_all();
    EXPECT_EQ(a, std::vector<double>(200001, 3.0));
    EXPECT_EQ(b, std::vector<double>(300001, 0.0));
    EXPECT_EQ(c, std::vector<double>(2, 0.5));
    EXPECT_EQ(d, std::vector<int32_t>(300001, -4));
  }
  omp_set_num_threads(thread_count);
}

}  // namespace
