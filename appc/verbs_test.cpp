#include "appc/verbs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "appc/appc_double.h"
#include "appc/charset.h"
#include "appc/log_capture.h"

namespace {

using bytes = std::vector<unsigned char>;

constexpr unsigned char tp[tp_id_width] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
constexpr std::uint32_t conv = 0x12345678;
unsigned char send_buffer[32];
unsigned char receive_buffer[16];

bytes u16(std::uint16_t value) {
  return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
}
bytes u32(std::uint32_t value) {
  return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
          static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}
bytes address(const void* pointer) {
  bytes representation(sizeof pointer);
  std::memcpy(representation.data(), &pointer, sizeof pointer);
  return representation;
}
bytes tp_bytes() { return bytes(tp, tp + tp_id_width); }
// A name as the host should see it in an ASCII field: cut at the width, blank-padded.
bytes ascii(const std::string& name, std::size_t width) {
  bytes field(width, 0x20);
  std::memcpy(field.data(), name.data(), std::min(name.size(), width));
  return field;
}
// The same, then through CONVERT as a whole, padding included. The partner TP name of the
// wrapper table holds ']', which CONVERT renders differently from the message table, so the
// fields prove the path their names took.
bytes ebcdic(const std::string& name, std::size_t width) {
  bytes field = ascii(name, width);
  csv_to_ebcdic(field.data(), static_cast<std::int32_t>(width));
  return field;
}
// EBCDIC bytes written out, then EBCDIC blanks (0x40) up to the width.
bytes ebcdic_literal(bytes leading, std::size_t width) {
  leading.resize(width, 0x40);
  return leading;
}

struct field {
  std::size_t offset;
  bytes value;
};

// The offsets (within the 212 bytes) where block differs from the expected block: the given
// fields at their offsets and zeros everywhere else.
std::string differences(const vcb_block& block, const std::vector<field>& fields) {
  unsigned char expected[vcb_size] = {};
  for (const field& f : fields) std::memcpy(expected + f.offset, f.value.data(), f.value.size());
  std::string report;
  for (std::size_t i = 0; i < vcb_size; ++i) {
    if (block.bytes[i] != expected[i]) {
      char line[64];
      std::snprintf(line, sizeof line, "offset %zu: %02X, expected %02X\n", i, block.bytes[i],
                    expected[i]);
      report += line;
    }
  }
  return report;
}

class Verbs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log.attached());
    start_case();
  }
  void start_case() {
    appc_double_reset();
    // Left over from an earlier verb: every wrapper must clear it all.
    std::memset(&appc_vcb(), 0xA5, sizeof(vcb_block));
  }
  void TearDown() override { appc_double_reset(); }

  const appc_verb_call& only_call() {
    static const appc_verb_call none{};
    EXPECT_EQ(appc_double_verbs().size(), 1u);
    return appc_double_verbs().empty() ? none : appc_double_verbs().back();
  }

  log_capture log;
};

struct WrapperCase {
  const char* name;
  std::uint16_t (*issue)();
  std::vector<field> fields;
  const char* log_text;
};

