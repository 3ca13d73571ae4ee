#pragma once
// An estimation case in the scratch directory: the strip project as the model run, a post-model
// command (an awk program over "values.in") that writes the observations to out.txt, and the
// control, template and instruction files around them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "calibration/calibration_modes.hpp"
#include "calibration/toolbox/slm_mode.hpp"
#include "common/printed.hpp"
#include "run/driver.hpp"
#include "run/entry.hpp"
#include "run/whole_project.hpp"

namespace pluvo_test {

struct estimation_case {
  // Parameter lines of the control file ("name trans ... group scale offset dercom").
  std::vector<std::string> parameters;
  // The awk expression of y for x (parameters p1, p2, ... in file order).
  std::string model;
  std::vector<double> x;
  std::vector<double> y;
  int noptmax = 10;
  int method = 0;
  int cyclic_columns = 1;
  std::string forcen = "always_2";
  std::string dermthd = "parabolic";
  std::string rstfle = "restart";
  int stop_at_run = 0;  // > 0: the command asks the toolbox to stop at that model run
  // PHIREDSTP NPHISTP NPHINORED RELPARSTP NRELPAR
  std::string stopping = "0.005 3 3 0.001 3";
  double repulsion = 0.5;  // normalised distance of trajectory repulsion
};

// y1 = p1^2 - 1, y2 = p2 - p1 / 2 and y3 = 0.3 (p1 - 1), all observed as 0: the global minimum
// is at (1, 0.5) with objective 0, a local one near p1 = -1 with about 0.36.
inline estimation_case two_minima() {
  estimation_case e;
  e.parameters = {"p1 none factor 0.0 -2.0 2.0 g 1.0 0.0 1", "p2 none factor 0.0 -2.0 2.0 g 1.0 0.0 1"};
  e.model = "(x == 1 ? p1 * p1 - 1 : (x == 2 ? p2 - 0.5 * p1 : 0.3 * (p1 - 1)))";
  e.x = {1, 2, 3};
  e.y = {0, 0, 0};
  e.noptmax = 10;
  e.repulsion = 0.02;
  return e;
}

inline void write_estimation_case(const estimation_case& e) {
  write_strip_grid();
  // The model run itself is the shortest the strip allows: the command makes the numbers.
  std::string cards = strip_cards();
  cards.replace(cards.find("TOT_TIME 30"), 11, "TOT_TIME 1");
  write_file("w.prj", "PLUVOPROJECT\n" + cards);
  const size_t np = e.parameters.size(), no = e.x.size();
  std::string script = "#!/bin/sh\necho run >> runs.txt\n";
  if (e.stop_at_run > 0)
    script += "if [ \"$(wc -l < runs.txt)\" -eq " + std::to_string(e.stop_at_run) +
              " ]; then echo 1 > pest.stp; fi\n";
  script += "awk 'NR == 1 {";
  for (size_t k = 0; k < np; ++k) script += " p" + std::to_string(k + 1) + " = $" + std::to_string(k + 1) + ";";
  for (size_t i = 0; i < no; ++i) {
    char x[64];
    std::snprintf(x, sizeof x, "%.17g", e.x[i]);
    script += " x = " + std::string(x) + "; printf \"%.17e\\n\", " + e.model + ";";
  }
  script += " }' values.in > out.txt\n";
  write_file("model.sh", script);
  std::filesystem::permissions("model.sh", std::filesystem::perms::owner_all);
  std::string control = "pcf\n* control data\n" + e.rstfle + " estimation\n";
  control += std::to_string(np) + " " + std::to_string(no) + " 1 0 1\n1 1 single point 1 0 0\n";
  control += "5.0 2.0 0.3 0.03 10\n3.0 3.0 0.001 0\n0.1 noaptmax\n";
  control += std::to_string(e.noptmax) + " " + e.stopping + "\n1 1 1\n";
  char repulsion[32];
  std::snprintf(repulsion, sizeof repulsion, "%.17g", e.repulsion);
  control += std::to_string(e.method) + " 0 0.9 " + std::to_string(e.cyclic_columns) + " " +
             repulsion + " w.prj\n";
  control += "* parameter groups\ng relative 0.01 0.0 " + e.forcen + " 2.0 " + e.dermthd + "\n";
  control += "* parameter data\n";
  for (const std::string& p : e.parameters) control += p + "\n";
  control += "* observation groups\nobs\n* observation data\n";
  std::string instructions = "pif #\n";
  for (size_t i = 0; i < no; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "y%zu %.17g 1.0 obs\n", i + 1, e.y[i]);
    control += line;
    instructions += "l1 !y" + std::to_string(i + 1) + "!\n";
  }
  control += "* model command line\ntrue ./model.sh\n* model input/output\nm.tpl m.in\nm.ins out.txt\n";
  write_file("case.pst", control);
  std::string tpl = "ptf $\n";
  for (const std::string& p : e.parameters) tpl += "$" + p.substr(0, p.find(' ')) + "$\n";
  write_file("m.tpl", tpl);
  write_file("m.ins", instructions);
  std::remove("runs.txt");
}

struct estimation_result {
  pluvo::toolbox::toolbox_control control;
  int status = -1;
  std::string out;
  std::string rec;
  int runs = 0;  // model runs made, as the command counted them
};

// The -slm mode in this process, with the control record kept for the estimates.
inline estimation_result estimate(bool restart = false) {
  estimation_result r;
  pluvo::set_model_run_function(pluvo::run_pluvo);
  char program[] = "pluvo", mode[] = "-slm", name[] = "case.pst", again[] = "/r";
  char* argv[] = {program, mode, name, again, nullptr};
  r.out = pluvo::printed_by(
      [&] { r.status = pluvo::toolbox::run_slm_mode(restart ? 4 : 3, argv, r.control); });
  r.rec = read_file("case.rec");
  const std::string runs = read_file("runs.txt");
  for (char ch : runs) r.runs += ch == '\n';
  return r;
}

}  // namespace pluvo_test
