"""netgate end to end: TCP clients, netgate, the APPC node and its host TPs; netgate.log read
line by line as an operator reads it."""

import os
import signal
import socket
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import harness  # noqa: E402
from harness import (TIME, dump, field, state, to_ascii, to_ebcdic, trace,  # noqa: E402
                     receive_extra)

# The node numbers both ends of a conversation; ours are the odd numbers, 1 first.

ALLOCATE, DEALLOCATE, RECEIVE, SEND_DATA, TP_ENDED, TP_STARTED, GET_STATE = (
    0x0001, 0x0005, 0x000B, 0x000F, 0x0013, 0x0014, 0x0009)
AP_DEALLOC_NORMAL = 0x0900

WAITING = TIME + "\n\nEsperando conexion TCP ...\n"
ACCEPTED = TIME + "Conexion aceptada.\n"
STOPPED = TIME + "appc_tp_ended()\n" + trace(TP_ENDED)


def config(port, **overrides):
    keys = dict(PORT=port, LOCAL_LU="LOCALLU", LOCAL_TP="NETGATE", REMOTE_LU="HOSTLU",
                REMOTE_TP="ECHOTP", MODE_NAME="#INTER", EBCDIC=1, PACK1=0, PACK1_SIZE=0,
                PACK2=0, PACK2_SIZE=0, PACK3=0, PACK3_SIZE=0)
    keys.update(overrides)
    return keys


def start_log(keys):
    """Everything netgate writes before it listens."""
    return (TIME + "\n*** GATEWAY SNA-TCP: TALK ***\n\n" +
            "\n-- TCP configuration --\n" +
            "PORT     :  %d\n" % keys["PORT"] +
            "\n-- SNA configuration --\n" +
            "LOCAL_LU : [%s]\n" % keys["LOCAL_LU"] +
            "LOCAL_TP : [%s]\n" % keys["LOCAL_TP"] +
            "REMOTE_LU: [%s]\n" % keys["REMOTE_LU"] +
            "REMOTE_TP: [%s]\n" % keys["REMOTE_TP"] +
            "MODE_NAME: [%s]\n" % keys["MODE_NAME"] +
            "EBCDIC   :  %d\n" % keys["EBCDIC"] +
            "SYNC_LEVEL:  0\n" + "DEALLOC_TYPEL:  1\n" + "\n" +
            TIME + "appc_tp_started()\n" + trace(TP_STARTED, extra="TP_ID  : <tp id>\n"))


def listening_log(keys):
    return start_log(keys) + "\nStarting server in port %d\n" % keys["PORT"]


def closing_log(ending=""):
    """ending: "" after a complete exchange, else the line that names what ended it."""
    return ending + TIME + "Bajando conexion TCP\n" + TIME + "Conexion TCP cerrada\n"


def request_log(request):
    n = len(request)
    return ("Recibidos 4 bytes\nrc = 4\ntcp_req_size = %d\n" % n +
            TIME + "Recibidos %d bytes\nrc = %d\n" % (n, n) +
            "REQ: [%s]\n" % field(request) + "ASCII: \n" + dump(request) + "\n" +
            "sna_req_size = %d\n" % n)


def conversation_log(keys, request, host_request, host_reply, conv_id, receive_rc=0x0900,
                     receive_rc2=0, what=0x0200, packed=(), allocate=None, send=None, after_receive=None,
                     deallocate=trace(DEALLOCATE), reply_sent=None):
    """The log of one complete exchange from the length prefix to the reply frame.
    allocate / send: the traces of MC_ALLOCATE and MC_SEND_DATA with their state lines when
    they differ from a successful allocation; after_receive: the state line after a receive
    that did not end the conversation; reply_sent: the lines after the RSP line when the reply
    frame does not go out as usual."""
    text = request_log(request)
    if keys["EBCDIC"] != 0:
        text += "".join("PACKED FIELD AT OFFSET %d (%d bytes)\n" % p for p in packed)
        text += "EBCDIC: \n" + dump(host_request) + "\n"
    text += TIME + "appc_mc_allocate()\n"
    text += allocate if allocate is not None else (
        trace(ALLOCATE, extra="CONV_ID: %d\n" % conv_id) + state("AP_SEND_STATE"))
    text += TIME + "appc_mc_send_data()\n" + "vcb.snddata.dlen = %u \n" % len(host_request)
    text += send if send is not None else trace(SEND_DATA) + state("AP_SEND_STATE")
    text += TIME + "appc_mc_recv_and_wait()\n"
    if receive_rc == AP_DEALLOC_NORMAL:
        text += "CIERRE REMOTO OK.\n"
    else:
        text += ("FALLO CIERRE REMOTO.\n" +
                 trace(RECEIVE, receive_rc, receive_rc2, extra=receive_extra(what, host_reply)) +
                 after_receive)
    text += "EBCDIC: \n" + dump(host_reply) + "\n"
    if receive_rc != AP_DEALLOC_NORMAL:
        text += TIME + "CIERRE LOCAL\n" + "appc_mc_deallocate()\n" + deallocate
    reply = to_ascii(host_reply)
    text += "RSP: [%s]\n" % field(reply)
    if reply_sent is not None:
        return text + reply_sent
    text += TIME + "Enviados 4 bytes por TCP\n"
    if reply:
        text += "Enviados %d bytes por TCP\n" % len(reply) + closing_log()
    else:
        text += closing_log("Connection closing\n")
    return text


