// Channel routines that are not built yet: each does nothing. Whoever builds one removes it here.
#include "channel/channel_routines.hpp"

namespace pluvo {

void set_outlet_boundary_depth(model_state&) {}  // not built yet

}  // namespace pluvo
