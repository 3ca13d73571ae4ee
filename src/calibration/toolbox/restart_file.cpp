// Restart and stop files. Reals are written with 17 significant digits so that every double,
// however small, reads back equal.
#include "calibration/toolbox/restart_file.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pluvo::toolbox {

int FilesNamesForWrite(char** argv, toolbox_output_names& names) {
  std::string control = argv && argv[2] ? argv[2] : "";
  // The case is the control file's name without its extension; a leading "./" names no folder.
  while (control.rfind("./", 0) == 0 || control.rfind(".\\", 0) == 0) control.erase(0, 2);
  const size_t folder_end = control.find_last_of("/\\");
  const size_t dot = control.find('.', folder_end == std::string::npos ? 0 : folder_end + 1);
  names.case_name = control.substr(0, dot);
  names.rec = names.case_name + ".rec";
  names.sen = names.case_name + ".sen";
  names.mtt = names.case_name + ".mtt";
  names.par = names.case_name + ".par";
  names.rst = names.case_name + ".rst";
  return 0;
}

namespace {

int adjustable_count(const toolbox_control& c) {
  int n = 0;
  for (int k = 1; k <= c.npar; ++k) n += is_adjustable(c.parameters[size_t(k)]);
  return n;
}

void put_real(std::FILE* f, double v, const char* end = "\n") { std::fprintf(f, "%.17g%s", v, end); }

// Items read back in the order written; any short or bad item ends the restart.
class restart_reader {
 public:
  restart_reader(std::istream& in, const std::string& name) : in_(in), name_(name) {}
  int integer() {
    long v = 0;
    const std::string t = token();
    char* end = nullptr;
    v = std::strtol(t.c_str(), &end, 10);
    if (t.empty() || *end != '\0') fail();
    return static_cast<int>(v);
  }
  double real() {
    const std::string t = token();
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0') fail();
    return v;
  }
  [[noreturn]] void fail() const {
    std::printf("\n\nError reading the restart file %s: it ends early or holds a bad value.\n\n",
                name_.c_str());
    end_process(1);
  }

 private:
  std::string token() {
    std::string t;
    if (!(in_ >> t)) fail();
    return t;
  }
  std::istream& in_;
  const std::string& name_;
};

}  // namespace

int write_restart_file(const restart_state& s, const toolbox_control& c,
                       const toolbox_output_names& names) {
  std::remove(names.rst.c_str());
  std::FILE* f = std::fopen(names.rst.c_str(), "w");
  if (!f) {
    std::printf("Error: cannot create the restart file %s; the estimation goes on without it.\n",
                names.rst.c_str());
    return 0;
  }
  const int n_adj = adjustable_count(c);
  const int rows = c.nobs + c.nprior;
  std::fprintf(f, "%d\n", c.method);
  std::fprintf(f, "%d\n", c.full_update);
  put_real(f, c.full_update_threshold);
  std::fprintf(f, "%d\n", c.cyclic_columns);
  put_real(f, c.phi_ratio);
  for (const matrix_cal* j : {&s.jacobian, &s.jacobian_2}) {
    for (int r = 1; r <= rows; ++r) {
      for (int p = 1; p <= n_adj; ++p) put_real(f, (*j)[r][p], "\t");
      std::fputs("\n", f);
    }
  }
  std::fprintf(f, "%d\n", s.iteration);
  put_real(f, s.phi);
  put_real(f, s.previous_phi);
  for (int k = 1; k <= s.iteration; ++k) put_real(f, s.iteration_phi[size_t(k)]);
  for (int k = 1; k <= c.npar; ++k) put_real(f, s.best_parameters[size_t(k)]);
  for (int k = 1; k <= c.nobs; ++k) put_real(f, s.best_simulated[size_t(k)]);
  put_real(f, s.lowest_phi);
  std::fprintf(f, "%d\n", s.lowest_reference);
  std::fprintf(f, "%d\n", s.three_point);
  for (int k = 1; k <= c.nobs; ++k) put_real(f, c.observations[size_t(k)].simulated[0]);
  for (int k = 1; k <= c.nobs; ++k) put_real(f, c.observations[size_t(k)].simulated[1]);
  for (int k = 1; k <= c.npar; ++k) put_real(f, c.parameters[size_t(k)].value);
  for (int k = 1; k <= c.nobsgp; ++k) put_real(f, c.observation_groups[size_t(k)].contribution);
  put_real(f, c.rlambda1);
  put_real(f, s.largest_relative_change);
  std::fprintf(f, "%d\n", s.small_change_count);
  put_real(f, s.last_relative_change);
  for (int k = 1; k <= n_adj; ++k) put_real(f, s.start_values[size_t(k)]);
  std::fprintf(f, "%d\n", s.model_calls);
  std::fprintf(f, "%d\n", s.cyclic_position);
  std::fclose(f);
  return 0;
}

