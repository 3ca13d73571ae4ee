// Start-up checks and files shared by the toolbox modes.
#include "calibration/toolbox/session.hpp"

#include <cstdio>
#include <cstring>

namespace pluvo::toolbox {

void close_toolbox_session(toolbox_control& c, toolbox_session& s) {
  close_template_files(c, s.templates);
  close_instruction_files(c, s.instructions);
  for (std::FILE* f : {s.files.rec, s.files.sen, s.files.mtt, s.files.par})
    if (f) std::fclose(f);
  s.files = toolbox_files();
}

int check_toolbox_arguments(int argc, char** argv, const char* mode) {
  if (argc < 3 || !argv[2] || !*argv[2]) {
    std::printf("Error: no control file was named after %s\n", mode);
    return 1;
  }
  if (argc > 3 && std::strcmp(argv[3], "/r") != 0) {
    std::printf("Error: %s after the control file is not known; \"/r\" continues an estimation "
                "from its restart file\n",
                argv[3]);
    return 1;
  }
  return 0;
}

int open_toolbox_session(int argc, char** argv, toolbox_control& c, toolbox_session& s,
                         const char* const* prediction_lines) {
  s.templates.fill(nullptr);
  s.instructions.fill(nullptr);
  int status = read_control_file(c, argc, argv);
  if (status == 0) status = open_template_files(c, s.templates);
  if (status == 0) status = check_template_files(c, s.templates);
  if (status == 0) status = open_instruction_files(c, s.instructions);
  if (status != 0) return status;
  std::remove("pest.stp");
  if (c.pestmode == "prediction") {
    for (const char* const* line = prediction_lines; *line; ++line) std::fputs(*line, stdout);
    return 1;
  }
  count_parameter_kinds(c);
  if (c.adjustable_count == 0) {
    std::printf("\n\nThe number of adjustable model parameters is zero. \n");
    std::printf("Modify the input control file and try again. \n\n\n");
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
    return 1;
  }
  // Every iteration needs room for one lambda trial at least.
  if (c.numlam < 1) {
    std::printf("\nNUMLAM, the number of lambdas per iteration, is %d in the control file; it must "
                "be at least 1.\n",
                c.numlam);
    return 1;
  }
  set_tied_ratios(c);
  FilesNamesForWrite(argv, s.names);
  const bool restart = argc > 3 && argv[3] && std::strcmp(argv[3], "/r") == 0;
  s.files.rec = std::fopen(s.names.rec.c_str(), restart ? "a" : "w");
  s.files.sen = std::fopen(s.names.sen.c_str(), restart ? "a" : "w");
  s.files.mtt = std::fopen(s.names.mtt.c_str(), "w");
  s.files.par = std::fopen(s.names.par.c_str(), "w");
  if (!s.files.rec || !s.files.sen || !s.files.mtt || !s.files.par) {
    std::printf("Error: cannot create the output files of case %s\n", s.names.case_name.c_str());
    return 1;
  }
  return 0;
}

}  // namespace pluvo::toolbox
