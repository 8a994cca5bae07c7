# What the command line alone decides: the usage text, a target to probe, the loop time.
import pytest

from conftest import (BANNER, INVALID_LOOP_TIME, UNDER_WINE, USAGE, as_received, expect_run,
                      failure, lines, probe_output)

# What a user tries first; /? on Windows alone. Wine quotes an argument holding spaces, so under
# Wine the program would see the quotes.
@pytest.mark.parametrize("args", [[], ["?"], ["-h"], ["--help"]] + (
    [["/?"]] if UNDER_WINE else [["   "], ["", "?", " "]]), ids=repr)
def test_nothing_a_question_mark_or_help_prints_the_usage_text(args):
    expect_run(args, 0, lines(BANNER, *USAGE))


# --version prints the banner, which names the version. With more after them these words are
# targets like any other, and so are /? outside Windows, a tab and a question mark with more.
def test_the_usage_words_act_only_alone():
    expect_run(["--version"], 0, lines(BANNER))
    for target in [b"-h:23", b"--version:23", b"\t", b"?x"] + ([] if UNDER_WINE else [b"/?"]):
        host = as_received(target.split(b":")[0])
        expect_run([target], 10, probe_output(host, 23, failure(host, 57)))


# Out of range: 0.4 and 0.5 round to 0 (ties to even), &HFFFE is a 16-bit -2, three spaces collapse
# to two, leaving an empty second field; nothing is probed. In range, the cycle starts, and the
# target ends at the first space; against the refused Telnet port the first probe ends it. Two
# spaces collapse to one (Wine would quote them).
@pytest.mark.parametrize("loop_time, accepted", [
    (["0"], False), (["65535"], False), (["-3"], False), (["abc"], False), (["0.4"], False),
    (["0.5"], False), (["&HFFFE"], False), (["  5"], False), (["65534"], True), (["1.5"], True),
    (["65534.5"], True), (["&HFFFE&"], True), (["5", "x"], True)] + (
        [] if UNDER_WINE else [([" 5"], True)]), ids=repr)
def test_the_loop_time_is_checked_before_any_probe(server, loop_time, accepted):
    s = server()
    target = "127.0.0.1" if accepted else "127.0.0.1:%d" % s.port
    args = [target + " " + loop_time[0]] if loop_time[0].startswith(" ") else [target] + loop_time
    refused = probe_output(b"127.0.0.1", 23, failure(b"127.0.0.1", 57))
    out = refused if accepted else lines(BANNER, INVALID_LOOP_TIME)
    expect_run(args, 10 if accepted else 0, out)
    s.stop_listening()
    assert s.received == []
