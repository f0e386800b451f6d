#!/usr/bin/env python3
"""What an adapter's latency timer costs an update, predicted and measured:
each target updated by the command line (ridorez, native) against the paced
simulator behind its modelled FTDI adapter (devsim --adapter
ftdi:latency=MS), at each latency timer given, set beside the program's own
prediction (latency_predict, the model the command line's note uses).

  tools/latency/check.py [--build DIR] [--latency MS,...] [--repeats N]
                         [--t62-bytes N] [--out DIR]

The measured time runs from the first byte of the worker's first request on
the line (the simulator's transcript) to the final message reaching our pipe.
Fails (exit code 1) when a T62 figure is more than 10 % off its prediction;
the PSoC's and the ZQ3's are reported. Not a test of the suite: it takes a
minute or two of paced updates. Standard library only.
"""

import argparse
import os
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


def measure(build, work, target, image, latency):
    link = os.path.join(work, "port")
    transcript = os.path.join(work, "%s-%d.transcript" % (target, latency))
    sim = subprocess.Popen([os.path.join(build, "tools", "devsim", "devsim"), "--link", link, "--device",
                            DEVICE[target], "--paced", "--catch-up", "--clock-note", "--adapter",
                            "ftdi:latency=%d" % latency, "--transcript", transcript],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for(link, 10):
            raise SystemExit("latency: the simulator made no link")
        run = subprocess.Popen([os.path.join(build, "cli", "ridorez"), "update", target, image, "--port", link],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        final_at = None
        for line in run.stdout:
            if line.rstrip("\n") == FINAL[target]:
                final_at = time.monotonic_ns() // 1000
        errors = run.stderr.read()
        if run.wait() != 0 or final_at is None:
            raise SystemExit("latency: %s at %d ms did not complete (exit code %d): %s" %
                             (target, latency, run.returncode, errors.strip()))
    finally:
        sim.terminate()
        sim.wait()
    mono0, chunks, _ = speed.read_transcript(transcript)
    # The host's bytes, each with the time of the chunk it came in: a paced
    # line at 1200 baud takes them one by one.
    sent = [(c[0], b) for c in chunks if c[1] == "H>D" for b in c[4]]
    want = [b.upper() for b in FIRST_REQUEST[target]]
    first = next((sent[i][0] for i in range(len(sent)) if [b.upper() for _, b in sent[i:i + len(want)]] == want), None)
    if mono0 is None or first is None:
        raise SystemExit("latency: %s: the run's first request is not in the transcript" % transcript)
    return (final_at - mono0 - first) / 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "native"))
    parser.add_argument("--latency", default="1,16")
    parser.add_argument("--repeats", type=int, default=1)
    parser.add_argument("--t62-bytes", type=int, default=65536)
    parser.add_argument("--targets", default="t62,psoc,zq3")
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
        for ms in latencies:
            runs = [measure(args.build, work, target, images[target], ms) for _ in range(args.repeats)]
            measured[ms] = min(runs)
            off = measured[ms] / predicted[ms] - 1
            rows.append((target, ms, predicted[0], predicted[ms], measured[ms], off))
            if target == "t62" and abs(off) > TOLERANCE:
                misses.append("%s at %d ms" % (target, ms))
            print("latency: %s at %d ms: predicted %.3f s, measured %.3f s (%+.1f %%)" %
                  (target, ms, predicted[ms], measured[ms], 100 * off), flush=True)
        if len(latencies) > 1:
            low, high = min(latencies), max(latencies)
            print("latency: %s: %d ms against %d ms: predicted %.2f x, measured %.2f x" %
                  (target, high, low, predicted[high] / predicted[low], measured[high] / measured[low]), flush=True)

    print()
    print("| target | latency timer | wire limit s | predicted s | measured s | measured / predicted |")
    print("|---|---|---|---|---|---|")
    for target, ms, wire, pred, meas, off in rows:
        print("| %s | %d ms | %.3f | %.3f | %.3f | %.3f |" % (target, ms, wire, pred, meas, 1 + off))
    if misses:
        print("latency: more than %d %% off the prediction: %s" % (100 * TOLERANCE, ", ".join(misses)))
        sys.exit(1)


if __name__ == "__main__":
    main()
