package com.talun.pelmor.claves;

import java.io.BufferedReader;
import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import javax.crypto.Cipher;
import javax.crypto.spec.IvParameterSpec;
import javax.crypto.spec.SecretKeySpec;

/**
 * Kryptaj.zkdes on a real virtual machine, checked against zifrakit called from C++ (the
 * zkdes_reference tool named by the first argument) and, for the codes that are plain DES,
 * against javax.crypto. Prints each failed check; exits with 1 when any failed.
 */
public final class KryptajTest {
    private static int checks = 0;
    private static int failures = 0;

    private static void check(boolean ok, String what) {
        ++checks;
        if (!ok) {
            ++failures;
            System.out.println("FAIL: " + what);
        }
    }

    record Case(String what, byte[] texto, String clave, int opera, int shkey, int numbl) {
        String name() {
            return what + ", opera " + opera + ", shkey " + shkey + ", numbl " + numbl;
        }
    }

    static final String KEY = "kR9!p2Zq";
    static final byte[] BLOCK = bytes(0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef);
    static final byte[] HIGH = bytes(0xff, 0x80, 0xc0, 0xe0, 0x9f, 0xa5, 0xfe, 0x81);
    static final byte[] PRINTABLE = "!1A?O0/_:+N%".getBytes(StandardCharsets.US_ASCII);

    static byte[] bytes(int... values) {
        byte[] b = new byte[values.length];
        for (int i = 0; i < values.length; ++i) b[i] = (byte) values[i];
        return b;
    }

    /** n bytes, none of them zero. */
    static byte[] counting(int n) {
        byte[] b = new byte[n];
        for (int i = 0; i < n; ++i) b[i] = (byte) (i % 255 + 1);
        return b;
    }

    static List<Case> cases() {
        List<Case> all = new ArrayList<>();
        byte[] zeroAt3 = "abc\0defghijklmnopq".getBytes(StandardCharsets.US_ASCII);
        for (int opera = -1; opera <= 9; ++opera) {
            all.add(new Case("block", BLOCK, KEY, opera, 0, 0));
            all.add(new Case("high bytes", HIGH, KEY, opera, 0, 0));
            all.add(new Case("shifted key", BLOCK, KEY, opera, 2, 0));
            all.add(new Case("empty array", new byte[0], KEY, opera, 0, 0));
            all.add(new Case("511 bytes", counting(511), KEY, opera, 0, 0));
            all.add(new Case("zero at index 3", zeroAt3, KEY, opera, 0, 0));
        }
        for (int opera : new int[] {3, 0, 2}) {
            all.add(new Case("printable block", PRINTABLE, KEY, opera, 0, 0));
        }
        for (int opera : new int[] {0, 1, 6, 7}) {
            all.add(new Case("empty key", BLOCK, "", opera, 0, 0));
            all.add(new Case("3-character key", BLOCK, "abc", opera, 2, 0));
            all.add(new Case("7-character key", BLOCK, "abcdefg", opera, 0, 0));
            all.add(new Case("long key", BLOCK, "abcdefghijklmnop", opera, 0, 0));
            all.add(new Case("multi-byte key", BLOCK, "\u00e9\u20ac\u0000", opera, 2, 0));
            all.add(new Case("surrogate pair key", BLOCK, "\ud83d\ude00ab", opera, 0, 0));
            all.add(new Case("15-byte text", counting(15), KEY, opera, 0, 0));
            all.add(new Case("numbl ignored", counting(40), KEY, opera, 0, 32767));
            all.add(new Case("wide integers", counting(40), KEY, opera + 65536, 131074, -1));
        }
        return all;
    }

