#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/appc_client_testnode.h"

namespace {

constexpr auto start_limit = std::chrono::seconds(10);
constexpr auto stop_limit = std::chrono::seconds(10);
constexpr auto poll_interval = std::chrono::milliseconds(10);

}  // namespace

test_node::~test_node() {
  if (pid_ > 0) stop();
  for (long program : programs_) {
    kill(static_cast<pid_t>(program), SIGKILL);
    waitpid(static_cast<pid_t>(program), nullptr, 0);
  }
  if (!directory_.empty()) {
    std::remove((directory_ + "/node.ini").c_str());
    std::remove((directory_ + "/endpoint").c_str());
    std::remove((directory_ + "/node.log").c_str());
    rmdir(directory_.c_str());
  }
}

bool test_node::start(const std::string& program_path, const std::string& configuration) {
  char pattern[] = "/tmp/appcnode_test_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  directory_ = pattern;
  std::string config_path = directory_ + "/node.ini";
  std::string endpoint_path = directory_ + "/endpoint";
  std::string log_path = directory_ + "/node.log";
  std::ofstream(config_path) << configuration;
  pid_t pid = fork();
  if (pid == 0) {
    std::FILE* log = std::freopen(log_path.c_str(), "w", stderr);
    (void)log;
    execl(program_path.c_str(), program_path.c_str(), "--config", config_path.c_str(), "--listen",
          "127.0.0.1:0", "--endpoint-file", endpoint_path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return false;
  pid_ = pid;
  auto deadline = std::chrono::steady_clock::now() + start_limit;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream file(endpoint_path);
    if (file >> endpoint_) {
      setenv("APPCNODE_ENDPOINT", endpoint_.c_str(), 1);
      return true;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(poll_interval);
  }
  return false;
}

int test_node::stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + stop_limit;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(poll_interval);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void test_node::crash() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string test_node::log_text() const {
  std::ifstream file(directory_ + "/node.log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool test_node::start_program(const std::string& path, const std::string& arguments) {
  std::string command_line = path + " " + arguments;
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command_line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return false;
  programs_.push_back(pid);
  return true;
}
