// Reads every spatial input of a run, mask first, in the order later readers rely on.
#include "channel/channel_services.hpp"
#include "channel/channel_phases.hpp"
#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/parallel_fill.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "input/ascii_map.hpp"
#include "input/grid_setup.hpp"
#include "groundwater/groundwater_phases.hpp"
#include "input/input_phases.hpp"
#include "input/location_lists.hpp"
#include "input/neighbour_services.hpp"
#include "input/run_parameters.hpp"
#include "output/output_phases.hpp"
#include "output/xy_boundaries.hpp"
#include "overland/overland_phases.hpp"
#include "quality/quality_phases.hpp"
#include "record/model_state.hpp"
#include "run/run_phases.hpp"
#include "soil/soil_phases.hpp"

namespace pluvo {

namespace {

// The lake map and the lake file are read by two subsystems; the volumes need both.
void read_overland_lakes(model_state& m) {
  read_overland_lake_map(m);
  if (error_state.error_terminate || m.overland_lakes_on != 1) return;
  read_lake_file(m.overland_lake_data_fp, 1, m.overland_lake_count, m.overland_lake_records);
  checked_file_close(m.overland_lake_data_fp);
  if (error_state.error_terminate) return;
  sum_overland_lake_volumes(m);
}

}  // namespace

// The input readers reach the other families through this table; filled once per process.
void wire_neighbour_services() {
  neighbour_service_table& t = neighbour_services;
  t.read_lowspot_file = read_lowspot_file;
  t.elevation_series_file = read_elevation_series_file;
  t.find_elevation_series = find_elevation_series;
  t.read_channel_pump = read_channel_pump;
  t.xy_boundary_input = read_xy_boundary_input;
  t.follow_channel_bed_change = follow_channel_bed_change;
  t.build_xy_weights = build_xy_weights;
  t.build_gw_xy_weights = build_gw_xy_weights;
  t.read_richards_soil_table = read_richards_soil_table;
  t.init_richards_soil_columns = init_richards_soil_columns;
  t.read_soil_temperature_input = read_soil_temperature_input;
  t.read_layered_soil_table = read_layered_soil_table;
  t.read_sacramento_input = read_sacramento_input;
  t.read_conceptual_gw = read_conceptual_gw;
  t.build_gipl_layer_links = build_gipl_layer_links;
  t.read_superlink_file = read_superlink_file;
  t.read_drain_network = read_drain_network;
  t.map_series_writer_open = map_series_writer_open;
  t.linknode_series_set_flat = linknode_series_set_flat;
  t.linknode_series_open = linknode_series_open;
}

void init_input_grids(model_state& m) {
  // The grid is sized from ROWS and COLS: a mask that cannot hold that many values is refused
  // before the memory is taken.
  if (!grid_size_cards_valid(m) ||
      !map_file_can_hold(m.watershed_mask_fp, m.watershed_mask_path.c_str(), m.mask_rows, m.mask_cols)) return;
  m.cell_number_grid.resize(m.mask_rows, m.mask_cols, 0);
  m.data_grid.resize(m.mask_rows, m.mask_cols, 0);
  read_watershed_mask(m);
  if (error_state.error_terminate) return;  // nothing after the mask can be placed on cells
  // No cells, no arrays: readers then store nothing and the outlet check speaks.
  if (m.cell_count > 0) {
    fresh_arrays arrays;
    arrays.add(m.elevation, size_t(m.cell_count) + 1);
    arrays.add(m.exchange_buffer, size_t(m.cell_count) + 1);
    arrays.make_all();
  }
  using step = void (*)(model_state&);
  const step steps[] = {
      read_elevation_map, set_elevation_range,       allocate_cell_arrays,
      read_dike_map,      read_wetland_mask,         setup_overland_boundary_types,
      read_overland_pump_file, read_overland_point_sources,
  };
  for (step s : steps) {
    s(m);
    if (error_state.error_terminate) return;
  }
  if (m.permafrost_gipl_flag || m.multi_layer_infil_gipl_flag) {
    for (step s : {read_permafrost_mask, setup_permafrost_soil}) {
      s(m);
      if (error_state.error_terminate) return;
    }
  }
  for (step s : {read_soil_property_maps, read_groundwater_inputs, open_sacramento_input,
                 open_conceptual_gw_input}) {
    s(m);
    if (error_state.error_terminate) return;
  }
  read_link_map(m);  // its error stops the run at the next test
  const step later[] = {
      read_nwsrfs_elevation_bands, set_hmet_gage_parameters,  read_interception_maps,
      read_overland_lakes,         read_retention_map,        read_roughness_map,
      setup_snow_roughness,        read_overland_blockage_table, read_sediment_inputs,
      read_contaminant_inputs,     read_cell_locations,       read_bmp_table,
      read_initial_snow_and_overland_state, read_soil_moisture_hotstart, setup_nutrient_grid,
      setup_channel_network,       setup_nutrient_soils,      setup_superlink_grid_links, setup_drain_network,
      read_output_location_lists,
  };
  for (step s : later) {
    s(m);
    if (error_state.error_terminate) return;
  }
  // The pipe outlets need the channel network; the error state tells the driver the outcome.
  if (m.chan_explic_on) {
    if (m.storm_sewer_on) connect_superlink_to_channel(m);
    if (m.storm_drain_on) check_drain_network(m);
  }
  if (!error_state.error_terminate) read_q4_segment_map(m);
}

}  // namespace pluvo
