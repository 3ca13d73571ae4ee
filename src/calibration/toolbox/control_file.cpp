// Reads the toolbox control file section by section. The layout is fixed: every section header
// is present, in order, one line each. Counts are trusted only as far as the file backs them: a
// file that ends early, a field longer than its room or a number that is not one is refused.
#include "calibration/toolbox/control_file.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "calibration/file_clash.hpp"
#include "calibration/toolbox/restart_file.hpp"

namespace pluvo::toolbox {

namespace {

constexpr std::size_t word_room = 99;
constexpr std::size_t observation_room = 103;
constexpr std::size_t label_room = 23;
constexpr int max_prior_terms = 10;

class control_reader {
 public:
  control_reader(std::string text, std::string file) : text_(std::move(text)), file_(std::move(file)) {}

  bool at_end() const { return pos_ >= text_.size(); }
  std::size_t size() const { return text_.size(); }
  std::size_t position() const { return pos_; }
  void seek(std::size_t p) { pos_ = p; }

  // The next whitespace-separated token; false at the end of the file.
  bool token(std::string& out) {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return false;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !is_space(text_[pos_])) ++pos_;
    out.assign(text_, start, pos_ - start);
    return true;
  }

  // The rest of the current line, without its line end; false at the end of the file.
  bool line(std::string& out) {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = text_.find('\n', pos_);
    const std::size_t stop = end == std::string::npos ? text_.size() : end;
    out.assign(text_, pos_, stop - pos_);
    if (!out.empty() && out.back() == '\r') out.pop_back();
    pos_ = end == std::string::npos ? text_.size() : end + 1;
    return true;
  }

  void rest_of_line() {
    std::string ignored;
    line(ignored);
  }

  // Reports and gives false for each way an item can be wrong.
  bool ended(const std::string& item) const {
    std::printf("Error: the control file %s ends before %s\n", file_.c_str(), item.c_str());
    return false;
  }
  bool too_long(const std::string& item, std::size_t room) const {
    std::printf("Error: the control file %s: %s is longer than %d characters\n", file_.c_str(),
                item.c_str(), static_cast<int>(room));
    return false;
  }
  bool not_a_number(const std::string& item, const std::string& token) const {
    std::printf("Error: the control file %s: %s is not a number: %s\n", file_.c_str(), item.c_str(),
                token.c_str());
    return false;
  }

  bool word(std::string& out, const std::string& item, std::size_t room = word_room) {
    if (!token(out)) return ended(item);
    if (out.size() > room) return too_long(item, room);
    return true;
  }

  bool integer(int32_t& out, const std::string& item) {
    std::string t;
    if (!token(t)) return ended(item);
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(t.c_str(), &end, 10);
    if (end == t.c_str() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX)
      return not_a_number(item, t);
    out = static_cast<int32_t>(v);
    return true;
  }

  bool real(double& out, const std::string& item) {
    std::string t;
    if (!token(t)) return ended(item);
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0') return not_a_number(item, t);
    // NaN and infinity are no model values: they would reach every file the toolbox writes.
    if (!std::isfinite(v)) {
      std::printf("Error: the control file %s: %s is %s; it must be a finite number\n", file_.c_str(),
                  item.c_str(), t.c_str());
      return false;
    }
    out = v;
    return true;
  }

  // A header line read whole; longer lines than the reader's room are refused.
  bool header(const std::string& item) {
    std::string l;
    if (!line(l)) return ended(item);
    if (l.size() > word_room) return too_long(item, word_room);
    return true;
  }

  // The rest of the current line, then a section header.
  bool skip_to_section(const std::string& item) {
    rest_of_line();
    return header(item);
  }

  const std::string& file() const { return file_; }

