// A stand-in for the APPC service in unit tests. It records the address and a copy of every
// verb control block handed to APPC, then writes the next scripted reply into the block, at
// the fields the verb's record holds its outputs in, whatever the verb's return code.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/winappc.h"

struct appc_reply {
  std::uint16_t primary_rc = AP_OK;
  std::uint32_t secondary_rc = 0;
  std::array<unsigned char, tp_id_width> tp_id{};  // TP_STARTED, RECEIVE_ALLOCATE
  std::uint32_t conv_id = 0;                       // MC_ALLOCATE, RECEIVE_ALLOCATE
  std::uint8_t conv_state = 0;                     // GET_STATE
  std::uint16_t what_received = 0;                 // MC_RECEIVE_AND_WAIT
  // MC_RECEIVE_AND_WAIT: the received length is data.size(); at most the verb's maximum
  // length of it is written into the verb's buffer.
  std::vector<unsigned char> data{};
};

struct appc_verb_call {
  const vcb_block* address;  // the block handed to APPC
  vcb_block block;           // its contents on entry
};

// Forgets every recorded call and every reply not yet used.
void appc_double_reset();
// Replies are used in the order queued; a verb issued with none queued gets appc_reply{}.
void appc_double_queue_reply(const appc_reply& reply);
const std::vector<appc_verb_call>& appc_double_verbs();
// The version requested by each WinAPPCStartup, and whether it passed an information record.
const std::vector<std::uint16_t>& appc_double_startup_versions();
bool appc_double_startup_info_given();
int appc_double_cleanups();
