#!/usr/bin/env python3
"""The speed benchmark's helper (scripts/speed.sh runs it): images to load,
time stamps and CPU readings around a driven run, and the figures of each run
from the simulator's transcript, as a table and a plot.

  speed.py images DIR SIZE...          T62 HEX images of SIZE bytes, the PSoC
                                       image and a ZQ3 image, into DIR
  speed.py stamp OUT PREFIX DRIVER...  runs the window driver (its script on
                                       stdin), stamps each line it prints
                                       with the monotonic clock and, at the
                                       lines "speed-start" and "speed-final",
                                       reads the CPU time of the Wine
                                       processes of PREFIX
  speed.py run NAME TARGET BAUD IMAGE_BYTES TRANSCRIPT STAMPS OUT.json
                                       the figures of one run
  speed.py web-split OUT.json BRIDGE_LOG
                                       for a run of the web page: how much of
                                       each turn-around the browser took (from
                                       the bridge's log), added to OUT.json
  speed.py idle NAME STAMPS OUT.json   the CPU time of a stretch without a run
  speed.py multi NAME BOARDS IMAGE_BYTES ONE.time ALL.time SIM_TICKS OUT.json
                                       a bench of BOARDS boards at once against
                                       one alone ("wall user system" seconds
                                       of each ridorez, bash's time; the
                                       simulators' CPU ticks during the bench)
  speed.py report DIR                  table (speed.md, speed.txt), T62 plot
                                       (t62-size.png) from DIR/*.json

Standard library only.
"""

import json
import os
import random
import statistics
import subprocess
import sys
import time

# ---- Images ----


def hex_line(address, kind, data):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, kind]) + bytes(data)
    check = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + "%02X" % check


def write_hex(path, image, base=0):
    """image: bytes placed from absolute address base, 16 to a line."""
    lines = []
    segment = -1
    for offset in range(0, len(image), 16):
        address = base + offset
        if address >> 16 != segment:
            segment = address >> 16
            lines.append(hex_line(0, 4, [(segment >> 8) & 0xFF, segment & 0xFF]))
        lines.append(hex_line(address & 0xFFFF, 0, image[offset:offset + 16]))
    lines.append(hex_line(0, 1, []))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def make_images(out_dir, sizes):
    os.makedirs(out_dir, exist_ok=True)
    rng = random.Random(62)
    whole = bytes(rng.getrandbits(8) for _ in range(0x40000))
    for size in sizes:
        write_hex(os.path.join(out_dir, "t62-%d.hex" % size), whole[:size])
    psoc = bytearray(whole[:0x3600])
    # Block 85 goes out as 55 55 ...: keep its data from looking like the
    # reset that also starts so, or the device would wait to tell them apart.
    psoc[85 * 64] = 0x11
    write_hex(os.path.join(out_dir, "psoc.hex"), bytes(psoc))
    # ZQ3: 1016 slots of 8 words, version 31 and variant code 3 (AMBER,
    # revision 3) in slot 0's word 3, slot 1012 with data so that the
    # upload sends its first phase too.
    keyer = bytearray(whole[0x10000:0x10000 + 1016 * 16])
    keyer[6], keyer[7] = 31, 3
    keyer[1012 * 16] = 0x12
    write_hex(os.path.join(out_dir, "zq3.bin"), bytes(keyer))


# ---- Stamps and CPU readings ----

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def prefix_processes(prefix):
    """pid -> comm of the processes started for the Wine prefix."""
    found = {}
    want = ("WINEPREFIX=" + prefix).encode()
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % name, "rb") as f:
                if want not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/comm" % name) as f:
                found[int(name)] = f.read().strip()
        except OSError:
            continue
    return found