 private:
  static bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  std::string text_;
  std::string file_;
  std::size_t pos_ = 0;
};

std::string numbered(const char* what, int k) { return std::string(what) + " " + std::to_string(k); }

bool read_control_data(control_reader& r, toolbox_control& c) {
  const std::string d = "control data value ";
  return r.word(c.rstfle, d + "RSTFLE") && r.word(c.pestmode, d + "PESTMODE") &&
         r.integer(c.npar, d + "NPAR") && r.integer(c.nobs, d + "NOBS") &&
         r.integer(c.npargp, d + "NPARGP") && r.integer(c.nprior, d + "NPRIOR") &&
         r.integer(c.nobsgp, d + "NOBSGP") && r.integer(c.ntplfle, d + "NTPLFLE") &&
         r.integer(c.ninsfle, d + "NINSFLE") && r.word(c.precis, d + "PRECIS") &&
         r.word(c.dpoint, d + "DPOINT") && r.integer(c.numcom, d + "NUMCOM") &&
         r.integer(c.jacfile, d + "JACFILE") && r.integer(c.messfile, d + "MESSFILE") &&
         r.real(c.rlambda1, d + "RLAMBDA1") && r.real(c.rlamfac, d + "RLAMFAC") &&
         r.real(c.phiratsuf, d + "PHIRATSUF") && r.real(c.phiredlam, d + "PHIREDLAM") &&
         r.integer(c.numlam, d + "NUMLAM") && r.real(c.relparmax, d + "RELPARMAX") &&
         r.real(c.facparmax, d + "FACPARMAX") && r.real(c.facorig, d + "FACORIG") &&
         r.integer(c.unnamed_23, d + "23") && r.real(c.phiredswh, d + "PHIREDSWH") &&
         r.word(c.unnamed_25, d + "25") && r.integer(c.noptmax, d + "NOPTMAX") &&
         r.real(c.phiredstp, d + "PHIREDSTP") && r.integer(c.nphistp, d + "NPHISTP") &&
         r.integer(c.nphinored, d + "NPHINORED") && r.real(c.relparstp, d + "RELPARSTP") &&
         r.integer(c.nrelpar, d + "NRELPAR") && r.integer(c.icov, d + "ICOV") &&
         r.integer(c.icor, d + "ICOR") && r.integer(c.ieig, d + "IEIG") &&
         r.integer(c.method, d + "35 (method)") && r.integer(c.full_update, d + "36 (full update)") &&
         r.real(c.full_update_threshold, d + "37 (full-update threshold)") &&
         r.integer(c.cyclic_columns, d + "38 (cyclic columns)") &&
         r.real(c.repulsion_distance, d + "39 (repulsion distance)") &&
         r.word(c.project_file, d + "40 (project file)");
}

// Limits of the settings that size the estimation's tables or steer its lambda; each is tested
// so that NaN would fail too.
constexpr int32_t numlam_limit = 1000;
constexpr int32_t noptmax_limit = 1000000;

bool settings_in_range(const control_reader& r, const toolbox_control& c) {
  const char* file = r.file().c_str();
  // A NUMLAM below 1 is refused with the other start-up checks of the session.
  if (!(c.numlam <= numlam_limit)) {
    std::printf("Error: the control file %s: NUMLAM is %d; it must lie between 1 and %d\n", file, c.numlam,
                numlam_limit);
    return false;
  }
  if (!(c.noptmax >= -1 && c.noptmax <= noptmax_limit)) {
    std::printf("Error: the control file %s: NOPTMAX is %d; it must lie between -1 and %d\n", file, c.noptmax,
                noptmax_limit);
    return false;
  }
  if (!(c.cyclic_columns >= 0 && c.cyclic_columns <= c.npar)) {
    std::printf("Error: the control file %s: the cyclic column count is %d; it must lie between 0 and NPAR, "
                "%d\n",
                file, c.cyclic_columns, c.npar);
    return false;
  }
  if (!(c.rlambda1 >= 0.0)) {
    std::printf("Error: the control file %s: RLAMBDA1 is %g; it must not be negative\n", file, c.rlambda1);
    return false;
  }
  if (!(c.rlamfac > 1.0)) {
    std::printf("Error: the control file %s: RLAMFAC is %g; it must be greater than 1\n", file, c.rlamfac);
    return false;
  }
  return true;
}

bool counts_fit(const control_reader& r, const toolbox_control& c) {
  const struct { const char* name; int32_t value; } counts[] = {
      {"NPAR", c.npar},   {"NOBS", c.nobs},       {"NPARGP", c.npargp}, {"NPRIOR", c.nprior},
      {"NOBSGP", c.nobsgp}, {"NTPLFLE", c.ntplfle}, {"NINSFLE", c.ninsfle}};
  for (const auto& k : counts) {
    // Each item takes at least one character, so a count beyond the file's size cannot be met.
    if (k.value > 0 && static_cast<std::size_t>(k.value) > r.size()) {
      std::printf("Error: the control file %s ends before its %d items of %s\n", r.file().c_str(),
                  k.value, k.name);
      return false;
    }
    if (k.value < 0) {
      std::printf("Error: the control file %s: %s must not be negative\n", r.file().c_str(), k.name);
      return false;
    }
  }
  return true;
}

// One prior-information line: label, terms "coefficient * name" joined by + or -, then
// "= value weight group".
int read_prior_item(control_reader& r, toolbox_prior_item& item, int k) {
  const std::string what = numbered("prior information item", k);
  // Blank lines before the item are passed over, so the line counted is the item's own.
  for (;;) {
    if (r.at_end()) return r.ended(what), 1;
    const std::size_t p = r.position();
    std::string l;
    r.line(l);
    if (l.find_first_not_of(" \t\r") != std::string::npos) {
      r.seek(p);
      break;
    }
  }
  const std::size_t start = r.position();
  std::string l;
  r.line(l);
  if (l.size() > word_room) return r.too_long(what, word_room), 1;
  int stars = 0;
  for (char ch : l) stars += ch == '*';
  if (stars > max_prior_terms) {
    std::printf("Error: the control file %s: %s has more than %d terms\n", r.file().c_str(),
                what.c_str(), max_prior_terms);
    return 1;
  }
  r.seek(start);
  item.term_count = stars;
  item.coefficients.assign(static_cast<std::size_t>(stars) + 1, 0.0);
  item.term_names.assign(static_cast<std::size_t>(stars) + 1, std::string());
  if (!r.word(item.label, what + " label", label_room)) return 1;
  std::string op;
  for (int j = 1; j <= stars; ++j) {
    double coef = 0.0;
    if (!r.real(coef, what + " coefficient")) return 1;
    if (j > 1 && op == "-") coef = -coef;
    item.coefficients[size_t(j)] = coef;
    std::string star;
    if (!r.token(star)) return r.ended(what), 1;
    if (star != "*") {
      std::printf("Error reading prior information");
      return 1;
    }
    std::string name;
    if (!r.word(name, what + " parameter name")) return 1;
    const std::size_t log_at = name.find("log");
    if (log_at != std::string::npos) {
      const std::size_t open = name.find('(', log_at);
      const std::size_t close = open == std::string::npos ? open : name.find(')', open + 1);
      if (open != std::string::npos && close != std::string::npos)
        name = name.substr(open + 1, close - open - 1);
    }
    item.term_names[size_t(j)] = name;
    if (!r.word(op, what + " operator")) return 1;
  }
  if (!r.real(item.provided, what + " value") || !r.real(item.weight, what + " weight") ||
      !r.word(item.group, what + " group", observation_room))
    return 1;
  r.rest_of_line();
  return 0;
}

int read_sections(control_reader& r, toolbox_control& c, std::string& pairs) {
  if (!r.header("the first line") || !r.header("the control data header")) return 1;
  if (!read_control_data(r, c) || !counts_fit(r, c) || !settings_in_range(r, c)) return 1;
  // Optional singular-value-decomposition block before the parameter groups.
  r.rest_of_line();
  std::string l;
  if (!r.line(l)) return r.ended("the parameter groups"), 1;
  if (l.size() > word_room) return r.too_long("the parameter groups header", word_room), 1;
  if (l.size() >= 10 && l.compare(2, 8, "singular") == 0) {
    if (!r.integer(c.svd_mode, "the singular value decomposition block") ||
        !r.integer(c.svd_maxsing, "the singular value decomposition block") ||
        !r.real(c.svd_eigthresh, "the singular value decomposition block") ||
        !r.integer(c.svd_eigwrite, "the singular value decomposition block") ||
        !r.skip_to_section("the parameter groups header"))
      return 1;
  }
  c.groups.assign(size_t(c.npargp) + 1, {});
  for (int k = 1; k <= c.npargp; ++k) {
    toolbox_parameter_group& g = c.groups[size_t(k)];
    const std::string w = numbered("parameter group", k);
    if (!r.word(g.name, w) || !r.word(g.inctyp, w) || !r.real(g.derinc, w) ||
        !r.real(g.derinclb, w) || !r.word(g.forcen, w) || !r.real(g.derincmul, w) ||
        !r.word(g.dermthd, w))
      return 1;
  }
  if (!r.skip_to_section("the parameter data header")) return 1;
  c.parameters.assign(size_t(c.npar) + 1, {});
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& p = c.parameters[size_t(k)];
    const std::string w = numbered("parameter", k);
    if (!r.word(p.name, w) || !r.word(p.partrans, w) || !r.word(p.parchglim, w) ||
        !r.real(p.value, w) || !r.real(p.lower, w) || !r.real(p.upper, w) ||
        !r.word(p.group, w) || !r.real(p.scale, w) || !r.real(p.offset, w) ||
        !r.integer(p.dercom, w))
      return 1;
    if (k == 1) pairs += std::to_string(c.npar) + "\n";
    pairs += "[" + p.name + "] \"%16.8lf\"\n";
  }
  for (int k = 1; k <= c.npar; ++k) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    if (!(p.lower <= p.upper)) {
      std::printf("Error: the control file %s: parameter %s has the lower bound %g above its upper bound %g\n",
                  r.file().c_str(), p.name.c_str(), p.lower, p.upper);
      return 1;
    }
  }
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& p = c.parameters[size_t(k)];
    if (p.partrans != "log") continue;
    if (!(p.value > 0.0) || !(p.lower > 0.0) || !(p.upper > 0.0)) {
      std::printf("\nThe log transformed parameter %s has an input value less than zero!",
                  p.name.c_str());
      std::printf("\nProgram terminating.\n");
      return 1;
    }
    p.value = std::log10(p.value);
    p.lower = std::log10(p.lower);
    p.upper = std::log10(p.upper);
  }
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& p = c.parameters[size_t(k)];
    if (p.partrans != "tied") continue;
    const std::string w = "the tied line of parameter " + p.name;
    if (!r.word(p.tied_child, w) || !r.word(p.tied_parent, w)) return 1;
  }
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& p = c.parameters[size_t(k)];
    p.at_upper = p.value == p.upper;
    p.at_lower = p.value == p.lower;
  }
  if (!r.skip_to_section("the observation groups header")) return 1;
  c.observation_groups.assign(size_t(c.nobsgp) + 1, {});
  for (int k = 1; k <= c.nobsgp; ++k)
    if (!r.word(c.observation_groups[size_t(k)].name, numbered("observation group", k),
                observation_room))
      return 1;
  if (!r.skip_to_section("the observation data header")) return 1;
  c.observations.assign(size_t(c.nobs) + 1, {});
  for (int k = 1; k <= c.nobs; ++k) {
    toolbox_observation& o = c.observations[size_t(k)];
    const std::string w = numbered("observation", k);
    if (!r.word(o.name, w, observation_room) || !r.real(o.measured, w) || !r.real(o.weight, w) ||
        !r.word(o.group, w, observation_room))
      return 1;
    if (!(o.weight >= 0.0)) {
      std::printf("Error: the control file %s: observation %s has the weight %g; a weight must not be negative\n",
                  r.file().c_str(), o.name.c_str(), o.weight);
      return 1;
    }
  }
  if (!r.skip_to_section("the model command line header") ||
      !r.word(c.pre_batch, "the pre-model batch file") ||
      !r.word(c.post_batch, "the post-model batch file") ||
      !r.skip_to_section("the model input/output header"))
    return 1;
  c.templates.assign(size_t(c.ntplfle) + 1, {});
  for (int k = 1; k <= c.ntplfle; ++k) {
    const std::string w = numbered("template pair", k);
    if (!r.word(c.templates[size_t(k)].template_file, w) ||
        !r.word(c.templates[size_t(k)].model_input_file, w))
      return 1;
  }
  c.instructions.assign(size_t(c.ninsfle) + 1, {});
  for (int k = 1; k <= c.ninsfle; ++k) {
    const std::string w = numbered("instruction pair", k);
    if (!r.word(c.instructions[size_t(k)].instruction_file, w) ||
        !r.word(c.instructions[size_t(k)].model_output_file, w))
      return 1;
  }
  c.prior.assign(size_t(c.nprior) + 1, {});
  r.rest_of_line();
  if (c.nprior > 0 && !r.header("the prior information header")) return 1;
  if (c.nprior == 0) r.rest_of_line();
  for (int k = 1; k <= c.nprior; ++k)
    if (read_prior_item(r, c.prior[size_t(k)], k) != 0) return 1;
  // Regularisation: estimation files end before it, and then its values are not used.
  r.rest_of_line();
  double values[8];
  for (double& v : values) {
    std::string t;
    if (!r.token(t)) return 0;
    char* end = nullptr;
    v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0') return r.not_a_number("a regularisation value", t), 1;
  }
  for (int i = 0; i < 8; ++i) c.regularisation[i] = values[i];
  c.weight_factor = c.regularisation[3];
  return 0;
}

