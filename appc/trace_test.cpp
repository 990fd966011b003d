#include "appc/trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "appc/appc_double.h"
#include "appc/log_capture.h"
#include "appc/verbs.h"

namespace {

constexpr unsigned char tp[tp_id_width] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
constexpr std::uint32_t conv = 0x12345678;
unsigned char buffer[16];

// The names of values the verb control block holds; the two without an argument read it.
const char* opcode(std::uint32_t v) { return opcode_name(static_cast<std::uint16_t>(v)); }
const char* rc1(std::uint32_t v) { return rc1_name(static_cast<std::uint16_t>(v)); }
const char* rc2(std::uint32_t v) { return rc2_name(v); }
const char* what(std::uint32_t v) {
  appc_vcb().rcvwait.what_rcvd = static_cast<std::uint16_t>(v);
  return what_rcvd_name();
}
const char* state(std::uint32_t v) {
  appc_vcb().getstate.conv_state = static_cast<std::uint8_t>(v);
  return conv_state_name();
}
const char* sync(std::uint32_t v) { return sync_level_name(static_cast<std::uint8_t>(v)); }
const char* dealloc(std::uint32_t v) { return dealloc_type_name(static_cast<std::uint8_t>(v)); }
const char* vcb_opcode(std::uint32_t v) {
  appc_vcb().header.opcode = static_cast<std::uint16_t>(v);
  return vcb_opcode_name();
}
const char* vcb_rc1(std::uint32_t v) {
  appc_vcb().header.primary_rc = static_cast<std::uint16_t>(v);
  return vcb_rc1_name();
}
const char* vcb_rc2(std::uint32_t v) {
  appc_vcb().header.secondary_rc = v;
  return vcb_rc2_name();
}

struct NameCase {
  const char* (*name_of)(std::uint32_t);
  std::uint32_t value;
  const char* name;
};

TEST(TraceNames, NameEveryTabledValueAndUnknownOtherwise) {
  const NameCase cases[] = {
      {opcode, 0x0000, "NONE"},
      {opcode, 0x0001, "AP_M_ALLOCATE"},
      {opcode, 0x0002, "UNKNOWN"},
      {opcode, 0x000F, "AP_M_SEND_DATA"},
      {opcode, 0x0011, "UNKNOWN"},
      {opcode, 0x0018, "AP_M_SEND_CONVERSATION"},
      {opcode, 0x0094, "AP_TP_STARTED_EX"},
      {opcode, 0x0100, "UNKNOWN"},  // MC_ALLOCATE's code with its bytes swapped
      {rc1, 0x0000, "AP_OK"},
      {rc1, 0x0900, "AP_DEALLOC_NORMAL"},
      {rc1, 0x0009, "UNKNOWN"},
      {rc1, 0x1234, "UNKNOWN"},
      {rc1, 0x2200, "AP_SECURITY_REQUESTED_NOT_SUPPORTED"},
      {rc1, 0xEEEE, "AP_MY_ERROR"},
      {rc1, 0xFFFF, "AP_INVALID_VERB"},
      {rc2, 0x00000000, "NONE"},
      {rc2, 0x01000000, "AP_BAD_TP_ID"},
      {rc2, 0x00000001, "UNKNOWN"},
      {rc2, 0x0BFF0F08, "AP_SECURITY_NOT_VALID_NOT_AUTHORIZED_TO_TRANSACTION_PROGRAM"},
      {rc2, 0xF0000001, "NO ACTIVE NODES"},
      {rc2, 0xF0000002, "NO ACTIVE NODES FOR THIS LOCAL LU"},
      {rc2, 0xF6000000, "AP_SEND_DATA_NOT_LL_BDY"},
      {rc2, 0xFFFFFFFF, "UNKNOWN"},
      {what, 0x0001, "AP_SEND"},
      {what, 0x0100, "AP_DATA"},
      {what, 0x0204, "AP_DATA_COMPLETE_CONFIRM_DEALL"},
      {what, 0x0400, "AP_DATA_INCOMPLETE"},
      {what, 0x0000, "UNKNOWN"},
      {what, 0x0500, "UNKNOWN"},
      {state, 0x01, "AP_RESET_STATE"},
      {state, 0x0A, "AP_SEND_PENDING_STATE"},
      {state, 0x00, "UNKNOWN"},
      {state, 0x0B, "UNKNOWN"},
      {sync, 0x00, "AP_NONE"},
      {sync, 0x01, "AP_CONFIRM_SYNC_LEVEL"},
      {sync, 0x02, "UNKNOWN"},
      {dealloc, 0x00, "AP_SYNC_LEVEL"},
      {dealloc, 0x01, "AP_FLUSH"},
      {dealloc, 0x05, "AP_ABEND"},
      {dealloc, 0x02, "UNKNOWN"},
      {vcb_opcode, 0x0016, "AP_RECEIVE_ALLOCATE"},
      {vcb_rc1, 0x1503, "AP_SESSION_DEACTIVATED"},
      {vcb_rc2, 0x31604B08, "AP_TRANS_PGM_NOT_AVAIL_RETRY"},
      {vcb_rc2, 0x00000808, "UNKNOWN"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_STREQ(c.name_of(c.value), c.name);
  }
}

struct ListRow {
  std::uint32_t value;
  const char* name;
};

struct TableCase {
  const char* table;
  const char* (*name_of)(std::uint32_t);
  std::vector<ListRow> rows;
  std::size_t tabled;
};

// Every row of every list answers with its own name: no value is listed twice, and the lists
// hold as many rows as the gateway names.
TEST(TraceNames, EveryRowOfEveryListAnswersWithItsOwnName) {
#define ROW(ident, value, text) ListRow{value, text},
  const TableCase tables[] = {
      {"operation codes", opcode, {WINAPPC_OPCODES(ROW)}, 26},
      {"primary return codes", rc1, {WINAPPC_PRIMARY_RCS(ROW)}, 40},
      {"secondary return codes", rc2, {WINAPPC_SECONDARY_RCS(ROW)}, 97},
      {"what received", what, {WINAPPC_WHAT_RECEIVED(ROW)}, 16},
      {"conversation states", state, {WINAPPC_CONV_STATES(ROW)}, 10},
      {"sync levels", sync, {WINAPPC_SYNC_LEVELS(ROW)}, 2},
      {"deallocate types", dealloc, {WINAPPC_DEALLOC_TYPES(ROW)}, 3},
  };
#undef ROW
  for (const TableCase& t : tables) {
    SCOPED_TRACE(t.table);
    EXPECT_EQ(t.rows.size(), t.tabled);
    for (const ListRow& row : t.rows) EXPECT_STREQ(t.name_of(row.value), row.name);
  }
}

TEST(TraceNames, EachFunctionKeepsItsOwnBuffer) {
  const char* first = rc1_name(0x0900);
  const char* second = rc1_name(0x0000);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "AP_OK");

  const char* operation = opcode_name(0x0005);
  const char* secondary = rc2_name(0x02000000);
  const char* synchronisation = sync_level_name(1);
  const char* deallocation = dealloc_type_name(5);
  appc_vcb().rcvwait.what_rcvd = 0x0100;
  const char* received = what_rcvd_name();
  appc_vcb().getstate.conv_state = 0x02;  // shares offset 24 with what received
  const char* conversation = conv_state_name();
  rc1_name(0x0100);
  EXPECT_STREQ(operation, "AP_M_DEALLOCATE");
  EXPECT_STREQ(secondary, "AP_BAD_CONV_ID");
  EXPECT_STREQ(synchronisation, "AP_CONFIRM_SYNC_LEVEL");
  EXPECT_STREQ(deallocation, "AP_ABEND");
  EXPECT_STREQ(received, "AP_DATA");
  EXPECT_STREQ(conversation, "AP_SEND_STATE");
  EXPECT_STREQ(first, "AP_PARAMETER_CHECK");

  EXPECT_EQ(vcb_opcode_name(), opcode_name(0));
  EXPECT_EQ(vcb_rc1_name(), first);
  EXPECT_EQ(vcb_rc2_name(), rc2_name(0));
}

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log.attached());
    appc_double_reset();
    std::memset(buffer, 0, sizeof buffer);
  }
  void TearDown() override { appc_double_reset(); }
  log_capture log;
};