def cpu_ticks(pid):
    """utime + stime of a process, all its threads, ended ones included."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    except (OSError, IndexError, ValueError):
        return None


def stamp(out_path, prefix, command):
    """Runs the driver (command, its script on our standard input) and stamps
    each line of its output as it comes. The driver starts only once this
    program is ready to read, so no line waits in the pipe. A driver that
    ends before "speed-final" (a wait that timed out, as in the idle
    measurement) gets its final reading when its output ends. Returns the
    driver's exit code."""
    seen = set()
    with open(out_path, "w") as out:

        def note(line):
            now = time.monotonic_ns() // 1000
            out.write("%d line %s\n" % (now, line))
            if line in ("speed-start", "speed-final"):
                seen.add(line)
                for pid, comm in sorted(prefix_processes(prefix).items()):
                    ticks = cpu_ticks(pid)
                    if ticks is not None:
                        out.write("%d cpu %s %d %s %d\n" % (now, line, pid, comm, ticks))
            out.flush()

        driver = subprocess.Popen(command, stdout=subprocess.PIPE, bufsize=0)
        for raw in iter(driver.stdout.readline, b""):
            line = raw.decode(errors="replace").rstrip("\r\n")
            note(line)
            print(line, flush=True)
        if "speed-start" in seen and "speed-final" not in seen:
            note("speed-final")
        return driver.wait()


def read_stamps(path):
    marks = {}
    cpu = {"speed-start": {}, "speed-final": {}}
    lines = []
    with open(path) as f:
        for raw in f:
            parts = raw.rstrip("\n").split(" ", 2)
            if len(parts) < 3:
                continue
            at, kind, rest = int(parts[0]), parts[1], parts[2]
            if kind == "line":
                lines.append((at, rest))
                if rest.startswith("speed-") and rest not in marks:
                    marks[rest] = at
            elif kind == "cpu":
                mark, pid, comm, ticks = rest.split(" ")
                cpu[mark][int(pid)] = (comm, float(ticks))
    return marks, cpu, lines


def cpu_split(cpu):
    """CPU seconds between the two readings: the program, wineserver, the
    prefix's other Windows processes (the driver itself left out) and the
    simulator."""
    out = {"program": 0.0, "server": 0.0, "others": 0.0, "simulator": 0.0}
    before, after = cpu["speed-start"], cpu["speed-final"]
    for pid, (comm, ticks) in after.items():
        start = before.get(pid, (comm, 0))[1]
        seconds = (ticks - start) / CLOCK_TICKS
        if comm.lower().startswith("ridorez"):
            out["program"] += seconds
        elif comm.startswith("wineserver"):
            out["server"] += seconds
        elif comm == "devsim":
            out["simulator"] += seconds
        elif comm.lower().endswith(".exe") and not comm.startswith("uidriver"):
            out["others"] += seconds
    return out


# ---- Transcripts ----


def read_transcript(path):
    """(clock note: monotonic us at time 0, chunks, notes). A chunk is
    [time us, tag, baud, byte count, bytes, us its last byte went out late
    (devsim --late-note)]."""
    mono0 = None
    chunks, notes = [], []
    with open(path) as f:
        for raw in f:
            parts = raw.split()
            if len(parts) < 2:
                continue
            at, tag = int(parts[0]), parts[1]
            if tag == "note":
                text = " ".join(parts[2:])
                notes.append((at, text))
                if parts[2:4] == ["clock", "monotonic"]:
                    mono0 = int(parts[4])
                if parts[2] == "late" and chunks and chunks[-1][1] == "D>H":
                    chunks[-1][5] = int(parts[3])
            elif tag in ("H>D", "D>H", "drop"):
                chunks.append([at, tag, int(parts[2]), len(parts) - 3, parts[3:], 0])
    return mono0, chunks, notes


def byte_us(baud):
    return 10e6 / baud


# Pauses the protocols prescribe between two host transmissions: after the
# ZQ3 speed-change request 0x35 the host waits 200 ms before 9600 baud.
def prescribed_pause_us(chunk):
    if chunk[1] == "H>D" and chunk[2] == 1200 and chunk[4][-1] == "35":
        return 200e3
    return 0.0


# After the last byte: the ZQ3 worker waits 500 ms after 0x5A, returns to
# 1200 baud and waits 100 ms more before it reports.
TRAILING_PAUSE_US = {"t62": 0.0, "psoc": 0.0, "zq3": 600e3}

