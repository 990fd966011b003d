import com.talun.pelmor.claves.Kryptaj;
import java.nio.charset.StandardCharsets;
import javax.crypto.Cipher;
import javax.crypto.spec.SecretKeySpec;

/**
 * One DES block per call with a new key each time, from Java: Kryptaj.zkdes (code 0) beside
 * javax.crypto DES/ECB/NoPadding (a new key object and init per call), in the same run,
 * alternating rounds so that both see the same machine. Prints nanoseconds per call and
 * the ratio zkdes / javax.crypto.
 */
public final class KryptajBench {
    static final int KEYS = 256;
    static final int CALLS = 200_000;
    static final int ROUNDS = 7;
    static long sink;

    public static void main(String[] args) throws Exception {
        String[] keyStrings = new String[KEYS];
        byte[][] keyBytes = new byte[KEYS][];
        for (int k = 0; k < KEYS; ++k) {
            keyStrings[k] = String.format("K%07d", k * 7919);
            keyBytes[k] = keyStrings[k].getBytes(StandardCharsets.US_ASCII);
        }
        byte[] block = "bench-01".getBytes(StandardCharsets.US_ASCII);
        Cipher cipher = Cipher.getInstance("DES/ECB/NoPadding");

        long bestZkdes = Long.MAX_VALUE, bestJce = Long.MAX_VALUE;
        for (int round = 0; round < ROUNDS; ++round) {
            long start = System.nanoTime();
            for (int i = 0; i < CALLS; ++i) {
                sink += Kryptaj.zkdes(block, keyStrings[i % KEYS], 0, 0, 0).length();
            }
            long zkdes = System.nanoTime() - start;

            start = System.nanoTime();
            for (int i = 0; i < CALLS; ++i) {
                cipher.init(Cipher.ENCRYPT_MODE, new SecretKeySpec(keyBytes[i % KEYS], "DES"));
                sink += cipher.doFinal(block)[0];
            }
            long jce = System.nanoTime() - start;
            if (round > 0) {  // the first round warms both up
                bestZkdes = Math.min(bestZkdes, zkdes);
                bestJce = Math.min(bestJce, jce);
            }
        }
        double zkdesNs = (double) bestZkdes / CALLS, jceNs = (double) bestJce / CALLS;
        System.out.printf("zkdes (code 0, new key)           %8.1f ns/call%n", zkdesNs);
        System.out.printf("javax.crypto DES/ECB/NoPadding    %8.1f ns/call%n", jceNs);
        System.out.printf("ratio zkdes / javax.crypto        %8.3f (target at most 0.5)%n",
                zkdesNs / jceNs);
        System.out.println("(checksum " + sink + ")");
    }
}
