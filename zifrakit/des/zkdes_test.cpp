// ZKDES through its export: the NIST known-answer tables, every operation code, the key
// shift, the printable forms, the MAC and the writes into the caller's storage.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zifrakit/des/triplet.h"
#include "zifrakit/testing.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::testing::from_hex;
using zifrakit::testing::to_hex;

using Block = std::array<unsigned char, 8>;

Block block_of(const std::string& hex) {
  Block block{};
  auto bytes = from_hex(hex);
  std::memcpy(block.data(), bytes.data(), 8);
  return block;
}

Block block_of(std::uint64_t value) {
  Block block{};
  for (int i = 7; i >= 0; --i, value >>= 8) block[i] = static_cast<unsigned char>(value);
  return block;
}

std::string hex(const Block& block) { return to_hex(block.data(), 8); }

// One call on copies, so that the caller's storage written by the export stays apart.
Block run(Block text, Block key, short opera, short shkey = 0) {
  unsigned char* result = ZKDES(text.data(), key.data(), opera, shkey, 0);
  Block out{};
  std::memcpy(out.data(), result, 8);
  return out;
}

std::string printable(const Block& block) {
  unsigned char characters[12];
  zifrakit::triplet_encode_block(block.data(), characters);
  return std::string(reinterpret_cast<char*>(characters), 12);
}

Block xor_blocks(const Block& a, const Block& b) {
  Block out{};
  for (int i = 0; i < 8; ++i) out[i] = a[i] ^ b[i];
  return out;
}

struct Kat {
  std::string key, plain, cipher;
};

void check_known_answers(const std::vector<Kat>& table) {
  for (const Kat& kat : table) {
    SCOPED_TRACE("key " + kat.key + " plain " + kat.plain);
    EXPECT_EQ(hex(run(block_of(kat.plain), block_of(kat.key), 0)), kat.cipher);
    EXPECT_EQ(hex(run(block_of(kat.cipher), block_of(kat.key), 2)), kat.plain);
  }
}

// Variable plaintext: key 0101010101010101, entry i has plaintext bit i set.
TEST(ZkdesKnownAnswer, VariablePlaintext) {
  const char* ciphers[64] = {
      "95F8A5E5DD31D900", "DD7F121CA5015619", "2E8653104F3834EA", "4BD388FF6CD81D4F",
      "20B9E767B2FB1456", "55579380D77138EF", "6CC5DEFAAF04512F", "0D9F279BA5D87260",
      "D9031B0271BD5A0A", "424250B37C3DD951", "B8061B7ECD9A21E5", "F15D0F286B65BD28",
      "ADD0CC8D6E5DEBA1", "E6D5F82752AD63D1", "ECBFE3BD3F591A5E", "F356834379D165CD",
      "2B9F982F20037FA9", "889DE068A16F0BE6", "E19E275D846A1298", "329A8ED523D71AEC",
      "E7FCE22557D23C97", "12A9F5817FF2D65D", "A484C3AD38DC9C19", "FBE00A8A1EF8AD72",
      "750D079407521363", "64FEED9C724C2FAF", "F02B263B328E2B60", "9D64555A9A10B852",
      "D106FF0BED5255D7", "E1652C6B138C64A5", "E428581186EC8F46", "AEB5F5EDE22D1A36",
      "E943D7568AEC0C5C", "DF98C8276F54B04B", "B160E4680F6C696F", "FA0752B07D9C4AB8",
      "CA3A2B036DBC8502", "5E0905517BB59BCF", "814EEB3B91D90726", "4D49DB1532919C9F",
      "25EB5FC3F8CF0621", "AB6A20C0620D1C6F", "79E90DBC98F92CCA", "866ECEDD8072BB0E",
      "8B54536F2F3E64A8", "EA51D3975595B86B", "CAFFC6AC4542DE31", "8DD45A2DDF90796C",
      "1029D55E880EC2D0", "5D86CB23639DBEA9", "1D1CA853AE7C0C5F", "CE332329248F3228",
      "8405D1ABE24FB942", "E643D78090CA4207", "48221B9937748A23", "DD7C0BBD61FAFD54",
      "2FBC291A570DB5C4", "E07C30D7E4E26E12", "0953E2258E8E90A1", "5B711BC4CEEBF2EE",
      "CC083F1E6D9E85F6", "D2FD8867D50D2DFE", "06E7EA22CE92708F", "166B40B44ABA4BD6"};
  std::vector<Kat> table;
  for (int i = 0; i < 64; ++i)
    table.push_back({"0101010101010101", hex(block_of(std::uint64_t{1} << (63 - i))), ciphers[i]});
  check_known_answers(table);
}