struct TraceCase {
  const char* name;
  appc_reply reply;
  void (*issue)();
  std::string lines;
};

constexpr char ok_lines[] = "RC1 : 0000      AP_OK\nRC2 : 00000000  NONE\n";

// Each verb through the stand-in, then its trace: whole lines as an operator reads them.
TEST_F(Trace, WritesTheLinesOfEachVerbKind) {
  const std::string ok = ok_lines;
  const std::string receive = "OPER: 000B      AP_M_RECEIVE_AND_WAIT\n";
  const TraceCase cases[] = {
      {"deallocate",
       {},
       [] { appc_mc_deallocate_flush(conv, tp); },
       "OPER: 0005      AP_M_DEALLOCATE\n" + ok + "\n"},
      {"allocate",
       {.conv_id = 0xFFFFFFFF},
       [] {
         std::uint32_t id = 0;
         appc_mc_allocate(&id, tp, "HOSTLU", "HOSTTP", "MODE1", 0);
       },
       "OPER: 0001      AP_M_ALLOCATE\n" + ok + "CONV_ID: 4294967295\n\n"},
      {"allocate failed",
       {.primary_rc = 0x0300, .secondary_rc = 0x05000000},
       [] {
         std::uint32_t id = 0;
         appc_mc_allocate(&id, tp, "HOSTLU", "HOSTTP", "MODE1", 0);
       },
       "OPER: 0001      AP_M_ALLOCATE\nRC1 : 0300      AP_ALLOCATION_ERROR\n"
       "RC2 : 05000000  AP_ALLOCATION_FAILURE_RETRY\nCONV_ID: 0\n\n"},
      {"get state",
       {.conv_state = 0x03},
       [] {
         std::uint8_t s = 0;
         appc_get_state(conv, tp, &s);
       },
       "OPER: 0009      AP_GET_STATE\n" + ok + "STAT: 03        AP_RECEIVE_STATE\n\n"},
      {"receive",
       {.what_received = 0x0200, .data = {'H', 'E', 'L', 'L', 'O'}},
       [] {
         std::uint16_t length, what;
         appc_mc_receive_and_wait(conv, tp, sizeof buffer, buffer, &length, &what);
       },
       receive + ok + "WHAT: 0200      AP_DATA_COMPLETE\nSIZE: 5\nDATA: [HELLO]\n\n"},
      {"receive nothing",
       {.what_received = 0x0001},
       [] {
         std::uint16_t length, what;
         appc_mc_receive_and_wait(conv, tp, sizeof buffer, buffer, &length, &what);
       },
       receive + ok + "WHAT: 0001      AP_SEND\nSIZE: 0\n\n"},
      {"zero at the fourth byte",
       {.what_received = 0x0200, .data = {'A', 'B', 'C', 0, 'E', 'F', 'G', 'H', 'I', 'J'}},
       [] {
         std::uint16_t length, what;
         appc_mc_receive_and_wait(conv, tp, sizeof buffer, buffer, &length, &what);
       },
       receive + ok + "WHAT: 0200      AP_DATA_COMPLETE\nSIZE: 10\nDATA: [ABC       ]\n\n"},
      {"unconverted data, lower-case what",
       {.what_received = 0x0A0B, .data = {0xC1}},
       [] {
         std::uint16_t length, what;
         appc_mc_receive_and_wait(conv, tp, sizeof buffer, buffer, &length, &what);
       },
       receive + ok + "WHAT: 0a0b      UNKNOWN\nSIZE: 1\nDATA: [\xC1]\n\n"},
      {"length beyond the buffer",
       {.primary_rc = 0x0900,
        .what_received = 0x0400,
        .data = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}},
       [] {
         // Bytes past the maximum length belong to the caller, not to the received data.
         std::memset(buffer, 'x', sizeof buffer);
         std::uint16_t length, what;
         appc_mc_receive_and_wait(conv, tp, 4, buffer, &length, &what);
       },
       receive + "RC1 : 0900      AP_DEALLOC_NORMAL\nRC2 : 00000000  NONE\n"
                 "WHAT: 0400      AP_DATA_INCOMPLETE\nSIZE: 8\nDATA: [ABCD    ]\n\n"},
      {"tp started",
       {.tp_id = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}},
       [] {
         unsigned char* id = nullptr;
         appc_tp_started(&id, "LUA", "NETGATETP");
         std::free(id);
       },
       "OPER: 0014      AP_TP_STARTED\n" + ok + "TP_ID  : 0123456789ABCDEF\n\n"},
      {"receive allocate",
       {.tp_id = {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}, .conv_id = conv},
       [] {
         std::uint32_t id = 0;
         unsigned char* tp_id = nullptr;
         appc_receive_allocate(&id, &tp_id, "HOSTGATETP");
         std::free(tp_id);
       },
       "OPER: 0016      AP_RECEIVE_ALLOCATE\n" + ok +
           "CONV_ID: 305419896\nTP_ID  : FEDCBA9876543210\n\n"},
      {"send data failed",
       {.primary_rc = 0x0F00, .secondary_rc = 0xF2000000},
       [] { appc_mc_send_data(conv, tp, buffer, 5); },
       "vcb.snddata.dlen = 5 \nOPER: 000F      AP_M_SEND_DATA\nRC1 : 0F00      "
       "AP_CONV_FAILURE_RETRY\n"
       "RC2 : F2000000  AP_SEND_DATA_NOT_SEND_STATE\n\n"},
      {"unknown codes",
       {.primary_rc = 0x1234, .secondary_rc = 0x00000001},
       [] { appc_tp_ended(tp); },
       "OPER: 0013      AP_TP_ENDED\nRC1 : 1234      UNKNOWN\nRC2 : 00000001  UNKNOWN\n\n"},
  };
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const std::string before = log.text();
    appc_double_queue_reply(c.reply);
    c.issue();
    appc_trace();
    EXPECT_EQ(log.text().substr(before.size()), c.lines);
  }
}

