#include "common/line_reader.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "scratch_dir.hpp"

namespace {

using namespace pluvo;

// Runs a tokeniser on a copy of the line and gives back what is left of it.
struct line_copy {
  explicit line_copy(const std::string& text) {
    buffer.assign(text.begin(), text.end());
    buffer.resize(text.size() + 64, '\0');
  }
  char* data() { return buffer.data(); }
  std::string rest() const { return std::string(buffer.data()); }
  std::string buffer;
};

TEST(LineReader, LongLinesArriveInPiecesAndLineEndsAreDropped) {
  scratch_dir dir;
  const std::string long_line(30000, 'x');
  dir.write("in.txt", long_line + "\nabc\r\n\r\n\nlast");
  checked_file file;
  ASSERT_TRUE(checked_file_open(file, dir.path("in.txt").c_str(), "r"));
  static char buffer[line_buffer_size];
  const std::string expected[] = {std::string(24999, 'x'), std::string(5001, 'x'), "abc", "", "", "last"};
  for (const std::string& line : expected) {
    ASSERT_EQ(read_line(buffer, file), 1);
    EXPECT_EQ(std::string(buffer), line);
  }
  EXPECT_EQ(read_line(buffer, file), 0);
  checked_file empty;
  EXPECT_EQ(read_line(buffer, empty), 0);
}

TEST(LineReader, ShortBufferCutsLineIntoLengthMinusOnePieces) {
  scratch_dir dir;
  dir.write("in.txt", "abcdefg\n");
  checked_file file;
  ASSERT_TRUE(checked_file_open(file, dir.path("in.txt").c_str(), "r"));
  char buffer[4];
  std::string parts;
  while (read_line_n(buffer, file, 4)) parts += std::string(buffer) + "|";
  EXPECT_EQ(parts, "abc|def|g|");
}

TEST(Tokeniser, NextToken) {
  struct tc {
    const char* line;
    int result;
    const char* token;
    const char* rest;
  } cases[] = {
      {"  a, b", 1, "a", "b"},
      {"\"two words\" x", 1, "two words", "x"},
      {"\"\" x", 0, "", "   x"},
      {"\"abc", 1, "abc", ""},
      {"ab\"cd\" e", 1, "ab\"cd\"", "e"},
      {"\"ab\"cd", 1, "ab", "cd"},
      {"\"a,b\tc\" d", 1, "a,b\tc", "d"},
      {" \t,\n", 0, "", " \t,\n"},
      {"", 0, "", ""},
      {"word", 1, "word", ""},
  };
  for (const tc& c : cases) {
    line_copy line(c.line);
    char token[token_buffer_size] = "junk";
    EXPECT_EQ(next_token(line.data(), token), c.result) << c.line;
    EXPECT_STREQ(token, c.token) << c.line;
    EXPECT_EQ(line.rest(), c.rest) << c.line;
  }
}

TEST(Tokeniser, OverlongTokenIsCutButConsumedWhole) {
  line_copy line(std::string(1500, 'k') + " next");
  char token[token_buffer_size];
  ASSERT_EQ(next_token(line.data(), token), 1);
  EXPECT_EQ(std::string(token), std::string(token_buffer_size - 1, 'k'));
  EXPECT_EQ(line.rest(), "next");
}

template <typename T>
struct number_case {
  const char* line;
  int result;
  T value;
  const char* rest;
};

template <typename T, size_t N>
void expect_numbers(const number_case<T> (&cases)[N], int (*read)(char*, T&)) {
  for (const number_case<T>& c : cases) {
    line_copy line(c.line);
    T value = T(99);
    EXPECT_EQ(read(line.data(), value), c.result) << c.line;
    EXPECT_EQ(value, c.value) << c.line;
    EXPECT_EQ(line.rest(), c.rest) << c.line;
  }
}

TEST(Tokeniser, NumbersReadTheirLongestPrefix) {
  const number_case<double> doubles[] = {
      {"1.5e3,7", 1, 1500.0, "7"},
      {"x 7", 1, 0.0, "7"},
      {"12abc\t5", 1, 12.0, "5"},
      {"  -0.25", 1, -0.25, ""},
      {"\r", 0, 0.0, "\r"},
      {" ,  ", 0, 0.0, " ,  "},
  };
  expect_numbers(doubles, next_double);
  const number_case<int32_t> ints[] = {
      {"3.9", 1, 3, ""},
      {"-42 x", 1, -42, "x"},
      {"abc,1", 1, 0, "1"},
      {"99999999999", 1, INT32_MAX, ""},
      {"", 0, 0, ""},
  };
  expect_numbers(ints, next_int);
}

TEST(Tokeniser, SecondTokenAndKeywords) {
  struct tc {
    const char* text;
    long offset;
  } seconds[] = {{"CARD 5", 5}, {"CARD", 3}, {"  A  B", 5}, {"", 0}, {"A,B C", 4}, {"A\tB", 2}};
  for (const tc& c : seconds) EXPECT_EQ(find_second_token(c.text) - c.text, c.offset) << c.text;

  struct te {
    const char* a;
    const char* b;
    int equal;
  } keywords[] = {
      {"Time_Series_File  x.ts", "TIME_SERIES_FILE", 1},
      {"MASK", "MASKS", 0},
      {"", " , ", 1},
      {"\"Ab\" x", "ab", 1},
      {"ab", "", 0},
  };
  for (const te& c : keywords) EXPECT_EQ(first_tokens_equal_nocase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(Tokeniser, ShiftAndUnquote) {
  struct ts {
    const char* text;
    int n;
    int result;
    const char* rest;
  } shifts[] = {{"abc", 5, 0, ""}, {"", 1, -1, ""}, {"abcdef", 2, 0, "cdef"}, {"abc", 3, 0, ""}};
  for (const ts& c : shifts) {
    line_copy text(c.text);
    EXPECT_EQ(shift_string_left(text.data(), c.n), c.result) << c.text;
    EXPECT_EQ(text.rest(), c.rest) << c.text;
  }
  struct tu {
    const char* text;
    const char* result;
  } quotes[] = {{"\"x\"", "x"}, {"x\"", "x"}, {"\"", ""}, {"", ""}, {"\"x y", "x y"}, {"a\"b", "a\"b"}};
  for (const tu& c : quotes) {
    line_copy text(c.text);
    unquote_string(text.data());
    EXPECT_EQ(text.rest(), c.result) << c.text;
  }
  unquote_string(nullptr);
}

}  // namespace
