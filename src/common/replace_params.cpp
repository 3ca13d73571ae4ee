#include "common/replace_params.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/console.hpp"
#include "common/line_reader.hpp"
#include "common/process.hpp"

namespace pluvo {

std::vector<replace_pair> replace_pair_list;
bool replace_pairs_active = false;
int32_t replace_count = 0;

namespace {

const int pair_line_size = 255;    // pair-file lines hold at most 254 characters
const int value_line_size = 1024;  // value-file lines hold at most 1,023 characters

void print_malformed(const char* line) {
  std::printf("Error: Improperly formatted line in the replacement parameter file\nline:%s\n", line);
}

// The length modifier and conversion of a format's one conversion.
struct conversion {
  std::string length;  // "", "h", "hh", "l" or "ll"
  char letter = 0;
};

// Finds the conversions of format; false when one is malformed or takes an extra argument.
bool scan_conversions(const std::string& format, std::vector<conversion>& found) {
  for (size_t i = 0; i < format.size(); i++) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      i++;
      continue;
    }
    size_t j = i + 1;
    while (j < format.size() && std::strchr("-+ #0'", format[j])) j++;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) j++;
    if (j < format.size() && format[j] == '.') {
      j++;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) j++;
    }
    conversion c;
    while (j < format.size() && (format[j] == 'h' || format[j] == 'l')) c.length.push_back(format[j++]);
    if (j >= format.size()) return false;
    c.letter = format[j];
    found.push_back(c);
    i = j;
  }
  return true;
}

const int format_width_limit = 100;  // widest field and longest precision of a pair's format

// False when a number in the format (a width or a precision) passes the limit: such a format would
// write that many characters per value, every run.
bool format_widths_fit(const std::string& format) {
  const auto number_fits = [&](size_t& j) {
    const size_t start = j;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
    return j == start || (j - start <= 3 && std::stoi(format.substr(start, j - start)) <= format_width_limit);
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      i = j;
      continue;
    }
    while (j < format.size() && std::strchr("-+ #0'", format[j])) ++j;
    if (!number_fits(j)) return false;
    if (j < format.size() && format[j] == '.' && !number_fits(++j)) return false;
    i = j - 1;
  }
  return true;
}

// True when format holds exactly one conversion and it prints a value of the given type.
bool format_fits_type(const std::string& format, int32_t type) {
  std::vector<conversion> found;
  if (!scan_conversions(format, found) || found.size() != 1) return false;
  const conversion& c = found[0];
  switch (type) {
    case replace_int:
      return std::strchr("diouxX", c.letter) && (c.length.empty() || c.length == "h" || c.length == "hh" ||
                                                 c.length == "l" || c.length == "ll");
    case replace_double:
      return std::strchr("fFeEgGaA", c.letter) && (c.length.empty() || c.length == "l");
    case replace_text:
      return c.letter == 's' && c.length.empty();
    default:
      return false;
  }
}

// The type a format gives: the last of the letters d, f and s anywhere in it decides.
int32_t type_of_format(const std::string& format) {
  int32_t type = replace_unknown;
  for (char ch : format) {
    if (ch == 'd') type = replace_int;
    if (ch == 'f') type = replace_double;
    if (ch == 's') type = replace_text;
  }
  return type;
}

// The formats were checked when the pairs were read, so each conversion gets its own type.
int format_into(char* buffer, size_t size, const replace_pair& pair) {
  std::vector<conversion> found;
  scan_conversions(pair.format, found);
  const char* format = pair.format.c_str();
  if (pair.type == replace_double) return std::snprintf(buffer, size, format, pair.double_value);
  if (pair.type == replace_text) return std::snprintf(buffer, size, format, pair.text_value.c_str());
  const std::string& length = found.empty() ? std::string() : found[0].length;
  if (length == "ll") return std::snprintf(buffer, size, format, static_cast<long long>(pair.int_value));
  if (length == "l") return std::snprintf(buffer, size, format, static_cast<long>(pair.int_value));
  return std::snprintf(buffer, size, format, pair.int_value);
}

