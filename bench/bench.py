# make bench: Knockbox against `nc -z` and the least C program that does the job (bench/least.c),
# on loopback: a refused port, an open port and peak memory; and the static program against
# Knockbox and the least C program linked -static-pie. Prints tables of medians and the ratios
# against the goals. Usage: bench.py KNOCKBOX LEAST STATIC LEAST_STATIC [RUNS PER ROUND]
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile

KNOCKBOX, LEAST, STATIC, LEAST_STATIC = sys.argv[1:5]
RUNS = int(sys.argv[5]) if len(sys.argv) > 5 else 40
# Many short rounds, each timing every command in turn (in an order that rotates), so that the
# machine's drift hits all of them alike; the ratios are taken round by round.
ROUNDS = 15


def refused_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def hyperfine_medians(commands):
    """Each command's median wall seconds over all rounds, and the median over the rounds of
    each command's median divided by the first command's."""
    medians = {c: [] for c in commands}
    for round_number in range(ROUNDS):
        turn = round_number % len(commands)
        order = commands[turn:] + commands[:turn]
        with tempfile.NamedTemporaryFile(suffix=".json") as out:
            subprocess.run(["hyperfine", "-N", "-i", "--style", "none", "--warmup", "5",
                            "--runs", str(RUNS), "--export-json", out.name, *order],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for result in json.load(open(out.name))["results"]:
                medians[result["command"]].append(result["median"])
    first = medians[commands[0]]
    return [(statistics.median(medians[c]),
             statistics.median(m / f for m, f in zip(medians[c], first))) for c in commands]


def peak_kib(command, runs=21):
    """Median peak resident memory in KiB (GNU time's %M)."""
    peaks = []
    for _ in range(runs):
        done = subprocess.run(["/usr/bin/time", "-f", "%M", *command.split()],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        peaks.append(int(done.stderr.strip().splitlines()[-1]))
    return statistics.median(peaks)


listener = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "listener.py")],
                            stdout=subprocess.PIPE, text=True)
open_port = int(listener.stdout.readline())
closed = refused_port()
PROGRAMS = [f"{KNOCKBOX} 127.0.0.1:%d", "nc -z 127.0.0.1 %d", f"{LEAST} 127.0.0.1 %d",
            f"{STATIC} 127.0.0.1:%d", f"{LEAST_STATIC} 127.0.0.1 %d"]
try:
    kb_r, nc_r, least_r, st_r, least_st_r = hyperfine_medians([p % closed for p in PROGRAMS])
    kb_o, nc_o, least_o, st_o, least_st_o = hyperfine_medians([p % open_port for p in PROGRAMS])
    kb_m, nc_m, least_m, st_m, least_st_m = [peak_kib(p % closed) for p in PROGRAMS]
finally:
    listener.kill()


def verdict(ratio, goal):
    return f"{ratio:.2f}x (goal <= {goal:.2f}x: {'met' if ratio <= goal else 'MISSED'})"


def ms(timing):
    return f"{timing[0] * 1000:.2f} ms"


# A ratio between two commands: the median over the rounds of the ratio within each round.
def ratio(a, b):
    return a[1] / b[1]


print(f"wall time: medians of {ROUNDS} rounds of {RUNS} runs each (hyperfine), ratios taken round "
      "by round; peak memory: median of 21 runs (GNU time)")
print("| | knockbox | nc -z | least C program | knockbox / nc -z | knockbox / least |")
print("|---|---|---|---|---|---|")
print(f"| refused port | {ms(kb_r)} | {ms(nc_r)} | {ms(least_r)} "
      f"| {verdict(ratio(kb_r, nc_r), 0.85)} | {verdict(ratio(kb_r, least_r), 1.15)} |")
print(f"| open port (10 ms pause) | {ms(kb_o)} | {ms(nc_o)} (no pause) | {ms(least_o)} | - "
      f"| {verdict(ratio(kb_o, least_o), 1.02)} |")
print(f"| peak memory | {kb_m} KiB | {nc_m} KiB | {least_m} KiB "
      f"| {verdict(kb_m / nc_m, 1.0)} | - |")
print()
print("| | static program | knockbox | least C program, static | static / knockbox "
      "| static / least static |")
print("|---|---|---|---|---|---|")
print(f"| refused port | {ms(st_r)} | {ms(kb_r)} | {ms(least_st_r)} "
      f"| {verdict(ratio(st_r, kb_r), 0.85)} | {verdict(ratio(st_r, least_st_r), 1.10)} |")
print(f"| open port (10 ms pause) | {ms(st_o)} | {ms(kb_o)} | {ms(least_st_o)} "
      f"| {ratio(st_o, kb_o):.2f}x | {ratio(st_o, least_st_o):.2f}x |")
print(f"| peak memory | {st_m} KiB | {kb_m} KiB | {least_st_m} KiB | {st_m / kb_m:.2f}x "
      f"| {st_m / least_st_m:.2f}x |")
