/* The cipher library's seven exports. On the 32-bit Windows target each is __stdcall and
   exported under its undecorated name and ordinal: 1 ZKNULO2, 2 ZKNULO, 3 ZKFEAL2, 4 ZKFEAL,
   5 ZKDES, 6 ZKCRC32, 7 ZKCRC16. Results in the library's static buffers are overwritten by
   the next call of the same export; callers copy what they keep and never free them.
   16-bit parameters occupy a full argument slot; only their low 16 bits count, signed.
   ZKDES returns its result area, or for an operation code above 7 the constant text
   "ERROR--PARAM", which lies in read-only storage: results are read, never written. */
#ifndef ZIFRAKIT_H
#define ZIFRAKIT_H

#if defined(_WIN32)
#define ZK_CALL __stdcall
#else
#define ZK_CALL
#endif

#if defined(ZIFRAKIT_BUILD) && !defined(_WIN32)
#define ZK_EXPORT __attribute__((visibility("default")))
#else
#define ZK_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

ZK_EXPORT int ZK_CALL ZKNULO2(const unsigned char* texto, const unsigned char* clave,
                              unsigned char* retorno);
ZK_EXPORT unsigned char* ZK_CALL ZKNULO(const unsigned char* texto);
ZK_EXPORT int ZK_CALL ZKFEAL2(unsigned char* texto, const unsigned char* clave, short opera,
                              unsigned char* retorno);
ZK_EXPORT unsigned char* ZK_CALL ZKFEAL(unsigned char* texto, const unsigned char* clave,
                                        short opera);
ZK_EXPORT unsigned char* ZK_CALL ZKDES(unsigned char* texto, unsigned char* clave, short opera,
                                       short shkey, short numbl);
ZK_EXPORT unsigned char* ZK_CALL ZKCRC32(const unsigned char* texto);
ZK_EXPORT unsigned char* ZK_CALL ZKCRC16(unsigned char* cletex, short modope);

#ifdef __cplusplus
}
#endif

#endif
