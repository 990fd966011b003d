// netgate under load: a long run of sequential requests, then a burst of clients at once.
//
// netgate_soak NODE NETGATE [REQUESTS [CLIENTS]]
//   Starts the APPC node (with an echo TP) and netgate in a temporary directory on free
//   loopback ports, then
//   - sends REQUESTS (default 100,000) sequential framed requests, one connection each, every
//     reply checked byte for byte, and samples the resident set of netgate and of the node at
//     the start and after every tenth of them; the first tenth is the warm-up;
//   - connects CLIENTS (default 200) clients before any of them sends, then sends each its
//     request in connection order, and checks that every one is answered correctly and in
//     that order, by the order the replies arrive and by the order of netgate.log.
//   Exit code 0 when every reply was right, nothing was lost, the order held and both
//   resident sets stayed within 1 MiB after the warm-up; 1 otherwise, 2 usage.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/soak_support.h"
#include "platform/net.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr long growth_limit_kib = 1024;
constexpr int stop_seconds = 30;
constexpr int reply_wait_ms = 60000;

// One request on a connection of its own; true when the reply is the request.
bool exchange(const std::string& port, const std::string& request) {
  const net_socket socket = net_connect_to("127.0.0.1", port.c_str());
  if (socket == net_invalid_socket) return false;
  std::string reply;
  const bool ok =
      soak_send_frame(socket, request) && soak_receive_frame(socket, reply) && reply == request;
  soak_close(socket);
  return ok;
}

bool soak(const std::string& port, long requests, rss_table& memory) {
  const long interval = std::max(1L, requests / 10);
  long failed = 0;
  memory.sample(0);
  const auto begin = clock_type::now();
  for (long i = 0; i < requests; ++i) {
    if (!exchange(port, soak_message("SOAK", i)) && failed++ < 10)
      std::printf("request %ld: wrong or missing reply\n", i);
    if ((i + 1) % interval == 0) memory.sample(i + 1);
  }
  const double seconds = std::chrono::duration<double>(clock_type::now() - begin).count();
  std::printf("%ld sequential requests in %.1f s (%.0f requests/s), %ld wrong or missing\n",
              requests, seconds, static_cast<double>(requests) / seconds, failed);
  return failed == 0;
}

// Connects every client before any sends, then sends in connection order and collects the
// replies as they arrive. Replies that arrive together are taken in connection order, so the
// check is that every group of replies comes after all replies of earlier clients.
bool burst(const std::string& port, int clients) {
  const auto begin = clock_type::now();
  std::vector<net_socket> sockets;
  for (int i = 0; i < clients; ++i) {
    const net_socket socket = net_connect_to("127.0.0.1", port.c_str());
    if (socket == net_invalid_socket) {
      std::printf("client %d could not connect\n", i);
      break;
    }
    sockets.push_back(socket);
  }
  int sent = 0;
  for (std::size_t i = 0; i < sockets.size(); ++i)
    if (soak_send_frame(sockets[i], soak_message("BURST", static_cast<long>(i)))) ++sent;

  std::vector<bool> answered(sockets.size(), false);
  int right = 0, wrong = 0, groups = 0, out_of_order = 0, highest = -1;
  std::size_t waiting = sockets.size();
  while (waiting > 0) {
    std::vector<pollfd> watched;
    std::vector<int> clients_watched;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      if (answered[i]) continue;
      watched.push_back({static_cast<int>(sockets[i]), POLLIN, 0});
      clients_watched.push_back(static_cast<int>(i));
    }
    if (poll(watched.data(), watched.size(), reply_wait_ms) <= 0) break;
    ++groups;
    int group_lowest = -1, group_highest = -1;
    for (std::size_t w = 0; w < watched.size(); ++w) {
      if (watched[w].revents == 0) continue;
      const int client = clients_watched[w];
      std::string reply;
      if (soak_receive_frame(sockets[client], reply) &&
          reply == soak_message("BURST", client)) {
        ++right;
      } else {
        ++wrong;
      }
      answered[client] = true;
      --waiting;
      if (group_lowest < 0) group_lowest = client;
      group_highest = client;
    }
    if (group_lowest < highest) ++out_of_order;
    highest = std::max(highest, group_highest);
  }
  const double seconds = std::chrono::duration<double>(clock_type::now() - begin).count();
  for (net_socket socket : sockets) soak_close(socket);
  std::printf("burst: %zu of %d clients connected before any sent, %d requests sent; "
              "%d replies right, %d wrong, %zu missing; %.2f s from the first connect to the "
              "last reply\n",
              sockets.size(), clients, sent, right, wrong, waiting, seconds);
  std::printf("burst: replies arrived in %d groups, %d groups out of connection order\n",
              groups, out_of_order);
  return static_cast<int>(sockets.size()) == clients && right == clients && out_of_order == 0;
}

// netgate.log read as an operator would: every soak request and then every burst request
// appears once as received ("REQ: [...]") and once as answered ("RSP: [...]"), in the order
// sent, and nothing else does.
bool check_log(const std::string& path, long requests, int clients) {
  bool ok = true;
  for (const char* label : {"REQ", "RSP"}) {
    const std::vector<std::string> fields = soak_log_fields(path, label);
    std::size_t position = 0;
    const long soaked = soak_count_in_order(fields, position, "", "SOAK", soak_numbers(requests));
    const long burst = soak_count_in_order(fields, position, "", "BURST", soak_numbers(clients));
    std::printf("netgate.log %s lines: %ld of %ld soak requests and %ld of %d burst requests in "
                "the order sent, %zu other lines\n",
                label, soaked, requests, burst, clients, fields.size() - position);
    ok = ok && soaked == requests && burst == clients && position == fields.size();
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: netgate_soak NODE NETGATE [REQUESTS [CLIENTS]]\n");
    return 2;
  }
  const long requests = argc > 3 ? std::max(10L, std::atol(argv[3])) : 100000;
  const int clients = argc > 4 ? std::max(1, std::atoi(argv[4])) : 200;
  // The programs start in the temporary directory: their paths must not be relative.
  const std::string node_path = std::filesystem::absolute(argv[1]).string();
  const std::string netgate_path = std::filesystem::absolute(argv[2]).string();
  net_startup();

  const soak_directory directory;
  const std::string gateway_port = soak_free_port();
  const auto [node, netgate] =
      soak_start_echo_gateway(node_path, netgate_path, directory, gateway_port);
  if (node < 0 || !soak_wait_for_listener(gateway_port)) {
    soak_stop(netgate, stop_seconds);
    soak_stop(node, stop_seconds);
    return 1;
  }

  rss_table memory("requests", "netgate", netgate, "appcnode", node);
  const bool soak_ok = soak(gateway_port, requests, memory);
  const bool flat = memory.report(growth_limit_kib);
  const bool burst_ok = burst(gateway_port, clients);
  const int netgate_exit = soak_stop(netgate, stop_seconds);
  const int node_exit = soak_stop(node, stop_seconds);
  const std::string log_path = directory.file("netgate.log");
  std::printf("netgate.log: %.1f MiB, %.0f bytes per request\n",
              static_cast<double>(std::filesystem::file_size(log_path)) / (1 << 20),
              static_cast<double>(std::filesystem::file_size(log_path)) /
                  static_cast<double>(requests + clients));
  const bool log_ok = check_log(log_path, requests, clients);
  std::printf("netgate stopped with exit code %d, appcnode with %d\n", netgate_exit, node_exit);
  return soak_ok && flat && burst_ok && log_ok && netgate_exit == 0 ? 0 : 1;
}
