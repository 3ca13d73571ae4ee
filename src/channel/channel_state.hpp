#pragma once
// Fields of the model record owned by this process family.

namespace pluvo {

struct channel_state {
  double chan_volume_initial_run = 0.0;  // at the start of the run
  double chan_volume_final = 0.0;
  double lateral_inflow_net_total = 0.0;  // running totals of channel routing
  double lateral_inflow_in_total = 0.0;
  double lateral_inflow_out_total = 0.0;  // held negative
  double lateral_inflow_net_start = 0.0;
  double lateral_inflow_in_start = 0.0;
  double lateral_inflow_out_start = 0.0;
  double stream_point_source_total = 0.0;
  double stream_point_sink_total = 0.0;
  double lake_point_source_total = 0.0;
  double lake_point_sink_total = 0.0;
  double stream_point_source_start = 0.0;
  double stream_point_sink_start = 0.0;
  double lake_point_source_start = 0.0;
  double lake_point_sink_start = 0.0;
  double stream_point_source_event = 0.0;
  double stream_point_sink_event = 0.0;
  double lake_point_source_event = 0.0;
  double lake_point_sink_event = 0.0;
  double lake_inflow_total = 0.0;
  double lake_outflow_total = 0.0;
};

}  // namespace pluvo
