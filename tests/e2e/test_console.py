# The keyboard and the console echo, with the program in a pseudo-terminal: on Linux the terminal
# is its keyboard and its standard error; under Wine, Wine makes the terminal a real console.
import re
import time

from conftest import (SUCCESS, announcement, finish, lines, limit, mask_clock, pause_line,
                      probe_output, spawn_in_terminal)

ESCAPE = "\x1b"
UP = "\x1b[A"


def test_escape_during_a_pause_ends_the_run_with_exit_code_1(server):
    s = server()
    run = spawn_in_terminal("127.0.0.1:%d" % s.port, "10")
    run.expect_exact(pause_line(10))
    run.send(ESCAPE)
    sent = time.monotonic()
    status, screen = finish(run)
    assert status == 1, screen
    # Escape is read at the end of the current one-second sleep.
    assert time.monotonic() - sent < limit(1.5)
    assert screen.count(b"Opening connection") == 1
    assert s.wait_served() and s.received == [b"BYE\r\r\n"]


def test_other_keys_are_read_and_ignored(server):
    s = server()
    run = spawn_in_terminal("127.0.0.1:%d" % s.port, "1")
    run.expect_exact(pause_line(1))
    # One key per poll: the letter and the arrow take the first two pauses, so the run goes on
    # to a third. An arrow key starts with the Escape byte and still is no Escape.
    run.send("a" + UP)
    for _ in range(2):
        run.expect_exact(pause_line(1))
    run.send(ESCAPE)
    status, screen = finish(run)
    assert status == 1, screen
    assert s.wait_served(3)


def test_announcement_reaches_the_screen_when_stdout_is_a_file(server, tmp_path):
    s = server()
    out = tmp_path / "out.txt"
    run = spawn_in_terminal("127.0.0.1:%d" % s.port, stdout_file=out)
    status, screen = finish(run)
    assert status == 0, screen
    assert mask_clock(out.read_bytes()) == probe_output(b"127.0.0.1", s.port, SUCCESS)
    # The screen shows the announcement once, and no other line of the program.
    shown = re.findall(rb"Opening connection to [^\r\n\x1b]*", mask_clock(screen))
    assert shown == [announcement(b"127.0.0.1", s.port)], screen
    assert b"Connection" not in screen.replace(b"Opening connection", b"")
