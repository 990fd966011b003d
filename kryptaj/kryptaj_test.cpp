// The bridge against a hand-made virtual machine: a function table that fills only the
// entries the bridge may use, records every call and models what a virtual machine does
// with references, key characters, pending exceptions and failed allocations. ZKDES is the
// real one of zifrakit; the expected results come from calling it directly.
#include "kryptaj/kryptaj.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "kryptaj/modified_utf8.h"
#include "zifrakit/zifrakit.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct FakeVm {
  JniFunctionTable table{};
  JNIEnv env = &table;

  std::vector<jbyte> array;          // the byte array handed to zkdes
  std::string key;                   // the key string, as its modified UTF-8 bytes
  std::deque<std::string> classes;   // classes handed out by FindClass
  std::deque<std::u16string> strings;  // strings made by NewStringUTF

  std::vector<int> calls;            // table entries called, in order
  std::string pending;               // "class: message" of the pending exception, if any
  int calls_while_pending = 0;       // entries called that a pending exception forbids

  std::unique_ptr<char[]> key_chars;  // what GetStringUTFChars handed out, exactly sized
  bool key_chars_written = false;
  bool key_released_as_obtained = false;

  bool fail_key_chars = false;
  bool fail_new_string = false;
  bool fail_find_class = false;

  jbyteArray array_ref() { return reinterpret_cast<jbyteArray>(&array); }
  jstring key_ref() { return reinterpret_cast<jstring>(&key); }
};

FakeVm* vm = nullptr;  // the machine of the running test

void enter(int index, bool allowed_while_pending = false) {
  vm->calls.push_back(index);
  if (!vm->pending.empty() && !allowed_while_pending) ++vm->calls_while_pending;
}

jclass JNI_CALL fake_find_class(JNIEnv*, const char* name) {
  enter(kJniFindClass);
  if (vm->fail_find_class) {
    vm->pending = std::string("java/lang/NoClassDefFoundError: ") + name;
    return nullptr;
  }
  vm->classes.emplace_back(name);
  return reinterpret_cast<jclass>(&vm->classes.back());
}

jint JNI_CALL fake_throw_new(JNIEnv*, jclass type, const char* message) {
  enter(kJniThrowNew);
  vm->pending = *reinterpret_cast<std::string*>(type) + ": " + message;
  return 0;
}

jstring JNI_CALL fake_new_string_utf(JNIEnv*, const char* utf) {
  enter(kJniNewStringUTF);
  if (vm->fail_new_string) {
    vm->pending = "java/lang/OutOfMemoryError: string";
    return nullptr;
  }
  std::u16string chars;
  // A virtual machine may take malformed text for anything; the bridge never hands it such.
  EXPECT_TRUE(modified_utf8_to_utf16(utf, chars)) << "malformed modified UTF-8";
  vm->strings.push_back(chars);
  return reinterpret_cast<jstring>(&vm->strings.back());
}

const char* JNI_CALL fake_get_string_utf_chars(JNIEnv*, jstring string, jboolean* is_copy) {
  enter(kJniGetStringUTFChars);
  EXPECT_EQ(string, vm->key_ref());
  EXPECT_EQ(is_copy, nullptr);
  if (vm->fail_key_chars) {
    vm->pending = "java/lang/OutOfMemoryError: key";
    return nullptr;
  }
  // Exactly as long as the key and its zero: reading past it shows under the sanitizers.
  vm->key_chars = std::make_unique<char[]>(vm->key.size() + 1);
  std::memcpy(vm->key_chars.get(), vm->key.c_str(), vm->key.size() + 1);
  return vm->key_chars.get();
}

void JNI_CALL fake_release_string_utf_chars(JNIEnv*, jstring string, const char* chars) {
  enter(kJniReleaseStringUTFChars, true);
  vm->key_released_as_obtained = string == vm->key_ref() && chars == vm->key_chars.get();
  vm->key_chars_written = std::memcmp(chars, vm->key.c_str(), vm->key.size() + 1) != 0;
  vm->key_chars.reset();
}

jsize JNI_CALL fake_get_array_length(JNIEnv*, jarray array) {
  enter(kJniGetArrayLength);
  EXPECT_EQ(array, vm->array_ref());
  return static_cast<jsize>(vm->array.size());
}

void JNI_CALL fake_get_byte_array_region(JNIEnv*, jbyteArray array, jsize start, jsize len,
                                         jbyte* buf) {
  enter(kJniGetByteArrayRegion);
  EXPECT_EQ(array, vm->array_ref());
  if (start < 0 || len < 0 || static_cast<std::size_t>(start) + len > vm->array.size()) {
    vm->pending = "java/lang/ArrayIndexOutOfBoundsException: region";
    return;
  }
  std::copy_n(vm->array.begin() + start, len, buf);
}

class KryptajTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vm = &machine;
    machine.table.entry[kJniFindClass] = jni_entry<kJniFindClass>(fake_find_class);
    machine.table.entry[kJniThrowNew] = jni_entry<kJniThrowNew>(fake_throw_new);
    machine.table.entry[kJniNewStringUTF] = jni_entry<kJniNewStringUTF>(fake_new_string_utf);
    machine.table.entry[kJniGetStringUTFChars] =
        jni_entry<kJniGetStringUTFChars>(fake_get_string_utf_chars);
    machine.table.entry[kJniReleaseStringUTFChars] =
        jni_entry<kJniReleaseStringUTFChars>(fake_release_string_utf_chars);
    machine.table.entry[kJniGetArrayLength] = jni_entry<kJniGetArrayLength>(fake_get_array_length);
    machine.table.entry[kJniGetByteArrayRegion] =
        jni_entry<kJniGetByteArrayRegion>(fake_get_byte_array_region);
  }
  void TearDown() override { vm = nullptr; }

  // Calls zkdes on the given array and key (modified UTF-8 bytes) as a static method.
  jstring zkdes(const Bytes& text, const std::string& key, jint opera, jint shkey = 0,
                jint numbl = 0) {
    machine.array.assign(text.begin(), text.end());
    machine.key = key;
    machine.calls.clear();
    return Java_com_talun_pelmor_claves_Kryptaj_zkdes(&machine.env, nullptr, machine.array_ref(),
                                                      machine.key_ref(), opera, shkey, numbl);
  }

  static std::u16string chars_of(jstring result) {
    return *reinterpret_cast<std::u16string*>(result);
  }

  FakeVm machine;
};

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes counting(std::size_t n) {  // n bytes, none of them zero
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i % 255 + 1);
  return b;
}

// What ZKDES returns for this text and key when called directly the way the bridge must
// call it: a zero-filled 512-byte text buffer, a zero-filled 8-byte key. One character per
// result byte up to the first zero.
std::u16string direct_zkdes(const Bytes& text, const std::string& key, jint opera, jint shkey,
                            jint numbl) {
  std::array<unsigned char, 512> buffer{};
  std::copy(text.begin(), text.end(), buffer.begin());
  std::array<unsigned char, 8> key_bytes{};
  std::copy_n(key.begin(), std::min<std::size_t>(key.size(), 8), key_bytes.begin());
  const unsigned char* r = ZKDES(buffer.data(), key_bytes.data(), static_cast<short>(opera),
                                 static_cast<short>(shkey), static_cast<short>(numbl));
  std::u16string out;
  for (std::size_t i = 0; i < 12 && r[i] != 0; ++i) out.push_back(r[i]);
  return out;
}

struct Case {
  const char* what;
  Bytes text;
  std::string key;  // modified UTF-8 bytes, as the virtual machine hands them out
  jint opera;
  jint shkey;
  jint numbl;
};

const std::string kKey = "kR9!p2Zq";
const Bytes kBlock = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
const Bytes kHigh = {0xff, 0x80, 0xc0, 0xe0, 0x9f, 0xa5, 0xfe, 0x81};
const Bytes kPrintable = bytes_of("!1A?O0/_:+N%");  // 12 characters from 32 to 79

std::vector<Case> cases() {
  std::vector<Case> all;
  for (jint opera = -1; opera <= 9; ++opera) {
    all.push_back({"block", kBlock, kKey, opera, 0, 0});
    all.push_back({"high bytes", kHigh, kKey, opera, 0, 0});
    all.push_back({"shifted key", kBlock, kKey, opera, 2, 0});
    all.push_back({"empty array", {}, kKey, opera, 0, 0});
    all.push_back({"511 bytes", counting(511), kKey, opera, 0, 0});
    all.push_back({"zero at index 3", bytes_of(std::string("abc\0defghijklmnopq", 18)), kKey,
                   opera, 0, 0});
  }
  for (jint opera : {3, 0, 2}) all.push_back({"printable block", kPrintable, kKey, opera, 0, 0});
  for (jint opera : {0, 1, 6, 7}) {
    all.push_back({"empty key", kBlock, "", opera, 0, 0});
    all.push_back({"3-byte key", kBlock, "abc", opera, 2, 0});
    all.push_back({"7-byte key", kBlock, "abcdefg", opera, 0, 0});
    all.push_back({"long key", kBlock, "abcdefghijklmnop", opera, 0, 0});
    all.push_back({"multi-byte key", kBlock, "\xc3\xa9\xe2\x82\xac\xc0\x80", opera, 2, 0});
    all.push_back({"15-byte text", counting(15), kKey, opera, 0, 0});
    all.push_back({"numbl ignored", counting(40), kKey, opera, 0, 32767});
  }
  return all;
}