# The first bytes of each run: the T62's erase of the fallback row, the
# PSoC's block 0, the ZQ3's echo test of the probe that Update makes.
FIRST_REQUEST = {"t62": ["55", "55", "03", "01"], "psoc": ["55", "00"], "zq3": ["00", "04", "55"]}

# How long before its mark a command line run may have started (cli-*).
CLI_LEAD_US = 50e3

FINAL_TEXT = {
    "t62": "Programing Completed Successfully",
    "psoc": "PSoC Programing Completed Successfully, Press Encoder to restart.",
    "zq3": "ZQ3 Programing Completed Successfully, Press Encoder to restart.",
}


def analyse_run(name, target, baud, image_bytes, transcript, stamps):
    mono0, chunks, notes = read_transcript(transcript)
    marks, cpu, _ = read_stamps(stamps)
    if mono0 is None:
        raise SystemExit("speed: %s has no clock note (devsim --clock-note)" % transcript)
    press = marks["speed-start"] - mono0
    final = marks["speed-final"] - mono0
    run = [c for c in chunks if c[0] >= press]
    # The command line marks its run with the line it prints as it starts
    # the worker: the run's first request may reach the line before the
    # mark reaches us.
    lead = [c for c in chunks if press - CLI_LEAD_US <= c[0] < press] if name.startswith("cli-") else []
    for i, c in enumerate(lead):
        if " ".join(c[4][:len(FIRST_REQUEST[target])]) == " ".join(FIRST_REQUEST[target]):
            run = lead[i:] + run
            break
    if not run:
        raise SystemExit("speed: %s: no bytes after the press" % name)
    if " ".join(run[0][4][:len(FIRST_REQUEST[target])]) != " ".join(FIRST_REQUEST[target]):
        raise SystemExit("speed: %s: the first bytes after the press are not the run's first request: %s"
                         % (name, " ".join(run[0][4][:8])))
    drops = sum(c[3] for c in run if c[1] == "drop")
    run = [c for c in run if c[1] != "drop"]

    wire = {"H>D": 0.0, "D>H": 0.0}
    count = {"H>D": 0, "D>H": 0}
    for c in run:
        wire[c[1]] += c[3] * byte_us(c[2])
        count[c[1]] += c[3]
    bytes_us = wire["H>D"] + wire["D>H"]

    # Every boundary between two chunks: the time from when the earlier
    # chunk's last byte was on the line to the later chunk's first byte.
    # In the simulator's pacing a host byte counts from its arrival and a
    # device byte from its departure, so at each turn of the line it spends
    # one byte time less than a wire: the credit.
    # A reply's last byte that the simulator sent late (it notes by how
    # much) delays the host's next request by as much: the simulator's share.
    host_turn, dev_turn, late, credit, pauses = [], [], 0.0, 0.0, 0.0
    for a, b in zip(run, run[1:]):
        end_a = a[0] + a[3] * byte_us(a[2])
        gap = b[0] - end_a
        turn = a[1] != b[1]
        if turn:
            credit += byte_us(a[2])
            gap += byte_us(a[2])
        if b[1] == "H>D":
            pause = prescribed_pause_us(a)
            pauses += pause
            late += a[5]
            host_turn.append(gap - pause - a[5])
        else:
            dev_turn.append(gap)
    first = run[0][0]
    last = run[-1]
    line_end = last[0] + last[3] * byte_us(last[2])
    line_us = line_end - first
    limit_us = bytes_us + pauses
    exchanges = sum(1 for c in run if c[1] == "D>H")

    run_us = marks["speed-final"] - marks["speed-start"]
    cpu_s = cpu_split(cpu)
    trailing = TRAILING_PAUSE_US[target]
    rows = sum(1 for at, text in notes if at >= press and text.startswith("write "))
    return {
        "name": name,
        "target": target,
        "baud": baud,
        "image_bytes": image_bytes,
        "rows": rows,
        "exchanges": exchanges,
        "bytes_h2d": count["H>D"],
        "bytes_d2h": count["D>H"],
        "drops": drops,
        "line_s": line_us / 1e6,
        "limit_s": limit_us / 1e6,
        "ratio": line_us / limit_us,
        "pauses_s": pauses / 1e6,
        "host_turn_s": sum(host_turn) / 1e6,
        "host_turn_median_us": statistics.median(host_turn) if host_turn else 0.0,
        "host_turn_p95_us": percentile(host_turn, 95),
        "dev_turn_s": sum(dev_turn) / 1e6,
        "dev_turn_median_us": statistics.median(dev_turn) if dev_turn else 0.0,
        "dev_late_s": late / 1e6,
        "credit_s": credit / 1e6,
        # What the same run takes on a wire with a device that answers at
        # once: the limit plus the program's own turn-around.
        "program_ratio": (limit_us + sum(host_turn)) / limit_us,
        "press_to_first_ms": (first - press) / 1e3,
        "run_s": run_us / 1e6,
        "final_after_last_ms": (final - line_end - trailing) / 1e3,
        "trailing_pause_ms": trailing / 1e3,
        "cpu_program_s": cpu_s["program"],
        "cpu_server_s": cpu_s["server"],
        "cpu_others_s": cpu_s["others"],
        "cpu_simulator_s": cpu_s["simulator"],
        "cpu_pct": 100.0 * (cpu_s["program"] + cpu_s["server"]) / (run_us / 1e6),
        "load": os.getloadavg()[0],
    }


