"""hostgate end to end: probeout plays the host and starts the conversation through the APPC
node; hostgate routes it to a framed TCP server of the test and sends the reply back.
hostgate.log is read line by line as an operator reads it."""

import os
import signal
import struct
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import harness  # noqa: E402
from harness import (TIME, dump, field, receive_extra, state, to_ascii, to_ebcdic,  # noqa: E402
                     trace)

DEALLOCATE, RECEIVE, SEND_DATA, RECEIVE_ALLOCATE = 0x0005, 0x000B, 0x000F, 0x0016
AP_CANCELLED = 0x2100

# hostgate's end of the conversation probeout allocates: the node numbers probeout's end 1.
HOSTGATE_CONV_ID = 2


def config(server_port, **overrides):
    keys = dict(LOCAL_LU="LOCALLU", LOCAL_TP="HOSTGATE", REMOTE_LU="HOSTLU",
                REMOTE_TP="CALLER", MODE_NAME="#INTER", EBCDIC=1, DPRE_SERVER="127.0.0.1",
                DPRE_PORT=server_port, PACK1=0, PACK1_SIZE=0, PACK2=0, PACK2_SIZE=0, PACK3=0,
                PACK3_SIZE=0)
    keys.update(overrides)
    return keys


def start_log(keys):
    return (TIME + "\n*** GATEWAY SNA-TCP: LISTEN ***\n\n" +
            "\n-- SNA configuration --\n" +
            "LOCAL_LU : [%s]\n" % keys["LOCAL_LU"] +
            "LOCAL_TP : [%s]\n" % keys["LOCAL_TP"] +
            "REMOTE_LU : [%s]\n" % keys["REMOTE_LU"] +
            "REMOTE_TP : [%s]\n" % keys["REMOTE_TP"] +
            "MODE_NAME: [%s]\n" % keys["MODE_NAME"] +
            "EBCDIC   :  %d\n" % keys["EBCDIC"] +
            "\n-- TCP configuration --\n" +
            "DPRE_SERVER: [%s]\n" % keys["DPRE_SERVER"] +
            "DPRE_PORT:  %d\n" % keys["DPRE_PORT"] +
            "SYNC_LEVEL:  0\n" + "\n")


WAIT = TIME + "appc_receive_allocate()\n"
# The wait that SIGTERM ends: the verb is cancelled and the service stops.
STOPPED = WAIT + trace(RECEIVE_ALLOCATE, AP_CANCELLED,
                       extra="CONV_ID: 0\nTP_ID  : <tp id>\n")


def received_log(message):
    """A conversation arrives and its message is received and routed."""
    return (WAIT + trace(RECEIVE_ALLOCATE,
                         extra="CONV_ID: %d\nTP_ID  : <tp id>\n" % HOSTGATE_CONV_ID) +
            state("AP_RECEIVE_STATE") +
            TIME + "appc_mc_receive_and_wait()\n" +
            trace(RECEIVE, extra=receive_extra(0x0201, message)) + TIME + dump(message))


def routing_line(code, port):
    return "TRANSACCION: [%s]  -->  PUERTO: [%d]\n" % (code, port)


def forward_log(keys, message, server_message, packed=()):
    """From the routing decision to the message frame sent to the server."""
    text = "NO REABRIR CONVERSACION.\n"
    if keys["EBCDIC"] != 0:
        text += ("EBCDIC to ASCII conversion\n" + "Restoring packed fields:\n" +
                 "".join("PACKED FIELD AT OFFSET %d (%d bytes)\n" % p for p in packed) +
                 "ASCII: \n" + dump(server_message) + "\n")
    return text + (TIME + "TCP sending msg header\n" + "TCP sent 4 bytes\n" +
                   "TCP sending msg body\n" + "TCP sent %d bytes\n" % len(message))


