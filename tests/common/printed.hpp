#pragma once
// What an action prints on standard output, byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace pluvo {

inline std::string printed_by(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  return testing::internal::GetCapturedStdout();
}

}  // namespace pluvo
