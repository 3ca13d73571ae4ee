#pragma once
// The one record that holds the whole state of a run. Each process family declares
// its own fields in its state header; the record is the sum of them, so every field
// is reached by its own name.
#include "record/channel_state.hpp"
#include "record/groundwater_state.hpp"
#include "record/hydromet_state.hpp"
#include "record/input_state.hpp"
#include "record/output_state.hpp"
#include "record/overland_state.hpp"
#include "record/quality_state.hpp"
#include "record/run_state.hpp"
#include "record/soil_state.hpp"
#include "record/calibration_state.hpp"

namespace pluvo {

struct model_state : run_state,
                     input_state,
                     hydromet_state,
                     overland_state,
                     soil_state,
                     channel_state,
                     groundwater_state,
                     output_state,
                     quality_state,
                     calibration_state {
  // Every member at its default; the named checked arrays carry their names from here on.
  model_state();
  model_state(const model_state&) = delete;
  model_state& operator=(const model_state&) = delete;
};

// Builds a record with its defaults in caller-provided storage; allocates and prints nothing.
model_state* construct_model_state(void* storage);

// Releases what the run created, closes its files (in reverse declaration order) and empties
// the process-wide lists a run fills. The storage then holds an empty record again.
void free_model_state(model_state* m);

}  // namespace pluvo
