// The node's decoders of client messages (and of its own replies, which the client decodes)
// over arbitrary bodies and frame headers.
//
// Input: the first 4 bytes are a frame header, the whole input is a body.
//
// Checked on every input: the announced length is refused exactly when it is 0 or above the
// largest body; at most one decoder accepts a body, and only one whose type byte is its own;
// a body a decoder accepts is, once encoded again, exactly the frame that carries it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "platform/node/wire.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "wire_fuzz: %s\n", what);
  std::abort();
}

// A decoder accepted body: its frame must be the header of body's length, then body.
template <class Message>
bool accepted_as(std::span<const unsigned char> body, wire_type type) {
  Message message;
  if (!wire_decode(body, message)) return false;
  if (wire_body_type(body) != static_cast<std::uint8_t>(type)) fail("accepted a foreign type byte");
  const std::vector<unsigned char> frame = wire_frame(message);
  if (frame.size() != wire_header_size + body.size()) fail("encoded length differs");
  if (std::memcmp(frame.data() + wire_header_size, body.data(), body.size()) != 0)
    fail("encoded body differs");
  const long announced =
      wire_body_length(std::span<const unsigned char, wire_header_size>(frame.data(), wire_header_size));
  if (announced != static_cast<long>(body.size())) fail("header of the encoded frame");
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> body(data, size);
  if (size >= wire_header_size) {
    const std::uint32_t length = std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                                 std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24;
    const long announced =
        wire_body_length(std::span<const unsigned char, wire_header_size>(data, wire_header_size));
    const long expected = length == 0 || length > wire_max_body ? -1 : static_cast<long>(length);
    if (announced != expected) fail("announced body length");
  }
  if (wire_body_type(body) != (size == 0 ? 0 : data[0])) fail("type byte");

  const int accepted = accepted_as<wire_hello>(body, wire_type::hello) +
                       accepted_as<wire_hello_reply>(body, wire_type::hello_reply) +
                       accepted_as<wire_verb_request>(body, wire_type::verb) +
                       accepted_as<wire_verb_reply>(body, wire_type::verb_reply);
  if (accepted > 1) fail("one body accepted as two messages");
  return 0;
}
