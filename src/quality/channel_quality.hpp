#pragma once
// Dissolved constituents in the channel network and its lakes: the gatherings that feed the
// pending stores, and the routing that empties them and moves the mass along the links.

namespace pluvo {

struct model_state;

// Link classes of the routing: lakes, structures, links a lake has taken, and the rest.
bool wq_lake_link(const model_state& m, int link);
bool wq_structure_link(const model_state& m, int link);
bool wq_excluded_link(const model_state& m, int link);
bool wq_active_link(const model_state& m, int link);

// Adds one gathering's decay of constituent k over dt seconds to chan_mass and lake_decay_mass.
void channel_contaminant_sources_decay(model_state& m, double dt, int k);
// Adds one gathering's stream-aquifer exchange of constituent k to chan_gw_mass.
void channel_gw_exchange_mass(model_state& m, double dt, int k);
// Adds one gathering's lake-aquifer exchange of constituent k to lake_gw_mass.
void lake_gw_exchange_mass(model_state& m, int k);

// Sizes the working arrays and pending stores of the run's channel constituents (idempotent).
void size_channel_quality_arrays(model_state& m);

// The channel and lake terms of the event balance back to zero, with the masses held now as the
// event's initial masses (kg).
void start_channel_quality_event(model_state& m);

// Net source rate (mass per second) of node `key` for constituent k over an update of dt
// seconds, taken from the pending stores; `outlet` marks the outlet node.
double collect_channel_node_sources(model_state& m, int k, int key, bool outlet, double dt);
// The same for lake L.
double collect_lake_sources(model_state& m, int k, int lake, double dt);

// Moves constituent k, held in the working arrays, through the network over dt seconds.
void channel_wq_route(model_state& m, int k, double dt);

// Advective (mass over the sub-step h of the update dt) and dispersive (mass per second) fluxes
// leaving each node downstream, from the node concentrations `conc`.
void channel_wq_fluxes(model_state& m, const double* conc, double h, double dt, double* adv, double* disp);
// New mass and concentration of every active node after a sub-step h, from the start masses.
void channel_wq_node_update(model_state& m, const double* adv, const double* disp, double h, const double* start_mass,
                            double* mass, double* conc);
// Applies a sub-step's channel fluxes and source rates of constituent k to the lakes.
void channel_wq_lake_update(model_state& m, int k, double h);

// The sub-step that a largest Courant number c gives an interval that starts at h seconds.
double channel_wq_sub_step(double h, double c);

}  // namespace pluvo
