#pragma once
// The phases this process family offers to the driver.

namespace pluvo {

struct model_state;

void init_channel_routing(model_state& m);
void route_channels_step(model_state& m);
void read_chan_point_input_step(model_state& m);
// At the end of an event: the lake extents follow the lakes' water, and what the lakes took
// from and gave to the land since the last booking goes into the lake totals.
void close_lakes_at_event_end(model_state& m);

// Set-up readers called by the input-grid driver.
void setup_channel_network(model_state& m);

}  // namespace pluvo
