"""End-to-end test support for the console programs: a real APPC node, the program under test
(natively or under wine), framed TCP peers, and the log an operator reads.

The tests take their programs from the command line:
  --node PATH        the APPC node (a Linux program)
  --wine PATH        run the programs under test through this launcher (the Windows target)
  --netgate PATH, --hostgate PATH, --probeout PATH, --probein PATH, --framecli PATH
Every other argument goes to unittest.
"""

import argparse
import difflib
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

OPTIONS = None


def main():
    """Parses the harness options and runs the unittest cases of the calling module."""
    global OPTIONS
    parser = argparse.ArgumentParser(add_help=False)
    for name in ("node", "wine", "netgate", "hostgate", "probeout", "probein", "framecli"):
        parser.add_argument("--" + name)
    OPTIONS, rest = parser.parse_known_args()
    global STOP_SIGNAL
    if OPTIONS.wine:
        STOP_SIGNAL = signal.SIGINT
    for name, value in vars(OPTIONS).items():  # the programs run in their own directories
        if value is not None:
            setattr(OPTIONS, name, os.path.abspath(value))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def program(name):
    """The command that starts the program named on the command line."""
    path = getattr(OPTIONS, name)
    if path is None:
        raise unittest.SkipTest("no --%s given" % name)
    return [OPTIONS.wine, path] if OPTIONS.wine else [path]


# What asks a service to stop: SIGTERM, or under wine SIGINT, which wine turns into the
# console's Ctrl-C event.
STOP_SIGNAL = signal.SIGTERM


def on_wine():
    return OPTIONS.wine is not None


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def refused_port():
    """A loopback port on which nobody listens (bound and closed at once)."""
    return free_port()


