# One probe: ports that answer, refuse or say nothing at all.
import socket
import time

import pytest

from conftest import UNDER_WINE, lines, mask_clock, probe_output, run


def failure(host, number):
    return lines(b"Error connecting to %s (Err:%d)" % (host, number), b"Connection failed!")


@pytest.mark.skipif(UNDER_WINE, reason="the Windows build keeps the system's blocking connect")
def test_a_connect_that_gets_no_answer_fails_after_21_seconds():
    # A listener whose accept queue is full drops connection requests, as a firewall does.
    with socket.socket() as listener, socket.socket() as queued:
        listener.bind(("127.0.0.1", 0))
        listener.listen(0)
        port = listener.getsockname()[1]
        queued.connect(("127.0.0.1", port))
        start = time.monotonic()
        done = run("127.0.0.1:%d" % port, native_limit=30)
        took = time.monotonic() - start
    assert done.returncode == 10
    assert mask_clock(done.stdout) == probe_output(b"127.0.0.1", port, failure(b"127.0.0.1", 57))
    assert 20.5 <= took <= 25
