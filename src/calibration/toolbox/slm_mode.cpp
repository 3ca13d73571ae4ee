// The -slm mode: one local estimation driven by a control file.
#include <cstdio>

#include "calibration/calibration_modes.hpp"
#include "calibration/toolbox/record_files.hpp"
#include "calibration/toolbox/session.hpp"
#include "calibration/toolbox/slm_mode.hpp"

namespace pluvo {

using namespace toolbox;

int toolbox::run_slm_mode(int argc, char** argv, toolbox_control& c) {
  if (argc <= 1) {
    std::printf("\n");
    std::printf("No command line arguments.\n");
    std::printf("At the command prompt, please also enter the name\n");
    std::printf("of the input control file following the program name, slm_vyn.\n");
    return 1;
  }
  std::printf("\nUsing the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in PLUVO, to calibrate the current PLUVO model.\n");
  if (int status = check_toolbox_arguments(argc, argv, "-slm")) return status;
  static const char* const prediction[] = {
      "\n",
      "Currently, slm_vyn does not support prediction capabilities similar to that within the "
      "PEST.\n",
      "Please change the MODE parameter in the control\n",
      "file to 'estimation' or 'regularization' and recommence execution of slm_vyn.\n",
      "\n",
      nullptr};
  toolbox_session s;
  int status = open_toolbox_session(argc, argv, c, s, prediction);
  if (status == 0) {
    write_record_header(argv, c, s.files.rec);
    if (c.pestmode == "estimation")
      status = lm_optimise(argc, argv, c, s.names, s.files, s.templates, s.instructions);
  }
  close_toolbox_session(c, s);
  return status;
}

int slm_vyn_main(int argc, char** argv) {
  toolbox_control c;
  return run_slm_mode(argc, argv, c);
}

}  // namespace pluvo
