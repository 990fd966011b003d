// One function per APPC verb the gateway uses. Each builds the name fields it needs, clears
// the process-wide verb control block, fills the verb's fields, executes it and returns the
// primary return code; the block keeps the verb's outputs for the trace. Conversation
// identifier first, TP identifier second, wherever both are taken. TP identifier blocks
// handed out are new 8-byte heap blocks (std::free) owned by the caller.
#pragma once

#include <cstdint>

#include "platform/winappc.h"

// The process-wide verb control block.
vcb_block& appc_vcb();

void appc_startup();
void appc_cleanup();
void appc_execute();

std::uint16_t appc_tp_started(unsigned char** tp_id, const char* lu_alias, const char* tp_name);
std::uint16_t appc_mc_allocate(std::uint32_t* conv_id, const unsigned char* tp_id,
                               const char* partner_lu_alias, const char* partner_tp_name,
                               const char* mode_name, std::uint8_t sync_level);
std::uint16_t appc_mc_allocate_confirm(std::uint32_t* conv_id, const unsigned char* tp_id,
                                       const char* partner_lu_alias, const char* partner_tp_name,
                                       const char* mode_name);
std::uint16_t appc_mc_deallocate(std::uint32_t conv_id, const unsigned char* tp_id,
                                 std::uint8_t dealloc_type);
std::uint16_t appc_mc_deallocate_flush(std::uint32_t conv_id, const unsigned char* tp_id);
std::uint16_t appc_mc_deallocate_abend(std::uint32_t conv_id, const unsigned char* tp_id);
std::uint16_t appc_mc_deallocate_sync(std::uint32_t conv_id, const unsigned char* tp_id);
std::uint16_t appc_mc_send_data(std::uint32_t conv_id, const unsigned char* tp_id,
                                unsigned char* data, std::uint16_t length);
std::uint16_t appc_mc_send_conversation(const unsigned char* tp_id, const char* partner_lu_alias,
                                        const char* partner_tp_name, const char* mode_name,
                                        unsigned char* data, std::uint16_t length);
std::uint16_t appc_mc_confirm(std::uint32_t conv_id, const unsigned char* tp_id);
std::uint16_t appc_mc_confirmed(std::uint32_t conv_id, const unsigned char* tp_id);
std::uint16_t appc_get_state(std::uint32_t conv_id, const unsigned char* tp_id, std::uint8_t* state);
std::uint16_t appc_receive_allocate(std::uint32_t* conv_id, unsigned char** tp_id,
                                    const char* local_tp_name);
std::uint16_t appc_mc_receive_and_wait(std::uint32_t conv_id, const unsigned char* tp_id,
                                       std::uint16_t max_length, unsigned char* buffer,
                                       std::uint16_t* received_length, std::uint16_t* what_received);
std::uint16_t appc_tp_ended(const unsigned char* tp_id);