// Variable key: plaintext 0, entry i has key bit i of the 56 set (odd parity kept).
TEST(ZkdesKnownAnswer, VariableKey) {
  const char* ciphers[56] = {
      "95A8D72813DAA94D", "0EEC1487DD8C26D5", "7AD16FFB79C45926", "D3746294CA6A6CF3",
      "809F5F873C1FD761", "C02FAFFEC989D1FC", "4615AA1D33E72F10", "2055123350C00858",
      "DF3B99D6577397C8", "31FE17369B5288C9", "DFDD3CC64DAE1642", "178C83CE2B399D94",
      "50F636324A9B7F80", "A8468EE3BC18F06D", "A2DC9E92FD3CDE92", "CAC09F797D031287",
      "90BA680B22AEB525", "CE7A24F350E280B6", "882BFF0AA01A0B87", "25610288924511C2",
      "C71516C29C75D170", "5199C29A52C9F059", "C22F0A294A71F29F", "EE371483714C02EA",
      "A81FBD448F9E522F", "4F644C92E192DFED", "1AFA9A66A6DF92AE", "B3C1CC715CB879D8",
      "19D032E64AB0BD8B", "3CFAA7A7DC8720DC", "B7265F7F447AC6F3", "9DB73B3C0D163F54",
      "8181B65BABF4A975", "93C9B64042EAA240", "5570530829705592", "8638809E878787A0",
      "41B9A79AF79AC208", "7A9BE42F2009A892", "29038D56BA6D2745", "5495C6ABF1E5DF51",
      "AE13DBD561488933", "024D1FFA8904E389", "D1399712F99BF02E", "14C1D7C1CFFEC79E",
      "1DE5279DAE3BED6F", "E941A33F85501303", "DA99DBBC9A03F379", "B7FC92F91D8E92E9",
      "AE8E5CAA3CA04E85", "9CC62DF43B6EED74", "D863DBB5C59A91A0", "A1AB2190545B91D7",
      "0875041E64C570F7", "5A594528BEBEF1CC", "FCDB3291DE21F0C0", "869EFD7F9F265A09"};
  std::vector<Kat> table;
  for (int i = 0; i < 56; ++i) {
    Block key{};
    for (int byte = 0; byte < 8; ++byte)
      key[byte] = static_cast<unsigned char>(byte == i / 7 ? 0x80 >> (i % 7) : 0x01);
    table.push_back({hex(key), "0000000000000000", ciphers[i]});
  }
  check_known_answers(table);
}

TEST(ZkdesKnownAnswer, PermutationOperation) {
  const std::pair<const char*, const char*> rows[32] = {
      {"1046913489980131", "88D55E54F54C97B4"}, {"1007103489988020", "0C0CC00C83EA48FD"},
      {"10071034C8980120", "83BC8EF3A6570183"}, {"1046103489988020", "DF725DCAD94EA2E9"},
      {"1086911519190101", "E652B53B550BE8B0"}, {"1086911519580101", "AF527120C485CBB0"},
      {"5107B01519580101", "0F04CE393DB926D5"}, {"1007B01519190101", "C9F00FFC74079067"},
      {"3107915498080101", "7CFD82A593252B4E"}, {"3107919498080101", "CB49A2F9E91363E3"},
      {"10079115B9080140", "00B588BE70D23F56"}, {"3107911598080140", "406A9A6AB43399AE"},
      {"1007D01589980101", "6CB773611DCA9ADA"}, {"9107911589980101", "67FD21C17DBB5D70"},
      {"9107D01589190101", "9592CB4110430787"}, {"1007D01598980120", "A6B7FF68A318DDD3"},
      {"1007940498190101", "4D102196C914CA16"}, {"0107910491190401", "2DFA9F4573594965"},
      {"0107910491190101", "B46604816C0E0774"}, {"0107940491190401", "6E7E6221A4F34E87"},
      {"19079210981A0101", "AA85E74643233199"}, {"1007911998190801", "2E5A19DB4D1962D6"},
      {"10079119981A0801", "23A866A809D30894"}, {"1007921098190101", "D812D961F017D320"},
      {"100791159819010B", "055605816E58608F"}, {"1004801598190101", "ABD88E8B1B7716F1"},
      {"1004801598190102", "537AC95BE69DA1E1"}, {"1004801598190108", "AED0F6AE3C25CDD8"},
      {"1002911598100104", "B3E35A5EE53E7B8D"}, {"1002911598190104", "61C79C71921A2EF8"},
      {"1002911598100201", "E2F5728F0995013C"}, {"1002911698100101", "1AEAC39A61F0A464"}};
  std::vector<Kat> table;
  for (const auto& [key, cipher] : rows) table.push_back({key, "0000000000000000", cipher});
  check_known_answers(table);
}