def web_split(result, bridge_log):
    """The web page's turn-arounds seen from the bridge between the
    navigator.serial stand-in and the simulator: from the last chunk of a
    reply the bridge read to the next request it got, the run's last
    exchanges. That is the browser's share (the stand-in's WebSocket both
    ways, the stand-in and the page); the rest of the program's turn-around
    is the bridge's and the pseudo-terminal's."""
    turns, last = [], None
    with open(bridge_log) as f:
        for line in f:
            fields = line.split()
            if len(fields) < 2 or not fields[0].isdigit():
                continue
            if fields[1] == "D>H":
                last = int(fields[0])
            elif fields[1] == "H>D":
                if last is not None:
                    turns.append(int(fields[0]) - last)
                last = None
    turns = turns[-result["exchanges"]:]
    result["browser_turn_s"] = sum(turns) / 1e6
    result["browser_turn_median_us"] = statistics.median(turns) if turns else 0.0
    return result


def web_section(runs):
    """Where the web page's turn-arounds go, per exchange."""
    web = [r for r in runs if "browser_turn_s" in r]
    if not web:
        return []
    lines = ["", "## The web page's turn-arounds (T62, paced simulator)", "",
             "| run | exchanges | program turn ms per exchange (median) | of it in the browser (median) "
             "| in the bridge and the pseudo-terminal | ratio | load |", "|---|---|---|---|---|---|---|"]
    for r in web:
        n = max(r["exchanges"], 1)
        lines.append("| %s | %d | %.2f (%.2f) | %.2f (%.2f) | %.2f | %.3f | %.2f |" % (
            r["name"], r["exchanges"], 1e3 * r["host_turn_s"] / n, r["host_turn_median_us"] / 1e3,
            1e3 * r["browser_turn_s"] / n, r["browser_turn_median_us"] / 1e3,
            1e3 * (r["host_turn_s"] - r["browser_turn_s"]) / n, r["ratio"], r["load"]))
    lines += ["", "*in the browser*: from the bridge's log, from the last chunk of a reply it read from the "
              "simulator to the next request the page sent it: the stand-in's WebSocket both ways through "
              "Chromium, the stand-in's streams and the page. *in the bridge and the pseudo-terminal*: the "
              "rest of the program turn, the bridge (Python) reading the pseudo-terminal and writing it."]
    return lines


