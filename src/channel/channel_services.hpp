#pragma once
// Channel routines other processes call: the overland and groundwater phases and the hourly
// evapotranspiration.

namespace pluvo {

struct model_state;

// Weir flow across the low spots of dikes for dt seconds; adds the volumes (m3) lost to
// and gained from head boundary cells.
void lowspot_weir_flow(model_state& m, double dt, double& bound_loss, double& bound_gain);

// At an event's start: a network without a hotstart starts dry (after the first event, only
// where no soil carries water between events), and the event's initial channel volume is taken.
void start_event_channels(model_state& m);

// Water held in the channel links (m3), for the end-of-runoff test.
double channel_stored_volume(const model_state& m);

// Removes one hour of evaporation from every channel lake under the hour's wind (m/s), air
// temperature (degrees C) and relative humidity (%), adds it to the lake totals, then updates
// the extents. The hourly evapotranspiration step calls it when channel lakes are on.
void compute_lake_evaporation(model_state& m, double wind_speed, double temperature, double rh);

// Stream-aquifer and lake-aquifer exchange rates (qriv, the grid-stream entry rates and the
// lake seepage rates) for sub-step dt_sub: 0 no exchange, 1 a gaining node, 2 only losing nodes.
int compute_stream_aquifer_flux(model_state& m, double dt_sub);

// Moves dt x rate of every lake cell between its lake and the aquifer: lake_volume, the lake's
// in and out totals and the cell's lake_source. No lake gives more than it holds.
void apply_lake_seepage(model_state& m, double dt);

// Books what each grid-stream entry exchanged over dt into cell_stream_exchange_volume.
void book_stream_seepage(model_state& m, double dt);

// Flow area, depth and the other section properties of every node from its area.
void recompute_channel_sections(model_state& m);

// Turns the sand each node of an erodible break-point link lost or gained since the reference
// state into a lowered or raised cross section and tracked bed (new_bel); with
// ADJUST_CHANNEL_BED the section, bed and depth table of the node follow. Failures (code 200)
// go through the error state.
void xsec_update(model_state& m);

// After an event: the sections follow the event's bed change, and the depths of the erodible
// links are worked out again from their unchanged flow areas.
void follow_channel_bed_change(model_state& m);

}  // namespace pluvo
