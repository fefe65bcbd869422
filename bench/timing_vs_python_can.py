#!/usr/bin/python3
"""Korvel's player, periodic rows and log save beside python-can's, against the same virtual adapter.

Every case starts korvel-sim on a fresh pseudo-terminal; it notes the arrival time of every frame the host
sends (--arrivals). Korvel's side is build/bench/korvel_timing; python-can's is its slcan bus with
MessageSync (what its player does), send_periodic and CanutilsLogWriter, run in this process. Each figure
is the median of --runs runs; the load average is printed first, as the figures depend on it.

    bench/timing_vs_python_can.py --build build [--before build/before/korvel_timing] [--runs 3]

--before names a korvel_timing built from an older tree, measured in the same runs. Needs python3-can
and python3-serial (scripts/deps.sh installs both).
"""

import argparse
import json
import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import can

QUIET_SCENARIO = "vehicle none\n"


class Sim:
    """korvel-sim on a pseudo-terminal; arrivals() gives (microseconds, identifier) once it has stopped."""

    def __init__(self, sim_path, workdir, rate=0):
        self.arrivals_path = os.path.join(workdir, "arrivals.txt")
        scenario = os.path.join(workdir, "quiet.scn")
        with open(scenario, "w") as f:
            f.write(QUIET_SCENARIO)
        args = [sim_path, "--link", "", "--scenario", scenario, "--arrivals", self.arrivals_path]
        if rate:
            args += ["--rate", str(rate)]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.terminal = self.process.stdout.readline().strip()

    def stop(self):
        self.process.send_signal(2)
        self.process.wait(timeout=30)
        times = []
        with open(self.arrivals_path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2:
                    times.append((int(parts[0]), parts[1]))
        return times


def percentile(values, q):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(q * len(ordered)))] if ordered else float("nan")