def reply_log(reply):
    host_reply = to_ebcdic(reply)
    return (TIME + "Recibidos 4 bytes\n" + TIME + "TCP receiving reply...\n" +
            TIME + "Received %d bytes\n" % len(reply) + "rsp: [%s]\n" % field(reply) +
            "\nASCII: \n" + dump(reply) + "\nEBCDIC: \n" + dump(host_reply) +
            TIME + "SNA sending reply...\n" + "appc_mc_send_data()\n" +
            "vcb.snddata.dlen = %u \n" % len(reply) + trace(SEND_DATA) +
            state("AP_SEND_STATE") +
            TIME + "TCP shutdown\n" + "TCP connection closed.\n" + "appc_mc_deallocate()\n" +
            trace(DEALLOCATE) + "\n\nREADY.\n\n")


class HostgateCase(unittest.TestCase):

    def fresh(self):
        """A new working directory and node, for one case of a table."""
        self.work = harness.Workdir()
        self.addCleanup(self.work.cleanup)
        self.log_path = self.work.file("hostgate.log")
        self.node = harness.Node(self.work, harness.NODE_CONF)
        self.addCleanup(self.node.stop)

    def start(self, behaviour, **overrides):
        self.server = harness.FrameServer(behaviour)
        self.addCleanup(self.server.stop)
        self.keys = config(self.server.port, **overrides)
        self.work.write("hostgate.ini", harness.ini("APPC", **self.keys))
        self.hostgate = harness.Program("hostgate", self.work, self.node, ["./hostgate.ini"])
        self.addCleanup(self.hostgate.stop)
        harness.wait_for_text(self.log_path, "appc_receive_allocate()\n")

    def call(self, message, ebcdic=1):
        """probeout sends message to hostgate's TP as the host would."""
        self.work.write("probeout.ini", harness.ini(
            "APPC", LOCAL_LU="LOCALLU", LOCAL_TP="PROBEOUT", REMOTE_LU="HOSTLU",
            REMOTE_TP="HOSTGATE", MODE_NAME="#INTER", EBCDIC=ebcdic,
            MESSAGE=message.decode("latin-1")))
        return harness.Program("probeout", self.work, self.node, ["./probeout.ini"])

    def check_log(self, expected):
        harness.assert_lines(self, harness.read_text(self.log_path), expected)


class RoutedTest(HostgateCase):

    def test_dpre_message_reaches_the_server_and_the_reply_the_host(self):
        cases = [  # (EBCDIC key, packed-field keys, restored fields)
            (1, dict(PACK1=9, PACK1_SIZE=3), [(9, 3)]),
            (0, dict(PACK1=9, PACK1_SIZE=3), []),
        ]
        # What the host sends, in EBCDIC; bytes 9..11 are a packed-decimal field.
        message = to_ebcdic(b"DPRE0001 ") + b"\x0c\x1f\xf0" + to_ebcdic(b" SALDO")
        for ebcdic, packed_keys, packed in cases:
            with self.subTest(ebcdic=ebcdic):
                self.fresh()
                self.start(lambda body: b"OK:" + body[:20], EBCDIC=ebcdic, **packed_keys)
                # probeout translates MESSAGE to EBCDIC: the host sends EBCDIC.
                probe = self.call(to_ascii(message))
                self.assertEqual(probe.wait(), 0)
                if ebcdic:
                    server_message = bytearray(to_ascii(message))
                    for offset, size in packed:
                        server_message[offset:offset + size] = message[offset:offset + size]
                    server_message = bytes(server_message)
                else:
                    server_message = message
                self.assertEqual(self.server.requests, [server_message])
                reply = b"OK:" + server_message[:20]
                # The host gets the reply in EBCDIC; probeout shows it back in ASCII.
                self.assertIn(dump(reply), probe.output().replace("\r\n", "\n"))
                harness.wait_for_text(self.log_path, "READY.")
                self.assertEqual(self.hostgate.stop(harness.STOP_SIGNAL), 0)
                self.check_log(start_log(self.keys) + received_log(message) +
                               routing_line("DPRE", self.server.port) +
                               forward_log(self.keys, message, server_message, packed) +
                               reply_log(reply) + STOPPED)


