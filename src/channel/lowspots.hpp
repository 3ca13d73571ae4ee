#pragma once
// Weir flow across the low spots of overland dikes (lowspot_weir_flow is in channel_services.hpp).

namespace pluvo {

// Reduction of a low-spot weir flow for a downstream head h2 over an upstream head h1.
double lowspot_submergence_factor(double h2, double h1);

}  // namespace pluvo
