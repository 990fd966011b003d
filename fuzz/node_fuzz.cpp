// The node's handling of client messages: verb requests built from arbitrary bytes, carried
// through the wire encoder and the node's decoder, and executed by the conversation engine for
// three client sessions at once, with cancels and sessions that go away in between.
//
// Input: a sequence of commands, each one selector byte (low 2 bits: the session 1 to 3, 0
// meaning the third again; high bits: verb, cancel or session gone) and, for a verb, its
// fields. TP and conversation identifiers are either one the node handed out earlier (picked
// by index) or raw bytes, since the node's identifiers are unpredictable; names are the
// configured ones, blank, or raw bytes. The host TPs are echo and reply programs only: no
// command is ever run.
//
// Checked: the decoder gives back exactly the request that was encoded; no verb is answered
// twice, nor after its session has gone; and every sanitizer report and leak is a finding.
// The node logs every event on standard error: scripts/fuzz.sh closes it for this target
// (-close_fd_mask=2), so replay a finding without that option to read its message.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <asio.hpp>

#include "appc/charset.h"
#include "fuzz/fuzz_input.h"
#include "platform/node/config.h"
#include "platform/node/engine.h"
#include "platform/node/wire.h"
#include "platform/winappc.h"

namespace {

constexpr const char* target = "node_fuzz";
constexpr engine_owner sessions = 3;

constexpr std::uint16_t opcodes[] = {
    AP_TP_STARTED,  AP_RECEIVE_ALLOCATE,    AP_M_ALLOCATE,  AP_M_SEND_DATA,
    AP_M_RECEIVE_AND_WAIT, AP_M_DEALLOCATE, AP_M_CONFIRM,   AP_M_CONFIRMED,
    AP_M_SEND_CONVERSATION, AP_GET_STATE,   AP_TP_ENDED,    AP_M_SEND_DATA,
    AP_M_RECEIVE_AND_WAIT, AP_M_DEALLOCATE, AP_M_ALLOCATE,  0x00FF,
};

node_config fuzz_config() {
  node_config config;
  config.local_lus = {"LOCALLU", "OTHERLU"};
  config.partner_lus = {"HOSTLU"};
  config.modes = {"#INTER"};
  config.local_tps = {"PROBEIN", "HOSTGATE"};
  host_tp_config echo;
  echo.name = "ECHOTP";
  host_tp_config reply;
  reply.name = "REPLYTP";
  reply.kind = host_tp_kind::reply;
  reply.text = "OK FROM THE HOST";
  host_tp_config keep = echo;
  keep.name = "KEEPTP";
  keep.keep_open = true;
  config.host_tps = {echo, reply, keep};
  config.attach_timeout_ms = 60000;  // never reached within one input
  return config;
}

// A blank-padded name field; EBCDIC for mode and TP names.
template <std::size_t N>
std::array<char, N> name_field(const char* name, bool ebcdic) {
  std::array<char, N> field;
  field.fill(static_cast<char>(ebcdic ? 0x40 : 0x20));
  for (std::size_t i = 0; i < N && name[i] != 0; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    field[i] = static_cast<char>(ebcdic ? ascii_to_ebcdic_table[c] : c);
  }
  return field;
}

template <std::size_t N>
std::array<char, N> pick_name(fuzz_input& input, const std::vector<const char*>& names, bool ebcdic) {
  const std::uint8_t choice = input.byte();
  if (choice < 0xF0) return name_field<N>(names[choice % names.size()], ebcdic);
  std::array<char, N> raw;
  for (char& c : raw) c = static_cast<char>(input.byte());
  return raw;
}

struct verb_record {
  engine_owner owner;
  int answers = 0;
};

struct harness {
  asio::io_context io;
  node_config config = fuzz_config();
  node_engine engine{io, config};
  std::vector<verb_record> verbs;
  std::vector<tp_key> tp_ids;
  std::vector<std::uint32_t> conv_ids;
  std::array<bool, sessions + 1> gone{};

  void run_ready_handlers() {
    io.restart();
    io.poll();
  }