// Substitutes the key at position; value_length is the length of the text put in its place.
int substitute_at(char* line, int position, int& length, int capacity, int& value_length) {
  for (replace_pair& pair : replace_pair_list) {
    if (position + pair.key_length > length) continue;
    if (std::strncmp(line + position, pair.key.c_str(), size_t(pair.key_length)) != 0) continue;
    const std::string value = format_replace_value(pair);
    const int new_length = length - pair.key_length + int(value.size());
    if (new_length >= capacity) return -1;  // refused: nothing beyond the buffer is written
    std::memmove(line + position + value.size(), line + position + pair.key_length,
                 size_t(length - position - pair.key_length) + 1);
    std::memcpy(line + position, value.data(), value.size());
    length = new_length;
    value_length = int(value.size());
    replace_count++;
    pair.used = true;
    return 1;
  }
  return 0;
}

void clear_list() {
  replace_pair_list.clear();
  replace_pairs_active = false;
  replace_count = 0;
}

}  // namespace

std::string format_replace_value(const replace_pair& pair) {
  char buffer[512];
  const int n = format_into(buffer, sizeof buffer, pair);
  if (n < 0) return std::string();
  if (size_t(n) < sizeof buffer) return std::string(buffer, size_t(n));
  std::vector<char> big(size_t(n) + 1);
  format_into(big.data(), big.size(), pair);
  return std::string(big.data(), size_t(n));
}

int parse_replace_param_line(const char* line) {
  const char* open = std::strrchr(line, '[');
  const char* close = std::strrchr(line, ']');
  if (!open || !close || close < open) {
    print_malformed(line);
    return -1;
  }
  std::vector<char> rest(close + 1, close + std::strlen(close) + 1);
  rest.resize(rest.size() + token_buffer_size);
  char token[token_buffer_size] = {};
  next_token(rest.data(), token);
  replace_pair pair;
  pair.format = token;
  pair.type = type_of_format(pair.format);
  if (pair.type == replace_unknown) {
    print_malformed(line);
    std::printf("---> The format must be a C-style format in quotes, such as \"%%4.2lf\"\n");
    return -1;
  }
  if (!format_widths_fit(pair.format)) {
    print_malformed(line);
    std::printf("---> The format %s asks for a width or precision above %d characters\n", pair.format.c_str(),
                format_width_limit);
    return -1;
  }
  if (!format_fits_type(pair.format, pair.type)) {
    print_malformed(line);
    static const char* const kinds[] = {"an integer conversion such as \"%d\"",
                                        "a real conversion such as \"%4.2lf\"", "a text conversion \"%s\""};
    std::printf("---> The format %s must hold exactly one conversion, and it must be %s\n",
                pair.format.c_str(), kinds[pair.type]);
    return -1;
  }
  pair.key.assign(open, size_t(close - open) + 1);
  pair.key_length = int32_t(pair.key.size());
  replace_pair_list.push_back(pair);
  return 0;
}

int read_replace_param_file(const char* name, int* first_bad_line) {
  if (first_bad_line) *first_bad_line = 0;
  // New pairs have no values yet: nothing is substituted until a value file is read.
  clear_list();
  checked_file file;
  if (!checked_file_open(file, name, 'r')) {
    std::printf("Error: unable to open the replace parameter file.\n");
    return -1;
  }
  int count = 0;
  if (std::fscanf(file.stream, "%d\n", &count) != 1) {
    std::printf("Error: unable to read the number of parameters in the parameter list file\n");
    checked_file_close(file);
    return -1;
  }
  // The count's own scan passes over blank lines too: the line of the first pair counts them.
  int line_number = 1;
  const long after_count = std::ftell(file.stream);
  std::rewind(file.stream);
  for (long at = 0; at < after_count; ++at)
    if (std::fgetc(file.stream) == '\n') ++line_number;
  char line[pair_line_size];
  for (int i = 0; i < count; i++, line_number++) {
    if (!read_line_n(line, file, pair_line_size)) {
      std::printf("Error: unexpected end of parameter list file after %d parameters. Expecting %d\n", i, count);
      checked_file_close(file);
      return -1;
    }
    // A malformed line has said so and is skipped.
    if (parse_replace_param_line(line) != 0 && first_bad_line && *first_bad_line == 0) *first_bad_line = line_number;
  }
  checked_file_close(file);
  return 0;
}

