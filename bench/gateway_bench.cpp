// Gateway latency and memory, measured beside a framed TCP echo server in the same run.
//
// gateway_bench NODE NETGATE [REQUESTS]
//   Starts the APPC node (with an echo TP) and netgate in a temporary directory, on free
//   loopback ports, then sends REQUESTS
//   (default 2000) sequential framed requests, one connection each, to
//     - the peer: a framed echo server in this process, one connection per request;
//     - netgate, towards the node's echo TP;
//   and reports p50, p99 and requests per second of both and the ratio of the p50s. Then it
//   keeps sending to netgate and reports its resident set size after 1,000 and after 20,000
//   requests.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "netgate/frame.h"
#include "platform/net.h"

extern char** environ;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr char request_text[] = "0001DPRE CONSULTA SALDO CUENTA 0012345678 IMPORTE 000001500";

pid_t spawn(const std::vector<std::string>& arguments, const std::string& directory) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

// One framed request on a connection of its own; true when the reply echoes it.
bool framed_request(const char* port, const unsigned char* body, std::int32_t length,
                    message_buffer& reply) {
  const net_socket socket = net_connect_to("127.0.0.1", port);
  if (socket == net_invalid_socket) return false;
  unsigned char prefix[4];
  length_to_net(length, prefix);
  bool ok = tcp_send_all(socket, prefix, 4) == 4 && tcp_send_all(socket, body, length) == length &&
            tcp_recv_all(socket, prefix, 4) == 4;
  if (ok) {
    const std::int32_t reply_length = length_from_net(prefix);
    ok = reply_length == length && tcp_recv_all(socket, reply.data(), reply_length) == length &&
         std::memcmp(reply.data(), body, static_cast<std::size_t>(length)) == 0;
  }
  net_shutdown_send(socket);
  net_close(socket);
  return ok;
}

// The peer: a framed echo server, one connection per request, until stop_peer is set.
void echo_server(net_socket listener, const bool* stop_peer) {
  static message_buffer body;
  while (!*stop_peer) {
    const net_socket client = net_accept(listener);
    if (client == net_invalid_socket) continue;
    unsigned char prefix[4];
    if (tcp_recv_all(client, prefix, 4) == 4) {
      const std::int32_t length = length_from_net(prefix);
      if (length > 0 && length <= message_buffer_size &&
          tcp_recv_all(client, body.data(), length) == length) {
        tcp_send_all(client, prefix, 4);
        tcp_send_all(client, body.data(), length);
      }
    }
    net_shutdown_send(client);
    net_close(client);
  }
}

struct series {
  std::vector<double> micros;
  double seconds = 0;
};

