// First-order decay over the cells.
#include <cmath>

#include "common/parallel_team.hpp"
#include "quality/quality_services.hpp"

namespace pluvo {

void first_order_decay(int count, const double* in, const double* k, const double* t, double* out) {
  parallel_for_cells(count, [=](int i) { out[i] = in[i] * std::exp(-k[i] * t[i]); });
}

}  // namespace pluvo
