#include "record/model_state.hpp"

#include <new>

#include "common/elevation_series.hpp"
#include "common/error_state.hpp"
#include "common/replace_params.hpp"
#include "common/time_series.hpp"

namespace pluvo {

model_state::model_state() {
#define PLUVO_NAME_MASS_ARRAY(member) member.set_name(#member);
  PLUVO_NAMED_MASS_ARRAYS(PLUVO_NAME_MASS_ARRAY)
#undef PLUVO_NAME_MASS_ARRAY
}

model_state* construct_model_state(void* storage) { return new (storage) model_state(); }

namespace {

// The results record belongs to the caller; the run lets go of it.
void release_external_results(model_state& m) { m.external_results = nullptr; }

}  // namespace

void free_model_state(model_state* m) {
  if (!m) return;
  release_external_results(*m);
  free_time_series();
  // Series and channel pumps are the run's: the next run reads its own, with its own replacement values.
  free_elevation_series();
  channel_pump_list.clear();
  free_replace_params();
  // The summary closes with the record; nothing may log to it afterwards.
  if (error_log_file == &m->summary_fp) error_log_file = nullptr;
  // Members are destroyed in reverse declaration order: every array is freed and every
  // open file closed whatever switch was on, and the storage holds a fresh record again.
  m->~model_state();
  construct_model_state(m);
}

}  // namespace pluvo
