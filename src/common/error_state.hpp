#pragma once
// The process-wide error record and the numbered reporter.
#include <cstdint>
#include <string>

namespace pluvo {

struct checked_file;

struct error_state_record {
  int32_t error_code = 0;       // 0: none; 4000: stop, message already printed; 301: warning already printed
  int32_t error_terminate = 0;  // the run must end
  int32_t error_fatal = 0;      // 200 and 300 only: keep the code, print the termination line
  int32_t error_arg1 = 0;
  int32_t error_arg2 = 0;
  std::string error_file_kind;  // at most 59 characters
  std::string error_file_name;
};

extern error_state_record error_state;
extern checked_file* error_log_file;  // the run summary once it is open
extern bool pause_on_exit;            // card PAUSE
// Set when any run of the process stopped on a reported error: the exit status says so.
extern bool run_stopped_on_error;

// Stores a code with its stop flag, the usual way a phase reports a failure.
void set_error(int32_t code, const std::string& kind = std::string(),
               const std::string& name = std::string());

// The way a run stops with a message: prints it (a constant printf format) on the console and
// in the log (the run summary once it is open), sets code 4000 and reports it, all as one
// whole: safe from the workers of a parallel loop.
void stop_run(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reports the code held in error_state and updates its flags.
void report_error(error_state_record& state);

// The text of a numbered message as report_error prints it, or "" when the code has none.
std::string error_message_text(const error_state_record& state);

// On a fatal report with PAUSE: waits for a key, only when standard input is a terminal.
void wait_for_key_on_exit();

}  // namespace pluvo