class AbandonedTest(HostgateCase):
    """Conversations that get no reply: hostgate waits for the next one."""

    def test_unknown_codes_and_unreachable_servers(self):
        refused = harness.refused_port()
        cases = [  # (message from the host, ini overrides, what hostgate writes after routing)
            (b"ABCD REQUEST", {}, "ABCD", None, "Transaccion desconocida.\n"),
            (b"DP", {}, "DP", None, "Transaccion desconocida.\n"),
            (b"dpre lower case", {}, "dpre", None, "Transaccion desconocida.\n"),
            (b"DPLT REQUEST", {}, "DPLT", None, "Transaccion desconocida.\n"),
            (b"DPRE REQUEST", dict(DPRE_PORT=-7), "DPRE", -7, "Transaccion desconocida.\n"),
            (b"DPRE REQUEST", dict(DPRE_PORT=refused), "DPRE", refused,
             "NO REABRIR CONVERSACION.\nTCP unable to connect\n"),
        ]
        for message, overrides, code, port, after in cases:
            with self.subTest(message=message, overrides=overrides):
                self.fresh()
                self.start(lambda body: body, **overrides)
                probe = self.call(to_ascii(to_ebcdic(message)))
                harness.wait_until(lambda: harness.count_in(self.log_path,
                                                            "appc_receive_allocate()") == 2,
                                   what="hostgate waiting again")
                self.assertTrue(probe.running())  # no reply, no deallocation
                probe.stop(signal.SIGKILL)
                self.assertEqual(self.server.requests, [])
                self.assertEqual(self.hostgate.stop(harness.STOP_SIGNAL), 0)
                ebcdic_message = to_ebcdic(message)
                self.check_log(start_log(self.keys) + received_log(ebcdic_message) +
                               routing_line(code, -1 if port is None else port) + after +
                               STOPPED)


class FailedTransferTest(HostgateCase):
    """A server that breaks the exchange ends the service (exit code 0) with a line naming
    what failed."""

    def test_server_breaks_the_reply(self):
        cases = [  # (server behaviour, the lines after the message frame was sent)
            (lambda body: None,
             "TCP receiving reply header failed: connection closed by the server\n"),
            (lambda body: ("raw", struct.pack(">i", 30) + b"short"),
             TIME + "Recibidos 4 bytes\n" + TIME + "TCP receiving reply...\n" +
             "TCP receiving reply body failed: connection closed by the server\n"),
            (lambda body: b"",
             TIME + "Recibidos 4 bytes\n" + TIME + "TCP receiving reply...\n" +
             "TCP receiving reply body failed: the frame announces 0 bytes\n"),
            (lambda body: ("raw", struct.pack(">i", 5001) + b"x" * 5001),
             TIME + "Recibidos 4 bytes\n" + TIME + "TCP receiving reply...\n" +
             "TCP frame of 5001 bytes refused: the limit is 5000\n" +
             "TCP receiving reply body failed: the frame announces 5001 bytes\n"),
        ]
        message = to_ebcdic(b"DPRE BROKEN")
        for behaviour, after in cases:
            with self.subTest(after=after):
                self.fresh()
                self.start(behaviour)
                probe = self.call(to_ascii(message))
                self.assertEqual(self.hostgate.wait(30), 0)
                probe.stop(signal.SIGKILL)
                self.check_log(start_log(self.keys) + received_log(message) +
                               routing_line("DPRE", self.server.port) +
                               forward_log(self.keys, message, to_ascii(message)) + after)


class StartTest(unittest.TestCase):

    def test_command_line_and_configuration_errors(self):
        work = harness.Workdir()
        self.addCleanup(work.cleanup)
        keys = config(7101)
        del keys["DPRE_PORT"]
        work.write("partial.ini", harness.ini("APPC", **keys))
        cases = [  # (arguments, exit code, standard output, the log)
            ([], 1, "", TIME + "\nHOSTGATE  X:\\hostgate.ini [section]"),
            (["./partial.ini"], 2,
             "Key DPRE_PORT not found in section [APPC] in file ./partial.ini\n", TIME),
        ]
        for args, code, out, log in cases:
            with self.subTest(args=args):
                log_path = work.file("hostgate.log")
                if os.path.exists(log_path):
                    os.remove(log_path)
                self.assertEqual(harness.run("hostgate", work, None, args)[:2], (code, out))
                harness.assert_lines(self, harness.read_text(log_path), log)


if __name__ == "__main__":
    harness.main()
