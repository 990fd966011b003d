// The conversation rules of the node, each driven through the client library against a real
// appcnode process; the two-program cases run the second program in a forked process.
#include "platform/node/engine.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/appc_client_testnode.h"

namespace {

const char* const configuration = R"(
[NODE]
LOCAL_LUS=LOCALLU
PARTNER_LUS=HOSTLU
MODES=#INTER
LOCAL_TPS=SERVER,LATE
HOST_TPS=ECHOTP,KEEPTP
ATTACH_TIMEOUT=2
[TP ECHOTP]
KIND=echo
[TP KEEPTP]
KIND=echo
END=keep
)";

class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    node_ = new test_node;
    ASSERT_TRUE(node_->start(APPCNODE_PATH, configuration));
  }
  static void TearDownTestSuite() {
    EXPECT_EQ(node_->stop(), 0);
    delete node_;
    node_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(WinAPPCStartup(winappc_version_requested, nullptr), 0);
    vcb_block started = run_tp_started("LOCALLU", "NETGATE");
    ASSERT_EQ(started.header.primary_rc, AP_OK);
    tp_ = tp_of(started);
  }
  void TearDown() override { WinAPPCCleanup(); }

  std::uint32_t allocate(const char* tp_name, std::uint8_t sync_level = AP_NONE) {
    vcb_block allocated = run_allocate(tp_, "HOSTLU", tp_name, "#INTER", sync_level);
    EXPECT_EQ(allocated.header.primary_rc, AP_OK);
    return allocated.allocate.conv_id;
  }
  std::uint8_t state_of(std::uint32_t conv_id) {
    vcb_block state = run_get_state(tp_, conv_id);
    EXPECT_EQ(state.header.primary_rc, AP_OK);
    return state.getstate.conv_state;
  }

  static test_node* node_;
  test_tp_id tp_{};
  unsigned char buffer_[5000] = {};
};

test_node* EngineTest::node_ = nullptr;

std::string received(const vcb_block& block, const unsigned char* buffer) {
  return std::string(reinterpret_cast<const char*>(buffer), block.rcvwait.dlen);
}

void expect_codes(const vcb_block& block, std::uint16_t primary_rc, std::uint32_t secondary_rc) {
  EXPECT_EQ(block.header.primary_rc, primary_rc);
  EXPECT_EQ(block.header.secondary_rc, secondary_rc);
}

TEST_F(EngineTest, SendThenReceiveGetsTheReplyAndTheNormalEndInOneVerb) {
  std::uint32_t conv_id = allocate("ECHOTP");
  EXPECT_NE(conv_id, 0u);
  EXPECT_EQ(state_of(conv_id), AP_SEND_STATE);
  expect_codes(run_send_data(tp_, conv_id, ebcdic("0001 HELLO")), AP_OK, AP_NO_SECONDARY_RC);
  vcb_block reply = run_receive(tp_, conv_id, 5000, buffer_);
  expect_codes(reply, AP_DEALLOC_NORMAL, AP_NO_SECONDARY_RC);
  EXPECT_EQ(reply.rcvwait.what_rcvd, AP_DATA_COMPLETE);
  EXPECT_EQ(ascii(received(reply, buffer_)), "0001 HELLO");
  // The conversation is over: its identifier names nothing now.
  expect_codes(run_deallocate(tp_, conv_id, AP_FLUSH), AP_PARAMETER_CHECK, AP_BAD_CONV_ID);
  expect_codes(run_tp_ended(tp_), AP_OK, AP_NO_SECONDARY_RC);
}

