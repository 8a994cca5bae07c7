# End-to-end test support: the program under test (Linux, or the .exe under Wine), loopback
# servers that record what the program sends, and the program's fixed texts.
import io
import os
import re
import select
import shlex
import socket
import subprocess
import threading
import time

import pexpect
import pytest

# KNOCKBOX_BIN names the program; KNOCKBOX_RUNNER, when set, runs it (Wine's loader for the .exe).
RUNNER = shlex.split(os.environ.get("KNOCKBOX_RUNNER", ""))
BIN = os.environ.get("KNOCKBOX_BIN", os.path.join(os.path.dirname(__file__), "../../build/knockbox"))
UNDER_WINE = bool(RUNNER)

BANNER = b"KNOCKBOX 1.0 - TCP port connection tester"
ESTABLISHED = b"Connection established without errors."
CLOSING = b"Closing connection."
BYE = b"BYE\r\r\n"


def limit(native):
    """Seconds a run that takes `native` on Linux may take; Wine adds its own start-up."""
    return native * 2 + 20 if UNDER_WINE else native


def command(*args):
    return RUNNER + [BIN, *args]


def lines(*texts):
    return b"".join(t + b"\r\n" for t in texts)


def pause_line(seconds):
    return b"Pausing for %d seconds. Press the Escape key to abort." % seconds


def announcement(host, port):
    return b"Opening connection to %s (port %d) at HH:MM:SS on MM-DD-YYYY" % (host, port)


def probe_output(host, port, rest=b""):
    return lines(BANNER, announcement(host, port)) + rest


SUCCESS = lines(ESTABLISHED, CLOSING)

# An announcement's time and date, in range: hour 00-23, month 01-12 and so on.
CLOCK = re.compile(
    rb" at ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] on (0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])-[0-9]{4}"
)


def mask_clock(output):
    return CLOCK.sub(b" at HH:MM:SS on MM-DD-YYYY", output)


class Server:
    """Listens on 127.0.0.1 (port 0: the system chooses) and serves one connection at a time:
    runs `script(conn)`, whose result starts the transcript, then records everything the client
    sends until it closes. Every wait is bounded, and close() stops it all promptly."""

    def __init__(self, script=None, port=0):
        self.script = script
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.received = []
        self.served = threading.Semaphore(0)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopping.is_set():
            if not select.select([self.listener], [], [], 0.02)[0]:
                continue
            conn, _ = self.listener.accept()
            with conn:
                conn.settimeout(10)
                try:
                    got = (self.script(conn) if self.script else b"") or b""
                    got += receive_until_closed(conn)
                except OSError:
                    got = b"(connection failed)"
                self.received.append(got)
            self.served.release()
        self.listener.close()

    def wait_served(self, count=1, timeout=10):
        return all(self.served.acquire(timeout=timeout) for _ in range(count))

    def stop_listening(self):
        """Later connects are refused once the connection being served (if any) is done."""
        self.stopping.set()
        self.thread.join(10)

    close = stop_listening


def receive_until_closed(conn, timeout=10):
    data = b""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            chunk = conn.recv(65536)
        except socket.timeout:
            break
        if not chunk:
            break
        data += chunk
    return data


@pytest.fixture
def server():
    """server(script=None, port=0) starts a Server; all are closed when the test ends."""
    started = []

    def start(script=None, port=0):
        started.append(Server(script, port))
        return started[-1]

    yield start
    for s in started:
        s.close()


def refused_port():
    """A port on 127.0.0.1 that was bound and closed again: connects to it are refused."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run(*args, native_limit=5, **popen):
    """Runs the program to its end; returns the CompletedProcess (stdin /dev/null)."""
    return subprocess.run(command(*args), stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=limit(native_limit), **popen)


def spawn_in_terminal(*args, stdout_file=None, native_limit=10):
    """Starts the program in a pseudo-terminal: its controlling terminal, its keyboard and, under
    Wine, its console. With `stdout_file`, standard output goes to that file instead."""
    argv = command(*args)
    if stdout_file is not None:
        argv = ["/bin/sh", "-c", 'exec "$0" "$@" >"$KNOCKBOX_OUT"'] + argv
    env = dict(os.environ, KNOCKBOX_OUT=str(stdout_file or ""), TERM="xterm")
    child = pexpect.spawn(argv[0], argv[1:], env=env, timeout=limit(native_limit),
                          dimensions=(25, 120))
    child.logfile_read = io.BytesIO()
    return child


def finish(child):
    """Waits for a spawned run to end (within its time limit, else kills it); returns its exit
    code (None when killed) and everything its terminal showed."""
    end = time.monotonic() + child.timeout
    while child.isalive() and time.monotonic() < end:
        try:
            child.expect(pexpect.EOF, timeout=0.1)
        except pexpect.TIMEOUT:
            pass
    if child.isalive():
        child.terminate(force=True)
        return None, child.logfile_read.getvalue()
    # Wine's helper processes may hold the terminal open after the program has ended.
    try:
        child.expect(pexpect.EOF, timeout=0.5)
    except pexpect.TIMEOUT:
        pass
    return child.exitstatus, child.logfile_read.getvalue()
