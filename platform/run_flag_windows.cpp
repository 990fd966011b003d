#include "platform/run_flag.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> run_flag{false};

BOOL WINAPI clear_on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      run_flag = false;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void run_flag_install() {
  run_flag = true;
  SetConsoleCtrlHandler(clear_on_console_event, TRUE);
}

bool run_flag_is_set() { return run_flag; }

void run_flag_clear() { run_flag = false; }
