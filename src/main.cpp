#include "common/error_state.hpp"
#include "common/process.hpp"
#include "run/entry.hpp"

int main(int argc, char** argv) {
  pluvo::restart_with_passive_wait(argv);
  pluvo::pluvo_main(argc, argv);
  // The shell learns of a run that stopped on a reported error.
  return pluvo::run_stopped_on_error ? 1 : 0;
}
