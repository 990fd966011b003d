#include "platform/acssvc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

convert_record make_record(std::uint8_t direction, const void* source, void* target,
                           std::uint16_t length) {
  convert_record record{};
  record.opcode = SV_CONVERT;
  record.direction = direction;
  record.char_set = 0;
  record.length = length;
  record.source = static_cast<unsigned char*>(const_cast<void*>(source));
  record.target = static_cast<unsigned char*>(target);
  return record;
}

std::string convert(std::uint8_t direction, const std::string& text) {
  std::string result = text;
  convert_record record = make_record(direction, result.data(), result.data(),
                                      static_cast<std::uint16_t>(result.size()));
  ACSSVC_C(&record);
  return result;
}

TEST(ConvertRecord, FieldOffsets) {
  EXPECT_EQ(offsetof(convert_record, opcode), 0u);
  EXPECT_EQ(offsetof(convert_record, direction), 12u);
  EXPECT_EQ(offsetof(convert_record, char_set), 13u);
  EXPECT_EQ(offsetof(convert_record, length), 14u);
  EXPECT_EQ(offsetof(convert_record, source), 16u);
  EXPECT_EQ(offsetof(convert_record, target), 16u + sizeof(void*));
}

// Code page 037 against ISO 8859-1.
TEST(Convert, CodePage037Mappings) {
  struct Case {
    const char* ascii;
    const char* ebcdic;
  };
  const Case cases[] = {
      {"APINGD", "\xC1\xD7\xC9\xD5\xC7\xC4"},
      {"#INTER  ", "\x7B\xC9\xD5\xE3\xC5\xD9\x40\x40"},
      {"0123456789", "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9"},
      {"$@.", "\x5B\x7C\x4B"},
      {"az", "\x81\xA9"},
      {"[]!|^", "\xBA\xBB\x5A\x4F\xB0"},
      {"\n\r\x85\xAC", "\x25\x0D\x15\x5F"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(convert(SV_ASCII_TO_EBCDIC, c.ascii), c.ebcdic) << c.ascii;
    EXPECT_EQ(convert(SV_EBCDIC_TO_ASCII, c.ebcdic), c.ascii) << c.ascii;
  }
}

TEST(Convert, EveryByteRoundTripsBetweenSeparateBuffers) {
  std::vector<unsigned char> original(256), ebcdic(256), back(256);
  for (int b = 0; b < 256; ++b) original[b] = static_cast<unsigned char>(b);
  convert_record there = make_record(SV_ASCII_TO_EBCDIC, original.data(), ebcdic.data(), 256);
  ACSSVC_C(&there);
  std::vector<unsigned char> sorted = ebcdic;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, original) << "not a permutation";
  convert_record home = make_record(SV_EBCDIC_TO_ASCII, ebcdic.data(), back.data(), 256);
  ACSSVC_C(&home);
  EXPECT_EQ(back, original);
}

TEST(Convert, OverlappingBuffersConvertEachSourceByte) {
  const std::string text = "ABCDEFGH";
  for (std::ptrdiff_t shift : {-2, 2}) {
    std::string buffer = "--" + text + "--";
    char* source = buffer.data() + 2;
    convert_record record =
        make_record(SV_ASCII_TO_EBCDIC, source, source + shift, static_cast<std::uint16_t>(8));
    ACSSVC_C(&record);
    EXPECT_EQ(buffer.substr(2 + shift, 8), convert(SV_ASCII_TO_EBCDIC, text)) << shift;
  }
}

TEST(Convert, OnlyLengthBytesAreWritten) {
  std::string text = "ABCD";
  convert_record record = make_record(SV_ASCII_TO_EBCDIC, text.data(), text.data(), 2);
  ACSSVC_C(&record);
  EXPECT_EQ(text, "\xC1\xC2" "CD");
}

TEST(Convert, RecordsThatAreNotSelectorZeroConvertNothing) {
  std::string text = "ABCD";
  convert_record wrong_opcode = make_record(SV_ASCII_TO_EBCDIC, text.data(), text.data(), 4);
  wrong_opcode.opcode = 0x0019;
  convert_record wrong_set = make_record(SV_ASCII_TO_EBCDIC, text.data(), text.data(), 4);
  wrong_set.char_set = 1;
  convert_record wrong_direction = make_record(2, text.data(), text.data(), 4);
  convert_record no_target = make_record(SV_ASCII_TO_EBCDIC, text.data(), nullptr, 4);
  for (convert_record* record : {&wrong_opcode, &wrong_set, &wrong_direction, &no_target}) {
    ACSSVC_C(record);
    EXPECT_EQ(text, "ABCD");
  }
  ACSSVC_C(nullptr);
}

}  // namespace
