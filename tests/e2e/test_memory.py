# Allocation failures, injected by a small LD_PRELOAD library (failing_malloc.c) that the test
# builds: every allocation of a run fails in turn, once; then memory runs out for good at each
# allocation, with the C++ runtime's emergency pool (its first allocation) missing as well, as
# when memory was short from the start. No run may end by a signal or write to standard error
# ("terminate called ..."): each ends with one of the program's own exit codes, and the lines
# that tell the outcome need no memory, so they are always there.
import concurrent.futures
import os
import re
import subprocess
import termios

import pytest

from conftest import (BANNER, RUNNER, SANITIZED, STATIC, SUCCESS, UNDER_WINE, answer, command,
                      finish, limit, lines, refused_port, spawn_in_terminal)

pytestmark = [
    pytest.mark.skipif(UNDER_WINE or STATIC, reason="LD_PRELOAD needs the loader of glibc"),
    pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator must come before any other "
                       "library's malloc"),
]

# Without memory for the command line no probe can be made: exit code 255, after the banner when
# start-up could copy the arguments.
UNPREPARED = [(255, b""), (255, lines(BANNER))]


@pytest.fixture(scope="module")
def failing_malloc(tmp_path_factory):
    compiler = "aarch64-linux-gnu-gcc" if any("aarch64" in part for part in RUNNER) else "cc"
    library = tmp_path_factory.mktemp("preload") / "failing_malloc.so"
    source = os.path.join(os.path.dirname(__file__), "failing_malloc.c")
    subprocess.run([compiler, "-O2", "-shared", "-fPIC", "-o", library, source], check=True,
                   timeout=120)
    return library


# The library and its settings (fail=N, run_out=N, count=FILE) as environment variables.
def failing(library, **settings):
    return dict(LD_PRELOAD=str(library), **{f"KNOCKBOX_{k.upper()}": str(v)
                                            for k, v in settings.items()})


# A run's exit code, standard output and standard error; on a terminal, what it shows is both.
def run_failing(library, args, terminal=False, **settings):
    env = failing(library, **settings)
    if terminal:
        code, screen = finish(spawn_in_terminal(*args, program_env=env))
        return code, screen.replace(b"\r\r\n", b"\r\n"), re.findall(b"terminate called", screen)
    done = subprocess.run(command(*args), env=dict(os.environ, **env), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=limit(10))
    return done.returncode, done.stdout, done.stderr


# Most of a run is waiting (for the server, a pause, qemu's start): runs go side by side.
def side_by_side(function, items):
    return list(concurrent.futures.ThreadPoolExecutor(8).map(function, items))


# Each run ends with 0 (the port accepted) or 10 (the probe failed, for want of memory or refused),
# the banner first and the outcome's lines last, or, without a command text, with 255; on a
# terminal too, whose lines go through the terminal filter. A Telnet loop whose receives find no
# memory ends as it ends for silence, within the run's limit. With no memory at all there is no
# command text either.
@pytest.mark.parametrize("target", ["open port", "Telnet port 23", "refused port, on a terminal"])
def test_any_allocation_of_a_probe_may_fail_once_or_for_good(failing_malloc, server, tmp_path,
                                                             target):
    telnet, terminal = target == "Telnet port 23", target.endswith("terminal")
    # A server's line longer than the inline room too: the line is handed on at its own size.
    s = server(answer(b"Welcome to the allocation sweep\r\nlogin: ") if telnet else None,
               port=23 if telnet else 0)
    # Every copy of a text longer than a string's inline room reaches the allocator: the target's
    # port comes with leading zeros, the Telnet target is a host alone (a lookup reads the leading
    # zeros of 127.0.0.0000000001 as octal).
    port = refused_port() if terminal else s.port
    args = ["127.0.0.0000000001" if telnet else "127.0.0.1:%010d" % port]
    code, out, errors = run_failing(failing_malloc, args, terminal, count=tmp_path / "count")
    assert code == (10 if terminal else 0) and not errors, out
    count = int((tmp_path / "count").read_text())
    settings = ([{"fail": n} for n in range(1, count + 1)] + [{"run_out": 1}] +
                [{"fail": 1, "run_out": n} for n in range(2, count + 2)])
    runs = side_by_side(lambda setting: run_failing(failing_malloc, args, terminal, **setting),
                        settings)
    for setting, (code, out, errors) in zip(settings, runs):
        assert code in (0, 10, 255) and not errors, (setting, code, out, errors)
        ending = SUCCESS if code == 0 else lines(b"Connection failed!")
        assert (out.startswith(lines(BANNER)) and out.endswith(ending) or
                (code, out) in UNPREPARED), (setting, out)


# A repeating run in a terminal with Escape typed ahead ends with 1 at the first pause, with 10
# when a failure failed its probe, or with 255 without a command line; every way out puts the
# terminal's settings back. A key lost to a failure would leave it probing until the server stops
# listening at its third connection, and the refused probe would tell.
def test_a_repeating_run_ended_by_escape_may_fail_any_allocation(failing_malloc, server,
                                                                  tmp_path):
    def escape_run(settings):
        s = server(lambda conn: len(s.started) == 3 and s.stop_listening())
        run = spawn_in_terminal("127.0.0.1:%010d" % s.port, "1", hold=True,
                                program_env=failing(failing_malloc, **settings))
        before = termios.tcgetattr(run.child_fd)
        run.send("\n\x1b")
        status, screen = finish(run)
        restored = termios.tcgetattr(run.child_fd) == before
        assert status in (1, 10, 255) and restored and b"terminate called" not in screen and (
            b"to 127.0.0.1 (Err:57)" not in screen), (settings, status, screen)
        return status

    assert escape_run({"count": tmp_path / "count"}) == 1
    count = int((tmp_path / "count").read_text())
    side_by_side(escape_run, [{"fail": n} for n in range(1, count + 1)])
