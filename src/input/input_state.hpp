#pragma once
// Project options and the files the project names.
#include "common/checked_file.hpp"

namespace pluvo {

struct input_state {
  checked_file summary_fp;  // run summary; the error log once open
};

}  // namespace pluvo
