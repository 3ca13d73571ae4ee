#pragma once
// Lines of the fixed-column hourly weather formats, for the reader and phase tests.
#include <string>
#include <utility>
#include <vector>

namespace hmet_test {

// A SAMSON line with its fields at their columns.
inline std::string samson_line(const char* date, const char* direct, const char* diffuse, const char* sky,
                               const char* temperature, const char* rh, const char* pressure, const char* wind) {
  std::string line(86, ' ');
  const auto put = [&](size_t offset, size_t width, const char* text) {
    const std::string t(text);
    line.replace(offset + width - t.size(), t.size(), t);
  };
  line.replace(1, 11, date);  // "yy mm dd hh"
  put(33, 4, direct);
  put(41, 4, diffuse);
  put(49, 2, sky);
  put(55, 5, temperature);
  put(67, 3, rh);
  put(71, 4, pressure);
  put(79, 6, wind);
  return line;
}

// A Surface Airways line: element, date and one group of hour and value per entry.
inline std::string airways_line(const char* element, const char* date,
                                std::vector<std::pair<const char*, long>> groups) {
  std::string line(30 + 12 * groups.size(), ' ');
  const auto put = [&](size_t offset, size_t width, const std::string& t) {
    line.replace(offset + width - t.size(), t.size(), t);
  };
  put(11, 4, element);
  line.replace(17, 4, std::string(date, 4));
  line.replace(21, 2, std::string(date + 4, 2));
  line.replace(25, 2, std::string(date + 6, 2));
  put(27, 3, std::to_string(groups.size()));
  for (size_t g = 0; g < groups.size(); ++g) {
    put(30 + 12 * g, 4, groups[g].first);
    put(30 + 12 * g + 5, 5, std::to_string(groups[g].second));
  }
  return line + "\n";
}

}  // namespace hmet_test
