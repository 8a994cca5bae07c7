# What the command line alone decides: the usage text, a target to probe, the loop time.
import pytest

from conftest import (BANNER, INVALID_LOOP_TIME, UNDER_WINE, USAGE, as_received, expect_run,
                      failure, lines, probe_output)

# What a user tries first; /? on Windows alone. Wine quotes an argument holding spaces, so under
# Wine the program would see the quotes.
USAGE_ARGS = [[], ["?"], ["-h"], ["--help"]] + (
    [["/?"]] if UNDER_WINE else [["   "], ["", "?", " "]])


@pytest.mark.parametrize("args", USAGE_ARGS, ids=repr)
def test_nothing_a_question_mark_or_help_prints_the_usage_text(args):
    expect_run(args, 0, lines(BANNER, *USAGE))


# The banner names the version. With more after them these are targets like any other, and so is
# /? outside Windows.
def test_version_prints_the_banner_alone_and_more_text_is_a_target():
    expect_run(["--version"], 0, lines(BANNER))
    for target, host in [(b"-h:23", b"-h"), (b"--version:23", b"--version")] + (
            [] if UNDER_WINE else [(b"/?", b"/?")]):
        expect_run([target], 10, probe_output(host, 23, failure(host, 57)))


@pytest.mark.parametrize("arg", [b"\t", b"?x"])
def test_a_tab_or_a_question_mark_with_more_is_probed_as_a_host(arg):
    host = as_received(arg)
    expect_run([arg], 10, probe_output(host, 23, failure(host, 57)))


# 0.4 and 0.5 round to 0 (ties to even); &HFFFE is a 16-bit -2; three spaces collapse to two,
# leaving an empty second field.
@pytest.mark.parametrize("loop_time", [["0"], ["65535"], ["-3"], ["abc"], ["0.4"], ["0.5"],
                                       ["&HFFFE"], ["  5"]], ids=repr)
def test_a_loop_time_out_of_range_is_rejected_without_a_probe(server, loop_time):
    s = server()
    target = "127.0.0.1:%d" % s.port
    args = [target + " " + loop_time[0]] if loop_time[0].startswith(" ") else [target] + loop_time
    expect_run(args, 0, lines(BANNER, INVALID_LOOP_TIME))
    s.stop_listening()
    assert s.received == []


# An accepted loop time starts the cycle, and the target ends at the first space; against the
# refused Telnet port the first probe ends it. Two spaces collapse to one (Wine would quote them).
@pytest.mark.parametrize("loop_time", [["65534"], ["1.5"], ["65534.5"], ["&HFFFE&"], ["5", "x"]]
                         + ([] if UNDER_WINE else [[" 5"]]), ids=repr)
def test_a_loop_time_in_range_starts_the_probe_cycle(loop_time):
    expect_run(["127.0.0.1"] + loop_time, 10,
               probe_output(b"127.0.0.1", 23, failure(b"127.0.0.1", 57)))
