#pragma once
// Channel routines that one part of the channel family calls in another.
#include <vector>

#include "record/channel_state.hpp"

namespace pluvo {

struct model_state;

// Reads the open channel input file (and the grid-stream file in grid-stream mode) into the
// network fields of the record. Failures go through the error state (code 200).
void read_chan_input(model_state& m);

// Set-up arrays of the channel sediment, grid-stream exchange and channel constituent code, and
// the further per-node channel state, each with its starting values.
void allocate_channel_sediment_arrays(model_state& m);
void allocate_gst_arrays(model_state& m);
void allocate_channel_contaminant_arrays(model_state& m);

// Shares of the lumped Sacramento and conceptual-groundwater outflows over the channel cells.
void compute_sacramento_weights(model_state& m);
void compute_cgw_weights(model_state& m);

// Puts the outlet boundary depth (BOUND_DEPTH or the BOUND_TS series at the current time) on
// the outlet node.
void set_outlet_boundary_depth(model_state& m);

// Signed flow (m3/s, positive downstream) of weir element `element` for the upstream and
// downstream water surfaces h_up and h_dn.
void weir_flow(const std::vector<hydraulic_structure>& s, int element, double h_up, double h_dn, double& q);
void weir_flow_alt(const std::vector<hydraulic_structure>& s, int element, double h_up, double h_dn,
                   double& q);

// Culvert element `element`: q in m3/s (positive downstream), -9999.99 after a failure whose
// lines are printed (the caller then stops the run). rise and area as the regime leaves them.
void culv_flow(const std::vector<hydraulic_structure>& s, int element, double h_up, double h_dn, double& q,
               double& rise, double& area);

// Flows at the ends of every link for sub-step dt_sub of channel step dt into q (flat under the
// node key; nodes it does not set keep what q held). 0, or -1 after a fatal outlet error.
int link_boundary_flows(model_state& m, std::vector<double>& q, double dt_sub, double dt);

// One explicit routing call over channel step dt. -1 after a fatal error (printed, code 4000),
// otherwise the result of the stream-aquifer exchange (0 when it was not called). Adds the
// superjunction exchange volume and the overbank totals of boundary cells (gain > 0, loss < 0).
int ex_flow_route(model_state& m, double dt, double& superjunction_volume, double& overbank_bound_gain,
                  double& overbank_bound_loss);

// Lateral inflow from the grid into qlat for channel step dt. Returns the base-flow volume added
// (m3); adds the volume sent to overland boundary cells (m3, positive) to boundary_total.
double compute_channel_lateral_inflow(model_state& m, double dt, double& boundary_total);

// Reduction of a weir flow for submergence ratio x.
double weir_submergence_factor(double x);

// The routing's share of the stream-aquifer volumes over sub-step dts: each grid-stream entry's
// rate follows its node's qriv (which the routing may have cut to what the node held, from
// qriv_old) and its volume goes to its cell's cell_stream_exchange_volume.
void book_routed_stream_seepage(model_state& m, const std::vector<double>& qriv_old, double dts);

// Sediment of the grid-stream cells into the nodes, its transport along the links and into the
// lakes over channel step dt, and the sand, wash-load and lake totals.
void channel_sediment_step(model_state& m, double dt);

// Its last part: books the sand, wash-load, sediment-point and lake figures the transport left
// for the update into their event and run totals, clearing the per-update ones.
void book_channel_sediment_update(model_state& m, double dt);

// Sizes and clears the run and event totals of the channel sediment step.
void size_channel_sediment_totals(model_state& m);

// Stage, area and flooded cells of every channel lake, with what each lake gained or lost.
void update_lake_extent(model_state& m);

}  // namespace pluvo
