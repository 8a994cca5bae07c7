# Where the program's lines go: a closed pipe, a closed standard output, a terminal. (Every run
# checks that a file or a pipe gets the exact bytes; a full non-blocking pipe: the socket test.)
import os
import subprocess

from conftest import (BYE, UNDER_WINE, answer, command, finish, limit, native_only, own_mounts,
                      refused_port, run, spawn_in_terminal)


# Lines that cannot be written change neither the outcome nor what the connection gets: into a
# closed pipe, or with standard output closed, whose descriptor the socket must not take (the
# lines would go into the connection), not even in a container whose /dev has no null to open in
# its place (a mount namespace of its own).
WITHOUT_DEV_NULL = ("mount -t tmpfs none /dev && mkdir /dev/null",
                    "a mount namespace of its own needs root, or user namespaces")


def test_lines_that_cannot_be_written_change_neither_the_outcome_nor_the_connection(server):
    reader, closed_pipe = os.pipe()
    os.close(reader)
    assert run("127.0.0.1:%d" % refused_port(), stdout=closed_pipe).returncode == 10
    pipe, closed = {"stdout": closed_pipe}, {"preexec_fn": lambda: os.close(1)}
    cases = [(pipe, ()), (closed, ())] + ([] if UNDER_WINE else [(closed, WITHOUT_DEV_NULL)])
    for popen, mounts in cases:
        s = server()
        done = subprocess.run([*own_mounts(*mounts), *command("127.0.0.1:%d" % s.port)],
                              stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                              timeout=limit(10), **popen)
        assert done.returncode == 0, done.stderr
        assert s.wait_served() and s.received == [BYE]


# On a terminal a server's control bytes are shown, never acted on: backspaces cannot rub out
# the " + " in front and pass the line off as the program's own. A line longer than one write
# (its shown form past 4 KiB) arrives whole.
@native_only
def test_a_terminal_shows_a_servers_control_bytes(server):
    server(answer(b"\b\b\bError connecting to 127.0.0.1 (Err:57)\x1b[2J" + b"\1" * 3000 + b"\r\n"),
           port=23)
    status, screen = finish(spawn_in_terminal("127.0.0.1"))
    assert status == 0
    assert b" + ^H^H^HError connecting to 127.0.0.1 (Err:57)^[[2J" + b"^A" * 3000 + b"\r\n" in (
        screen.replace(b"\r\r\n", b"\r\n"))
    assert screen.count(b"Opening connection to") == 1, "the announcement shows once"
