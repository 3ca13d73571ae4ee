// Overland sediment set-up: size classes, water viscosity, settling velocities, the erosion
// properties and the per-class arrays.
#include <cmath>

#include "common/error_state.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "input/mapping_tables.hpp"
#include "input/sediment.hpp"
#include "record/model_state.hpp"

namespace pluvo {

double water_kinematic_viscosity(double temperature_c) {
  const double t = temperature_c;
  return 7.125025025025025e-10 * std::pow(6005.52, 1.6012) / std::pow(t + 45.28, 1.6012) *
         std::pow(1.0 + t / 6005.52, 1.6012);
}

double settling_velocity(double diameter_mm, double specific_gravity, double viscosity) {
  const double d = diameter_mm / 1000.0;
  const double g = specific_gravity;
  const double nu = viscosity;
  if (d > 0.0001) {
    const double d_star = std::pow((g - 1.0) * 9.81 / (nu * nu), 0.3333333) * d;
    return (std::sqrt(0.0139 * d_star * d_star * d_star + 1.0) - 1.0) * 8.0 * nu / d;
  }
  return (g - 1.0) * 9.81 * d * d / (18.0 * nu);  // Stokes law for the fine classes
}

void order_sediment_classes(ov_sed_record& s, double sand_size) {
  const int k_count = s.num_sed_classes;
  s.sand.assign(size_t(k_count) + 1, 0);
  s.sed_class.assign(size_t(k_count) + 1, 0);
  s.num_fine_classes = s.num_sand_classes = 0;
  for (int k = 1; k <= k_count; ++k) {
    const bool fine = sand_size > s.part_diam[size_t(k)];
    s.sand[size_t(k)] = fine ? 0 : 1;
    ++(fine ? s.num_fine_classes : s.num_sand_classes);
  }
  int next_fine = 1, next_sand = s.num_fine_classes + 1;
  for (int k = 1; k <= k_count; ++k) s.sed_class[size_t(s.sand[size_t(k)] ? next_sand++ : next_fine++)] = k;
}

namespace {

void copy_sediment_options(model_state& m, ov_sed_record& s) {
  s.soil_erosion_value = m.soil_erosion >= 10 ? m.soil_erosion - 10 : m.soil_erosion;
  s.sed_constituent_mode = m.soil_erosion >= 10 ? 2 : 1;
  s.sed_hydro_locations_on = m.in_sed_loc_flag;
  s.net_sed_volume_on = m.net_sed_volume_flag;
  s.max_sed_flux_on = m.max_sed_flux_flag;
  s.vol_sed_susp_on = m.vol_sed_susp_flag;
  s.outlet_sed_tss_on = m.outlet_sed_tss_flag;
  s.out_tss_loc_on = m.out_tss_loc_flag;
  s.adjust_elev_on = m.adjust_elev_flag;
  s.adjust_elev_path = m.adjust_elev_file;
  s.in_sed_loc_path = m.in_sed_loc_file;
  s.vol_sed_susp_path = m.vol_sed_susp_file;
  s.max_sed_flux_path = m.max_sed_flux_file;
  s.net_sed_volume_path = m.net_sed_volume_file;
  s.outlet_sed_flux_path = m.outlet_sed_flux_file;
  s.out_sed_loc_path = m.out_sed_loc_file;
  s.outlet_sed_tss_path = m.outlet_sed_tss_file;
  s.out_tss_loc_path = m.out_tss_loc_file;
  if (m.water_temp < 0.0) m.water_temp = 0.0;  // the viscosity law holds for liquid water only
}

// false (code 4 with the file's kind and name, not yet reported) when the file does not open.
bool open_or_fail(checked_file& f, const std::string& name, char mode, const char* kind) {
  if (checked_file_open(f, name.c_str(), mode)) return true;
  set_error(4, kind, name);
  return false;
}

bool table_present(const model_state& m, int id) {
  return m.mapping_table_on && m.grid_table_presence[presence_slot(id)] != 0;
}

void allocate_sediment_arrays(const model_state& m, ov_sed_record& s) {
  const size_t cells = size_t(m.cell_count) + 1;
  const size_t classes = size_t(s.num_sed_classes) + 1;
  const size_t per_cell_class = cells * classes;
  if (s.max_sed_flux_on) {
    s.ov_qsmax.assign(per_cell_class, 0.0);
    s.ov_qsmax_total.assign(cells, 0.0);
  }
  if (s.net_sed_volume_on) s.ov_net_sed.assign(cells, 0.0);
  if (s.vol_sed_susp_on) {
    s.ov_qsconc.assign(per_cell_class, 0.0);
    s.ov_conc.assign(cells, 0.0);
  }
  for (std::vector<double>* v : {&s.qsx, &s.qsy, &s.splash_K, &s.sed_K, &s.detach_coef, &s.detach_crit, &s.detach_exp})
    v->assign(cells, 0.0);
  s.vol_sed.assign(per_cell_class * ov_sed_record::layers, 0.0);
  s.sed_fract.assign(per_cell_class * ov_sed_record::layers, 0.0);
  for (std::vector<double>* v : {&s.tot_sed, &s.GLOBAL_MASS_SED, &s.GLOBAL_VOL_SED})
    v->assign(classes * ov_sed_record::layers, 0.0);
  for (std::vector<double>* v : {&s.ov_sed_conc, &s.ov_sed_vol_deposited, &s.ov_sed_vol_eroded, &s.ov_qsvol})
    v->assign(per_cell_class, 0.0);
}

// The erosion table gives one fraction per class and cell; the bed starts uniform with depth,
// so every layer of the cell takes it.
void read_erosion_properties(model_state& m, ov_sed_record& s) {
  const int k_count = s.num_sed_classes;
  std::vector<std::vector<double>> fractions(size_t(k_count), std::vector<double>(size_t(m.cell_count) + 1, 0.0));
  std::vector<std::vector<double>*> outputs;
  for (auto& f : fractions) outputs.push_back(&f);
  if (!read_soil_erosion_table(map_table_target_of(m), m.mapping_table_path,
                               {&s.splash_K, &s.detach_coef, &s.detach_exp, &s.detach_crit, &s.sed_K}, outputs,
                               k_count))
    return;
  for (int i = 1; i <= m.cell_count; ++i)
    for (int k = 1; k <= k_count; ++k)
      for (int layer = 0; layer < ov_sed_record::layers; ++layer)
        s.sed_fract[s.cell_class_layer(i, k, layer)] = fractions[size_t(k - 1)][size_t(i)];
}

}  // namespace

void open_sediment_outputs(model_state& m) {
  if (!m.soil_erosion_on || !m.ov_sed) return;
  ov_sed_record& s = *m.ov_sed;
  if (s.vol_sed_susp_on == 1 && !open_or_fail(m.vol_sed_susp_fp, s.vol_sed_susp_path, 'w', "output suspended sediment"))
    return;
  if (s.max_sed_flux_on == 1 && !m.map_type_zero_on &&
      !open_or_fail(m.max_sed_flux_fp, s.max_sed_flux_path, 'w', "output sediment flux"))
    return;
  if (!open_or_fail(m.sed_outlet_hydro_file, s.outlet_sed_flux_path, 'w', "outlet sediment hydrograph")) return;
  if (s.outlet_sed_tss_on == 1 &&
      !open_or_fail(m.sed_outlet_tss_file, s.outlet_sed_tss_path, 'w', "outlet sediment tss file"))
    return;
  if (s.sed_hydro_locations_on != 1 || m.chan_sed_transport_on != 1) return;
  if (!open_or_fail(m.sed_hydrograph_location_fp, s.in_sed_loc_path, 'r', "input sed. hydrograph locations")) return;
  if (!open_or_fail(s.out_sed_loc_fp, s.out_sed_loc_path, 'w', "output sed. hydrograph locations")) return;
  if (s.out_tss_loc_on == 1)
    open_or_fail(m.sed_tss_loc_file, s.out_tss_loc_path, 'w', "output sediment tss hydrograph locations");
}

void read_sediment_inputs(model_state& m) {
  if (!m.soil_erosion_on) return;
  m.ov_sed = std::make_unique<ov_sed_record>();
  ov_sed_record& s = *m.ov_sed;
  copy_sediment_options(m, s);
  s.kinematic_viscosity = water_kinematic_viscosity(m.water_temp);

  open_sediment_outputs(m);
  if (error_state.error_terminate) return;

  const bool console = m.silent_mode != 1;
  echo(m, console, "Reading sediments table from mapping table file\n");
  if (!table_present(m, map_table::sediments) ||
      !read_sediments_table(map_table_target_of(m), m.mapping_table_path, s.num_sed_classes, s.spec_grav, s.part_diam,
                            s.class_file_names, s.f_bind) ||
      s.num_sed_classes < 1) {
    if (error_state.error_terminate) return;  // the reader reported its own failure
    set_error(92);
    report_error(error_state);
    return;
  }
  const int k_count = s.num_sed_classes;
  if (s.sed_constituent_mode == 2) {
    m.ov_con_trans_on = 1;
    // The classes come first among the constituents; each goes by its class file's name, as a
    // contaminant goes by its output name, so the summaries name what they carry. They keep type
    // 0: carried with the water, with no decay, uptake or partitioning of a contaminant.
    const int first = m.num_constituents + 1;
    m.num_constituents += k_count;
    m.constituent_output_name.resize(size_t(m.num_constituents) + 1);
    for (int k = 1; k <= k_count; ++k)
      m.constituent_output_name[size_t(first + k - 1)] = s.class_file_names[size_t(k)];
  }
  allocate_sediment_arrays(m, s);

  echo(m, console, "Reading soil erosion properties table from mapping table file\n");
  if (!table_present(m, map_table::soil_erosion)) {
    set_error(93);
    report_error(error_state);
    return;
  }
  read_erosion_properties(m, s);
  if (error_state.error_terminate) return;

  s.channel_cells.assign(size_t(m.cell_count) + 1, 0);
  s.class_output_files.clear();
  s.class_output_files.resize(size_t(k_count) + 1);

  s.settling_velocity.assign(size_t(k_count) + 1, 0.0);
  s.particle_density.assign(size_t(k_count) + 1, 0.0);
  for (int k = 1; k <= k_count; ++k) {
    s.particle_density[size_t(k)] = s.spec_grav[size_t(k)] * 998.2 * 1000.0;
    s.settling_velocity[size_t(k)] =
        settling_velocity(s.part_diam[size_t(k)], s.spec_grav[size_t(k)], s.kinematic_viscosity);
  }
  order_sediment_classes(s, m.sand_size);

  if (m.storm_sewer_on) {
    const size_t per_class_cell = size_t(k_count + 1) * (size_t(m.cell_count) + 1);
    s.ov_superlink_sed.assign(per_class_cell, 0.0);
    if (m.chan_explic_on) s.chan_superlink_sed.assign(per_class_cell, 0.0);
  }
}

}  // namespace pluvo