const std::vector<Kat> substitution_table = {
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
    {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
    {"3849674C2602319E", "51454B582DDF440A", "7178876E01F19B2A"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "AF37FB421F8C4095"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "86A560F10EC6D85B"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "0CD3DA020021DC09"},
    {"43297FAD38E373FE", "762514B829BF486A", "EA676B2CB7DB2B7A"},
    {"07A7137045DA2A16", "3BDD119049372802", "DFD64A815CAF1A0F"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "5C513C9C4886C088"},
    {"37D06BB516CB7546", "164D5E404F275232", "0A2AEEAE3FF4AB77"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "EF1BF03E5DFA575A"},
    {"584023641ABA6176", "004BD6EF09176062", "88BF0DB6D70DEE56"},
    {"025816164629B007", "480D39006EE762F2", "A1F9915541020B56"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "6FBF1CAFCFFD0556"},
    {"4FB05E1515AB73A7", "072D43A077075292", "2F22E49BAB7CA1AC"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "5A6B612CC26CCE4A"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "5F4C038ED12B2E41"},
    {"1C587F1C13924FEF", "305532286D6F295A", "63FAC0D034D9F793"}};

TEST(ZkdesKnownAnswer, SubstitutionTable) { check_known_answers(substitution_table); }

// Every operation code on one block of the substitution table.
TEST(ZkdesOperation, EveryCode) {
  const Block key = block_of("7CA110454A1A6E57");
  const Block plain = block_of("01A1D6D039776742");
  const Block cipher = block_of("690F5B0D9A26939B");
  struct Case {
    short opera;
    std::string input;     // the 8 bytes or 12 characters handed in
    std::string expected;  // the result read as 13 bytes
  };
  auto raw = [](const Block& block) {
    return std::string(reinterpret_cast<const char*>(block.data()), 8) + std::string(5, '\0');
  };
  auto text = [](const Block& block) { return std::string(reinterpret_cast<const char*>(block.data()), 8); };
  const std::string error_text("ERROR--PARAM\0", 13);
  const std::vector<Case> cases = {
      {0, text(plain), raw(cipher)},
      {1, text(plain), printable(cipher) + std::string(1, '\0')},
      {2, text(cipher), raw(plain)},
      {3, printable(cipher), raw(plain)},
      {4, text(plain), raw(xor_blocks(cipher, plain))},
      {5, text(plain), printable(xor_blocks(cipher, plain)) + std::string(1, '\0')},
      {-1, text(plain), raw(cipher)},
      {-32768, text(plain), raw(cipher)},
      {8, text(plain), error_text},
      {9, text(plain), error_text},
      {32767, text(plain), error_text},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("opera " + std::to_string(c.opera));
    unsigned char area[13] = {};
    std::memcpy(area, c.input.data(), c.input.size());
    Block k = key;
    unsigned char* result = ZKDES(area, k.data(), c.opera, 0, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(result), 13), c.expected);
  }
}

TEST(ZkdesOperation, ResultAreaIsTheSameForEveryCodeUpToSevenAndTheErrorTextApart) {
  Block key = block_of("0123456789ABCDEF");
  unsigned char text[17] = "ABCDEFGHIJKLMNOP";
  unsigned char* first = ZKDES(text, key.data(), 0, 0, 0);
  for (short opera = 1; opera <= 7; ++opera) {
    unsigned char copy[17] = "ABCDEFGHIJKLMNOP";
    EXPECT_EQ(ZKDES(copy, key.data(), opera, 0, 0), first) << opera;
  }
  unsigned char copy[17] = "ABCDEFGHIJKLMNOP";
  unsigned char* error = ZKDES(copy, key.data(), 8, 0, 0);
  EXPECT_NE(error, first);
  EXPECT_STREQ(reinterpret_cast<char*>(error), "ERROR--PARAM");
}