class NetgateCase(unittest.TestCase):
    """A node with the test host TPs and a working directory; netgate started on demand."""

    def setUp(self):
        self.work = harness.Workdir()
        self.addCleanup(self.work.cleanup)
        self.log_path = self.work.file("netgate.log")
        self.node = None

    def start(self, **overrides):
        """Starts a fresh node and netgate (after stopping those of a previous start)."""
        if self.node is not None:
            self.netgate.stop(signal.SIGKILL)
            self.node.stop()
            os.remove(self.log_path)
        self.node = harness.Node(self.work, harness.NODE_CONF)
        self.addCleanup(self.node.stop)
        self.keys = config(harness.free_port(), **overrides)
        self.work.write("netgate.ini", harness.ini("APPC", **self.keys))
        self.netgate = harness.Program("netgate", self.work, self.node, ["./netgate.ini"])
        self.addCleanup(self.netgate.stop)
        self.waited = 1
        harness.wait_for_text(self.log_path, "Esperando conexion TCP ...\n")
        return self.keys["PORT"]

    def wait_next(self):
        """Waits until netgate waits for its next connection."""
        self.waited += 1
        harness.wait_until(lambda: harness.count_in(self.log_path, "Esperando conexion TCP")
                           >= self.waited, what="netgate waiting again")

    def stop_and_check(self, served):
        """Stops netgate with SIGTERM and compares its whole log."""
        code = self.netgate.stop(harness.STOP_SIGNAL)
        self.assertEqual(code, 0, self.netgate.stderr)
        expected = listening_log(self.keys) + WAITING + "".join(
            ACCEPTED + part + WAITING for part in served) + STOPPED
        harness.assert_lines(self, harness.read_text(self.log_path), expected)


