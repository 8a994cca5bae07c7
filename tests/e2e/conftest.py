# End-to-end test support: the program under test (the Linux program, or the .exe under Wine),
# loopback servers that record what the program sends, and the program's fixed texts.
import contextlib
import io
import os
import platform
import re
import shlex
import signal
import socket
import subprocess
import threading
import time

import pexpect
import pytest

# KNOCKBOX_BIN names the program; KNOCKBOX_RUNNER, when set, runs it: Wine's loader for the
# Windows .exe, or an emulator (qemu-aarch64-static) for a Linux program of another processor.
RUNNER = shlex.split(os.environ.get("KNOCKBOX_RUNNER", ""))
BIN = os.environ.get("KNOCKBOX_BIN", os.path.join(os.path.dirname(__file__), "../../build/knockbox"))
UNDER_WINE = BIN.lower().endswith(".exe")
native_only = pytest.mark.skipif(UNDER_WINE, reason="a POSIX terminal or descriptor case")
# The program built with AddressSanitizer, whose runtime must come first among its libraries; the
# static program, which loads no library (its build alone wraps the C library's getaddrinfo).
with open(BIN, "rb") as program:
    image = program.read()
    SANITIZED = not UNDER_WINE and b"__asan_init" in image
    STATIC = not UNDER_WINE and b"__wrap_getaddrinfo" in image

BANNER = b"KNOCKBOX 1.0 - TCP port connection tester"
BYE = b"BYE\r\r\n"
OPTION_REQUEST = b"\xff\xfe\x01\xff\xfe\x03"
INVALID_LOOP_TIME = b"Error: loop time is invalid. Accepted range is 1 to 65534 only."
USAGE = [b"", b"Syntax:", b"  KNOCKBOX <ip_address>[:<port>] [<looptime>]",
         b"This will connect to the IP address on the specified TCP port. If the",
         b"connection fails for any reason, the program will exit with ERRORLEVEL 10 set",
         b"so a batch file can detect the failure.", b"",
         b"If the optional loop time number is given, the program will internally pause",
         b"for the number of seconds specified and attempt another connection to the IP",
         b"address and TCP port number. The program will exit only when the connection",
         b"fails or when the Escape key is pressed. If the Escape key is pressed",
         b"EXITLEVEL 1 will be set to allow batch file detection."]


def lines(*texts):
    return b"".join(t + b"\r\n" for t in texts)


SUCCESS = lines(b"Connection established without errors.", b"Closing connection.")


def failure(host, number):
    return lines(b"Error connecting to %s (Err:%d)" % (host, number), b"Connection failed!")


def pause_line(seconds):
    return b"Pausing for %d seconds. Press the Escape key to abort." % seconds


def announcement(host, port):
    return b"Opening connection to %s (port %d) at HH:MM:SS on MM-DD-YYYY" % (host, port)


def probe_output(host, port, rest=b""):
    return lines(BANNER, announcement(host, port)) + rest


# An announcement's time and date, in range: hour 00-23, month 01-12 and so on.
CLOCK = re.compile(rb" at ([01][0-9]|2[0-3])(:[0-5][0-9]){2} on "
                   rb"(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])-[0-9]{4}")


def mask_clock(output):
    return CLOCK.sub(b" at HH:MM:SS on MM-DD-YYYY", output)


# Wine quotes an argument that holds a space or a tab when it builds the command line.
def as_received(arg):
    return b'"%s"' % arg if UNDER_WINE and (not arg or re.search(rb"[ \t]", arg)) else arg


# Seconds a run that takes `native` on Linux may take; Wine adds its own start-up, and an emulator
# translates the program's code as it first runs.
def limit(native):
    return native * 2 + 20 if UNDER_WINE else native * 2 if RUNNER else native


def command(*args):
    return RUNNER + [BIN, *args]


# Runs the program to its end (standard input /dev/null, output captured), under `wrapper`.
def run(*args, native_limit=5, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, wrapper=(),
        **popen):
    return subprocess.run([*wrapper, *command(*args)], stdin=stdin, stdout=stdout,
                          stderr=subprocess.PIPE, timeout=limit(native_limit), **popen)


