// Toolbox model runs and the Jacobian. Increments are 1 % of the untransformed value, with fixed
// fall-backs at zero, whatever the group's increment settings say.
#include "calibration/toolbox/model_runs.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "calibration/calibration_modes.hpp"

namespace pluvo::toolbox {

namespace {

constexpr std::size_t value_line_room = 1023;  // the model reads the values line into 1024 bytes

const toolbox_parameter_group* group_of(const toolbox_control& c, const toolbox_parameter& p) {
  for (int g = 1; g <= c.npargp; ++g)
    if (c.groups[size_t(g)].name == p.group) return &c.groups[size_t(g)];
  return nullptr;
}

// Runs one column needs: 1 for two-point, 2 for three-point derivatives.
int runs_for(const toolbox_control& c, const toolbox_parameter& p, int switched) {
  const toolbox_parameter_group* g = group_of(c, p);
  const std::string forcen = g ? g->forcen : "";
  if (forcen == "always_2") return 1;
  if (forcen == "always_3") return 2;
  if (forcen == "switch") return switched ? 2 : 1;
  return 2;
}

// Hands the user's command to the shell as written and waits for it; its result is not ours to
// judge. Spawned rather than forked whole: a model holding large grids would copy its page tables
// for every run.
void run_shell_command(const std::string& command) {
  char shell[] = "/bin/sh", flag[] = "-c";
  std::string text = command;
  char* args[] = {shell, flag, text.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, args, environ) != 0) return;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

void progress(int runs) {
  if (runs >= 10000) return;
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%d runs completed.", runs);
  std::fputs(text, stdout);
  for (int i = 0; i < length; ++i) std::fputc('\b', stdout);
  std::fflush(stdout);
}

double lg(double x) { return std::log10(x); }

}  // namespace

int run_toolbox_model(toolbox_control& c, value_field field, int slot,
                      const toolbox_output_names& names, toolbox_file_handles& instructions,
                      char** argv, int& model_calls, bool final_run) {
  std::string line;
  for (int k = 1; k <= c.npar; ++k) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    double v = field == value_field::stored        ? p.value
               : field == value_field::perturbed_1 ? p.perturbed_1
                                                   : p.perturbed_2;
    if (p.partrans == "log") v = std::pow(10.0, v);
    char text[64];
    std::snprintf(text, sizeof text, "%.7E ", v);
    line += text;
  }
  if (line.size() > value_line_room) {
    std::printf("Error: the values of %d parameters take %d characters in values.in; the model "
                "reads no more than %d\n",
                c.npar, static_cast<int>(line.size()), static_cast<int>(value_line_room));
    return 1;
  }
  std::FILE* values = std::fopen("values.in", "w");
  if (!values) {
    std::printf("Error: unable to write values.in\n");
    return 1;
  }
  std::fputs(line.c_str(), values);
  std::fclose(values);
  if (model_run_function run = current_model_run_function())
    run(c.project_file.c_str(), nullptr, argv && argv[1] ? argv[1] : "");
  std::fflush(stdout);
  if (!c.post_batch.empty()) run_shell_command(c.post_batch);
  if (!final_run) ++model_calls;
  int status = 0;
  for (int k = 1; k <= c.ninsfle; ++k)
    status = read_model_output_observation(c, names, k, slot, instructions);
  if (status == 0 && !final_run) check_stop_file();
  return status;
}

std::vector<int> due_parameters(const toolbox_control& c, int iteration, int& cyclic_position,
                                bool& cyclic) {
  std::vector<int> due;
  cyclic = c.method == 1 && iteration >= 2 && !(c.full_update == 1 && c.phi_ratio > c.full_update_threshold);
  if (!cyclic) {
    for (int k = 1; k <= c.npar; ++k)
      if (is_adjustable(c.parameters[size_t(k)])) due.push_back(k);
    return due;
  }
  const int n = c.cyclic_columns;
  if (n < 1 || c.npar < 1) return due;
  bool any = false;
  for (int k = 1; k <= c.npar; ++k) any |= is_adjustable(c.parameters[size_t(k)]);
  if (!any) return due;
  int k = cyclic_position + 1;
  if (k > c.npar || k < 1) k = 1;
  while (int(due.size()) < n) {
    if (is_adjustable(c.parameters[size_t(k)])) due.push_back(k);
    k = k + 1 > c.npar ? 1 : k + 1;
  }
  cyclic_position = due.back();
  return due;
}

