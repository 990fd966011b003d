// The client side of the APPC interface against a real appcnode (on the Windows target the
// Linux node, started from under wine): the block's inputs and outputs, the node missing or
// lost, and waits that give way to the run flag.
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/appc_client_testnode.h"
#include "platform/run_flag.h"
#include "platform/winappc.h"

namespace {

const char* const configuration = R"(
[NODE]
LOCAL_LUS=LOCALLU
PARTNER_LUS=HOSTLU
MODES=#INTER
LOCAL_TPS=SERVER
HOST_TPS=ECHOTP,UPPERTP,SLOWTP
[TP ECHOTP]
KIND=echo
[TP UPPERTP]
KIND=exec
COMMAND=tr a-z A-Z
TRANSLATE=1
[TP SLOWTP]
KIND=echo
DELAY_MS=5000
)";

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(node_.start(APPCNODE_PATH, configuration));
    ASSERT_EQ(WinAPPCStartup(winappc_version_requested, nullptr), 0);
    vcb_block started = run_tp_started("LOCALLU", "NETGATE");
    ASSERT_EQ(started.header.primary_rc, AP_OK);
    tp_ = tp_of(started);
  }
  void TearDown() override {
    WinAPPCCleanup();
    run_flag_clear();
  }

  std::uint32_t allocate(const char* tp_name) {
    vcb_block allocated = run_allocate(tp_, "HOSTLU", tp_name, "#INTER", AP_NONE);
    EXPECT_EQ(allocated.header.primary_rc, AP_OK);
    return allocated.allocate.conv_id;
  }

  test_node node_;
  test_tp_id tp_{};
};

TEST_F(ClientTest, HostTpsAnswerThroughTheNode) {
  struct exchange_case {
    const char* tp_name;
    const char* message;
    const char* reply;
  };
  const exchange_case cases[] = {
      {"ECHOTP", "0001 HELLO", "0001 HELLO"},
      {"UPPERTP", "consulta de saldo", "CONSULTA DE SALDO"},
  };
  for (const exchange_case& c : cases) {
    SCOPED_TRACE(c.tp_name);
    std::uint32_t conv_id = allocate(c.tp_name);
    EXPECT_EQ(run_send_data(tp_, conv_id, ebcdic(c.message)).header.primary_rc, AP_OK);
    unsigned char buffer[100];
    vcb_block reply = run_receive(tp_, conv_id, sizeof buffer, buffer);
    EXPECT_EQ(reply.header.primary_rc, AP_DEALLOC_NORMAL);
    EXPECT_EQ(ascii(std::string(reinterpret_cast<char*>(buffer), reply.rcvwait.dlen)), c.reply);
  }
}

// The serving program is a 64-bit Linux one; on the Windows target this client is a 32-bit
// program under wine, so the two pointer widths converse through one node.
TEST_F(ClientTest, AProgramOfItsOwnServesTheConversation) {
  ASSERT_TRUE(node_.start_program(APPCPEER_PATH, node_.endpoint() + " SERVER"));
  std::uint32_t conv_id = allocate("SERVER");
  const std::string message = "FROM ANOTHER PROCESS";
  EXPECT_EQ(run_send_data(tp_, conv_id, message).header.primary_rc, AP_OK);
  unsigned char buffer[100];
  vcb_block reply = run_receive(tp_, conv_id, sizeof buffer, buffer);
  EXPECT_EQ(reply.header.primary_rc, AP_DEALLOC_NORMAL);
  EXPECT_EQ(reply.rcvwait.what_rcvd, AP_DATA_COMPLETE);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), reply.rcvwait.dlen), "GOT:" + message);
}

TEST_F(ClientTest, ReceivedDataStaysWithinTheCallersMaximum) {
  std::uint32_t conv_id = allocate("ECHOTP");
  run_send_data(tp_, conv_id, "ABCDEFGHIJ");
  unsigned char buffer[12];
  std::memset(buffer, '#', sizeof buffer);
  vcb_block piece = run_receive(tp_, conv_id, 6, buffer);
  EXPECT_EQ(piece.header.primary_rc, AP_OK);
  EXPECT_EQ(piece.rcvwait.what_rcvd, AP_DATA_INCOMPLETE);
  EXPECT_EQ(piece.rcvwait.dlen, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), sizeof buffer), "ABCDEF######");
  vcb_block rest = run_receive(tp_, conv_id, 6, buffer);
  EXPECT_EQ(rest.header.primary_rc, AP_DEALLOC_NORMAL);
  EXPECT_EQ(rest.rcvwait.dlen, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), sizeof buffer), "GHIJEF######");
}

TEST_F(ClientTest, BlocksTheInterfaceCannotCarryAreRefusedLocally) {
  struct refusal_case {
    const char* what;
    vcb_block block;
    std::uint16_t primary_rc;
    std::uint32_t secondary_rc;
  };
  vcb_block unknown_verb{};
  unknown_verb.header.opcode = 0x0002;
  vcb_block send_without_data{};
  send_without_data.header.opcode = AP_M_SEND_DATA;
  send_without_data.header.opext = AP_MAPPED_CONVERSATION;
  send_without_data.snddata.dlen = 5;
  vcb_block receive_without_buffer{};
  receive_without_buffer.header.opcode = AP_M_RECEIVE_AND_WAIT;
  receive_without_buffer.header.opext = AP_MAPPED_CONVERSATION;
  receive_without_buffer.rcvwait.max_len = 5;
  const refusal_case cases[] = {
      {"unknown operation code", unknown_verb, AP_INVALID_VERB, AP_NO_SECONDARY_RC},
      {"send without a data address", send_without_data, AP_PARAMETER_CHECK,
       AP_INVALID_DATA_SEGMENT},
      {"receive without a buffer", receive_without_buffer, AP_PARAMETER_CHECK,
       AP_INVALID_DATA_SEGMENT},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.what);
    vcb_block result = run_verb(c.block);
    EXPECT_EQ(result.header.primary_rc, c.primary_rc);
    EXPECT_EQ(result.header.secondary_rc, c.secondary_rc);
  }
  // The connection is still good.
  EXPECT_EQ(run_get_state(tp_, allocate("ECHOTP")).getstate.conv_state, AP_SEND_STATE);
}

