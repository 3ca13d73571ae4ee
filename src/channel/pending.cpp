// Channel routines that are not built yet: each does nothing. Whoever builds one removes it here.
#include "channel/channel_routines.hpp"

namespace pluvo {

}  // namespace pluvo
