// Channel routines that are not built yet: each does nothing. Whoever builds one removes it here.
#include "channel/channel_routines.hpp"

namespace pluvo {

int compute_stream_aquifer_flux(model_state&, double) { return 0; }  // not built yet

}  // namespace pluvo
