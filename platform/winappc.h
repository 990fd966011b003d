// Our declaration of the APPC interface: the entry points, the verb control block with the
// record of every verb the gateway issues, and every coded value the trace can name.
//
// Layout. On the 32-bit Windows target the block is the 212-byte record of the interface:
// every field sits at the offset and width listed beside it, little-endian, addresses 4 bytes.
// On 64-bit targets an address needs 8 bytes. There the address fields hold full pointers at
// the same offsets, and the one field that would be overlapped, MC_SEND_DATA's send type
// (offset 32 on 32-bit), follows the pointer at offset 36. The block stays 212 bytes and every
// other offset is the same on both targets. Records are packed: a field's offset is exactly
// the one documented, whatever its alignment.
//
// Coded values are the little-endian integers the block holds: primary return code 0x0900
// (AP_DEALLOC_NORMAL) is stored as the bytes 00 09, secondary return code 0x01000000
// (AP_BAD_TP_ID) as 00 00 00 01.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define WINAPPC_CALL __stdcall
#else
#define WINAPPC_CALL
#endif

// The operation codes (uint16_t) and the names the trace gives them.
#define WINAPPC_OPCODES(X) \
  X(AP_NO_VERB, 0x0000, "NONE") \
  X(AP_M_ALLOCATE, 0x0001, "AP_M_ALLOCATE") \
  X(AP_M_CONFIRM, 0x0003, "AP_M_CONFIRM") \
  X(AP_M_CONFIRMED, 0x0004, "AP_M_CONFIRMED") \
  X(AP_M_DEALLOCATE, 0x0005, "AP_M_DEALLOCATE") \
  X(AP_M_FLUSH, 0x0006, "AP_M_FLUSH") \
  X(AP_M_GET_ATTRIBUTES, 0x0007, "AP_M_GET_ATTRIBUTES") \
  X(AP_GET_TYPE, 0x0008, "AP_GET_TYPE") \
  X(AP_GET_STATE, 0x0009, "AP_GET_STATE") \
  X(AP_M_PREPARE_TO_RECEIVE, 0x000A, "AP_M_PREPARE_TO_RECEIVE") \
  X(AP_M_RECEIVE_AND_WAIT, 0x000B, "AP_M_RECEIVE_AND_WAIT") \
  X(AP_M_RECEIVE_IMMEDIATE, 0x000C, "AP_M_RECEIVE_IMMEDIATE") \
  X(AP_M_RECEIVE_AND_POST, 0x000D, "AP_M_RECEIVE_AND_POST") \
  X(AP_M_REQUEST_TO_SEND, 0x000E, "AP_M_REQUEST_TO_SEND") \
  X(AP_M_SEND_DATA, 0x000F, "AP_M_SEND_DATA") \
  X(AP_M_SEND_ERROR, 0x0010, "AP_M_SEND_ERROR") \
  X(AP_M_TEST_RTS, 0x0012, "AP_M_TEST_RTS") \
  X(AP_TP_ENDED, 0x0013, "AP_TP_ENDED") \
  X(AP_TP_STARTED, 0x0014, "AP_TP_STARTED") \
  X(AP_RECEIVE_ALLOCATE, 0x0016, "AP_RECEIVE_ALLOCATE") \
  X(AP_GET_TP_PROPERTIES, 0x0017, "AP_GET_TP_PROPERTIES") \
  X(AP_M_SEND_CONVERSATION, 0x0018, "AP_M_SEND_CONVERSATION") \
  X(AP_M_TEST_RTS_AND_POST, 0x0081, "AP_M_TEST_RTS_AND_POST") \
  X(AP_M_POST_ON_RECEIPT, 0x0082, "AP_M_POST_ON_RECEIPT") \
  X(AP_M_RECEIVE_LOG_DATA, 0x0083, "AP_M_RECEIVE_LOG_DATA") \
  X(AP_TP_STARTED_EX, 0x0094, "AP_TP_STARTED_EX")

