// Reads every spatial input of a run, mask first, in the order later readers rely on.
#include "channel/channel_phases.hpp"
#include "common/error_state.hpp"
#include "hydromet/hydromet_phases.hpp"
#include "input/grid_setup.hpp"
#include "input/input_phases.hpp"
#include "overland/overland_phases.hpp"
#include "run/model_state.hpp"

namespace pluvo {

void init_input_grids(model_state& m) {
  m.cell_number_grid.resize(m.mask_rows, m.mask_cols, 0);
  m.data_grid.resize(m.mask_rows, m.mask_cols, 0);
  read_watershed_mask(m);
  // No cells, no arrays: readers then store nothing and the outlet check speaks.
  if (m.cell_count > 0) {
    m.elevation.assign(size_t(m.cell_count) + 1, 0.0);
    m.exchange_buffer.assign(size_t(m.cell_count) + 1, 0.0);
  }
  using step = void (*)(model_state&);
  const step steps[] = {
      read_elevation_map,          set_elevation_range,       allocate_cell_arrays,
      read_dike_map,               read_wetland_mask,         setup_overland_boundary_types,
      read_soil_property_maps,     read_groundwater_inputs,   open_sacramento_input,
      open_conceptual_gw_input,
  };
  for (step s : steps) {
    s(m);
    if (error_state.error_terminate) return;
  }
  read_link_map(m);  // its error stops the run at the next test
  const step later[] = {
      read_nwsrfs_elevation_bands, set_hmet_gage_parameters,  read_interception_maps,
      read_overland_lake_map,      read_retention_map,        read_roughness_map,
      setup_snow_roughness,        read_overland_blockage_table, read_sediment_inputs,
      read_contaminant_inputs,     read_cell_locations,       read_bmp_table,
      read_initial_snow_and_overland_state, read_soil_moisture_hotstart,
      setup_channel_network,       setup_superlink_grid_links, setup_drain_network,
  };
  for (step s : later) {
    s(m);
    if (error_state.error_terminate) return;
  }
}

}  // namespace pluvo
