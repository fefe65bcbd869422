#!/usr/bin/env python3
"""Checks Korvel's candump logs and ASC files against python-can, a reader and writer nobody here wrote.

usage: peerCheck.py <korvel-logtool> <log|asc> <work folder>

1. Korvel writes: a Tracer text whose times wrap at 60 s is saved by Korvel; python-can must read the same
   identifiers, kinds, lengths, data and time spacing, the times growing across every wrap.
2. Korvel reads: python-can writes frames (with an error frame and a CAN FD frame among them); Korvel must
   load every classic frame the same way, keep the spacing modulo the Tracer's minute, and count the two
   others as not loaded.
"""

import os
import random
import subprocess
import sys

try:
    import can
except ImportError:
    sys.exit("python-can is missing: install the Debian package python3-can (scripts/deps.sh does)")

PERIOD_MS = 60000


def tracer_line(time_ms, can_id, extended, remote, dlc, data):
    time_text = f"{time_ms // 1000:02d}.{time_ms % 1000:03d}"
    id_text = f"{can_id:08X}" if extended else f"{can_id:03X}"
    data_text = "RTR" if remote else " ".join(f"{b:02X}" for b in data)
    return f"{time_text} {id_text:<9}{dlc} {data_text:<24}\r\n"


def random_frames(rng, count):
    frames = []
    for _ in range(count):
        extended = rng.random() < 0.4
        remote = rng.random() < 0.15
        dlc = rng.randint(0, 8)
        can_id = rng.randint(0, 0x1FFFFFFF if extended else 0x7FF)
        data = b"" if remote else bytes(rng.randint(0, 255) for _ in range(dlc))
        frames.append((can_id, extended, remote, dlc, data))
    return frames


def run_tool(tool, *args):
    done = subprocess.run([tool, *args], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"korvel-logtool {' '.join(args)} failed: {done.stderr}")
    return dict(item.split("=") for item in done.stdout.split())


def read_with_python_can(path, fmt):
    reader = can.CanutilsLogReader(path) if fmt == "log" else can.ASCReader(path)
    return list(reader)


def check(condition, text):
    if not condition:
        sys.exit("FAIL: " + text)


def korvel_writes(tool, fmt, folder, rng):
    frames = random_frames(rng, 300)
    # Gaps from none to 20 s, so the Tracer's field wraps many times.
    gaps = [0] + [rng.choice([0, 1, 7, 250, 999, 5000, 20000]) for _ in frames[1:]]
    unwrapped = []
    total = 58000
    for gap in gaps:
        total += gap
        unwrapped.append(total)
    tracer = "".join(tracer_line(t % PERIOD_MS, *f) for t, f in zip(unwrapped, frames))
    tracer_path = os.path.join(folder, "korvel.tracer")
    log_path = os.path.join(folder, "korvel." + fmt)
    with open(tracer_path, "w", newline="") as out:
        out.write(tracer)
    counts = run_tool(tool, "save", tracer_path, log_path)
    check(counts == {"frames": "300", "skipped": "0"}, f"Korvel saved {counts}")

    messages = read_with_python_can(log_path, fmt)
    check(len(messages) == len(frames), f"python-can read {len(messages)} of {len(frames)} frames")
    first = messages[0].timestamp
    for n, (msg, (can_id, extended, remote, dlc, data), t) in enumerate(zip(messages, frames, unwrapped)):
        where = f"frame {n}: {msg}"
        check(msg.arbitration_id == can_id, where + " identifier")
        check(msg.is_extended_id == extended, where + " extended")
        check(msg.is_remote_frame == remote, where + " remote")
        check(not msg.is_error_frame and not msg.is_fd, where + " kind")
        # python-can reads a candump remote frame's length only when one is written, which Korvel does.
        check(msg.dlc == dlc, where + f" length {msg.dlc} != {dlc}")
        check(bytes(msg.data) == data, where + " data")
        check(abs((msg.timestamp - first) - (t - unwrapped[0]) / 1000.0) < 1e-6, where + " time spacing")
    print(f"Korvel wrote {len(frames)} frames; python-can read them alike")


def korvel_reads(tool, fmt, folder, rng):
    frames = random_frames(rng, 300)
    log_path = os.path.join(folder, "python-can." + fmt)
    writer = can.CanutilsLogWriter(log_path) if fmt == "log" else can.ASCWriter(log_path)
    stamp = 1700000000.0 + rng.random() * 1000
    stamps = []
    for n, (can_id, extended, remote, dlc, data) in enumerate(frames):
        stamp += rng.choice([0.0, 0.000123, 0.0015, 0.25, 3.0, 45.5])
        stamps.append(stamp)
        writer.on_message_received(can.Message(timestamp=stamp, arbitration_id=can_id, is_extended_id=extended,
                                               is_remote_frame=remote, dlc=dlc, data=None if remote else data))
        if n == 100:
            writer.on_message_received(can.Message(timestamp=stamp, is_error_frame=True))
            writer.on_message_received(can.Message(timestamp=stamp, arbitration_id=0x123, is_fd=True,
                                                   data=bytes(range(12))))
    writer.stop()

    tracer_path = os.path.join(folder, "python-can.tracer")
    counts = run_tool(tool, "load", log_path, tracer_path)
    check(counts["frames"] == "300" and counts["error"] == "1" and counts["fd"] == "1"
          and counts["unreadable"] == "0" and counts["events"] == "0" and counts["jumps"] == "0",
          f"Korvel loaded {counts}")

    # The times python-can wrote, as the file holds them.
    written = [m.timestamp for m in read_with_python_can(log_path, fmt) if not m.is_error_frame and not m.is_fd]
    with open(tracer_path, newline="") as text:
        lines = text.read().split("\r\n")[:-1]
    check(len(lines) == len(frames), f"Korvel's Tracer holds {len(lines)} lines")
    previous = None
    for n, (line, (can_id, extended, remote, dlc, data), t) in enumerate(zip(lines, frames, written)):
        where = f"line {n}: {line!r}"
        fields = line.split()
        seconds, id_text, dlc_text = fields[0], fields[1], fields[2]
        check(len(id_text) == (8 if extended else 3) and int(id_text, 16) == can_id, where + " identifier")
        check(fields[3:4] == ["RTR"] if remote else bytes(int(b, 16) for b in fields[3:3 + dlc]) == data,
              where + " data")
        # python-can's candump writer drops a remote frame's length; its ASC writer keeps it.
        check(int(dlc_text) == (0 if remote and fmt == "log" else dlc), where + " length")
        time_ms = int(seconds.replace(".", ""))
        expected = (int(t * 1e6) + 500) // 1000 % PERIOD_MS
        check(abs(time_ms - expected) <= 1, where + f" time {time_ms} != {expected}")
        if previous is not None:
            gap = (time_ms - previous[0]) % PERIOD_MS
            check(abs(gap - round((t - previous[1]) * 1000)) <= 1, where + " time spacing")
        previous = (time_ms, t)
    print(f"python-can wrote {len(frames)} frames; Korvel loaded them alike")


def main():
    tool, fmt, folder = sys.argv[1:4]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(20261208)
    print("python-can", can.__version__)
    korvel_writes(tool, fmt, folder, rng)
    korvel_reads(tool, fmt, folder, rng)


if __name__ == "__main__":
    main()
