# One probe and the probe cycle: ports that answer, refuse or say nothing at all.
import signal
import socket
import subprocess
import time

from conftest import (BYE, SUCCESS, UNDER_WINE, announcement, command, expect_run, failure, lines,
                      limit, mask_clock, native_only, pause_line, probe_output, refused_port)


def test_an_open_port_succeeds_and_gets_only_bye_at_the_local_time(server):
    s = server()
    before = time.strftime("%m-%d-%Y").encode()
    done = expect_run(["127.0.0.1:%d" % s.port], 0, probe_output(b"127.0.0.1", s.port, SUCCESS))
    dates = {before, time.strftime("%m-%d-%Y").encode()}  # the run may cross midnight
    assert any(b" on " + date in done.stdout for date in dates), "local date, month first"
    assert s.wait_served() and s.received == [BYE]


# A refused port, a host that does not resolve, a port above 65535, a port that is no number (0),
# an empty host, an over-long one and the any-address (which Linux alone would take for the local
# machine) fail with 57; only the hexadecimal form reaches the server.
def test_the_port_text_is_read_as_a_number_and_only_a_usable_target_connects(server):
    s = server()
    expect_run(["127.0.0.1:&H%X&" % s.port], 0, probe_output(b"127.0.0.1", s.port, SUCCESS))
    # The over-long host is one that a resolver would read as 127.0.0.1.
    refused, long_host = refused_port(), b"127.0.0." + b"0" * 260 + b"1"
    for target, host, port in [(b"127.0.0.1:%d" % refused, b"127.0.0.1", refused),
                               (b"knockbox-e2e.invalid", b"knockbox-e2e.invalid", 23),
                               (b"127.0.0.1:%d" % (s.port + 65536), b"127.0.0.1", s.port + 65536),
                               (b"127.0.0.1:abc", b"127.0.0.1", 0), (b":%d" % s.port, b"", s.port),
                               (long_host + b":%d" % s.port, long_host, s.port),
                               (b"0.0.0.0:%d" % s.port, b"0.0.0.0", s.port),
                               (b"0:%d" % s.port, b"0", s.port)]:
        expect_run([target], 10, probe_output(host, port, failure(host, 57)))
    assert s.wait_served() and s.received == [BYE]


def test_a_loop_repeats_every_second_until_the_port_refuses(server):
    # The server stops listening as it takes the second connection, so the third is refused.
    s = server(lambda conn: len(s.started) == 2 and s.stop_listening())
    loop = subprocess.Popen(command("127.0.0.1:%d" % s.port, "1"), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE)
    out = loop.communicate(timeout=limit(10))[0]
    assert loop.returncode == 10
    again = SUCCESS + lines(pause_line(1), announcement(b"127.0.0.1", s.port))
    assert mask_clock(out) == probe_output(b"127.0.0.1", s.port,
                                           again * 2 + failure(b"127.0.0.1", 57))
    assert s.wait_served(2) and s.received == [BYE, BYE]
    assert 0.9 <= s.started[1] - s.started[0] <= (5 if UNDER_WINE else 3)


# A listener whose accept queue is full drops connection requests, as a firewall does. Two probes
# run side by side; one is stopped for a second after about 3 s (as Ctrl+Z and fg would), which
# must not stretch its 21 seconds.
@native_only
def test_a_connect_that_gets_no_answer_fails_after_21_seconds_even_when_stopped():
    with socket.socket() as listener, socket.socket() as queued:
        listener.bind(("127.0.0.1", 0))
        listener.listen(0)
        queued.connect(listener.getsockname())
        port, start, ends = listener.getsockname()[1], time.monotonic(), [0, 0]
        probes = [subprocess.Popen(command("127.0.0.1:%d" % port), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE) for _ in ends]
        # The announcement comes right before the connect.
        head = probe_output(b"127.0.0.1", port)
        assert mask_clock(probes[1].stdout.read(len(head))) == head
        for action, after in ((signal.SIGSTOP, 3), (signal.SIGCONT, 1)):
            time.sleep(after)
            probes[1].send_signal(action)
        while not all(ends) and time.monotonic() - start < 30:  # when each probe ends
            ends = [t or (p.poll() is not None and time.monotonic()) for t, p in zip(ends, probes)]
            time.sleep(0.05)
    for probe, end, out in zip(probes, ends, (head, b"")):
        assert (mask_clock(probe.stdout.read()), probe.returncode) == (
            out + failure(b"127.0.0.1", 57), 10)
        assert 20.5 <= end - start <= 24