// The primary return codes (uint16_t) and the names the trace gives them.
#define WINAPPC_PRIMARY_RCS(X) \
  X(AP_OK, 0x0000, "AP_OK") \
  X(AP_BACKED_OUT, 0x0023, "AP_BACKED_OUT") \
  X(AP_PARAMETER_CHECK, 0x0100, "AP_PARAMETER_CHECK") \
  X(AP_STATE_CHECK, 0x0200, "AP_STATE_CHECK") \
  X(AP_TP_BUSY, 0x02F0, "AP_TP_BUSY") \
  X(AP_ALLOCATION_ERROR, 0x0300, "AP_ALLOCATION_ERROR") \
  X(AP_COMM_SUBSYSTEM_ABENDED, 0x03F0, "AP_COMM_SUBSYSTEM_ABENDED") \
  X(AP_COMM_SUBSYSTEM_NOT_LOADED, 0x04F0, "AP_COMM_SUBSYSTEM_NOT_LOADED") \
  X(AP_DEALLOC_ABEND, 0x0500, "AP_DEALLOC_ABEND") \
  X(AP_CONV_BUSY, 0x05F0, "AP_CONV_BUSY") \
  X(AP_DEALLOC_ABEND_PROG, 0x0600, "AP_DEALLOC_ABEND_PROG") \
  X(AP_THREAD_BLOCKING, 0x06F0, "AP_THREAD_BLOCKING") \
  X(AP_DEALLOC_ABEND_SVC, 0x0700, "AP_DEALLOC_ABEND_SVC") \
  X(AP_DEALLOC_ABEND_TIMER, 0x0800, "AP_DEALLOC_ABEND_TIMER") \
  X(AP_INVALID_VERB_SEGMENT, 0x08F0, "AP_INVALID_VERB_SEGMENT") \
  X(AP_DEALLOC_NORMAL, 0x0900, "AP_DEALLOC_NORMAL") \
  X(AP_CANT_ENLIST_TX, 0x09F0, "AP_CANT_ENLIST_TX") \
  X(AP_CANT_CONTACT_DTC, 0x0AF0, "AP_CANT_CONTACT_DTC") \
  X(AP_PROG_ERROR_NO_TRUNC, 0x0C00, "AP_PROG_ERROR_NO_TRUNC") \
  X(AP_PROG_ERROR_TRUNC, 0x0D00, "AP_PROG_ERROR_TRUNC") \
  X(AP_PROG_ERROR_PURGING, 0x0E00, "AP_PROG_ERROR_PURGING") \
  X(AP_CONV_FAILURE_RETRY, 0x0F00, "AP_CONV_FAILURE_RETRY") \
  X(AP_CONV_FAILURE_NO_RETRY, 0x1000, "AP_CONV_FAILURE_NO_RETRY") \
  X(AP_ACTIVATION_FAIL_RETRY, 0x1003, "AP_ACTIVATION_FAIL_RETRY") \
  X(AP_SVC_ERROR_NO_TRUNC, 0x1100, "AP_SVC_ERROR_NO_TRUNC") \
  X(AP_ACTIVATION_FAIL_NO_RETRY, 0x1103, "AP_ACTIVATION_FAIL_NO_RETRY") \
  X(AP_UNEXPECTED_DOS_ERROR, 0x11F0, "AP_UNEXPECTED_DOS_ERROR") \
  X(AP_SVC_ERROR_TRUNC, 0x1200, "AP_SVC_ERROR_TRUNC") \
  X(AP_SESSION_LIMITS_CLOSED, 0x1203, "AP_SESSION_LIMITS_CLOSED") \
  X(AP_SVC_ERROR_PURGING, 0x1300, "AP_SVC_ERROR_PURGING") \
  X(AP_SESSION_LIMITS_EXCEEDED, 0x1303, "AP_SESSION_LIMITS_EXCEEDED") \
  X(AP_UNSUCCESSFUL, 0x1400, "AP_UNSUCCESSFUL") \
  X(AP_VERB_IN_PROGRESS, 0x1403, "AP_VERB_IN_PROGRESS") \
  X(AP_SESSION_DEACTIVATED, 0x1503, "AP_SESSION_DEACTIVATED") \
  X(AP_STACK_TOO_SMALL, 0x15F0, "AP_STACK_TOO_SMALL") \
  X(AP_CONVERSATION_TYPE_MIXED, 0x1900, "AP_CONVERSATION_TYPE_MIXED") \
  X(AP_CANCELLED, 0x2100, "AP_CANCELLED") \
  X(AP_SECURITY_REQUESTED_NOT_SUPPORTED, 0x2200, "AP_SECURITY_REQUESTED_NOT_SUPPORTED") \
  X(AP_MY_ERROR, 0xEEEE, "AP_MY_ERROR") \
  X(AP_INVALID_VERB, 0xFFFF, "AP_INVALID_VERB")

