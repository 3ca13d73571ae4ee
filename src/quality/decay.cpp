// First-order decay over the cells.
#include <algorithm>
#include <cmath>

#include "common/parallel_team.hpp"
#include "quality/quality_services.hpp"
#include "record/model_state.hpp"

namespace pluvo {

void first_order_decay(int count, const double* in, const double* k, const double* t, double* out) {
  parallel_for_cells(count, [=](int i) { out[i] = in[i] * std::exp(-k[i] * t[i]); });
}

// Without a non-zero exponent exp(-k h) is exactly 1, so the base roughness is copied instead of
// paying an exponential per cell.
void update_effective_roughness(model_state& m) {
  const int n = m.cell_count;
  if (m.ov_mann_exp.size() <= size_t(n)) m.ov_mann_exp.assign(size_t(n) + 1, 0.0);
  if (m.roughness_exp_on)
    first_order_decay(n, m.dist_rough.data(), m.roughness_exp.data(), m.ov_depth.data(), m.ov_mann_exp.data());
  else
    std::copy(m.dist_rough.begin(), m.dist_rough.begin() + n + 1, m.ov_mann_exp.begin());
}

}  // namespace pluvo