def trace_lines(gaps_ms):
    """Tracer lines at 1.000 s plus the running sum of the gaps, and their times in milliseconds."""
    lines, times, t = [], [], 1000
    for gap in gaps_ms:
        lines.append("%02d.%03d 123      2 11 22" % (t // 1000 % 100, t % 1000))
        times.append(t)
        t += gap
    return lines, times


def replay_figures(arrivals, recorded_ms):
    got = [t for t, _ in arrivals]
    if len(got) != len(recorded_ms):
        return {"error": "%d of %d frames arrived" % (len(got), len(recorded_ms))}
    errors = [abs((got[i] - got[i - 1]) / 1000.0 - (recorded_ms[i] - recorded_ms[i - 1])) for i in range(1, len(got))]
    span = (got[-1] - got[0]) / 1000.0
    recorded = recorded_ms[-1] - recorded_ms[0]
    return {"span_error_ms": span - recorded, "mean_gap_error_ms": statistics.mean(errors),
            "p99_gap_error_ms": percentile(errors, 0.99)}


def korvel_replay(binary, sim_path, lines, recorded_ms, window):
    with tempfile.TemporaryDirectory() as workdir:
        trace = os.path.join(workdir, "trace.txt")
        with open(trace, "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        sim = Sim(sim_path, workdir)
        out = subprocess.run([binary, "replay", sim.terminal, trace] + (["--window"] if window else []),
                             capture_output=True, text=True, timeout=120).stdout
        time.sleep(0.3)
        figures = replay_figures(sim.stop(), recorded_ms)
        figures["cpu_s"] = json.loads(out.strip().splitlines()[-1])["cpu_s"]
        return figures


def python_can_bus(terminal):
    return can.Bus(interface="slcan", channel=terminal, bitrate=500000, sleep_after_open=0.2)


def python_can_replay(sim_path, lines, recorded_ms):
    with tempfile.TemporaryDirectory() as workdir:
        sim = Sim(sim_path, workdir)
        bus = python_can_bus(sim.terminal)
        messages = [can.Message(timestamp=t / 1000.0, arbitration_id=0x123, is_extended_id=False,
                                data=b"\x11\x22") for t in recorded_ms]
        start = time.process_time()
        # As its player does by default: the recorded timestamps, a gap of 0.1 ms at least.
        for message in can.MessageSync(messages, timestamps=True, gap=0.0001, skip=99999):
            bus.send(message)
        cpu = time.process_time() - start
        time.sleep(0.3)
        bus.shutdown()
        figures = replay_figures(sim.stop(), recorded_ms)
        figures["cpu_s"] = cpu
        return figures


def periodic_figures(arrivals, period_ms):
    per_row = {}
    for t, ident in arrivals:
        per_row.setdefault(ident, []).append(t)
    jitter, mean_errors = [], []
    period_us = period_ms * 1000.0
    for times in per_row.values():
        if len(times) < 3:
            continue
        mean = (times[-1] - times[0]) / (len(times) - 1)
        mean_errors.append(abs(mean - period_us) / period_us * 100.0)
        jitter += [abs(times[i] - times[i - 1] - period_us) / 1000.0 for i in range(1, len(times))]
    if not jitter:
        return {"error": "no row sent"}
    return {"median_jitter_ms": statistics.median(jitter), "p99_jitter_ms": percentile(jitter, 0.99),
            "mean_period_error_pct": max(mean_errors)}


def korvel_periodic(binary, sim_path, rows, period_ms, seconds, rate):
    with tempfile.TemporaryDirectory() as workdir:
        sim = Sim(sim_path, workdir, rate)
        out = subprocess.run([binary, "periodic", sim.terminal, str(rows), str(period_ms), str(seconds), "--window"],
                             capture_output=True, text=True, timeout=seconds + 120).stdout
        figures = periodic_figures(sim.stop(), period_ms)
        figures["cpu_s_per_20s"] = json.loads(out.strip().splitlines()[-1])["cpu_s"] * 20.0 / seconds
        return figures


def python_can_periodic(sim_path, rows, period_ms, seconds, rate):
    with tempfile.TemporaryDirectory() as workdir:
        sim = Sim(sim_path, workdir, rate)
        # The bus reads only when asked to; the stream arrives on the same terminal but is left unread.
        bus = python_can_bus(sim.terminal)
        start = time.process_time()
        tasks = [bus.send_periodic(can.Message(arbitration_id=0x100 + r, is_extended_id=False, data=b"\x11\x22"),
                                   period_ms / 1000.0) for r in range(rows)]
        time.sleep(seconds)
        for task in tasks:
            task.stop()
        cpu = time.process_time() - start
        bus.shutdown()
        figures = periodic_figures(sim.stop(), period_ms)
        figures["cpu_s_per_20s"] = cpu * 20.0 / seconds
        return figures


PYTHON_CAN_SAVE = """
import can, resource, sys
with can.CanutilsLogWriter(sys.argv[2]) as writer:
    start = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for i in range(int(sys.argv[1])):
        writer.on_message_received(can.Message(timestamp=1000.0 + i / 1000.0, arbitration_id=0x123,
                                               is_extended_id=False, data=bytes([i & 0xFF, 0x22])))
print('{"rss_before_kb": %d, "peak_rss_kb": %d}' % (start, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss))
"""


def save_figures(korvel_binary, frames):
    with tempfile.TemporaryDirectory() as workdir:
        trace = os.path.join(workdir, "trace.txt")
        with open(trace, "w", newline="") as f:
            for i in range(frames):
                t = 1000 + i
                f.write("%02d.%03d 123      2 %02X 22\r\n" % (t // 1000 % 100, t % 1000, i & 0xFF))
        out = subprocess.run([korvel_binary, "save", trace, os.path.join(workdir, "korvel.log")],
                             capture_output=True, text=True, timeout=600).stdout
        korvel = json.loads(out.strip().splitlines()[-1])
        out = subprocess.run([sys.executable, "-c", PYTHON_CAN_SAVE, str(frames), os.path.join(workdir, "pc.log")],
                             capture_output=True, text=True, timeout=600).stdout
        python_can = json.loads(out.strip().splitlines()[-1])
        grow = lambda f: (f["peak_rss_kb"] - f["rss_before_kb"]) / 1024.0
        return {"korvel_growth_mb": grow(korvel), "korvel_peak_mb": korvel["peak_rss_kb"] / 1024.0,
                "python_can_growth_mb": grow(python_can), "python_can_peak_mb": python_can["peak_rss_kb"] / 1024.0}


def medians(results):
    keys = [k for k in results[0] if isinstance(results[0][k], float)]
    out = {k: statistics.median(r[k] for r in results if k in r) for k in keys}
    errors = [r["error"] for r in results if "error" in r]
    if errors:
        out["errors"] = errors
    return out


def show(title, figures):
    print("%-44s %s" % (title, "  ".join("%s=%.4g" % (k, v) if isinstance(v, float) else "%s=%s" % (k, v)
                                          for k, v in figures.items())))
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--before", help="korvel_timing of an older tree")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=20.0, help="length of each periodic run")
    parser.add_argument("--only", choices=["replay", "periodic", "save"])
    args = parser.parse_args()
    sim_path = os.path.join(args.build, "sim", "korvel-sim")
    korvels = [("after", os.path.join(args.build, "bench", "korvel_timing"))]
    if args.before:
        korvels.insert(0, ("before", args.before))
    print("load average at start: %.2f %.2f %.2f; %d runs, medians" % (os.getloadavg() + (args.runs,)))

    if args.only in (None, "replay"):
        rng = random.Random(7)
        cases = [("1,000 lines, gaps 1-10 ms", [rng.randint(1, 10) for _ in range(1000)]),
                 ("2.0 s of 1 kHz frames", [1] * 2001)]
        for name, gaps in cases:
            lines, recorded = trace_lines(gaps)
            results = {}
            for _ in range(args.runs):
                for label, binary in korvels:
                    for window in (False, True):
                        key = "Korvel %s %s" % (label, "window" if window else "replay code")
                        results.setdefault(key, []).append(korvel_replay(binary, sim_path, lines, recorded, window))
                results.setdefault("python-can player", []).append(python_can_replay(sim_path, lines, recorded))
            print("replay, %s (recorded span %.3f s)" % (name, (recorded[-1] - recorded[0]) / 1000.0))
            for key, runs in results.items():
                show("  " + key, medians(runs))

    if args.only in (None, "periodic"):
        cases = [(1, 5000), (10, 5000), (1, 0)]
        for rows, rate in cases:
            results = {}
            for _ in range(args.runs):
                for label, binary in korvels:
                    results.setdefault("Korvel %s window" % label, []).append(
                        korvel_periodic(binary, sim_path, rows, 10, args.seconds, rate))
                results.setdefault("python-can send_periodic", []).append(
                    python_can_periodic(sim_path, rows, 10, args.seconds, rate))
            print("periodic, %d row(s) of 10 ms, %d frames/s streaming in, %.0f s" % (rows, rate, args.seconds))
            for key, runs in results.items():
                show("  " + key, medians(runs))

    if args.only in (None, "save"):
        show("save, 1,000,000 frames as a candump log", save_figures(korvels[-1][1], 1000000))


if __name__ == "__main__":
    main()
