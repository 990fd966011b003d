#include "appc/verbs.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "appc/charset.h"
#include "appc/log.h"

namespace {

vcb_block vcb;

// Values the layer always sets explicitly after the clear.
constexpr std::uint8_t return_control_default = 0;
constexpr std::uint8_t no_conversation_security = 0;
constexpr std::uint8_t send_type_default = 0;
constexpr std::uint8_t tp_end_type_default = 0;
constexpr std::uint8_t return_status_with_data = 1;

// A name field built for one verb. The block only carries a copy, so the field is released
// when the verb is done instead of growing the heap by up to three blocks per request.
struct free_block {
  void operator()(char* block) const { std::free(block); }
};
using name_field = std::unique_ptr<char, free_block>;

name_field lu_alias_field(const char* lu_alias) {
  return name_field(ascii_field(lu_alias, lu_alias_width));
}
name_field mode_name_field(const char* mode_name) {
  return name_field(ebcdic_field(mode_name, mode_name_width));
}
name_field tp_name_field(const char* tp_name) {
  return name_field(ebcdic_field(tp_name, tp_name_width));
}

template <std::size_t width>
void put_field(char (&target)[width], const name_field& field) {
  std::memcpy(target, field.get(), width);
}

// Clears the whole block and sets the header of the verb about to be issued.
void begin_verb(std::uint16_t opcode, std::uint8_t opext) {
  std::memset(&vcb, 0, sizeof vcb);
  vcb.header.opcode = opcode;
  vcb.header.opext = opext;
}

void begin_mc_verb(std::uint16_t opcode) { begin_verb(opcode, AP_MAPPED_CONVERSATION); }

// Every conversation verb carries the TP identifier at 12 and the conversation at 20.
template <typename Record>
void put_conversation(Record& record, std::uint32_t conv_id, const unsigned char* tp_id) {
  std::memcpy(record.tp_id, tp_id, tp_id_width);
  record.conv_id = conv_id;
}

std::uint16_t execute_verb() {
  appc_execute();
  return vcb.header.primary_rc;
}

// A new TP identifier block for the caller: the verb's identifier on success, zeros otherwise.
unsigned char* new_tp_id(std::uint16_t primary_rc, const unsigned char (&verb_tp_id)[tp_id_width]) {
  auto* tp_id = reinterpret_cast<unsigned char*>(alloc_zeros(tp_id_width));
  if (primary_rc == AP_OK) std::memcpy(tp_id, verb_tp_id, tp_id_width);
  return tp_id;
}

}  // namespace

vcb_block& appc_vcb() { return vcb; }

void appc_startup() {
  winappc_info info{};
  WinAPPCStartup(winappc_version_requested, &info);
}

void appc_cleanup() { WinAPPCCleanup(); }

void appc_execute() { APPC(&vcb); }

std::uint16_t appc_tp_started(unsigned char** tp_id, const char* lu_alias, const char* tp_name) {
  const name_field lu = lu_alias_field(lu_alias);
  const name_field tp = tp_name_field(tp_name);
  begin_verb(AP_TP_STARTED, 0);
  put_field(vcb.tpstarted.lu_alias, lu);
  put_field(vcb.tpstarted.tp_name, tp);
  const std::uint16_t rc = execute_verb();
  *tp_id = new_tp_id(rc, vcb.tpstarted.tp_id);
  return rc;
}

std::uint16_t appc_mc_allocate(std::uint32_t* conv_id, const unsigned char* tp_id,
                               const char* partner_lu_alias, const char* partner_tp_name,
                               const char* mode_name, std::uint8_t sync_level) {
  const name_field lu = lu_alias_field(partner_lu_alias);
  const name_field mode = mode_name_field(mode_name);
  const name_field tp = tp_name_field(partner_tp_name);
  begin_mc_verb(AP_M_ALLOCATE);
  std::memcpy(vcb.allocate.tp_id, tp_id, tp_id_width);
  vcb.allocate.sync_level = sync_level;
  vcb.allocate.rtn_ctl = return_control_default;
  put_field(vcb.allocate.plu_alias, lu);
  put_field(vcb.allocate.mode_name, mode);
  put_field(vcb.allocate.tp_name, tp);
  vcb.allocate.security = no_conversation_security;
  const std::uint16_t rc = execute_verb();
  if (rc == AP_OK) *conv_id = vcb.allocate.conv_id;
  return rc;
}

std::uint16_t appc_mc_allocate_confirm(std::uint32_t* conv_id, const unsigned char* tp_id,
                                       const char* partner_lu_alias, const char* partner_tp_name,
                                       const char* mode_name) {
  return appc_mc_allocate(conv_id, tp_id, partner_lu_alias, partner_tp_name, mode_name,
                          AP_CONFIRM_SYNC_LEVEL);
}