// The secondary return codes (uint32_t) and the names the trace gives them.
#define WINAPPC_SECONDARY_RCS(X) \
  X(AP_NO_SECONDARY_RC, 0x00000000, "NONE") \
  X(AP_TRANS_PGM_NOT_AVAIL_NO_RETRY, 0x00004C08, "AP_TRANS_PGM_NOT_AVAIL_NO_RETRY") \
  X(AP_INVALID_SET_PROT, 0x00070000, "AP_INVALID_SET_PROT") \
  X(AP_SECURITY_NOT_VALID_PASSWORD_EXPIRED, 0x00FF0F08, "AP_SECURITY_NOT_VALID_PASSWORD_EXPIRED") \
  X(AP_BAD_TP_ID, 0x01000000, "AP_BAD_TP_ID") \
  X(AP_INVALID_NEW_PROT, 0x01070000, "AP_INVALID_NEW_PROT") \
  X(AP_SECURITY_NOT_VALID_PASSWORD_INVALID, 0x01FF0F08, "AP_SECURITY_NOT_VALID_PASSWORD_INVALID") \
  X(AP_BAD_CONV_ID, 0x02000000, "AP_BAD_CONV_ID") \
  X(AP_SEND_ERROR_LOG_LL_WRONG, 0x02010000, "AP_SEND_ERROR_LOG_LL_WRONG") \
  X(AP_INVALID_SET_UNPROT, 0x02070000, "AP_INVALID_SET_UNPROT") \
  X(AP_SECURITY_NOT_VALID_USERID_REVOKED, 0x02FF0F08, "AP_SECURITY_NOT_VALID_USERID_REVOKED") \
  X(AP_BAD_LU_ALIAS, 0x03000000, "AP_BAD_LU_ALIAS") \
  X(AP_BAD_LOCAL_LU_ALIAS, 0x03000001, "AP_BAD_LOCAL_LU_ALIAS") \
  X(AP_BAD_REMOTE_LU_ALIAS, 0x03000002, "AP_BAD_REMOTE_LU_ALIAS") \
  X(AP_POST_ON_RECEIPT_BAD_FILL, 0x03000003, "AP_POST_ON_RECEIPT_BAD_FILL") \
  X(AP_SEND_ERROR_BAD_TYPE, 0x03010000, "AP_SEND_ERROR_BAD_TYPE") \
  X(AP_INVALID_NEW_UNPROT, 0x03070000, "AP_INVALID_NEW_UNPROT") \
  X(AP_SECURITY_NOT_VALID_USERID_INVALID, 0x03FF0F08, "AP_SECURITY_NOT_VALID_USERID_INVALID") \
  X(AP_ALLOCATION_FAILURE_NO_RETRY, 0x04000000, "AP_ALLOCATION_FAILURE_NO_RETRY") \
  X(AP_INVALID_SET_USER, 0x04070000, "AP_INVALID_SET_USER") \
  X(AP_SECURITY_NOT_VALID_USERID_MISSING, 0x04FF0F08, "AP_SECURITY_NOT_VALID_USERID_MISSING") \
  X(AP_ALLOCATION_FAILURE_RETRY, 0x05000000, "AP_ALLOCATION_FAILURE_RETRY") \
  X(AP_BAD_ERROR_DIRECTION, 0x05010000, "AP_BAD_ERROR_DIRECTION") \
  X(AP_INVALID_DATA_TYPE, 0x05070000, "AP_INVALID_DATA_TYPE") \
  X(AP_SECURITY_NOT_VALID_PASSWORD_MISSING, 0x05FF0F08, "AP_SECURITY_NOT_VALID_PASSWORD_MISSING") \
  X(AP_INVALID_DATA_SEGMENT, 0x06000000, "AP_INVALID_DATA_SEGMENT") \
  X(AP_UNDEFINED_TP_NAME, 0x06050000, "AP_UNDEFINED_TP_NAME") \
  X(AP_SECURITY_NOT_VALID_GROUP_INVALID, 0x06FF0F08, "AP_SECURITY_NOT_VALID_GROUP_INVALID") \
  X(AP_SECURITY_NOT_VALID_USERID_REVOKED_IN_GROUP, 0x07FF0F08, "AP_SECURITY_NOT_VALID_USERID_REVOKED_IN_GROUP") \
  X(AP_ATTACH_MANAGER_INACTIVE, 0x08050000, "AP_ATTACH_MANAGER_INACTIVE") \
  X(AP_BO_NO_RESYNC, 0x08240000, "AP_BO_NO_RESYNC") \
  X(AP_BO_RESYNC, 0x08240001, "AP_BO_RESYNC") \
  X(AP_SECURITY_NOT_VALID_USERID_NOT_DEFD_TO_GROUP, 0x08FF0F08, "AP_SECURITY_NOT_VALID_USERID_NOT_DEFD_TO_GROUP") \
  X(AP_ALLOCATE_NOT_PENDING, 0x09050000, "AP_ALLOCATE_NOT_PENDING") \
  X(AP_SECURITY_NOT_VALID_NOT_AUTHORIZED_AT_REMOTE_LU, 0x09FF0F08, "AP_SECURITY_NOT_VALID_NOT_AUTHORIZED_AT_REMOTE_LU") \
  X(AP_LU_ALREADY_REGISTERED, 0x0A050000, "AP_LU_ALREADY_REGISTERED") \
  X(AP_SECURITY_NOT_VALID_NOT_AUTHORIZED_FROM_LOCAL_LU, 0x0AFF0F08, "AP_SECURITY_NOT_VALID_NOT_AUTHORIZED_FROM_LOCAL_LU") \
  X(AP_SECURITY_NOT_VALID_NOT_AUTHORIZED_TO_TRANSACTION_PROGRAM, 0x0BFF0F08, "AP_SECURITY_NOT_VALID_NOT_AUTHORIZED_TO_TRANSACTION_PROGRAM") \
  X(AP_SECURITY_NOT_VALID_INSTALLATION_EXIT_FAILED, 0x0CFF0F08, "AP_SECURITY_NOT_VALID_INSTALLATION_EXIT_FAILED") \
  X(AP_SECURITY_NOT_VALID_PROCESSING_FAILURE, 0x0DFF0F08, "AP_SECURITY_NOT_VALID_PROCESSING_FAILURE") \
  X(AP_SECURITY_NOT_VALID_PROTOCOL_VIOLATION, 0x0EFF0F08, "AP_SECURITY_NOT_VALID_PROTOCOL_VIOLATION") \
  X(AP_BAD_CONV_TYPE, 0x11000000, "AP_BAD_CONV_TYPE") \
  X(AP_BAD_SYNC_LEVEL, 0x12000000, "AP_BAD_SYNC_LEVEL") \
  X(AP_INVALID_SESSION_ID, 0x12050000, "AP_INVALID_SESSION_ID") \
  X(AP_BAD_SECURITY, 0x13000000, "AP_BAD_SECURITY") \
  X(AP_INVALID_POLARITY, 0x13050000, "AP_INVALID_POLARITY") \
  X(AP_BAD_RETURN_CONTROL, 0x14000000, "AP_BAD_RETURN_CONTROL") \
  X(AP_INVALID_TYPE, 0x14050000, "AP_INVALID_TYPE") \
  X(AP_INVALID_LU_ALIAS, 0x15050000, "AP_INVALID_LU_ALIAS") \
  X(AP_PIP_LEN_INCORRECT, 0x16000000, "AP_PIP_LEN_INCORRECT") \
  X(AP_INVALID_PLU_ALIAS, 0x16050000, "AP_INVALID_PLU_ALIAS") \
  X(AP_NO_USE_OF_SNASVCMG, 0x17000000, "AP_NO_USE_OF_SNASVCMG") \
  X(AP_INVALID_MODE_NAME, 0x17050000, "AP_INVALID_MODE_NAME") \
  X(AP_UNKNOWN_PARTNER_MODE, 0x18000000, "AP_UNKNOWN_PARTNER_MODE") \
  X(AP_INVALID_TRANSACT_ID, 0x18050000, "AP_INVALID_TRANSACT_ID") \
  X(AP_TP_NAME_NOT_RECOGNIZED, 0x21600810, "AP_TP_NAME_NOT_RECOGNIZED") \
  X(AP_INVALID_PROCESS, 0x25050000, "AP_INVALID_PROCESS") \
  X(AP_CONFIRM_ON_SYNC_LEVEL_NONE, 0x31000000, "AP_CONFIRM_ON_SYNC_LEVEL_NONE") \
  X(AP_PIP_NOT_ALLOWED, 0x31600810, "AP_PIP_NOT_ALLOWED") \
  X(AP_TRANS_PGM_NOT_AVAIL_RETRY, 0x31604B08, "AP_TRANS_PGM_NOT_AVAIL_RETRY") \
  X(AP_CONFIRM_BAD_STATE, 0x32000000, "AP_CONFIRM_BAD_STATE") \
  X(AP_PIP_NOT_SPECIFIED_CORRECTLY, 0x32600810, "AP_PIP_NOT_SPECIFIED_CORRECTLY") \
  X(AP_CONFIRM_NOT_LL_BDY, 0x33000000, "AP_CONFIRM_NOT_LL_BDY") \
  X(AP_CONVERSATION_TYPE_MISMATCH, 0x34600810, "AP_CONVERSATION_TYPE_MISMATCH") \
  X(AP_CONFIRMED_BAD_STATE, 0x41000000, "AP_CONFIRMED_BAD_STATE") \
  X(AP_SYNC_LEVEL_NOT_SUPPORTED, 0x41600810, "AP_SYNC_LEVEL_NOT_SUPPORTED") \
  X(AP_TOO_MANY_TPS, 0x43020000, "AP_TOO_MANY_TPS") \
  X(AP_BAD_TYPE, 0x50020000, "AP_BAD_TYPE") \
  X(AP_DEALLOC_BAD_TYPE, 0x51000000, "AP_DEALLOC_BAD_TYPE") \
  X(AP_SECURITY_NOT_VALID, 0x51600F08, "AP_SECURITY_NOT_VALID") \
  X(AP_DEALLOC_FLUSH_BAD_STATE, 0x52000000, "AP_DEALLOC_FLUSH_BAD_STATE") \
  X(AP_DEALLOC_CONFIRM_BAD_STATE, 0x53000000, "AP_DEALLOC_CONFIRM_BAD_STATE") \
  X(AP_DEALLOC_NOT_LL_BDY, 0x55000000, "AP_DEALLOC_NOT_LL_BDY") \
  X(AP_DEALLOC_LOG_LL_WRONG, 0x57000000, "AP_DEALLOC_LOG_LL_WRONG") \
  X(AP_BAD_PARTNER_LU_ALIAS, 0x5B010000, "AP_BAD_PARTNER_LU_ALIAS") \
  X(AP_FLUSH_NOT_SEND_STATE, 0x61000000, "AP_FLUSH_NOT_SEND_STATE") \
  X(AP_P_TO_R_INVALID_TYPE, 0xA1000000, "AP_P_TO_R_INVALID_TYPE") \
  X(AP_P_TO_R_NOT_LL_BDY, 0xA2000000, "AP_P_TO_R_NOT_LL_BDY") \
  X(AP_P_TO_R_NOT_SEND_STATE, 0xA3000000, "AP_P_TO_R_NOT_SEND_STATE") \
  X(AP_RCV_AND_WAIT_BAD_STATE, 0xB1000000, "AP_RCV_AND_WAIT_BAD_STATE") \
  X(AP_RCV_AND_WAIT_NOT_LL_BDY, 0xB2000000, "AP_RCV_AND_WAIT_NOT_LL_BDY") \
  X(AP_RCV_AND_WAIT_BAD_FILL, 0xB5000000, "AP_RCV_AND_WAIT_BAD_FILL") \
  X(AP_RCV_IMMD_BAD_STATE, 0xC1000000, "AP_RCV_IMMD_BAD_STATE") \
  X(AP_RCV_IMMD_BAD_FILL, 0xC4000000, "AP_RCV_IMMD_BAD_FILL") \
  X(AP_RCV_AND_POST_BAD_STATE, 0xD1000000, "AP_RCV_AND_POST_BAD_STATE") \
  X(AP_RCV_AND_POST_NOT_LL_BDY, 0xD2000000, "AP_RCV_AND_POST_NOT_LL_BDY") \
  X(AP_RCV_AND_POST_BAD_FILL, 0xD5000000, "AP_RCV_AND_POST_BAD_FILL") \
  X(AP_INVALID_SEMAPHORE_HANDLE, 0xD6000000, "AP_INVALID_SEMAPHORE_HANDLE") \
  X(AP_BAD_RETURN_STATUS_WITH_DATA, 0xD7000000, "AP_BAD_RETURN_STATUS_WITH_DATA") \
  X(AP_R_T_S_BAD_STATE, 0xE1000000, "AP_R_T_S_BAD_STATE") \
  X(AP_NO_ACTIVE_NODES, 0xF0000001, "NO ACTIVE NODES") \
  X(AP_NO_ACTIVE_NODES_FOR_LOCAL_LU, 0xF0000002, "NO ACTIVE NODES FOR THIS LOCAL LU") \
  X(AP_BAD_LL, 0xF1000000, "AP_BAD_LL") \
  X(AP_SEND_DATA_NOT_SEND_STATE, 0xF2000000, "AP_SEND_DATA_NOT_SEND_STATE") \
  X(AP_SEND_DATA_INVALID_TYPE, 0xF4000000, "AP_SEND_DATA_INVALID_TYPE") \
  X(AP_SEND_DATA_CONFIRM_SYNC_NONE, 0xF5000000, "AP_SEND_DATA_CONFIRM_SYNC_NONE") \
  X(AP_SEND_DATA_NOT_LL_BDY, 0xF6000000, "AP_SEND_DATA_NOT_LL_BDY")

