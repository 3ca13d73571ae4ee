#pragma once
// The run summary file's event section.

namespace pluvo {

struct model_state;

// Appends one event section to the summary file; the event's accounts must be final.
void write_summary_file(model_state& m);

}  // namespace pluvo