std::uint16_t appc_mc_deallocate(std::uint32_t conv_id, const unsigned char* tp_id,
                                 std::uint8_t dealloc_type) {
  begin_mc_verb(AP_M_DEALLOCATE);
  put_conversation(vcb.deallocate, conv_id, tp_id);
  vcb.deallocate.dealloc_type = dealloc_type;
  return execute_verb();
}

std::uint16_t appc_mc_deallocate_flush(std::uint32_t conv_id, const unsigned char* tp_id) {
  return appc_mc_deallocate(conv_id, tp_id, AP_FLUSH);
}

std::uint16_t appc_mc_deallocate_abend(std::uint32_t conv_id, const unsigned char* tp_id) {
  return appc_mc_deallocate(conv_id, tp_id, AP_ABEND);
}

std::uint16_t appc_mc_deallocate_sync(std::uint32_t conv_id, const unsigned char* tp_id) {
  return appc_mc_deallocate(conv_id, tp_id, AP_SYNC_LEVEL);
}

std::uint16_t appc_mc_send_data(std::uint32_t conv_id, const unsigned char* tp_id,
                                unsigned char* data, std::uint16_t length) {
  begin_mc_verb(AP_M_SEND_DATA);
  put_conversation(vcb.snddata, conv_id, tp_id);
  vcb.snddata.dlen = length;
  vcb.snddata.dptr = data;
  vcb.snddata.type = send_type_default;
  log_write("vcb.snddata.dlen = %u \n", static_cast<unsigned>(vcb.snddata.dlen));
  return execute_verb();
}

std::uint16_t appc_mc_send_conversation(const unsigned char* tp_id, const char* partner_lu_alias,
                                        const char* partner_tp_name, const char* mode_name,
                                        unsigned char* data, std::uint16_t length) {
  const name_field lu = lu_alias_field(partner_lu_alias);
  const name_field mode = mode_name_field(mode_name);
  const name_field tp = tp_name_field(partner_tp_name);
  begin_mc_verb(AP_M_SEND_CONVERSATION);
  std::memcpy(vcb.sendconv.tp_id, tp_id, tp_id_width);
  vcb.sendconv.rtn_ctl = return_control_default;
  put_field(vcb.sendconv.plu_alias, lu);
  put_field(vcb.sendconv.mode_name, mode);
  put_field(vcb.sendconv.tp_name, tp);
  vcb.sendconv.security = no_conversation_security;
  vcb.sendconv.dlen = length;
  vcb.sendconv.dptr = data;
  return execute_verb();
}

std::uint16_t appc_mc_confirm(std::uint32_t conv_id, const unsigned char* tp_id) {
  begin_mc_verb(AP_M_CONFIRM);
  put_conversation(vcb.confirm, conv_id, tp_id);
  return execute_verb();
}

std::uint16_t appc_mc_confirmed(std::uint32_t conv_id, const unsigned char* tp_id) {
  begin_mc_verb(AP_M_CONFIRMED);
  put_conversation(vcb.confirm, conv_id, tp_id);
  return execute_verb();
}

std::uint16_t appc_get_state(std::uint32_t conv_id, const unsigned char* tp_id,
                             std::uint8_t* state) {
  begin_verb(AP_GET_STATE, 0);
  put_conversation(vcb.getstate, conv_id, tp_id);
  const std::uint16_t rc = execute_verb();
  if (rc == AP_OK) *state = vcb.getstate.conv_state;
  return rc;
}

std::uint16_t appc_receive_allocate(std::uint32_t* conv_id, unsigned char** tp_id,
                                    const char* local_tp_name) {
  const name_field tp = tp_name_field(local_tp_name);
  begin_verb(AP_RECEIVE_ALLOCATE, 0);
  put_field(vcb.rcvalloc.tp_name, tp);
  const std::uint16_t rc = execute_verb();
  *conv_id = rc == AP_OK ? vcb.rcvalloc.conv_id : 0;
  *tp_id = new_tp_id(rc, vcb.rcvalloc.tp_id);
  return rc;
}

std::uint16_t appc_mc_receive_and_wait(std::uint32_t conv_id, const unsigned char* tp_id,
                                       std::uint16_t max_length, unsigned char* buffer,
                                       std::uint16_t* received_length,
                                       std::uint16_t* what_received) {
  begin_mc_verb(AP_M_RECEIVE_AND_WAIT);
  put_conversation(vcb.rcvwait, conv_id, tp_id);
  vcb.rcvwait.rtn_status = return_status_with_data;
  vcb.rcvwait.max_len = max_length;
  vcb.rcvwait.dptr = buffer;
  const std::uint16_t rc = execute_verb();
  *received_length = vcb.rcvwait.dlen;
  *what_received = vcb.rcvwait.what_rcvd;
  return rc;
}

std::uint16_t appc_tp_ended(const unsigned char* tp_id) {
  begin_verb(AP_TP_ENDED, 0);
  std::memcpy(vcb.tpended.tp_id, tp_id, tp_id_width);
  vcb.tpended.type = tp_end_type_default;
  return execute_verb();
}
