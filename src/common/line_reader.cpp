#include "common/line_reader.hpp"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/replace_params.hpp"

namespace pluvo {

namespace {

bool is_token_delimiter(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\n'; }

char* skip_delimiters(char* p) {
  while (*p && is_token_delimiter(*p)) ++p;
  return p;
}

// Moves the text from p onwards to the front of line.
void remove_front(char* line, char* p) {
  if (p != line) std::memmove(line, p, std::strlen(p) + 1);
}

// A token that holds nothing but white space: the C conversions see no input at all.
bool is_blank_token(const char* start, const char* end) {
  for (const char* p = start; p < end; ++p)
    if (!std::isspace(static_cast<unsigned char>(*p))) return false;
  return true;
}

// The numeric token at the front of line (after delimiters), cut to a token buffer.
// false when the line holds no token or only a blank one; end is the token's end.
bool numeric_token(char* line, char (&token)[token_buffer_size], char*& end) {
  char* start = skip_delimiters(line);
  if (!*start) return false;
  end = start;
  while (*end && !is_token_delimiter(*end)) ++end;
  if (is_blank_token(start, end)) return false;
  size_t n = size_t(end - start);
  if (n > token_buffer_size - 1) n = token_buffer_size - 1;
  std::memcpy(token, start, n);
  token[n] = 0;
  return true;
}

}  // namespace

int read_line_n(char* buffer, checked_file& file, int length) {
  if (!buffer || length < 2) return 0;
  buffer[0] = 0;
  if (!file.stream || std::feof(file.stream)) return 0;
  if (!std::fgets(buffer, length, file.stream)) {
    buffer[0] = 0;
    return 0;
  }
  size_t n = std::strlen(buffer);
  if (n > 0 && buffer[n - 1] == '\n') {
    buffer[--n] = 0;
    // A Windows line end loses its carriage return with the newline.
    if (n > 0 && buffer[n - 1] == '\r') buffer[--n] = 0;
  }
  if (replace_pairs_active) replace_params_in_line(buffer, length);
  return 1;
}

int read_line(char* buffer, checked_file& file) { return read_line_n(buffer, file, line_buffer_size); }

int shift_string_left(char* text, int n) {
  if (!text || !*text) return -1;
  if (n < 1) return 0;
  const size_t len = std::strlen(text);
  if (size_t(n) >= len) {
    text[0] = 0;
  } else {
    std::memmove(text, text + n, len - size_t(n) + 1);
  }
  return 0;
}

void unquote_string(char* text) {
  if (!text || !*text) return;
  if (text[0] == '"') std::memmove(text, text + 1, std::strlen(text));
  const size_t len = std::strlen(text);
  if (len > 0 && text[len - 1] == '"') text[len - 1] = 0;
}

int next_token(char* line, std::string& token) {
  token.clear();
  char* p = skip_delimiters(line);
  bool quoted = false;
  if (*p == '"') {
    *p++ = ' ';
    quoted = true;
  }
  if (!*p && !quoted) return 0;
  const char* start = p;
  const char* end = nullptr;
  while (*p) {
    if (quoted) {
      if (*p == '"') {
        end = p;
        *p++ = ' ';
        break;
      }
    } else if (is_token_delimiter(*p)) {
      break;
    }
    ++p;
  }
  token.assign(start, end ? end : p);
  if (token.empty()) return 0;
  remove_front(line, skip_delimiters(p));
  return 1;
}

int read_whole_line(checked_file& file, std::string& line) {
  line.clear();
  if (!file.stream) return 0;
  int c = 0;
  while ((c = std::fgetc(file.stream)) != EOF && c != '\n') line.push_back(char(c));
  if (c == EOF && line.empty()) return 0;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return 1;
}

int next_token(char* line, char* token) {
  // Tokens longer than the token buffer are cut; the whole token is still consumed.
  std::string whole;
  const int found = next_token(line, whole);
  const size_t n = whole.size() < size_t(token_buffer_size - 1) ? whole.size() : size_t(token_buffer_size - 1);
  std::memcpy(token, whole.data(), n);
  token[n] = 0;
  return found;
}

namespace {

// Reads the numeric token at the front of line with convert (which gives false when the
// token does not begin with a number) and removes it with the delimiters after it.
template <typename T, typename Convert>
int next_number(char* line, T& value, Convert convert) {
  value = T(0);
  char token[token_buffer_size];
  char* end = nullptr;
  if (!numeric_token(line, token, end)) return 0;
  T converted{};
  if (convert(token, converted)) value = converted;
  remove_front(line, skip_delimiters(end));
  return 1;
}

}  // namespace

int next_double(char* line, double& value) {
  return next_number(line, value, [](const char* token, double& v) {
    char* stop = nullptr;
    v = std::strtod(token, &stop);
    return stop != token;
  });
}

int next_int(char* line, int32_t& value) {
  return next_number(line, value, [](const char* token, int32_t& v) {
    char* stop = nullptr;
    const long long n = std::strtoll(token, &stop, 10);
    // A number beyond the 32-bit range is held at its limit rather than wrapped.
    v = int32_t(n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : n);
    return stop != token;
  });
}

namespace {
bool is_card_separator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == 0; }
}  // namespace

const char* find_second_token(const char* text) {
  if (!text || !*text) return text;
  int count = is_card_separator(text[0]) ? 0 : 1;
  size_t i = 1;
  for (; text[i]; ++i) {
    if (is_card_separator(text[i - 1]) && !is_card_separator(text[i]) && ++count == 2) return text + i;
  }
  return text + i - 1;
}

char* find_second_token(char* text) {
  return const_cast<char*>(find_second_token(static_cast<const char*>(text)));
}

int first_tokens_equal_nocase(const char* a, const char* b) {
  char copy_a[token_buffer_size], copy_b[token_buffer_size];
  char token_a[token_buffer_size], token_b[token_buffer_size];
  std::snprintf(copy_a, sizeof copy_a, "%s", a ? a : "");
  std::snprintf(copy_b, sizeof copy_b, "%s", b ? b : "");
  next_token(copy_a, token_a);
  next_token(copy_b, token_b);
  const size_t n = std::strlen(token_a);
  if (n != std::strlen(token_b)) return 0;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(token_a[i])) != std::tolower(static_cast<unsigned char>(token_b[i])))
      return 0;
  return 1;
}

bool line_begins_with(const char* line, const char* word) {
  return std::strncmp(line, word, std::strlen(word)) == 0;
}

bool line_is_blank(const char* line) {
  for (; *line; line++)
    if (!std::strchr(" \t\r\n,", *line)) return false;
  return true;
}

}  // namespace pluvo
