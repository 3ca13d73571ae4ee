#pragma once
// Fields of the model record owned by this process family.

namespace pluvo {

struct channel_state {
  int chan_explic_on = 0;  // explicit channel routing
};

}  // namespace pluvo
