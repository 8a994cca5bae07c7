# The Telnet port 23: the option request, the server's lines, and the end of the loop. Every test
# binds 127.0.0.1:23 itself, in the network namespace the tests run in. (A silent server: the
# console test of a single probe.)
import os
import re
import select
import signal
import socket
import struct
import subprocess
import time

import pytest

from conftest import (BYE, OPTION_REQUEST, RUNNER, SANITIZED, STATIC, SUCCESS, UNDER_WINE, command,
                      limit, lines, listen, mask_clock, probe_output, receive_until_closed,
                      stop_at_rest, wait_until)

BARE = b" + \r\n"


# Waits until the program's end of the connection, as the system lists it, is in `state` with
# `queued` bytes to read (a FIN counts as one), or gone (state None: a reset ends it).
def wait_for_client(host, port, state, queued=0):
    table, address = ("tcp6", "0" * 24 + "01000000") if host == "::1" else ("tcp", "0100007F")

    def now():
        for fields in (line.split() for line in open(f"/proc/net/{table}").readlines()[1:]):
            if fields[1] == "%s:%04X" % (address, port):
                return int(fields[3], 16), int(fields[4].split(":")[1], 16)
    wait_until(lambda: now() == (state and (state, queued)), "what the server sent to arrive")


# Each line as it came, without its carriage returns: Telnet commands, an empty line, a prompt
# without a line end (last), a line longer than one receive takes (in two pieces). The loop ends
# where the data that has arrived ends after a read short of 64 KiB (one that filled the buffer
# exactly at a line's end is no end), or with the connection: a close shows the line it cut short,
# a reset discards it. The server answers after a bare line for a receive that found
# nothing, with the program stopped in a wait or a sleep, so what follows the stop is exactly what
# it sent. A target of [::1] alone gets the same over IPv6. (A stopped Wine program's place cannot
# be told: the server answers at once and bare lines may come before its lines; Wine reads a reset
# as a close.)
@pytest.mark.parametrize("reply, ending, shown, host", [
    (b"Welcome\r\n", None, [b" + Welcome"], "::1"),
    (b"\xff\xfb\x01\xff\xfb\x03Welcome\r\r\n\r\nlogin: ", None,
     [b" + \xff\xfb\x01\xff\xfb\x03Welcome", b" + ", b" + login: "], "127.0.0.1"),
    (b"x" * 70000 + b"\r\n", None, [b" + " + b"x" * 65536, b" + " + b"x" * 4464], "127.0.0.1"),
    pytest.param(b"x" * 65534 + b"\r\nnext\r\n", None, [b" + " + b"x" * 65534, b" + next"],
                 "127.0.0.1", marks=pytest.mark.skipif(
                     UNDER_WINE, reason="the server acts at once, and reads short of 64 KiB may "
                     "end the data sooner")),
    (b"login: ", "close", [b" + login: "], "127.0.0.1"),
    pytest.param(b"login: ", "reset", [b" + "], "127.0.0.1", marks=pytest.mark.skipif(
        UNDER_WINE, reason="Wine reads a reset as a close"))],
    ids=["greeting-over-ipv6", "commands-empty-line-prompt", "longer-than-one-receive", "full-read",
         "close", "reset"])
def test_the_servers_lines_are_shown_as_they_came(reply, ending, shown, host):
    target = b"[::1]" if host == "::1" else host.encode()
    with listen(23, host) as listener:
        listener.settimeout(limit(5))
        probe = subprocess.Popen(command(target), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        try:
            conn, peer = listener.accept()
            port = peer[1]
            conn.settimeout(10)
            request, before, fd = conn.recv(6), b"", probe.stdout.fileno()
            if not UNDER_WINE:
                while BARE not in before:
                    before += os.read(fd, 65536) or pytest.fail(f"the program ended: {before}")
                stop_at_rest(probe.pid, lambda: probe.poll() is None)
                before += os.read(fd, 65536) if select.select([fd], [], [], 0)[0] else b""
            conn.sendall(reply)
            if ending == "close":
                conn.shutdown(socket.SHUT_WR)
            elif ending == "reset":
                wait_for_client(host, port, 1, len(reply))
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                conn.close()
            if not UNDER_WINE:  # ESTABLISHED, CLOSE_WAIT
                wait_for_client(host, port, *{None: (1, len(reply)), "close": (8, len(reply) + 1),
                                        "reset": (None,)}[ending])
                probe.send_signal(signal.SIGCONT)
            rest = probe.communicate(timeout=limit(5))[0]
        finally:
            probe.kill()
        got = request + (b"" if ending == "reset" else receive_until_closed(conn))
    out = mask_clock(before + rest)  # the bare lines before the stop, or under Wine all of them
    head = probe_output(target, 23, lines(b"Negotiating connection"))
    bare = len(re.match(rb"( \+ \r\n)*", out[len(head):len(before) or None]).group(0)) // 5
    assert (probe.returncode, out) == (0, head + BARE * bare + lines(*shown) + SUCCESS)
    assert got == OPTION_REQUEST + (b"" if ending == "reset" else BYE)


# A server that never stops talking is left 30 seconds after the loop began: here a thousand lines
# at once, which the program shows one per receive, 100 ms apart (so 100 s of them). The limit is
# the same shared code everywhere: one native run of 30 s is enough.
@pytest.mark.skipif(bool(RUNNER) or SANITIZED or STATIC,
                    reason="the one 30-second run is the native one")
def test_a_server_that_keeps_talking_is_left_after_30_seconds():
    with listen(23) as listener:
        start = time.monotonic()
        probe = subprocess.Popen(command("127.0.0.1"), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE)
        try:
            listener.settimeout(limit(5))
            conn = listener.accept()[0]
            conn.recv(6)  # the option request
            conn.sendall(b"talking\r\n" * 1000)
            out = probe.communicate(timeout=limit(40))[0]
        finally:
            probe.kill()
        conn.close()
    assert time.monotonic() - start >= 30 and out.endswith(SUCCESS)
    assert 0 < out.count(b" + talking\r\n") < 1000