// Every file the toolbox reads or writes by name; an output that is an input, or another output,
// would destroy it. The check runs before any file is written.
bool toolbox_files_clash(const toolbox_control& c, const std::string& control, char** argv) {
  toolbox_output_names names;
  FilesNamesForWrite(argv, names);
  if (names.case_name.empty()) {
    std::printf("Error: the control file name %s gives no case name for the output files\n", control.c_str());
    return true;
  }
  std::vector<calibration_file> files{{"the control file", control, "", false},
                                      {"the project file", c.project_file, "", false}};
  for (int k = 1; k <= c.ntplfle; ++k)
    files.push_back({"a template file", c.templates[size_t(k)].template_file, "", false});
  for (int k = 1; k <= c.ninsfle; ++k)
    files.push_back({"an instruction file", c.instructions[size_t(k)].instruction_file, "", false});
  for (const std::string* n : {&names.rec, &names.sen, &names.mtt, &names.par, &names.rst})
    files.push_back({"a file of the case", *n, "", true});
  for (const char* n : {"pluvo.in", "values.in", "jac.txt", "slm_vyn_ms1.rec", "slm_vyn_ms2.rec", "slm_vyn_mlsl.rec",
                        "parameters.prn", "RandomNumberSeeds.prn"})
    files.push_back({"a file of the toolbox", n, "", true});
  for (int k = 1; k <= c.ntplfle; ++k)
    files.push_back({"a model input file", c.templates[size_t(k)].model_input_file, "", true});
  return calibration_files_clash(files, "the control file " + control);
}

}  // namespace