// The what-received values (uint16_t) and the names the trace gives them.
#define WINAPPC_WHAT_RECEIVED(X) \
  X(AP_SEND, 0x0001, "AP_SEND") \
  X(AP_CONFIRM_WHAT_RECEIVED, 0x0002, "AP_CONFIRM_WHAT_RECEIVED") \
  X(AP_CONFIRM_SEND, 0x0003, "AP_CONFIRM_SEND") \
  X(AP_CONFIRM_DEALLOCATE, 0x0004, "AP_CONFIRM_DEALLOCATE") \
  X(AP_DATA, 0x0100, "AP_DATA") \
  X(AP_DATA_SEND, 0x0101, "AP_DATA_SEND") \
  X(AP_DATA_CONFIRM, 0x0102, "AP_DATA_CONFIRM") \
  X(AP_DATA_CONFIRM_SEND, 0x0103, "AP_DATA_CONFIRM_SEND") \
  X(AP_DATA_CONFIRM_DEALLOCATE, 0x0104, "AP_DATA_CONFIRM_DEALLOCATE") \
  X(AP_DATA_COMPLETE, 0x0200, "AP_DATA_COMPLETE") \
  X(AP_DATA_COMPLETE_SEND, 0x0201, "AP_DATA_COMPLETE_SEND") \
  X(AP_DATA_COMPLETE_CONFIRM, 0x0202, "AP_DATA_COMPLETE_CONFIRM") \
  X(AP_DATA_COMPLETE_CONFIRM_SEND, 0x0203, "AP_DATA_COMPLETE_CONFIRM_SEND") \
  X(AP_DATA_COMPLETE_CONFIRM_DEALL, 0x0204, "AP_DATA_COMPLETE_CONFIRM_DEALL") \
  X(AP_NOT_DATA, 0x0300, "AP_NOT_DATA") \
  X(AP_DATA_INCOMPLETE, 0x0400, "AP_DATA_INCOMPLETE")