// Every wrapper sets exactly its fields, hands the one block to APPC and returns the primary
// return code exactly as the block holds it.
TEST_F(Verbs, EveryWrapperSetsExactlyItsFields) {
  const std::size_t send_type_at = offsetof(mc_send_data_record, type);
  const WrapperCase cases[] = {
      {"tp_started",
       [] {
         unsigned char* id = nullptr;
         const std::uint16_t rc = appc_tp_started(&id, "LUA", "NETGATETP");
         std::free(id);
         return rc;
       },
       {{0, u16(0x0014)}, {12, ascii("LUA", 8)}, {28, ebcdic("NETGATETP", 64)}},
       ""},
      {"mc_allocate sync none",
       [] {
         std::uint32_t id = 0;
         return appc_mc_allocate(&id, tp, "HOSTLU", "HOST]TP", "MODE1", 0);
       },
       {{0, u16(0x0001)},
        {2, {1}},
        {12, tp_bytes()},
        {25, {0}},
        {28, {0}},
        {40, ascii("HOSTLU", 8)},
        {48, ebcdic("MODE1", 8)},
        {56, ebcdic("HOST]TP", 64)},
        {120, {0}}},
       ""},
      {"mc_allocate sync confirm",
       [] {
         std::uint32_t id = 0;
         return appc_mc_allocate(&id, tp, "HOSTLU", "HOST]TP", "MODE1", 1);
       },
       {{0, u16(0x0001)},
        {2, {1}},
        {12, tp_bytes()},
        {25, {1}},
        {40, ascii("HOSTLU", 8)},
        {48, ebcdic("MODE1", 8)},
        {56, ebcdic("HOST]TP", 64)}},
       ""},
      {"mc_allocate_confirm",
       [] {
         std::uint32_t id = 0;
         return appc_mc_allocate_confirm(&id, tp, "HOSTLU", "HOST]TP", "MODE1");
       },
       {{0, u16(0x0001)},
        {2, {1}},
        {12, tp_bytes()},
        {25, {1}},
        {40, ascii("HOSTLU", 8)},
        {48, ebcdic("MODE1", 8)},
        {56, ebcdic("HOST]TP", 64)}},
       ""},
      {"mc_deallocate type given",
       [] { return appc_mc_deallocate(conv, tp, 0x42); },
       {{0, u16(0x0005)}, {2, {1}}, {12, tp_bytes()}, {20, u32(conv)}, {25, {0x42}}},
       ""},
      {"mc_deallocate_flush",
       [] { return appc_mc_deallocate_flush(conv, tp); },
       {{0, u16(0x0005)}, {2, {1}}, {12, tp_bytes()}, {20, u32(conv)}, {25, {1}}},
       ""},
      {"mc_deallocate_abend",
       [] { return appc_mc_deallocate_abend(conv, tp); },
       {{0, u16(0x0005)}, {2, {1}}, {12, tp_bytes()}, {20, u32(conv)}, {25, {5}}},
       ""},
      {"mc_deallocate_sync",
       [] { return appc_mc_deallocate_sync(conv, tp); },
       {{0, u16(0x0005)}, {2, {1}}, {12, tp_bytes()}, {20, u32(conv)}, {25, {0}}},
       ""},
      {"mc_send_data",
       [] { return appc_mc_send_data(conv, tp, send_buffer, 300); },
       {{0, u16(0x000F)},
        {2, {1}},
        {12, tp_bytes()},
        {20, u32(conv)},
        {26, u16(300)},
        {28, address(send_buffer)},
        {send_type_at, {0}}},
       "vcb.snddata.dlen = 300 \n"},
      {"mc_send_conversation",
       [] { return appc_mc_send_conversation(tp, "HOSTLU", "HOST]TP", "MODE1", send_buffer, 5); },
       {{0, u16(0x0018)},
        {2, {1}},
        {12, tp_bytes()},
        {28, {0}},
        {40, ascii("HOSTLU", 8)},
        {48, ebcdic("MODE1", 8)},
        {56, ebcdic("HOST]TP", 64)},
        {120, {0}},
        {186, u16(5)},
        {188, address(send_buffer)}},
       ""},
      {"mc_confirm",
       [] { return appc_mc_confirm(conv, tp); },
       {{0, u16(0x0003)}, {2, {1}}, {12, tp_bytes()}, {20, u32(conv)}},
       ""},
      {"mc_confirmed",
       [] { return appc_mc_confirmed(conv, tp); },
       {{0, u16(0x0004)}, {2, {1}}, {12, tp_bytes()}, {20, u32(conv)}},
       ""},
      {"get_state",
       [] {
         std::uint8_t state = 0;
         return appc_get_state(conv, tp, &state);
       },
       {{0, u16(0x0009)}, {12, tp_bytes()}, {20, u32(conv)}},
       ""},
      {"receive_allocate",
       [] {
         std::uint32_t id = 0;
         unsigned char* tp_id = nullptr;
         const std::uint16_t rc = appc_receive_allocate(&id, &tp_id, "HOSTGATETP");
         std::free(tp_id);
         return rc;
       },
       {{0, u16(0x0016)}, {12, ebcdic("HOSTGATETP", 64)}},
       ""},
      {"mc_receive_and_wait",
       [] {
         std::uint16_t length = 0, what = 0;
         return appc_mc_receive_and_wait(conv, tp, 5000, receive_buffer, &length, &what);
       },
       {{0, u16(0x000B)},
        {2, {1}},
        {12, tp_bytes()},
        {20, u32(conv)},
        {26, {1}},
        {30, u16(5000)},
        {36, address(receive_buffer)}},
       ""},
      {"tp_ended",
       [] { return appc_tp_ended(tp); },
       {{0, u16(0x0013)}, {12, tp_bytes()}, {20, {0}}},
       ""},
  };
  for (const WrapperCase& c : cases) {
    SCOPED_TRACE(c.name);
    start_case();
    const std::string log_before = log.text();
    appc_double_queue_reply({.primary_rc = 0x0F00, .secondary_rc = 0xF2000000});
    EXPECT_EQ(c.issue(), 0x0F00);
    const appc_verb_call& call = only_call();
    EXPECT_EQ(call.address, &appc_vcb());
    EXPECT_EQ(differences(call.block, c.fields), "");
    EXPECT_EQ(log.text().substr(log_before.size()), c.log_text);
  }
}

