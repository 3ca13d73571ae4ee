#include "common/process.hpp"

#include <omp.h>

namespace pluvo {

namespace {
int processor_count() {
  int n = omp_get_num_procs();
  return n > 0 ? n : 1;
}
// Runs before main: the loops get every processor unless a project says otherwise.
int start_thread_count() {
  int n = processor_count();
  omp_set_num_threads(n);
  return n;
}
}  // namespace

int thread_count = start_thread_count();
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

}  // namespace pluvo