void free_replace_params() { clear_list(); }

int read_replace_value_file(const char* name) {
  checked_file file;
  if (!checked_file_open(file, name, 'r')) {
    std::printf("Error: unable to open the value file %s", name);
    return -1;
  }
  std::vector<char> line(value_line_size, 0), next(value_line_size, 0);
  bool found = false;
  for (int i = 0; i <= run_index && read_line_n(next.data(), file, value_line_size); i++) {
    line.swap(next);
    found = true;
  }
  checked_file_close(file);
  if (!found) std::printf("Warning: the value file %s holds no values; every replacement value is 0\n", name);
  line.resize(value_line_size + token_buffer_size, 0);
  for (replace_pair& pair : replace_pair_list) {
    pair.int_value = 0;
    pair.double_value = 0.0;
    pair.text_value.clear();
    if (pair.type == replace_int) {
      next_int(line.data(), pair.int_value);
    } else if (pair.type == replace_double) {
      next_double(line.data(), pair.double_value);
    } else {
      char token[token_buffer_size] = {};
      next_token(line.data(), token);
      pair.text_value = token;
    }
    pair.used = false;
  }
  replace_count = 0;
  replace_pairs_active = true;
  return 0;
}

int replace_bracket_pair(char* line, int position, int& length, int capacity) {
  int value_length = 0;
  return substitute_at(line, position, length, capacity, value_length);
}

void replace_params_in_line(char* line, int capacity) {
  int length = int(std::strlen(line));
  for (int i = 0; i < length;) {
    if (line[i] != '[') {
      i++;
      continue;
    }
    int value_length = 0;
    const int result = substitute_at(line, i, length, capacity, value_length);
    if (result == 1) {
      i += value_length;  // a value is never searched again for keys
      continue;
    }
    if (result == 0) std::printf("Error: unable to match replace pair: %s\n", line);
    else std::printf("Error: the replacement value does not fit in the line, key left in place: %s\n", line);
    i++;
  }
}

void print_replacement_values(checked_file& out, int silent) {
  const bool console = silent != 1;
  if (out.is_open()) std::fputs("\nUsing replacement values:\n", out.stream);
  if (console) message_out("\nUsing replacement values:\n");
  for (const replace_pair& pair : replace_pair_list) {
    const std::string value = format_replace_value(pair);
    if (out.is_open()) std::fprintf(out.stream, "  %-14s = %s\n", pair.key.c_str(), value.c_str());
    if (console) message_out(" %-14s = %s\n", pair.key.c_str(), value.c_str());
  }
  if (out.is_open()) std::fputs("\n", out.stream);
  if (console) message_out("\n");
}

void print_replacement_values_run(checked_file& out, int silent) {
  const bool console = silent != 1;
  if (out.is_open())
    std::fprintf(out.stream, "\nTotal times a value was replaced: %d\n\n\nWas replacement value used?:\n",
                 replace_count);
  if (console) message_out("\nTotal times a value was replaced: %d\n\n\nWas replacement value used?:\n", replace_count);
  for (const replace_pair& pair : replace_pair_list) {
    const char* used = pair.used ? "Yes\n" : "No\n";
    if (out.is_open()) std::fprintf(out.stream, "  %-14s = %s", pair.key.c_str(), used);
    if (console) message_out(" %-14s = %s", pair.key.c_str(), used);
  }
  if (out.is_open()) std::fputs("\n", out.stream);
  if (console) message_out("\n");
  replace_count = 0;
}

}  // namespace pluvo
