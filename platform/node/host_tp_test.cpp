// The host TP kinds, each conversed with through the client library and a real node.
#include "platform/node/host_tp.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/appc_client_testnode.h"

namespace {

const char* const configuration = R"(
[NODE]
LOCAL_LUS=LOCALLU
PARTNER_LUS=HOSTLU
MODES=#INTER
HOST_TPS=ECHOTP,REPLYTP,UPPERTP,RAWTP,FAILTP,SLOWTP,HANGTP,KEEPREPLY
[TP ECHOTP]
KIND=echo
[TP REPLYTP]
KIND=reply
TEXT=RECIBIDO OK
[TP UPPERTP]
KIND=exec
COMMAND=tr a-z A-Z
TRANSLATE=1
[TP RAWTP]
KIND=exec
COMMAND=od -An -tx1 | tr -d ' \n'
[TP FAILTP]
KIND=exec
COMMAND=printf 'PARTIAL'; exit 3
[TP SLOWTP]
KIND=echo
DELAY_MS=300
[TP HANGTP]
KIND=exec
COMMAND=sleep 30
TIME_LIMIT=1
[TP KEEPREPLY]
KIND=reply
TEXT=OTRA VEZ
END=keep
)";

class HostTpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    node_ = new test_node;
    ASSERT_TRUE(node_->start(APPCNODE_PATH, configuration));
  }
  static void TearDownTestSuite() {
    EXPECT_EQ(node_->stop(), 0);
    delete node_;
  }
  void SetUp() override {
    ASSERT_EQ(WinAPPCStartup(winappc_version_requested, nullptr), 0);
    tp_ = tp_of(run_tp_started("LOCALLU", "PROBEOUT"));
  }
  void TearDown() override { WinAPPCCleanup(); }

  // Sends the message on a new conversation; returns the reply's return code and bytes.
  std::uint16_t exchange(const char* tp_name, const std::string& message, std::string& reply,
                         std::uint32_t* conv_id_out = nullptr) {
    std::uint32_t conv_id = run_allocate(tp_, "HOSTLU", tp_name, "#INTER", AP_NONE).allocate.conv_id;
    if (conv_id_out != nullptr) *conv_id_out = conv_id;
    return turn(conv_id, message, reply);
  }
  std::uint16_t turn(std::uint32_t conv_id, const std::string& message, std::string& reply) {
    run_send_data(tp_, conv_id, message);
    vcb_block received = run_receive(tp_, conv_id, sizeof buffer_, buffer_);
    reply.assign(reinterpret_cast<char*>(buffer_), received.rcvwait.dlen);
    return received.header.primary_rc;
  }

  static test_node* node_;
  test_tp_id tp_{};
  unsigned char buffer_[65535] = {};
};

test_node* HostTpTest::node_ = nullptr;

TEST_F(HostTpTest, EachKindAnswersAsConfigured) {
  struct kind_case {
    const char* tp_name;
    std::string message;  // as sent, EBCDIC unless noted
    std::string reply;    // as received
  };
  const kind_case cases[] = {
      {"ECHOTP", ebcdic("DPRE0001 consulta"), ebcdic("DPRE0001 consulta")},
      {"ECHOTP", std::string("\x00\x01\xFF\x0C", 4), std::string("\x00\x01\xFF\x0C", 4)},
      {"ECHOTP", std::string(60000, 'x'), std::string(60000, 'x')},
      {"REPLYTP", ebcdic("anything"), ebcdic("RECIBIDO OK")},
      {"UPPERTP", ebcdic("saldo de cuenta 123"), ebcdic("SALDO DE CUENTA 123")},
      // Without TRANSLATE the command sees the bytes as they came: here their hex digits.
      {"RAWTP", std::string("\xC1\x00\x7F", 3), "c1007f"},
      // A failing command still answers with what it wrote.
      {"FAILTP", "x", "PARTIAL"},
      {"SLOWTP", ebcdic("LENTO"), ebcdic("LENTO")},
  };
  for (const kind_case& c : cases) {
    SCOPED_TRACE(c.tp_name);
    std::string reply;
    EXPECT_EQ(exchange(c.tp_name, c.message, reply), AP_DEALLOC_NORMAL);
    EXPECT_EQ(reply, c.reply);
  }
}

TEST_F(HostTpTest, ACommandBeyondItsTimeLimitAbendsTheConversation) {
  std::string reply;
  EXPECT_EQ(exchange("HANGTP", "x", reply), AP_DEALLOC_ABEND_PROG);
  EXPECT_EQ(reply, "");
}

TEST_F(HostTpTest, AKeptConversationAnswersEveryTurn) {
  std::string reply;
  std::uint32_t conv_id = 0;
  EXPECT_EQ(exchange("KEEPREPLY", "one", reply, &conv_id), AP_OK);
  EXPECT_EQ(reply, ebcdic("OTRA VEZ"));
  EXPECT_EQ(turn(conv_id, "two", reply), AP_OK);
  EXPECT_EQ(reply, ebcdic("OTRA VEZ"));
  EXPECT_EQ(run_deallocate(tp_, conv_id, AP_FLUSH).header.primary_rc, AP_OK);
}

}  // namespace
