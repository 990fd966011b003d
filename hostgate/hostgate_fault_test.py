"""hostgate under faults: a TCP server that resets the connection instead of replying, the
node lost while hostgate waits for a conversation. hostgate.log is read line by line as an
operator reads it."""

import os
import signal
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import harness  # noqa: E402
from harness import TIME, dump, receive_extra, to_ascii, to_ebcdic, trace  # noqa: E402
import hostgate_test  # noqa: E402
from hostgate_test import (RECEIVE, RECEIVE_ALLOCATE, STOPPED, WAIT, forward_log,  # noqa: E402
                           received_log, reply_log, routing_line, start_log)

GET_STATE, AP_COMM_SUBSYSTEM_ABENDED = 0x0009, 0x03F0
RETRY_LINE = "APPC node unreachable: next RECEIVE_ALLOCATE in 2 seconds\n"
# One round of the loop while the node cannot be reached: every verb fails at once, and the
# service waits before the next RECEIVE_ALLOCATE instead of going round at full speed.
UNREACHABLE_ROUND = (
    WAIT + trace(RECEIVE_ALLOCATE, AP_COMM_SUBSYSTEM_ABENDED,
                 extra="CONV_ID: 0\nTP_ID  : <tp id>\n") +
    trace(GET_STATE, AP_COMM_SUBSYSTEM_ABENDED, extra="STAT: 00        UNKNOWN\n") +
    TIME + "appc_mc_receive_and_wait()\n" +
    trace(RECEIVE, AP_COMM_SUBSYSTEM_ABENDED, extra=receive_extra(0, b"")) + TIME + dump(b"") +
    RETRY_LINE)


class ResetServerTest(hostgate_test.HostgateCase):

    def test_server_that_resets_instead_of_replying(self):
        self.fresh()
        self.start(lambda body: harness.RESET)
        message = to_ebcdic(b"DPRE RESET BY THE SERVER")
        probe = self.call(to_ascii(message))
        # The failed transfer ends the service, as any failed transfer with the server does.
        self.assertEqual(self.hostgate.wait(30), 0)
        probe.stop(signal.SIGKILL)
        self.assertEqual(self.server.requests, [to_ascii(message)])
        reasons = ["socket error %d" % (10054 if harness.on_wine() else 104)]
        if harness.on_wine():
            # wine reports a reset that reaches a receive already waiting as an orderly close.
            reasons.append("connection closed by the server")
        log = harness.read_text(self.log_path)
        reason = next((r for r in reasons if log.rstrip().endswith(r)), reasons[0])
        self.check_log(start_log(self.keys) + received_log(message) +
                       routing_line("DPRE", self.server.port) +
                       forward_log(self.keys, message, to_ascii(message)) +
                       "TCP receiving reply header failed: %s\n" % reason)



class NodeLostTest(hostgate_test.HostgateCase):

    def test_node_lost_while_waiting_for_a_conversation(self):
        self.fresh()
        self.start(lambda body: b"SERVED AFTER THE NODE CAME BACK")
        self.node.kill()
        harness.wait_for_text(self.log_path, RETRY_LINE)
        # hostgate waits before it tries again: the node is back in time for that try, and a
        # conversation the host starts then is served.
        self.node = harness.Node(self.work, harness.NODE_CONF, port=self.node.port)
        self.addCleanup(self.node.stop)
        message = to_ebcdic(b"DPRE AFTER THE NODE CAME BACK")
        probe = self.call(to_ascii(message))
        self.assertEqual(probe.wait(), 0)
        harness.wait_for_text(self.log_path, "READY.")
        self.assertEqual(self.hostgate.stop(harness.STOP_SIGNAL), 0)
        rounds = harness.count_in(self.log_path, RETRY_LINE)
        self.check_log(start_log(self.keys) + rounds * UNREACHABLE_ROUND + received_log(message) +
                       routing_line("DPRE", self.server.port) +
                       forward_log(self.keys, message, to_ascii(message)) +
                       reply_log(b"SERVED AFTER THE NODE CAME BACK") + STOPPED)

    def test_stop_while_waiting_to_try_again(self):
        self.fresh()
        self.start(lambda body: body)
        self.node.kill()
        harness.wait_for_text(self.log_path, RETRY_LINE)
        self.assertEqual(self.hostgate.stop(harness.STOP_SIGNAL), 0)
        rounds = harness.count_in(self.log_path, RETRY_LINE)
        self.check_log(start_log(self.keys) + rounds * UNREACHABLE_ROUND)


if __name__ == "__main__":
    harness.main()
