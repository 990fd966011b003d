// The wire protocol between the APPC client library and appcnode, one TCP connection per
// client process.
//
// Every message is a frame: a 4-byte little-endian body length, then the body; the body starts
// with a one-byte message type. All integers are little-endian and every field has a fixed
// width, so a 32-bit client and a 64-bit node read the same bytes. A body longer than
// wire_max_body, a body of the wrong size for its type or an unknown type is malformed: the
// node disconnects the client that sent it.
//
// Conversation of a connection:
//   client -> hello (magic, protocol version, process id)
//   node   -> hello_reply (magic, the node's version, status: 0 accepted, 1 version refused)
//   then, one at a time: client -> verb, node -> verb_reply. While a verb is outstanding the
//   client may send cancel once; the node then answers the outstanding verb at once (with
//   AP_CANCELLED unless it had already completed). Exactly one verb_reply answers each verb.
//   An AP_OK reply to MC_ALLOCATE, RECEIVE_ALLOCATE or a verb on a conversation carries the
//   conversation's state after the verb in conv_state, or 0 where the verb ended it. Only a
//   client's own verbs change its conversations' states, so the client can answer GET_STATE
//   from the last state it was told.
//   A TP_STARTED verb carrying a non-zero TP identifier re-creates that TP for a client that
//   reconnected after losing its node; the node refuses an identifier a TP already holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint32_t wire_magic = 0x4E435041;  // "APCN" on the wire
inline constexpr std::uint16_t wire_version = 1;
inline constexpr std::size_t wire_header_size = 4;
inline constexpr std::size_t wire_max_data = 65535;
inline constexpr std::size_t wire_max_body = 256 + wire_max_data;

enum class wire_type : std::uint8_t {
  hello = 1,
  hello_reply = 2,
  verb = 3,
  verb_reply = 4,
  cancel = 5,
};

inline constexpr std::uint16_t wire_hello_accepted = 0;
inline constexpr std::uint16_t wire_hello_version_refused = 1;

struct wire_hello {
  std::uint32_t magic = wire_magic;
  std::uint16_t version = wire_version;
  std::uint32_t process_id = 0;
};

struct wire_hello_reply {
  std::uint32_t magic = wire_magic;
  std::uint16_t version = wire_version;
  std::uint16_t status = wire_hello_accepted;
};

// The inputs of one verb, whatever its operation code; fields a verb does not use are zero.
// Names travel as the block holds them (LU aliases ASCII, mode and TP names EBCDIC, all
// blank-padded).
struct wire_verb_request {
  std::uint16_t opcode = 0;
  std::uint8_t opext = 0;
  std::array<unsigned char, 8> tp_id{};
  std::uint32_t conv_id = 0;
  std::array<char, 8> lu_alias{};
  std::array<char, 8> plu_alias{};
  std::array<char, 8> mode_name{};
  std::array<char, 64> tp_name{};
  std::uint8_t sync_level = 0;
  std::uint8_t rtn_ctl = 0;
  std::uint8_t security = 0;
  std::uint8_t dealloc_type = 0;
  std::uint8_t send_type = 0;
  std::uint8_t rtn_status = 0;
  std::uint8_t end_type = 0;
  std::uint16_t max_len = 0;
  std::vector<unsigned char> data;  // at most wire_max_data bytes
};

// The outputs of one verb.
struct wire_verb_reply {
  std::uint16_t primary_rc = 0;
  std::uint32_t secondary_rc = 0;
  std::array<unsigned char, 8> tp_id{};
  std::uint32_t conv_id = 0;
  std::uint16_t what_rcvd = 0;
  std::uint8_t conv_state = 0;
  std::vector<unsigned char> data;  // at most wire_max_data bytes
};

// Whole frames (header and body), ready to send. Data beyond wire_max_data is not sent.
std::vector<unsigned char> wire_frame(const wire_hello& message);
std::vector<unsigned char> wire_frame(const wire_hello_reply& message);
std::vector<unsigned char> wire_frame(const wire_verb_request& message);
std::vector<unsigned char> wire_frame(const wire_verb_reply& message);
std::vector<unsigned char> wire_cancel_frame();

// The body length announced by a frame header, or -1 when it is 0 or above wire_max_body.
long wire_body_length(std::span<const unsigned char, wire_header_size> header);

// The type byte of a body (0 for an empty body).
std::uint8_t wire_body_type(std::span<const unsigned char> body);

// Each decoder takes a whole body and returns false unless it is exactly one well-formed
// message of its type.
bool wire_decode(std::span<const unsigned char> body, wire_hello& message);
bool wire_decode(std::span<const unsigned char> body, wire_hello_reply& message);
bool wire_decode(std::span<const unsigned char> body, wire_verb_request& message);
bool wire_decode(std::span<const unsigned char> body, wire_verb_reply& message);
