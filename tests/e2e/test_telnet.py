# The Telnet port 23: the option request, the server's lines, and the end of the loop. Every test
# binds 127.0.0.1:23 itself, in the network namespace the tests run in.
import re
import socket
import time

import pytest

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


# Every line as it came, without its carriage returns: Telnet commands, an empty line, a prompt
# without a line end (last), a line longer than one receive takes (in two pieces). The loop ends
# where the data that has arrived ends; an answer that comes late follows bare lines, about one
# for each receive every 105 ms.
@pytest.mark.parametrize("reply, delay, shown, least_bare", [
    (b"Welcome\r\n", 0, [b" + Welcome"], 0),
    (b"\xff\xfb\x01\xff\xfb\x03Welcome\r\r\n\r\nlogin: ", 0,
     [b" + \xff\xfb\x01\xff\xfb\x03Welcome", b" + ", b" + login: "], 0),
    (b"x" * 70000 + b"\r\n", 0, [b" + " + b"x" * 65536, b" + " + b"x" * 4464], 0),
    (b"Hello\r\n", 0.6, [b" + Hello"], 2)],
    ids=["greeting", "commands-empty-line-prompt", "longer-than-one-receive", "late-answer"])
def test_the_servers_lines_are_shown_as_they_came(server, reply, delay, shown, least_bare):
    s = server(answer(reply, delay), port=23)
    rest, bare = telnet_probe("127.0.0.1:23" if delay else "127.0.0.1")
    assert rest == lines(*shown) + SUCCESS and least_bare <= bare < 30
    assert s.wait_served() and s.received == [OPTION_REQUEST + BYE]


# A server that says nothing: the probe gives up after 30 receives that found nothing (29 pauses
# of 100 ms between them: at least three seconds), and the port still counts as open.
def test_a_silent_server_is_left_after_30_empty_receives(server):
    s = server(lambda conn: conn.recv(6), port=23)
    start = time.monotonic()
    rest, bare = telnet_probe("127.0.0.1", native_limit=15)
    assert (rest, bare) == (SUCCESS, 30)
    assert 2.9 <= time.monotonic() - start <= 15
    assert s.wait_served() and s.received == [OPTION_REQUEST + BYE]


# A server that closes its side, or resets the connection, as soon as the option request has
# come (a reset any sooner could fail the connect itself under Wine): the loop ends with one bare
# line for the close, after a few more if the server was slow to act (a silent server would hold
# it for 30).
def test_a_server_that_closes_or_resets_ends_the_loop_at_once(server):
    linger_zero = b"\x01\x00\x00\x00\x00\x00\x00\x00"
    for close in (lambda conn: conn.shutdown(socket.SHUT_WR),
                  lambda conn: (conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger_zero),
                                conn.close())):
        s = server(lambda conn: (conn.recv(6), close(conn))[0], port=23)
        rest, bare = telnet_probe("127.0.0.1")
        assert rest == SUCCESS and 1 <= bare <= 10
        assert s.wait_served()
        s.stop_listening()
