// Phases of processes that are not built yet: each does nothing.
#include "channel/channel_phases.hpp"

namespace pluvo {


}  // namespace pluvo

#include "channel/channel_services.hpp"

namespace pluvo {


}  // namespace pluvo
