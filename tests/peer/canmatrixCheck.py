#!/usr/bin/env python3
"""Korvel's signal decoding and encoding checked against canmatrix, a DBC reader nobody here wrote.

  canmatrixCheck.py KORVEL_DECODE WORKDIR [REAL_DBC_DIR]

Random databases covering every signal kind (both byte orders, signed, 1 to 64 bits, float and double,
factors and offsets, value tables, simple and extended multiplexing) and random frames of every message are
decoded by korvel-decode and by canmatrix: the present signals and their values must agree (exact for
whole-number scales, 1e-9 relative otherwise). Then values encoded by korvel-decode --encode are decoded by
canmatrix. The same runs over the real databases in REAL_DBC_DIR when that folder exists. First, the three
input formats must decode alike and unreadable input must fail with a message.

Lines canmatrix itself cannot read are listed as notes, and the messages they touch are left out of the
comparison rather than counted against either side.
"""

import decimal
import json
import os
import random
import struct
import subprocess
import sys

import canmatrix
import canmatrix.formats

decimal.getcontext().prec = 60
D = decimal.Decimal

FACTORS = ["1", "1", "2", "-3", "0.5", "0.1", "0.0062", "1e-05", "-0.25", "100", "0.333333"]
OFFSETS = ["0", "0", "-40", "1000", "-67.67", "0.5", "12345"]


class Sig:
    def __init__(self, name, start, length, intel, signed, factor, offset):
        self.name, self.start, self.length, self.intel = name, start, length, intel
        self.signed, self.factor, self.offset = signed, factor, offset
        self.kind = 0  # 0 integer, 1 float, 2 double
        self.mux = ""  # "", "M", "m<n>", "m<n>M"
        self.switch = None  # the switch's name for SG_MUL_VAL_
        self.ranges = []  # [(from, to)] of that switch
        self.values = {}

    def line(self):
        mux = (" " + self.mux) if self.mux else ""
        return ' SG_ %s%s : %d|%d@%d%s (%s,%s) [0|0] "" ECU' % (
            self.name, mux, self.start, self.length, 1 if self.intel else 0, "-" if self.signed else "+",
            self.factor, self.offset)