def expect_run(args, exit_code, out, native_limit=5, wrapper=()):
    done = run(*args, native_limit=native_limit, wrapper=wrapper)
    assert (done.returncode, mask_clock(done.stdout)) == (exit_code, out), done.stderr
    assert UNDER_WINE or done.stderr == b"", "under Wine, Wine itself may write to standard error"
    return done


# A listener on 127.0.0.1 or `host` (port 0: the system chooses). A port that needs a privilege
# the machine does not give (23, outside a network namespace of the tests' own) skips the test; a
# port in use fails it.
def listen(port=0, host="127.0.0.1", backlog=64, **options):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    try:
        return socket.create_server((host, port), family=family, backlog=backlog, **options)
    except OSError as error:
        (pytest.skip if isinstance(error, PermissionError) else pytest.fail)(
            f"cannot bind {host} port {port} ({error}): run make test as root, or where user "
            "namespaces are allowed: it then runs the tests in a network namespace of their own")


# Closes a listener that serves nothing: true when no connection waited on it to be accepted (the
# system has made a connection before the client's connect returns).
def none_waiting(listener):
    listener.setblocking(False)
    with listener, contextlib.suppress(BlockingIOError):
        return not listener.accept()
    return True


# Listens on 127.0.0.1 or `host` and serves each connection as it comes: runs `script(conn)`,
# whose result starts the transcript, then records everything the client sends until it closes.
# Every wait is bounded.
class Server:
    def __init__(self, script=None, port=0, host="127.0.0.1"):
        self.listener = listen(port, host)
        self.port, self.script = self.listener.getsockname()[1], script
        self.received, self.started, self.served = [], [], threading.Semaphore(0)
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        with contextlib.suppress(OSError):  # no longer listening
            while True:
                conn, _ = self.listener.accept()
                self.started.append(time.monotonic())
                threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _handle(self, conn):
        with conn:
            conn.settimeout(10)
            try:
                got = (self.script(conn) if self.script else b"") or b""
                self.received.append(got + receive_until_closed(conn))
            except OSError:
                self.received.append(b"(connection failed)")
        self.served.release()

    def wait_served(self, count=1, timeout=10):
        return all(self.served.acquire(timeout=timeout) for _ in range(count))

    # Later connects are refused; a connection being served goes on.
    def stop_listening(self):
        if self.listener.fileno() != -1:
            self.listener.shutdown(socket.SHUT_RDWR)
            self.listener.close()


def receive_until_closed(conn):
    data = b""
    with contextlib.suppress(socket.timeout):
        while chunk := conn.recv(65536):
            data += chunk
    return data


# A server script: reads the Telnet option request and sends `reply`.
def answer(reply):
    return lambda conn: (conn.recv(6), conn.sendall(reply))[0]


# server(script=None, port=0) starts a Server; all stop listening when the test ends.
@pytest.fixture
def server():
    started = []
    yield lambda *args, **kwargs: started.append(Server(*args, **kwargs)) or started[-1]
    for s in started:
        s.stop_listening()


# A command that runs what follows in a mount namespace of its own, once `setup` has run there
# (none without). Where the machine does not give what that takes (`privilege`), the test is
# skipped, saying so, or, when the namespace is `optional`, the result is None.
def own_mounts(setup=None, privilege=None, optional=False):
    wrapper = ["unshare", "-m", "sh", "-c", f'{setup} && exec "$@"', "sh"] if setup else []
    if wrapper and subprocess.run([*wrapper, "true"], capture_output=True).returncode != 0:
        return None if optional else pytest.skip(f"{privilege}: run make test as root")
    return wrapper


# A port that was bound on both families and closed again: connects to it are refused.
def refused_port():
    with listen(0, "::", dualstack_ipv6=True) as s:
        return s.getsockname()[1]


