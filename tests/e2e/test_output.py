# Where the program's lines go: a closed pipe, a closed or non-blocking standard output, a
# terminal. (Every run checks that a file or a pipe gets the exact bytes.)
import contextlib
import os
import subprocess
import time

from conftest import (BYE, OPTION_REQUEST, SUCCESS, UNDER_WINE, answer, command, finish, limit,
                      mask_clock, native_only, probe_output, refused_port, run, spawn_in_terminal)


# A write that fails neither changes the outcome nor costs the connection its closing line.
def test_a_closed_pipe_leaves_the_exit_code_to_the_outcome(server):
    s = server()
    for target, exit_code in (("127.0.0.1:%d" % s.port, 0), ("127.0.0.1:%d" % refused_port(), 10)):
        reader, writer = os.pipe()
        os.close(reader)
        assert run(target, stdout=writer).returncode == exit_code
        os.close(writer)
    assert s.wait_served() and s.received == [BYE]


# Closed, the descriptor would go to the socket, and the program's lines into the connection; so
# too in a container whose /dev has no null to open in its place (a mount namespace of its own).
WITHOUT_DEV_NULL = ["unshare", "-m", "sh", "-c",
                    'mount -t tmpfs none /dev && mkdir /dev/null && exec "$@"', "sh"]


def test_a_closed_stdout_sends_nothing_into_the_connection(server):
    cases = [([], server(), b""), ([], server(answer(b"hello\r\n"), port=23), OPTION_REQUEST)]
    for wrapper, s, request in cases + ([] if UNDER_WINE else [(WITHOUT_DEV_NULL, server(), b"")]):
        done = subprocess.run(wrapper + command("127.0.0.1:%d" % s.port), stdin=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, preexec_fn=lambda: os.close(1),
                              timeout=limit(10))
        assert done.returncode == 0, done.stderr
        assert s.wait_served() and s.received == [request + BYE]


def test_a_full_non_blocking_stdout_loses_no_line(server):
    s = server()
    read_end, write_end = os.pipe()
    os.set_blocking(write_end, False)
    filler = 0
    with contextlib.suppress(BlockingIOError):  # byte by byte, until not one more fits
        while True:
            filler += os.write(write_end, b"f")
    probe = subprocess.Popen(command("127.0.0.1:%d" % s.port), stdin=subprocess.DEVNULL,
                             stdout=write_end, stderr=subprocess.DEVNULL)
    os.close(write_end)
    # The pipe is full, not a byte fits; the program meets it well before it is read.
    time.sleep(3 if UNDER_WINE else 1)
    with os.fdopen(read_end, "rb") as pipe:
        out = pipe.read()
    assert probe.wait(timeout=limit(5)) == 0
    assert mask_clock(out) == b"f" * filler + probe_output(b"127.0.0.1", s.port, SUCCESS)


# On a terminal a server's control bytes are shown, never acted on: backspaces cannot rub out
# the " + " in front and pass the line off as the program's own.
@native_only
def test_a_terminal_shows_a_servers_control_bytes(server):
    server(answer(b"\b\b\bError connecting to 127.0.0.1 (Err:57)\x1b[2J\r\n"), port=23)
    status, screen = finish(spawn_in_terminal("127.0.0.1"))
    assert status == 0
    assert b" + ^H^H^HError connecting to 127.0.0.1 (Err:57)^[[2J\r\n" in screen.replace(b"\r\r\n", b"\r\n")
    assert screen.count(b"Opening connection to") == 1, "the announcement shows once"
