// What the two gateway services share around their main loops: the start of the process
// (log file, usage line, command line, run flag) and the closing lines of a TCP socket.
#pragma once

#include "platform/net.h"

// The ini file and section named on the command line.
struct service_command {
  const char* ini_file;
  const char* section;  // the second argument, any length, or "APPC"
};

// Opens log_file in the current directory for appending (mode "a+") and makes it the log
// stream; sets the run flag; writes a timestamp line. Without an ini file on the command line
// it writes usage_line to the log and ends the process with exit code 1. A log file that
// cannot be opened ends the process with exit code 1 after a line on standard error naming
// the file and the system's reason.
service_command service_start(const char* log_file, const char* usage_line, int argc,
                              char** argv);

// Shuts down the sending direction of socket; when that fails, writes failure_format with the
// last socket error to the log.
void service_shutdown_send(net_socket socket, const char* failure_format);