int read_control_file(toolbox_control& c, int argc, char** argv) {
  std::string name = argc > 2 && argv[2] ? argv[2] : "";
  if (name.find('.') == std::string::npos) name += ".pst";
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "Cannot open %s \n", name.c_str());
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  control_reader r(text.str(), name);
  std::string pair_lines;
  if (read_sections(r, c, pair_lines) != 0) return 1;
  char* names_argv[] = {nullptr, nullptr, name.data(), nullptr};
  if (toolbox_files_clash(c, name, names_argv)) return 1;
  std::FILE* pairs = std::fopen("pluvo.in", "w");
  if (!pairs) {
    std::printf("Error: unable to create pluvo.in\n");
    return 1;
  }
  std::fputs(pair_lines.c_str(), pairs);
  std::fclose(pairs);
  return 0;
}

bool is_adjustable(const toolbox_parameter& p) {
  return p.partrans != "tied" && p.partrans != "fixed";
}

bool regularisation_mode(const toolbox_control& c) {
  return c.pestmode == "regularization" || c.pestmode == "regularisation";
}

int count_parameter_kinds(toolbox_control& c) {
  c.adjustable_count = c.fixed_count = c.tied_count = c.iw_count = 0;
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& p = c.parameters[size_t(k)];
    p.iw_flag = 0;
    if (p.partrans == "tied") {
      ++c.tied_count;
    } else if (p.partrans == "fixed") {
      ++c.fixed_count;
    } else {
      ++c.adjustable_count;
      if (p.name.compare(0, 3, "iw_") == 0) {
        p.iw_flag = 1;
        p.iw_name = p.name.substr(3);
        ++c.iw_count;
      }
    }
  }
  return 0;
}

int set_tied_ratios(toolbox_control& c) {
  for (int k = 1; k <= c.npar; ++k) {
    c.parameters[size_t(k)].parent_index = 0;
    c.parameters[size_t(k)].tied_ratio = 1.0;
  }
  if (c.tied_count < 1) return 0;
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& p = c.parameters[size_t(k)];
    if (p.partrans != "tied") continue;
    for (int q = 1; q <= c.npar; ++q) {
      const toolbox_parameter& parent = c.parameters[size_t(q)];
      if (parent.name != p.tied_parent) continue;
      const double parent_value =
          parent.partrans == "log" ? std::pow(10.0, parent.value) : parent.value;
      p.parent_index = q;
      p.tied_ratio = p.value / parent_value;
      break;
    }
  }
  return 0;
}

int list_adjustable_parameters(const toolbox_control& c, std::vector<int>& list) {
  int n = 0;
  for (int k = 1; k <= c.npar; ++k) {
    if (!is_adjustable(c.parameters[size_t(k)])) continue;
    ++n;
    if (list.size() <= size_t(n)) list.resize(size_t(n) + 1, 0);
    list[size_t(n)] = k;
  }
  return 0;
}

}  // namespace pluvo::toolbox
