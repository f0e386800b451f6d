#!/usr/bin/env python3
"""The table of tools/browser-speed/run.sh: each run of the page's T62
update (the browser's own Web Serial, "real-N", or the tests' stand-in and
its bridge, "standin-N") from the results tools/speed/speed.py left in OUT,
and, for the real browser, how long each open of the port left DTR and RTS
as the open sets them before the page's setSignals() (from the shim's log).

  report.py OUT
"""
import glob
import json
import os
import sys


def lines_after_open(log):
    """Milliseconds from each open to the page's first modem-line request."""
    spans, opened = [], None
    with open(log) as f:
        for raw in f:
            parts = raw.split()
            if len(parts) < 2:
                continue
            at, what = int(parts[0]), parts[1]
            if what == "open":
                opened = at
            elif what in ("TIOCMBIC", "TIOCMBIS", "TIOCMSET") and opened is not None:
                spans.append((at - opened) / 1000.0)
                opened = None
    return spans


# The T62's commands, by the byte after the frame's start (55 55).
KINDS = {"01": "read row", "02": "write row", "03": "erase"}


def exchanges(transcript, baud=115200):
    """kind -> [(cycle us, wire us)]: each exchange from its request's first
    byte to the next request's, against its bytes' time on a wire."""
    chunks = []
    with open(transcript) as f:
        for raw in f:
            parts = raw.split()
            if len(parts) > 3 and parts[1] in ("H>D", "D>H"):
                chunks.append((int(parts[0]), parts[1], parts[3:]))
    found, current = {}, None
    for at, way, data in chunks:
        if way == "H>D" and (current is None or current[3]):
            if current is not None:
                found.setdefault(current[1], []).append((at - current[0], current[2] * 10e6 / baud))
            kind = KINDS.get(data[2] if len(data) > 2 and data[:2] == ["55", "55"] else "", "other")
            current = [at, kind, 0, False]
        if current is not None:
            current[2] += len(data)
            current[3] = current[3] or way == "D>H"
    return found


def main(out):
    runs = []
    for path in sorted(glob.glob(os.path.join(out, "*.json"))):
        with open(path) as f:
            runs.append(json.load(f))
    print("| run | exchanges | line s | wire limit s | ratio | line per exchange ms | limit per exchange ms "
          "| program turn per exchange ms (median, 95th) | press to final s | load |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for r in runs:
        n = max(r["exchanges"], 1)
        print("| %s | %d | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f (%.3f, %.3f) | %.3f | %.2f |" % (
            r["name"], r["exchanges"], r["line_s"], r["limit_s"], r["ratio"], 1e3 * r["line_s"] / n,
            1e3 * r["limit_s"] / n, 1e3 * r["host_turn_s"] / n, r["host_turn_median_us"] / 1e3,
            r["host_turn_p95_us"] / 1e3, r["run_s"], r["load"]))
    print()
    print("Each exchange, from its request's first byte to the next request's, against its bytes on the wire "
          "(median ms; ratio of the sums):")
    print()
    print("| run | " + " | ".join(KINDS.values()) + " |")
    print("|---|" + "---|" * len(KINDS))
    for r in runs:
        found = exchanges(os.path.join(out, r["name"] + ".transcript"))
        cells = []
        for kind in KINDS.values():
            pairs = sorted(found.get(kind, []))
            if not pairs:
                cells.append("-")
                continue
            cycles = sorted(c for c, _ in pairs)
            wires = sorted(w for _, w in pairs)
            cells.append("%d: %.2f vs %.2f (%.2f x)" % (len(pairs), cycles[len(cycles) // 2] / 1e3,
                                                       wires[len(wires) // 2] / 1e3,
                                                       sum(cycles) / sum(wires)))
        print("| %s | %s |" % (r["name"], " | ".join(cells)))
    standin = [r for r in runs if "browser_turn_s" in r]
    if standin:
        print()
        print("Stand-in runs, the turn-around's share in the browser (from the bridge's log) per exchange: " +
              ", ".join("%s %.3f ms (median %.3f)" % (r["name"], 1e3 * r["browser_turn_s"] / max(r["exchanges"], 1),
                                                       r["browser_turn_median_us"] / 1e3) for r in standin))
    for log in sorted(glob.glob(os.path.join(out, "*.port.log"))):
        spans = lines_after_open(log)
        if spans:
            print()
            print("%s: from the open to the page's first setSignals(): %s ms" % (
                os.path.basename(log)[:-len(".port.log")], ", ".join("%.1f" % s for s in spans)))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