TEST_F(Verbs, SendDataLogsTheLengthAsStored) {
  for (const std::uint16_t length : {0, 1, 5000, 65535}) {
    const std::string before = log.text();
    appc_mc_send_data(conv, tp, send_buffer, length);
    EXPECT_EQ(log.text().substr(before.size()),
              "vcb.snddata.dlen = " + std::to_string(length) + " \n");
  }
}

struct NameCase {
  const char* name;
  const char* lu_alias;
  const char* mode_name;
  std::string tp_name;
  bytes lu_field;
  bytes mode_field;
  bytes tp_field;
};

// LU aliases stay ASCII with ASCII blanks; mode and TP names reach the host in EBCDIC, blanks
// included; every name is cut at its field's width.
TEST_F(Verbs, NameFieldsArePaddedCutAndConverted) {
  const NameCase cases[] = {
      {"short names",
       "LUA",
       "MODE1",
       "NETGATE",
       {'L', 'U', 'A', 0x20, 0x20, 0x20, 0x20, 0x20},
       ebcdic_literal({0xD4, 0xD6, 0xC4, 0xC5, 0xF1}, 8),
       ebcdic_literal({0xD5, 0xC5, 0xE3, 0xC7, 0xC1, 0xE3, 0xC5}, 64)},
      {"names at their widths",
       "HOSTLU01",
       "BATCHMOD",
       std::string(64, 'A'),
       {'H', 'O', 'S', 'T', 'L', 'U', '0', '1'},
       {0xC2, 0xC1, 0xE3, 0xC3, 0xC8, 0xD4, 0xD6, 0xC4},
       bytes(64, 0xC1)},
      {"names too long",
       "HOSTLU01X",
       "BATCHMODE",
       std::string(70, 'T'),
       {'H', 'O', 'S', 'T', 'L', 'U', '0', '1'},
       {0xC2, 0xC1, 0xE3, 0xC3, 0xC8, 0xD4, 0xD6, 0xC4},
       bytes(64, 0xE3)},
      {"empty names", "", "", "", bytes(8, 0x20), bytes(8, 0x40), bytes(64, 0x40)},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const char* tp_name = c.tp_name.c_str();
    start_case();
    std::uint32_t id = 0;
    appc_mc_allocate(&id, tp, c.lu_alias, tp_name, c.mode_name, 0);
    appc_mc_send_conversation(tp, c.lu_alias, tp_name, c.mode_name, send_buffer, 1);
    unsigned char* started = nullptr;
    appc_tp_started(&started, c.lu_alias, tp_name);
    std::free(started);
    unsigned char* received = nullptr;
    appc_receive_allocate(&id, &received, tp_name);
    std::free(received);
    ASSERT_EQ(appc_double_verbs().size(), 4u);
    for (int verb = 0; verb < 2; ++verb) {
      const unsigned char* block = appc_double_verbs()[verb].block.bytes;
      EXPECT_EQ(bytes(block + 40, block + 48), c.lu_field);
      EXPECT_EQ(bytes(block + 48, block + 56), c.mode_field);
      EXPECT_EQ(bytes(block + 56, block + 120), c.tp_field);
    }
    const unsigned char* started_block = appc_double_verbs()[2].block.bytes;
    EXPECT_EQ(bytes(started_block + 12, started_block + 20), c.lu_field);
    EXPECT_EQ(bytes(started_block + 28, started_block + 92), c.tp_field);
    const unsigned char* received_block = appc_double_verbs()[3].block.bytes;
    EXPECT_EQ(bytes(received_block + 12, received_block + 76), c.tp_field);
  }
}

