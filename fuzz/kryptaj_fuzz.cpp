// The Java bridge over arbitrary byte arrays, key strings, codes and virtual-machine failures,
// against a virtual machine of this file's own: a function table that fills only the entries
// the bridge may use (any other entry is null, so calling it is a crash and a finding).
//
// Input: one byte of switches (bit 0: null array; bit 1: null key; bit 2: the key characters
// cannot be handed out; bit 3: the result string cannot be made), opera, shkey and numbl
// (32-bit little-endian each), one byte whose low 4 bits give the key's length, the key's
// bytes (cut at a zero byte, which modified UTF-8 never holds), then the array's bytes.
//
// The array and the key characters live in heap blocks of exactly their size. Checked: the
// refusals (null array or key, more than 511 bytes, key characters refused, result string
// refused) return null with the right exception pending and call nothing while it is pending;
// every key obtained is released, as obtained; the array region asked for is the whole array;
// neither the array nor the key characters change; and the result string is, character for
// character, what ZKDES gives on a zero-filled 512-byte copy of the array and an 8-byte
// zero-filled copy of the key with the low 16 bits of the codes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "kryptaj/kryptaj.h"
#include "kryptaj/modified_utf8.h"
#include "zifrakit/zifrakit.h"

namespace {

constexpr const char* target = "kryptaj_fuzz";

struct virtual_machine {
  std::unique_ptr<exact_block> array;
  std::unique_ptr<exact_block> key;  // modified UTF-8 and its terminator
  bool refuse_key_chars = false, refuse_string = false;

  std::string pending;               // class of the pending exception, empty when none
  int calls_while_pending = 0;
  int keys_obtained = 0, keys_released = 0;
  bool region_outside = false;
  bool string_made = false;
  std::u16string result;
  std::string classes[4];
  int class_count = 0;
};

virtual_machine* vm = nullptr;

void enter() {
  if (!vm->pending.empty()) ++vm->calls_while_pending;
}

jclass JNI_CALL find_class(JNIEnv*, const char* name) {
  enter();
  if (vm->class_count == 4) fuzz_fail(target, "more classes asked for than a call needs");
  vm->classes[vm->class_count] = name;
  return reinterpret_cast<jclass>(&vm->classes[vm->class_count++]);
}

jint JNI_CALL throw_new(JNIEnv*, jclass type, const char* message) {
  enter();
  if (message == nullptr) fuzz_fail(target, "exception without a message");
  vm->pending = *reinterpret_cast<std::string*>(type);
  return 0;
}

jstring JNI_CALL new_string_utf(JNIEnv*, const char* utf) {
  enter();
  if (utf == nullptr) fuzz_fail(target, "string from a null text");
  if (vm->refuse_string) {
    vm->pending = "java/lang/OutOfMemoryError";
    return nullptr;
  }
  if (!modified_utf8_to_utf16(utf, vm->result)) fuzz_fail(target, "malformed modified UTF-8");
  vm->string_made = true;
  return reinterpret_cast<jstring>(&vm->result);
}

const char* JNI_CALL get_string_utf_chars(JNIEnv*, jstring, jboolean* is_copy) {
  enter();
  if (is_copy != nullptr) *is_copy = 1;
  if (vm->refuse_key_chars) {
    vm->pending = "java/lang/OutOfMemoryError";
    return nullptr;
  }
  ++vm->keys_obtained;
  return reinterpret_cast<const char*>(vm->key->data());
}

void JNI_CALL release_string_utf_chars(JNIEnv*, jstring, const char* chars) {
  // Allowed while an exception is pending.
  if (chars != reinterpret_cast<const char*>(vm->key->data()))
    fuzz_fail(target, "released key characters that were not handed out");
  ++vm->keys_released;
}

jsize JNI_CALL get_array_length(JNIEnv*, jarray) {
  enter();
  return static_cast<jsize>(vm->array->size());
}

void JNI_CALL get_byte_array_region(JNIEnv*, jbyteArray, jsize start, jsize length, jbyte* buffer) {
  enter();
  if (start != 0 || length < 0 || static_cast<std::size_t>(length) != vm->array->size()) {
    vm->region_outside = true;
    vm->pending = "java/lang/ArrayIndexOutOfBoundsException";
    return;
  }
  if (length > 0) std::memcpy(buffer, vm->array->data(), static_cast<std::size_t>(length));
}

const JniFunctionTable& function_table() {
  static const JniFunctionTable table = [] {
    JniFunctionTable t{};
    t.entry[kJniFindClass] = jni_entry<kJniFindClass>(find_class);
    t.entry[kJniThrowNew] = jni_entry<kJniThrowNew>(throw_new);
    t.entry[kJniNewStringUTF] = jni_entry<kJniNewStringUTF>(new_string_utf);
    t.entry[kJniGetStringUTFChars] = jni_entry<kJniGetStringUTFChars>(get_string_utf_chars);
    t.entry[kJniReleaseStringUTFChars] = jni_entry<kJniReleaseStringUTFChars>(release_string_utf_chars);
    t.entry[kJniGetArrayLength] = jni_entry<kJniGetArrayLength>(get_array_length);
    t.entry[kJniGetByteArrayRegion] = jni_entry<kJniGetByteArrayRegion>(get_byte_array_region);
    return t;
  }();
  return table;
}

std::int32_t int32(fuzz_input& input) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= std::uint32_t{input.byte()} << (8 * i);
  return static_cast<std::int32_t>(value);
}

