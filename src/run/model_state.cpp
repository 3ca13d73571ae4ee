#include "run/model_state.hpp"

#include <new>

#include "common/replace_params.hpp"
#include "common/time_series.hpp"

namespace pluvo {

model_state* construct_model_state(void* storage) { return new (storage) model_state(); }

void free_model_state(model_state* m) {
  if (!m) return;
  if (m->external_results) {
    delete[] m->external_results->point_peaks;
    delete[] m->external_results->point_volumes;
    m->external_results->point_peaks = nullptr;
    m->external_results->point_volumes = nullptr;
    if (m->external_results_owned) {
      delete[] m->external_results->event_peaks;
      delete[] m->external_results->event_volumes;
      delete m->external_results;
    }
    m->external_results = nullptr;
  }
  free_time_series();
  free_replace_params();
  checked_file_close(m->summary_fp);
}

}  // namespace pluvo
