# The Telnet port 23: the option request, the server's lines, and the end of the loop. Every test
# binds 127.0.0.1:23 itself, in the network namespace the tests run in.
import re
import socket
import time

from conftest import BYE, OPTION_REQUEST, SUCCESS, answer, lines, mask_clock, probe_output, run


# One probe of port 23 that must succeed: what follows "Negotiating connection", with the bare
# " + " lines standing right after it taken out and counted.
def telnet_probe(target, native_limit=5):
    done = run(target, native_limit=native_limit)
    assert done.returncode == 0, done
    head = probe_output(b"127.0.0.1", 23, lines(b"Negotiating connection"))
    out = mask_clock(done.stdout)
    assert out.startswith(head), out
    rest = out[len(head):]
    bare = len(re.match(rb"( \+ \r\n)*", rest).group(0)) // 5
    return rest[bare * 5:], bare


def test_the_option_request_comes_first_and_bye_last(server):
    s = server(answer(b"Welcome\r\n"), port=23)
    assert telnet_probe("127.0.0.1")[0] == lines(b" + Welcome") + SUCCESS
    assert s.wait_served() and s.received == [OPTION_REQUEST + BYE]


# Telnet commands, an empty line and a prompt without a line end: every line as it came (without
# its carriage returns), the prompt last.
def test_greeting_lines_and_a_prompt_are_shown_as_they_came(server):
    s = server(answer(b"\xff\xfb\x01\xff\xfb\x03Welcome\r\r\n\r\nlogin: "), port=23)
    rest, bare = telnet_probe("127.0.0.1:23")
    assert rest == lines(b" + \xff\xfb\x01\xff\xfb\x03Welcome", b" + ", b" + login: ") + SUCCESS
    assert bare <= 3


# A receive takes at most 65,536 bytes; the rest of the line comes with the next one.
def test_a_long_line_comes_in_two_pieces(server):
    server(answer(b"x" * 70000 + b"\r\n"), port=23)
    assert telnet_probe("127.0.0.1")[0] == lines(b" + " + b"x" * 65536, b" + " + b"x" * 4464) + SUCCESS


# The loop ends where the data that has arrived ends: a second piece that comes later is not shown.
def test_a_greeting_in_two_pieces_shows_the_first(server):
    def script(conn):
        request = conn.recv(6)
        conn.sendall(b"Line one\r\n")
        time.sleep(0.05)
        conn.sendall(b"Line two\r\n")
        return request
    server(script, port=23)
    assert telnet_probe("127.0.0.1")[0] == lines(b" + Line one") + SUCCESS


def test_a_delayed_answer_comes_after_bare_lines(server):
    server(answer(b"Hello\r\n", delay=0.6), port=23)
    rest, bare = telnet_probe("127.0.0.1")
    assert rest == lines(b" + Hello") + SUCCESS
    assert 3 <= bare <= 7  # about one receive every 105 ms


# A server that says nothing: the probe gives up after 30 receives that found nothing (about
# three seconds), and the port still counts as open.
def test_a_silent_server_is_left_after_30_empty_receives(server):
    seen = []
    s = server(lambda conn: (seen.append(time.monotonic()), conn.recv(6))[1], port=23)
    rest, bare = telnet_probe("127.0.0.1", native_limit=15)
    assert (rest, bare) == (SUCCESS, 30)
    assert s.wait_served() and s.received == [OPTION_REQUEST + BYE]
    assert 2.9 <= time.monotonic() - seen[0] <= 8


def test_a_server_that_closes_ends_the_loop_at_once(server):
    server(lambda conn: (conn.recv(6), conn.shutdown(socket.SHUT_WR))[0], port=23)
    assert telnet_probe("127.0.0.1") == (SUCCESS, 1)


def test_a_reset_connection_ends_the_loop_at_once(server):
    linger_zero = b"\x01\x00\x00\x00\x00\x00\x00\x00"  # close with a reset
    s = server(lambda conn: (conn.recv(6), conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                                           linger_zero), conn.close())[0], port=23)
    rest, bare = telnet_probe("127.0.0.1")
    assert rest == SUCCESS and 1 <= bare <= 4
    assert s.wait_served()