def percentile(values, p):
    if not values:
        return 0.0
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def analyse_idle(name, stamps):
    marks, cpu, _ = read_stamps(stamps)
    span = (marks["speed-final"] - marks["speed-start"]) / 1e6
    cpu_s = cpu_split(cpu)
    return {
        "name": name,
        "target": "idle",
        "run_s": span,
        "cpu_program_s": cpu_s["program"],
        "cpu_server_s": cpu_s["server"],
        "cpu_others_s": cpu_s["others"],
        "cpu_pct": 100.0 * (cpu_s["program"] + cpu_s["server"]) / span,
        "load": os.getloadavg()[0],
    }


# ---- Report ----

TARGETS = "ratio <= 1.05, CPU <= 5 % of the run, final message <= 250 ms after the last byte"


def load_results(directory):
    results = []
    for name in sorted(os.listdir(directory)):
        if name.endswith(".json"):
            with open(os.path.join(directory, name)) as f:
                results.append(json.load(f))
    return results


def linear_fit(xs, ys):
    n = len(xs)
    mx, my = sum(xs) / n, sum(ys) / n
    sxx = sum((x - mx) ** 2 for x in xs)
    slope = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sxx if sxx else 0.0
    intercept = my - slope * mx
    ss_res = sum((y - intercept - slope * x) ** 2 for x, y in zip(xs, ys))
    ss_tot = sum((y - my) ** 2 for y in ys)
    return slope, intercept, 1 - ss_res / ss_tot if ss_tot else 1.0


