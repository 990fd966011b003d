// The request path of both services over arbitrary byte streams and packed-field tables:
// the frame received over a real socket, the length check, the translation with packed-field
// restoration, and the reply frame sent back.
//
// Input: 24 bytes of packed-field table (PACK1, PACK1_SIZE .. PACK3_SIZE, each a signed 32-bit
// little-endian integer), one byte of options (bit 0: translate; bit 1: the host-to-TCP
// direction, to_ascii instead of to_ebcdic), then the byte stream the client sends before it
// closes its side.
//
// Checked on every input against a model computed here: the results of each receive, the body
// as received, every byte of the translated message (inside an active field clipped to the
// buffer: the received byte; elsewhere: its translation; never a byte out of bounds), one
// packed-field line per active entry in the log, and the reply frame as it arrives.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "appc/charset.h"
#include "appc/log.h"
#include "netgate/frame.h"

namespace {

constexpr std::size_t table_bytes = 24;
constexpr std::int32_t prefix_size = 4;

[[noreturn]] void fail(const char* what, long long expected, long long got) {
  std::fprintf(stderr, "frame_fuzz: %s: expected %lld, got %lld\n", what, expected, got);
  std::abort();
}

void expect(const char* what, long long expected, long long got) {
  if (expected != got) fail(what, expected, got);
}

std::int32_t little_endian(const std::uint8_t* bytes) {
  return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                   std::uint32_t{bytes[2]} << 16 |
                                   std::uint32_t{bytes[3]} << 24);
}

// One connection: the service's end and the client's end of a socket pair.
struct connection {
  int service = -1, client = -1;
  connection() {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
      std::perror("frame_fuzz: socketpair");
      std::exit(1);
    }
    service = ends[0];
    client = ends[1];
  }
  ~connection() {
    close(service);
    close(client);
  }
};

// The client sends the whole stream and closes its sending side. The stream is kept below
// the socket pair's buffer (see scripts/fuzz.sh, -max_len), so this never blocks.
void client_sends(const connection& link, const std::uint8_t* data, std::size_t size) {
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(link.client, data + sent, size - sent, 0);
    if (n <= 0) {
      std::perror("frame_fuzz: send");
      std::exit(1);
    }
    sent += static_cast<std::size_t>(n);
  }
  shutdown(link.client, SHUT_WR);
}

std::vector<unsigned char> client_receives(const connection& link, std::size_t count) {
  std::vector<unsigned char> bytes(count);
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = recv(link.client, bytes.data() + got, count - got, 0);
    if (n <= 0) fail("reply bytes reaching the client", static_cast<long long>(count),
                     static_cast<long long>(got));
    got += static_cast<std::size_t>(n);
  }
  return bytes;
}

// The log of one input, read back after the request path has run.
struct captured_log {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);
  captured_log() { log_attach(stream); }
  ~captured_log() {
    static std::FILE* const nowhere = std::fopen("/dev/null", "w");
    log_attach(nowhere);
    std::fclose(stream);
    std::free(text);
  }
  std::string text_so_far() {
    std::fflush(stream);
    return std::string(text, size);
  }
};

// The lines restore_packed_fields writes for the table.
std::string packed_field_lines(const packed_field_table& fields) {
  std::string lines;
  char line[160];
  for (const packed_field& field : fields) {
    if (field.size <= 0) continue;
    std::snprintf(line, sizeof line, "PACKED FIELD AT OFFSET %d (%d bytes)\n", field.offset, field.size);
    lines += line;
    const long long first = std::max<long long>(field.offset, 0);
    const long long end =
        std::min<long long>(static_cast<long long>(field.offset) + field.size, message_buffer_size);
    if (first >= end) {
      std::snprintf(line, sizeof line,
                    "PACKED FIELD AT OFFSET %d (%d bytes) SKIPPED: outside the 5000-byte buffer\n",
                    field.offset, field.size);
      lines += line;
    } else if (first != field.offset || end - first != field.size) {
      std::snprintf(line, sizeof line,
                    "PACKED FIELD AT OFFSET %d (%d bytes) CLIPPED TO OFFSET %lld (%lld bytes)\n",
                    field.offset, field.size, first, end - first);
      lines += line;
    }
  }
  return lines;
}

