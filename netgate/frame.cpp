#include "netgate/frame.h"

#include <algorithm>

#include "appc/config.h"
#include "appc/log.h"

void length_to_net(std::int32_t length, unsigned char* destination) {
  const auto value = static_cast<std::uint32_t>(length);
  destination[0] = static_cast<unsigned char>(value >> 24);
  destination[1] = static_cast<unsigned char>(value >> 16);
  destination[2] = static_cast<unsigned char>(value >> 8);
  destination[3] = static_cast<unsigned char>(value);
}

std::int32_t length_from_net(const unsigned char* source) {
  const std::uint32_t value = (std::uint32_t{source[0]} << 24) | (std::uint32_t{source[1]} << 16) |
                              (std::uint32_t{source[2]} << 8) | std::uint32_t{source[3]};
  return static_cast<std::int32_t>(value);
}

namespace {

// The full-length loop of both directions: step(position, remaining) is one receive or send.
template <class Step>
std::int32_t transfer_all(std::int32_t count, Step step) {
  std::int32_t total = 0;
  while (total < count) {
    const int moved = step(total, count - total);
    if (moved <= 0) return moved;
    total += moved;
  }
  return total;
}

}  // namespace

std::int32_t tcp_recv_all(net_socket socket, void* buffer, std::int32_t count) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  return transfer_all(count, [&](std::int32_t at, std::int32_t remaining) {
    return net_recv(socket, bytes + at, remaining);
  });
}

std::int32_t tcp_send_all(net_socket socket, const void* data, std::int32_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  return transfer_all(count, [&](std::int32_t at, std::int32_t remaining) {
    return net_send(socket, bytes + at, remaining);
  });
}

bool frame_length_accepted(std::int32_t length) {
  if (length <= message_buffer_size) return true;
  log_write("TCP frame of %d bytes refused: the limit is 5000\n", length);
  log_flush();
  return false;
}

packed_field_table read_packed_fields(const char* file, const char* section) {
  packed_field_table fields{};
  fields[0].offset = ini_get_int(file, section, "PACK1");
  fields[0].size = ini_get_int(file, section, "PACK1_SIZE");
  fields[1].offset = ini_get_int(file, section, "PACK2");
  fields[1].size = ini_get_int(file, section, "PACK2_SIZE");
  fields[2].offset = ini_get_int(file, section, "PACK3");
  fields[2].size = ini_get_int(file, section, "PACK3_SIZE");
  return fields;
}

void restore_packed_fields(message_buffer& working, const message_buffer& unconverted,
                           const packed_field_table& fields) {
  for (const packed_field& field : fields) {
    if (field.size <= 0) continue;
    log_write("PACKED FIELD AT OFFSET %d (%d bytes)\n", field.offset, field.size);
    // The part of the field inside the buffer, computed without overflow.
    const std::int64_t first = field.offset < 0 ? 0 : field.offset;
    const std::int64_t end = std::min<std::int64_t>(
        std::int64_t{field.offset} + field.size, message_buffer_size);
    if (first >= end) {
      log_write("PACKED FIELD AT OFFSET %d (%d bytes) SKIPPED: outside the 5000-byte buffer\n",
                field.offset, field.size);
    } else {
      if (first != field.offset || end - first != field.size) {
        log_write("PACKED FIELD AT OFFSET %d (%d bytes) CLIPPED TO OFFSET %d (%d bytes)\n",
                  field.offset, field.size, static_cast<int>(first),
                  static_cast<int>(end - first));
      }
      std::memcpy(working.data() + first, unconverted.data() + first,
                  static_cast<std::size_t>(end - first));
    }
    log_flush();
  }
}