bool measure(const char* port, int requests, series& result) {
  static message_buffer reply;
  const auto* body = reinterpret_cast<const unsigned char*>(request_text);
  const auto length = static_cast<std::int32_t>(std::strlen(request_text));
  result.micros.clear();
  const auto begin = clock_type::now();
  for (int i = 0; i < requests; ++i) {
    const auto start = clock_type::now();
    if (!framed_request(port, body, length, reply)) {
      std::fprintf(stderr, "request %d to port %s failed\n", i, port);
      return false;
    }
    result.micros.push_back(
        std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
  }
  result.seconds = std::chrono::duration<double>(clock_type::now() - begin).count();
  std::sort(result.micros.begin(), result.micros.end());
  return true;
}

double percentile(const series& s, double p) {
  const auto index = static_cast<std::size_t>(p * static_cast<double>(s.micros.size() - 1));
  return s.micros[index];
}

long rss_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// A loopback port the kernel has just handed out and that nobody holds now.
// Waits until something accepts connections on 127.0.0.1:port (at most 10 seconds).
bool wait_for_listener(const std::string& port) {
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

std::string free_port() {
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gateway_bench NODE NETGATE [REQUESTS]\n");
    return 2;
  }
  const int requests = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2000;
  // The programs start in the temporary directory: their paths must not be relative.
  const std::string node_path = std::filesystem::absolute(argv[1]).string();
  const std::string netgate_path = std::filesystem::absolute(argv[2]).string();
  net_startup();

  char directory_template[] = "/tmp/gateway-bench-XXXXXX";
  const std::string directory = mkdtemp(directory_template);
  const std::string gateway_port = free_port();
  const std::string peer_port = free_port();
  const std::string node_endpoint = "127.0.0.1:" + free_port();
  setenv("APPCNODE_ENDPOINT", node_endpoint.c_str(), 1);
  {
    std::ofstream conf(directory + "/appcnode.ini");
    conf << "[NODE]\nLISTEN=" << node_endpoint
         << "\nLOCAL_LUS=LOCALLU\nPARTNER_LUS=HOSTLU\nMODES=#INTER\nLOCAL_TPS=NETGATE\n"
            "HOST_TPS=ECHOTP\n\n[TP ECHOTP]\nKIND=echo\n";
  }
  {
    std::ofstream ini(directory + "/netgate.ini");
    ini << "[APPC]\nPORT=" << gateway_port
        << "\nLOCAL_LU=LOCALLU\nLOCAL_TP=NETGATE\nREMOTE_LU=HOSTLU\nREMOTE_TP=ECHOTP\n"
           "MODE_NAME=#INTER\nEBCDIC=1\nPACK1=0\nPACK1_SIZE=0\nPACK2=0\nPACK2_SIZE=0\n"
           "PACK3=0\nPACK3_SIZE=0\n";
  }

  const pid_t node = spawn({node_path, "--config", directory + "/appcnode.ini"}, directory);
  wait_for_listener(node_endpoint.substr(node_endpoint.find(':') + 1));
  const pid_t netgate = spawn({netgate_path, directory + "/netgate.ini"}, directory);
  wait_for_listener(gateway_port);

  net_address* address = nullptr;
  net_lookup("127.0.0.1", peer_port.c_str(), false, &address);
  const net_socket listener = net_open(address);
  net_bind(listener, address);
  net_free_address(address);
  net_listen(listener, 64);
  bool stop_peer = false;
  std::thread peer(echo_server, listener, &stop_peer);

  series peer_series, gateway_series;
  int exit_code = 1;
  if (measure(peer_port.c_str(), requests, peer_series) &&
      measure(gateway_port.c_str(), requests, gateway_series)) {
    const double peer_p50 = percentile(peer_series, 0.5);
    const double gateway_p50 = percentile(gateway_series, 0.5);
    std::printf("%-28s %10s %10s %12s\n", "", "p50 us", "p99 us", "requests/s");
    std::printf("%-28s %10.1f %10.1f %12.0f\n", "framed echo server (peer)", peer_p50,
                percentile(peer_series, 0.99), requests / peer_series.seconds);
    std::printf("%-28s %10.1f %10.1f %12.0f\n", "netgate -> node echo TP", gateway_p50,
                percentile(gateway_series, 0.99), requests / gateway_series.seconds);
    std::printf("p50 ratio netgate / peer: %.2f (target at most 2.5)\n", gateway_p50 / peer_p50);

    series memory_series;
    const int sent = requests;
    if (measure(gateway_port.c_str(), std::max(0, 1000 - sent), memory_series)) {
      const long after_1000 = rss_kib(netgate);
      if (measure(gateway_port.c_str(), 19000, memory_series)) {
        const long after_20000 = rss_kib(netgate);
        std::printf("netgate RSS after 1,000 requests: %ld KiB, after 20,000: %ld KiB, "
                    "growth %ld KiB (target at most 1024)\n",
                    after_1000, after_20000, after_20000 - after_1000);
        exit_code = 0;
      }
    }
  }

  stop_peer = true;
  static message_buffer last_reply;
  framed_request(peer_port.c_str(), reinterpret_cast<const unsigned char*>("x"), 1, last_reply);
  peer.join();
  net_close(listener);
  stop(netgate);
  stop(node);
  std::string remove = "rm -rf " + directory;
  if (std::system(remove.c_str()) != 0) std::fprintf(stderr, "%s failed\n", remove.c_str());
  return exit_code;
}
