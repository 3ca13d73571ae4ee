#pragma once
// Process-wide values that outlive a single run.
#include <cstdint>

namespace pluvo {

extern int thread_count;          // parallel-loop threads: NUM_THREADS, else OMP_NUM_THREADS, else processors
extern int process_index;         // index among cooperating calibration processes (always 0)
extern int parallel_run_count;    // number of cooperating calibration processes (always 1)
extern bool web_mode;             // program name contains "web"
extern int run_index;             // batch run index: selects the replacement value line
extern int run_number;            // run number of the "%04d_" output prefix
extern int run_number_prefix_on;  // switch for that prefix
extern bool quiet_console;        // SUPER_QUIET: never cleared for the rest of the process

// Splits the mask rows among cooperating processes; a run always holds every row.
struct row_decomposition_record {
  int32_t process_count = 1;
  int32_t this_process = 0;
};
extern row_decomposition_record row_decomposition;

// Sets the number of threads of the parallel loops for the rest of the process.
void set_thread_count(int n);

// Idle workers of a team sleep instead of spinning unless the user sets OMP_WAIT_POLICY:
// spinning workers take the cores from the threads that hold the work whenever the machine is
// busy (a 90,000-cell run: over 60 s against 4 s on 8 threads beside a CPU burner per core,
// bench/README.md). Starts the program again with the policy set, when it is not.
void restart_with_passive_wait(char** argv);

}  // namespace pluvo
