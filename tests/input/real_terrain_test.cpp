#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>

#include "grid_fixture.hpp"
#include "input/input_phases.hpp"
#include "run/run_phases.hpp"

namespace {

using namespace pluvo;

// The Luxembourg basin: 33 x 28 grid of 500 m cells, outlet at row 19, column 27.
std::unique_ptr<model_state> luxembourg(const pluvo_test::temp_dir& dir) {
  auto m = pluvo_test::new_model();
  m->watershed_mask_path = PLUVO_TEST_DATA "/input/lux-a/luxa.msk";
  m->elevation_path = PLUVO_TEST_DATA "/input/lux-a/luxa.ele";
  m->summary_path = dir.file("lux.sum");
  m->outlet_hydro_path = dir.file("lux.hyd");
  m->project_rows = m->mask_rows = 33;
  m->project_cols = m->mask_cols = 28;
  m->cell_size = 500.0;
  m->outlet_row = 19;
  m->outlet_col = 27;
  m->manning_n_value = 0.05;
  m->silent_mode = 1;
  return m;
}

std::unique_ptr<model_state> set_up(const pluvo_test::temp_dir& dir, int threads) {
  auto m = luxembourg(dir);
  omp_set_num_threads(threads);
  open_project_files(*m);
  init_input_grids(*m);
  build_cell_connectivity(*m);
  compute_face_slopes(*m);
  compute_centered_slopes(*m);
  close_output_files(*m);
  return m;
}

TEST(RealTerrain, LuxembourgBasinSetsUpConsistently) {
  pluvo_test::temp_dir dir;
  dir.enter();
  auto m = set_up(dir, 8);
  ASSERT_EQ(error_state.error_terminate, 0);
  ASSERT_EQ(m->cell_count, 524);
  EXPECT_EQ(m->outlet_cell, 309);
  EXPECT_DOUBLE_EQ(m->watershed_area, 524 * 500.0 * 500.0);
  // Sinks were filled towards the outlet: it is the lowest cell.
  EXPECT_DOUBLE_EQ(*std::min_element(m->elevation.begin() + 1, m->elevation.end()), m->elevation[309]);
  EXPECT_DOUBLE_EQ(m->watershed_min_elev, 349.0);
  EXPECT_DOUBLE_EQ(m->watershed_max_elev, 511.0);
  EXPECT_EQ(m->elev_scale_count, 5);
  for (int k = 1; k <= m->cell_count; ++k) {
    // Every neighbour relation holds both ways, and the face slopes of a shared face agree.
    if (int r = m->rightcon[k]) {
      EXPECT_EQ(m->leftcon[r], k);
      EXPECT_DOUBLE_EQ(m->slope_x[k], (m->elevation[k] - m->elevation[r]) / 500.0);
    }
    if (int b = m->belowcon[k]) {
      EXPECT_EQ(m->abovecon[b], k);
    }
    if (int l = m->leftcon[k]) {
      EXPECT_EQ(m->rightcon[l], k);
    }
    if (int a = m->abovecon[k]) {
      EXPECT_EQ(m->belowcon[a], k);
    }
  }

  pluvo_test::temp_dir other;
  auto one = set_up(other, 1);
  EXPECT_EQ(one->rightcon, m->rightcon);
  EXPECT_EQ(one->belowcon, m->belowcon);
  EXPECT_EQ(one->abovecon, m->abovecon);
  EXPECT_EQ(one->leftcon, m->leftcon);
  EXPECT_EQ(one->slope_cy, m->slope_cy);
}

}  // namespace
