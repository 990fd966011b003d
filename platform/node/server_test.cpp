// The node's sessions against clients that break the protocol: each is refused and
// disconnected, and the node goes on serving everyone else.
#include "platform/node/server.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/appc_client_testnode.h"
#include "platform/net.h"
#include "platform/node/wire.h"

namespace {

const char* const configuration = R"(
[NODE]
LOCAL_LUS=LOCALLU
PARTNER_LUS=HOSTLU
MODES=#INTER
HOST_TPS=ECHOTP
[TP ECHOTP]
KIND=echo
)";

std::vector<unsigned char> join(std::initializer_list<std::vector<unsigned char>> parts) {
  std::vector<unsigned char> bytes;
  for (const auto& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

std::vector<unsigned char> hello_frame(std::uint16_t version, std::uint32_t magic = wire_magic) {
  wire_hello hello;
  hello.version = version;
  hello.magic = magic;
  return wire_frame(hello);
}

std::vector<unsigned char> receive_allocate_frame() {
  wire_verb_request request;
  request.opcode = AP_RECEIVE_ALLOCATE;
  request.tp_name.fill('\x40');
  request.tp_name[0] = '\xC1';
  return wire_frame(request);
}

struct raw_outcome {
  bool closed = false;
  std::vector<unsigned char> received;
};

// Sends the bytes on a connection of its own and reads until the node closes it (or 5 s).
raw_outcome send_raw(const std::string& endpoint, const std::vector<unsigned char>& bytes) {
  std::size_t colon = endpoint.rfind(':');
  net_socket socket =
      net_connect_to(endpoint.substr(0, colon).c_str(), endpoint.substr(colon + 1).c_str());
  raw_outcome outcome;
  if (socket == net_invalid_socket) return outcome;
  net_send(socket, bytes.data(), static_cast<int>(bytes.size()));
  for (int slice = 0; slice < 50 && !outcome.closed; ++slice) {
    if (net_wait_readable(socket, 100) <= 0) continue;
    unsigned char chunk[512];
    int result = net_recv(socket, chunk, sizeof chunk);
    if (result <= 0) {
      outcome.closed = true;
    } else {
      outcome.received.insert(outcome.received.end(), chunk, chunk + result);
    }
  }
  net_close(socket);
  return outcome;
}

TEST(ServerTest, ProtocolBreakersAreDisconnectedAndOthersServed) {
  test_node node;
  ASSERT_TRUE(node.start(APPCNODE_PATH, configuration));
  ASSERT_EQ(net_startup(), 0);
  std::vector<unsigned char> hello = hello_frame(wire_version);
  std::vector<unsigned char> truncated_verb = receive_allocate_frame();
  truncated_verb.pop_back();
  truncated_verb[0] = static_cast<unsigned char>(truncated_verb[0] - 1);
  struct breaker_case {
    const char* what;
    std::vector<unsigned char> bytes;
    std::size_t reply_bytes;  // the hello reply, when the hello was good
  };
  const std::size_t hello_reply_size = wire_frame(wire_hello_reply{}).size();
  const breaker_case cases[] = {
      {"oversized frame", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}, 0},
      {"empty frame", {0, 0, 0, 0}, 0},
      {"verb before hello", receive_allocate_frame(), 0},
      {"hello with a wrong magic", hello_frame(wire_version, 0x12345678), 0},
      {"unknown message type", join({hello, {1, 0, 0, 0, 9}}), hello_reply_size},
      {"malformed verb", join({hello, truncated_verb}), hello_reply_size},
      {"second hello", join({hello, hello}), hello_reply_size},
      {"two verbs at once", join({hello, receive_allocate_frame(), receive_allocate_frame()}),
       hello_reply_size},
  };
  for (const breaker_case& c : cases) {
    SCOPED_TRACE(c.what);
    raw_outcome outcome = send_raw(node.endpoint(), c.bytes);
    EXPECT_TRUE(outcome.closed);
    EXPECT_EQ(outcome.received.size(), c.reply_bytes);
  }

  // A client of another protocol version is told so, then disconnected.
  raw_outcome refused = send_raw(node.endpoint(), hello_frame(wire_version + 1));
  EXPECT_TRUE(refused.closed);
  wire_hello_reply reply;
  ASSERT_EQ(refused.received.size(), hello_reply_size);
  ASSERT_TRUE(wire_decode(std::span<const unsigned char>(refused.received).subspan(4), reply));
  EXPECT_EQ(reply.status, wire_hello_version_refused);
  EXPECT_EQ(reply.version, wire_version);

  // The node still serves a well-behaved client.
  ASSERT_EQ(WinAPPCStartup(winappc_version_requested, nullptr), 0);
  test_tp_id tp = tp_of(run_tp_started("LOCALLU", "NETGATE"));
  std::uint32_t conv_id = run_allocate(tp, "HOSTLU", "ECHOTP", "#INTER", AP_NONE).allocate.conv_id;
  run_send_data(tp, conv_id, "STILL HERE");
  unsigned char buffer[20];
  vcb_block answer = run_receive(tp, conv_id, sizeof buffer, buffer);
  EXPECT_EQ(answer.header.primary_rc, AP_DEALLOC_NORMAL);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), answer.rcvwait.dlen), "STILL HERE");
  WinAPPCCleanup();
  EXPECT_EQ(node.stop(), 0);
  EXPECT_NE(node.log_text().find("frame length refused"), std::string::npos);
}

}  // namespace