# A wrapper that gives the program a private /etc/hosts (knockbox-v6.test on ::1, localhost and
# knockbox-both.test on 127.0.0.1 and ::1) in a mount namespace of its own. Wine's programs look
# names up in their own process, so it holds there too.
def private_hosts(folder, optional=False):
    (folder / "hosts").write_text("127.0.0.1 localhost knockbox-both.test\n"
                                  "::1 localhost knockbox-both.test knockbox-v6.test\n")
    return own_mounts(f"mount --bind {shlex.quote(str(folder / 'hosts'))} /etc/hosts",
                      "a private /etc/hosts needs a mount namespace", optional)


# Starts the program in a pseudo-terminal: its controlling terminal, its keyboard and, under
# Wine, its console. A shell runs it as `exec env ENV PROGRAM ARGS SHELL`: `program_env` holds
# variables for the program alone, `shell` redirections or a pipe into another command. With
# `hold`, the shell first prints "ready" on the terminal and waits for a line before it starts
# the program, so that the terminal can be looked at as it was before. `wrapper` is a command
# that runs all this.
def spawn_in_terminal(*args, shell="", hold=False, wrapper=(), program_env=None):
    assignments = " ".join(shlex.quote(f"{k}={v}") for k, v in (program_env or {}).items())
    script = f'exec env {assignments} "$@" {shell}'
    child = spawn([*wrapper, "/bin/sh", "-c", ('printf "ready\\n" >&2; read _; ' if hold else "")
                   + script, "sh", *command(*args)], TERM="xterm")
    if hold:
        child.expect_exact("ready")
    return child


# Runs `argv` in a pseudo-terminal of its own, recording what it shows, with `env` added to the
# environment. The program keeps a signal ignored that it was started with ignored (nohup does
# that): SIGHUP and SIGINT start with their default actions.
def spawn(argv, **env):
    child = pexpect.spawn(argv[0], argv[1:], env=dict(os.environ, **env), timeout=limit(10),
                          dimensions=(25, 120), preexec_fn=lambda: [signal.signal(
                              n, signal.SIG_DFL) for n in (signal.SIGHUP, signal.SIGINT)])
    child.logfile_read = io.BytesIO()
    return child


# Waits for a spawned run to end (within its time limit, else kills it); returns its exit
# code (None when killed) and everything its terminal showed.
# (Wine's helper processes may hold the terminal open after the program has ended.)
def finish(child):
    end = time.monotonic() + child.timeout
    while child.isalive() and time.monotonic() < end:
        child.expect([pexpect.EOF, pexpect.TIMEOUT], timeout=0.1)
    killed = child.isalive() and child.terminate(force=True)
    child.expect([pexpect.EOF, pexpect.TIMEOUT], timeout=0.5)
    return None if killed else child.exitstatus, child.logfile_read.getvalue()


# The host's system calls in which a program waits or sleeps (an emulator makes the same ones for
# the program it runs): ppoll, nanosleep, clock_nanosleep.
RESTING_CALLS = {"x86_64": {271, 35, 230}, "aarch64": {73, 101, 115}}


def stopped(pid):
    return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] == "T"


# Waits until `condition()` holds, within what a run may take for `seconds`.
def wait_until(condition, what, seconds=5):
    end = time.monotonic() + limit(seconds)
    while not condition():
        assert time.monotonic() < end, f"waited in vain for {what}"
        time.sleep(0.001)


# Stops a running program (`pid`, while `alive()`) in one of its waits or sleeps, where every line
# it has decided on is written and no signal handler is running: one stopped between a receive and
# its line would show that line after it goes on.
def stop_at_rest(pid, alive):
    for _ in range(100):
        os.kill(pid, signal.SIGSTOP)
        wait_until(lambda: stopped(pid) or not alive(), "a stop")
        assert alive(), "the program has ended"
        call = int(open(f"/proc/{pid}/syscall").read().split()[0])
        if call in RESTING_CALLS.get(platform.machine(), ()):
            return
        os.kill(pid, signal.SIGCONT)
        time.sleep(0.01)
    pytest.fail("the program was never caught in a wait or a sleep")