// The conversation states (uint8_t) and the names the trace gives them.
#define WINAPPC_CONV_STATES(X) \
  X(AP_RESET_STATE, 0x01, "AP_RESET_STATE") \
  X(AP_SEND_STATE, 0x02, "AP_SEND_STATE") \
  X(AP_RECEIVE_STATE, 0x03, "AP_RECEIVE_STATE") \
  X(AP_CONFIRM_STATE, 0x04, "AP_CONFIRM_STATE") \
  X(AP_CONFIRM_SEND_STATE, 0x05, "AP_CONFIRM_SEND_STATE") \
  X(AP_CONFIRM_DEALL_STATE, 0x06, "AP_CONFIRM_DEALL_STATE") \
  X(AP_PEND_POST_STATE, 0x07, "AP_PEND_POST_STATE") \
  X(AP_PEND_DEALL_STATE, 0x08, "AP_PEND_DEALL_STATE") \
  X(AP_END_CONV_STATE, 0x09, "AP_END_CONV_STATE") \
  X(AP_SEND_PENDING_STATE, 0x0A, "AP_SEND_PENDING_STATE")

// The sync levels (uint8_t) and the names the trace gives them.
#define WINAPPC_SYNC_LEVELS(X) \
  X(AP_NONE, 0x00, "AP_NONE") \
  X(AP_CONFIRM_SYNC_LEVEL, 0x01, "AP_CONFIRM_SYNC_LEVEL")