TEST_F(Verbs, TpStartedHandsOutTheIdentifierOnlyOnSuccess) {
  const struct {
    std::uint16_t rc;
    bytes handed_out;
  } cases[] = {
      {0x0000, {9, 8, 7, 6, 5, 4, 3, 2}},
      {0x04F0, bytes(8, 0)},
      {0x0900, bytes(8, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rc);
    appc_double_queue_reply({.primary_rc = c.rc, .tp_id = {9, 8, 7, 6, 5, 4, 3, 2}});
    unsigned char* id = nullptr;
    EXPECT_EQ(appc_tp_started(&id, "LUA", "TP"), c.rc);
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(bytes(id, id + 8), c.handed_out);
    // The block keeps the platform's outputs for the trace either way.
    EXPECT_EQ(bytes(appc_vcb().tpstarted.tp_id, appc_vcb().tpstarted.tp_id + 8),
              bytes({9, 8, 7, 6, 5, 4, 3, 2}));
    std::free(id);
  }
}

TEST_F(Verbs, ReceiveAllocateHandsOutIdentifiersOrZeros) {
  const struct {
    std::uint16_t rc;
    std::uint32_t conv_id;
    bytes tp_id;
  } cases[] = {
      {0x0000, 0xCAFEF00D, {1, 1, 2, 3, 5, 8, 13, 21}},
      {0x0100, 0, bytes(8, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rc);
    appc_double_queue_reply(
        {.primary_rc = c.rc, .tp_id = {1, 1, 2, 3, 5, 8, 13, 21}, .conv_id = 0xCAFEF00D});
    std::uint32_t conv_id = 0xFFFFFFFF;
    unsigned char* tp_id = nullptr;
    EXPECT_EQ(appc_receive_allocate(&conv_id, &tp_id, "HOSTGATETP"), c.rc);
    EXPECT_EQ(conv_id, c.conv_id);
    ASSERT_NE(tp_id, nullptr);
    EXPECT_EQ(bytes(tp_id, tp_id + 8), c.tp_id);
    std::free(tp_id);
  }
}

// MC_ALLOCATE and GET_STATE write their output only on success and leave it untouched otherwise.
TEST_F(Verbs, AllocateAndGetStateWriteOutputsOnlyOnSuccess) {
  const struct {
    std::uint16_t rc;
    std::uint32_t conv_id;
    std::uint8_t state;
  } cases[] = {
      {0x0000, 77, 0x03},
      {0x0300, 0xDDDDDDDD, 0xDD},
      {0x0200, 0xDDDDDDDD, 0xDD},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rc);
    appc_double_queue_reply({.primary_rc = c.rc, .conv_id = 77});
    std::uint32_t conv_id = 0xDDDDDDDD;
    EXPECT_EQ(appc_mc_allocate(&conv_id, tp, "HOSTLU", "HOST]TP", "MODE1", 0), c.rc);
    EXPECT_EQ(conv_id, c.conv_id);

    appc_double_queue_reply({.primary_rc = c.rc, .conv_state = 0x03});
    std::uint8_t state = 0xDD;
    EXPECT_EQ(appc_get_state(conv, tp, &state), c.rc);
    EXPECT_EQ(state, c.state);
  }
}

// Received length and what-received come from the block after every call, failed or not.
TEST_F(Verbs, ReceiveAndWaitAlwaysHandsBackLengthAndWhatReceived) {
  const struct {
    const char* name;
    appc_reply reply;
    std::uint16_t max_length;
    std::uint16_t length;
    std::uint16_t what;
    std::string data;
  } cases[] = {
      {"data complete",
       {.what_received = AP_DATA_COMPLETE, .data = {'H', 'E', 'L', 'L', 'O'}},
       16,
       5,
       0x0200,
       "HELLO"},
      {"deallocated with data",
       {.primary_rc = AP_DEALLOC_NORMAL, .what_received = AP_DATA_COMPLETE, .data = {'O', 'K'}},
       16,
       2,
       0x0200,
       "OK"},
      {"failure, nothing written", {.primary_rc = AP_CONV_FAILURE_NO_RETRY}, 16, 0, 0, ""},
      {"failure with what received",
       {.primary_rc = AP_PROG_ERROR_PURGING, .what_received = AP_SEND},
       16,
       0,
       0x0001,
       ""},
      {"buffer limit",
       {.what_received = AP_DATA_INCOMPLETE, .data = {'A', 'B', 'C', 'D', 'E', 'F'}},
       4,
       6,
       0x0400,
       "ABCD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(receive_buffer, 0, sizeof receive_buffer);
    appc_double_queue_reply(c.reply);
    std::uint16_t length = 0xEEEE, what = 0xEEEE;
    EXPECT_EQ(appc_mc_receive_and_wait(conv, tp, c.max_length, receive_buffer, &length, &what),
              c.reply.primary_rc);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(what, c.what);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(receive_buffer)), c.data);
  }
}

TEST_F(Verbs, StartupAndCleanupRegisterOnce) {
  appc_startup();
  EXPECT_THAT(appc_double_startup_versions(), ::testing::ElementsAre(0x0001));
  EXPECT_TRUE(appc_double_startup_info_given());
  EXPECT_EQ(appc_double_cleanups(), 0);
  appc_cleanup();
  EXPECT_EQ(appc_double_cleanups(), 1);
  EXPECT_TRUE(appc_double_verbs().empty());
}

TEST_F(Verbs, ExecuteHandsTheBlockAsItStands) {
  std::memset(&appc_vcb(), 0, sizeof(vcb_block));
  appc_vcb().header.opcode = 0x0094;
  appc_execute();
  const appc_verb_call& call = only_call();
  EXPECT_EQ(call.address, &appc_vcb());
  EXPECT_EQ(differences(call.block, {{0, u16(0x0094)}}), "");
}

}  // namespace
