#include "common/scan_int.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using pluvo::scan_int;

struct read_step {
  int got;
  int value;
  long position;
  bool operator==(const read_step&) const = default;
};

// Every read of text until one does not give a number: what it returned, the value and where
// the stream then stands.
template <typename Read>
std::vector<read_step> read_all(const std::string& text, Read read) {
  std::vector<read_step> steps;
  std::string copy = text;
  std::FILE* f = fmemopen(copy.data(), copy.size(), "r");
  if (!f) return steps;
  for (int k = 0; k < 8; ++k) {
    int value = -12345;
    const int got = read(f, value);
    steps.push_back({got, value, std::ftell(f)});
    if (got != 1) break;
  }
  std::fclose(f);
  return steps;
}

// The integer maps are read by scan_int where they were read by fscanf's %d: every awkward
// text gives the same results, values and stream positions.
TEST(ScanInt, ReadsEveryTextAsFscanfPercentD) {
  const std::string texts[] = {
      "0 1 2",         "42",          "-17 +5 007",   " \t\n\r\v\f 3", "1\r\n2\r\n-3\r\n", "1.5 2",
      "0x1A",          "-",           "+",            "- 5",           "--5",             "+-1",
      "-0",            "12abc",       "abc",          "",              "   \n",           "1,2",
      "1e5",           "2147483647",  "2147483648",   "-2147483648",   "-2147483649",     "4294967297",
      "9223372036854775807",          "9223372036854775808",           "-9223372036854775808",
      "-9223372036854775809",         "99999999999999999999999 7",     "-99999999999999999999999",
      "000000000000000000000000000000000000012",                         "-9999 -9999\n",
  };
  for (const std::string& text : texts) {
    const auto by_fscanf = read_all(text, [](std::FILE* f, int& v) { return std::fscanf(f, "%d", &v); });
    const auto by_scan = read_all(text, [](std::FILE* f, int& v) { return scan_int(f, v); });
    ASSERT_FALSE(by_fscanf.empty()) << text;
    EXPECT_EQ(by_scan, by_fscanf) << "text \"" << text << "\"";
  }
}

}  // namespace
