#include "platform/run_flag.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t run_flag = 0;

extern "C" void clear_on_signal(int) { run_flag = 0; }

}  // namespace

void run_flag_install() {
  run_flag = 1;
  struct sigaction action {};
  action.sa_handler = clear_on_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking call returns with EINTR and its caller looks at the flag.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A peer that vanishes must show as a failed send, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
}

bool run_flag_is_set() { return run_flag != 0; }

void run_flag_clear() { run_flag = 0; }
