// Names of the coded values of the verb control block, and the trace of the last verb.
// Each name function copies its name into its own static 80-byte buffer and returns it; the
// next call of the same function overwrites it. Values without a name give "UNKNOWN".
#pragma once

#include <cstdint>

const char* opcode_name(std::uint16_t opcode);
const char* rc1_name(std::uint16_t primary_rc);
const char* rc2_name(std::uint32_t secondary_rc);
// Read the what-received field / the state byte at offset 24 of the verb control block.
const char* what_rcvd_name();
const char* conv_state_name();
const char* sync_level_name(std::uint8_t sync_level);
const char* dealloc_type_name(std::uint8_t dealloc_type);

const char* vcb_opcode_name();
const char* vcb_rc1_name();
const char* vcb_rc2_name();

// OPER, RC1 and RC2 lines, the verb's extra lines and an empty line.
void appc_trace();
// GET_STATE, then "-- Conversation state is %s --" or the failed GET_STATE's trace.
void appc_trace_state(std::uint32_t conv_id, const unsigned char* tp_id);
