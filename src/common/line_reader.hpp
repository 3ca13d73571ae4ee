#pragma once
// Line reader and tokeniser for every text input of the model.
// Offers: read_line / read_line_n (whole lines, line end and a '\r' before it dropped,
// bracketed replacement keys substituted while replacement is active), and tokenisers
// that consume the line in place: next_token (blank, tab, comma, newline separate;
// a double-quoted token may hold blanks), next_double / next_int (longest numeric
// prefix, as the C scanf conversions read it), find_second_token,
// first_tokens_equal_nocase (card keywords), shift_string_left, unquote_string.
#include <cstdint>
#include <string>

#include "common/checked_file.hpp"

namespace pluvo {

constexpr int line_buffer_size = 25000;  // the standard line buffer: lines of up to 24,999 characters
constexpr int token_buffer_size = 1024;  // tokens of up to 1,023 characters; longer ones are cut

// Reads the next line of file into buffer (line_buffer_size characters).
// 1 when a line was read, 0 at end of file or when nothing could be read.
int read_line(char* buffer, checked_file& file);

// The same with a caller-given buffer length; a longer line arrives in parts of length - 1.
int read_line_n(char* buffer, checked_file& file, int length);

// Reads the next line whole, whatever its length, without its line end (a '\r' before the '\n'
// dropped); no keys are substituted. 1 when a line was read, 0 at end of file.
int read_whole_line(checked_file& file, std::string& line);

// Removes the first n characters of text in place. -1 for an empty text, else 0.
int shift_string_left(char* text, int n);

// Removes one leading and then one trailing double quote, each only when present.
void unquote_string(char* text);

// Copies the next token of line into token (token_buffer_size characters) and removes it
// with the separators around it from the line. 1 when a token was found, else 0.
int next_token(char* line, char* token);
// The same, with the token whole whatever its length (file names).
int next_token(char* line, std::string& token);

// Reads the next token as a number (value 0 unless converted) and removes it from line.
// 1 when a token was there, even when it did not start with a number; 0 otherwise.
int next_double(char* line, double& value);
int next_int(char* line, int32_t& value);

// The first character of the second blank-separated token of text (commas do not separate);
// the last character when there is none, the start for an empty text.
const char* find_second_token(const char* text);
char* find_second_token(char* text);

// True when line begins with word (compared as written).
bool line_begins_with(const char* line, const char* word);

// True when line holds nothing but blanks, tabs, commas and line ends.
bool line_is_blank(const char* line);

// 1 when the first tokens of a and b are equal without regard to letter case, else 0.
int first_tokens_equal_nocase(const char* a, const char* b);

}  // namespace pluvo
