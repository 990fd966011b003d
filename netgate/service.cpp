#include "netgate/service.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "appc/log.h"
#include "platform/run_flag.h"

service_command service_start(const char* log_file, const char* usage_line, int argc,
                              char** argv) {
  std::FILE* log = std::fopen(log_file, "a+");
  if (log == nullptr) {
    const int reason = errno;
    std::fprintf(stderr, "Cannot open the log file %s: %s\n", log_file, std::strerror(reason));
    std::exit(1);
  }
  log_attach(log, log_file);
  run_flag_install();
  log_timestamp();
  if (argc < 2) {
    log_write("%s", usage_line);
    log_flush();
    std::exit(1);
  }
  return {argv[1], argc > 2 ? argv[2] : "APPC"};
}

void service_shutdown_send(net_socket socket, const char* failure_format) {
  if (net_shutdown_send(socket) != 0) {
    log_write(failure_format, net_last_error());
    log_flush();
  }
}
