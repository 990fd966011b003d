"""probeout and probein end to end through the APPC node: against the node's host TPs and
against each other. Their standard output (own lines, dumps and traces) is read line by line."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import harness  # noqa: E402
from harness import dump, receive_extra, state, to_ascii, to_ebcdic, trace  # noqa: E402

ALLOCATE, RECEIVE, SEND_DATA, TP_ENDED, TP_STARTED, RECEIVE_ALLOCATE, GET_STATE = (
    0x0001, 0x000B, 0x000F, 0x0013, 0x0014, 0x0016, 0x0009)
AP_DEALLOC_NORMAL = 0x0900
REPLY_TEXT = b"REPLY FROM THE HOST: ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789"
# The state query on a conversation the partner has already ended.
ENDED_STATE = trace(GET_STATE, 0x0100, 0x02000000, extra="STAT: 00        UNKNOWN\n")


def probeout_keys(**overrides):
    keys = dict(LOCAL_LU="LOCALLU", LOCAL_TP="PROBEOUT", REMOTE_LU="HOSTLU",
                REMOTE_TP="ECHOTP", MODE_NAME="#INTER", EBCDIC=1, MESSAGE="HELLO HOST")
    keys.update(overrides)
    return keys


def probeout_output(keys, host_reply, receive_rc=AP_DEALLOC_NORMAL, what=0x0200,
                    after_receive=ENDED_STATE, conv_id=1):
    """host_reply: the bytes the receive delivers (at most 40)."""
    message = keys["MESSAGE"].encode("latin-1")
    ebcdic = keys["EBCDIC"] != 0
    text = ("\n*** GATEWAY SNA-TCP: SEND (test only) ***\n\n" +
            "LOCAL LU : [%s]\n" % keys["LOCAL_LU"] + "LOCAL TP : [%s]\n" % keys["LOCAL_TP"] +
            "REMOTE LU: [%s]\n" % keys["REMOTE_LU"] + "REMOTE TP: [%s]\n" % keys["REMOTE_TP"] +
            "MODE NAME: [%s]\n" % keys["MODE_NAME"] + "EBCDIC   : %d\n" % keys["EBCDIC"] +
            "CONFIRM  : 0\n" + "  SYNC_LEVEL: [AP_NONE]\n" +
            "DEALLOC  : 0\n" + "  DEALLOC_TYPE: [AP_FLUSH]\n" +
            "REQUEST  : [%s]\n" % keys["MESSAGE"] + "\n" +
            "appc_tp_started()\n" + trace(TP_STARTED, extra="TP_ID  : <tp id>\n") +
            "appc_mc_allocate()\n" + trace(ALLOCATE, extra="CONV_ID: %d\n" % conv_id) +
            state("AP_SEND_STATE") +
            "ASCII: \n" + dump(message))
    if ebcdic:
        text += "\nEBCDIC: \n" + dump(to_ebcdic(message)) + "\n"
    text += ("appc_mc_send_data()\n" + "vcb.snddata.dlen = %u \n" % len(message) +
             trace(SEND_DATA) + state("AP_SEND_STATE") +
             "appc_mc_receive_and_wait()\n" +
             trace(RECEIVE, receive_rc, extra=receive_extra(what, host_reply)) + after_receive)
    if ebcdic:
        text += ("\nEBCDIC: \n" + dump(host_reply) + "\nASCII: \n" + dump(to_ascii(host_reply)) +
                 "\n")
    else:
        text += "\nASCII: \n" + dump(host_reply)
    return text + ("appc_mc_deallocate_flush()\n" + "appc_tp_ended()\n" + trace(TP_ENDED))


def probein_output(keys, message, conv_id=2):
    """message: the bytes the conversation delivers."""
    ebcdic = keys["EBCDIC"] != 0
    label = "EBCDIC" if ebcdic else "ASCII"
    ack = keys["ACK"].encode("latin-1")
    text = ("\n*** GATEWAY SNA-TCP: RECV (test only) ***\n\n" +
            "LOCAL_LU: [%s]\n" % keys["LOCAL_LU"] + "LOCAL_TP: [%s]\n" % keys["LOCAL_TP"] +
            "ACK     : [%s]\n" % keys["ACK"] + "EBCDIC  :  %d\n" % keys["EBCDIC"] + "\n" +
            "appc_receive_allocate()\n" +
            trace(RECEIVE_ALLOCATE, extra="CONV_ID: %d\nTP_ID  : <tp id>\n" % conv_id) +
            state("AP_RECEIVE_STATE") +
            "appc_mc_receive_and_wait()\n" + trace(RECEIVE, extra=receive_extra(0x0201, message)))
    if message:
        text += "\n%s: \n" % label + dump(message)
        if ebcdic:
            text += "\nASCII: \n" + dump(to_ascii(message)) + "\n"
    text += state("AP_SEND_STATE") + "building ack\n" + "\n%s: \n" % label + dump(ack)
    if ebcdic:
        text += "\nEBCDIC: \n" + dump(to_ebcdic(ack)) + "\n"
    return text + ("appc_mc_send_data()\n" + "vcb.snddata.dlen = %u \n" % len(ack) +
                   trace(SEND_DATA) + state("AP_SEND_STATE") +
                   "appc_tp_ended()\n" + trace(TP_ENDED))


class ProbeCase(unittest.TestCase):

    def setUp(self):
        self.work = harness.Workdir()
        self.addCleanup(self.work.cleanup)
        self.node = harness.Node(self.work, harness.NODE_CONF)
        self.addCleanup(self.node.stop)

    def probeout(self, keys):
        self.work.write("probeout.ini", harness.ini("APPC", **keys))
        return harness.run("probeout", self.work, self.node, ["./probeout.ini"])


class ProbeoutTest(ProbeCase):

    def test_against_the_host_tps(self):
        cases = [  # (ini overrides, the bytes the receive delivers)
            (dict(), to_ebcdic(b"HELLO HOST")),
            (dict(EBCDIC=0, MESSAGE="plain ascii"), b"plain ascii"),
            (dict(REMOTE_TP="UPPERTP", MESSAGE="make me loud"), to_ebcdic(b"MAKE ME LOUD")),
            # Only 40 bytes of a longer reply are taken.
            (dict(REMOTE_TP="REPLYTP"), to_ebcdic(REPLY_TEXT[:40])),
            (dict(REMOTE_TP="REPLYTP", EBCDIC=0), to_ebcdic(REPLY_TEXT[:40])),
        ]
        # One node for all: the conversations are numbered 1, 3, 5 ...
        for number, (overrides, host_reply) in enumerate(cases):
            with self.subTest(overrides=overrides):
                keys = probeout_keys(**overrides)
                code, out, _ = self.probeout(keys)
                self.assertEqual(code, 0)
                if keys["REMOTE_TP"] == "REPLYTP":
                    expected = probeout_output(keys, host_reply, 0x0000, 0x0400,
                                               state("AP_RECEIVE_STATE"), 2 * number + 1)
                else:
                    expected = probeout_output(keys, host_reply, conv_id=2 * number + 1)
                harness.assert_lines(self, out, expected)

    def test_usage_and_missing_keys(self):
        self.work.write("empty.ini", harness.ini("APPC", **probeout_keys(MESSAGE="")))
        cases = [
            ([], 1, "\nPROBEOUT  X:\\probeout.ini [section]"),
            (["./empty.ini"], 2, "Data MESSAGE not found in section [APPC] in file ./empty.ini\n"),
            (["./empty.ini", "OTHER"], 2,
             "Key LOCAL_LU not found in section [OTHER] in file ./empty.ini\n"),
        ]
        for args, code, out in cases:
            with self.subTest(args=args):
                self.assertEqual(harness.run("probeout", self.work, self.node, args)[:2],
                                 (code, out))


class ProbeinTest(ProbeCase):

    def probein(self, **overrides):
        keys = dict(LOCAL_LU="LOCALLU", LOCAL_TP="PROBEIN", ACK="RECIBIDO", EBCDIC=1)
        keys.update(overrides)
        self.work.write("probein.ini", harness.ini("APPC", **keys))
        return keys, harness.Program("probein", self.work, self.node, ["./probein.ini"])

    def test_probeout_calls_probein(self):
        cases = [  # (probein overrides, probeout overrides)
            (dict(), dict()),
            (dict(ACK="0123456789"), dict(MESSAGE="TEN BYTES ACK")),  # exactly 10: sent whole
            (dict(EBCDIC=0, ACK="ascii ack"), dict(EBCDIC=0, MESSAGE="ascii both ways")),
        ]
        for in_overrides, out_overrides in cases:
            with self.subTest(probein=in_overrides):
                self.setUp()
                in_keys, probein = self.probein(**in_overrides)
                harness.wait_until(lambda: "appc_receive_allocate()" in probein.output(),
                                   what="probein waiting")
                out_keys = probeout_keys(REMOTE_TP="PROBEIN", **out_overrides)
                code, out, _ = self.probeout(out_keys)
                self.assertEqual((code, probein.wait(30)), (0, 0))
                message = out_keys["MESSAGE"].encode()
                ack = in_keys["ACK"].encode()
                if out_keys["EBCDIC"]:
                    message = to_ebcdic(message)
                if in_keys["EBCDIC"]:
                    ack = to_ebcdic(ack)
                harness.assert_lines(self, probein.output(), probein_output(in_keys, message))
                # The acknowledgement arrives before probein's end of the conversation.
                harness.assert_lines(self, out, probeout_output(
                    out_keys, ack, 0x0000, 0x0200, state("AP_RECEIVE_STATE")))

    def test_usage_and_refused_ack(self):
        self.work.write("long.ini", harness.ini("APPC", LOCAL_LU="LOCALLU", LOCAL_TP="PROBEIN",
                                                ACK="ELEVEN CHAR", EBCDIC=1))
        cases = [
            ([], 1, "\nPROBEIN  X:\\probein.ini [section]"),
            (["./long.ini"], 2, "ACK [ELEVEN CHAR] in section [APPC] in file ./long.ini has 11 "
                              "characters: at most 10 are sent\n"),
            (["./long.ini", "NONE"], 2, "Key LOCAL_LU not found in section [NONE] in file "
                                      "./long.ini\n"),
        ]
        for args, code, out in cases:
            with self.subTest(args=args):
                self.assertEqual(harness.run("probein", self.work, self.node, args)[:2],
                                 (code, out))


if __name__ == "__main__":
    harness.main()
