#include "platform/node/wire.h"

#include <algorithm>

namespace {

// Appends little-endian fields to a frame whose header is patched when the body is complete.
class frame_writer {
 public:
  explicit frame_writer(wire_type type) {
    bytes_.resize(wire_header_size);
    u8(static_cast<std::uint8_t>(type));
  }
  void u8(std::uint8_t value) { bytes_.push_back(value); }
  void u16(std::uint16_t value) {
    u8(static_cast<std::uint8_t>(value));
    u8(static_cast<std::uint8_t>(value >> 8));
  }
  void u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value));
    u16(static_cast<std::uint16_t>(value >> 16));
  }
  template <typename T, std::size_t N>
  void bytes(const std::array<T, N>& field) {
    for (T c : field) u8(static_cast<std::uint8_t>(c));
  }
  void data(const std::vector<unsigned char>& data) {
    std::size_t length = std::min(data.size(), wire_max_data);
    u16(static_cast<std::uint16_t>(length));
    bytes_.insert(bytes_.end(), data.begin(), data.begin() + static_cast<long>(length));
  }
  std::vector<unsigned char> finish() {
    std::uint32_t length = static_cast<std::uint32_t>(bytes_.size() - wire_header_size);
    for (std::size_t i = 0; i < wire_header_size; ++i) {
      bytes_[i] = static_cast<unsigned char>(length >> (8 * i));
    }
    return std::move(bytes_);
  }

 private:
  std::vector<unsigned char> bytes_;
};

// Reads little-endian fields from a body; any read past the end marks the body bad.
class body_reader {
 public:
  body_reader(std::span<const unsigned char> body, wire_type type) : body_(body) {
    if (u8() != static_cast<std::uint8_t>(type)) good_ = false;
  }
  std::uint8_t u8() {
    if (position_ >= body_.size()) {
      good_ = false;
      return 0;
    }
    return body_[position_++];
  }
  std::uint16_t u16() {
    std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | (u8() << 8));
  }
  std::uint32_t u32() {
    std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
  }
  template <typename T, std::size_t N>
  void bytes(std::array<T, N>& field) {
    for (T& c : field) c = static_cast<T>(u8());
  }
  void data(std::vector<unsigned char>& data) {
    std::size_t length = u16();
    if (!good_ || body_.size() - position_ < length) {
      good_ = false;
      return;
    }
    data.assign(body_.begin() + static_cast<long>(position_),
                body_.begin() + static_cast<long>(position_ + length));
    position_ += length;
  }
  // True when every read stayed inside the body and the body held nothing more.
  bool complete() const { return good_ && position_ == body_.size(); }

 private:
  std::span<const unsigned char> body_;
  std::size_t position_ = 0;
  bool good_ = true;
};

}  // namespace

std::vector<unsigned char> wire_frame(const wire_hello& message) {
  frame_writer out(wire_type::hello);
  out.u32(message.magic);
  out.u16(message.version);
  out.u32(message.process_id);
  return out.finish();
}

std::vector<unsigned char> wire_frame(const wire_hello_reply& message) {
  frame_writer out(wire_type::hello_reply);
  out.u32(message.magic);
  out.u16(message.version);
  out.u16(message.status);
  return out.finish();
}

std::vector<unsigned char> wire_frame(const wire_verb_request& message) {
  frame_writer out(wire_type::verb);
  out.u16(message.opcode);
  out.u8(message.opext);
  out.bytes(message.tp_id);
  out.u32(message.conv_id);
  out.bytes(message.lu_alias);
  out.bytes(message.plu_alias);
  out.bytes(message.mode_name);
  out.bytes(message.tp_name);
  out.u8(message.sync_level);
  out.u8(message.rtn_ctl);
  out.u8(message.security);
  out.u8(message.dealloc_type);
  out.u8(message.send_type);
  out.u8(message.rtn_status);
  out.u8(message.end_type);
  out.u16(message.max_len);
  out.data(message.data);
  return out.finish();
}

std::vector<unsigned char> wire_frame(const wire_verb_reply& message) {
  frame_writer out(wire_type::verb_reply);
  out.u16(message.primary_rc);
  out.u32(message.secondary_rc);
  out.bytes(message.tp_id);
  out.u32(message.conv_id);
  out.u16(message.what_rcvd);
  out.u8(message.conv_state);
  out.data(message.data);
  return out.finish();
}

std::vector<unsigned char> wire_cancel_frame() { return frame_writer(wire_type::cancel).finish(); }

long wire_body_length(std::span<const unsigned char, wire_header_size> header) {
  std::uint32_t length = 0;
  for (std::size_t i = 0; i < wire_header_size; ++i) {
    length |= static_cast<std::uint32_t>(header[i]) << (8 * i);
  }
  if (length == 0 || length > wire_max_body) return -1;
  return static_cast<long>(length);
}

std::uint8_t wire_body_type(std::span<const unsigned char> body) {
  return body.empty() ? 0 : body[0];
}

bool wire_decode(std::span<const unsigned char> body, wire_hello& message) {
  body_reader in(body, wire_type::hello);
  message.magic = in.u32();
  message.version = in.u16();
  message.process_id = in.u32();
  return in.complete();
}

bool wire_decode(std::span<const unsigned char> body, wire_hello_reply& message) {
  body_reader in(body, wire_type::hello_reply);
  message.magic = in.u32();
  message.version = in.u16();
  message.status = in.u16();
  return in.complete();
}

bool wire_decode(std::span<const unsigned char> body, wire_verb_request& message) {
  body_reader in(body, wire_type::verb);
  message.opcode = in.u16();
  message.opext = in.u8();
  in.bytes(message.tp_id);
  message.conv_id = in.u32();
  in.bytes(message.lu_alias);
  in.bytes(message.plu_alias);
  in.bytes(message.mode_name);
  in.bytes(message.tp_name);
  message.sync_level = in.u8();
  message.rtn_ctl = in.u8();
  message.security = in.u8();
  message.dealloc_type = in.u8();
  message.send_type = in.u8();
  message.rtn_status = in.u8();
  message.end_type = in.u8();
  message.max_len = in.u16();
  in.data(message.data);
  return in.complete();
}

bool wire_decode(std::span<const unsigned char> body, wire_verb_reply& message) {
  body_reader in(body, wire_type::verb_reply);
  message.primary_rc = in.u16();
  message.secondary_rc = in.u32();
  in.bytes(message.tp_id);
  message.conv_id = in.u32();
  message.what_rcvd = in.u16();
  message.conv_state = in.u8();
  in.data(message.data);
  return in.complete();
}
