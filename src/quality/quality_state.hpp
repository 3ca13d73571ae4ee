#pragma once
// Sediment and water-quality fields of the model record.

namespace pluvo {

struct quality_state {
  int ov_con_trans_on = 0;
  int chan_con_trans_on = 0;
  int all_contam_output_on = 0;  // run's copy of ALL_CONTAM_OUTPUT
  int ov_point_source_on = 0;

  // Record defaults.
  int cell_mass_toggle = 1;  // alternates between 1 and 2 every cell-mass step
  double kinetics_step_factor = 1.0;
};

}  // namespace pluvo
