"""netgate under faults: the node lost while netgate waits for the host, a host TP that never
answers while clients queue, a client that resets its connection before the reply, a log file
on a full disk. netgate.log is read line by line as an operator reads it."""

import os
import select
import socket
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import harness  # noqa: E402
from harness import TIME, to_ebcdic, trace  # noqa: E402
import netgate_test  # noqa: E402
from netgate_test import (ACCEPTED, DEALLOCATE, GET_STATE, STOPPED, WAITING,  # noqa: E402
                          config, conversation_log, listening_log)

AP_COMM_SUBSYSTEM_ABENDED, AP_CANCELLED = 0x03F0, 0x2100
RECEIVE_WAIT = "appc_mc_recv_and_wait()\n"


def reset_send_failure():
    """What netgate's closing steps write after its reply met a connection the client reset:
    the failed send and, on Linux, the failed half-close (wine's socket layer lets the
    half-close of a reset connection succeed)."""
    if harness.on_wine():
        return "Socket failed: 10054\n" + TIME + "Bajando conexion TCP\n"
    return "Socket failed: 104\n" + TIME + "Bajando conexion TCP\n" + "Shutdown failed: 107\n"


def until_receive(log):
    """The part of an exchange's log up to the receive netgate is waiting in."""
    return log[:log.index(RECEIVE_WAIT) + len(RECEIVE_WAIT)]


class SilentHostCase(netgate_test.NetgateCase):

    def waiting_client(self, request):
        """Starts netgate towards the host TP that never answers and sends it request from a
        client of its own; returns that client once netgate waits for the host's reply."""
        port = self.start(REMOTE_TP="SLOWTP")
        client = harness.Background(harness.frame_exchange, port, request)
        harness.wait_for_text(self.log_path, RECEIVE_WAIT)
        return port, client


class NodeLostTest(SilentHostCase):

    def test_node_killed_while_netgate_waits_for_the_host(self):
        request = b"WHILE THE NODE GOES DOWN"
        port, client = self.waiting_client(request)
        self.node.kill()
        # The verb fails, the conversation is given up and the client gets its empty reply.
        self.assertEqual(client.result(), b"")
        self.wait_next()
        self.assertTrue(self.netgate.running())
        # A node again on the same endpoint, whose host answers at once this time.
        self.node = harness.Node(self.work, harness.NODE_CONF.replace("DELAY_MS=600000",
                                                                      "DELAY_MS=0"),
                                 port=self.node.port)
        self.addCleanup(self.node.stop)
        after = b"ONCE THE NODE IS BACK"
        self.assertEqual(harness.frame_exchange(port, after), after)
        self.wait_next()
        lost = trace(GET_STATE, AP_COMM_SUBSYSTEM_ABENDED, extra="STAT: 00        UNKNOWN\n")
        self.stop_and_check([
            conversation_log(self.keys, request, to_ebcdic(request), b"", conv_id=1,
                             receive_rc=AP_COMM_SUBSYSTEM_ABENDED, what=0, after_receive=lost,
                             deallocate=trace(DEALLOCATE, AP_COMM_SUBSYSTEM_ABENDED)),
            conversation_log(self.keys, after, to_ebcdic(after), to_ebcdic(after), conv_id=1)])


class SilentHostTest(SilentHostCase):

    def test_clients_queued_behind_a_host_that_never_answers(self):
        request = b"NO ANSWER WILL COME"
        port, first = self.waiting_client(request)
        queued = []
        for n in range(3):
            conn = socket.create_connection(("127.0.0.1", port), timeout=30)
            self.addCleanup(conn.close)
            conn.sendall(harness.frame_wire(b"QUEUED %d" % n))
            queued.append(conn)
        # The queued requests sit in the listener's backlog: netgate took none of them, and
        # waits in the receive of the first conversation.
        cancelled = conversation_log(
            self.keys, request, to_ebcdic(request), b"", conv_id=1, receive_rc=AP_CANCELLED,
            what=0, after_receive=harness.state("AP_RECEIVE_STATE"),
            deallocate=trace(DEALLOCATE, 0x0200, 0x52000000))
        harness.assert_lines(self, harness.read_text(self.log_path),
                             listening_log(self.keys) + WAITING + ACCEPTED +
                             until_receive(cancelled))
        self.assertEqual(select.select(queued, [], [], 0)[0], [])
        # Stopping netgate cancels the receive and runs the stop sequence: the first client
        # gets its empty reply, the queued ones a closed connection.
        self.assertEqual(self.netgate.stop(harness.STOP_SIGNAL), 0, self.netgate.stderr)
        self.assertEqual(first.result(), b"")
        for conn in queued:
            try:
                self.assertEqual(conn.recv(16), b"")
            except ConnectionResetError:
                pass
        harness.assert_lines(self, harness.read_text(self.log_path),
                             listening_log(self.keys) + WAITING + ACCEPTED + cancelled +
                             STOPPED)


class ResetClientTest(netgate_test.NetgateCase):

    def test_client_that_resets_before_its_reply(self):
        port = self.start(REMOTE_TP="GATETP")
        request = b"GONE BEFORE THE REPLY"
        conn = socket.create_connection(("127.0.0.1", port), timeout=30)
        conn.sendall(harness.frame_wire(request))
        harness.wait_for_text(self.log_path, RECEIVE_WAIT)
        client_port = conn.getsockname()[1]
        harness.reset(conn)
        harness.wait_connection_gone(port, client_port)
        self.work.write(harness.GATE_FILE, "")  # the host answers now
        self.wait_next()
        self.assertTrue(self.netgate.running())
        after = b"THE NEXT CLIENT"
        self.assertEqual(harness.frame_exchange(port, after), after)
        self.wait_next()
        self.stop_and_check([
            conversation_log(self.keys, request, to_ebcdic(request), to_ebcdic(request),
                             conv_id=1, reply_sent=reset_send_failure() + TIME +
                             "Conexion TCP cerrada\n"),
            conversation_log(self.keys, after, to_ebcdic(after), to_ebcdic(after), conv_id=3)])


class FullDiskLogTest(unittest.TestCase):

    def test_service_goes_on_when_the_log_cannot_be_written(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full on this system")
        work = harness.Workdir()
        self.addCleanup(work.cleanup)
        os.symlink("/dev/full", work.file("netgate.log"))
        node = harness.Node(work, harness.NODE_CONF)
        self.addCleanup(node.stop)
        keys = config(harness.free_port())
        work.write("netgate.ini", harness.ini("APPC", **keys))
        netgate = harness.Program("netgate", work, node, ["./netgate.ini"])
        self.addCleanup(netgate.stop)
        harness.wait_listening(keys["PORT"])
        for request in (b"FIRST ON A FULL DISK", b"SECOND", b"THIRD, LONGER THAN THE OTHERS"):
            self.assertEqual(harness.frame_exchange(keys["PORT"], request), request)
        self.assertEqual(netgate.stop(harness.STOP_SIGNAL), 0)
        # One line for the operator, the first time; nothing more however many lines are lost.
        self.assertEqual(netgate.stderr.decode("latin-1").replace("\r\n", "\n"),
                         "Cannot write the log to netgate.log: No space left on device; "
                         "further log lines may be lost\n")


if __name__ == "__main__":
    harness.main()
