#include "appc/trace.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <span>

#include "appc/log.h"
#include "appc/verbs.h"

namespace {

struct code_name {
  std::uint32_t value;
  const char* name;
};

#define TRACE_NAME_ROW(ident, value, text) {value, text},
constexpr code_name opcode_names[] = {WINAPPC_OPCODES(TRACE_NAME_ROW)};
constexpr code_name primary_rc_names[] = {WINAPPC_PRIMARY_RCS(TRACE_NAME_ROW)};
constexpr code_name secondary_rc_names[] = {WINAPPC_SECONDARY_RCS(TRACE_NAME_ROW)};
constexpr code_name what_received_names[] = {WINAPPC_WHAT_RECEIVED(TRACE_NAME_ROW)};
constexpr code_name conv_state_names[] = {WINAPPC_CONV_STATES(TRACE_NAME_ROW)};
constexpr code_name sync_level_names[] = {WINAPPC_SYNC_LEVELS(TRACE_NAME_ROW)};
constexpr code_name dealloc_type_names[] = {WINAPPC_DEALLOC_TYPES(TRACE_NAME_ROW)};
#undef TRACE_NAME_ROW

constexpr char unknown_name[] = "UNKNOWN";

using name_buffer = std::array<char, 80>;

constexpr bool names_fit(std::span<const code_name> table) {
  for (const code_name& row : table) {
    std::size_t length = 0;
    while (row.name[length] != '\0') ++length;
    if (length >= name_buffer{}.size()) return false;
  }
  return true;
}
static_assert(names_fit(opcode_names) && names_fit(primary_rc_names) &&
              names_fit(secondary_rc_names) && names_fit(what_received_names) &&
              names_fit(conv_state_names) && names_fit(sync_level_names) &&
              names_fit(dealloc_type_names));

name_buffer opcode_buffer;
name_buffer primary_rc_buffer;
name_buffer secondary_rc_buffer;
name_buffer what_received_buffer;
name_buffer conv_state_buffer;
name_buffer sync_level_buffer;
name_buffer dealloc_type_buffer;

// Copies the name of value (or "UNKNOWN") with its terminator into buffer and returns it.
const char* copy_name(std::span<const code_name> table, std::uint32_t value, name_buffer& buffer) {
  const char* name = unknown_name;
  for (const code_name& row : table) {
    if (row.value == value) {
      name = row.name;
      break;
    }
  }
  std::memcpy(buffer.data(), name, std::strlen(name) + 1);
  return buffer.data();
}

// The received bytes as they are, stopping at a zero byte, blank-filled to the received
// length. Only the bytes the verb could have written are read: at most the maximum length.
void write_received_data(const mc_receive_and_wait_record& verb) {
  const int length = verb.dlen;
  const int max_length = verb.max_len;
  const unsigned char* address = verb.dptr;
  const int readable = address == nullptr ? 0 : std::min(length, max_length);
  const char* data = address == nullptr ? "" : reinterpret_cast<const char*>(address);
  log_write("DATA: [%-*.*s]\n", length, readable, data);
}

void write_tp_id(const unsigned char (&tp_id)[tp_id_width]) {
  char* hex = hex_string(tp_id, tp_id_width);
  log_write("TP_ID  : %s\n", hex);
  std::free(hex);
}

void write_conv_id(std::uint32_t conv_id) {
  log_write("CONV_ID: %lu\n", static_cast<unsigned long>(conv_id));
}

}  // namespace

const char* opcode_name(std::uint16_t opcode) {
  return copy_name(opcode_names, opcode, opcode_buffer);
}
const char* rc1_name(std::uint16_t primary_rc) {
  return copy_name(primary_rc_names, primary_rc, primary_rc_buffer);
}
const char* rc2_name(std::uint32_t secondary_rc) {
  return copy_name(secondary_rc_names, secondary_rc, secondary_rc_buffer);
}
const char* what_rcvd_name() {
  return copy_name(what_received_names, appc_vcb().rcvwait.what_rcvd, what_received_buffer);
}
const char* conv_state_name() {
  return copy_name(conv_state_names, appc_vcb().getstate.conv_state, conv_state_buffer);
}
const char* sync_level_name(std::uint8_t sync_level) {
  return copy_name(sync_level_names, sync_level, sync_level_buffer);
}
const char* dealloc_type_name(std::uint8_t dealloc_type) {
  return copy_name(dealloc_type_names, dealloc_type, dealloc_type_buffer);
}

const char* vcb_opcode_name() { return opcode_name(appc_vcb().header.opcode); }
const char* vcb_rc1_name() { return rc1_name(appc_vcb().header.primary_rc); }
const char* vcb_rc2_name() { return rc2_name(appc_vcb().header.secondary_rc); }

void appc_trace() {
  const vcb_block& vcb = appc_vcb();
  const std::uint16_t opcode = vcb.header.opcode;
  log_write("OPER: %04X      %s\n", static_cast<unsigned>(opcode), vcb_opcode_name());
  log_write("RC1 : %04X      %s\n", static_cast<unsigned>(vcb.header.primary_rc), vcb_rc1_name());
  log_write("RC2 : %08X  %s\n", static_cast<unsigned>(vcb.header.secondary_rc), vcb_rc2_name());
  log_flush();

  switch (opcode) {
    case AP_M_ALLOCATE:
      write_conv_id(vcb.allocate.conv_id);
      break;
    case AP_GET_STATE:
      log_write("STAT: %02X        %s\n", static_cast<unsigned>(vcb.getstate.conv_state),
                conv_state_name());
      break;
    case AP_M_RECEIVE_AND_WAIT:
      log_write("WHAT: %04x      %s\n", static_cast<unsigned>(vcb.rcvwait.what_rcvd),
                what_rcvd_name());
      log_write("SIZE: %u\n", static_cast<unsigned>(vcb.rcvwait.dlen));
      if (vcb.rcvwait.dlen != 0) write_received_data(vcb.rcvwait);
      break;
    case AP_TP_STARTED:
      write_tp_id(vcb.tpstarted.tp_id);
      break;
    case AP_RECEIVE_ALLOCATE:
      write_conv_id(vcb.rcvalloc.conv_id);
      write_tp_id(vcb.rcvalloc.tp_id);
      break;
    default:
      break;
  }
  log_write("\n");
  log_flush();
}

void appc_trace_state(std::uint32_t conv_id, const unsigned char* tp_id) {
  std::uint8_t state = 0;
  if (appc_get_state(conv_id, tp_id, &state) != AP_OK) {
    appc_trace();
    return;
  }
  log_write("-- Conversation state is %s --\n\n", conv_state_name());
  log_flush();
}