// The deallocate types (uint8_t) and the names the trace gives them.
#define WINAPPC_DEALLOC_TYPES(X) \
  X(AP_SYNC_LEVEL, 0x00, "AP_SYNC_LEVEL") \
  X(AP_FLUSH, 0x01, "AP_FLUSH") \
  X(AP_ABEND, 0x05, "AP_ABEND")

#define WINAPPC_CONSTANT_U16(ident, value, text) inline constexpr std::uint16_t ident = value;
#define WINAPPC_CONSTANT_U32(ident, value, text) inline constexpr std::uint32_t ident = value;
#define WINAPPC_CONSTANT_U8(ident, value, text) inline constexpr std::uint8_t ident = value;
WINAPPC_OPCODES(WINAPPC_CONSTANT_U16)
WINAPPC_PRIMARY_RCS(WINAPPC_CONSTANT_U16)
WINAPPC_SECONDARY_RCS(WINAPPC_CONSTANT_U32)
WINAPPC_WHAT_RECEIVED(WINAPPC_CONSTANT_U16)
WINAPPC_CONV_STATES(WINAPPC_CONSTANT_U8)
WINAPPC_SYNC_LEVELS(WINAPPC_CONSTANT_U8)
WINAPPC_DEALLOC_TYPES(WINAPPC_CONSTANT_U8)
#undef WINAPPC_CONSTANT_U16
#undef WINAPPC_CONSTANT_U32
#undef WINAPPC_CONSTANT_U8

// Operation extension of the mapped-conversation (MC_) verbs.
inline constexpr std::uint8_t AP_MAPPED_CONVERSATION = 1;

inline constexpr std::size_t vcb_size = 212;
inline constexpr std::size_t lu_alias_width = 8;
inline constexpr std::size_t mode_name_width = 8;
inline constexpr std::size_t tp_name_width = 64;
inline constexpr std::size_t tp_id_width = 8;

