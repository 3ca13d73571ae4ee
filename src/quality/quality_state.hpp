#pragma once
// Sediment and water-quality fields of the model record.

namespace pluvo {

struct quality_state {
  int ov_con_trans_on = 0;
  int chan_con_trans_on = 0;
  int all_contam_output_on = 0;  // run's copy of ALL_CONTAM_OUTPUT
  int ov_point_source_on = 0;
};

}  // namespace pluvo
