#!/usr/bin/env python3
"""What an adapter's latency timer costs an update, predicted and measured:
each target updated by the command line (ridorez, native) against the paced
simulator behind its modelled FTDI adapter (devsim --adapter
ftdi:latency=MS), at each latency timer given, set beside the program's own
prediction (latency_predict, the model the command line's note uses).

  tools/latency/check.py [--build DIR] [--latency MS,...] [--repeats N]
                         [--t62-bytes N] [--probes N] [--out DIR]

The measured time runs from the first byte of the worker's first request on
the line (the simulator's transcript) to the final message reaching our pipe.
Fails (exit code 1) when a T62 figure is more than 10 % off its prediction;
the PSoC's and the ZQ3's are reported. Not a test of the suite: it takes a
minute or two of paced updates. Standard library only.

Where no system setting tells the adapter's timer (here: a pseudo-terminal),
ridorez times its probe's exchanges and, when a reply was held, says so with
the update's expected time with that hold and without it. Latency 0 is the
bare line, no adapter. Each run's note is checked: one at 1 ms or on the
bare line is a false alarm, and a note's expected times are set beside the
measured ones (more than 10 % off fails, any target). --probes N adds N quick
updates of each target, stopped once the probe's turn-around is told, on
each of the bare line, 1 ms and 16 ms: how late the timed replies came (the
ZQ3's: how many of its rounds showed a tick).
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools", "speed"))
import speed  # noqa: E402  (the speed benchmark's images and transcript reader)

# The first bytes of each worker's first request: the T62's erase of the
# fallback row, the PSoC's block 0, the ZQ3's hand-over to its loader.
FIRST_REQUEST = {"t62": ["55", "55", "03", "01"], "psoc": ["55", "00"], "zq3": ["00", "10", "9B"]}
DEVICE = {"t62": "t62", "psoc": "psoc", "zq3": "keyer"}
FINAL = {
    "t62": "Programing Completed Successfully",
    "psoc": "PSoC Programing Completed Successfully, Press Encoder to restart.",
    "zq3": "ZQ3 Programing Completed Successfully, Press Encoder to restart.",
}
TOLERANCE = 0.10
# The note ridorez gives where its probe saw a reply held (cli/adapter_note.cpp).
# Where the probe's exchange is shorter than a tick (the T62's, the PSoC's)
# it says how late the replies came; where longer (the ZQ3's), the tick.
NOTE = re.compile(r"the probe's replies on .* came (?:([0-9]+) ms later|on the ticks of a timer ([0-9]+) ms apart) .* "
                  r"this update takes about ([0-9.]+) s on the line instead of ([0-9.]+) s at 1 ms")
# Its line log's account of the probe's turn-around: how many of its timed
# pairs showed an adapter's ticks, and how late the replies asked for at
# once came (or that the machine was too busy to tell).
# The ZQ3's rounds give no such lateness (None).
HELD = re.compile(r"note probe turn-around: [0-9]+ (?:pairs|rounds), ([0-9]+) showing an adapter(?:: asked for at once "
                  r"(-?[0-9.]+) ms)?")


def predict(build, target, image, latencies):
    out = subprocess.run([os.path.join(build, "tools", "latency", "latency_predict"), target, image] +
                         [str(ms) for ms in latencies], check=True, capture_output=True, text=True).stdout
    figures = {}
    for line in out.splitlines():
        key, value = line.split()
        figures[0 if key == "wire" else int(key)] = float(value)
    return figures


def wait_for(path, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if os.path.lexists(path):
            return True
        time.sleep(0.02)
    return False


class Run:
    """One update: its seconds on the line, how many of the probe's timed
    pairs showed an adapter and how late (ms beyond the line) the replies
    asked for at once came (None: too busy to tell), and the note, if one was
    given: (held ms, expected s with the hold, expected s at 1 ms)."""

    def __init__(self, seconds, held, note):
        self.seconds, self.held, self.note = seconds, held, note


def measure(build, work, target, image, latency, whole=True):
    """One update of image on the paced simulator behind an adapter at
    latency ms (0: none). Not whole: only until the probe's turn-around is
    told, and no seconds."""
    link = os.path.join(work, "port")
    transcript = os.path.join(work, "%s-%d.transcript" % (target, latency))
    log = os.path.join(work, "%s-%d.log" % (target, latency))
    if os.path.exists(log):
        os.remove(log)
    adapter = ["--adapter", "ftdi:latency=%d" % latency] if latency > 0 else []
    sim = subprocess.Popen([os.path.join(build, "tools", "devsim", "devsim"), "--link", link, "--device",
                            DEVICE[target], "--paced", "--catch-up", "--clock-note", "--transcript", transcript] +
                           adapter, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for(link, 10):
            raise SystemExit("latency: the simulator made no link")
        run = subprocess.Popen([os.path.join(build, "cli", "ridorez"), "update", target, image, "--port", link,
                                "--log", log], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        final_at = None
        if whole:
            for line in run.stdout:
                if line.rstrip("\n") == FINAL[target]:
                    final_at = time.monotonic_ns() // 1000
            errors = run.stderr.read()
            if run.wait() != 0 or final_at is None:
                raise SystemExit("latency: %s at %d ms did not complete (exit code %d): %s" %
                                 (target, latency, run.returncode, errors.strip()))
        else:
            end = time.monotonic() + 20
            while time.monotonic() < end and "probe turn-around" not in read_text(log):
                time.sleep(0.02)
            time.sleep(0.2)
            run.kill()
            errors = run.communicate()[1]
    finally:
        sim.terminate()
        sim.wait()
    held = HELD.search(read_text(log))
    note = NOTE.search(errors)
    seconds = None
    if whole:
        mono0, chunks, _ = speed.read_transcript(transcript)
        # The host's bytes, each with the time of the chunk it came in: a paced
        # line at 1200 baud takes them one by one.
        sent = [(c[0], b) for c in chunks if c[1] == "H>D" for b in c[4]]
        want = [b.upper() for b in FIRST_REQUEST[target]]
        first = next((sent[i][0] for i in range(len(sent))
                      if [b.upper() for _, b in sent[i:i + len(want)]] == want), None)
        if mono0 is None or first is None:
            raise SystemExit("latency: %s: the run's first request is not in the transcript" % transcript)
        seconds = (final_at - mono0 - first) / 1e6
    return Run(seconds, (int(held.group(1)), float(held.group(2)) if held.group(2) else None) if held else None,
               (int(note.group(1) or note.group(2)), float(note.group(3)), float(note.group(4))) if note else None)


def read_text(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def held_text(held):
    if held is None:
        return "too busy to tell"
    if held[1] is None:
        return "%d rounds showing" % held[0]
    return "%d pairs showing, %.2f ms" % held


def setting(latency):
    return "%d ms" % latency if latency > 0 else "no adapter"


def judge_notes(target, latency, runs, measured, misses):
    """The probe's notes of runs at latency: none on a line that holds no
    reply, and their expected times against what was measured."""
    for r in runs:
        if r.note is None:
            if latency > 1:
                print("latency: %s at %s: no note (the probe: %s)" %
                      (target, setting(latency), held_text(r.held)), flush=True)
            continue
        held, slow, fast = r.note
        if latency <= 1:
            misses.append("%s at %s: a note on a line that holds no reply (%d ms)" % (target, setting(latency), held))
            continue
        off = slow / r.seconds - 1
        line = "latency: %s at %s: the probe saw %d ms: note %.1f s with it, measured %.3f s (%+.1f %%)" % (
            target, setting(latency), held, slow, r.seconds, 100 * off)
        if 1 in measured:
            line += "; note %.1f s at 1 ms, measured %.3f s (%+.1f %%)" % (fast, measured[1], 100 * (fast / measured[1] - 1))
            if abs(fast / measured[1] - 1) > TOLERANCE:
                misses.append("%s: the note's time at 1 ms" % target)
        print(line, flush=True)
        if abs(off) > TOLERANCE:
            misses.append("%s at %s: the note's time" % (target, setting(latency)))


def probe_margins(build, work, count, targets, misses):
    """count quick updates of each of targets on each of the bare line, 1 ms
    and 16 ms: how far the probe's replies after the first stay from the
    note's threshold, and how many gave a note."""
    speed.make_images(work, [2048])
    images = {"t62": os.path.join(work, "t62-2048.hex"), "psoc": os.path.join(work, "psoc.hex"),
              "zq3": os.path.join(work, "zq3.bin")}
    for target in targets:
        image = images[target]
        for latency in (0, 1, 16):
            runs = [measure(build, work, target, image, latency, whole=False) for _ in range(count)]
            told = [r.held for r in runs if r.held is not None]
            notes = sum(1 for r in runs if r.note)
            print("latency: probe of %s at %s, %d runs: %s; too busy to tell in %d; a note in %d" % (target, setting(latency), count,
                                                  "; ".join(held_text(h) for h in told) or "-", count - len(told), notes),
                  flush=True)
            if latency <= 1 and notes:
                misses.append("%s at %s: %d false notes" % (target, setting(latency), notes))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "native"))
    parser.add_argument("--latency", default="1,16")
    parser.add_argument("--repeats", type=int, default=1)
    parser.add_argument("--t62-bytes", type=int, default=65536)
    parser.add_argument("--targets", default="t62,psoc,zq3")
    parser.add_argument("--probes", type=int, default=0)
    parser.add_argument("--out", default=None, help="keep the images and transcripts here")
    args = parser.parse_args()
    latencies = [int(ms) for ms in args.latency.split(",")]
    work = args.out or tempfile.mkdtemp(prefix="ridorez-latency-")
    speed.make_images(work, [args.t62_bytes])
    images = {"t62": os.path.join(work, "t62-%d.hex" % args.t62_bytes), "psoc": os.path.join(work, "psoc.hex"),
              "zq3": os.path.join(work, "zq3.bin")}

    rows, misses = [], []
    for target in args.targets.split(","):
        predicted = predict(args.build, target, images[target], latencies)
        measured = {}
        held = {}
        for ms in latencies:
            runs = [measure(args.build, work, target, images[target], ms) for _ in range(args.repeats)]
            held[ms] = runs
            measured[ms] = min(r.seconds for r in runs)
            off = measured[ms] / predicted[ms] - 1
            rows.append((target, ms, predicted[0], predicted[ms], measured[ms], off))
            if target == "t62" and abs(off) > TOLERANCE:
                misses.append("%s at %s" % (target, setting(ms)))
            print("latency: %s at %s: predicted %.3f s, measured %.3f s (%+.1f %%); the probe: "
                  "%s" % (target, setting(ms), predicted[ms], measured[ms], 100 * off,
                             ", ".join(held_text(r.held) for r in runs)), flush=True)
        for ms in latencies:
            judge_notes(target, ms, held[ms], measured, misses)
        adapted = [ms for ms in latencies if ms > 0]
        if len(adapted) > 1:
            low, high = min(adapted), max(adapted)
            print("latency: %s: %d ms against %d ms: predicted %.2f x, measured %.2f x" %
                  (target, high, low, predicted[high] / predicted[low], measured[high] / measured[low]), flush=True)

    print()
    print("| target | latency timer | wire limit s | predicted s | measured s | measured / predicted |")
    print("|---|---|---|---|---|---|")
    for target, ms, wire, pred, meas, off in rows:
        print("| %s | %s | %.3f | %.3f | %.3f | %.3f |" % (target, setting(ms), wire, pred, meas, 1 + off))
    if args.probes > 0:
        print()
        probe_margins(args.build, work, args.probes, args.targets.split(","), misses)
    if misses:
        print("latency: more than %d %% off the prediction, or a false note: %s" %
              (100 * TOLERANCE, ", ".join(misses)))
        sys.exit(1)


if __name__ == "__main__":
    main()