TEST(ZkdesOperation, NumblNeverChangesTheResult) {
  const Block key = block_of("0131D9619DC1376E");
  for (short opera : {0, 1, 6, 7}) {
    unsigned char text[] = "a text of three blocks!!";
    Block k = key;
    std::string reference(reinterpret_cast<char*>(ZKDES(text, k.data(), opera, 0, 0)), 13);
    for (short numbl : {-1, 1, 2, 100, 32767}) {
      unsigned char again[] = "a text of three blocks!!";
      Block k2 = key;
      EXPECT_EQ(std::string(reinterpret_cast<char*>(ZKDES(again, k2.data(), opera, 0, numbl)), 13),
                reference)
          << "opera " << opera << " numbl " << numbl;
    }
  }
}

TEST(ZkdesOperation, SingleBlockCodesReadEightBytesWhateverTheText) {
  Block key = block_of("0123456789ABCDEF");
  Block with_nul = block_of("0041424344454647");  // read as a string: empty
  Block last_differs = block_of("0041424344454648");
  EXPECT_NE(hex(run(with_nul, key, 0)), hex(run(last_differs, key, 0)));
  EXPECT_EQ(hex(run(run(with_nul, key, 0), key, 2)), hex(with_nul));
}

// A raw result follows an earlier printable one: bytes 8 to 12 are zero, so the result read
// as a string never runs into the earlier characters.
TEST(ZkdesOperation, RawResultClearsTheTailOfAnEarlierPrintableResult) {
  Block key = block_of("133457799BBCDFF1");
  for (short raw_code : {0, 2, 3, 4, 6, 7, -5}) {
    SCOPED_TRACE(raw_code);
    Block plain = block_of("0123456789ABCDEF");
    Block k = key;
    ZKDES(plain.data(), k.data(), 1, 0, 0);  // 12 printable characters
    unsigned char input[13] = "short";       // code 3 decodes any 12 bytes; 6 and 7 find no block
    if (raw_code != 3 && raw_code != 6 && raw_code != 7) std::memcpy(input, "12345678", 8);
    k = key;
    unsigned char* result = ZKDES(input, k.data(), raw_code, 0, 0);
    for (int i = 8; i < 13; ++i) EXPECT_EQ(result[i], 0) << "byte " << i;
  }
}

TEST(ZkdesKeyShift, ShiftedKeyIsWrittenBackAndUsesTheLowSevenBits) {
  const Block key = block_of("0123456789ABCDEF");
  Block shifted_key = key;
  for (auto& byte : shifted_key) byte = static_cast<unsigned char>(byte << 1);
  Block plain = block_of("4E6F772069732074");

  Block k = key;
  Block text = plain;
  unsigned char* result = ZKDES(text.data(), k.data(), 0, 2, 0);
  EXPECT_EQ(to_hex(result, 8), hex(run(plain, shifted_key, 0)));
  EXPECT_EQ(hex(k), hex(shifted_key));

  // Again on the same storage: shifted once more.
  text = plain;
  ZKDES(text.data(), k.data(), 0, 2, 0);
  Block twice = shifted_key;
  for (auto& byte : twice) byte = static_cast<unsigned char>(byte << 1);
  EXPECT_EQ(hex(k), hex(twice));

  // Keys that differ only in their top bits agree with the shift; without it, keys that
  // differ only in their lowest bits agree.
  Block top_flipped = key;
  for (auto& byte : top_flipped) byte ^= 0x80;
  EXPECT_EQ(hex(run(plain, key, 0, 2)), hex(run(plain, top_flipped, 0, 2)));
  EXPECT_NE(hex(run(plain, key, 0, 0)), hex(run(plain, top_flipped, 0, 0)));
  Block low_flipped = key;
  for (auto& byte : low_flipped) byte ^= 0x01;
  EXPECT_EQ(hex(run(plain, key, 0, 0)), hex(run(plain, low_flipped, 0, 0)));

  // Other shkey values leave the key alone.
  for (short shkey : {0, 1, 3, -2}) {
    Block untouched = key;
    Block t = plain;
    ZKDES(t.data(), untouched.data(), 0, shkey, 0);
    EXPECT_EQ(hex(untouched), hex(key)) << shkey;
  }
}

TEST(ZkdesKeyShift, ErrorCodeStillShiftsTheKey) {
  Block key = block_of("0123456789ABCDEF");
  Block text = block_of("0000000000000000");
  EXPECT_STREQ(reinterpret_cast<char*>(ZKDES(text.data(), key.data(), 8, 2, 0)), "ERROR--PARAM");
  EXPECT_EQ(hex(key), "02468ACE12569ADE");
}

