#include "bench/soak_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#include "netgate/frame.h"

extern char** environ;

soak_directory::soak_directory() {
  char name[] = "/tmp/soak-bench-XXXXXX";
  if (mkdtemp(name) != nullptr) path_ = name;
}

soak_directory::~soak_directory() {
  std::error_code error;
  if (!path_.empty()) std::filesystem::remove_all(path_, error);
  if (error) std::fprintf(stderr, "%s not removed: %s\n", path_.c_str(), error.message().c_str());
}

void soak_directory::write(const std::string& name, const std::string& text) const {
  std::ofstream(file(name)) << text;
}

pid_t soak_spawn(const std::vector<std::string>& arguments, const std::string& directory,
                 int input, int output) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  if (input >= 0) {
    posix_spawn_file_actions_adddup2(&actions, input, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (output >= 0) {
    posix_spawn_file_actions_adddup2(&actions, output, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int soak_wait(pid_t pid, int seconds) {
  if (pid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int soak_stop(pid_t pid, int seconds) {
  if (pid <= 0) return -1;
  kill(pid, SIGTERM);
  return soak_wait(pid, seconds);
}

std::string soak_free_port() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  close(probe);
  return std::to_string(ntohs(address.sin_port));
}

bool soak_wait_for_listener(const std::string& port) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    const net_socket probe = net_connect_to("127.0.0.1", port.c_str());
    if (probe != net_invalid_socket) {
      net_close(probe);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fprintf(stderr, "nothing listens on port %s\n", port.c_str());
  return false;
}

bool soak_wait_for_text(const std::string& path, const std::string& text) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    std::ifstream file(path);
    const std::string content((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
    if (content.find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fprintf(stderr, "%s never showed %s", path.c_str(), text.c_str());
  return false;
}

long soak_rss_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

rss_table::rss_table(std::string counted, std::string first_name, pid_t first,
                     std::string second_name, pid_t second)
    : counted_(std::move(counted)),
      first_name_(std::move(first_name)),
      second_name_(std::move(second_name)),
      first_(first),
      second_(second) {}

void rss_table::sample(long count) {
  rows_.push_back({count, soak_rss_kib(first_), soak_rss_kib(second_)});
}

bool rss_table::report(long limit_kib) const {
  std::printf("%12s %16s %16s\n", counted_.c_str(), (first_name_ + " KiB").c_str(),
              (second_name_ + " KiB").c_str());
  for (const row& r : rows_) std::printf("%12ld %16ld %16ld\n", r.count, r.first_kib, r.second_kib);
  if (rows_.size() < 3) {
    std::printf("too few samples for a growth after warm-up\n");
    return false;
  }
  // rows_[0] is the start, rows_[1] the end of the warm-up.
  bool flat = true;
  for (int which = 0; which < 2; ++which) {
    long low = -1, high = -1;
    for (std::size_t i = 1; i < rows_.size(); ++i) {
      const long kib = which == 0 ? rows_[i].first_kib : rows_[i].second_kib;
      if (kib < 0) flat = false;
      if (low < 0 || kib < low) low = kib;
      if (kib > high) high = kib;
    }
    const long first = which == 0 ? rows_[1].first_kib : rows_[1].second_kib;
    const long last = which == 0 ? rows_.back().first_kib : rows_.back().second_kib;
    std::printf("%s after warm-up (%ld %s): growth %ld KiB, spread %ld KiB "
                "(target at most %ld)\n",
                (which == 0 ? first_name_ : second_name_).c_str(), rows_[1].count, counted_.c_str(),
                last - first, high - low, limit_kib);
    if (high - low > limit_kib) flat = false;
  }
  return flat;
}

pid_t soak_start_node(const std::string& node_path, const soak_directory& directory,
                      const std::string& local_tps, const std::string& host_tps,
                      const std::string& sections) {
  const std::string port = soak_free_port();
  const std::string endpoint = "127.0.0.1:" + port;
  setenv("APPCNODE_ENDPOINT", endpoint.c_str(), 1);
  directory.write("appcnode.ini",
                  "[NODE]\nLISTEN=" + endpoint +
                      "\nLOCAL_LUS=LOCALLU\nPARTNER_LUS=HOSTLU\nMODES=#INTER\nLOCAL_TPS=" +
                      local_tps + "\nHOST_TPS=" + host_tps + "\nATTACH_TIMEOUT=300\n\n" + sections);
  const pid_t node = soak_spawn({node_path, "--config", directory.file("appcnode.ini")},
                                directory.path());
  if (node > 0 && soak_wait_for_listener(port)) return node;
  soak_stop(node, 5);
  return -1;
}

soak_echo_gateway soak_start_echo_gateway(const std::string& node_path,
                                          const std::string& netgate_path,
                                          const soak_directory& directory,
                                          const std::string& gateway_port) {
  directory.write("netgate.ini",
                  "[APPC]\nPORT=" + gateway_port +
                      "\nLOCAL_LU=LOCALLU\nLOCAL_TP=NETGATE\nREMOTE_LU=HOSTLU\nREMOTE_TP=ECHOTP\n"
                      "MODE_NAME=#INTER\nEBCDIC=1\nPACK1=0\nPACK1_SIZE=0\nPACK2=0\nPACK2_SIZE=0\n"
                      "PACK3=0\nPACK3_SIZE=0\n");
  const pid_t node =
      soak_start_node(node_path, directory, "NETGATE", "ECHOTP", "[TP ECHOTP]\nKIND=echo\n");
  const pid_t netgate = soak_spawn({netgate_path, directory.file("netgate.ini")}, directory.path());
  return {node, netgate};
}

namespace {

constexpr int digits = 6;
constexpr long index_limit = 1000000;
constexpr int filler_minimum = 8;
constexpr int filler_spread = 64;

std::string filler(long index) {
  std::string text;
  const long length = filler_minimum + index % filler_spread;
  for (long i = 0; i < length; ++i) text += static_cast<char>(' ' + (index * 7 + i * 13) % 95);
  return text;
}

}  // namespace

std::string soak_message(const std::string& tag, long index) {
  std::string number = std::to_string(index % index_limit);
  number.insert(0, digits - number.size(), '0');
  return tag + number + " " + filler(index);
}

long soak_message_index(const std::string& tag, const std::string& text) {
  if (text.size() < tag.size() + digits || text.compare(0, tag.size(), tag) != 0) return -1;
  long index = 0;
  for (std::size_t i = tag.size(); i < tag.size() + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    index = index * 10 + (text[i] - '0');
  }
  return text == soak_message(tag, index) ? index : -1;
}

std::string soak_server_reply(const std::string& request) { return "ANSWER " + request; }

bool soak_send_frame(net_socket socket, const std::string& body) {
  unsigned char prefix[4];
  const auto length = static_cast<std::int32_t>(body.size());
  length_to_net(length, prefix);
  return tcp_send_all(socket, prefix, 4) == 4 &&
         tcp_send_all(socket, body.data(), length) == length;
}

bool soak_receive_frame(net_socket socket, std::string& body) {
  unsigned char prefix[4];
  if (tcp_recv_all(socket, prefix, 4) != 4) return false;
  const std::int32_t length = length_from_net(prefix);
  if (length < 0 || length > message_buffer_size) return false;
  body.assign(static_cast<std::size_t>(length), '\0');
  return length == 0 || tcp_recv_all(socket, body.data(), length) == length;
}

void soak_close(net_socket socket) {
  net_shutdown_send(socket);
  net_close(socket);
}

std::vector<std::string> soak_log_fields(const std::string& path, const std::string& label) {
  const std::string start = label + ": [";
  std::vector<std::string> fields;
  std::ifstream log(path);
  std::string line;
  while (std::getline(log, line)) {
    if (line.rfind(start, 0) != 0) continue;
    const std::size_t end = line.rfind(']');
    fields.push_back(end != std::string::npos && end >= start.size()
                         ? line.substr(start.size(), end - start.size())
                         : line.substr(start.size()));
  }
  return fields;
}

long soak_count_in_order(const std::vector<std::string>& fields, std::size_t& position,
                         const std::string& lead, const std::string& tag,
                         const std::vector<long>& numbers) {
  long matched = 0;
  for (long number : numbers) {
    if (position >= fields.size() || fields[position] != lead + soak_message(tag, number)) break;
    ++position;
    ++matched;
  }
  return matched;
}

std::vector<long> soak_numbers(long count) {
  std::vector<long> numbers;
  for (long i = 0; i < count; ++i) numbers.push_back(i);
  return numbers;
}
