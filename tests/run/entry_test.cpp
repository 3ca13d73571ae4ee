#include <gtest/gtest.h>

#include "run/entry.hpp"

namespace {

TEST(ParseCommandLine, SingleArgumentIsAProjectFile) {
  char prog[] = "pluvo", arg[] = "-v";
  char* argv[] = {prog, arg};
  pluvo::command_line cl;
  EXPECT_EQ(pluvo::parse_command_line(2, argv, cl), 1);
  EXPECT_EQ(cl.mode, 1);
  EXPECT_STREQ(cl.file_name, "-v");
}

}  // namespace
