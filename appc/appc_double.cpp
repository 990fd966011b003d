#include "appc/appc_double.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace {

std::vector<appc_verb_call> verbs;
std::deque<appc_reply> replies;
std::vector<std::uint16_t> startup_versions;
bool startup_info_given = true;
int cleanups = 0;

void write_outputs(vcb_block& block, const appc_reply& reply) {
  block.header.primary_rc = reply.primary_rc;
  block.header.secondary_rc = reply.secondary_rc;
  switch (block.header.opcode) {
    case AP_TP_STARTED:
      std::memcpy(block.tpstarted.tp_id, reply.tp_id.data(), tp_id_width);
      break;
    case AP_M_ALLOCATE:
      block.allocate.conv_id = reply.conv_id;
      break;
    case AP_GET_STATE:
      block.getstate.conv_state = reply.conv_state;
      break;
    case AP_RECEIVE_ALLOCATE:
      std::memcpy(block.rcvalloc.tp_id, reply.tp_id.data(), tp_id_width);
      block.rcvalloc.conv_id = reply.conv_id;
      break;
    case AP_M_RECEIVE_AND_WAIT: {
      const std::size_t room = block.rcvwait.max_len;
      unsigned char* buffer = block.rcvwait.dptr;
      const std::size_t written = std::min(room, reply.data.size());
      if (buffer != nullptr && written != 0) std::memcpy(buffer, reply.data.data(), written);
      block.rcvwait.what_rcvd = reply.what_received;
      block.rcvwait.dlen = static_cast<std::uint16_t>(reply.data.size());
      break;
    }
    default:
      break;
  }
}

}  // namespace

void appc_double_reset() {
  verbs.clear();
  replies.clear();
  startup_versions.clear();
  startup_info_given = true;
  cleanups = 0;
}

void appc_double_queue_reply(const appc_reply& reply) { replies.push_back(reply); }

const std::vector<appc_verb_call>& appc_double_verbs() { return verbs; }
const std::vector<std::uint16_t>& appc_double_startup_versions() { return startup_versions; }
bool appc_double_startup_info_given() { return startup_info_given; }
int appc_double_cleanups() { return cleanups; }

extern "C" {

int WINAPPC_CALL WinAPPCStartup(std::uint16_t version, winappc_info* info) {
  startup_versions.push_back(version);
  startup_info_given = startup_info_given && info != nullptr;
  return 0;
}

void WINAPPC_CALL APPC(vcb_block* verb) {
  verbs.push_back({verb, *verb});
  appc_reply reply;
  if (!replies.empty()) {
    reply = replies.front();
    replies.pop_front();
  }
  write_outputs(*verb, reply);
}

int WINAPPC_CALL WinAPPCCleanup() {
  ++cleanups;
  return 1;
}

}  // extern "C"
