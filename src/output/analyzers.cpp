#include "output/analyzers.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/julian.hpp"
#include "common/line_reader.hpp"
#include "output/output_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr int event_timed = 1;
constexpr int event_any_untimed = 2 | 4 | 8 | 16 | 32;
constexpr int out_true_only = 1, out_per_link = 2, out_console = 4, out_file = 8, out_counted = 16,
              out_values = 32;

int letter_bits(const char* word, const char* letters) {
  int bits = 0;
  for (const char* c = word; *c; ++c) {
    const char* at = std::strchr(letters, *c);
    if (at) bits |= 1 << (at - letters);
  }
  return bits;
}

// Output letters; "t" and "v" exclude each other and the later one wins.
int output_bits(const char* word) {
  int bits = 0;
  for (const char* c = word; *c; ++c) {
    const int b = letter_bits(std::string(1, *c).c_str(), "tvsfcd");
    if (b & (out_true_only | out_per_link)) bits &= ~(out_true_only | out_per_link);
    bits |= b;
  }
  return bits;
}

const char* event_text(int event) {
  if (event & 1) return "%s";
  if (event & 2) return "the beginning of an event at %s";
  if (event & 4) return "the end of an event at %s";
  if (event & 8) return "the beginning of the simulation at %s";
  if (event & 16) return "the end of simulation at %s";
  if (event & 32) return "the program crash point at %s";
  return "%s";
}

// The lines of one report go to the console and the file as the output flags say.
struct report_sink {
  bool console;
  std::FILE* file;
  void put(const std::string& text) const {
    if (console) std::fputs(text.c_str(), stdout);
    if (file) std::fputs(text.c_str(), file);
  }
};

std::string formatted(const char* format, const char* a, const char* b = "", const char* c = "") {
  const int n = std::snprintf(nullptr, 0, format, a, b, c);
  std::string s(size_t(n > 0 ? n : 0), '\0');
  std::snprintf(s.data(), s.size() + 1, format, a, b, c);
  return s;
}

// A node matrix row of the channel record (row = constituent).
template <class matrix>
bound_row matrix_row(const matrix& rows, int c) {
  return bound_row{[&rows, c](size_t& length) -> const double* {
    if (rows.empty() || c > rows.rows()) return nullptr;
    length = size_t(rows.cols()) + 1;
    return rows[c];
  }};
}

// A row of a per-constituent list of the quality record.
bound_row list_row(const checked_array_2d<double>& list, int c, const int32_t& keys) {
  return bound_row{[&list, c, &keys](size_t& length) -> const double* {
    if (c > list.row_count || !list.rows || !list.rows[c]) return nullptr;
    length = size_t(keys);
    return list.rows[c];
  }};
}

bound_row flat(const std::vector<double>& v) {
  return bound_row{[&v](size_t& length) -> const double* {
    length = v.size();
    return v.data();
  }};
}

}  // namespace

const double* bound_row::values(size_t keys) const {
  if (!row) return nullptr;
  size_t length = 0;
  const double* p = row(length);
  return p && length >= keys ? p : nullptr;
}

int parse_analyzer_type(const char* word) {
  if (std::strncmp(word, "2DG", 3) == 0) return 0;
  if (std::strncmp(word, "1DS", 3) == 0) return 1;
  if (std::strncmp(word, "2DS", 3) == 0) return 2;
  if (std::strncmp(word, "TVX_OV", 6) == 0) return 3;
  if (std::strncmp(word, "TVX_ST", 6) == 0) return 4;
  if (std::strncmp(word, "TVX_SL", 6) == 0) return 5;
  return -1;
}

int parse_logical_operator(const char* word) {
  if (std::strncmp(word, "<=", 2) == 0) return 3;
  if (std::strncmp(word, ">=", 2) == 0) return 4;
  if (std::strncmp(word, "==", 2) == 0) return 2;
  switch (word[0]) {
    case '<': return 0;
    case '>': return 1;
    case '+': return 5;
    case '-': return 6;
    case '*': return 7;
    case '\\': return 8;
    default: return 9;
  }
}

// ---- comparisons ----

void logical_OP::setup(bound_row array, int nlinks, const std::vector<int32_t>* nx, int stride,
                       const double* model_time, const std::string& display_name) {
  array_ = std::move(array);
  nlinks_ = nlinks;
  nx_ = nx;
  stride_ = stride;
  model_time_ = model_time;
  display_name_ = display_name.substr(0, 100);
  flags_.assign(keys(), 0);
}

template <class compare>
bool logical_OP::test(double threshold, const char* format, compare passes) {
  bool any = false;
  for (int link = 1; link <= nlinks_; ++link)
    for (int node = 1; node <= (*nx_)[size_t(link)]; ++node) {
      const bool pass = passes(node_value(link, node), threshold);
      flags_[key(link, node)] = pass ? 1 : 0;
      any = any || pass;
    }
  char text[128];
  std::snprintf(text, sizeof text, format, threshold);
  operation_ = text;
  test_time_ = *model_time_;
  return any;
}

