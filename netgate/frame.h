// The TCP frame of both gateways: a 4-byte length in network byte order, then exactly that
// many body bytes; one request frame and one reply frame per connection. Also the full-length
// transfers, the packed-field preservation and the fixed message buffers.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/net.h"

inline constexpr std::int32_t message_buffer_size = 5000;
using message_buffer = std::array<unsigned char, message_buffer_size>;

void length_to_net(std::int32_t length, unsigned char* destination);
std::int32_t length_from_net(const unsigned char* source);

// Exactly count bytes: the count, 0 when the peer closed first, -1 on a socket error.
// Bytes already moved are not reported. A count of 0 or less makes no call and returns 0.
std::int32_t tcp_recv_all(net_socket socket, void* buffer, std::int32_t count);
std::int32_t tcp_send_all(net_socket socket, const void* data, std::int32_t count);

// An announced body length that does not fit the message buffers is refused before any body
// byte is read: logs "TCP frame of %d bytes refused: the limit is 5000\n" and returns false.
bool frame_length_accepted(std::int32_t length);

struct packed_field {
  std::int32_t offset;
  std::int32_t size;
};
using packed_field_table = std::array<packed_field, 3>;

// Reads PACK1, PACK1_SIZE .. PACK3, PACK3_SIZE in this order.
packed_field_table read_packed_fields(const char* file, const char* section);

// For entries 1, 2, 3 with size > 0: logs "PACKED FIELD AT OFFSET %d (%d bytes)\n" and copies
// the untranslated bytes back. An entry reaching outside the buffer is clipped to it, logged as
// "PACKED FIELD AT OFFSET %d (%d bytes) CLIPPED TO OFFSET %d (%d bytes)\n"; one wholly outside
// is skipped, logged as "PACKED FIELD AT OFFSET %d (%d bytes) SKIPPED: outside the 5000-byte
// buffer\n". Nothing is ever copied out of bounds.
void restore_packed_fields(message_buffer& working, const message_buffer& unconverted,
                           const packed_field_table& fields);

// The buffer groups of the services, cleared as a group.
struct netgate_connection_buffers {
  message_buffer length, request, unconverted, client_reply;
};
struct netgate_host_buffers {
  message_buffer request, reply;
};
struct hostgate_host_buffers {
  message_buffer message, reply;
};
struct hostgate_server_buffers {
  message_buffer length, message, unconverted, reply;
};

template <class BufferGroup>
void reset_buffers(BufferGroup& group) {
  std::memset(&group, 0, sizeof group);
}