// The 12 characters of code 3 are decoded over the first 8 of them; the last four stay.
TEST(ZkdesPrintable, DecodingInPlace) {
  struct Case {
    std::string characters;  // 12
    std::string decoded;     // hex of the 8 bytes written over them
  };
  const std::string example{35, 38, 32, 39, 66, 39, 43, 46, 47, 47, 74, 54};
  const std::vector<Case> cases = {
      {example, "0123456789ABCDEF"},
      {std::string(12, 'O'), "AFFFAFFFAFFFAFFF"},
      {std::string(12, '\0'), "D9E0D9E0D9E0D9E0"},
      {std::string(12, ' '), "0000000000000000"},
      {std::string{47, 53, 60, 47, 53, 60, 47, 53, 60, 47, 53, 60}, "FFFFFFFFFFFFFFFF"},
  };
  Block key = block_of("0123456789ABCDEF");
  for (const Case& c : cases) {
    unsigned char area[13] = {};
    std::memcpy(area, c.characters.data(), 12);
    Block k = key;
    unsigned char* result = ZKDES(area, k.data(), 3, 0, 0);
    EXPECT_EQ(to_hex(area, 8), c.decoded);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area + 8), 4), c.characters.substr(8));
    EXPECT_EQ(to_hex(result, 8), hex(run(block_of(c.decoded), key, 2)));
  }
}

TEST(ZkdesPrintable, RoundTrips) {
  for (const Kat& kat : substitution_table) {
    Block key = block_of(kat.key);
    Block plain = block_of(kat.plain);
    Block text = plain;
    Block k = key;
    std::string characters(reinterpret_cast<char*>(ZKDES(text.data(), k.data(), 1, 0, 0)));
    ASSERT_EQ(characters.size(), 12u);
    for (char c : characters) EXPECT_TRUE(c >= 32 && c <= 79);
    EXPECT_EQ(characters, printable(block_of(kat.cipher)));
    unsigned char area[13] = {};
    std::memcpy(area, characters.data(), 12);
    EXPECT_EQ(to_hex(ZKDES(area, k.data(), 3, 0, 0), 8), kat.plain);
    // Code 5: its characters decode to the cipher text XOR the plain text.
    text = plain;
    std::memcpy(area, ZKDES(text.data(), k.data(), 5, 0, 0), 12);
    ZKDES(area, k.data(), 3, 0, 0);
    EXPECT_EQ(to_hex(area, 8), hex(xor_blocks(block_of(kat.cipher), plain)));
  }
}

// The CBC-MAC through the single-block code: zero start, each block XORed with the output
// before it and enciphered.
Block cbc_last_block(const std::vector<unsigned char>& text, const Block& key) {
  Block chain{};
  for (std::size_t i = 0; i + 8 <= text.size(); i += 8) {
    Block block{};
    for (int j = 0; j < 8; ++j) block[j] = text[i + j] ^ chain[j];
    chain = run(block, key, 0);
  }
  return chain;
}

std::vector<unsigned char> text_of(const std::string& s) { return {s.begin(), s.end()}; }

std::string mac(std::vector<unsigned char> text, Block key, short opera) {
  text.push_back(0);
  unsigned char* result = ZKDES(text.data(), key.data(), opera, 0, 0);
  return std::string(reinterpret_cast<char*>(result), opera == 7 ? 12 : 8);
}

TEST(ZkdesMac, EqualsTheLastBlockOfZeroStartCbc) {
  const Block key = block_of("0123456789ABCDEF");
  const std::vector<std::string> texts = {
      "",           "1234567",          "12345678",        "123456789012345",
      "1234567890123456", "Now is the time for all ", "7654321 Now is the time for "};
  for (const std::string& s : texts) {
    SCOPED_TRACE(s);
    Block expected = cbc_last_block(text_of(s), key);
    EXPECT_EQ(to_hex(reinterpret_cast<const unsigned char*>(mac(text_of(s), key, 6).data()), 8),
              hex(expected));
    if (s.size() >= 8) {
      EXPECT_EQ(mac(text_of(s), key, 7), printable(expected));
    } else {
      EXPECT_EQ(mac(text_of(s), key, 7), std::string(8, '\0') + std::string(4, '\0'));
    }
  }
}

