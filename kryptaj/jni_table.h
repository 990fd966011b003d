// The part of the Java Native Interface that the bridge speaks: the primitive and reference
// types, the function table reached through JNIEnv, and the entries used, by their fixed
// position in that table. Each entry's signature is declared once, in JniEntry<index>; the
// bridge calls through jni_call<index> and a test fills a table of its own through jni_entry.
#ifndef KRYPTAJ_JNI_TABLE_H
#define KRYPTAJ_JNI_TABLE_H

#include <cstdint>

// The virtual machine's calling convention for native methods and table entries: the
// platform's standard convention on 32-bit Windows (the callee removes its arguments).
#if defined(_WIN32)
#define JNI_CALL __stdcall
#else
#define JNI_CALL
#endif

extern "C" {

using jint = std::int32_t;
using jsize = jint;
using jbyte = std::int8_t;
using jboolean = std::uint8_t;

// References are opaque handles that only the virtual machine interprets.
struct JniOpaqueObject;
using jobject = JniOpaqueObject*;
using jclass = jobject;
using jstring = jobject;
using jarray = jobject;
using jbyteArray = jarray;

// Entries are stored untyped; jni_call and jni_entry restore and erase their signatures.
using JniAnyFunction = void (*)();

// Positions 0 to 228 of the table (the entries of version 1.2 and before), which hold
// every entry below. A virtual machine's table
// may be longer; nothing past the last declared entry is read.
inline constexpr int kJniTableSize = 229;

struct JniFunctionTable {
  JniAnyFunction entry[kJniTableSize];
};

using JNIEnv = const JniFunctionTable*;

}  // extern "C"

enum JniIndex : int {
  kJniFindClass = 6,
  kJniThrowNew = 14,
  kJniNewStringUTF = 167,
  kJniGetStringUTFChars = 169,
  kJniReleaseStringUTFChars = 170,
  kJniGetArrayLength = 171,
  kJniGetByteArrayRegion = 200,
};

template <int Index>
struct JniEntry;

// Returns the class, or null with NoClassDefFoundError (or OutOfMemoryError) pending.
template <>
struct JniEntry<kJniFindClass> {
  using Fn = jclass(JNI_CALL*)(JNIEnv*, const char* name);
};
// Raises a new exception of the class with the modified UTF-8 message; 0 on success.
template <>
struct JniEntry<kJniThrowNew> {
  using Fn = jint(JNI_CALL*)(JNIEnv*, jclass, const char* message);
};
// A new string from zero-terminated modified UTF-8, or null with OutOfMemoryError pending.
template <>
struct JniEntry<kJniNewStringUTF> {
  using Fn = jstring(JNI_CALL*)(JNIEnv*, const char* utf);
};
// The string as zero-terminated modified UTF-8, read-only, held until released; null with
// OutOfMemoryError pending when the virtual machine has no room for it.
template <>
struct JniEntry<kJniGetStringUTFChars> {
  using Fn = const char*(JNI_CALL*)(JNIEnv*, jstring, jboolean* is_copy);
};
template <>
struct JniEntry<kJniReleaseStringUTFChars> {
  using Fn = void(JNI_CALL*)(JNIEnv*, jstring, const char* chars);
};
template <>
struct JniEntry<kJniGetArrayLength> {
  using Fn = jsize(JNI_CALL*)(JNIEnv*, jarray);
};
// Copies len elements from index start; ArrayIndexOutOfBoundsException outside the array.
template <>
struct JniEntry<kJniGetByteArrayRegion> {
  using Fn = void(JNI_CALL*)(JNIEnv*, jbyteArray, jsize start, jsize len, jbyte* buf);
};

template <int Index, typename... Args>
auto jni_call(JNIEnv* env, Args... args) {
  return reinterpret_cast<typename JniEntry<Index>::Fn>((*env)->entry[Index])(env, args...);
}

template <int Index>
JniAnyFunction jni_entry(typename JniEntry<Index>::Fn function) {
  return reinterpret_cast<JniAnyFunction>(function);
}

#endif