int read_restart_file(restart_state& s, toolbox_control& c, const toolbox_output_names& names) {
  std::ifstream file(names.rst, std::ios::binary);
  if (!file) {
    std::printf("\n\nError opening the restart file.\n");
    std::printf("Possibly previous run was not halted prematurely.\n\n");
    end_process(1);
  }
  std::ostringstream text;
  text << file.rdbuf();
  const std::string body = text.str();
  std::istringstream in(body);
  restart_reader r(in, names.rst);
  const int n_adj = adjustable_count(c);
  const int rows = c.nobs + c.nprior;
  c.method = r.integer();
  c.full_update = r.integer();
  c.full_update_threshold = r.real();
  c.cyclic_columns = r.integer();
  c.phi_ratio = r.real();
  s.jacobian = matrix_cal(1, rows, 1, n_adj);
  s.jacobian_2 = matrix_cal(1, rows, 1, n_adj);
  for (matrix_cal* j : {&s.jacobian, &s.jacobian_2})
    for (int row = 1; row <= rows; ++row)
      for (int p = 1; p <= n_adj; ++p) (*j)[row][p] = r.real();
  s.iteration = r.integer();
  s.phi = r.real();
  s.previous_phi = r.real();
  c.phi_ratio = s.phi / s.previous_phi;
  // Each phi of the history takes at least two characters: a longer history is a damaged file.
  if (s.iteration < 0 || static_cast<std::size_t>(s.iteration) > body.size()) r.fail();
  s.iteration_phi.assign(static_cast<std::size_t>(s.iteration) + 1, 0.0);
  for (int k = 1; k <= s.iteration; ++k) s.iteration_phi[size_t(k)] = r.real();
  s.best_parameters.assign(static_cast<std::size_t>(c.npar) + 1, 0.0);
  for (int k = 1; k <= c.npar; ++k) s.best_parameters[size_t(k)] = r.real();
  s.best_simulated.assign(static_cast<std::size_t>(c.nobs) + 1, 0.0);
  for (int k = 1; k <= c.nobs; ++k) s.best_simulated[size_t(k)] = r.real();
  s.lowest_phi = r.real();
  s.lowest_reference = r.integer();
  s.three_point = r.integer();
  for (int k = 1; k <= c.nobs; ++k) c.observations[size_t(k)].simulated[0] = r.real();
  for (int k = 1; k <= c.nobs; ++k) c.observations[size_t(k)].simulated[1] = r.real();
  for (int k = 1; k <= c.npar; ++k) c.parameters[size_t(k)].value = r.real();
  for (int k = 1; k <= c.nobsgp; ++k) c.observation_groups[size_t(k)].contribution = r.real();
  c.rlambda1 = r.real();
  s.largest_relative_change = r.real();
  s.small_change_count = r.integer();
  s.last_relative_change = r.real();
  s.start_values.assign(static_cast<std::size_t>(n_adj) + 1, 0.0);
  for (int k = 1; k <= n_adj; ++k) s.start_values[size_t(k)] = r.real();
  s.model_calls = r.integer();
  s.cyclic_position = r.integer();
  return 0;
}

int check_stop_file() {
  std::FILE* f = std::fopen("pest.stp", "r");
  if (!f) return 0;
  int value = 999;
  if (std::fscanf(f, "%d", &value) != 1) value = 999;
  switch (value) {
    case 1:
      std::fclose(f);
      end_process(0);
    case 2:
      std::fclose(f);
      std::printf("\n\nThe toolbox does not currently support\n");
      std::printf("ceasing execution with a full parameter statistics printout.\n\n");
      end_process(0);
    case 3:
      std::fclose(f);
      std::printf("\n\nThe toolbox does not currently support pausing execution.\n\n");
      end_process(0);
    default:
      std::fclose(f);
      std::remove("pest.stp");
      return 0;
  }
}

}  // namespace pluvo::toolbox
