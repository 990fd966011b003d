// One APPC verb through the node (GET_STATE: a request to the node and its reply) against the
// same exchange without the node: a request of the verb's frame size sent over loopback TCP to a
// process that answers with a reply of the verb reply's size. Both peers are separate
// processes, measured in the same run. Also whole conversations with an echo host TP.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/appc_client_testnode.h"
#include "platform/net.h"
#include "platform/node/wire.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr int warmup = 2000;
constexpr int rounds = 50000;
constexpr int conversations = 5000;

struct summary {
  double p50_us;
  double p99_us;
  double per_second;
};

summary summarize(std::vector<double>& samples_us, double total_s) {
  std::sort(samples_us.begin(), samples_us.end());
  return {samples_us[samples_us.size() / 2], samples_us[samples_us.size() * 99 / 100],
          static_cast<double>(samples_us.size()) / total_s};
}

template <typename Step>
summary measure(int count, Step step) {
  for (int i = 0; i < warmup; ++i) step();
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(count));
  auto begin = clock_type::now();
  for (int i = 0; i < count; ++i) {
    auto start = clock_type::now();
    step();
    samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
  }
  double total = std::chrono::duration<double>(clock_type::now() - begin).count();
  return summarize(samples, total);
}

bool transfer_exact(net_socket socket, unsigned char* buffer, int length, bool sending) {
  int done = 0;
  while (done < length) {
    int result = sending ? net_send(socket, buffer + done, length - done)
                         : net_recv(socket, buffer + done, length - done);
    if (result <= 0) return false;
    done += result;
  }
  return true;
}

void serve_loopback(net_socket listener, int request_size, int reply_size) {
  net_socket client = net_accept(listener);
  std::vector<unsigned char> request(static_cast<std::size_t>(request_size));
  std::vector<unsigned char> reply(static_cast<std::size_t>(reply_size), 0x5A);
  while (transfer_exact(client, request.data(), request_size, false) &&
         transfer_exact(client, reply.data(), reply_size, true)) {
  }
  _exit(0);
}

void print(const char* what, const summary& s) {
  std::printf("%-34s p50 %8.2f us   p99 %8.2f us   %10.0f /s\n", what, s.p50_us, s.p99_us,
              s.per_second);
}

}  // namespace

int main() {
  net_startup();
  // The sizes of a GET_STATE exchange on the wire.
  wire_verb_request state_request;
  state_request.opcode = AP_GET_STATE;
  const int request_size = static_cast<int>(wire_frame(state_request).size());
  const int reply_size = static_cast<int>(wire_frame(wire_verb_reply{}).size());

  net_address* address = nullptr;
  if (net_lookup("127.0.0.1", "0", true, &address) != 0) return 1;
  net_socket listener = net_open(address);
  if (net_bind(listener, address) != 0 || net_listen(listener, 4) != 0) return 1;
  net_free_address(address);
  std::string port = std::to_string(net_local_port(listener));
  pid_t peer = fork();
  if (peer == 0) serve_loopback(listener, request_size, reply_size);
  net_close(listener);
  net_socket loopback = net_connect_to("127.0.0.1", port.c_str());
  std::vector<unsigned char> request(static_cast<std::size_t>(request_size), 0xA5);
  std::vector<unsigned char> reply(static_cast<std::size_t>(reply_size));
  summary plain = measure(rounds, [&] {
    transfer_exact(loopback, request.data(), request_size, true);
    transfer_exact(loopback, reply.data(), reply_size, false);
  });
  net_close(loopback);
  waitpid(peer, nullptr, 0);

  test_node node;
  if (!node.start(APPCNODE_PATH,
                  "[NODE]\nLOCAL_LUS=LOCALLU\nPARTNER_LUS=HOSTLU\nMODES=#INTER\n"
                  "HOST_TPS=ECHOTP\n[TP ECHOTP]\nKIND=echo\n")) {
    std::fprintf(stderr, "appcnode did not start\n");
    return 1;
  }
  WinAPPCStartup(winappc_version_requested, nullptr);
  test_tp_id tp = tp_of(run_tp_started("LOCALLU", "NETGATE"));
  std::uint32_t conv_id = run_allocate(tp, "HOSTLU", "ECHOTP", "#INTER", AP_NONE).allocate.conv_id;
  summary verb = measure(rounds, [&] { run_get_state(tp, conv_id); });
  std::string message(100, '\xC1');
  unsigned char buffer[200];
  summary conversation = measure(conversations, [&] {
    std::uint32_t id = run_allocate(tp, "HOSTLU", "ECHOTP", "#INTER", AP_NONE).allocate.conv_id;
    run_send_data(tp, id, message);
    run_receive(tp, id, sizeof buffer, buffer);
  });
  WinAPPCCleanup();
  node.stop();

  std::printf("request %d bytes, reply %d bytes, %d rounds\n", request_size, reply_size, rounds);
  print("loopback request/reply", plain);
  print("APPC verb through appcnode", verb);
  print("echo conversation (3 verbs)", conversation);
  std::printf("verb / loopback: p50 %.2f  p99 %.2f  throughput %.2f\n",
              verb.p50_us / plain.p50_us, verb.p99_us / plain.p99_us,
              plain.per_second / verb.per_second);
  return 0;
}
