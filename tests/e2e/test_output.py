# Where the program's lines go: closed and non-blocking standard output.
import os
import subprocess
import time

from conftest import BYE, SUCCESS, UNDER_WINE, command, limit, mask_clock, probe_output

OPTION_REQUEST = b"\xff\xfe\x01\xff\xfe\x03"


def test_closed_stdout_sends_nothing_into_the_connection(server):
    def greet(conn):
        request = conn.recv(6)
        conn.sendall(b"hello\r\n")
        return request

    for s, request in ((server(), b""), (server(greet, port=23), OPTION_REQUEST)):
        target = "127.0.0.1:%d" % s.port
        done = subprocess.run(command(target), stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                              preexec_fn=lambda: os.close(1), timeout=limit(10))
        assert done.returncode == 0, done.stderr
        assert s.wait_served() and s.received == [request + BYE]


def test_a_full_non_blocking_stdout_loses_no_line(server):
    s = server()
    read_end, write_end = os.pipe()
    os.set_blocking(write_end, False)
    filler = 0
    try:
        while True:
            filler += os.write(write_end, b"f" * 4096)
    except BlockingIOError:
        pass
    run = subprocess.Popen(command("127.0.0.1:%d" % s.port), stdin=subprocess.DEVNULL,
                           stdout=write_end, stderr=subprocess.DEVNULL)
    os.close(write_end)
    # Long enough for the program to meet the full pipe before anything is read from it.
    time.sleep(3 if UNDER_WINE else 0.5)
    with os.fdopen(read_end, "rb") as pipe:
        out = pipe.read()
    assert run.wait(timeout=limit(5)) == 0
    assert len(out) > filler and out[:filler] == b"f" * filler
    assert mask_clock(out[filler:]) == probe_output(b"127.0.0.1", s.port, SUCCESS)