#pragma pack(push, 1)

struct vcb_header {                  // offset
  std::uint16_t opcode;              //  0
  std::uint8_t opext;                //  2  1 for the MC_ verbs
  std::uint8_t reserved3;            //  3
  std::uint16_t primary_rc;          //  4
  std::uint8_t reserved6[2];         //  6
  std::uint32_t secondary_rc;        //  8
};

struct tp_started_record {
  vcb_header header;
  char lu_alias[lu_alias_width];     // 12  ASCII, blank-padded
  unsigned char tp_id[tp_id_width];  // 20  out
  char tp_name[tp_name_width];       // 28  EBCDIC, blank-padded
};

struct mc_allocate_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint32_t conv_id;             // 20  out
  std::uint8_t reserved24;           // 24
  std::uint8_t sync_level;           // 25
  std::uint8_t reserved26[2];        // 26
  std::uint8_t rtn_ctl;              // 28  return control
  std::uint8_t reserved29[11];       // 29
  char plu_alias[lu_alias_width];    // 40  ASCII, blank-padded
  char mode_name[mode_name_width];   // 48  EBCDIC, blank-padded
  char tp_name[tp_name_width];       // 56  EBCDIC, blank-padded
  std::uint8_t security;             // 120 conversation security
};

struct mc_deallocate_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint32_t conv_id;             // 20
  std::uint8_t reserved24;           // 24
  std::uint8_t dealloc_type;         // 25
};

struct mc_send_data_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint32_t conv_id;             // 20
  std::uint8_t reserved24[2];        // 24
  std::uint16_t dlen;                // 26
  unsigned char* dptr;               // 28
  std::uint8_t type;                 // 32 (36 on 64-bit targets) send type
};

struct mc_send_conversation_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint8_t reserved20[8];        // 20
  std::uint8_t rtn_ctl;              // 28
  std::uint8_t reserved29[11];       // 29
  char plu_alias[lu_alias_width];    // 40
  char mode_name[mode_name_width];   // 48
  char tp_name[tp_name_width];       // 56
  std::uint8_t security;             // 120
  std::uint8_t reserved121[65];      // 121
  std::uint16_t dlen;                // 186
  unsigned char* dptr;               // 188
};

// MC_CONFIRM and MC_CONFIRMED.
struct mc_confirm_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint32_t conv_id;             // 20
};

struct get_state_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint32_t conv_id;             // 20
  std::uint8_t conv_state;           // 24 out
};

struct receive_allocate_record {
  vcb_header header;
  char tp_name[tp_name_width];       // 12  EBCDIC, blank-padded
  unsigned char tp_id[tp_id_width];  // 76  out
  std::uint32_t conv_id;             // 84  out
};

struct mc_receive_and_wait_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint32_t conv_id;             // 20
  std::uint16_t what_rcvd;           // 24 out
  std::uint8_t rtn_status;           // 26 return status with data
  std::uint8_t reserved27[3];        // 27
  std::uint16_t max_len;             // 30
  std::uint16_t dlen;                // 32 out: received length
  std::uint8_t reserved34[2];        // 34
  unsigned char* dptr;               // 36
};

struct tp_ended_record {
  vcb_header header;
  unsigned char tp_id[tp_id_width];  // 12
  std::uint8_t type;                 // 20 end type
};

// The verb control block: one record of 212 bytes, viewed through the record of its verb.
union vcb_block {
  unsigned char bytes[vcb_size];
  vcb_header header;
  tp_started_record tpstarted;
  mc_allocate_record allocate;
  mc_deallocate_record deallocate;
  mc_send_data_record snddata;
  mc_send_conversation_record sendconv;
  mc_confirm_record confirm;
  get_state_record getstate;
  receive_allocate_record rcvalloc;
  mc_receive_and_wait_record rcvwait;
  tp_ended_record tpended;
};

#pragma pack(pop)

// Proof of the layout. Addresses are 4 bytes on the 32-bit Windows target and 8 bytes on
// 64-bit targets; only MC_SEND_DATA's send type moves with them.
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
inline constexpr std::size_t vcb_address_width = sizeof(void*);
inline constexpr std::size_t snddata_type_offset = vcb_address_width == 4 ? 32 : 36;
#if defined(_WIN32) && !defined(_WIN64)
static_assert(vcb_address_width == 4 && snddata_type_offset == 32);
#endif

