"""hostgate under faults: a TCP server that resets the connection instead of replying.
hostgate.log is read line by line as an operator reads it."""

import os
import signal
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import harness  # noqa: E402
from harness import to_ascii, to_ebcdic  # noqa: E402
import hostgate_test  # noqa: E402
from hostgate_test import forward_log, received_log, routing_line, start_log  # noqa: E402


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


if __name__ == "__main__":
    harness.main()
