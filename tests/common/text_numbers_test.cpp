#include "common/text_numbers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using pluvo::read_whole_real;
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

// The real maps' tokens are read by read_whole_real where strtod read them: the same tokens are
// numbers, with the same bits.
TEST(ReadWholeReal, ReadsEveryTokenAsStrtod) {
  const char* tokens[] = {
      "249.950", "0", "-0", "+5", "-17.25", "007.500", "1e5", "1E-5", "+1.5e+3", "-2.5E-003", ".5", "5.", "-.5e-2",
      "+.5", "-9999", "-9999.0", "-3.4e38", "3.4028235e38", "1e308", "1.7976931348623157e308",
      "1.7976931348623159e308", "1e400", "-1e400", "1e-400", "4.9e-324", "2.4703282292062327e-324",
      "2.2250738585072011e-308", "2.2250738585072014e-308", "9007199254740993", "0.1000000000000000055511151231257827",
      "123456789012345678901234567890", "0.30000000000000004", "1e", "1e+", "1e-", "e5", ".", "+", "-", "+-1", "--1",
      "1..2", "1.2.3", "1e5e5", "1e5.", "3x", "0x1p3", "0X1A", "inf", "-Infinity", "nan", "NaN(123)", "1,5", "",
  };
  for (const char* token : tokens) {
    std::string text = token;  // read_whole_real reads up to the NUL at its end
    char* stop = nullptr;
    const double by_strtod = std::strtod(text.c_str(), &stop);
    const bool whole = *stop == 0;
    double got = -12345.0;
    const bool read = read_whole_real(text.data(), text.data() + text.size(), got);
    EXPECT_EQ(read, whole) << "token \"" << token << "\"";
    if (!whole) continue;
    uint64_t a = 0, b = 0;
    std::memcpy(&a, &got, sizeof a);
    std::memcpy(&b, &by_strtod, sizeof b);
    EXPECT_EQ(a, b) << "token \"" << token << "\"";
  }
}

}  // namespace
