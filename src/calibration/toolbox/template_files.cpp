// Template and instruction files. Both are read whole into memory and scanned there, so no scan
// can run past the end of a file: every scan that meets an end reports it and stops the mode.
#include "calibration/toolbox/template_files.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace pluvo::toolbox {

namespace {

constexpr std::size_t line_room = 14999;

std::string slurp(std::FILE* f) {
  std::string text;
  std::rewind(f);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  return text;
}

std::string case_changed(const std::string& s, int (*change)(int)) {
  std::string out = s;
  for (char& ch : out) ch = static_cast<char>(change(static_cast<unsigned char>(ch)));
  return out;
}

// The first entry whose name equals the text as written, in lower case or in upper case.
template <class Table>
int find_name(const Table& table, int count, const std::string& name) {
  const std::string lower = case_changed(name, std::tolower);
  const std::string upper = case_changed(name, std::toupper);
  for (int k = 1; k <= count; ++k) {
    const std::string& n = table[size_t(k)].name;
    if (n == name || n == lower || n == upper) return k;
  }
  return 0;
}

// First line of a file, without its line end, cut at the reader's room.
std::string first_line(const std::string& text, std::size_t& after) {
  const std::size_t end = text.find('\n');
  after = end == std::string::npos ? text.size() : end + 1;
  std::string line = text.substr(0, std::min(end == std::string::npos ? text.size() : end, line_room));
  return line;
}

int too_many(const char* kind_line_1, const char* kind_line_2) {
  std::printf("\n");
  std::printf("%s", kind_line_1);
  std::printf("%s", kind_line_2);
  std::printf("\n");
  return 1;
}

int open_all(int count, toolbox_file_handles& handles, const char* mode, const char* kind,
             const auto& name_of) {
  handles.fill(nullptr);
  for (int k = 1; k <= count; ++k) {
    const std::string& name = name_of(k);
    handles[size_t(k - 1)] = std::fopen(name.c_str(), mode);
    if (!handles[size_t(k - 1)]) {
      std::printf("Error: cannot open the %s file %s\n", kind, name.c_str());
      return 1;
    }
  }
  return 0;
}

int close_all(int count, toolbox_file_handles& handles) {
  for (int k = 1; k <= count && k <= max_toolbox_files; ++k) {
    if (handles[size_t(k - 1)]) std::fclose(handles[size_t(k - 1)]);
    handles[size_t(k - 1)] = nullptr;
  }
  return 0;
}

bool is_number_char(char ch) {
  return std::isdigit(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' || ch == '+' ||
         ch == 'E' || ch == 'e';
}

// One interpretation: the instruction text against the model output text.
class instruction_run {
 public:
  instruction_run(toolbox_control& c, const std::string& ins, const std::string& ins_name,
                  const std::string& out, const std::string& out_name, int slot)
      : c_(c), ins_(ins), ins_name_(ins_name), out_(out), out_name_(out_name), slot_(slot) {}

  int run() {
    std::size_t after = 0;
    const std::string head = first_line(ins_, after);
    if (head.size() < 5 || !(head.compare(0, 3, "pif") == 0 || head.compare(0, 3, "jif") == 0)) {
      std::printf("Error: %s is not a valid instruction file: its first line begins with neither "
                  "pif nor jif\n",
                  ins_name_.c_str());
      return 1;
    }
    marker_ = head[4];
    ip_ = after;
    while (ip_ < ins_.size()) {
      const char ch = ins_[ip_++];
      if (act(ch) != 0) return 1;
    }
    return 0;
  }

 private:
  int act(char ch) {
    if (ch == '\n') {
      next_output_line();
      return 0;
    }
    if (ch == marker_) return search();
    switch (ch) {
      case 'l': return lines();
      case 'w': return word();
      case 't': return tab();
      case '[': return fixed();
      case '(':
        std::printf("Semi-fixed observations are currently not supported with the calibration "
                    "toolbox.\n");
        std::printf("Modify the instruction file(s) accordingly and rerun the toolbox.\n");
        end_process(1);
      case '!': return non_fixed();
      default: return 0;  // '&', blanks, carriage returns and other letters
    }
  }

  int ended(const char* what) {
    std::printf("Error: %s: %s\n", ins_name_.c_str(), what);
    return 1;
  }
  int output_ended(const char* what) {
    std::printf("Error: %s: %s before the end of %s\n", ins_name_.c_str(), what, out_name_.c_str());
    return 1;
  }

  // Instruction characters up to `stop`, which is consumed; false at the end of the file.
  bool until(char stop, std::string& text) {
    const std::size_t end = ins_.find(stop, ip_);
    if (end == std::string::npos) return false;
    text.assign(ins_, ip_, end - ip_);
    ip_ = end + 1;
    return true;
  }

  // A count after l or t: up to a blank (consumed) or a line end (left to act).
  long count() {
    const std::size_t start = ip_;
    while (ip_ < ins_.size() && ins_[ip_] != ' ' && ins_[ip_] != '\n' && ins_[ip_] != '\r') ++ip_;
    const long n = std::strtol(ins_.substr(start, ip_ - start).c_str(), nullptr, 10);
    if (ip_ < ins_.size() && ins_[ip_] == ' ') ++ip_;
    return n;
  }

  void next_output_line() {
    const std::size_t end = out_.find('\n', op_);
    op_ = end == std::string::npos ? out_.size() : end + 1;
  }

  int search() {
    std::string text;
    if (!until(marker_, text)) return ended("a search text has no closing marker");
    while (op_ < out_.size()) {
      const std::size_t end = out_.find('\n', op_);
      const std::size_t stop = end == std::string::npos ? out_.size() : end;
      const std::size_t at = out_.substr(op_, stop - op_).find(text);
      if (at != std::string::npos) {
        op_ += at + text.size();
        return 0;
      }
      op_ = end == std::string::npos ? out_.size() : end + 1;
    }
    std::printf("Error: %s: the text %s was not found in %s\n", ins_name_.c_str(), text.c_str(),
                out_name_.c_str());
    return 1;
  }

  int lines() {
    const long n = count();
    std::size_t last_start = op_;
    for (long i = 0; i < n; ++i) {
      if (op_ >= out_.size()) return output_ended("an l instruction ran out of lines");
      last_start = op_;
      next_output_line();
    }
    op_ = last_start;
    return 0;
  }

  int word() {
    while (op_ < out_.size() && out_[op_] != ' ') ++op_;
    if (op_ >= out_.size()) return output_ended("a w instruction found no blank");
    while (op_ < out_.size() && out_[op_] == ' ') ++op_;
    return 0;
  }

  int tab() {
    const long n = count();
    op_ = n > 0 ? std::min(out_.size(), op_ + static_cast<std::size_t>(n)) : op_;
    return 0;
  }

  int observation(const std::string& name) {
    const int k = find_name(c_.observations, c_.nobs, name);
    if (k == 0)
      std::printf("Error: %s names %s, which is not an observation of the control file\n",
                  ins_name_.c_str(), name.c_str());
    return k;
  }

  int fixed() {
    std::string name, first;
    if (!until(']', name)) return ended("a fixed observation has no closing ']'");
    if (!until(':', first)) return ended("a fixed observation has no ':'");
    while (ip_ < ins_.size() && is_number_char(ins_[ip_])) ++ip_;
    if (ip_ < ins_.size()) ++ip_;  // the character that ends the last column goes with it
    const int k = observation(name);
    if (k == 0) return 1;
    const long f = std::strtol(first.c_str(), nullptr, 10);
    if (f > 1) op_ = std::min(out_.size(), op_ + static_cast<std::size_t>(f - 1));
    if (f != 1 && op_ > 0) --op_;
    const char* start = out_.c_str() + op_;
    char* end = nullptr;
    const double v = std::strtod(start, &end);
    if (end == start) {
      std::printf("Error: %s: no number for observation %s in %s\n", ins_name_.c_str(),
                  name.c_str(), out_name_.c_str());
      return 1;
    }
    if (!finite_value(name, v)) return 1;
    c_.observations[size_t(k)].simulated[slot_] = v;
    op_ += static_cast<std::size_t>(end - start);
    while (op_ < out_.size() && (out_[op_] == ' ' || out_[op_] == '\r')) ++op_;
    if (op_ < out_.size() && out_[op_] == '\n') ++op_;
    return 0;
  }

  int non_fixed() {
    std::string name;
    if (!until('!', name)) return ended("a non-fixed observation has no closing '!'");
    const int k = observation(name);
    if (k == 0) return 1;
    while (op_ < out_.size() && out_[op_] == ' ') ++op_;
    const std::size_t start = op_;
    while (op_ < out_.size() && is_number_char(out_[op_])) ++op_;
    const std::string run = out_.substr(start, op_ - start);
    const double v = std::strtod(run.c_str(), nullptr);
    if (!finite_value(name, v)) return 1;
    c_.observations[size_t(k)].simulated[slot_] = v;
    return 0;
  }

  // A model output of NaN or infinity is no observation: it would reach every record written.
  bool finite_value(const std::string& name, double v) const {
    if (std::isfinite(v)) return true;
    std::printf("Error: %s: observation %s in %s is %g, not a finite number\n", ins_name_.c_str(), name.c_str(),
                out_name_.c_str(), v);
    return false;
  }

  toolbox_control& c_;
  const std::string& ins_;
  const std::string& ins_name_;
  const std::string& out_;
  const std::string& out_name_;
  int slot_;
  char marker_ = 0;
  std::size_t ip_ = 0;
  std::size_t op_ = 0;
};

}  // namespace

int open_template_files(toolbox_control& c, toolbox_file_handles& handles) {
  if (c.ntplfle > max_toolbox_files)
    return too_many("Currently, slm_vyn does not support more than 25 template files.\n",
                    "Please modify and recompile the code to accomodate the unusually large "
                    "number of template files.\n");
  return open_all(c.ntplfle, handles, "rb", "template",
                  [&](int k) -> const std::string& { return c.templates[size_t(k)].template_file; });
}

int check_template_files(toolbox_control& c, toolbox_file_handles& handles) {
  for (int k = 1; k <= c.ntplfle; ++k) {
    toolbox_template_pair& t = c.templates[size_t(k)];
    const std::string text = slurp(handles[size_t(k - 1)]);
    std::size_t after = 0;
    const std::string head = first_line(text, after);
    if (head.size() < 5 || (head[0] != 'p' && head[0] != 'j') || head.compare(1, 2, "tf") != 0) {
      std::printf("\n");
      std::printf("%s is not a valid PEST template file.\n", t.template_file.c_str());
      std::printf("\n");
      return 1;
    }
    const char marker = head[4];
    t.marker_positions.assign(1, 0);
    for (std::size_t i = after; i < text.size(); ++i) {
      if (text[i] != marker) continue;
      if (static_cast<int>(t.marker_positions.size()) > max_template_markers) {
        std::printf("Error: the template file %s holds more than %d markers\n",
                    t.template_file.c_str(), max_template_markers);
        return 1;
      }
      t.marker_positions.push_back(static_cast<int32_t>(i + 1));
    }
    const int markers = static_cast<int>(t.marker_positions.size()) - 1;
    t.field_count = markers / 2;
    t.field_parameter.assign(static_cast<std::size_t>(t.field_count) + 1, 0);
    for (int j = 1; j <= t.field_count; ++j) {
      const std::size_t from = static_cast<std::size_t>(t.marker_positions[size_t(2 * j - 1)]) - 1;
      const std::size_t to = static_cast<std::size_t>(t.marker_positions[size_t(2 * j)]) - 1;
      std::string name;
      for (std::size_t i = from; i <= to; ++i)
        if (text[i] != marker && text[i] != ' ') name.push_back(text[i]);
      const int p = find_name(c.parameters, c.npar, name);
      if (p == 0) {
        std::printf("Error: the template file %s names %s, which is not a parameter of the "
                    "control file\n",
                    t.template_file.c_str(), name.c_str());
        return 1;
      }
      t.field_parameter[size_t(j)] = p;
    }
  }
  return 0;
}

int close_template_files(toolbox_control& c, toolbox_file_handles& handles) {
  return close_all(c.ntplfle, handles);
}

int open_instruction_files(toolbox_control& c, toolbox_file_handles& handles) {
  if (c.ninsfle > max_toolbox_files)
    return too_many("Currently, the Toolbox does not support more than 25 instruction files.\n",
                    "Please recompile the code to accomodate the unusually large number of "
                    "instruction files.\n");
  return open_all(c.ninsfle, handles, "r", "instruction", [&](int k) -> const std::string& {
    return c.instructions[size_t(k)].instruction_file;
  });
}

int close_instruction_files(toolbox_control& c, toolbox_file_handles& handles) {
  return close_all(c.ninsfle, handles);
}

int read_model_output_observation(toolbox_control& c, const toolbox_output_names&, int k,
                                  int slot, toolbox_file_handles& handles) {
  if (k < 1 || k > c.ninsfle || k > max_toolbox_files || slot < 0 || slot > 2) return 1;
  const toolbox_instruction_pair& pair = c.instructions[size_t(k)];
  const std::string ins = slurp(handles[size_t(k - 1)]);
  std::FILE* out = std::fopen(pair.model_output_file.c_str(), "rb");
  if (!out) {
    std::printf("Error: cannot open the model output file %s\n", pair.model_output_file.c_str());
    return 1;
  }
  const std::string text = slurp(out);
  std::fclose(out);
  return instruction_run(c, ins, pair.instruction_file, text, pair.model_output_file, slot).run();
}

}  // namespace pluvo::toolbox
