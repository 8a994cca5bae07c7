# The keyboard, the console echo and the terminal's settings, with the program in a
# pseudo-terminal: on Linux the terminal is its keyboard and its standard error; under Wine,
# Wine makes the terminal a real console.
import os
import platform
import re
import signal
import subprocess
import termios
import time

import pexpect
import pytest

from conftest import (BYE, OPTION_REQUEST, RUNNER, SANITIZED, SUCCESS, UNDER_WINE, announcement,
                      command, finish, lines, mask_clock, native_only, own_mounts, pause_line,
                      private_hosts, probe_output, spawn, spawn_in_terminal, stop_at_rest,
                      wait_until)

ESCAPE = "\x1b"


# A /dev holding nothing but the terminal, as a bare container's may: nothing can be opened on a
# closed standard descriptor at start-up (a mount namespace of its own).
ONLY_TTY_IN_DEV = ("mount -t tmpfs none /dev && mknod /dev/tty c 5 0",
                   "making a device node (mknod) needs root outside any user namespace")


# Keys typed ahead, before the program starts, are read one per poll, after each second of a
# pause: the letter and the arrow (which starts with the Escape byte and still is no Escape) take
# the first two pauses, and Escape ends the run in the third (under Wine, whose console hands
# over a lone Escape one poll late, the fourth). Each probe is announced once, the screen being
# standard output; with standard output closed, the echo alone shows the announcements, and the
# terminal opened as the keyboard must not take standard output's place, not even where no
# /dev/null can fill it.
@pytest.mark.parametrize("stdout, wrapper", [
    pytest.param("", (), id="stdout a terminal"), pytest.param(">&-", (), id="stdout closed"),
    pytest.param(">&-", ONLY_TTY_IN_DEV, marks=native_only, id="stdout closed, no /dev/null")])
def test_only_escape_ends_a_pause(server, stdout, wrapper):
    s = server()
    run = spawn_in_terminal("127.0.0.1:%d" % s.port, "1", shell=stdout, hold=True,
                            wrapper=own_mounts(*wrapper))
    run.send("\na\x1b[A" + ESCAPE)  # a letter and the up arrow before Escape
    status, screen = finish(run)
    probes = screen.count(b"Opening connection")
    assert (status, probes in (3, 4 if UNDER_WINE else 3)) == (1, True), screen
    assert screen.count(pause_line(1)) == (0 if stdout else probes) and s.wait_served(probes)
    assert s.received == [BYE] * probes


# A single probe of a Telnet server that says nothing, with standard output in a file: the probe
# gives up after 30 receives that found nothing (29 pauses of 100 ms between them: at least three
# seconds), and the port still counts as open. The announcement reaches the screen too, once, and
# no other line of the program does. The run reads no key, so it never changes the terminal's
# settings: a pager down the pipeline, or any other program, may hold them meanwhile. (Into a pipe
# even a repeating run leaves them alone.)
def test_a_probe_into_a_file_echoes_its_announcement_alone(server, tmp_path):
    s, out = server(lambda conn: conn.recv(6), port=23), tmp_path / "out.txt"
    run = spawn_in_terminal("127.0.0.1", shell=f'>"{out}"', hold=True)
    before, start = termios.tcgetattr(run.child_fd), time.monotonic()
    run.sendline("")
    run.expect_exact("Opening connection")  # the echo: the probe has begun
    assert UNDER_WINE or termios.tcgetattr(run.child_fd) == before
    status, screen = finish(run)
    assert status == 0 and time.monotonic() - start >= 2.9, screen
    assert mask_clock(out.read_bytes()) == probe_output(
        b"127.0.0.1", 23, lines(b"Negotiating connection") + b" + \r\n" * 30 + SUCCESS)
    assert s.wait_served() and s.received == [OPTION_REQUEST + BYE]
    shown = re.findall(rb"Opening connection to [^\r\n\x1b]*", mask_clock(screen))
    assert shown == [announcement(b"127.0.0.1", 23)], screen
    assert b"Connection" not in screen.replace(b"Opening connection", b"")