def wait_until(condition, timeout=20.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


# ---------------------------------------------------------------------------------------------
# Logs as an operator reads them.

TIMESTAMP = re.compile(r"^(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                       r"(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                       r"\d\d \d\d:\d\d:\d\d \d{4}$")
TP_ID_LINE = re.compile(r"^TP_ID  : [0-9A-F]{16}$")

# What the masked log shows in place of the values that change from run to run.
TIME = "<time>\n\n"
TP_ID = "<tp id>"


def masked_lines(text):
    """The log text as lines, line ends normalised, timestamps and TP identifiers masked.
    A timestamp line must be followed by its empty line; the mask keeps both."""
    lines = text.replace("\r\n", "\n").split("\n")
    out = []
    for line in lines:
        if TIMESTAMP.match(line):
            out.append("<time>")
        elif TP_ID_LINE.match(line):
            out.append("TP_ID  : " + TP_ID)
        else:
            out.append(line)
    return out


def read_text(path):
    with open(path, "rb") as stream:
        return stream.read().decode("latin-1")


def assert_lines(test, actual_text, expected_text):
    """Compares two texts line by line (the actual one masked) and shows a diff on mismatch."""
    actual = masked_lines(actual_text)
    expected = expected_text.split("\n")
    if actual != expected:
        diff = "\n".join(difflib.unified_diff(expected, actual, "expected", "actual",
                                              lineterm="", n=4))
        test.fail("log differs from the expected one:\n" + diff)


# ---------------------------------------------------------------------------------------------
# The texts the support library writes: dumps, verb traces, conversation states.

OPCODES = {0x0001: "AP_M_ALLOCATE", 0x0003: "AP_M_CONFIRM", 0x0005: "AP_M_DEALLOCATE",
           0x0009: "AP_GET_STATE", 0x000B: "AP_M_RECEIVE_AND_WAIT", 0x000F: "AP_M_SEND_DATA",
           0x0013: "AP_TP_ENDED", 0x0014: "AP_TP_STARTED", 0x0016: "AP_RECEIVE_ALLOCATE"}
PRIMARY = {0x0000: "AP_OK", 0x0200: "AP_STATE_CHECK", 0x0300: "AP_ALLOCATION_ERROR",
           0x0100: "AP_PARAMETER_CHECK", 0x0500: "AP_DEALLOC_ABEND",
           0x0900: "AP_DEALLOC_NORMAL", 0x1000: "AP_CONV_FAILURE_NO_RETRY",
           0x1400: "AP_UNSUCCESSFUL", 0x2100: "AP_CANCELLED",
           0x03F0: "AP_COMM_SUBSYSTEM_ABENDED", 0x04F0: "AP_COMM_SUBSYSTEM_NOT_LOADED"}
SECONDARY = {0x00000000: "NONE", 0x01000000: "AP_BAD_TP_ID", 0x02000000: "AP_BAD_CONV_ID",
             0x03000002: "AP_BAD_REMOTE_LU_ALIAS", 0x06050000: "AP_UNDEFINED_TP_NAME",
             0x21600810: "AP_TP_NAME_NOT_RECOGNIZED", 0x04000000: "AP_ALLOCATION_FAILURE_NO_RETRY",
             0xB1000000: "AP_RCV_AND_WAIT_BAD_STATE", 0xF2000000: "AP_SEND_DATA_NOT_SEND_STATE",
             0x52000000: "AP_DEALLOC_FLUSH_BAD_STATE"}
WHAT = {0x0001: "AP_SEND", 0x0100: "AP_DATA", 0x0101: "AP_DATA_SEND",
        0x0200: "AP_DATA_COMPLETE", 0x0201: "AP_DATA_COMPLETE_SEND", 0x0300: "AP_NOT_DATA",
        0x0400: "AP_DATA_INCOMPLETE"}


def dump(data):
    """The two dump lines of log_dump."""
    printable = "".join((chr(b) if 0x20 <= b <= 0x7E else ".") + " " for b in data)
    return data.hex().upper() + "\n" + printable + "\n"


def trace(opcode, rc1=0, rc2=0, extra=""):
    """The trace of one verb: OPER, RC1, RC2, the verb's extra lines and an empty line."""
    return ("OPER: %04X      %s\n" % (opcode, OPCODES.get(opcode, "UNKNOWN")) +
            "RC1 : %04X      %s\n" % (rc1, PRIMARY.get(rc1, "UNKNOWN")) +
            "RC2 : %08X  %s\n" % (rc2, SECONDARY.get(rc2, "UNKNOWN")) + extra + "\n")


def receive_extra(what, data, field_width=None):
    """The WHAT, SIZE and DATA lines of a receive trace; the DATA line shows the bytes up to
    the first zero byte, blank-filled to the length."""
    text = "WHAT: %04x      %s\nSIZE: %u\n" % (what, WHAT.get(what, "UNKNOWN"), len(data))
    if data:
        shown = data.split(b"\0")[0].decode("latin-1")
        text += "DATA: [%s]\n" % shown.ljust(len(data))
    return text


def field(data):
    """What "%*.*s" shows of data: the bytes up to the first zero byte, right-aligned in a
    field of the data's length."""
    return data.split(b"\0")[0].decode("latin-1").rjust(len(data))


def state(name):
    return "-- Conversation state is %s --\n\n" % name


# ---------------------------------------------------------------------------------------------
# ASCII and EBCDIC, as the gateway's own tables map them.

_A2E = bytes.fromhex(
    "00010203372D2E2F1605 0A0B0C0D0E0F101112133C3D322618193F271C1D1E1F"
    "405A7F7B5B6C507D4D5D5C4E6B604B61F0F1F2F3F4F5F6F7F8F97A5E4C7E6E6F"
    "7CC1C2C3C4C5C6C7C8C9D1D2D3D4D5D6D7D8D9E2E3E4E5E6E7E8E94AE04F5F6D"
    "798182838485868788899192939495969798 99A2A3A4A5A6A7A8A9C06AD0A107"
    "0406080925141517 1A1B2021222324282 92A2B2C3031333435363 8393A3B3E41"
    "4243444546474849515253545556575859626364656667686970717273747576"
    "7778808A8B8C8D8E8F909A9B9C9D9E9FA0AAABACADAEAFB0B1B2B3B4B5B6B7B8"
    "B9BABBBCBDBEBFCACBCCCDCECFDADBDCDDDEDFE1EAEBECEDEEEFFAFBFCFDFEFF".replace(" ", ""))
_E2A = bytes(_A2E.index(i) for i in range(256))


def to_ebcdic(data):
    return bytes(_A2E[b] for b in data)


def to_ascii(data):
    return bytes(_E2A[b] for b in data)


# ---------------------------------------------------------------------------------------------
# Processes.

# GATETP echoes a message once the test has created this file in the node's directory (or
# after half a minute, so that no command outlives a failed test); SLOWTP answers after ten
# minutes, that is never within a test.
GATE_FILE = "gate.open"

# The node of the tests: the host TPs every test may call and the local TP names.
NODE_CONF = """[NODE]
LISTEN=127.0.0.1:@PORT@
LOCAL_LUS=LOCALLU
PARTNER_LUS=HOSTLU
MODES=#INTER
LOCAL_TPS=NETGATE,HOSTGATE,PROBEOUT,PROBEIN
HOST_TPS=ECHOTP,KEEPTP,REPLYTP,UPPERTP,SLOWTP,GATETP
ATTACH_TIMEOUT=5

[TP ECHOTP]
KIND=echo

[TP KEEPTP]
KIND=echo
END=keep

[TP REPLYTP]
KIND=reply
TEXT=REPLY FROM THE HOST: ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789

[TP UPPERTP]
KIND=exec
COMMAND=tr a-z A-Z
TRANSLATE=1

[TP SLOWTP]
KIND=echo
DELAY_MS=600000

[TP GATETP]
KIND=exec
COMMAND=for i in $(seq 1500); do [ -e """ + GATE_FILE + """ ] && break; sleep 0.02; done; cat
TRANSLATE=1
TIME_LIMIT=60
"""


class Workdir:
    """A temporary working directory: log files are written to the current directory."""

    def __init__(self):
        self._dir = tempfile.TemporaryDirectory(prefix="gateway-e2e-")
        self.path = self._dir.name

    def file(self, name):
        return os.path.join(self.path, name)

    def write(self, name, text):
        with open(self.file(name), "w", newline="", encoding="latin-1") as stream:
            stream.write(text)
        return self.file(name)

    def cleanup(self):
        self._dir.cleanup()


def ini(section, **keys):
    return "[%s]\n" % section + "".join("%s=%s\n" % item for item in keys.items())


class Node:
    """The APPC node on a loopback port (a free one unless given), started on a configuration
    text. Its standard error is appended to appcnode.out in the working directory."""

    def __init__(self, workdir, conf_text, port=None):
        if OPTIONS.node is None:
            raise unittest.SkipTest("no --node given")
        self.port = port if port is not None else free_port()
        self.endpoint = "127.0.0.1:%d" % self.port
        conf = workdir.write("appcnode.ini", conf_text.replace("@PORT@", str(self.port)))
        self.log_path = workdir.file("appcnode.out")
        self._out = open(self.log_path, "ab")
        self.process = subprocess.Popen([OPTIONS.node, "--config", conf], cwd=workdir.path,
                                        stdout=self._out, stderr=subprocess.STDOUT)
        wait_until(self._accepting, what="the node on " + self.endpoint)

    def _accepting(self):
        if self.process.poll() is not None:
            raise AssertionError("the node ended at start: " + read_text(self.log_path))
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=0.5).close()
            return True
        except OSError:
            return False

    def environment(self):
        env = dict(os.environ)
        env["APPCNODE_ENDPOINT"] = self.endpoint
        return env

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._out.close()

    def kill(self):
        """Ends the node as a crash would: SIGKILL, no chance to tell its clients."""
        self.process.kill()
        self.process.wait()
        self._out.close()


class Program:
    """A program under test in the working directory, talking to the node."""

    def __init__(self, name, workdir, node, args, stdin=None):
        self.workdir = workdir
        self.out_path = workdir.file(name + ".out")
        self._out = open(self.out_path, "wb")
        env = node.environment() if node else dict(os.environ)
        self.process = subprocess.Popen(program(name) + list(args), cwd=workdir.path, env=env,
                                        stdout=self._out, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
        self.stderr = b""

    def wait(self, timeout=60):
        try:
            _, self.stderr = self.process.communicate(timeout=timeout)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.communicate()
            self._out.close()
        return self.process.returncode

    def output(self):
        return read_text(self.out_path)

    def running(self):
        return self.process.poll() is None

    def stop(self, sig=signal.SIGTERM, timeout=30):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        return self.wait(timeout)


def run(name, workdir, node, args, timeout=60):
    """Runs a program to its end; returns (exit code, standard output, standard error)."""
    prog = Program(name, workdir, node, args)
    code = prog.wait(timeout)
    return code, prog.output().replace("\r\n", "\n"), prog.stderr.decode("latin-1")


def wait_for_text(path, text, timeout=30.0):
    """Waits until the file holds text (after line-end normalisation) count times."""
    def holds():
        try:
            return text in read_text(path).replace("\r\n", "\n")
        except FileNotFoundError:
            return False
    wait_until(holds, timeout, "%r in %s" % (text, path))


def count_in(path, text):
    try:
        return read_text(path).replace("\r\n", "\n").count(text)
    except FileNotFoundError:
        return 0


class Background(threading.Thread):
    """function(*args) on a thread of its own, for a client that waits while the test acts;
    result() waits for its value or raises what it raised."""

    def __init__(self, function, *args):
        super().__init__(daemon=True)
        self._call = (function, args)
        self._value = self._error = None
        self.start()

    def run(self):
        function, args = self._call
        try:
            self._value = function(*args)
        except BaseException as error:  # handed to result()
            self._error = error

    def result(self, timeout=30.0):
        self.join(timeout)
        if self.is_alive():
            raise AssertionError("still waiting after %.0f s" % timeout)
        if self._error is not None:
            raise self._error
        return self._value


# ---------------------------------------------------------------------------------------------
# TCP peers.

def recv_exact(conn, count):
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def frame_wire(body):
    return struct.pack(">i", len(body)) + body


def reset(conn):
    """Closes a connection with a reset (SO_LINGER 0) instead of the orderly close."""
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    conn.close()


# The loopback connections the kernel holds, from /proc/net/tcp (the programs under wine use
# the host's sockets too): (local port, remote port) -> state.
TCP_LISTEN = "0A"


def tcp_table():
    table = {}
    with open("/proc/net/tcp") as stream:
        next(stream)
        for line in stream:
            fields = line.split()
            local, remote, status = fields[1], fields[2], fields[3]
            table[(int(local.split(":")[1], 16), int(remote.split(":")[1], 16))] = status
    return table


def wait_listening(port, timeout=20.0):
    """Waits until a socket listens on port, without connecting to it."""
    wait_until(lambda: tcp_table().get((port, 0)) == TCP_LISTEN, timeout,
               "a listener on port %d" % port)


def wait_connection_gone(local_port, remote_port, timeout=20.0):
    """Waits until the kernel no longer holds the connection local_port -> remote_port, as
    after a reset has reached that end."""
    wait_until(lambda: (local_port, remote_port) not in tcp_table(), timeout,
               "the connection %d -> %d to go" % (local_port, remote_port))


def frame_exchange(port, body, pieces=None, timeout=30.0):
    """Sends one framed request and returns the reply body, or None when the connection ended
    without a complete reply frame. pieces: sizes of the segments the frame is sent in."""
    wire = frame_wire(body)
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as conn:
        if pieces:
            position = 0
            for size in pieces:
                conn.sendall(wire[position:position + size])
                position += size
                time.sleep(0.2)
            conn.sendall(wire[position:])
        else:
            conn.sendall(wire)
        prefix = recv_exact(conn, 4)
        if prefix is None:
            return None
        (length,) = struct.unpack(">i", prefix)
        reply = recv_exact(conn, length) if length > 0 else b""
        return reply


def raw_exchange(port, wire, timeout=30.0):
    """Sends raw bytes, half-closes, and returns everything the peer sent before it closed
    (a peer that closes before taking all the bytes may reset the connection)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as conn:
        received = b""
        try:
            if wire:
                conn.sendall(wire)
            conn.shutdown(socket.SHUT_WR)
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    return received
                received += chunk
        except ConnectionError:
            return received
        except OSError as error:
            if error.errno == 107:  # ENOTCONN: reset before the half-close
                return received
            raise


RESET = "reset"


class FrameServer(threading.Thread):
    """A TCP server for hostgate: answers each framed request as behaviour(request) says.
    behaviour returns the reply body (bytes), the raw bytes to send (a tuple ("raw", bytes)),
    RESET to reset the connection, or None to close without replying. Every request body
    received is kept in requests."""

    def __init__(self, behaviour):
        super().__init__(daemon=True)
        self.behaviour = behaviour
        self.requests = []
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self._stopping = False
        self.start()

    def run(self):
        while not self._stopping:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            with conn:
                conn.settimeout(30)
                prefix = recv_exact(conn, 4)
                if prefix is None:
                    continue
                (length,) = struct.unpack(">i", prefix)
                body = recv_exact(conn, length) if length > 0 else b""
                self.requests.append(body)
                answer = self.behaviour(body)
                if answer is None:
                    continue
                if answer == RESET:
                    reset(conn)
                    continue
                if isinstance(answer, tuple):  # raw bytes, then the close
                    conn.sendall(answer[1])
                    continue
                conn.sendall(frame_wire(answer))
                try:
                    while conn.recv(4096):
                        pass
                except OSError:
                    pass

    def stop(self):
        self._stopping = True
        self.listener.close()