TEST_F(EngineTest, RefusesUnknownNamesAndIdentifiers) {
  std::uint32_t conv_id = allocate("KEEPTP");
  test_tp_id unknown_tp{1, 2, 3, 4, 5, 6, 7, 8};
  struct refusal_case {
    const char* what;
    std::function<vcb_block()> verb;
    std::uint32_t secondary_rc;
  };
  const refusal_case cases[] = {
      {"unknown local LU", [] { return run_tp_started("NOSUCHLU", "NETGATE"); },
       AP_BAD_LOCAL_LU_ALIAS},
      {"unknown partner LU",
       [&] { return run_allocate(tp_, "NOSUCHLU", "ECHOTP", "#INTER", AP_NONE); },
       AP_BAD_REMOTE_LU_ALIAS},
      {"unknown mode", [&] { return run_allocate(tp_, "HOSTLU", "ECHOTP", "#BATCH", AP_NONE); },
       AP_UNKNOWN_PARTNER_MODE},
      {"bad sync level", [&] { return run_allocate(tp_, "HOSTLU", "ECHOTP", "#INTER", 7); },
       AP_BAD_SYNC_LEVEL},
      {"unknown TP on allocate",
       [&] { return run_allocate(unknown_tp, "HOSTLU", "ECHOTP", "#INTER", AP_NONE); },
       AP_BAD_TP_ID},
      {"unknown TP on send", [&] { return run_send_data(unknown_tp, conv_id, "X"); },
       AP_BAD_TP_ID},
      {"unknown TP on end", [&] { return run_tp_ended(unknown_tp); }, AP_BAD_TP_ID},
      {"unknown conversation on send", [&] { return run_send_data(tp_, conv_id + 1000, "X"); },
       AP_BAD_CONV_ID},
      {"unknown conversation on receive",
       [&] { return run_receive(tp_, conv_id + 1000, 10, buffer_); }, AP_BAD_CONV_ID},
      {"unknown conversation on state", [&] { return run_get_state(tp_, conv_id + 1000); },
       AP_BAD_CONV_ID},
      {"confirm on sync level none", [&] { return run_confirm(tp_, conv_id); },
       AP_CONFIRM_ON_SYNC_LEVEL_NONE},
      {"unknown deallocate type", [&] { return run_deallocate(tp_, conv_id, 9); },
       AP_DEALLOC_BAD_TYPE},
      {"unknown send type", [&] { return run_send_data(tp_, conv_id, "X", 7); },
       AP_SEND_DATA_INVALID_TYPE},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.what);
    expect_codes(c.verb(), AP_PARAMETER_CHECK, c.secondary_rc);
  }
  // None of them disturbed the conversation.
  EXPECT_EQ(state_of(conv_id), AP_SEND_STATE);
}