# Ctrl+Z puts the settings back while the job is stopped, and key-by-key mode comes back when it
# goes on. A burst of stops and continues (the program here leads an orphaned process group, as
# under tmux, so no stop takes effect) must not leave the program's own settings as the ones
# that Escape puts back; nor must a stop that cannot be caught, during which a shell would give the
# terminal its own settings back. That stop finds the program at rest, not in a stop handler,
# which would switch to key-by-key mode itself once continued.
def stops_then_escape(run, before, _):
    end = time.monotonic() + 1  # tens of thousands of pairs; some land inside the handler
    while time.monotonic() < end:
        os.kill(run.pid, signal.SIGTSTP)
        os.kill(run.pid, signal.SIGCONT)
    stop_at_rest(run.pid, run.isalive)
    termios.tcsetattr(run.child_fd, termios.TCSANOW, before)
    os.kill(run.pid, signal.SIGCONT)
    wait_until(lambda: not termios.tcgetattr(run.child_fd)[3] & termios.ICANON, "key-by-key mode")
    run.send(ESCAPE)


# While the program pauses the terminal reads key by key without echo, and Ctrl+C is an ordinary
# key when standard input is the terminal, or the console, however it delivers Ctrl+C (Wine's
# console raises the Ctrl+C event too); every way out puts the settings back as they were (a
# failed probe too: the allocation sweep of a terminal run).
@pytest.mark.parametrize("way_out, exit_status", [
    pytest.param("\x03" + ESCAPE, 1, id="Escape after Ctrl+C"),
    *[pytest.param(way, code, id=name, marks=native_only) for name, way, code in [
        *[(number.name, number, -number) for number in (signal.SIGTERM, signal.SIGHUP,
                                                        signal.SIGUSR1, signal.SIGALRM)],
        ("Ctrl+C, standard input redirected", "\x03", -signal.SIGINT),
        ("stops, then Escape", stops_then_escape, 1)]]])
def test_every_way_out_restores_the_terminal(server, way_out, exit_status):
    s, redirected = server(), way_out == "\x03"
    run = spawn_in_terminal("127.0.0.1:%d" % s.port, "1", shell="</dev/null" if redirected else "",
                            hold=True)
    before = termios.tcgetattr(run.child_fd)
    run.sendline("")
    run.expect_exact(pause_line(1))
    keys = termios.tcgetattr(run.child_fd)
    # Outside canonical mode Python gives MIN and TIME as numbers.
    keys[6] = [bytes([c]) if isinstance(c, int) else c for c in keys[6]]
    # Only what reading single keys needs changes: MIN and TIME, for one, stay as they were. (Wine's
    # console sets the terminal as it needs.)
    interrupt = before[6][termios.VINTR] if redirected else b"\x00"
    assert UNDER_WINE or keys == [
        *before[:3], before[3] & ~(termios.ICANON | termios.ECHO), *before[4:6],
        [interrupt if i == termios.VINTR else c for i, c in enumerate(before[6])]]
    if callable(way_out):
        way_out(run, before, s)
    else:
        run.send(way_out) if isinstance(way_out, str) else os.kill(run.pid, way_out)
    status, screen = finish(run)
    assert (status if status is not None else -run.signalstatus) == exit_status, screen
    assert UNDER_WINE or termios.tcgetattr(run.child_fd) == before


# A repeating run whose output goes into a pipe, or a socket pair as some shells join a pipeline,
# leaves the terminal to the program down the pipeline (a pager may hold it): its settings stay as
# they were, and Ctrl+C ends the pipeline as it ends any.
SOCKET_PAIR = ["/usr/bin/python3", "-c",
               "import signal, socket, subprocess, sys\n"
               "signal.signal(signal.SIGINT, signal.SIG_DFL); out, into = socket.socketpair()\n"
               "reader = subprocess.Popen(['cat'], stdin=into)\n"
               "run = subprocess.Popen(sys.argv[1:], stdout=out); out.close(); into.close()\n"
               "run.wait(); reader.wait()"]


