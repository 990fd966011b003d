import com.talun.pelmor.claves.Kryptaj;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import javax.crypto.Cipher;
import javax.crypto.spec.SecretKeySpec;

/**
 * One DES block per call with a new key each time, from Java: Kryptaj.zkdes (code 0) beside
 * javax.crypto DES/ECB/NoPadding (a new key object and init per call), on the same block and
 * the same 256 keys, in the same run. Both loops are first run until the compiler has
 * settled; then each measured round times both, the one that goes first alternating from
 * round to round, and gives the ratio of the two times. Prints the median nanoseconds per
 * call of each and the median of the rounds' ratios zkdes / javax.crypto, with their spread.
 */
public final class KryptajBench {
    static final int KEYS = 256;
    static final int CALLS = 200_000;
    static final int WARMUP_ROUNDS = 5;
    static final int ROUNDS = 21;
    static long sink;

    static final String[] keyStrings = new String[KEYS];
    static final byte[][] keyBytes = new byte[KEYS][];
    static final byte[] block = "bench-01".getBytes(StandardCharsets.US_ASCII);

    static long timeZkdes() {
        long start = System.nanoTime();
        for (int i = 0; i < CALLS; ++i) {
            sink += Kryptaj.zkdes(block, keyStrings[i % KEYS], 0, 0, 0).length();
        }
        return System.nanoTime() - start;
    }

    static long timeJce(Cipher cipher) throws Exception {
        long start = System.nanoTime();
        for (int i = 0; i < CALLS; ++i) {
            cipher.init(Cipher.ENCRYPT_MODE, new SecretKeySpec(keyBytes[i % KEYS], "DES"));
            sink += cipher.doFinal(block)[0];
        }
        return System.nanoTime() - start;
    }

    static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        return sorted[sorted.length / 2];
    }

    public static void main(String[] args) throws Exception {
        for (int k = 0; k < KEYS; ++k) {
            keyStrings[k] = String.format("K%07d", k * 7919);
            keyBytes[k] = keyStrings[k].getBytes(StandardCharsets.US_ASCII);
        }
        Cipher cipher = Cipher.getInstance("DES/ECB/NoPadding");
        for (int round = 0; round < WARMUP_ROUNDS; ++round) {
            timeZkdes();
            timeJce(cipher);
        }

        double[] zkdesNs = new double[ROUNDS], jceNs = new double[ROUNDS], ratio = new double[ROUNDS];
        for (int round = 0; round < ROUNDS; ++round) {
            long zkdes, jce;
            if (round % 2 == 0) {
                zkdes = timeZkdes();
                jce = timeJce(cipher);
            } else {
                jce = timeJce(cipher);
                zkdes = timeZkdes();
            }
            zkdesNs[round] = (double) zkdes / CALLS;
            jceNs[round] = (double) jce / CALLS;
            ratio[round] = (double) zkdes / jce;
        }
        double[] sortedRatio = ratio.clone();
        Arrays.sort(sortedRatio);
        System.out.printf("zkdes (code 0, new key)           %8.1f ns/call (median of %d rounds)%n",
                median(zkdesNs), ROUNDS);
        System.out.printf("javax.crypto DES/ECB/NoPadding    %8.1f ns/call (median of %d rounds)%n",
                median(jceNs), ROUNDS);
        System.out.printf("ratio zkdes / javax.crypto        %8.3f median, %.3f to %.3f over the rounds"
                + " (target at most 0.5)%n", median(ratio), sortedRatio[0],
                sortedRatio[ROUNDS - 1]);
        System.out.println("(checksum " + sink + ")");
    }
}
