#include "common/process.hpp"

#include <omp.h>

#include <unistd.h>

#include <cstdlib>

namespace pluvo {


// Read, never forced: the OpenMP runtime has taken OMP_NUM_THREADS when it is set, and the
// processor count otherwise, before any of this program's code runs.
int thread_count = omp_get_max_threads();
int process_index = 0;
int parallel_run_count = 1;
bool web_mode = false;
int run_index = 0;
int run_number = 0;
int run_number_prefix_on = 0;
bool quiet_console = false;
row_decomposition_record row_decomposition;

void set_thread_count(int n) {
  if (n < 1) return;
  thread_count = n;
  omp_set_num_threads(n);
}

// The OpenMP runtime reads its environment once, as the process starts, so the program starts
// itself again with the policy in its environment.
void restart_with_passive_wait(char** argv) {
  if (std::getenv("OMP_WAIT_POLICY") || !argv || !argv[0]) return;
  if (setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;
  execv("/proc/self/exe", argv);
  unsetenv("OMP_WAIT_POLICY");  // not restarted: the run goes on under the runtime's default
}

}  // namespace pluvo
