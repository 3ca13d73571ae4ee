#pragma once
// Runs the program on calibration input it must refuse, and checks the refusal: exit status 1, the
// message, and every file that was there before left byte for byte as it was. Any allocation over
// 1 GB aborts the sanitized program, so a count taken before its check shows as a failure too.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "run/scratch_dir.hpp"

namespace pluvo_test {

inline void expect_refused(const std::string& arguments, const std::string& message) {
  std::map<std::string, std::string> before;
  for (const auto& entry : std::filesystem::directory_iterator("."))
    if (entry.is_regular_file()) before[entry.path().filename().string()] = read_file(entry.path().string());
  int status = 0;
  const std::string out = run_command(
      "ASAN_OPTIONS=\"$ASAN_OPTIONS:max_allocation_size_mb=1024:allocator_may_return_null=0\" " +
          std::string(PLUVO_BINARY) + " " + arguments + " 2>&1 </dev/null",
      status);
  const std::string tail = out.substr(out.size() > 1500 ? out.size() - 1500 : 0);
  EXPECT_EQ(status, 1) << arguments << "\n" << tail;
  EXPECT_NE(out.find(message), std::string::npos) << arguments << "\n" << tail;
  for (const auto& [name, text] : before) EXPECT_EQ(read_file(name), text) << arguments << ": " << name;
}

}  // namespace pluvo_test