def image_text(r):
    if r["target"] == "zq3":
        return "%d records" % r["image_bytes"]
    if r["image_bytes"] % 1024 == 0:
        return "%d KiB" % (r["image_bytes"] // 1024)
    return "%d B" % r["image_bytes"]


def analyse_multi(name, boards, image_bytes, one_path, all_path, sim_ticks):
    def read(path):
        with open(path) as f:
            wall, user, system = (float(x) for x in f.read().split()[:3])
        return wall, user + system
    one_s, one_cpu = read(one_path)
    all_s, all_cpu = read(all_path)
    with open("/proc/loadavg") as f:
        load = float(f.read().split()[0])
    return {"name": name, "target": "bench", "boards": boards, "image_bytes": image_bytes,
            "one_s": one_s, "one_cpu_s": one_cpu, "all_s": all_s, "all_cpu_s": all_cpu,
            "ratio": all_s / one_s, "cpu_pct_per_board": 100.0 * all_cpu / boards / all_s,
            "one_cpu_pct": 100.0 * one_cpu / one_s, "sim_cpu_s": sim_ticks / CLOCK_TICKS, "load": load}


def report(directory):
    results = load_results(directory)
    benches = sorted((r for r in results if r["target"] == "bench"), key=lambda r: r["name"])
    results = [r for r in results if r["target"] != "bench"]
    runs = sorted((r for r in results if r["target"] != "idle"),
                  key=lambda r: (r["name"].startswith("native-"), r["name"]))
    idle = [r for r in results if r["target"] == "idle"]
    simulator = ""
    if os.path.exists(os.path.join(directory, "simulator.txt")):
        with open(os.path.join(directory, "simulator.txt")) as f:
            simulator = f.read().strip()
    head = ("| run | baud | image | bytes H>D / D>H | line s | limit s | ratio | program ratio "
            "| program turn s | simulator s | press to final s | final after last byte ms "
            "| CPU s program + server | CPU % | load |")
    rule = "|" + "---|" * (head.count("|") - 1)
    out = ["# Update time against the wire limit", "",
           "Simulator: `%s`. Targets: %s; T62 time linear in image size." % (simulator, TARGETS), "",
           head, rule]
    for r in runs:
        native = r["name"].startswith("native-")
        misses = []
        if r["ratio"] > 1.05:
            misses.append("ratio")
        if r["cpu_pct"] > 5.0:
            misses.append("CPU")
        if not native and r["final_after_last_ms"] > 250:
            misses.append("final")
        flag = "" if not misses else " **(" + ", ".join(misses) + ")**"
        if native:
            final = "-"
        else:
            final = "%.0f" % r["final_after_last_ms"]
            if r["trailing_pause_ms"]:
                final += " (+%.0f prescribed)" % r["trailing_pause_ms"]
        out.append("| %s%s | %d | %s | %d / %d | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %s "
                   "| %.2f + %.2f | %.1f | %.2f |" % (
                       r["name"], flag, r["baud"], image_text(r), r["bytes_h2d"], r["bytes_d2h"],
                       r["line_s"], r["limit_s"], r["ratio"], r["program_ratio"], r["host_turn_s"],
                       r["dev_turn_s"] + r.get("dev_late_s", 0.0), r["run_s"], final, r["cpu_program_s"],
                       r["cpu_server_s"], r["cpu_pct"], r["load"]))
    out += ["",
            "*line*: the run's first request byte to the end of its last byte, from the simulator's "
            "transcript. *limit*: bytes each way x 10 bits / baud, plus the pauses the protocol prescribes "
            "between them (ZQ3: 200 ms after 0x35). *ratio*: line / limit. *program turn*: the program's "
            "turn-arounds summed, each from the moment the last byte of a reply reached it to its next "
            "request byte (for the ZQ3's one-byte replies an upper bound: the paced simulator takes no host "
            "byte sooner than one byte time after the host's last). *simulator*: the simulator's own "
            "turn-arounds and the time its replies' last bytes went out late. *program ratio*: (limit + "
            "program turn) / limit, the run on a wire with a device that answers at once. The paced "
            "simulator counts a host byte from its arrival and a device byte from its departure, so a run "
            "on it may take less than the limit (one byte time per turn of the line). *final after last "
            "byte*: from the end of the last byte (and the pause the protocol prescribes after it) to the "
            "moment the window driver saw the final text; the driver polls every 40 ms. *CPU*: utime + "
            "stime of the program and of wineserver from the press to the final text (native rows: the "
            "native process alone). *load*: 1-minute load average at the end of the run. Rows whose name "
            "starts with native- are the same update by the core built natively, without Wine; native-ftdiMS- "
            "ones with the simulator behind a modelled USB adapter (62-byte packets, sent when full or when "
            "its latency timer of MS ms runs out): what an FTDI adapter costs at its default 16 ms and at "
            "1 ms.", ""]
    idle_text = {"idle-polling": "The window driver polling a text every 40 ms, the program idle",
                 "idle-quiet": "The program idle, the window driver asleep"}
    for r in idle:
        out.append("%s: %.2f + %.2f s CPU (program + server) in %.1f s, %.2f %% of the time." % (
            idle_text.get(r["name"], r["name"]), r["cpu_program_s"], r["cpu_server_s"], r["run_s"], r["cpu_pct"]))
    t62 = sorted((r for r in runs if r["target"] == "t62" and r["name"].startswith("t62-")),
                 key=lambda r: r["image_bytes"])
    if len({r["image_bytes"] for r in t62}) >= 2:
        xs = [r["image_bytes"] / 1024 for r in t62]
        slope, intercept, r2 = linear_fit(xs, [r["line_s"] for r in t62])
        rslope, rintercept, rr2 = linear_fit([r["rows"] for r in t62], [r["line_s"] for r in t62])
        out += ["", "T62 line time against image size: %.4f s per KiB + %.3f s (R^2 %.5f); against rows "
                "written: %.2f ms per row + %.3f s (R^2 %.5f)." % (slope, intercept, r2, rslope * 1e3,
                                                                  rintercept, rr2)]
        plot(directory, t62, slope, intercept)
    out += command_line_section(runs)
    out += web_section(runs)
    out += bench_section(benches)
    text = "\n".join(out) + "\n"
    with open(os.path.join(directory, "speed.md"), "w") as f:
        f.write(text)
    sys.stdout.write(text)


def command_line_section(runs):
    """The command line's T62 update (cli-t62-N) against the Windows
    program's (t62-N) on the same paced simulator: time from the start of
    the update to its final message, and the command line's CPU time."""
    lines = []
    for cli in sorted({r["image_bytes"] for r in runs if r["name"].startswith("cli-")}):
        mine = [r for r in runs if r["name"].startswith("cli-") and r["image_bytes"] == cli]
        theirs = [r for r in runs if r["name"].startswith("t62-") and r["image_bytes"] == cli]
        if not mine:
            continue
        if not lines:
            lines = ["", "## The command line against the Windows program (T62, paced simulator)", "",
                     "Targets: update time within 1.02 of the Windows program's; CPU time at most 2 % of "
                     "the run.", "",
                     "| image | ridorez update s (runs) | RIdorez.exe press to final s (runs) | ratio "
                     "| ridorez CPU s, whole process | CPU % of the run |", "|---|---|---|---|---|---|"]
        t_mine = statistics.median(r["run_s"] for r in mine)
        cpu = statistics.median(r.get("cpu_whole_s", r["cpu_program_s"]) for r in mine)
        if theirs:
            t_theirs = statistics.median(r["run_s"] for r in theirs)
            ratio = "%.3f" % (t_mine / t_theirs)
            theirs_text = "%.3f (%s)" % (t_theirs, ", ".join("%.3f" % r["run_s"] for r in theirs))
        else:
            ratio, theirs_text = "-", "-"
        lines.append("| %s | %.3f (%s) | %s | %s | %.3f | %.2f |" % (
            image_text(mine[0]), t_mine, ", ".join("%.3f" % r["run_s"] for r in mine), theirs_text, ratio,
            cpu, 100.0 * cpu / t_mine))
    if lines:
        lines += ["", "*ridorez update*: from its running line (\"Programming T62 PIC....\", printed as it "
                  "starts the worker) to its final message, both read from its output in a pipe. *press to "
                  "final*: as in the table above. *CPU*: user + system time of the whole ridorez process "
                  "(bash's time), load and probe included. Medians of the runs."]
    return lines


def bench_section(benches):
    """One ridorez updating many T62s at once (bench-t62-N) against one
    board alone in the same run."""
    if not benches:
        return []
    lines = ["", "## A bench: many T62s at once from one command (command line, paced simulators)", "",
             "Targets: the boards all done within 1.10 x the time of one alone; at most 1 % CPU per board.", "",
             "| run | boards | image | one alone s | all at once s | ratio | CPU s, all at once | CPU % per board "
             "| one alone CPU % | simulators' CPU s | load |", "|---|---|---|---|---|---|---|---|---|---|---|"]
    for r in benches:
        misses = []
        if r["ratio"] > 1.10:
            misses.append("ratio")
        if r["cpu_pct_per_board"] > 1.0:
            misses.append("CPU")
        flag = "" if not misses else " **(" + ", ".join(misses) + ")**"
        lines.append("| %s%s | %d | %d KiB | %.3f | %.3f | %.3f | %.3f | %.2f | %.2f | %.2f | %.2f |" % (
            r["name"], flag, r["boards"], r["image_bytes"] // 1024, r["one_s"], r["all_s"], r["ratio"],
            r["all_cpu_s"], r["cpu_pct_per_board"], r["one_cpu_pct"], r["sim_cpu_s"], r["load"]))
    lines += ["", "*one alone*, *all at once*: wall time of the whole `ridorez update t62` (load, probe, update, "
              "final message; bash's time), first with one port, then with a `--port` for each board, each board a "
              "paced simulator of its own. *ratio*: all at once / one alone. *CPU*: user + system time of ridorez "
              "and its worker processes; *per board*: that over the boards and the wall time. *simulators' CPU*: "
              "the simulators' own, during the bench (not the program's). *load*: 1-minute load average at the "
              "end."]
    return lines


def plot(directory, t62, slope, intercept):
    data = os.path.join(directory, "t62-size.dat")
    with open(data, "w") as f:
        f.write("# KiB line_s limit_s run_s\n")
        for r in t62:
            f.write("%g %.4f %.4f %.4f\n" % (r["image_bytes"] / 1024, r["line_s"], r["limit_s"], r["run_s"]))
    png = os.path.join(directory, "t62-size.png")
    script = "\n".join([
        "set terminal pngcairo size 900,800 font 'sans,11'",
        "set output '%s'" % png,
        "set multiplot layout 2,1 title 'T62 update at 115200 baud, RIdorez.exe under Wine, paced simulator'",
        "set xlabel 'image size (KiB)'",
        "set ylabel 'time (s)'",
        "set key top left box opaque",
        "set grid",
        "f(x) = %g * x + %g" % (slope, intercept),
        "plot '%s' using 1:4 with points pt 6 ps 1.5 title 'press Update to final message', \\" % data,
        "     '%s' using 1:2 with points pt 7 ps 1.2 title 'on the line (transcript)', \\" % data,
        "     '%s' using 1:3 with linespoints lw 2 dt 2 pt 2 title 'wire limit', \\" % data,
        "     f(x) with lines lw 1 title 'least squares: %.3f s per KiB + %.2f s'" % (slope, intercept),
        "set ylabel 'time / wire limit'",
        "set yrange [0.95:1.3]",
        "set key top right box opaque",
        "plot '%s' using 1:($4/$3) with points pt 6 ps 1.5 title 'press Update to final message', \\" % data,
        "     '%s' using 1:($2/$3) with points pt 7 ps 1.2 title 'on the line', \\" % data,
        "     1.05 with lines dt 2 lw 2 title 'target for the line'",
        "unset multiplot",
    ])
    subprocess.run(["gnuplot"], input=script.encode(), check=True)


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    cmd = argv[1]
    if cmd == "images":
        make_images(argv[2], [int(s) for s in argv[3:]])
    elif cmd == "stamp":
        sys.exit(stamp(argv[2], argv[3], argv[4:]))
    elif cmd == "run":
        name, target, baud, image_bytes, transcript, stamps, out = argv[2:9]
        result = analyse_run(name, target, int(baud), int(image_bytes), transcript, stamps)
        if len(argv) > 9:
            # The whole process's CPU time ("user system" seconds, bash's time).
            with open(argv[9]) as f:
                user, system = (float(x) for x in f.read().split()[:2])
            result["cpu_whole_s"] = user + system
            result["cpu_whole_pct"] = 100.0 * (user + system) / result["run_s"]
        with open(out, "w") as f:
            json.dump(result, f, indent=1)
        print("speed: %s: line %.3f s, limit %.3f s, ratio %.3f (program %.3f), press to final %.3f s, "
              "final %.0f ms after the last byte, CPU %.1f %%" % (
                  name, result["line_s"], result["limit_s"], result["ratio"], result["program_ratio"],
                  result["run_s"], result["final_after_last_ms"], result["cpu_pct"]))
    elif cmd == "web-split":
        path, bridge_log = argv[2:4]
        with open(path) as f:
            result = web_split(json.load(f), bridge_log)
        with open(path, "w") as f:
            json.dump(result, f, indent=1)
        print("speed: %s: in the browser %.3f s of the program's %.3f s of turn-arounds" % (
            result["name"], result["browser_turn_s"], result["host_turn_s"]))
    elif cmd == "idle":
        name, stamps, out = argv[2:5]
        result = analyse_idle(name, stamps)
        with open(out, "w") as f:
            json.dump(result, f, indent=1)
        print("speed: %s: CPU %.2f %% over %.1f s" % (name, result["cpu_pct"], result["run_s"]))
    elif cmd == "multi":
        name, boards, image_bytes, one, every, ticks, out = argv[2:9]
        result = analyse_multi(name, int(boards), int(image_bytes), one, every, int(ticks))
        with open(out, "w") as f:
            json.dump(result, f, indent=1)
        print("speed: %s: %d boards at once %.3f s, one alone %.3f s, ratio %.3f, CPU %.2f %% per board" % (
            name, result["boards"], result["all_s"], result["one_s"], result["ratio"],
            result["cpu_pct_per_board"]))
    elif cmd == "report":
        report(argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
