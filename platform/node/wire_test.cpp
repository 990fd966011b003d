#include "platform/node/wire.h"

#include <gtest/gtest.h>

namespace {

std::span<const unsigned char> body_of(const std::vector<unsigned char>& frame) {
  return std::span<const unsigned char>(frame).subspan(wire_header_size);
}

TEST(WireTest, FramesAreLittleEndianAndRoundTrip) {
  wire_verb_request request;
  request.opcode = 0x000F;
  request.opext = 1;
  request.tp_id = {1, 2, 3, 4, 5, 6, 7, 8};
  request.conv_id = 0x11223344;
  request.tp_name.fill('\x40');
  request.max_len = 5000;
  request.data = {0xC1, 0xC2};
  std::vector<unsigned char> frame = wire_frame(request);
  long length = wire_body_length(std::span<const unsigned char, 4>(frame.data(), 4));
  ASSERT_EQ(length, static_cast<long>(frame.size() - wire_header_size));
  EXPECT_EQ(frame[4], static_cast<unsigned char>(wire_type::verb));
  EXPECT_EQ(frame[5], 0x0F);  // opcode, low byte first
  EXPECT_EQ(frame[6], 0x00);
  EXPECT_EQ(frame[16], 0x44);  // conv_id after type, opcode, opext and the TP identifier
  wire_verb_request decoded;
  ASSERT_TRUE(wire_decode(body_of(frame), decoded));
  EXPECT_EQ(decoded.opcode, request.opcode);
  EXPECT_EQ(decoded.tp_id, request.tp_id);
  EXPECT_EQ(decoded.conv_id, request.conv_id);
  EXPECT_EQ(decoded.tp_name, request.tp_name);
  EXPECT_EQ(decoded.max_len, 5000);
  EXPECT_EQ(decoded.data, request.data);

  wire_verb_reply reply;
  reply.primary_rc = 0x0900;
  reply.secondary_rc = 0x01000000;
  reply.what_rcvd = 0x0200;
  reply.conv_state = 3;
  reply.data.assign(wire_max_data, 0xAB);
  wire_verb_reply decoded_reply;
  ASSERT_TRUE(wire_decode(body_of(wire_frame(reply)), decoded_reply));
  EXPECT_EQ(decoded_reply.primary_rc, 0x0900);
  EXPECT_EQ(decoded_reply.secondary_rc, 0x01000000u);
  EXPECT_EQ(decoded_reply.what_rcvd, 0x0200);
  EXPECT_EQ(decoded_reply.data.size(), wire_max_data);
}

TEST(WireTest, MalformedBodiesAreRefused) {
  wire_hello hello;
  hello.process_id = 42;
  std::vector<unsigned char> hello_frame = wire_frame(hello);
  std::vector<unsigned char> good(hello_frame.begin() + wire_header_size, hello_frame.end());
  wire_hello decoded;
  ASSERT_TRUE(wire_decode(good, decoded));
  EXPECT_EQ(decoded.process_id, 42u);
  std::vector<unsigned char> short_body(good.begin(), good.end() - 1);
  std::vector<unsigned char> long_body = good;
  long_body.push_back(0);
  std::vector<unsigned char> wrong_type = good;
  wrong_type[0] = static_cast<unsigned char>(wire_type::verb);
  wire_verb_request request;
  request.data = {1, 2, 3};
  std::vector<unsigned char> verb_frame = wire_frame(request);
  std::vector<unsigned char> verb(verb_frame.begin() + wire_header_size, verb_frame.end());
  std::vector<unsigned char> data_overrun = verb;
  data_overrun.pop_back();  // announced 3 data bytes, 2 present
  const std::vector<unsigned char> bad_hellos[] = {{}, short_body, long_body, wrong_type};
  for (const auto& body : bad_hellos) EXPECT_FALSE(wire_decode(body, decoded));
  wire_verb_request decoded_request;
  EXPECT_TRUE(wire_decode(verb, decoded_request));
  EXPECT_FALSE(wire_decode(data_overrun, decoded_request));
}

TEST(WireTest, BodyLengthsOutsideTheLimitAreRefused) {
  struct length_case {
    std::array<unsigned char, 4> header;
    long length;
  };
  const length_case cases[] = {
      {{0, 0, 0, 0}, -1},
      {{1, 0, 0, 0}, 1},
      {{0xFF, 0x00, 0x01, 0x00}, 0x0100FF},  // wire_max_body
      {{0x00, 0x01, 0x01, 0x00}, -1},
      {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
  };
  static_assert(wire_max_body == 0x0100FF);
  for (const length_case& c : cases) EXPECT_EQ(wire_body_length(c.header), c.length);
}

}  // namespace