void expect_refusal(jstring result, const char* exception) {
  if (result != nullptr) fuzz_fail(target, "a refusal returned a string");
  if (vm->pending != exception) fuzz_fail(target, "a refusal without its exception");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_input input(data, size);
  const std::uint8_t switches = input.byte();
  const std::int32_t opera = int32(input), shkey = int32(input), numbl = int32(input);
  std::vector<unsigned char> key = input.bytes(input.byte() & 0x0F);
  key.erase(std::find(key.begin(), key.end(), 0), key.end());
  const std::vector<unsigned char> array = input.rest();

  virtual_machine machine;
  vm = &machine;
  machine.array = std::make_unique<exact_block>(array);
  machine.key = std::make_unique<exact_block>(key, 1);
  machine.refuse_key_chars = (switches & 4) != 0;
  machine.refuse_string = (switches & 8) != 0;
  const JniFunctionTable& table = function_table();
  JNIEnv env = &table;
  const jbyteArray array_ref = (switches & 1) ? nullptr : reinterpret_cast<jbyteArray>(machine.array.get());
  const jstring key_ref = (switches & 2) ? nullptr : reinterpret_cast<jstring>(machine.key.get());

  const jstring result =
      Java_com_talun_pelmor_claves_Kryptaj_zkdes(&env, nullptr, array_ref, key_ref, opera, shkey, numbl);

  if (machine.calls_while_pending != 0) fuzz_fail(target, "called the machine with an exception pending");
  if (machine.keys_obtained != machine.keys_released) fuzz_fail(target, "key characters not released");
  if (machine.region_outside) fuzz_fail(target, "asked for an array region outside the array");
  if (machine.array->contents() != array) fuzz_fail(target, "the Java array was changed");
  std::vector<unsigned char> key_with_zero = key;
  key_with_zero.push_back(0);
  if (machine.key->contents() != key_with_zero) fuzz_fail(target, "the key characters were changed");

  if (array_ref == nullptr || key_ref == nullptr) {
    expect_refusal(result, "java/lang/NullPointerException");
    return 0;
  }
  if (machine.refuse_key_chars) {
    expect_refusal(result, "java/lang/OutOfMemoryError");
    return 0;
  }
  if (array.size() > static_cast<std::size_t>(kKryptajMaxText)) {
    expect_refusal(result, "java/lang/IllegalArgumentException");
    return 0;
  }
  if (machine.refuse_string) {
    expect_refusal(result, "java/lang/OutOfMemoryError");
    return 0;
  }
  if (result == nullptr || !machine.pending.empty() || !machine.string_made)
    fuzz_fail(target, "no result string for an accepted call");

  std::array<unsigned char, kKryptajMaxText + 1> text{};
  std::copy(array.begin(), array.end(), text.begin());
  std::array<unsigned char, 8> key_bytes{};
  std::copy_n(key.begin(), std::min<std::size_t>(key.size(), 8), key_bytes.begin());
  const unsigned char* expected = ZKDES(text.data(), key_bytes.data(), static_cast<short>(opera),
                                        static_cast<short>(shkey), static_cast<short>(numbl));
  std::u16string expected_chars;
  for (std::size_t i = 0; i < 12 && expected[i] != 0; ++i) expected_chars.push_back(expected[i]);
  if (machine.result != expected_chars) fuzz_fail(target, "the string is not ZKDES's result");
  return 0;
}
