// Solar and energy-balance routines that are not built yet. Whoever builds one removes it here.
#include "hydromet/solar_energy.hpp"

namespace pluvo {


}  // namespace pluvo