  tp_key pick_tp(fuzz_input& input) {
    const std::uint8_t choice = input.byte();
    if (choice < 0xF0 && !tp_ids.empty()) return tp_ids[choice % tp_ids.size()];
    tp_key raw;
    for (unsigned char& b : raw) b = input.byte();
    return raw;
  }

  std::uint32_t pick_conversation(fuzz_input& input) {
    const std::uint8_t choice = input.byte();
    if (choice < 0xF0 && !conv_ids.empty()) return conv_ids[choice % conv_ids.size()];
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) raw |= std::uint32_t{input.byte()} << (8 * i);
    return raw;
  }

  wire_verb_request request_from(fuzz_input& input) {
    wire_verb_request request;
    const std::uint8_t op = input.byte();
    request.opcode = opcodes[op % std::size(opcodes)];
    request.opext = input.byte() & 1;
    request.tp_id = pick_tp(input);
    request.conv_id = pick_conversation(input);
    request.lu_alias = pick_name<8>(input, {"LOCALLU", "OTHERLU", "NOSUCHLU", ""}, false);
    request.plu_alias = pick_name<8>(input, {"HOSTLU", "LOCALLU", "NOSUCH"}, false);
    request.mode_name = pick_name<8>(input, {"#INTER", "#BATCH", ""}, true);
    request.tp_name = pick_name<64>(
        input, {"ECHOTP", "REPLYTP", "KEEPTP", "PROBEIN", "HOSTGATE", "NOSUCHTP", ""}, true);
    const std::uint8_t flags = input.byte();
    request.sync_level = flags & 1;
    request.rtn_ctl = (flags >> 1) & 3;
    request.security = (flags >> 3) & 1;
    request.dealloc_type = input.byte() % 8;
    request.send_type = input.byte() % 6;
    request.rtn_status = (flags >> 4) & 1;
    request.end_type = (flags >> 5) & 1;
    request.max_len = static_cast<std::uint16_t>(input.byte() << 5 | input.byte() >> 3);
    request.data = input.bytes(input.byte());
    return request;
  }

  // Through the wire, as a session receives it.
  static wire_verb_request carried(const wire_verb_request& request) {
    const std::vector<unsigned char> frame = wire_frame(request);
    const std::span<const unsigned char> body(frame.data() + wire_header_size, frame.size() - wire_header_size);
    wire_verb_request decoded;
    if (!wire_decode(body, decoded)) fuzz_fail(target, "the node refused a well-formed verb");
    if (wire_frame(decoded) != frame) fuzz_fail(target, "the decoded verb differs from the one sent");
    return decoded;
  }

  void execute(engine_owner owner, const wire_verb_request& request) {
    const std::size_t index = verbs.size();
    verbs.push_back({owner, 0});
    engine.execute(owner, carried(request), [this, index](const wire_verb_reply& reply) {
      verb_record& verb = verbs[index];
      if (++verb.answers > 1) fuzz_fail(target, "a verb answered twice");
      if (gone[verb.owner]) fuzz_fail(target, "a verb answered after its session had gone");
      if (reply.primary_rc == AP_OK && reply.tp_id != tp_key{}) tp_ids.push_back(reply.tp_id);
      if (reply.primary_rc == AP_OK && reply.conv_id != 0) conv_ids.push_back(reply.conv_id);
    });
  }

  void session_gone(engine_owner owner) {
    if (gone[owner]) return;
    engine.owner_gone(owner);
    gone[owner] = true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_input input(data, size);
  auto node = std::make_unique<harness>();
  for (int command = 0; input.left() > 0 && command < 64; ++command) {
    const std::uint8_t selector = input.byte();
    engine_owner owner = selector & 3;
    if (owner == 0) owner = sessions;
    const std::uint8_t kind = selector >> 2;
    if (kind < 56) {
      const wire_verb_request request = node->request_from(input);
      if (!node->gone[owner]) node->execute(owner, request);
    } else if (kind < 62) {
      if (!node->gone[owner]) node->engine.cancel(owner);
    } else {
      node->session_gone(owner);
    }
    node->run_ready_handlers();
  }
  for (engine_owner owner = 1; owner <= sessions; ++owner) node->session_gone(owner);
  node->run_ready_handlers();
  return 0;
}
