// The -slm mode: one local estimation driven by a control file.
#include <cstdio>
#include <cstring>

#include "calibration/calibration_modes.hpp"
#include "calibration/toolbox/lm_engine.hpp"
#include "calibration/toolbox/record_files.hpp"
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
  if (argc < 3 || !argv[2] || !*argv[2]) {
    std::printf("Error: no control file was named after -slm\n");
    return 1;
  }
  if (argc > 3 && std::strcmp(argv[3], "/r") != 0) {
    std::printf("Error: %s after the control file is not known; \"/r\" continues an estimation "
                "from its restart file\n",
                argv[3]);
    return 1;
  }
  toolbox_file_handles templates{}, instructions{};
  templates.fill(nullptr);
  instructions.fill(nullptr);
  toolbox_files files;
  auto close_all = [&] {
    close_template_files(c, templates);
    close_instruction_files(c, instructions);
    for (std::FILE* f : {files.rec, files.sen, files.mtt, files.par})
      if (f) std::fclose(f);
    files = toolbox_files();
  };
  int status = read_control_file(c, argc, argv);
  if (status == 0) status = open_template_files(c, templates);
  if (status == 0) status = check_template_files(c, templates);
  if (status == 0) status = open_instruction_files(c, instructions);
  if (status != 0) {
    close_all();
    return status;
  }
  std::remove("pest.stp");
  if (c.pestmode == "prediction") {
    std::printf("\n");
    std::printf("Currently, slm_vyn does not support prediction capabilities similar to that "
                "within the PEST.\n");
    std::printf("Please change the MODE parameter in the control\n");
    std::printf("file to 'estimation' or 'regularization' and recommence execution of slm_vyn.\n");
    std::printf("\n");
    close_all();
    return 1;
  }
  count_parameter_kinds(c);
  if (c.adjustable_count == 0) {
    std::printf("\n\nThe number of adjustable model parameters is zero. \n");
    std::printf("Modify the input control file and try again. \n\n\n");
    close_all();
    return 1;
  }
  int outside = 0;
  for (int k = 1; k <= c.npar; ++k) {
    const toolbox_parameter& p = c.parameters[size_t(k)];
    if (p.lower > p.value || p.value > p.upper) {
      std::printf("\nThe intial value for the following parameter is outside of its specified "
                  "bounds: %s",
                  p.name.c_str());
      ++outside;
    }
  }
  if (outside) {
    std::printf("\nModify the input control file and try again.");
    close_all();
    return 1;
  }
  // Every iteration needs room for one lambda trial at least.
  if (c.numlam < 1) {
    std::printf("\nNUMLAM, the number of lambdas per iteration, is %d in the control file; it must "
                "be at least 1.\n",
                c.numlam);
    close_all();
    return 1;
  }
  set_tied_ratios(c);
  toolbox_output_names names;
  FilesNamesForWrite(argv, names);
  const bool restart = argc > 3 && argv[3] && std::strcmp(argv[3], "/r") == 0;
  files.rec = std::fopen(names.rec.c_str(), restart ? "a" : "w");
  files.sen = std::fopen(names.sen.c_str(), restart ? "a" : "w");
  files.mtt = std::fopen(names.mtt.c_str(), "w");
  files.par = std::fopen(names.par.c_str(), "w");
  if (!files.rec || !files.sen || !files.mtt || !files.par) {
    std::printf("Error: cannot create the output files of case %s\n", names.case_name.c_str());
    close_all();
    return 1;
  }
  write_record_header(argv, c, files.rec);
  if (c.pestmode == "estimation")
    status = lm_optimise(argc, argv, c, names, files, templates, instructions);
  close_all();
  return status;
}

int slm_vyn_main(int argc, char** argv) {
  toolbox_control c;
  return run_slm_mode(argc, argv, c);
}

}  // namespace pluvo
