// The process-wide run flag of the services: set at start, cleared when the process is asked
// to stop (SIGINT or SIGTERM; on Windows a console control event). Blocking calls of the
// platform layer (accept, the APPC verbs that wait) return when it is cleared.
#pragma once

// Sets the flag and installs the handlers that clear it.
void run_flag_install();
bool run_flag_is_set();
void run_flag_clear();