int count_jacobian_runs(const toolbox_control& c, int switched, const std::vector<int>& due,
                        bool cyclic, int, int& count) {
  count = 0;
  for (int k : due) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    if (!cyclic && p.iw_flag) continue;
    count += runs_for(c, p, switched);
  }
  return 0;
}

void perturbed_points(const toolbox_parameter& prm, bool three, double& p1, double& p2) {
  const bool is_log = prm.partrans == "log";
  const double v = prm.value;
  const double x = is_log ? std::pow(10.0, v) : v;
  const double L = prm.lower, U = prm.upper;
  auto up = [&](double f) { return is_log ? lg(x + f * x) : v + f * std::fabs(v); };
  auto down = [&](double f) { return is_log ? lg(x - f * x) : v - f * std::fabs(v); };
  const bool tiny = is_log ? x < 1e-8 : v == 0.0;
  // 1 % and 2 % points either side. At zero (a log value below 1e-8) forward points fall back
  // to fixed values; backward points stay 1 % and 2 % below the value, so none leaves the box
  // upward, and a plain zero steps back to -0.01 and -0.02, never by zero.
  const double fwd1 = tiny ? (is_log ? lg(0.01) : 0.01) : up(0.01);
  const double fwd2 = tiny ? (is_log ? lg(0.02) : 0.02) : up(0.02);
  const double back1 = tiny && !is_log ? -0.01 : down(0.01);
  const double back2 = tiny && !is_log ? -0.02 : down(0.02);
  p1 = v;
  p2 = v;
  if (!three) {
    if (prm.at_upper) {
      p1 = back1;
      if (L > p1) p1 = L;
    } else {
      p1 = fwd1;
      if (p1 > U) p1 = back1;
    }
  } else if (prm.at_upper) {
    p1 = back1;
    p2 = back2;
  } else if (prm.at_lower) {
    p1 = fwd1;
    p2 = fwd2;
  } else {
    p1 = fwd1;
    p2 = back1;
    if (p1 > U) {
      p1 = back1;
      p2 = back2;
    }
    if (L > p2) {
      p2 = fwd1;
      p1 = fwd2;
    }
  }
}