bool logical_OP::less(double t) { return test(t, "< %4.6lf", [](double v, double c) { return v < c; }); }
bool logical_OP::less_equal(double t) { return test(t, "<= %4.6lf", [](double v, double c) { return v <= c; }); }
bool logical_OP::greater(double t) { return test(t, "> %4.6lf", [](double v, double c) { return v > c; }); }
bool logical_OP::greater_equal(double t) {
  return test(t, ">= %4.6lf", [](double v, double c) { return v >= c; });
}
bool logical_OP::equal(double t) { return test(t, "== %4.6lf", [](double v, double c) { return v == c; }); }

void logical_OP::report(int o, int event, checked_file& file) {
  const report_sink sink{(o & out_console) != 0, (o & out_file) && file.is_open() ? file.stream : nullptr};
  if (!sink.console && !sink.file) return;
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  calendar_from_julian(test_time_, year, month, day, hour, minute, seconds);
  char date[96];
  std::snprintf(date, sizeof date, "%02d-%02d-%4d, %d:%d:%2.0lf", month, day, year, hour, minute, seconds);
  const std::string when = formatted(event_text(event), date);
  if (o & out_counted)
    sink.put(formatted("\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with values %s:\n",
                       display_name_.c_str(), when.c_str(), operation_.c_str()));
  else
    sink.put(formatted("\n\nValues in the 2D stream array %s at %s: \n", display_name_.c_str(), when.c_str()));
  int passed = 0;
  int visited = 0;
  char text[96];
  for (int link = 1; link <= nlinks_; ++link) {
    std::string line;
    if (o & out_per_link) {
      std::snprintf(text, sizeof text, "%4d:", link);
      line += text;
    }
    for (int node = 1; node <= (*nx_)[size_t(link)]; ++node) {
      const bool flag = flags_[key(link, node)] != 0;
      ++visited;
      if (flag) ++passed;
      if (o & out_true_only) {
        if (!flag) continue;
        std::snprintf(text, sizeof text, "Link %3d, Node %3d", link, node);
        line += text;
        if (o & out_values) {
          std::snprintf(text, sizeof text, ":  %14.6lf\n", shown_value(link, node));
          line += text;
        } else {
          line += "\n";
        }
      } else if (o & (out_counted | out_values)) {
        std::snprintf(text, sizeof text, flag ? "[T, %6.4lf]" : "[F, %6.4lf]", shown_value(link, node));
        line += text;
      } else {
        line += flag ? "T" : "F";
      }
    }
    if (o & out_per_link) line += "\n";
    sink.put(line);
  }
  if (o & out_counted) {
    std::snprintf(text, sizeof text, "====> %d out of %d nodes passed the logic test.\n", passed, visited);
    sink.put(text);
  }
}

double st1d_logical_OP::node_value(int link, int node) {
  const double* v = array_.values(keys());
  return v ? v[key(link, node)] : 0.0;
}

void st2d_logical_OP::set_arithmetic(int code, bound_row second) {
  arithmetic_ = code;
  second_ = std::move(second);
}

double st2d_logical_OP::node_value(int link, int node) {
  const size_t k = key(link, node);
  const double* a = array_.values(keys());
  double v = a ? a[k] : 0.0;
  const double* b = second_.values(keys());
  if (b) {
    switch (arithmetic_) {
      case 5: v += b[k]; break;
      case 6: v -= b[k]; break;
      case 7: v *= b[k]; break;
      case 8: v = b[k] == 0.0 ? 9999.99 : v / b[k]; break;
      default: break;
    }
  }
  if (derived_.size() < keys()) derived_.assign(keys(), 0.0);
  derived_[k] = v;
  return v;
}

double st2d_logical_OP::shown_value(int link, int node) {
  return derived_.size() < keys() ? 0.0 : derived_[key(link, node)];
}

// ---- analyzers ----

bool analyzer::configure(model_state& m, char* line) {
  char word[token_buffer_size] = "";
  next_token(line, word);
  if (!create_op(m, word)) return false;
  word[0] = '\0';
  next_token(line, word);
  trigger_flags_ = letter_bits(word, "tEeSsc");
  word[0] = '\0';
  next_token(line, word);
  operator_code_ = parse_logical_operator(word);
  next_double(line, threshold_);
  word[0] = '\0';
  next_token(line, word);
  output_flags_ = output_bits(word);
  if (trigger_flags_ & event_timed) {
    int32_t seconds = 0;
    next_int(line, seconds);
    time_ = &m.cur_julian;
    interval_ = seconds / 86400.0;
    next_time_ = *time_;
    last_time_ = *time_ - interval_;
  }
  if (output_flags_ & out_file) {
    next_token(line, file_name_);
    if (file_name_.size() > 1024) file_name_.resize(1024);
    open_output();
  }
  return true;
}

bool analyzer::open_output() {
  if (checked_file_open(file_, file_name_.c_str(), "w")) return true;
  // The console copy still prints; only the file is missing.
  std::printf("Error: unable to open analyzer output file %s\n", file_name_.c_str());
  return false;
}

void analyzer::close_output() { checked_file_close_void(file_); }