class ExchangeTest(NetgateCase):
    """Requests that reach the host and replies that come back."""

    def test_echo_in_ebcdic_and_back(self):
        port = self.start()
        request = b"CONSULTA SALDO 0001234 {ok} ~!|]"
        self.assertEqual(harness.frame_exchange(port, request), request)
        self.wait_next()
        self.stop_and_check([conversation_log(self.keys, request, to_ebcdic(request),
                                              to_ebcdic(request), conv_id=1)])

    def test_packed_fields_reach_the_host_untranslated(self):
        request = b"AB\x01CDEFGHIJ\x00\x12\x34\x5c\xff" + b"KLMNOP\x9f\x0c\x00\x01"
        cases = [  # (packed-field keys, the fields restored as (offset, size))
            (dict(PACK1=10, PACK1_SIZE=5), [(10, 5)]),
            (dict(PACK1=0, PACK1_SIZE=2, PACK2=3, PACK2_SIZE=0, PACK3=18, PACK3_SIZE=4),
             [(0, 2), (18, 4)]),
            (dict(PACK1=4, PACK1_SIZE=6, PACK2=6, PACK2_SIZE=6, PACK3=1, PACK3_SIZE=-3),
             [(4, 6), (6, 6)]),
            (dict(PACK1=20, PACK1_SIZE=40), [(20, 40)]),  # beyond the request: nothing sent
        ]
        for keys, packed in cases:
            with self.subTest(packed=packed):
                port = self.start(**keys)
                host_request = bytearray(to_ebcdic(request))
                for offset, size in packed:
                    host_request[offset:offset + size] = request[offset:offset + size]
                host_request = bytes(host_request[:len(request)])
                self.assertEqual(harness.frame_exchange(port, request), to_ascii(host_request))
                self.wait_next()
                self.stop_and_check([conversation_log(self.keys, request, host_request,
                                                      host_request, conv_id=1, packed=packed)])

    def test_ebcdic_0_passes_the_request_and_still_translates_the_reply(self):
        port = self.start(EBCDIC=0, PACK1=0, PACK1_SIZE=4)
        request = b"PLAIN ASCII REQUEST 42"
        self.assertEqual(harness.frame_exchange(port, request), to_ascii(request))
        self.wait_next()
        self.stop_and_check([conversation_log(self.keys, request, request, request, conv_id=1)])

    def test_host_that_keeps_the_conversation_is_deallocated_locally(self):
        port = self.start(REMOTE_TP="KEEPTP")
        request = b"KEEP IT OPEN"
        self.assertEqual(harness.frame_exchange(port, request), request)
        self.wait_next()
        self.stop_and_check([conversation_log(
            self.keys, request, to_ebcdic(request), to_ebcdic(request), conv_id=1,
            receive_rc=0x0000, what=0x0201, after_receive=state("AP_SEND_STATE"))])

    def test_connections_are_served_one_after_the_other_with_cleared_buffers(self):
        port = self.start(REMOTE_TP="UPPERTP")
        requests = [b"a long first request, longer than the next", b"short", b"x"]
        for request in requests:
            self.assertEqual(harness.frame_exchange(port, request), request.upper())
            self.wait_next()
        self.stop_and_check([
            conversation_log(self.keys, r, to_ebcdic(r), to_ebcdic(r.upper()), conv_id=2 * i + 1)
            for i, r in enumerate(requests)])

    def test_prefix_split_over_segments(self):
        port = self.start()
        request = b"SPLIT PREFIX"
        for pieces in ([1], [1, 1, 1], [3, 5]):
            with self.subTest(pieces=pieces):
                self.assertEqual(harness.frame_exchange(port, request, pieces=pieces), request)
                self.wait_next()
        self.stop_and_check([conversation_log(self.keys, request, to_ebcdic(request),
                                              to_ebcdic(request), conv_id=2 * i + 1)
                             for i in range(3)])

    def test_framecli_shows_the_reply(self):
        if harness.OPTIONS.framecli is None:
            self.skipTest("no --framecli given")
        port = self.start()
        out = subprocess.run(harness.program("framecli") + ["127.0.0.1", str(port), "HOLA HOST"],
                             capture_output=True, timeout=30)
        self.assertEqual((out.returncode, out.stdout), (0, b"HOLA HOST"))
        self.assertEqual(out.stderr.replace(b"\r\n", b"\n"),
                         b"framecli: sent 9 bytes, received 9 bytes\n")
        self.wait_next()
        hex_out = subprocess.run(harness.program("framecli") + ["127.0.0.1", str(port), "-x",
                                  "00FF410D0A"], capture_output=True, timeout=30)
        # Standard output of a Windows console program is in text mode: LF becomes CR LF.
        shown = b"\x00\xffA\r\r\n" if harness.on_wine() else b"\x00\xffA\r\n"
        self.assertEqual((hex_out.returncode, hex_out.stdout), (0, shown))


class BrokenClientTest(NetgateCase):
    """Clients that end or stall before a whole request has arrived get no APPC work."""

    def test_requests_that_never_complete(self):
        cases = [  # (bytes sent before the half-close, what the log says ended it)
            (b"", ""),
            (struct.pack(">i", 0), "Recibidos 4 bytes\nrc = 4\ntcp_req_size = 0\n"),
            (b"\x00\x00", ""),
            (struct.pack(">i", 10) + b"12345",
             "Recibidos 4 bytes\nrc = 4\ntcp_req_size = 10\n"),
            (struct.pack(">i", -5), "Recibidos 4 bytes\nrc = 4\ntcp_req_size = -5\n"),
        ]
        port = self.start()
        served = []
        for wire, lines in cases:
            with self.subTest(wire=wire):
                self.assertEqual(harness.raw_exchange(port, wire), b"")
                self.wait_next()
                served.append(lines + closing_log("Connection closing\n"))
        self.stop_and_check(served)

    def test_oversized_frame_is_refused_before_its_body(self):
        port = self.start()
        served = []
        for length in (5001, 0x7FFFFFFF):
            with self.subTest(length=length):
                wire = struct.pack(">i", length) + b"A" * 6000
                self.assertEqual(harness.raw_exchange(port, wire), b"")
                self.wait_next()
                served.append("Recibidos 4 bytes\nrc = 4\ntcp_req_size = %d\n" % length +
                              "TCP frame of %d bytes refused: the limit is 5000\n" % length +
                              closing_log())
        request = b"M" * 5000  # the largest request that fits still goes through
        self.assertEqual(harness.frame_exchange(port, request), request)
        self.wait_next()
        served.append(conversation_log(self.keys, request, to_ebcdic(request),
                                       to_ebcdic(request), conv_id=1))
        self.stop_and_check(served)

    def test_idle_client_is_dropped_after_the_receive_timeout(self):
        port = self.start()
        started = time.monotonic()
        with socket.create_connection(("127.0.0.1", port)) as idle:
            idle.settimeout(30)
            self.assertEqual(idle.recv(16), b"")  # netgate closed it
        waited = time.monotonic() - started
        self.assertGreaterEqual(waited, 9.0)
        self.wait_next()
        # The next client is served as usual.
        self.assertEqual(harness.frame_exchange(port, b"AFTER"), b"AFTER")
        self.wait_next()
        timed_out = 10060 if harness.on_wine() else 11  # WSAETIMEDOUT, EAGAIN
        self.stop_and_check([
            closing_log("Socket failed: %d\n" % timed_out),
            conversation_log(self.keys, b"AFTER", to_ebcdic(b"AFTER"), to_ebcdic(b"AFTER"),
                             conv_id=1)])


