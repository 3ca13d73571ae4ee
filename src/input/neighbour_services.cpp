#include "input/neighbour_services.hpp"

namespace pluvo {

neighbour_service_table neighbour_services;

}  // namespace pluvo
