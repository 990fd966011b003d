// Under wine a Windows program can start a Linux program directly; the node's files live in
// the Linux /tmp, which the Windows side reaches as drive Z:.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/appc_client_testnode.h"

namespace {

constexpr int start_limit_ms = 20000;
constexpr int stop_limit_ms = 10000;
constexpr int poll_interval_ms = 20;

std::string windows_path(const std::string& linux_path) {
  std::string path = "Z:" + linux_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool run_linux(std::string command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Running, and not a zombie waiting for wine to reap it.
bool process_alive(long pid) {
  std::ifstream file(windows_path("/proc/" + std::to_string(pid) + "/stat"));
  std::string stat;
  if (!std::getline(file, stat)) return false;
  std::size_t name_end = stat.rfind(')');
  return name_end != std::string::npos && name_end + 2 < stat.size() && stat[name_end + 2] != 'Z';
}

}  // namespace

test_node::~test_node() {
  if (pid_ > 0) stop();
  if (!directory_.empty()) {
    DeleteFileA(windows_path(directory_ + "/node.ini").c_str());
    DeleteFileA(windows_path(directory_ + "/endpoint").c_str());
    RemoveDirectoryA(windows_path(directory_).c_str());
  }
}

bool test_node::start(const std::string& program_path, const std::string& configuration) {
  directory_ = "/tmp/appcnode_wintest_" + std::to_string(GetCurrentProcessId()) + "_" +
               std::to_string(GetTickCount());
  if (!CreateDirectoryA(windows_path(directory_).c_str(), nullptr)) return false;
  std::string config_path = directory_ + "/node.ini";
  std::string endpoint_path = directory_ + "/endpoint";
  std::ofstream(windows_path(config_path)) << configuration;
  if (!run_linux(program_path + " --config " + config_path + " --listen 127.0.0.1:0" +
                 " --endpoint-file " + endpoint_path)) {
    return false;
  }
  for (int waited = 0; waited < start_limit_ms; waited += poll_interval_ms) {
    std::ifstream file(windows_path(endpoint_path));
    if (file >> endpoint_ >> pid_) {
      std::string setting = "APPCNODE_ENDPOINT=" + endpoint_;
      _putenv(setting.c_str());
      return true;
    }
    Sleep(poll_interval_ms);
  }
  return false;
}

int test_node::stop() {
  if (pid_ <= 0) return -1;
  long pid = pid_;
  pid_ = -1;
  if (!run_linux("/bin/kill -TERM " + std::to_string(pid))) return -1;
  for (int waited = 0; waited < stop_limit_ms; waited += poll_interval_ms) {
    // Its exit code is not visible from here; a node that ends in time stopped cleanly.
    if (!process_alive(pid)) return 0;
    Sleep(poll_interval_ms);
  }
  run_linux("/bin/kill -KILL " + std::to_string(pid));
  return -1;
}

void test_node::crash() {
  if (pid_ <= 0) return;
  long pid = pid_;
  pid_ = -1;
  run_linux("/bin/kill -KILL " + std::to_string(pid));
  for (int waited = 0; waited < stop_limit_ms && process_alive(pid); waited += poll_interval_ms) {
    Sleep(poll_interval_ms);
  }
}

std::string test_node::log_text() const { return ""; }

bool test_node::start_program(const std::string& path, const std::string& arguments) {
  return run_linux(path + " " + arguments);
}
