#pragma once
// Fields of the model record owned by this process family.

namespace pluvo {

struct calibration_state {};

}  // namespace pluvo