TEST(ZkdesMac, OneBlockMatchesTheSingleBlockCodes) {
  const Block key = block_of("0131D9619DC1376E");
  const Block block = block_of("5CD54CA83DEF57DA");
  std::vector<unsigned char> text(block.begin(), block.end());
  Block k = key;
  Block b = block;
  std::string code1(reinterpret_cast<char*>(ZKDES(b.data(), k.data(), 1, 0, 0)));
  EXPECT_EQ(mac(text, key, 7), code1);
  EXPECT_EQ(mac(text, key, 6), std::string(reinterpret_cast<const char*>(run(block, key, 0).data()), 8));
}

TEST(ZkdesMac, OnlyWholeBlocksBeforeTheFirstNulCount) {
  const Block key = block_of("0123456789ABCDEF");
  EXPECT_EQ(mac(text_of("ABCDEFGHxyz"), key, 6), mac(text_of("ABCDEFGHuvwxyz!"), key, 6));
  std::vector<unsigned char> with_nul = text_of("ABCDEFGHIJ");
  with_nul.push_back(0);
  for (char c : std::string("KLMNOPQRSTU")) with_nul.push_back(static_cast<unsigned char>(c));
  EXPECT_EQ(mac(with_nul, key, 6), mac(text_of("ABCDEFGH"), key, 6));
}

TEST(ZkdesMac, TextIsChainedInPlace) {
  const Block key = block_of("0123456789ABCDEF");
  const std::string original = "first 8!second 8third 8!rest";
  std::vector<unsigned char> text = text_of(original);
  text.push_back(0);
  Block k = key;
  ZKDES(text.data(), k.data(), 6, 0, 0);
  // Block 1 stays; block i holds its bytes XORed with the output of chained block i - 1.
  std::vector<unsigned char> expected = text_of(original);
  Block chain{};
  for (std::size_t i = 0; i < 24; i += 8) {
    Block block{};
    for (int j = 0; j < 8; ++j) block[j] = expected[i + j] ^= chain[j];
    chain = run(block, key, 0);
  }
  expected.push_back(0);
  EXPECT_EQ(to_hex(text.data(), text.size()), to_hex(expected.data(), expected.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text.data()), 8), "first 8!");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text.data()) + 24, 4), "rest");
}

// A block count held in 16 bits would turn negative at 32768 blocks and authenticate
// nothing; the count covers the whole text.
TEST(ZkdesMac, LongTextsAreAuthenticatedWhole) {
  const Block key = block_of("1F08260D1AC2465E");
  for (std::size_t size : {std::size_t{262136}, std::size_t{262144}, std::size_t{300001}}) {
    SCOPED_TRACE(size);
    std::vector<unsigned char> text(size);
    std::uint32_t state = 12345;
    for (auto& byte : text) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<unsigned char>(1 + (state >> 16) % 255);
    }
    Block expected = cbc_last_block(text, key);
    EXPECT_EQ(to_hex(reinterpret_cast<const unsigned char*>(mac(text, key, 6).data()), 8),
              hex(expected));
  }
}

// Only the low 16 bits of a 16-bit parameter count: 65536 + n acts as n.
TEST(ZkdesSlots, UpperHalfOfEachSixteenBitSlotIsIgnored) {
  auto wide = zifrakit::testing::widened<zifrakit::testing::ZkdesWide>(ZKDES);
  const Block key = block_of("7CA110454A1A6E57");
  for (std::int32_t opera : {0, 1, 2, 4, 5, 6, 7, 8, -1}) {
    for (std::int32_t upper : {0x10000, 0x7FFF0000, -0x10000}) {
      SCOPED_TRACE(std::to_string(opera) + " with upper " + std::to_string(upper));
      unsigned char text[] = "01234567abcdefgh";
      Block k = key;
      std::string expected(reinterpret_cast<char*>(ZKDES(text, k.data(), static_cast<short>(opera), 2, 0)), 13);
      Block expected_key = k;
      unsigned char again[] = "01234567abcdefgh";
      k = key;
      std::int32_t slot = static_cast<std::int32_t>(static_cast<std::uint32_t>(upper) |
                                                    (static_cast<std::uint32_t>(opera) & 0xFFFF));
      std::string got(reinterpret_cast<char*>(wide(again, k.data(), slot, upper | 2, upper | 9)), 13);
      EXPECT_EQ(got, expected);
      EXPECT_EQ(hex(k), hex(expected_key));
    }
  }
}

}  // namespace