// The set of bytes an active entry covers, clipped to the buffer.
std::vector<bool> packed_bytes(const packed_field_table& fields) {
  std::vector<bool> covered(message_buffer_size, false);
  for (const packed_field& field : fields) {
    if (field.size <= 0) continue;
    const long long first = std::max<long long>(field.offset, 0);
    const long long end =
        std::min<long long>(static_cast<long long>(field.offset) + field.size, message_buffer_size);
    for (long long at = first; at < end; ++at) covered[static_cast<std::size_t>(at)] = true;
  }
  return covered;
}

// The buffers of one connection, as the services keep them: process-wide, cleared per request.
netgate_connection_buffers buffers;
message_buffer working;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < table_bytes + 1) return 0;
  packed_field_table fields{};
  for (std::size_t entry = 0; entry < fields.size(); ++entry) {
    fields[entry].offset = little_endian(data + 8 * entry);
    fields[entry].size = little_endian(data + 8 * entry + 4);
  }
  const bool translate = (data[table_bytes] & 1) != 0;
  const bool towards_host = (data[table_bytes] & 2) == 0;
  const std::uint8_t* stream = data + table_bytes + 1;
  const std::size_t stream_size = size - table_bytes - 1;

  captured_log log;
  connection link;
  client_sends(link, stream, stream_size);
  reset_buffers(buffers);
  working.fill(0);

  // Receiving the frame.
  std::int32_t result = tcp_recv_all(link.service, buffers.length.data(), prefix_size);
  if (stream_size < prefix_size) {
    expect("prefix cut short by the close", 0, result);
    return 0;
  }
  expect("prefix received", prefix_size, result);
  const std::int32_t length = length_from_net(buffers.length.data());
  expect("announced length", static_cast<std::int32_t>(std::uint32_t{stream[0]} << 24 |
                                                       std::uint32_t{stream[1]} << 16 |
                                                       std::uint32_t{stream[2]} << 8 | stream[3]),
         length);
  if (!frame_length_accepted(length)) {
    if (length <= message_buffer_size) fail("length refused within the buffer", 1, 0);
    char line[80];
    std::snprintf(line, sizeof line, "TCP frame of %d bytes refused: the limit is 5000\n", length);
    if (log.text_so_far() != line) fail("refusal line", 1, 0);
    return 0;
  }
  if (length > message_buffer_size) fail("length beyond the buffer accepted", 0, 1);
  result = tcp_recv_all(link.service, buffers.request.data(), length);
  const long long available = static_cast<long long>(stream_size) - prefix_size;
  if (length <= 0 || available < length) {
    expect("empty, negative or cut body", 0, result);
    return 0;
  }
  expect("body received", length, result);
  if (std::memcmp(buffers.request.data(), stream + prefix_size, static_cast<std::size_t>(length)) != 0)
    fail("body bytes as sent", 0, 1);

  // The translation with packed-field restoration.
  std::memcpy(working.data(), buffers.request.data(), static_cast<std::size_t>(length));
  if (translate) {
    std::memcpy(buffers.unconverted.data(), buffers.request.data(), static_cast<std::size_t>(length));
    if (towards_host)
      to_ebcdic(working.data(), length);
    else
      to_ascii(working.data(), length);
    restore_packed_fields(working, buffers.unconverted, fields);
  }
  if (log.text_so_far() != (translate ? packed_field_lines(fields) : std::string()))
    fail("packed-field lines", 1, 0);
  const std::vector<bool> kept = translate ? packed_bytes(fields) : std::vector<bool>(message_buffer_size, true);
  const auto& table = towards_host ? ascii_to_ebcdic_table : ebcdic_to_ascii_table;
  for (std::int32_t at = 0; at < message_buffer_size; ++at) {
    const unsigned char received = at < length ? stream[prefix_size + at] : 0;
    const unsigned char expected = kept[static_cast<std::size_t>(at)] || at >= length ? received : table[received];
    if (working[static_cast<std::size_t>(at)] != expected) fail("translated byte at offset", at, -1);
  }

  // The reply frame: the translated message goes back the way it came.
  length_to_net(length, buffers.length.data());
  expect("reply prefix sent", prefix_size, tcp_send_all(link.service, buffers.length.data(), prefix_size));
  expect("reply body sent", length, tcp_send_all(link.service, working.data(), length));
  const std::vector<unsigned char> reply = client_receives(link, prefix_size + static_cast<std::size_t>(length));
  if (std::memcmp(reply.data(), stream, prefix_size) != 0) fail("reply prefix bytes", 0, 1);
  if (std::memcmp(reply.data() + prefix_size, working.data(), static_cast<std::size_t>(length)) != 0)
    fail("reply body bytes", 0, 1);
  return 0;
}