TEST(ModifiedUtf8Test, BytesBecomeCharactersOfTheSameValue) {
  struct Encoding {
    std::vector<unsigned char> bytes;
    std::string utf;
  };
  const Encoding encodings[] = {
      {{}, ""},
      {{0x41, 0x01, 0x7F}, "A\x01\x7F"},
      {{0x80, 0xBF, 0xC0, 0xFF}, "\xC2\x80\xC2\xBF\xC3\x80\xC3\xBF"},
      {{0x45, 0xE9, 0x52}, "E\xC3\xA9R"},
  };
  for (const Encoding& e : encodings) {
    char out[2 * 4 + 1];
    EXPECT_EQ(bytes_to_modified_utf8(e.bytes.data(), e.bytes.size(), out), e.utf.size());
    EXPECT_EQ(std::string(out), e.utf);
    std::u16string chars;
    ASSERT_TRUE(modified_utf8_to_utf16(out, chars));
    EXPECT_EQ(chars, std::u16string(e.bytes.begin(), e.bytes.end()));
  }
  std::u16string chars;
  for (const char* malformed : {"\x80", "\xC3", "\xC3" "A", "\xC1\xBF", "\xE0\x80\x80",
                                "\xF0\x90\x80\x80"}) {
    EXPECT_FALSE(modified_utf8_to_utf16(malformed, chars)) << malformed;
  }
  ASSERT_TRUE(modified_utf8_to_utf16("\xC0\x80\xE2\x82\xAC", chars));  // U+0000, U+20AC
  EXPECT_EQ(chars, (std::u16string{0x0000, 0x20AC}));
}

TEST_F(KryptajTest, EveryCodeGivesZkdesResultByteForByte) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(std::string(c.what) + ", opera " + std::to_string(c.opera) + ", shkey " +
                 std::to_string(c.shkey));
    const std::u16string expected = direct_zkdes(c.text, c.key, c.opera, c.shkey, c.numbl);
    const jstring result = zkdes(c.text, c.key, c.opera, c.shkey, c.numbl);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(chars_of(result), expected);
    EXPECT_EQ(machine.calls,
              (std::vector<int>{kJniGetStringUTFChars, kJniReleaseStringUTFChars,
                                kJniGetArrayLength, kJniGetByteArrayRegion, kJniNewStringUTF}));
    EXPECT_TRUE(machine.pending.empty()) << machine.pending;
    EXPECT_TRUE(machine.key_released_as_obtained);
    EXPECT_FALSE(machine.key_chars_written);
    EXPECT_EQ(Bytes(machine.array.begin(), machine.array.end()), c.text)
        << "the Java array changed";
  }
}

TEST_F(KryptajTest, FixedResultsAreTheirOwnCharacters) {
  const jstring error = zkdes(kBlock, kKey, 8);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(chars_of(error), u"ERROR--PARAM");

  for (jint opera : {1, 5, 7}) {  // printable: 12 characters from 32 to 79
    const jstring printable = zkdes(counting(16), kKey, opera);
    ASSERT_NE(printable, nullptr);
    const std::u16string text = chars_of(printable);
    ASSERT_EQ(text.size(), 12u) << "opera " << opera;
    for (char16_t ch : text) EXPECT_TRUE(ch >= 32 && ch <= 79) << "opera " << opera;
  }

  // Codes 6 and 7 over a text without a whole block: 8 zero bytes, read as an empty text.
  for (jint opera : {6, 7}) {
    const jstring empty = zkdes(bytes_of("abc"), kKey, opera);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(chars_of(empty), u"") << "opera " << opera;
  }
}

TEST_F(KryptajTest, RawResultDecipheredGivesTheBlockBack) {
  const jstring cipher = zkdes(kHigh, kKey, 0);
  ASSERT_NE(cipher, nullptr);
  const std::u16string raw = chars_of(cipher);
  ASSERT_GE(raw.size(), 8u) << "this block's ciphertext holds a zero byte; pick another";
  Bytes block;
  for (std::size_t i = 0; i < 8; ++i) {
    ASSERT_LT(raw[i], 256) << "character " << i << " is no byte";
    block.push_back(static_cast<unsigned char>(raw[i]));
  }
  const jstring plain = zkdes(block, kKey, 2);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(chars_of(plain).substr(0, 8), std::u16string(kHigh.begin(), kHigh.end()));
}