#define WINAPPC_FIELD_AT(record, field, offset, width)                          \
  static_assert(offsetof(record, field) == (offset), #record "." #field " offset"); \
  static_assert(sizeof(record::field) == (width), #record "." #field " width")

static_assert(sizeof(vcb_block) == vcb_size);
WINAPPC_FIELD_AT(vcb_header, opcode, 0, 2);
WINAPPC_FIELD_AT(vcb_header, opext, 2, 1);
WINAPPC_FIELD_AT(vcb_header, primary_rc, 4, 2);
WINAPPC_FIELD_AT(vcb_header, secondary_rc, 8, 4);
static_assert(sizeof(vcb_header) == 12);

WINAPPC_FIELD_AT(tp_started_record, lu_alias, 12, 8);
WINAPPC_FIELD_AT(tp_started_record, tp_id, 20, 8);
WINAPPC_FIELD_AT(tp_started_record, tp_name, 28, 64);

WINAPPC_FIELD_AT(mc_allocate_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(mc_allocate_record, conv_id, 20, 4);
WINAPPC_FIELD_AT(mc_allocate_record, sync_level, 25, 1);
WINAPPC_FIELD_AT(mc_allocate_record, rtn_ctl, 28, 1);
WINAPPC_FIELD_AT(mc_allocate_record, plu_alias, 40, 8);
WINAPPC_FIELD_AT(mc_allocate_record, mode_name, 48, 8);
WINAPPC_FIELD_AT(mc_allocate_record, tp_name, 56, 64);
WINAPPC_FIELD_AT(mc_allocate_record, security, 120, 1);

WINAPPC_FIELD_AT(mc_deallocate_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(mc_deallocate_record, conv_id, 20, 4);
WINAPPC_FIELD_AT(mc_deallocate_record, dealloc_type, 25, 1);

WINAPPC_FIELD_AT(mc_send_data_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(mc_send_data_record, conv_id, 20, 4);
WINAPPC_FIELD_AT(mc_send_data_record, dlen, 26, 2);
WINAPPC_FIELD_AT(mc_send_data_record, dptr, 28, vcb_address_width);
WINAPPC_FIELD_AT(mc_send_data_record, type, snddata_type_offset, 1);

WINAPPC_FIELD_AT(mc_send_conversation_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(mc_send_conversation_record, rtn_ctl, 28, 1);
WINAPPC_FIELD_AT(mc_send_conversation_record, plu_alias, 40, 8);
WINAPPC_FIELD_AT(mc_send_conversation_record, mode_name, 48, 8);
WINAPPC_FIELD_AT(mc_send_conversation_record, tp_name, 56, 64);
WINAPPC_FIELD_AT(mc_send_conversation_record, security, 120, 1);
WINAPPC_FIELD_AT(mc_send_conversation_record, dlen, 186, 2);
WINAPPC_FIELD_AT(mc_send_conversation_record, dptr, 188, vcb_address_width);

WINAPPC_FIELD_AT(mc_confirm_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(mc_confirm_record, conv_id, 20, 4);

WINAPPC_FIELD_AT(get_state_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(get_state_record, conv_id, 20, 4);
WINAPPC_FIELD_AT(get_state_record, conv_state, 24, 1);

WINAPPC_FIELD_AT(receive_allocate_record, tp_name, 12, 64);
WINAPPC_FIELD_AT(receive_allocate_record, tp_id, 76, 8);
WINAPPC_FIELD_AT(receive_allocate_record, conv_id, 84, 4);

WINAPPC_FIELD_AT(mc_receive_and_wait_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(mc_receive_and_wait_record, conv_id, 20, 4);
WINAPPC_FIELD_AT(mc_receive_and_wait_record, what_rcvd, 24, 2);
WINAPPC_FIELD_AT(mc_receive_and_wait_record, rtn_status, 26, 1);
WINAPPC_FIELD_AT(mc_receive_and_wait_record, max_len, 30, 2);
WINAPPC_FIELD_AT(mc_receive_and_wait_record, dlen, 32, 2);
WINAPPC_FIELD_AT(mc_receive_and_wait_record, dptr, 36, vcb_address_width);

WINAPPC_FIELD_AT(tp_ended_record, tp_id, 12, 8);
WINAPPC_FIELD_AT(tp_ended_record, type, 20, 1);

#undef WINAPPC_FIELD_AT

// Information record filled by WinAPPCStartup; the gateway does not read it.
struct winappc_info {
  std::uint16_t version;
  char description[128];
};

inline constexpr std::uint16_t winappc_version_requested = 0x0001;

extern "C" {
// Registers the process with the APPC service. Returns 0 on success.
int WINAPPC_CALL WinAPPCStartup(std::uint16_t version, winappc_info* info);
// Executes the one verb held in the block synchronously; on return the block holds the
// verb's return codes and outputs.
void WINAPPC_CALL APPC(vcb_block* verb);
// Deregisters the process. Returns nonzero on success.
int WINAPPC_CALL WinAPPCCleanup();
}