int calc_jacobian(toolbox_control& c, const std::vector<int>& adj,
                  const toolbox_output_names& names, matrix_cal& j, int& model_calls,
                  int switched, toolbox_file_handles&, toolbox_file_handles& instructions,
                  int iteration, int& cyclic_position, char** argv) {
  bool cyclic = false;
  const std::vector<int> due_list = due_parameters(c, iteration, cyclic_position, cyclic);
  int count = 0;
  count_jacobian_runs(c, switched, due_list, cyclic, iteration, count);
  std::printf("Calculating Jacobian matrix: running model %d times ...\n", count);
  if (count == 0) return 0;
  std::vector<char> due(size_t(c.npar) + 1, 0);
  for (int k : due_list) due[size_t(k)] = 1;
  // Columns of "iw_" parameters carry no observation sensitivity.
  for (size_t col = 1; col < adj.size(); ++col)
    if (c.parameters[size_t(adj[col])].iw_flag)
      for (int i = 1; i <= c.nobs; ++i) j[i][int(col)] = 0.0;
  int runs = 0;
  int status = 0;
  for (int k = 1; k <= c.npar && status == 0; ++k) {
    toolbox_parameter& prm = c.parameters[size_t(k)];
    if (!due[size_t(k)] || !is_adjustable(prm) || prm.iw_flag) continue;
    const toolbox_parameter_group* g = group_of(c, prm);
    const std::string forcen = g ? g->forcen : "";
    const std::string method = g ? g->dermthd : "";
    bool three = false;
    if (forcen == "always_2" || (forcen == "switch" && !switched)) {
      three = false;
    } else if (forcen == "always_3" || (forcen == "switch" && switched)) {
      three = true;
      if (method == "best_fit") {
        std::printf("\n");
        std::printf("The toolbox does not support the 'best_fit' method\n");
        std::printf("of three point derivatives calculation.\n\n");
        std::printf("The toolbox does support the 'outside_pts' and\n");
        std::printf("'parabolic' methods of three point derivatives calculation.\n\n");
        std::printf("If you are using three point derivatives calculation,\n");
        std::printf("please alter DERMTHD in the control file accordingly.\n");
        status = 1;
        break;
      }
      if (method != "outside_pts" && method != "parabolic") continue;
    } else {
      continue;
    }
    for (int q = 1; q <= c.npar; ++q) {
      c.parameters[size_t(q)].perturbed_1 = c.parameters[size_t(q)].value;
      if (three) c.parameters[size_t(q)].perturbed_2 = c.parameters[size_t(q)].value;
    }
    double p1 = prm.value, p2 = prm.value;
    perturbed_points(prm, three, p1, p2);
    const bool is_log = prm.partrans == "log";
    const double v = prm.value;
    prm.perturbed_1 = p1;
    if (three) prm.perturbed_2 = p2;
    for (int q = 1; q <= c.npar; ++q) {
      toolbox_parameter& child = c.parameters[size_t(q)];
      if (child.partrans != "tied" || child.tied_parent != prm.name) continue;
      child.perturbed_1 = child.tied_ratio * (is_log ? std::pow(10.0, p1) : p1);
      if (three) child.perturbed_2 = child.tied_ratio * (is_log ? std::pow(10.0, p2) : p2);
    }
    run_toolbox_model(c, value_field::perturbed_1, 1, names, instructions, argv, model_calls);
    progress(++runs);
    if (three) {
      run_toolbox_model(c, value_field::perturbed_2, 2, names, instructions, argv, model_calls);
      progress(++runs);
    }
    int col = 0;
    for (size_t a = 1; a < adj.size(); ++a)
      if (adj[a] == k) col = int(a);
    for (int i = 1; i <= c.nobs; ++i) {
      const double* s = c.observations[size_t(i)].simulated;
      if (!three) {
        j[i][col] = (s[1] - s[0]) / (p1 - v);
      } else if (method == "outside_pts") {
        j[i][col] = (s[1] - s[2]) / (p1 - p2);
      } else {
        matrix_cal a(1, 3, 1, 3), b(1, 3, 1, 1), sol(1, 3, 1, 1);
        const double pts[3] = {p2, v, p1};
        const double ys[3] = {s[2], s[0], s[1]};
        for (int r = 0; r < 3; ++r) {
          a[r + 1][1] = pts[r] * pts[r];
          a[r + 1][2] = pts[r];
          a[r + 1][3] = 1.0;
          b[r + 1][1] = ys[r];
        }
        solve3_lu(a, 3, b, 1, sol);
        j[i][col] = 2.0 * sol[1][1] * v + sol[2][1];
      }
    }
  }
  std::printf("\n\n");
  return status;
}

int check_parameter_effect(toolbox_control& c, const matrix_cal& j, const matrix_cal& p,
                           std::FILE* record) {
  int col = 0;
  for (int k = 1; k <= c.npar; ++k) {
    toolbox_parameter& prm = c.parameters[size_t(k)];
    if (!is_adjustable(prm)) continue;
    ++col;
    double s = 0.0;
    int n = 0;
    for (int i = 1; i <= c.nobs; ++i) {
      const double w = c.observations[size_t(i)].weight;
      if (!(w > 0.0)) continue;
      s += (w * j[i][col]) * (w * j[i][col]);
      ++n;
    }
    for (int q = 1; q <= c.nprior; ++q) {
      const double w = c.prior[size_t(q)].weight;
      if (!(w > 0.0)) continue;
      double term = 0.0;
      if (c.pestmode == "estimation")
        term = w * j[c.nobs + q][col];
      else if (regularisation_mode(c))
        term = p[q][col] * c.weight_factor * w;
      else
        continue;
      s += term * term;
      ++n;
    }
    // No weighted row sees the parameter: it has no effect as far as the estimation can tell.
    prm.sensitivity = n > 0 ? std::sqrt(s) / n : 0.0;
    if (std::fabs(prm.sensitivity) < 1e-8) {
      prm.no_effect = 1;
      ++c.no_effect_count;
      std::printf("   Parameter \"%s\" has no effect on observations.\n", prm.name.c_str());
      if (record)
        std::fprintf(record, "   Parameter \"%s\" has no effect on observations.\n",
                     prm.name.c_str());
    }
  }
  return 0;
}

}  // namespace pluvo::toolbox
