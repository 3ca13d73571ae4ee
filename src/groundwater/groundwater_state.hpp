#pragma once
// Fields of the model record owned by this process family.

namespace pluvo {

struct groundwater_state {};

}  // namespace pluvo