void analyzer::trigger(int event) {
  const int f = trigger_flags_ & event;
  if ((f & event_timed) && time_ && *time_ >= next_time_ - julian_hundredth_second) {
    last_time_ = *time_;
    next_time_ = *time_ + interval_;
    evaluate(event);
  } else if (f & event_any_untimed) {
    evaluate(event);
  }
}

void analyzer::evaluate(int event) {
  if (!op_) return;
  switch (operator_code_) {
    case 0: op_->less(threshold_); break;
    case 1: op_->greater(threshold_); break;
    case 2: op_->equal(threshold_); break;
    case 3: op_->less_equal(threshold_); break;
    case 4: op_->greater_equal(threshold_); break;
    default: return;
  }
  op_->report(output_flags_, event, file_);
}

bool stanalyzer_2dst::create_op(model_state& m, const char* word) {
  auto op = std::make_unique<st2d_logical_OP>();
  bound_row array = bind_array(word, m, *op);
  if (!array) return false;
  op->setup(std::move(array), m.nlinks, &m.nx, m.chan_node_extent, &m.cur_julian, word);
  op_ = std::move(op);
  return true;
}

bound_row stanalyzer_2dst::bind_array(const char* word, model_state& m, st2d_logical_OP& op) {
  std::string lower = word;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (lower.compare(0, 5, "depth") == 0) {
    op.set_arithmetic(6, flat(m.bel));  // water surface above the bed
    return flat(m.yp);
  }
  if (lower.compare(0, 4, "area") == 0) return flat(m.area);
  if (lower.compare(0, 4, "flow") == 0) return flat(m.qp);
  std::printf("Error: unable to find 2DS array [%s]\n", word);
  return {};
}

bool stanalyzer_1dst::create_op(model_state& m, const char* word) {
  bound_row array = bind_array(word, m);
  if (!array) return false;
  auto op = std::make_unique<st1d_logical_OP>();
  op->setup(std::move(array), m.nlinks, &m.nx, m.chan_node_extent, &m.cur_julian, word);
  op_ = std::move(op);
  return true;
}

bound_row stanalyzer_1dst::bind_array(const char* word, model_state& m) {
  char text[token_buffer_size];
  std::snprintf(text, sizeof text, "%s", word);
  for (char* c = text; *c; ++c)
    if (*c == '_') *c = ' ';
  char keyword[token_buffer_size] = "";
  int32_t c = 0;
  next_token(text, keyword);
  next_int(text, c);
  if (m.num_constituents == 0) {
    std::printf("Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
    return {};
  }
  if (c < 1 || c > m.num_constituents) {
    std::printf("Error: 1DS Analyzer for %s with index %d is out of range. Range for index is %d to %d.\n", keyword,
                c, 1, m.num_constituents);
    return {};
  }
  auto is = [&](const char* name) { return std::strncmp(keyword, name, std::strlen(name)) == 0; };
  bound_row row;
  if (is("conc")) {
    row = list_row(m.chan_node_conc, c, m.chan_slot_count);
  } else if (is("mass")) {
    row = list_row(m.chan_node_mass, c, m.chan_slot_count);
  } else if (is("pointconc")) {
    const auto& rows = m.pointconc;
    row = bound_row{[&rows, c](size_t& length) -> const double* {
      if (size_t(c) >= rows.size()) return nullptr;
      length = rows[size_t(c)].size();
      return rows[size_t(c)].data();
    }};
  } else if (is("qlatconc")) {
    row = matrix_row(m.conc_qlat, c);
  } else if (is("qlatmass")) {
    row = matrix_row(m.chan_qlat_mass, c);
  } else if (is("gwmass")) {
    row = matrix_row(m.chan_gw_mass, c);
  } else if (is("tvxsource")) {
    row = matrix_row(m.chan_tvx_source, c);
  }
  if (!row) std::printf("Error: unable to find 1DS array [%s]\n", keyword);
  return row;
}

// ---- phases ----

void setup_analyzers(model_state& m, const char* file) {
  m.analyzer_list.clear();
  checked_file in;
  if (!file || !checked_file_open(in, file, "r")) return;
  std::string buffer(size_t(line_buffer_size) + 1, '\0');
  char* line = buffer.data();
  while (read_line(line, in)) {
    if (line[0] == '#') continue;
    char type[token_buffer_size] = "";
    if (!next_token(line, type)) continue;
    std::shared_ptr<analyzer> a;
    const int kind = parse_analyzer_type(type);
    if (kind == 1)
      a = std::make_shared<stanalyzer_1dst>();
    else if (kind == 2)
      a = std::make_shared<stanalyzer_2dst>();
    else
      continue;
    // An analyzer without an array would test nothing: it is dropped after its message.
    if (a->configure(m, line)) m.analyzer_list.push_back(std::move(a));
  }
  checked_file_close(in);
  if (!m.super_quiet_on) std::printf("Set up %d analyzers...\n", int(m.analyzer_list.size()));
}

void run_analyzers(model_state& m, int event) {
  for (const auto& a : m.analyzer_list) a->trigger(event);
}

}  // namespace pluvo
