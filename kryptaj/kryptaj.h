// kryptaj: the native side of com.talun.pelmor.claves.Kryptaj.zkdes, which hands a byte array
// and a key string to the cipher library's ZKDES and returns its result as a Java string.
#ifndef KRYPTAJ_KRYPTAJ_H
#define KRYPTAJ_KRYPTAJ_H

#include "kryptaj/jni_table.h"

// The only symbol the library exports (on 32-bit Windows through kryptaj.def, undecorated).
#if defined(KRYPTAJ_BUILD) && !defined(_WIN32)
#define KRYPTAJ_EXPORT __attribute__((visibility("default")))
#else
#define KRYPTAJ_EXPORT
#endif

// The most array bytes one call takes: the text buffer holds them and a terminating zero.
inline constexpr int kKryptajMaxText = 511;

extern "C" {

// zkdes(texto, clave, opera, shkey, numbl), static or instance: `self` is not read.
// ZKDES receives a private copy of the array's bytes, zero-terminated and zero-filled to
// 512 bytes, and a private copy of the key's first 8 modified UTF-8 bytes, zero-filled when
// the key is shorter; opera, shkey and numbl pass unchanged (ZKDES reads their low 16 bits).
// The result holds one character per result byte up to ZKDES's terminating zero.
// Refusals return null with a Java exception pending, before ZKDES is reached:
// NullPointerException for a null array or key, IllegalArgumentException for an array of
// more than 511 bytes, the virtual machine's own exception when it cannot hand out the key
// characters. When the result string cannot be made, null returns with OutOfMemoryError.
KRYPTAJ_EXPORT jstring JNI_CALL Java_com_talun_pelmor_claves_Kryptaj_zkdes(
    JNIEnv* env, jobject self, jbyteArray texto, jstring clave, jint opera, jint shkey,
    jint numbl);

}  // extern "C"

#endif
