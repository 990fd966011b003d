#include "platform/appc_client_testnode.h"

#include <algorithm>
#include <cstring>

#include "platform/acssvc.h"

namespace {

void convert(std::string& text, std::uint8_t direction) {
  if (text.empty()) return;
  convert_record record{};
  record.opcode = SV_CONVERT;
  record.direction = direction;
  record.length = static_cast<std::uint16_t>(text.size());
  record.source = reinterpret_cast<unsigned char*>(text.data());
  record.target = record.source;
  ACSSVC_C(&record);
}

template <std::size_t N>
void ascii_field(char (&field)[N], const char* name) {
  std::memset(field, ' ', N);
  std::memcpy(field, name, std::min(std::strlen(name), N));
}

template <std::size_t N>
void ebcdic_field(char (&field)[N], const char* name) {
  std::string text(N, ' ');
  text.replace(0, std::min(std::strlen(name), N), name, std::min(std::strlen(name), N));
  convert(text, SV_ASCII_TO_EBCDIC);
  std::memcpy(field, text.data(), N);
}

vcb_block block_for(std::uint16_t opcode, bool mapped) {
  vcb_block block{};
  block.header.opcode = opcode;
  block.header.opext = mapped ? AP_MAPPED_CONVERSATION : 0;
  return block;
}

}  // namespace

std::string ebcdic(std::string_view text) {
  std::string converted(text);
  convert(converted, SV_ASCII_TO_EBCDIC);
  return converted;
}

std::string ascii(std::string_view text) {
  std::string converted(text);
  convert(converted, SV_EBCDIC_TO_ASCII);
  return converted;
}

vcb_block run_verb(vcb_block block) {
  APPC(&block);
  return block;
}

test_tp_id tp_of(const vcb_block& block) {
  test_tp_id id{};
  const unsigned char* from =
      block.header.opcode == AP_RECEIVE_ALLOCATE ? block.rcvalloc.tp_id : block.tpstarted.tp_id;
  std::memcpy(id.data(), from, id.size());
  return id;
}

vcb_block run_tp_started(const char* lu_alias, const char* tp_name) {
  vcb_block block = block_for(AP_TP_STARTED, false);
  ascii_field(block.tpstarted.lu_alias, lu_alias);
  ebcdic_field(block.tpstarted.tp_name, tp_name);
  return run_verb(block);
}

vcb_block run_allocate(const test_tp_id& tp, const char* partner_lu, const char* tp_name,
                       const char* mode_name, std::uint8_t sync_level) {
  vcb_block block = block_for(AP_M_ALLOCATE, true);
  std::memcpy(block.allocate.tp_id, tp.data(), tp.size());
  block.allocate.sync_level = sync_level;
  ascii_field(block.allocate.plu_alias, partner_lu);
  ebcdic_field(block.allocate.mode_name, mode_name);
  ebcdic_field(block.allocate.tp_name, tp_name);
  return run_verb(block);
}

vcb_block run_send_data(const test_tp_id& tp, std::uint32_t conv_id, std::string_view data,
                        std::uint8_t send_type) {
  std::string copy(data);
  vcb_block block = block_for(AP_M_SEND_DATA, true);
  std::memcpy(block.snddata.tp_id, tp.data(), tp.size());
  block.snddata.conv_id = conv_id;
  block.snddata.dlen = static_cast<std::uint16_t>(copy.size());
  block.snddata.dptr = reinterpret_cast<unsigned char*>(copy.data());
  block.snddata.type = send_type;
  return run_verb(block);
}

vcb_block run_send_conversation(const test_tp_id& tp, const char* partner_lu,
                                const char* tp_name, const char* mode_name,
                                std::string_view data) {
  std::string copy(data);
  vcb_block block = block_for(AP_M_SEND_CONVERSATION, true);
  std::memcpy(block.sendconv.tp_id, tp.data(), tp.size());
  ascii_field(block.sendconv.plu_alias, partner_lu);
  ebcdic_field(block.sendconv.mode_name, mode_name);
  ebcdic_field(block.sendconv.tp_name, tp_name);
  block.sendconv.dlen = static_cast<std::uint16_t>(copy.size());
  block.sendconv.dptr = reinterpret_cast<unsigned char*>(copy.data());
  return run_verb(block);
}

vcb_block run_receive(const test_tp_id& tp, std::uint32_t conv_id, std::uint16_t max_len,
                      unsigned char* buffer, std::uint8_t rtn_status) {
  vcb_block block = block_for(AP_M_RECEIVE_AND_WAIT, true);
  std::memcpy(block.rcvwait.tp_id, tp.data(), tp.size());
  block.rcvwait.conv_id = conv_id;
  block.rcvwait.rtn_status = rtn_status;
  block.rcvwait.max_len = max_len;
  block.rcvwait.dptr = buffer;
  return run_verb(block);
}

vcb_block run_deallocate(const test_tp_id& tp, std::uint32_t conv_id, std::uint8_t type) {
  vcb_block block = block_for(AP_M_DEALLOCATE, true);
  std::memcpy(block.deallocate.tp_id, tp.data(), tp.size());
  block.deallocate.conv_id = conv_id;
  block.deallocate.dealloc_type = type;
  return run_verb(block);
}

namespace {
vcb_block run_confirm_verb(std::uint16_t opcode, const test_tp_id& tp, std::uint32_t conv_id) {
  vcb_block block = block_for(opcode, true);
  std::memcpy(block.confirm.tp_id, tp.data(), tp.size());
  block.confirm.conv_id = conv_id;
  return run_verb(block);
}
}  // namespace

vcb_block run_confirm(const test_tp_id& tp, std::uint32_t conv_id) {
  return run_confirm_verb(AP_M_CONFIRM, tp, conv_id);
}

vcb_block run_confirmed(const test_tp_id& tp, std::uint32_t conv_id) {
  return run_confirm_verb(AP_M_CONFIRMED, tp, conv_id);
}

vcb_block run_get_state(const test_tp_id& tp, std::uint32_t conv_id) {
  vcb_block block = block_for(AP_GET_STATE, false);
  std::memcpy(block.getstate.tp_id, tp.data(), tp.size());
  block.getstate.conv_id = conv_id;
  return run_verb(block);
}

vcb_block run_receive_allocate(const char* tp_name) {
  vcb_block block = block_for(AP_RECEIVE_ALLOCATE, false);
  ebcdic_field(block.rcvalloc.tp_name, tp_name);
  return run_verb(block);
}

vcb_block run_tp_ended(const test_tp_id& tp) {
  vcb_block block = block_for(AP_TP_ENDED, false);
  std::memcpy(block.tpended.tp_id, tp.data(), tp.size());
  return run_verb(block);
}
