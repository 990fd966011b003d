#include "kryptaj/kryptaj.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "kryptaj/modified_utf8.h"
#include "zifrakit/zifrakit.h"

namespace {

constexpr std::size_t kKeyBytes = 8;          // ZKDES reads exactly this many key bytes
constexpr std::size_t kMaxResultChars = 12;   // ZKDES's longest result before its zero

// Raises a new exception of the named class. When even the class cannot be found, the
// virtual machine's own exception from FindClass stays pending instead.
void throw_java(JNIEnv* env, const char* class_name, const char* message) {
  const jclass type = jni_call<kJniFindClass>(env, class_name);
  if (type != nullptr) jni_call<kJniThrowNew>(env, type, message);
}

}  // namespace

extern "C" jstring JNI_CALL Java_com_talun_pelmor_claves_Kryptaj_zkdes(
    JNIEnv* env, jobject /*self*/, jbyteArray texto, jstring clave, jint opera, jint shkey,
    jint numbl) {
  if (texto == nullptr || clave == nullptr) {
    throw_java(env, "java/lang/NullPointerException",
               texto == nullptr ? "zkdes: texto is null" : "zkdes: clave is null");
    return nullptr;
  }

  // The virtual machine's characters are read-only and may be shorter than a key, while
  // ZKDES reads 8 bytes and, for shkey 2, shifts them in place: it gets a private copy.
  const char* key_chars = jni_call<kJniGetStringUTFChars>(env, clave, nullptr);
  if (key_chars == nullptr) return nullptr;
  std::array<unsigned char, kKeyBytes> key{};
  std::memcpy(key.data(), key_chars, strnlen(key_chars, kKeyBytes));
  jni_call<kJniReleaseStringUTFChars>(env, clave, key_chars);

  const jsize length = jni_call<kJniGetArrayLength>(env, texto);
  if (length > kKryptajMaxText) {
    char message[80];
    std::snprintf(message, sizeof message, "zkdes: texto has %ld bytes, at most %d fit",
                  static_cast<long>(length), kKryptajMaxText);
    throw_java(env, "java/lang/IllegalArgumentException", message);
    return nullptr;
  }

  // Cleared first, so that the terminating zero follows the array's bytes and the
  // single-block codes read zeros, not stale stack bytes, past a short array.
  std::array<unsigned char, kKryptajMaxText + 1> text{};
  jni_call<kJniGetByteArrayRegion>(env, texto, jsize{0}, length,
                                   reinterpret_cast<jbyte*>(text.data()));

  // ZKDES takes 16-bit codes: the conversion keeps the low 16 bits, as ZKDES would read them.
  const unsigned char* result =
      ZKDES(text.data(), key.data(), static_cast<short>(opera), static_cast<short>(shkey),
            static_cast<short>(numbl));

  // Raw results are arbitrary bytes, not modified UTF-8: each byte becomes the character of
  // the same value, encoded here, which leaves printable results and the error text as they are.
  std::size_t count = 0;
  while (count < kMaxResultChars && result[count] != 0) ++count;
  std::array<char, 2 * kMaxResultChars + 1> utf{};
  bytes_to_modified_utf8(result, count, utf.data());
  return jni_call<kJniNewStringUTF>(env, static_cast<const char*>(utf.data()));
}