class HostFailureTest(NetgateCase):

    def test_missing_partner_tp_gives_an_empty_reply_frame(self):
        port = self.start(REMOTE_TP="NOSUCHTP")
        request = b"TO NOBODY"
        self.assertEqual(harness.frame_exchange(port, request), b"")
        self.wait_next()
        # The allocation goes ahead; the host's refusal of the TP name arrives with the receive,
        # which ends the conversation, so the local deallocation finds none.
        failed_state = trace(GET_STATE, 0x0100, 0x02000000, extra="STAT: 00        UNKNOWN\n")
        self.stop_and_check([conversation_log(
            self.keys, request, to_ebcdic(request), b"", conv_id=1,
            receive_rc=0x0300, receive_rc2=0x21600810, what=0, after_receive=failed_state,
            deallocate=trace(DEALLOCATE, 0x0100, 0x02000000))])


class StartTest(unittest.TestCase):
    """Start-up paths that end the program."""

    def setUp(self):
        self.work = harness.Workdir()
        self.addCleanup(self.work.cleanup)

    def test_port_0_is_refused_after_tp_started(self):
        node = harness.Node(self.work, harness.NODE_CONF)
        self.addCleanup(node.stop)
        keys = config(0)
        self.work.write("netgate.ini", harness.ini("APPC", **keys))
        code, _, _ = harness.run("netgate", self.work, node, ["./netgate.ini"])
        self.assertEqual(code, 2)
        harness.assert_lines(self, harness.read_text(self.work.file("netgate.log")),
                             start_log(keys) + "PUERTO NO VALIDO\n")

    def test_command_line_and_configuration_errors(self):
        keys = config(7001)
        del keys["PACK2_SIZE"]
        self.work.write("partial.ini", harness.ini("APPC", **keys))
        self.work.write("named.ini", harness.ini("A SECTION NAME MUCH LONGER THAN FORTY "
                                                 "CHARACTERS", LOCAL_LU="X"))
        cases = [  # (arguments, exit code, standard output, the log after its timestamp)
            ([], 1, "", "\nNETGATE  X:\\netgate.ini [section]"),
            (["./missing.ini"], 2,
             "Key PORT not found in section [APPC] in file ./missing.ini\n", ""),
            (["./partial.ini"], 2,
             "Key PACK2_SIZE not found in section [APPC] in file ./partial.ini\n",
             start_log(keys)[len(TIME):].split("SYNC_LEVEL")[0]),
            (["./named.ini", "A SECTION NAME MUCH LONGER THAN FORTY CHARACTERS"], 2,
             "Key PORT not found in section [A SECTION NAME MUCH LONGER THAN FORTY "
             "CHARACTERS] in file ./named.ini\n", ""),
        ]
        for args, code, out, log in cases:
            with self.subTest(args=args):
                log_path = self.work.file("netgate.log")
                if os.path.exists(log_path):
                    os.remove(log_path)
                got_code, got_out, _ = harness.run("netgate", self.work, None, args)
                self.assertEqual((got_code, got_out), (code, out))
                harness.assert_lines(self, harness.read_text(log_path), TIME + log)

    def test_log_that_cannot_be_opened(self):
        os.mkdir(self.work.file("netgate.log"))
        code, out, err = harness.run("netgate", self.work, None, ["./netgate.ini"])
        self.assertEqual((code, out), (1, ""))
        self.assertRegex(err.replace("\r\n", "\n"),
                         r"^Cannot open the log file netgate\.log: \S.*\n$")


if __name__ == "__main__":
    harness.main()