TEST_F(EngineTest, VerbsInTheWrongStateAreStateChecks) {
  std::uint32_t conv_id = allocate("ECHOTP", AP_CONFIRM_SYNC_LEVEL);
  expect_codes(run_confirmed(tp_, conv_id), AP_STATE_CHECK, AP_CONFIRMED_BAD_STATE);
  expect_codes(run_send_data(tp_, conv_id, ebcdic("0123456789")), AP_OK, AP_NO_SECONDARY_RC);
  // A record longer than the maximum comes in pieces; between them the conversation is in
  // receive state.
  vcb_block piece = run_receive(tp_, conv_id, 4, buffer_);
  expect_codes(piece, AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(piece.rcvwait.what_rcvd, AP_DATA_INCOMPLETE);
  EXPECT_EQ(ascii(received(piece, buffer_)), "0123");
  EXPECT_EQ(state_of(conv_id), AP_RECEIVE_STATE);
  struct state_case {
    const char* what;
    std::function<vcb_block()> verb;
    std::uint32_t secondary_rc;
  };
  const state_case cases[] = {
      {"send", [&] { return run_send_data(tp_, conv_id, "X"); }, AP_SEND_DATA_NOT_SEND_STATE},
      {"deallocate flush", [&] { return run_deallocate(tp_, conv_id, AP_FLUSH); },
       AP_DEALLOC_FLUSH_BAD_STATE},
      {"deallocate sync level", [&] { return run_deallocate(tp_, conv_id, AP_SYNC_LEVEL); },
       AP_DEALLOC_CONFIRM_BAD_STATE},
      {"confirm", [&] { return run_confirm(tp_, conv_id); }, AP_CONFIRM_BAD_STATE},
      {"confirmed", [&] { return run_confirmed(tp_, conv_id); }, AP_CONFIRMED_BAD_STATE},
  };
  for (const state_case& c : cases) {
    SCOPED_TRACE(c.what);
    expect_codes(c.verb(), AP_STATE_CHECK, c.secondary_rc);
  }
  vcb_block second = run_receive(tp_, conv_id, 4, buffer_);
  EXPECT_EQ(second.rcvwait.what_rcvd, AP_DATA_INCOMPLETE);
  EXPECT_EQ(ascii(received(second, buffer_)), "4567");
  vcb_block last = run_receive(tp_, conv_id, 4, buffer_);
  expect_codes(last, AP_DEALLOC_NORMAL, AP_NO_SECONDARY_RC);
  EXPECT_EQ(last.rcvwait.what_rcvd, AP_DATA_COMPLETE);
  EXPECT_EQ(ascii(received(last, buffer_)), "89");
}

TEST_F(EngineTest, WithoutStatusWithDataTheStatusComesOnTheNextReceive) {
  std::uint32_t conv_id = allocate("ECHOTP");
  run_send_data(tp_, conv_id, ebcdic("ABC"));
  vcb_block data = run_receive(tp_, conv_id, 100, buffer_, 0);
  expect_codes(data, AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(data.rcvwait.what_rcvd, AP_DATA_COMPLETE);
  EXPECT_EQ(data.rcvwait.dlen, 3);
  vcb_block status = run_receive(tp_, conv_id, 100, buffer_, 0);
  expect_codes(status, AP_DEALLOC_NORMAL, AP_NO_SECONDARY_RC);
  EXPECT_EQ(status.rcvwait.dlen, 0);
  expect_codes(run_receive(tp_, conv_id, 100, buffer_, 2), AP_PARAMETER_CHECK, AP_BAD_CONV_ID);
}

TEST_F(EngineTest, AKeptConversationTurnsAroundWithDataCompleteSend) {
  std::uint32_t conv_id = allocate("KEEPTP");
  for (const char* message : {"FIRST", "SECOND MESSAGE"}) {
    SCOPED_TRACE(message);
    run_send_data(tp_, conv_id, ebcdic(message));
    vcb_block reply = run_receive(tp_, conv_id, 5000, buffer_);
    expect_codes(reply, AP_OK, AP_NO_SECONDARY_RC);
    EXPECT_EQ(reply.rcvwait.what_rcvd, AP_DATA_COMPLETE_SEND);
    EXPECT_EQ(ascii(received(reply, buffer_)), message);
    EXPECT_EQ(state_of(conv_id), AP_SEND_STATE);
  }
  // A receive with the status held back sees the data, then the turn on its own.
  run_send_data(tp_, conv_id, ebcdic("THIRD"));
  EXPECT_EQ(run_receive(tp_, conv_id, 5000, buffer_, 0).rcvwait.what_rcvd, AP_DATA_COMPLETE);
  EXPECT_EQ(run_receive(tp_, conv_id, 5000, buffer_, 0).rcvwait.what_rcvd, AP_SEND);
  expect_codes(run_deallocate(tp_, conv_id, AP_FLUSH), AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(run_get_state(tp_, conv_id).header.secondary_rc, AP_BAD_CONV_ID);
}

TEST_F(EngineTest, ConfirmAndConfirmedDeallocationWithAHostTp) {
  std::uint32_t conv_id = allocate("KEEPTP", AP_CONFIRM_SYNC_LEVEL);
  run_send_data(tp_, conv_id, ebcdic("CONFIRM ME"));
  expect_codes(run_confirm(tp_, conv_id), AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(state_of(conv_id), AP_SEND_STATE);
  // The host confirms the deallocation: the verb returns only once it has.
  expect_codes(run_deallocate(tp_, conv_id, AP_SYNC_LEVEL), AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(run_get_state(tp_, conv_id).header.secondary_rc, AP_BAD_CONV_ID);
}

TEST_F(EngineTest, UnservedTpNamesAreRefusedOnTheFirstVerbThatReachesThePartner) {
  struct unserved_case {
    const char* tp_name;
    std::uint32_t secondary_rc;
  };
  const unserved_case cases[] = {
      {"NOBODY", AP_TP_NAME_NOT_RECOGNIZED},
      {"LATE", AP_TRANS_PGM_NOT_AVAIL_RETRY},  // a local TP whose program never asks
  };
  for (const unserved_case& c : cases) {
    SCOPED_TRACE(c.tp_name);
    std::uint32_t conv_id = allocate(c.tp_name);
    expect_codes(run_send_data(tp_, conv_id, "DATA"), AP_OK, AP_NO_SECONDARY_RC);
    expect_codes(run_receive(tp_, conv_id, 100, buffer_), AP_ALLOCATION_ERROR, c.secondary_rc);
    expect_codes(run_deallocate(tp_, conv_id, AP_FLUSH), AP_PARAMETER_CHECK, AP_BAD_CONV_ID);
  }
}

TEST_F(EngineTest, SendConversationDeliversOneMessageAndEnds) {
  expect_codes(run_send_conversation(tp_, "HOSTLU", "ECHOTP", "#INTER", ebcdic("ONE SHOT")),
               AP_OK, AP_NO_SECONDARY_RC);
  expect_codes(run_send_conversation(tp_, "HOSTLU", "NOBODY", "#INTER", "X"),
               AP_ALLOCATION_ERROR, AP_TP_NAME_NOT_RECOGNIZED);
  expect_codes(run_send_conversation(tp_, "HOSTLU", "ECHOTP", "#BATCH", "X"), AP_PARAMETER_CHECK,
               AP_UNKNOWN_PARTNER_MODE);
}

// The second program of a conversation, in a child process with its own connection. The child
// reports through its exit code: 0 when every check held, else the number of the first failed
// check.
class peer_checks {
 public:
  void check(bool condition) {
    ++count_;
    if (!condition && failed_ == 0) failed_ = count_;
  }
  int result() const { return failed_; }

 private:
  int count_ = 0;
  int failed_ = 0;
};

pid_t start_peer(const std::function<void(peer_checks&)>& program) {
  pid_t pid = fork();
  if (pid == 0) {
    peer_checks checks;
    WinAPPCCleanup();  // the parent's connection, closed in this process only
    checks.check(WinAPPCStartup(winappc_version_requested, nullptr) == 0);
    program(checks);
    WinAPPCCleanup();
    _exit(checks.result());
  }
  return pid;
}

int peer_result(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The calling side in the child: allocate SERVER, send the request, receive.
std::function<void(peer_checks&)> caller(const std::string& request, std::uint8_t sync_level,
                                         std::function<void(peer_checks&, const test_tp_id&,
                                                            std::uint32_t)> then) {
  return [=](peer_checks& checks) {
    vcb_block started = run_tp_started("LOCALLU", "PROBEOUT");
    test_tp_id tp = tp_of(started);
    vcb_block allocated = run_allocate(tp, "HOSTLU", "SERVER", "#INTER", sync_level);
    checks.check(allocated.header.primary_rc == AP_OK);
    checks.check(run_send_data(tp, allocated.allocate.conv_id, request).header.primary_rc ==
                 AP_OK);
    then(checks, tp, allocated.allocate.conv_id);
  };
}

TEST_F(EngineTest, ALocalProgramServesAConversationFromAnother) {
  pid_t peer = start_peer(caller("REQUEST", AP_NONE, [](peer_checks& checks, const test_tp_id& tp,
                                                        std::uint32_t conv_id) {
    unsigned char reply[40];
    vcb_block received_reply = run_receive(tp, conv_id, sizeof reply, reply);
    checks.check(received_reply.header.primary_rc == AP_DEALLOC_NORMAL);
    checks.check(received_reply.rcvwait.what_rcvd == AP_DATA_COMPLETE);
    checks.check(std::string(reinterpret_cast<char*>(reply), received_reply.rcvwait.dlen) ==
                 "RESPONSE");
  }));
  vcb_block attached = run_receive_allocate("SERVER");
  expect_codes(attached, AP_OK, AP_NO_SECONDARY_RC);
  test_tp_id server = tp_of(attached);
  std::uint32_t conv_id = attached.rcvalloc.conv_id;
  EXPECT_EQ(run_get_state(server, conv_id).getstate.conv_state, AP_RECEIVE_STATE);
  vcb_block request = run_receive(server, conv_id, 5000, buffer_);
  expect_codes(request, AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(request.rcvwait.what_rcvd, AP_DATA_COMPLETE_SEND);
  EXPECT_EQ(received(request, buffer_), "REQUEST");
  EXPECT_EQ(run_get_state(server, conv_id).getstate.conv_state, AP_SEND_STATE);
  expect_codes(run_send_data(server, conv_id, "RESPONSE"), AP_OK, AP_NO_SECONDARY_RC);
  expect_codes(run_deallocate(server, conv_id, AP_FLUSH), AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(peer_result(peer), 0);
}

TEST_F(EngineTest, ConfirmationBetweenTwoLocalPrograms) {
  pid_t peer = start_peer(caller("CHECK", AP_CONFIRM_SYNC_LEVEL,
                                 [](peer_checks& checks, const test_tp_id& tp,
                                    std::uint32_t conv_id) {
                                   checks.check(run_confirm(tp, conv_id).header.primary_rc ==
                                                AP_OK);
                                   checks.check(run_deallocate(tp, conv_id, AP_FLUSH)
                                                    .header.primary_rc == AP_OK);
                                 }));
  vcb_block attached = run_receive_allocate("SERVER");
  test_tp_id server = tp_of(attached);
  std::uint32_t conv_id = attached.rcvalloc.conv_id;
  vcb_block data = run_receive(server, conv_id, 5000, buffer_);
  expect_codes(data, AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(data.rcvwait.what_rcvd, AP_DATA_COMPLETE_CONFIRM);
  EXPECT_EQ(run_get_state(server, conv_id).getstate.conv_state, AP_CONFIRM_STATE);
  expect_codes(run_receive(server, conv_id, 10, buffer_), AP_STATE_CHECK,
               AP_RCV_AND_WAIT_BAD_STATE);
  expect_codes(run_confirmed(server, conv_id), AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(run_get_state(server, conv_id).getstate.conv_state, AP_RECEIVE_STATE);
  vcb_block end = run_receive(server, conv_id, 10, buffer_);
  expect_codes(end, AP_DEALLOC_NORMAL, AP_NO_SECONDARY_RC);
  EXPECT_EQ(peer_result(peer), 0);
}

TEST_F(EngineTest, AnEndedOrVanishedPartnerShowsOnTheNextVerb) {
  // The child ends its TP in send state: what it sent still arrives, then the abnormal end.
  pid_t peer = start_peer([](peer_checks& checks) {
    vcb_block attached = run_receive_allocate("SERVER");
    test_tp_id tp = tp_of(attached);
    unsigned char message[100];
    vcb_block request = run_receive(tp, attached.rcvalloc.conv_id, sizeof message, message);
    checks.check(request.rcvwait.what_rcvd == AP_DATA_COMPLETE_SEND);
    checks.check(run_send_data(tp, attached.rcvalloc.conv_id, "ACK").header.primary_rc == AP_OK);
    checks.check(run_tp_ended(tp).header.primary_rc == AP_OK);
  });
  std::uint32_t conv_id = allocate("SERVER");
  run_send_data(tp_, conv_id, "HELLO");
  vcb_block ack = run_receive(tp_, conv_id, 100, buffer_);
  expect_codes(ack, AP_OK, AP_NO_SECONDARY_RC);
  EXPECT_EQ(received(ack, buffer_), "ACK");
  expect_codes(run_deallocate(tp_, conv_id, AP_FLUSH), AP_DEALLOC_ABEND_SVC, AP_NO_SECONDARY_RC);
  EXPECT_EQ(peer_result(peer), 0);

  // The child's process ends while this side waits for its reply.
  peer = start_peer([](peer_checks& checks) {
    vcb_block attached = run_receive_allocate("SERVER");
    unsigned char message[100];
    vcb_block request =
        run_receive(tp_of(attached), attached.rcvalloc.conv_id, sizeof message, message);
    checks.check(request.header.primary_rc == AP_OK);
    _exit(checks.result());
  });
  conv_id = allocate("SERVER");
  run_send_data(tp_, conv_id, "HELLO");
  expect_codes(run_receive(tp_, conv_id, 100, buffer_), AP_CONV_FAILURE_NO_RETRY,
               AP_NO_SECONDARY_RC);
  EXPECT_EQ(peer_result(peer), 0);
}

TEST_F(EngineTest, AnAbendingPartnerAndAnUnreadBacklogAreReported) {
  pid_t peer = start_peer([](peer_checks& checks) {
    vcb_block attached = run_receive_allocate("SERVER");
    unsigned char message[100];
    test_tp_id tp = tp_of(attached);
    run_receive(tp, attached.rcvalloc.conv_id, sizeof message, message);
    checks.check(run_deallocate(tp, attached.rcvalloc.conv_id, AP_ABEND).header.primary_rc ==
                 AP_OK);
  });
  std::uint32_t conv_id = allocate("SERVER");
  run_send_data(tp_, conv_id, "HELLO");
  expect_codes(run_receive(tp_, conv_id, 100, buffer_), AP_DEALLOC_ABEND_PROG,
               AP_NO_SECONDARY_RC);
  EXPECT_EQ(peer_result(peer), 0);

  // The node holds at most conversation_byte_limit bytes that the partner has not received.
  conv_id = allocate("ECHOTP");
  std::string record(60000, 'x');
  int accepted = 0;
  while (accepted < 100 && run_send_data(tp_, conv_id, record).header.primary_rc == AP_OK) {
    ++accepted;
  }
  EXPECT_EQ(accepted, static_cast<int>(conversation_byte_limit / record.size()));
  EXPECT_EQ(run_send_data(tp_, conv_id, record).header.primary_rc, AP_UNSUCCESSFUL);
  expect_codes(run_deallocate(tp_, conv_id, AP_ABEND), AP_OK, AP_NO_SECONDARY_RC);
}

TEST_F(EngineTest, NothingIsLeftInTheNodeOnceItsClientsAreGone) {
  allocate("KEEPTP");
  allocate("SERVER");  // an attach nobody takes
  WinAPPCCleanup();
  // The node counts what remains whenever a client leaves; host TPs end on their own time, so
  // an empty client comes and goes until the count is in.
  std::string last_line;
  for (int attempt = 0; attempt < 100; ++attempt) {
    ASSERT_EQ(WinAPPCStartup(winappc_version_requested, nullptr), 0);
    WinAPPCCleanup();
    std::string log = node_->log_text();
    std::size_t end = log.rfind("remain");
    std::size_t start = log.rfind("client", end);
    if (end != std::string::npos && start != std::string::npos) {
      last_line = log.substr(start, end - start);
    }
    if (last_line.find(" 0 TPs and 0 conversations") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_NE(last_line.find(" 0 TPs and 0 conversations"), std::string::npos) << last_line;
  ASSERT_EQ(WinAPPCStartup(winappc_version_requested, nullptr), 0);
}

}  // namespace