// The trace reads only the block: an operation code without a verb of its own, and a receive
// whose buffer address the platform cleared.
TEST_F(Trace, ReportsWhateverTheBlockHolds) {
  std::memset(&appc_vcb(), 0, sizeof(vcb_block));
  appc_vcb().header.opcode = 0x0002;
  appc_vcb().header.primary_rc = 0xFFFF;
  appc_vcb().header.secondary_rc = 0xF0000001;
  appc_trace();
  EXPECT_EQ(log.text(),
            "OPER: 0002      UNKNOWN\nRC1 : FFFF      AP_INVALID_VERB\nRC2 : F0000001  NO ACTIVE "
            "NODES\n\n");

  std::memset(&appc_vcb(), 0, sizeof(vcb_block));
  appc_vcb().header.opcode = AP_M_RECEIVE_AND_WAIT;
  appc_vcb().rcvwait.max_len = 5000;
  appc_vcb().rcvwait.dlen = 3;
  const std::string before = log.text();
  appc_trace();
  EXPECT_EQ(log.text().substr(before.size()),
            std::string("OPER: 000B      AP_M_RECEIVE_AND_WAIT\n") + ok_lines +
                "WHAT: 0000      UNKNOWN\nSIZE: 3\nDATA: [   ]\n\n");
}

