// Gateway latency and memory, measured beside a framed TCP echo server in the same run.
//
// gateway_bench NODE NETGATE [REQUESTS]
//   Starts the APPC node (with an echo TP) and netgate in a temporary directory, on free
//   loopback ports, then sends REQUESTS (default 2000) sequential framed requests, one
//   connection each, in alternating rounds to
//     - the peer: a framed echo server in this process, one connection per request;
//     - netgate, towards the node's echo TP;
//   and reports p50, p99 and requests per second of both and the ratio of the p50s. Then it
//   keeps sending to netgate and reports its resident set size after 1,000 requests (or
//   REQUESTS, if more) and after 19,000 more.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/soak_support.h"
#include "netgate/frame.h"
#include "platform/net.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int rounds = 10;
constexpr char request_text[] = "0001DPRE CONSULTA SALDO CUENTA 0012345678 IMPORTE 000001500";

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

// Sends requests sequentially and adds their times to result (sorted afterwards by sort_series).
bool measure(const char* port, int requests, series& result) {
  static message_buffer reply;
  const auto* body = reinterpret_cast<const unsigned char*>(request_text);
  const auto length = static_cast<std::int32_t>(std::strlen(request_text));
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
  result.seconds += std::chrono::duration<double>(clock_type::now() - begin).count();
  return true;
}

// Of a series sorted in place.
double percentile(series& s, double p) {
  std::sort(s.micros.begin(), s.micros.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(s.micros.size() - 1));
  return s.micros[index];
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

  const soak_directory directory;
  const std::string gateway_port = soak_free_port();
  const std::string peer_port = soak_free_port();
  const auto [node, netgate] =
      soak_start_echo_gateway(node_path, netgate_path, directory, gateway_port);
  if (node < 0 || netgate < 0 || !soak_wait_for_listener(gateway_port)) {
    std::fprintf(stderr, "the node or netgate did not start\n");
    soak_stop(netgate, 5);
    soak_stop(node, 5);
    return 1;
  }

  net_address* address = nullptr;
  net_lookup("127.0.0.1", peer_port.c_str(), false, &address);
  const net_socket listener = net_open(address);
  net_bind(listener, address);
  net_free_address(address);
  net_listen(listener, 64);
  bool stop_peer = false;
  std::thread peer(echo_server, listener, &stop_peer);

  // Both sides are measured in alternating rounds, so that a machine busy for a while weighs
  // on both alike.
  series peer_series, gateway_series;
  bool measured = true;
  for (int round = 0; measured && round < rounds; ++round) {
    const int count = requests / rounds + (round < requests % rounds ? 1 : 0);
    measured = measure(peer_port.c_str(), count, peer_series) &&
               measure(gateway_port.c_str(), count, gateway_series);
  }
  int exit_code = 1;
  if (measured) {
    const double peer_p50 = percentile(peer_series, 0.5);
    const double gateway_p50 = percentile(gateway_series, 0.5);
    std::printf("%-28s %10s %10s %12s\n", "", "p50 us", "p99 us", "requests/s");
    std::printf("%-28s %10.1f %10.1f %12.0f\n", "framed echo server (peer)", peer_p50,
                percentile(peer_series, 0.99), requests / peer_series.seconds);
    std::printf("%-28s %10.1f %10.1f %12.0f\n", "netgate -> node echo TP", gateway_p50,
                percentile(gateway_series, 0.99), requests / gateway_series.seconds);
    std::printf("p50 ratio netgate / peer: %.2f (target at most 2.5)\n", gateway_p50 / peer_p50);

    series memory_series;
    if (measure(gateway_port.c_str(), std::max(0, 1000 - requests), memory_series)) {
      const int first_count = std::max(1000, requests);
      const long first_kib = soak_rss_kib(netgate);
      if (measure(gateway_port.c_str(), 19000, memory_series)) {
        const long last_kib = soak_rss_kib(netgate);
        std::printf("netgate RSS after %d requests: %ld KiB, after %d: %ld KiB, "
                    "growth %ld KiB (target at most 1024)\n",
                    first_count, first_kib, first_count + 19000, last_kib, last_kib - first_kib);
        exit_code = 0;
      }
    }
  }

  stop_peer = true;
  static message_buffer last_reply;
  framed_request(peer_port.c_str(), reinterpret_cast<const unsigned char*>("x"), 1, last_reply);
  peer.join();
  net_close(listener);
  soak_stop(netgate, 10);
  soak_stop(node, 10);
  return exit_code;
}