def bits_of(intel, start, length):
    """The frame bits (byte * 8 + bit) a signal covers, or None when it leaves eight bytes."""
    if intel:
        covered = list(range(start, start + length))
    else:
        msb = (start // 8) * 8 + 7 - start % 8
        covered = [(q // 8) * 8 + 7 - q % 8 for q in range(msb, msb + length)]
        if msb + length > 64:
            return None
    return covered if max(covered) < 64 else None


def place(rng, used, size, length, intel):
    for _ in range(200):
        if intel:
            start = rng.randrange(0, size * 8 - length + 1)
        else:
            msb = rng.randrange(0, size * 8 - length + 1)
            start = (msb // 8) * 8 + 7 - msb % 8
        covered = bits_of(intel, start, length)
        if covered and not used.intersection(covered) and max(covered) < size * 8:
            used.update(covered)
            return start
    return None


def random_signal(rng, name, used, size, length=None, scaled=True):
    intel = rng.random() < 0.5
    kind = 0
    if length is None:
        roll = rng.random()
        if roll < 0.12:
            kind, length = 1, 32
        elif roll < 0.2:
            kind, length = 2, 64
        else:
            length = rng.choice([1, 2, 3, 4, 7, 8, 11, 12, 16, 16, 20, 24, 31, 32, 33, 40, 48, 53, 63, 64])
    if length > size * 8:
        kind, length = 0, size * 8
    start = place(rng, used, size, length, intel)
    if start is None:
        return None
    s = Sig(name, start, length, intel, rng.random() < 0.5, rng.choice(FACTORS) if scaled else "1",
            rng.choice(OFFSETS) if scaled else "0")
    s.kind = kind
    if kind == 0 and length <= 16 and rng.random() < 0.3:
        for raw in ([-1, 0, 1] if s.signed and length > 1 else [0, 1, 2]):
            s.values[raw] = "V%s_%d" % (name, raw + 1)
    return s


def random_message(rng, index, ident, extended):
    size = rng.choice([8, 8, 8, 8, 1, 2, 3, 4, 5, 6, 7])
    style = rng.choice(["plain", "plain", "mux", "extmux"])
    used = set()
    signals = []
    name = "Msg%d" % index
    pages = []
    if style != "plain" and size >= 2:
        top = random_signal(rng, name + "_Sw", used, size, length=rng.choice([1, 2, 3]), scaled=False)
        top.signed = False
        top.mux = "M"
        signals.append(top)
        values = list(range(1 << top.length))
        if style == "extmux" and size >= 4:
            sub = random_signal(rng, name + "_Sub", used, size, length=2, scaled=False)
            if sub:
                sub.signed = False
                v = rng.choice(values)
                sub.mux = "m%dM" % v
                sub.switch, sub.ranges = top.name, [(v, v)]
                signals.append(sub)
                for k in range(rng.randrange(1, 4)):
                    leaf = random_signal(rng, "%s_L%d" % (name, k), used, size)
                    if leaf:
                        low = rng.randrange(0, 4)
                        high = rng.randrange(low, 4)
                        leaf.mux = "m%d" % low
                        leaf.switch, leaf.ranges = sub.name, [(low, high)]
                        signals.append(leaf)
        for k in range(rng.randrange(1, 5)):
            page = random_signal(rng, "%s_P%d" % (name, k), used, size)
            if page:
                v = rng.choice(values)
                page.mux = "m%d" % v
                page.switch, page.ranges = top.name, [(v, v)]
                signals.append(page)
        pages = values
    for k in range(rng.randrange(0 if signals else 1, 5)):
        s = random_signal(rng, "%s_S%d" % (name, k), used, size)
        if s:
            signals.append(s)
    # Extended multiplexing needs every switched signal's SG_MUL_VAL_; simple multiplexing needs none.
    complex_mux = any(s.mux.endswith("M") and s.mux != "M" for s in signals)
    raw_id = ident | (0x80000000 if extended else 0)
    lines = ["BO_ %d %s: %d ECU" % (raw_id, name, size)] + [s.line() for s in signals] + [""]
    tail = []
    for s in signals:
        if s.kind:
            tail.append("SIG_VALTYPE_ %d %s : %d;" % (raw_id, s.name, s.kind))
        if s.values:
            tail.append("VAL_ %d %s %s ;" % (raw_id, s.name,
                                             " ".join('%d "%s"' % (k, v) for k, v in sorted(s.values.items()))))
        if complex_mux and s.switch:
            tail.append("SG_MUL_VAL_ %d %s %s %s;" % (raw_id, s.name, s.switch,
                                                      ", ".join("%d-%d" % r for r in s.ranges)))
    return lines, tail, pages


def random_database(rng, path):
    head = ['VERSION ""', "", "NS_ :", "    CM_", "", "BS_:", "", "BU_: ECU", ""]
    body, tail, seen = [], [], set()
    for index in range(8):
        extended = rng.random() < 0.3
        while True:
            ident = rng.randrange(0x800, 0x20000000) if extended else rng.randrange(0, 0x800)
            if (ident, extended) not in seen:
                seen.add((ident, extended))
                break
        lines, extra, _ = random_message(rng, index, ident, extended)
        body += lines
        tail += extra
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(head + body + tail) + "\n")


def load_canmatrix(path):
    return canmatrix.formats.loadp_flat(path)


def korvel(decoder, dbc, arguments):
    run = subprocess.run([decoder, "--dbc", dbc] + arguments, capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError("korvel-decode failed: " + run.stderr)
    return run.stdout


def is_whole_scale(s):
    return not s.is_float and s.factor == s.factor.to_integral() and s.offset == s.offset.to_integral()


def expected_value(s, decoded):
    raw = decoded.raw_value
    if not s.is_float and s.values:
        for key, name in s.values.items():
            if int(key) == raw:
                return name
    if s.is_float:
        return D(raw) * s.factor + s.offset if raw == raw and abs(raw) != float("inf") else None
    return D(raw) * s.factor + s.offset


def same_value(s, raw, korvel_value, expected):
    if isinstance(expected, str) or isinstance(korvel_value, str):
        return korvel_value == expected
    if expected is None or korvel_value is None:
        return expected is None and korvel_value is None
    if is_whole_scale(s):
        return isinstance(korvel_value, int) and D(korvel_value) == expected
    k = D(repr(korvel_value)) if isinstance(korvel_value, float) else D(korvel_value)
    raw_part = abs(D(raw) * s.factor) if raw == raw and abs(raw) != float("inf") else D(0)
    scale = max(abs(expected), raw_part, abs(s.offset))
    return abs(k - expected) <= D("1e-9") * scale


class Check:
    def __init__(self):
        self.frames = 0
        self.signals = 0
        self.encoded = 0
        self.mismatches = []
        self.notes = []

    def mismatch(self, text):
        if len(self.mismatches) < 40:
            self.mismatches.append(text)
        else:
            self.mismatches.append(None)


def canmatrix_frame(db, ident, extended):
    return db.frame_by_id(canmatrix.ArbitrationId(id=ident, extended=extended))


def skipped_messages(db, korvel_db_names, check, path):
    """Messages canmatrix read differently from the file (a line it refused): left out, with a note."""
    skipped = set()
    for name, signal_names in korvel_db_names.items():
        frame = db.frame_by_name(name)
        if frame is None:
            check.notes.append("%s: canmatrix lacks message %s (it refused its line)" % (os.path.basename(path), name))
            skipped.add(name)
            continue
        missing = [n for n in signal_names if frame.signal_by_name(n) is None]
        if missing:
            check.notes.append("%s: canmatrix lacks %s in %s (it refused the line)" % (
                os.path.basename(path), ", ".join(missing), name))
            skipped.add(name)
    return skipped


def decode_check(decoder, path, workdir, rng, check, frames_per_message, skipped):
    db = load_canmatrix(path)
    frames = []
    for frame in db.frames:
        for _ in range(frames_per_message):
            data = bytes(rng.getrandbits(8) for _ in range(frame.size))
            frames.append((frame.arbitration_id.id, frame.arbitration_id.extended, data))
    log = os.path.join(workdir, os.path.basename(path) + ".log")
    with open(log, "w") as f:
        for n, (ident, extended, data) in enumerate(frames):
            f.write("(%d.000000) can0 %s#%s\n" % (n, ("%08X" if extended else "%03X") % ident, data.hex().upper()))
    lines = korvel(decoder, path, [log]).splitlines()
    if len(lines) != len(frames):
        check.mismatch("%s: %d frames in, %d decoded" % (path, len(frames), len(lines)))
        return
    for (ident, extended, data), line in zip(frames, lines):
        got = json.loads(line)
        frame = canmatrix_frame(db, ident, extended)
        if frame.name in skipped:
            continue
        check.frames += 1
        if got["name"] != frame.name:
            check.mismatch("%s %X: message %s, canmatrix %s" % (path, ident, got["name"], frame.name))
            continue
        try:
            reference = frame.decode(data)
        except Exception as error:  # canmatrix cannot decode this frame at all
            check.notes.append("%s: canmatrix cannot decode %s: %r" % (os.path.basename(path), frame.name, error))
            continue
        if set(got["signals"]) != set(reference):
            check.mismatch("%s %s %s: present %s, canmatrix %s" % (
                path, frame.name, data.hex(), sorted(got["signals"]), sorted(reference)))
            continue
        for name, value in got["signals"].items():
            s = frame.signal_by_name(name)
            expected = expected_value(s, reference[name])
            check.signals += 1
            if not same_value(s, reference[name].raw_value, value, expected):
                check.mismatch("%s %s %s: %s = %r, canmatrix %r" % (path, frame.name, data.hex(), name, value,
                                                                   expected))


def random_raw(rng, s):
    if s.is_float:
        while True:
            bits = rng.getrandbits(s.size)
            value = struct.unpack(">f" if s.size == 32 else ">d",
                                  bits.to_bytes(s.size // 8, "big"))[0]
            if value == value and abs(value) != float("inf"):
                return value
    raw = rng.getrandbits(s.size)
    if s.is_signed and raw >> (s.size - 1):
        raw -= 1 << s.size
    return raw


def canmatrix_bits(s):
    """The frame bits a canmatrix signal covers (it keeps a Motorola signal's start as MSB-first index)."""
    if s.is_little_endian:
        return set(range(s.start_bit, s.start_bit + s.size))
    return {(q // 8) * 8 + 7 - q % 8 for q in range(s.start_bit, s.start_bit + s.size)}


def selects(s, switch_values):
    """Whether a canmatrix signal is present with the given switch raw values, by name."""
    if s.muxer_for_signal:
        value = switch_values.get(s.muxer_for_signal)
        return value is not None and any(low <= value <= high for low, high in s.mux_val_grp)
    if s.mux_val is not None:
        switch = next((x for x in s.frame_signals if x.is_multiplexer and x.muxer_for_signal is None), None)
        value = switch_values.get(switch.name) if switch else None
        return value == s.mux_val
    return True


def encode_check(decoder, path, workdir, rng, check, requests_per_message, skipped):
    db = load_canmatrix(path)
    requests, wanted = [], []
    for frame in db.frames:
        if frame.name in skipped or frame.size > 8:
            continue
        for s in frame.signals:
            s.frame_signals = frame.signals
        for _ in range(requests_per_message):
            switch_values, items, expect = {}, [], {}
            # Switches first, outermost first, so a page's switch has its value before the page is chosen.
            pending = [s for s in frame.signals if s.is_multiplexer]
            for _ in range(len(pending) + 1):
                for s in list(pending):
                    if s.muxer_for_signal is None or s.muxer_for_signal in switch_values or not selects(
                            s, switch_values):
                        if selects(s, switch_values) or s.muxer_for_signal is None:
                            switch_values[s.name] = rng.getrandbits(s.size)
                        pending.remove(s)
            covered = set()
            # Switches first; a signal overlapping one already set (real files have such) is left out.
            for s in sorted(frame.signals, key=lambda x: not x.is_multiplexer):
                if not selects(s, switch_values) and not (s.is_multiplexer and s.name in switch_values):
                    continue
                if covered.intersection(canmatrix_bits(s)):
                    continue
                covered.update(canmatrix_bits(s))
                raw = switch_values[s.name] if s.name in switch_values else random_raw(rng, s)
                if s.is_float:
                    physical = float(raw) * float(s.factor) + float(s.offset)
                    if physical != physical or abs(physical) == float("inf"):
                        continue
                    text = repr(physical)
                elif s.values and rng.random() < 0.5 and any(int(k) == raw for k in s.values):
                    text = next(v for k, v in s.values.items() if int(k) == raw)
                else:
                    text = str(D(raw) * s.factor + s.offset)
                    if is_whole_scale(s):
                        text = str(int(D(raw) * s.factor + s.offset))
                items.append(('%s="%s"' if " " in text else "%s=%s") % (s.name, text))
                expect[s.name] = (raw, text)
            requests.append(frame.name + " " + " ".join(items))
            wanted.append((frame, expect))
    if not requests:
        return
    request_file = os.path.join(workdir, os.path.basename(path) + ".requests")
    with open(request_file, "w") as f:
        f.write("\n".join(requests) + "\n")
    lines = korvel(decoder, path, ["--encode", request_file]).splitlines()
    for (frame, expect), line in zip(wanted, lines):
        data = bytes.fromhex(line.split("#", 1)[1])
        try:
            reference = frame.decode(data)
        except Exception as error:  # canmatrix cannot decode this frame at all
            check.notes.append("%s: canmatrix cannot decode %s: %r" % (os.path.basename(path), frame.name, error))
            continue
        check.encoded += 1
        for name, (raw, text) in expect.items():
            got = reference.get(name)
            s = frame.signal_by_name(name)
            if got is None:
                check.mismatch("%s %s: encoded %s=%s, canmatrix finds no %s" % (path, frame.name, name, text, name))
                continue
            if s.values and text in s.values.values():
                ok = any(int(k) == got.raw_value and v == text for k, v in s.values.items())
            elif s.is_float:
                ok = same_value(s, got.raw_value, float(text), D(got.raw_value) * s.factor + s.offset)
            else:
                exact = is_whole_scale(s) or abs(raw) < (1 << 40)
                ok = got.raw_value == raw if exact else same_value(s, got.raw_value, float(D(text)),
                                                                    D(got.raw_value) * s.factor + s.offset)
            if not ok:
                check.mismatch("%s %s: encoded %s=%s as %s, canmatrix reads raw %r" % (
                    path, frame.name, name, text, line, got.raw_value))


def korvel_names(path):
    """Message and signal names as the file writes them."""
    names = {}
    text = open(path, encoding="utf-8", errors="replace").read().splitlines()
    current = None
    for line in text:
        stripped = line.strip()
        if stripped.startswith("BO_ "):
            current = stripped.split()[2].rstrip(":")
            names[current] = []
        elif stripped.startswith("SG_ ") and current:
            names[current].append(stripped.split()[1])
    return names


def cli_check(decoder, workdir, check):
    """The three input formats give the same signals; unreadable input fails with a message."""
    dbc = os.path.join(workdir, "cli.dbc")
    with open(dbc, "w") as f:
        f.write('BO_ 170 Speeds: 8 ECU\n SG_ Front : 7|16@0+ (0.0062,-67.67) [0|250] "km/h" ECU\n'
                ' SG_ Gear : 16|2@1+ (1,0) [0|3] "" ECU\nVAL_ 170 Gear 3 "D" ;\n')
    inputs = {
        "in.log": "(1.500000) can0 0AA#0102030405060708\n",
        "in.asc": "date Tue Dec 08 03:22:23.000 pm 2026\nbase hex  timestamps absolute\nBegin Triggerblock\n"
                  "   1.500000 1  0AA             Rx   d 8 01 02 03 04 05 06 07 08\nEnd TriggerBlock\n",
        "in.trc": "Time     ID       DLC Data\r\n01.500 0AA      8 01 02 03 04 05 06 07 08\r\n",
    }
    expected = {"time": 1.5, "id": "0AA", "extended": False, "name": "Speeds",
                "signals": {"Front": 258 * 0.0062 - 67.67, "Gear": "D"}}
    for name, text in inputs.items():
        path = os.path.join(workdir, name)
        with open(path, "w", newline="") as f:
            f.write(text)
        got = json.loads(korvel(decoder, dbc, [path]))
        got["signals"]["Front"] = round(got["signals"]["Front"], 9)
        expected["signals"]["Front"] = round(expected["signals"]["Front"], 9)
        if got != expected:
            check.mismatch("%s decodes as %r" % (name, got))
    csv = korvel(decoder, dbc, ["--csv", os.path.join(workdir, "in.log")]).splitlines()
    if csv[0] != "time,id,extended,message,signal,value,unit" or csv[2] != "1.500000,0AA,false,Speeds,Gear,D,":
        check.mismatch("CSV reads %r" % csv)
    binary = os.path.join(workdir, "binary.log")
    with open(binary, "wb") as f:
        f.write(b"\x7fELF\0\0\1\2" * 64)
    for arguments in (["--dbc", dbc, os.path.join(workdir, "missing.log")], ["--dbc", dbc, binary],
                      ["--dbc", binary, os.path.join(workdir, "in.log")], [os.path.join(workdir, "in.log")]):
        run = subprocess.run([decoder] + arguments, capture_output=True, text=True)
        if run.returncode == 0 or not run.stderr.strip():
            check.mismatch("korvel-decode %s: status %d, message %r" % (" ".join(arguments), run.returncode,
                                                                        run.stderr))


def main():
    decoder, workdir = sys.argv[1], sys.argv[2]
    real = sys.argv[3] if len(sys.argv) > 3 else None
    os.makedirs(workdir, exist_ok=True)
    rng = random.Random(15)
    check = Check()
    cli_check(decoder, workdir, check)
    for n in range(12):
        path = os.path.join(workdir, "random%d.dbc" % n)
        random_database(rng, path)
        decode_check(decoder, path, workdir, rng, check, 40, set())
        encode_check(decoder, path, workdir, rng, check, 20, set())
    random_counts = (check.frames, check.signals, check.encoded)
    if real and os.path.isdir(real):
        for name in sorted(os.listdir(real)):
            if not name.endswith(".dbc"):
                continue
            path = os.path.join(real, name)
            names = korvel_names(path)
            skipped = skipped_messages(load_canmatrix(path), names, check, path)
            decode_check(decoder, path, workdir, rng, check, 20, skipped)
            encode_check(decoder, path, workdir, rng, check, 10, skipped)
    else:
        print("no real databases at %s: only the random ones were compared" % real)
    print("random databases: %d frames, %d signal values, %d encoded frames" % random_counts)
    print("in all: %d frames, %d signal values, %d encoded frames compared with canmatrix" % (
        check.frames, check.signals, check.encoded))
    for note in sorted(set(check.notes)):
        print("note:", note)
    if check.mismatches:
        for m in check.mismatches:
            print("MISMATCH:", m if m else "(more)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
