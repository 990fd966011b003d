package com.talun.pelmor.claves;

/**
 * DES of the cipher library for Java callers, through the native library kryptaj (which
 * needs zifrakit beside it). Loading this class loads the library.
 */
public final class Kryptaj {
    static {
        System.loadLibrary("kryptaj");
    }

    /** The most bytes {@code texto} may hold. */
    public static final int MAX_TEXTO = 511;

    /**
     * One ZKDES operation. {@code texto} is read up to its first zero byte; the single-block
     * codes read its first 8 bytes (12 characters for code 3), zeros past its end. The key is
     * the first 8 bytes of {@code clave} in modified UTF-8 (a character below 128 is one
     * byte), zeros past its end. Only the low 16 bits of each integer count; {@code numbl} is
     * not used. Neither argument changes.
     *
     * <p>The result holds one character per result byte, of the same value (0 to 255), up to
     * the first zero byte: 12 characters for the printable codes 1, 5 and 7, "ERROR--PARAM"
     * for a code above 7, and the raw bytes for the other codes, cut at a zero byte.
     *
     * <p>Calls are serialised: the library keeps its result in one place per process.
     *
     * @throws NullPointerException when {@code texto} or {@code clave} is null
     * @throws IllegalArgumentException when {@code texto} has more than {@link #MAX_TEXTO} bytes
     */
    public static synchronized native String zkdes(byte[] texto, String clave, int opera,
                                                   int shkey, int numbl);
}