TEST_F(Trace, StateLineOrTheFailedGetStateTrace) {
  const struct {
    const char* name;
    appc_reply reply;
    const char* lines;
  } cases[] = {
      {"send state", {.conv_state = 0x02}, "-- Conversation state is AP_SEND_STATE --\n\n"},
      {"state without a name", {.conv_state = 0x0B}, "-- Conversation state is UNKNOWN --\n\n"},
      {"unknown conversation",
       {.primary_rc = 0x0100, .secondary_rc = 0x02000000},
       "OPER: 0009      AP_GET_STATE\nRC1 : 0100      AP_PARAMETER_CHECK\n"
       "RC2 : 02000000  AP_BAD_CONV_ID\nSTAT: 00        UNKNOWN\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const std::string before = log.text();
    appc_double_queue_reply(c.reply);
    appc_trace_state(conv, tp);
    EXPECT_EQ(log.text().substr(before.size()), c.lines);
    ASSERT_EQ(appc_double_verbs().size(), 1u);
    const vcb_block& asked = appc_double_verbs()[0].block;
    EXPECT_EQ(asked.getstate.header.opcode, AP_GET_STATE);
    EXPECT_EQ(asked.getstate.conv_id, conv);
    EXPECT_EQ(std::memcmp(asked.getstate.tp_id, tp, tp_id_width), 0);
  }
}

}  // namespace