TEST_F(KryptajTest, UpperHalfOfEachIntegerIsIgnored) {
  struct Wide {
    jint opera, shkey, numbl;  // as passed
    jint narrow_opera, narrow_shkey, narrow_numbl;  // what their low 16 bits say
  };
  const Wide wides[] = {
      {65536 + 1, 0, 0, 1, 0, 0},
      {65536 + 7, 65536 + 2, 0, 7, 2, 0},
      {-65536 + 5, 131072, 70000, 5, 0, 4464},
      {65535, 0, 0, -1, 0, 0},
  };
  for (const Wide& w : wides) {
    SCOPED_TRACE("opera " + std::to_string(w.opera));
    const jstring narrow = zkdes(counting(24), kKey, w.narrow_opera, w.narrow_shkey,
                                 w.narrow_numbl);
    const jstring wide = zkdes(counting(24), kKey, w.opera, w.shkey, w.numbl);
    ASSERT_NE(narrow, nullptr);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(chars_of(wide), chars_of(narrow));
  }
}

TEST_F(KryptajTest, RefusalsRaiseJavaExceptionsBeforeZkdes) {
  // A printable result leaves all 12 characters in ZKDES's result buffer; a refused call
  // that reached ZKDES would change them.
  std::array<unsigned char, 8> block{'r', 'e', 'f', 'e', 'r', 'e', 'n', 'c'};
  std::array<unsigned char, 8> key{'k', 'e', 'y', 'k', 'e', 'y', 'k', 'y'};
  const unsigned char* result_buffer = ZKDES(block.data(), key.data(), 1, 0, 0);
  std::array<unsigned char, 13> before;
  std::memcpy(before.data(), result_buffer, before.size());

  struct Refusal {
    const char* what;
    std::size_t array_size;
    bool null_array, null_key;
    std::string exception;
    std::vector<int> calls;
  };
  const Refusal refusals[] = {
      {"512 bytes", 512, false, false,
       "java/lang/IllegalArgumentException: zkdes: texto has 512 bytes, at most 511 fit",
       {kJniGetStringUTFChars, kJniReleaseStringUTFChars, kJniGetArrayLength, kJniFindClass,
        kJniThrowNew}},
      {"100000 bytes", 100000, false, false,
       "java/lang/IllegalArgumentException: zkdes: texto has 100000 bytes, at most 511 fit",
       {kJniGetStringUTFChars, kJniReleaseStringUTFChars, kJniGetArrayLength, kJniFindClass,
        kJniThrowNew}},
      {"null array", 8, true, false, "java/lang/NullPointerException: zkdes: texto is null",
       {kJniFindClass, kJniThrowNew}},
      {"null key", 8, false, true, "java/lang/NullPointerException: zkdes: clave is null",
       {kJniFindClass, kJniThrowNew}},
      {"both null", 8, true, true, "java/lang/NullPointerException: zkdes: texto is null",
       {kJniFindClass, kJniThrowNew}},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    machine.array.assign(r.array_size, 'x');
    machine.key = kKey;
    machine.calls.clear();
    machine.pending.clear();
    const jstring result = Java_com_talun_pelmor_claves_Kryptaj_zkdes(
        &machine.env, nullptr, r.null_array ? nullptr : machine.array_ref(),
        r.null_key ? nullptr : machine.key_ref(), 1, 2, 0);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(machine.pending, r.exception);
    EXPECT_EQ(machine.calls, r.calls);
    EXPECT_EQ(machine.calls_while_pending, 0);
    EXPECT_EQ(std::memcmp(result_buffer, before.data(), before.size()), 0)
        << "ZKDES was reached";
  }
}

TEST_F(KryptajTest, FailuresOfTheVirtualMachineStayPending) {
  struct Failure {
    const char* what;
    bool FakeVm::*fail;
    jint opera;
    std::size_t array_size;
    std::string exception;
    std::vector<int> calls;
  };
  const Failure failures[] = {
      {"key characters", &FakeVm::fail_key_chars, 1, 8, "java/lang/OutOfMemoryError: key",
       {kJniGetStringUTFChars}},
      {"result string", &FakeVm::fail_new_string, 1, 8, "java/lang/OutOfMemoryError: string",
       {kJniGetStringUTFChars, kJniReleaseStringUTFChars, kJniGetArrayLength,
        kJniGetByteArrayRegion, kJniNewStringUTF}},
      {"exception class", &FakeVm::fail_find_class, 1, 600,
       "java/lang/NoClassDefFoundError: java/lang/IllegalArgumentException",
       {kJniGetStringUTFChars, kJniReleaseStringUTFChars, kJniGetArrayLength, kJniFindClass}},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.what);
    machine.fail_key_chars = machine.fail_new_string = machine.fail_find_class = false;
    machine.*f.fail = true;
    machine.pending.clear();
    const jstring result = zkdes(Bytes(f.array_size, 'y'), kKey, f.opera);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(machine.pending, f.exception);
    EXPECT_EQ(machine.calls, f.calls);
    EXPECT_EQ(machine.calls_while_pending, 0);
    EXPECT_EQ(machine.key_chars, nullptr) << "key characters not released";
  }
}

}  // namespace