@native_only
@pytest.mark.parametrize("joined_by", ["pipe", "socket pair"])
def test_a_repeating_run_into_a_pipe_leaves_the_terminal_alone(server, joined_by):
    run = spawn_in_terminal("127.0.0.1:%d" % server().port, "1", hold=True,
                            **({"shell": "| cat"} if joined_by == "pipe" else
                               {"wrapper": SOCKET_PAIR}))
    before = termios.tcgetattr(run.child_fd)
    run.sendline("")
    run.expect_exact(pause_line(1))
    assert termios.tcgetattr(run.child_fd) == before
    run.sendcontrol("c")
    status, screen = finish(run)
    assert (status, run.signalstatus) == (None, signal.SIGINT), screen
    assert termios.tcgetattr(run.child_fd) == before


# A stack overflow during a repeating run still puts the settings back, and the run ends by
# SIGSEGV as it would have (the sanitizer build reports it and ends with its own code). With a
# small stack and a large environment the first probe's lookup of localhost runs out of stack.
# Address randomisation is off, so that each size of environment gives the same run: the test
# takes the least stack limit of 64, 128 and 256 KiB under which the run pauses, then looks for
# the least size that keeps the run from its first pause, where the stack ran out latest.
# localhost comes from a private /etc/hosts where one can be had, else from the system's: a lookup
# that left the machine would go to a name server.
@native_only
@pytest.mark.skipif(bool(RUNNER), reason="an emulator runs on the same small stack and runs out "
                    "of it before the program has printed anything")
def test_a_stack_overflow_puts_the_terminal_back(server, tmp_path):
    no_randomisation = ["setarch", platform.machine(), "-R"]
    if subprocess.run([*no_randomisation, "true"], capture_output=True).returncode != 0:
        pytest.skip("address randomisation cannot be turned off here (setarch -R)")
    hosts = private_hosts(tmp_path, optional=True)
    system_hosts = open("/etc/hosts").read() if os.path.exists("/etc/hosts") else ""
    if hosts is None and not re.search(r"(?m)^[^#]*\slocalhost\b", system_hosts):
        pytest.skip("/etc/hosts names no localhost, and a private one needs a mount namespace: "
                    "run make test as root")
    target = "localhost:%d" % server().port

    def run_with_environment(size, stack_kib):
        shell = f'printf "ready\\n" >&2; read _; ulimit -s {stack_kib}; exec "$@"'
        run = spawn([*(hosts or ()), *no_randomisation, "/bin/sh", "-c", shell, "sh",
                     *command(target, "10")], FILLER="x" * size)
        run.expect_exact("ready")
        before = termios.tcgetattr(run.child_fd)
        run.sendline("")
        paused = run.expect_exact([pause_line(10), pexpect.EOF]) == 0
        run.send(ESCAPE)
        status, screen = finish(run)
        return paused, (status, run.signalstatus, termios.tcgetattr(run.child_fd) == before), screen

    stack_kib = next((kib for kib in (64, 128, 256) if run_with_environment(0, kib)[0]), None)
    assert stack_kib, "the run never paused, even on a 256 KiB stack"
    fits, overflows = 0, stack_kib * 1024
    while overflows - fits > 1:
        middle = (fits + overflows) // 2
        fits, overflows = ((middle, overflows) if run_with_environment(middle, stack_kib)[0] else
                           (fits, middle))
    _, outcome, screen = run_with_environment(overflows, stack_kib)
    assert outcome == ((1, None, True) if SANITIZED else (None, signal.SIGSEGV, True)), screen
    assert b"Opening connection" in screen, "the overflow came after the terminal was switched"
