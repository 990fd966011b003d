// Runs a host TP's command: /bin/sh -c COMMAND in a process group of its own, the message on
// its standard input, its standard output collected, the whole group killed when the time
// limit passes. Its standard error is the node's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <asio.hpp>

struct exec_result {
  bool completed = false;  // false: could not start, or killed at the time limit
  int exit_status = -1;    // the exit code when the command exited, else -1
  bool truncated = false;  // output beyond max_output was read and dropped
  std::vector<unsigned char> output;
  std::string failure;     // why completed is false
};

void exec_command(asio::io_context& io, const std::string& command,
                  std::vector<unsigned char> input, int time_limit_ms, std::size_t max_output,
                  std::function<void(exec_result)> done);