TEST_F(ClientTest, AWaitGivesWayWhenTheRunFlagIsCleared) {
  run_flag_install();
  std::uint32_t conv_id = allocate("SLOWTP");
  run_send_data(tp_, conv_id, "SLOW");
  unsigned char buffer[10];
  struct wait_case {
    const char* what;
    std::function<vcb_block()> verb;
  };
  const wait_case cases[] = {
      {"receive allocate", [] { return run_receive_allocate("SERVER"); }},
      {"receive and wait", [&] { return run_receive(tp_, conv_id, sizeof buffer, buffer); }},
  };
  for (const wait_case& c : cases) {
    SCOPED_TRACE(c.what);
    run_flag_install();
    std::thread stopper([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      run_flag_clear();
    });
    vcb_block result = c.verb();
    stopper.join();
    EXPECT_EQ(result.header.primary_rc, AP_CANCELLED);
  }
  // The process keeps its connection and its conversation.
  EXPECT_EQ(run_get_state(tp_, conv_id).getstate.conv_state, AP_RECEIVE_STATE);
}

TEST_F(ClientTest, ANodeLostMidRunAbendsEveryLaterVerb) {
  std::uint32_t conv_id = allocate("ECHOTP");
  EXPECT_EQ(node_.stop(), 0);
  EXPECT_EQ(run_send_data(tp_, conv_id, "X").header.primary_rc, AP_COMM_SUBSYSTEM_ABENDED);
  EXPECT_EQ(run_tp_started("LOCALLU", "NETGATE").header.primary_rc, AP_COMM_SUBSYSTEM_ABENDED);
}

// A service keeps its TP when its node comes back (here at a new endpoint); what the lost
// node held of its conversations is gone.
TEST_F(ClientTest, ANodeThatComesBackServesTheStartedTpAgain) {
  std::uint32_t lost_conv_id = allocate("ECHOTP");
  EXPECT_EQ(node_.stop(), 0);
  EXPECT_EQ(run_send_data(tp_, lost_conv_id, "X").header.primary_rc, AP_COMM_SUBSYSTEM_ABENDED);
  EXPECT_EQ(run_get_state(tp_, lost_conv_id).header.primary_rc, AP_COMM_SUBSYSTEM_ABENDED);

  test_node restarted;
  ASSERT_TRUE(restarted.start(APPCNODE_PATH, configuration));
  vcb_block state = run_get_state(tp_, lost_conv_id);
  EXPECT_EQ(state.header.primary_rc, AP_PARAMETER_CHECK);
  EXPECT_EQ(state.header.secondary_rc, AP_BAD_CONV_ID);
  std::uint32_t conv_id = allocate("ECHOTP");
  EXPECT_EQ(run_send_data(tp_, conv_id, "AGAIN").header.primary_rc, AP_OK);
  unsigned char buffer[10];
  vcb_block reply = run_receive(tp_, conv_id, sizeof buffer, buffer);
  EXPECT_EQ(reply.header.primary_rc, AP_DEALLOC_NORMAL);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), reply.rcvwait.dlen), "AGAIN");

  // A TP that was ended is not re-created by the next node.
  EXPECT_EQ(run_tp_ended(tp_).header.primary_rc, AP_OK);
  EXPECT_EQ(restarted.stop(), 0);
  test_node third;
  ASSERT_TRUE(third.start(APPCNODE_PATH, configuration));
  EXPECT_EQ(run_allocate(tp_, "HOSTLU", "ECHOTP", "#INTER", AP_NONE).header.secondary_rc,
            AP_BAD_TP_ID);
}

TEST_F(ClientTest, ACrashedNodeAbendsAWaitingVerb) {
  run_flag_install();
  std::thread crasher([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    node_.crash();
  });
  vcb_block result = run_receive_allocate("SERVER");
  crasher.join();
  EXPECT_EQ(result.header.primary_rc, AP_COMM_SUBSYSTEM_ABENDED);
}

TEST(ClientWithoutNode, EveryVerbFailsAtOnceWithNotLoaded) {
  test_node node;
  test_tp_id tp{};
  // Start a node only to learn a loopback port that nobody serves once it has stopped.
  ASSERT_TRUE(node.start(APPCNODE_PATH, configuration));
  EXPECT_EQ(node.stop(), 0);
  EXPECT_NE(WinAPPCStartup(winappc_version_requested, nullptr), 0);
  unsigned char buffer[10];
  const vcb_block results[] = {
      run_tp_started("LOCALLU", "NETGATE"),
      run_receive_allocate("SERVER"),
      run_receive(tp, 1, sizeof buffer, buffer),
  };
  for (const vcb_block& result : results) {
    EXPECT_EQ(result.header.primary_rc, AP_COMM_SUBSYSTEM_NOT_LOADED);
  }
  WinAPPCCleanup();
  // Before start-up there is no interface at all.
  EXPECT_EQ(run_tp_started("LOCALLU", "NETGATE").header.primary_rc,
            AP_COMM_SUBSYSTEM_NOT_LOADED);
}

}  // namespace
