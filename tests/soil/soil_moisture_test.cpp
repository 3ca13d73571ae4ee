// Soil-moisture columns close their books: infiltration - ponded, soil and water-table
// evapotranspiration - bottom drainage = storage change, for both routines and every path.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "record/model_state.hpp"
#include "soil/soil_moisture.hpp"

namespace {

using pluvo::model_state;

// One cell of 60 cm over a 20 cm top store, sandy loam, demand of 0.05 cm/h.
std::unique_ptr<model_state> one_column() {
  auto m = std::make_unique<model_state>();
  m->cell_count = 1;
  m->cell_size = 10.0;
  m->long_term_on = 1;
  m->inf_redist_on = 1;
  m->soil_moisture_accounting_on = 1;
  m->top_layer_depth_cm = 20.0;
  m->soil_moist_depth_cm = 60.0;
  auto cell = [](std::vector<double>& v, double x) { v.assign(2, x); };
  cell(m->porosity_cell, 0.45);
  cell(m->residual_sat_cell, 0.05);
  cell(m->field_capacity_cell, 0.25);
  cell(m->wilting_point_cell, 0.10);
  cell(m->ks_cell, 1.0 / 360000.0);  // 1 cm/h
  cell(m->pore_index_cell, 0.3);
  cell(m->pot_et, 0.05 / 3600.0);
  cell(m->pot_aet, 0.04 / 3600.0);
  cell(m->sm_depth_cell, 60.0);
  cell(m->sm_water_top, 20.0 * 0.30);
  cell(m->sm_water_lower, 40.0 * 0.30);
  cell(m->sm_water_cell, 60.0 * 0.30);
  for (auto* v : {&m->sm_infil_depth, &m->ov_depth, &m->direct_evap_cell, &m->cell_rain_rate, &m->unsat_downward_flux,
                  &m->unsat_recharge_depth, &m->sm_top_drainage, &m->sm_bottom_drainage, &m->surface_moisture})
    cell(*v, 0.0);
  m->yes_exfil.assign(2, 0);
  // The layered scheme's class 3: 20 cm and 40 cm layers of the same soil, in cm/h.
  m->soiltype.assign(2, 3);
  double* v = m->layered_soil_table[3].values;
  for (int L = 0; L < 3; ++L) {
    v[pluvo::soil_col_conductivity + L] = 1.0;
    v[pluvo::soil_col_porosity + L] = 0.45;
    v[pluvo::soil_col_residual + L] = 0.05;
    v[pluvo::soil_col_field_capacity + L] = 0.25;
    v[pluvo::soil_col_wilting + L] = 0.10;
    v[pluvo::soil_col_pore_index + L] = 0.3;
  }
  v[pluvo::soil_col_thickness] = 20.0;
  v[pluvo::soil_col_thickness + 1] = 40.0;
  return m;
}

struct books {
  double infiltrated, ponded, soil_et, table_et, bottom, storage_change, returned_cm;
};

books step(model_state& m, double dt, bool layered) {
  const double w0 = m.sm_water_cell[1], p0 = m.ov_depth[1] * 100.0, I = m.sm_infil_depth[1] * 100.0;
  const double flux0 = m.unsat_downward_flux[1], bottom0 = m.sm_bottom_drainage[1];
  const double returned = (layered ? pluvo::soil_moisture_routine_layered(m, dt) : pluvo::soil_moisture_routine(m, dt)) * 100.0;
  books b;
  b.infiltrated = I;
  b.ponded = m.direct_evap_cell[1];
  b.bottom = m.sm_bottom_drainage[1] - bottom0;
  b.table_et = b.bottom - (m.unsat_downward_flux[1] - flux0);
  b.soil_et = returned - b.ponded - b.table_et;
  b.storage_change = m.sm_water_cell[1] - w0;
  b.returned_cm = returned;
  EXPECT_NEAR(p0 - m.ov_depth[1] * 100.0, b.ponded, 1e-12);
  EXPECT_NEAR(m.sm_water_cell[1], m.sm_water_top[1] + m.sm_water_lower[1], 1e-12);
  return b;
}

struct column_case {
  const char* name;
  std::function<void(model_state&)> set;
  std::function<void(const books&, const model_state&)> check;
};

TEST(SoilMoisture, EveryColumnClosesForBothRoutines) {
  const double hour = 3600.0;
  const column_case cases[] = {
      {"dry hour drains and transpires", [](model_state&) {},
       [](const books& b, const model_state&) {
         EXPECT_NEAR(b.soil_et, 0.04, 1e-12);  // both stores above field capacity: their shares make A
         EXPECT_GT(b.bottom, 0.0);
       }},
      {"ponded water covers the demand",
       [](model_state& m) { m.ov_depth[1] = 0.01; },
       [](const books& b, const model_state& m) {
         EXPECT_NEAR(b.ponded, 0.05, 1e-12);
         EXPECT_EQ(b.soil_et, 0.0);
         EXPECT_NEAR(m.ov_depth[1], 0.0095, 1e-15);
       }},
      {"ponded water meets part of the demand",
       [](model_state& m) { m.ov_depth[1] = 0.0001; },
       [](const books& b, const model_state&) {
         EXPECT_NEAR(b.ponded, 0.01, 1e-12);
         EXPECT_NEAR(b.soil_et, 0.04 * 0.8, 1e-12);  // the actual rate over the rest of the hour
       }},
      {"raining cell takes no evapotranspiration",
       [](model_state& m) { m.cell_rain_rate[1] = 5.0; m.ov_depth[1] = 0.01; },
       [](const books& b, const model_state&) {
         EXPECT_EQ(b.returned_cm, 0.0);
         EXPECT_GT(b.bottom, 0.0);
       }},
      {"event-only run takes no evapotranspiration",
       [](model_state& m) { m.long_term_on = 0; m.sm_infil_depth[1] = 0.02; },
       [](const books& b, const model_state&) {
         EXPECT_EQ(b.returned_cm, 0.0);
         EXPECT_EQ(b.infiltrated, 2.0);
       }},
      {"saturating infiltration drains its excess",
       [](model_state& m) { m.sm_infil_depth[1] = 0.5; },
       [](const books& b, const model_state& m) {
         EXPECT_NEAR(m.sm_water_top[1], 20.0 * 0.45, 1e-12);
         EXPECT_GT(b.bottom, 0.0);
       }},
      {"demand below residual is cut and the drainage turns negative",
       [](model_state& m) {
         m.sm_water_top[1] = 20.0 * 0.051;
         m.sm_water_lower[1] = 40.0 * 0.051;
         m.sm_water_cell[1] = 60.0 * 0.051;
         m.field_capacity_cell[1] = 0.04;
         m.pot_aet[1] = 5.0 / 3600.0;
         m.pot_et[1] = 5.0 / 3600.0;
       },
       [](const books&, const model_state& m) {
         EXPECT_GE(m.sm_water_top[1], 20.0 * 0.05 - 1e-12);
         EXPECT_GE(m.sm_water_lower[1], 40.0 * 0.05 - 1e-12);
       }},
      {"one store above a shallow water table draws on the table",
       [](model_state& m) {
         m.sm_depth_cell[1] = 15.0;
         m.sm_water_top[1] = 15.0 * 0.2;
         m.sm_water_lower[1] = 0.0;
         m.sm_water_cell[1] = 15.0 * 0.2;
       },
       [](const books& b, const model_state&) { EXPECT_GT(b.table_et, 0.0); }},
      {"a column of no depth exfiltrates and passes its infiltration down",
       [](model_state& m) {
         m.sm_depth_cell[1] = 0.0;
         m.sm_water_top[1] = m.sm_water_lower[1] = m.sm_water_cell[1] = 0.0;
         m.sm_infil_depth[1] = 0.01;
       },
       [](const books& b, const model_state& m) {
         EXPECT_EQ(m.yes_exfil[1], 1);
         EXPECT_NEAR(b.bottom, 1.0, 1e-12);
         EXPECT_NEAR(b.table_et, 0.04, 1e-12);
       }},
  };
  for (const bool layered : {false, true}) {
    for (const column_case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (layered ? " (layered)" : ""));
      auto m = one_column();
      if (layered) {
        m->inf_redist_on = 0;
        m->inf_layered_soil_on = 1;
      }
      c.set(*m);
      if (layered) {  // the layered store limits come from the class
        double* v = m->layered_soil_table[3].values;
        v[pluvo::soil_col_field_capacity] = v[pluvo::soil_col_field_capacity + 1] = m->field_capacity_cell[1];
      }
      const books b = step(*m, hour, layered);
      EXPECT_NEAR(b.infiltrated - b.soil_et - b.bottom, b.storage_change, 1e-12);
      c.check(b, *m);
      EXPECT_EQ(m->sm_infil_depth[1], 0.0);
    }
  }
}

TEST(SoilMoisture, AColumnLeftToDrainLosesWaterEveryHourAndStaysAboveResidual) {
  auto m = one_column();
  double previous = m->sm_water_cell[1];
  for (int h = 0; h < 48; ++h) {
    const books b = step(*m, 3600.0, false);
    EXPECT_NEAR(-b.soil_et - b.bottom, b.storage_change, 1e-12);
    EXPECT_LT(m->sm_water_cell[1], previous);
    previous = m->sm_water_cell[1];
  }
  EXPECT_GE(m->sm_water_top[1], 20.0 * 0.05);
}

}  // namespace