    /** The key's bytes as the virtual machine hands them to native code. */
    static byte[] modifiedUtf8(String s) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        new DataOutputStream(out).writeUTF(s);
        byte[] withLength = out.toByteArray();
        return Arrays.copyOfRange(withLength, 2, withLength.length);
    }

    static String hex(byte[] b) {
        if (b.length == 0) return "-";
        StringBuilder s = new StringBuilder();
        for (byte x : b) s.append(String.format("%02x", x & 0xff));
        return s.toString();
    }

    /** The result's characters as hex, or null when one of them is no byte. */
    static String hexOfChars(String result) {
        StringBuilder s = new StringBuilder();
        for (char c : result.toCharArray()) {
            if (c > 0xff) return null;
            s.append(String.format("%02x", (int) c));
        }
        return s.toString();
    }

    static List<String> expected(String tool, List<Case> cases) throws Exception {
        Process p = new ProcessBuilder(tool).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        try (Writer in = new OutputStreamWriter(p.getOutputStream(), StandardCharsets.US_ASCII)) {
            for (Case c : cases) {
                in.write(c.opera() + " " + c.shkey() + " " + c.numbl() + " "
                        + hex(modifiedUtf8(c.clave())) + " " + hex(c.texto()) + "\n");
            }
        }
        List<String> lines = new ArrayList<>();
        try (BufferedReader out = new BufferedReader(
                new InputStreamReader(p.getInputStream(), StandardCharsets.US_ASCII))) {
            for (String line; (line = out.readLine()) != null; ) lines.add(line);
        }
        if (p.waitFor() != 0 || lines.size() != cases.size()) {
            throw new IllegalStateException("zkdes_reference failed");
        }
        return lines;
    }

    /** Every case against zifrakit's own result; neither argument changes. */
    static void everyCodeAgainstZifrakit(String tool) throws Exception {
        List<Case> cases = cases();
        List<String> expected = expected(tool, cases);
        for (int i = 0; i < cases.size(); ++i) {
            Case c = cases.get(i);
            byte[] texto = c.texto().clone();
            String clave = new String(c.clave());
            String result = Kryptaj.zkdes(texto, clave, c.opera(), c.shkey(), c.numbl());
            check(expected.get(i).equals(hexOfChars(result)), c.name() + ": got "
                    + hexOfChars(result) + ", zifrakit gives " + expected.get(i));
            check(Arrays.equals(texto, c.texto()), c.name() + ": the array changed");
            check(clave.equals(c.clave()), c.name() + ": the key changed");
        }
        check(Kryptaj.zkdes(BLOCK, KEY, 8, 2, 0).equals("ERROR--PARAM"), "code 8 error text");
    }

    static byte[] jce(String transformation, int mode, byte[] key, byte[] input) throws Exception {
        Cipher cipher = Cipher.getInstance(transformation);
        SecretKeySpec desKey = new SecretKeySpec(key, "DES");
        if (transformation.contains("CBC")) {
            cipher.init(mode, desKey, new IvParameterSpec(new byte[8]));
        } else {
            cipher.init(mode, desKey);
        }
        return cipher.doFinal(input);
    }

    /** What the result string must start with for these raw bytes: they up to a zero byte. */
    static String asResult(byte[] raw) {
        StringBuilder s = new StringBuilder();
        for (byte b : raw) {
            if (b == 0) break;
            s.append((char) (b & 0xff));
        }
        return s.toString();
    }

    static byte[] shifted(byte[] key) {
        byte[] s = new byte[key.length];
        for (int i = 0; i < key.length; ++i) s[i] = (byte) (key[i] << 1);
        return s;
    }

    static byte[] xor(byte[] a, byte[] b) {
        byte[] x = new byte[a.length];
        for (int i = 0; i < a.length; ++i) x[i] = (byte) (a[i] ^ b[i]);
        return x;
    }

    /**
     * The raw codes that are plain DES, against javax.crypto: 0 enciphers, 2 deciphers, 4
     * enciphers and XORs with the block, 6 is the last block of CBC with a zero start value;
     * shkey 2 shifts each key byte left. The first 8 characters are the raw bytes (cut at a
     * zero byte), so a raw result is recoverable byte for byte.
     */
    static void rawCodesAgainstJce() throws Exception {
        byte[] key = KEY.getBytes(StandardCharsets.US_ASCII);
        byte[][] blocks = {BLOCK, HIGH, counting(8), bytes(0, 0, 0, 0, 0, 0, 0, 0)};
        for (byte[] block : blocks) {
            for (int shkey : new int[] {0, 2}) {
                byte[] k = shkey == 2 ? shifted(key) : key;
                String name = hex(block) + ", shkey " + shkey;
                byte[] cipher = jce("DES/ECB/NoPadding", Cipher.ENCRYPT_MODE, k, block);
                byte[] plain = jce("DES/ECB/NoPadding", Cipher.DECRYPT_MODE, k, block);
                byte[] text24 = new byte[24];
                for (int i = 0; i < 24; ++i) text24[i] = (byte) (block[i % 8] | 1);
                byte[] cbc = jce("DES/CBC/NoPadding", Cipher.ENCRYPT_MODE, k, text24);
                Object[][] codes = {
                    {0, block, cipher},
                    {2, block, plain},
                    {4, block, xor(cipher, block)},
                    {6, text24, Arrays.copyOfRange(cbc, 16, 24)},
                };
                for (Object[] code : codes) {
                    int opera = (Integer) code[0];
                    String want = asResult((byte[]) code[2]);
                    String got = Kryptaj.zkdes((byte[]) code[1], KEY, opera, shkey, 0);
                    String head = got.substring(0, Math.min(8, got.length()));
                    check(head.equals(want) && (want.length() == 8 || got.length() == want.length()),
                            name + ", opera " + opera + ": got " + hexOfChars(got) + ", DES gives "
                                    + hex((byte[]) code[2]));
                }
            }
        }
        // Deciphering the characters of a raw ciphertext gives the block back.
        String cipher = Kryptaj.zkdes(HIGH, KEY, 0, 0, 0);
        check(cipher.length() >= 8, "ciphertext of HIGH has a zero byte");
        byte[] raw = new byte[8];
        for (int i = 0; i < 8 && i < cipher.length(); ++i) raw[i] = (byte) cipher.charAt(i);
        String back = Kryptaj.zkdes(raw, KEY, 2, 0, 0);
        check(back.length() >= 8 && back.substring(0, 8).equals(asResult(HIGH)),
                "raw ciphertext round trip: " + hexOfChars(back));
    }

    interface Call {
        void run();
    }

    static void expectThrows(Class<? extends Throwable> type, String what, Call call) {
        try {
            call.run();
            check(false, what + ": nothing thrown");
        } catch (Throwable t) {
            check(type.isInstance(t), what + ": threw " + t);
        }
    }

    static void refusals() {
        expectThrows(IllegalArgumentException.class, "512 bytes",
                () -> Kryptaj.zkdes(new byte[512], KEY, 1, 0, 0));
        expectThrows(IllegalArgumentException.class, "100000 bytes",
                () -> Kryptaj.zkdes(counting(100000), KEY, 6, 2, 0));
        expectThrows(NullPointerException.class, "null array",
                () -> Kryptaj.zkdes(null, KEY, 0, 0, 0));
        expectThrows(NullPointerException.class, "null key",
                () -> Kryptaj.zkdes(BLOCK, null, 0, 0, 0));
        expectThrows(NullPointerException.class, "both null",
                () -> Kryptaj.zkdes(null, null, 8, 0, 0));
        check(Kryptaj.zkdes(counting(511), KEY, 7, 0, 0).length() == 12,
                "a call after the refusals");
    }

    /** Two threads at once each get their own result: the calls are serialised. */
    static void concurrentCallsKeepTheirResults() throws Exception {
        byte[][] texts = {counting(8), HIGH};
        String[] alone = new String[texts.length];
        for (int t = 0; t < texts.length; ++t) alone[t] = Kryptaj.zkdes(texts[t], KEY, 1, 0, 0);
        check(!alone[0].equals(alone[1]), "two texts give two results");
        AtomicInteger mixed = new AtomicInteger();
        Thread[] threads = new Thread[texts.length];
        for (int t = 0; t < texts.length; ++t) {
            final int me = t;
            threads[t] = new Thread(() -> {
                for (int i = 0; i < 20000; ++i) {
                    if (!Kryptaj.zkdes(texts[me], KEY, 1, 0, 0).equals(alone[me])) {
                        mixed.incrementAndGet();
                    }
                }
            });
            threads[t].start();
        }
        for (Thread thread : threads) thread.join();
        check(mixed.get() == 0, mixed.get() + " results came from the other thread");
    }

    public static void main(String[] args) throws Exception {
        everyCodeAgainstZifrakit(args[0]);  // first: zifrakit's result buffer as the tool's
        rawCodesAgainstJce();
        refusals();
        concurrentCallsKeepTheirResults();
        System.out.println(checks + " checks, " + failures + " failed");
        System.exit(failures == 0 ? 0 : 1);
    }
}
