#!/usr/bin/env python3
"""The fault campaign: one fault at every exchange of a small update, for
each target, judged by what the simulated device holds.

  campaign.py --ridorez PATH --devsim PATH --work DIR --out FILE.md
              [--jobs N] [--only t62,psoc,zq3] [--quick] [--pairs]
              [--class CLASS] [--paced]

For each run: a simulator with one fault (tools/devsim --fault), `ridorez
update` against it with a time limit, the device's memory read (SIGUSR2),
then, when the run failed and the device can still hear, the update again
on the same simulator (the fault does not come back: it is tied to one
occurrence of a command). A run is
  - a false success when ridorez said success (exit 0) and the device does
    not hold the image, or the device holds it and ridorez said failure
    after nothing was left to do (reported, not counted as false success);
  - a hang when ridorez did not end within its limit;
  - stranded when the update again did not complete.
With --pairs, each run has two faults instead: a reply sent twice early
on (a stray reply the host must not take for the next one's), then one of
the single faults later; the update again is tried once per fault.
With --class, only the runs of that fault class (for pairs, of that later
fault); with --paced, the simulator hands over each byte in its time on
the line, as a serial port without a USB adapter's buffering does.
Writes the table per target and fault class to FILE.md (the pairs' table
in a section of its own, which a run of the other kind keeps) and every
run's outcome to the work folder as campaign-runs.jsonl.
"""
import argparse
import concurrent.futures
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, 'tools', 'faults'))
import fault_table  # noqa: E402  the memory judges of the fault table

T62_FILL = 0x3C
PSOC_FILL = 0x00
LIMIT_S = {'t62': 60, 'psoc': 60, 'zq3': 90}
OUTAGE_MS = 1000


# ---- Images ----

def hex_file(path, pieces):
    lines = []
    for offset, data in pieces:
        for i in range(0, len(data), 16):
            at = offset + i
            if i == 0 or at % 0x10000 == 0:
                rec = [2, 0, 0, 4, (at >> 24) & 0xFF, (at >> 16) & 0xFF]
                lines.append(':' + ''.join('%02X' % b for b in rec) + '%02X' % (-sum(rec) & 0xFF))
            chunk = data[i:i + 16]
            rec = [len(chunk), (at >> 8) & 0xFF, at & 0xFF, 0] + list(chunk)
            lines.append(':' + ''.join('%02X' % b for b in rec) + '%02X' % (-sum(rec) & 0xFF))
    lines.append(':00000001FF')
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


def flat(pieces, size):
    image = bytearray(b'\xff' * size)
    for offset, data in pieces:
        image[offset:offset + len(data)] = data
    return bytes(image)


def make_images(work):
    rng = random.Random(28)
    noise = lambda n: bytes(rng.randrange(256) for _ in range(n))  # noqa: E731
    images = {}
    # T62: 1 KiB of vectors and 1 KiB of application, one erase unit.
    t62 = [(0, noise(1024)), (0x1800, noise(1024))]
    hex_file(os.path.join(work, 't62.hex'), t62)
    images['t62'] = flat(t62, 0x40000)
    psoc = [(0, noise(0x3600))]
    hex_file(os.path.join(work, 'psoc.hex'), psoc)
    images['psoc'] = flat(psoc, 0x3600)
    # A smaller image, as most are: 64 blocks of data, the rest erased, so
    # that blocks alike follow one another and an echo can pass for the
    # next block's.
    short = [(0, noise(0x1000))]
    hex_file(os.path.join(work, 'psoc-short.hex'), short)
    images['psoc-short'] = flat(short, 0x3600)
    subprocess.run([sys.executable, os.path.join(ROOT, 'tests', 'e2e', 'keyer_image.py'),
                    os.path.join(work, 'zq3.hex'), '--version', '31', '--variant', '3', '--phase1',
                    '--expect', os.path.join(work, 'zq3.expect')], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, 'zq3.expect'), 'rb') as f:
        images['zq3'] = f.read()
    return images


# ---- The runs of each target ----

FRAMED = [('corrupt', ''), ('wrong-command', ''), ('wrong-address', ''), ('cut', ':4'), ('late', ':2000'),
          ('double', ''), ('drop', ''), ('ignore', ''), ('noop', ''),
          ('power', ':%d' % OUTAGE_MS), ('unplug', ':%d' % OUTAGE_MS)]


def t62_runs():
    # One erase unit: the fallback (erase 1, write 1), the unit (erase 2,
    # writes 2-9 each read back, reads 1-8), the vectors (erase 3, writes
    # 10-13, reads 9-12); the probe's identify.
    exchanges = [('identify', 1)] + [('erase', n) for n in range(1, 4)] + \
        [('write', n) for n in range(1, 14)] + [('read', n) for n in range(1, 13)]
    runs = []
    for kind, n in exchanges:
        for fault, arg in FRAMED:
            if kind in ('identify', 'read') and fault == 'noop':
                continue
            runs.append((fault, '%s:%s:%d%s' % (fault, kind, n, arg)))
        if kind == 'read':
            runs.append(('diff', 'diff:read:%d' % n))
            runs.append(('stale', 'stale:read:%d' % n))
    return runs


def psoc_runs(quick):
    runs = []
    # The identify reply ('3' and the version) and the finish's A5: every
    # value of the byte that decides.
    for value in range(256):
        if value != 0xA5:
            runs.append(('reply byte', 'reply:finish:1:0x%02x' % value))
    for value in range(256):
        if value != ord('3'):
            runs.append(('reply byte', 'reply:identify:1:0x%02x' % value))
    blocks = range(1, 217, 8 if quick else 1)
    for n in blocks:
        for fault, arg in [('corrupt', ''), ('wrong-address', ''), ('cut', ':30'), ('late', ':2000'),
                           ('double', ''), ('drop', ''), ('ignore', ''),
                           ('power', ':%d' % OUTAGE_MS), ('unplug', ':%d' % OUTAGE_MS)]:
            runs.append((fault, '%s:block:%d%s' % (fault, n, arg)))
    for fault, arg in [('corrupt', ''), ('late', ':2000'), ('double', ''), ('drop', ''), ('ignore', ''),
                       ('power', ':%d' % OUTAGE_MS), ('unplug', ':%d' % OUTAGE_MS)]:
        runs.append((fault, '%s:finish:1%s' % (fault, arg)))
    return runs


def zq3_runs(quick):
    runs = []
    # Frames 1 and 8 (phase 1), 9 (the first of phase 2), 500, 960 (the
    # last of phase 2), 964 (the last frame, 0x2E): every reply byte.
    positions = [1, 9, 500, 964] if quick else [1, 8, 9, 500, 960, 964]
    for n in positions:
        for value in range(256):
            if value != 0x3C:
                runs.append(('reply byte', 'reply:record:%d:0x%02x' % (n, value)))
    # The echo after the hand-over (the second: the first is the probe's):
    # every value but AA.
    for value in range(256):
        if value != 0xAA:
            runs.append(('reply byte', 'reply:echo:2:0x%02x' % value))
    sampled = [1, 2, 8, 9, 10, 100, 300, 500, 700, 955, 960, 961, 963, 964]
    for n in sampled:
        for fault, arg in [('corrupt', ''), ('late', ':2500'), ('double', ''), ('drop', ''), ('ignore', ''),
                           ('noise', ':3'), ('power', ':%d' % OUTAGE_MS), ('unplug', ':%d' % OUTAGE_MS)]:
            runs.append((fault, '%s:record:%d%s' % (fault, n, arg)))
    for kind, n in [('echo', 2), ('handover', 1), ('speed', 1), ('end', 1)]:
        for fault, arg in [('drop', ''), ('ignore', ''), ('late', ':2500'), ('double', ''),
                           ('power', ':%d' % OUTAGE_MS), ('unplug', ':%d' % OUTAGE_MS)]:
            runs.append((fault, '%s:%s:%d%s' % (fault, kind, n, arg)))
    return runs


# ---- Pairs: a reply sent twice early, then one single fault later ----

# The first fault of each pair, by target, and the later exchanges (kind,
# occurrence) at which each single fault of the target comes second, a
# sample of the run: both ends, the neighbour of the first fault, the middle.
PAIR_FIRST = {
    't62': ['double:erase:1', 'double:write:1', 'double:read:1'],
    'psoc': ['double:block:1', 'double:block:100'],
    'zq3': ['double:echo:2', 'double:record:1', 'double:record:478'],
}
PAIR_LATER = {
    't62': [('erase', 2), ('write', 2), ('read', 2), ('write', 9), ('read', 8), ('erase', 3), ('write', 13),
            ('read', 12)],
    'psoc': [('block', 2), ('block', 50), ('block', 101), ('block', 150), ('block', 216), ('finish', 1)],
    'zq3': [('record', 2), ('record', 9), ('record', 479), ('record', 500), ('record', 956), ('record', 963),
            ('record', 964)],
}
PAIR_FAULTS = {
    't62': FRAMED,
    'psoc': [('corrupt', ''), ('wrong-address', ''), ('cut', ':30'), ('late', ':2000'), ('double', ''),
             ('drop', ''), ('ignore', ''), ('power', ':%d' % OUTAGE_MS), ('unplug', ':%d' % OUTAGE_MS)],
    'zq3': [('corrupt', ''), ('late', ':2500'), ('double', ''), ('drop', ''), ('ignore', ''), ('noise', ':3'),
            ('power', ':%d' % OUTAGE_MS), ('unplug', ':%d' % OUTAGE_MS)],
}


def pair_runs(target):
    runs = []
    for first in PAIR_FIRST[target]:
        _, first_kind, first_n = first.split(':')
        for kind, n in PAIR_LATER[target]:
            if kind == first_kind and n <= int(first_n):
                continue
            for fault, arg in PAIR_FAULTS[target]:
                if (kind in ('read', 'finish') and fault in ('noop', 'wrong-address', 'cut')) or \
                        (kind == 'finish' and fault == 'wrong-command'):
                    continue
                runs.append((first + ' then ' + fault, '%s %s:%s:%d%s' % (first, fault, kind, n, arg)))
    return runs


# ---- One run ----

class Target:
    def __init__(self, name, device, fill_args, image_file, judge):
        self.name, self.device, self.fill_args, self.image_file, self.judge = \
            name, device, fill_args, image_file, judge


def judge_t62(image):
    return lambda memory: fault_table.t62_state(memory, image, 8, T62_FILL)[1]


def judge_psoc(image):
    return lambda memory: fault_table.psoc_state(memory, image, PSOC_FILL)[1]


def judge_zq3(expect):
    return lambda memory: fault_table.keyer_state(memory, expect)[1]


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.02)
    return predicate()


def transcript_count(path, text):
    try:
        with open(path, errors='replace') as f:
            return f.read().count(text)
    except OSError:
        return 0


def read_memory(sim, memory, transcript):
    """The device's memory now: the simulator writes it on SIGUSR2."""
    before = transcript_count(transcript, ' note memory written')
    try:
        os.unlink(memory)
    except OSError:
        pass
    sim.send_signal(signal.SIGUSR2)
    wait_for(lambda: transcript_count(transcript, ' note memory written') > before and os.path.exists(memory), 5)
    try:
        with open(memory, 'rb') as f:
            return f.read()
    except OSError:
        return b''


def update(args, target, link, log):
    start = time.monotonic()
    with open(log, 'ab') as out:
        try:
            p = subprocess.run([args.ridorez, 'update', target.name, target.image_file, '--port', link, '--quiet'],
                               stdout=out, stderr=out, timeout=LIMIT_S[target.name])
            return p.returncode, time.monotonic() - start
        except subprocess.TimeoutExpired:
            return None, time.monotonic() - start


# A paced simulator the machine held back may send a reply's copy late (it
# says so in its transcript): a host cannot tell such a copy from an answer
# to its next request, and no device sends one, so the run proves nothing
# and is run again.
LATE_COPY = " reply's copy went out"
LATE_COPY_RUNS = 3


def one_run(args, target, fault_class, fault, index):
    for attempt in range(LATE_COPY_RUNS):
        result = one_attempt(args, target, fault_class, fault, index)
        if not result.get('late_copy'):
            break
    if attempt:
        result['late_copy_runs'] = attempt
    return result


def one_attempt(args, target, fault_class, fault, index):
    work = os.path.join(args.work, '%s-%05d' % (target.name, index))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    link, memory, transcript = (os.path.join(work, n) for n in ('line', 'memory', 'transcript'))
    log = os.path.join(work, 'ridorez.log')
    faults = fault.split()
    sim = subprocess.Popen([args.devsim, '--link', link, '--device', target.device, '--memory', memory,
                            '--transcript', transcript] + [a for f in faults for a in ('--fault', f)] +
                           target.fill_args + (['--paced'] if args.paced else []),
                           stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, 'devsim.log'), 'wb'))
    result = {'target': target.name, 'class': fault_class, 'fault': fault}
    try:
        if not wait_for(lambda: os.path.exists(link), 5):
            result['error'] = 'the simulator did not start'
            return result
        code, secs = update(args, target, link, log)
        result['exit'], result['secs'] = code, round(secs, 2)
        if code is None:
            result['hang'] = True
            # The program was killed; the device may still be mid-run.
            time.sleep(0.5)
        whole = target.judge(read_memory(sim, memory, transcript))
        result['whole'] = whole
        result['false_success'] = code == 0 and not whole
        if code == 0 and whole:
            return result
        # The user's next step: the update again, once the adapter is back
        # and the device has its power; once more for each further fault,
        # which may be waiting for a later occurrence of its command.
        for _ in faults:
            if 'unplug' in fault:
                wait_for(lambda: transcript_count(transcript, ' note plugged in again') >=
                         transcript_count(transcript, ' note unplugged'), 5)
            if 'power' in fault:
                time.sleep(OUTAGE_MS / 1000 + 0.1)
            again, secs = update(args, target, link, log)
            result['again_exit'], result['again_secs'] = again, round(secs, 2)
            result['again_runs'] = result.get('again_runs', 0) + 1
            whole = target.judge(read_memory(sim, memory, transcript))
            result['again_whole'] = whole
            if again is None:
                result['hang'] = True
            if again == 0 and not whole:
                result['false_success'] = True
            if again == 0 or again is None:
                break
        result['stranded'] = not (again == 0 and whole)
        return result
    finally:
        sim.terminate()
        try:
            sim.wait(5)
        except subprocess.TimeoutExpired:
            sim.kill()
            sim.wait()
        if transcript_count(transcript, LATE_COPY) > 0:
            result['late_copy'] = True
            result['false_success'] = False
        bad = result.get('false_success') or result.get('hang') or result.get('stranded') or result.get('error')
        if bad and args.keep_dir:
            shutil.copytree(work, os.path.join(args.keep_dir, os.path.basename(work)), dirs_exist_ok=True)
        shutil.rmtree(work, ignore_errors=True)


# ---- The table ----

PAIRS_HEADING = '## Pairs of faults'


def kept_pairs_section(path):
    """The pairs' section of the table file as it stands, or ''."""
    try:
        with open(path) as f:
            text = f.read()
    except OSError:
        return ''
    at = text.find(PAIRS_HEADING)
    return text[at:] if at >= 0 else ''


def write_pairs(path, results, seconds, jobs):
    """Replaces the pairs' section of the table file (keeping the rest)."""
    rows = {}
    for r in results:
        first, later = r['fault'].split()
        kind = later.split(':')[1]
        key = (r['target'], first, kind, later.split(':')[0])
        row = rows.setdefault(key, {'runs': 0, 'false': 0, 'hangs': 0, 'stranded': 0, 'failed': 0,
                                    'completed': 0, 'again': 0})
        row['runs'] += 1
        row['false'] += bool(r.get('false_success'))
        row['hangs'] += bool(r.get('hang'))
        row['stranded'] += bool(r.get('stranded'))
        row['again'] = max(row['again'], r.get('again_runs', 0))
        if r.get('exit') == 0:
            row['completed'] += 1
        elif 'exit' in r:
            row['failed'] += 1
    total = {k: sum(row[k] for row in rows.values()) for k in ('runs', 'false', 'hangs', 'stranded')}
    lines = [PAIRS_HEADING, '',
             'Written by `scripts/campaign.sh --pairs`: two faults in one simulator, a reply sent twice early '
             'in the run (a stray reply that must not pass for the next exchange\'s answer), then one single '
             'fault at a later exchange (the later exchange counted over the whole simulator run, so it may '
             'meet the update again instead). Judged as above; the update again is tried once per fault '
             '(a fault can cost one run), and a run is stranded when the last of them did not complete. '
             'Sampled, not the full cross product: the first faults below, and each single fault of the '
             'target at these later exchanges: T62 erase 2 and 3, write 2, 9 and 13, read 2, 8 and 12; '
             'PSoC block 2, 50, 101, 150 and 216 and the finish (on an image of 64 blocks of data and the '
             'rest erased, so that alike blocks follow one another); ZQ3 record 2, 9, 479, 500, 956, 963 '
             'and 964. A later exchange at or before the first fault is left out.', '',
             totals_line(results, total, seconds, jobs), '',
             '| target | first fault | later exchange | later fault | runs | completed | failed | '
             'false successes | hangs | stranded |',
             '|---|---|---|---|---|---|---|---|---|---|']
    for (target, first, kind, fault), row in sorted(rows.items()):
        lines.append('| %s | `%s` | %s | %s | %d | %d | %d | %d | %d | %d |' % (
            target, first, kind, fault, row['runs'], row['completed'], row['failed'], row['false'],
            row['hangs'], row['stranded']))
    try:
        with open(path) as f:
            text = f.read()
    except OSError:
        text = ''
    at = text.find(PAIRS_HEADING)
    head = text[:at] if at >= 0 else (text + '\n' if text else '')
    with open(path, 'w') as f:
        f.write(head + '\n'.join(lines) + '\n')


def totals_line(results, total, seconds, jobs):
    """The table's line of totals, with the runs no fault judged."""
    line = '%d runs in %d s (%d at a time); false successes %d, hangs %d, stranded %d.' % (
        total['runs'], seconds, jobs, total['false'], total['hangs'], total['stranded'])
    late = sum(1 for r in results if r.get('late_copy'))
    if late:
        line += (' %d runs not judged: the simulator sent a reply\'s copy late in each of %d tries, which no '
                 'device does.' % (late, LATE_COPY_RUNS))
    return line


def write_table(path, results, seconds, jobs):
    classes = {}
    for r in results:
        key = (r['target'], r['fault'].split(':')[1], r['class'])
        row = classes.setdefault(key, {'runs': 0, 'false': 0, 'hangs': 0, 'stranded': 0, 'failed': 0,
                                       'completed': 0, 'error': 0})
        row['runs'] += 1
        row['false'] += bool(r.get('false_success'))
        row['hangs'] += bool(r.get('hang'))
        row['stranded'] += bool(r.get('stranded'))
        row['error'] += bool(r.get('error'))
        if r.get('exit') == 0:
            row['completed'] += 1
        elif 'exit' in r:
            row['failed'] += 1
    total = {k: sum(row[k] for row in classes.values()) for k in ('runs', 'false', 'hangs', 'stranded', 'error')}
    lines = ['# The fault campaign', '',
             'Written by `scripts/campaign.sh`: for each target, one fault at each exchange of a small update '
             '(`ridorez update` against the simulator), judged by what the simulated device then holds. '
             'A **false success** is a run that said success while the device does not hold the image; '
             'a **hang**, a run not ended within its limit (%s s); **stranded**, a failed run after which '
             'the update again (same program, same device) did not complete. "Completed" runs are those the '
             'fault did not stop (a retry took it, or the fault changed nothing); "failed" ended with an '
             'error and the update again was tried.' % ', '.join('%s %d' % kv for kv in LIMIT_S.items()), '',
             totals_line(results, total, seconds, jobs), '',
             '| target | exchange | fault class | runs | completed | failed | false successes | hangs | stranded |',
             '|---|---|---|---|---|---|---|---|---|']
    for (target, kind, cls), row in sorted(classes.items()):
        lines.append('| %s | %s | %s | %d | %d | %d | %d | %d | %d |' % (
            target, kind, cls, row['runs'], row['completed'], row['failed'], row['false'], row['hangs'],
            row['stranded']))
    lines += ['', 'The faults (the simulator\'s `--fault` forms; N is the command\'s occurrence in the run):', '',
              '- T62 (one erase unit: 3 erases, 13 row writes, 12 read-backs, the identify): every framed '
              'reply flipped (`corrupt`), naming another command or address (`wrong-command`, '
              '`wrong-address`, a good frame), cut to 4 bytes (`cut`), 2 s late (`late`), sent twice '
              '(`double`), lost after the command was carried out (`drop`) or with it (`ignore`), '
              'acknowledged but not carried out (`noop`, erases and writes), power lost and the adapter '
              'pulled for 1 s; read-backs also with a wrong data byte (`diff`) and the reply for another '
              'row (`stale`).',
              '- PSoC: every value of the identify\'s first byte and of the finish byte; at every block '
              '(or every eighth, `--quick`) the echo flipped, naming another block, cut to 30 bytes, late, '
              'twice, lost, the block not carried out and lost, power and unplug; the finish likewise.',
              '- ZQ3: every reply byte to the frames 1, 8 (phase 1), 9 (the first of phase 2), 500, 960 '
              '(the last of phase 2) and 964 (the last, 0x2E) (`--quick`: 1, 9, 500, 964), and to the '
              'echo after the hand-over; at 14 sampled frames and at the echo, hand-over, speed change and '
              'end of upload: the reply flipped, late, twice, lost, noise before it, power and unplug.',
              '',
              'Not in the campaign: a record or block acknowledged but not carried out on the ZQ3 and the '
              'PSoC. Neither loader has a command that reads memory back, so no host can tell such a '
              'device from a good one; the T62 loader has one, and the update reads every row back.']
    pairs = kept_pairs_section(path)
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n' + ('\n' + pairs if pairs else ''))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--ridorez', required=True)
    parser.add_argument('--devsim', required=True)
    parser.add_argument('--work', required=True)
    parser.add_argument('--out', required=True)
    parser.add_argument('--jobs', type=int, default=4)
    parser.add_argument('--only', default='t62,psoc,zq3')
    parser.add_argument('--quick', action='store_true')
    parser.add_argument('--pairs', action='store_true', help='the pairs of faults instead of the single faults')
    parser.add_argument('--class', dest='fault_class', default=None,
                        help='only this fault class (double, late, reply byte, ...; for pairs the later fault)')
    parser.add_argument('--paced', action='store_true', help='the simulator sends each byte in its time on the line')
    parser.add_argument('--keep-dir', default=None, help='copy the folders of the runs that went wrong here')
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    images = make_images(args.work)
    targets = {
        't62': Target('t62', 't62', ['--t62-fill', '0x%02x' % T62_FILL], os.path.join(args.work, 't62.hex'),
                      judge_t62(images['t62'])),
        'psoc': Target('psoc', 'psoc', ['--psoc-fill', '0x%02x' % PSOC_FILL], os.path.join(args.work, 'psoc.hex'),
                       judge_psoc(images['psoc'])),
        'zq3': Target('zq3', 'keyer', ['--keyer-variant', 'amber'], os.path.join(args.work, 'zq3.hex'),
                      judge_zq3(images['zq3'])),
    }
    # The pairs' PSoC runs use the image with an erased tail.
    targets['psoc-short'] = Target('psoc', 'psoc', targets['psoc'].fill_args,
                                   os.path.join(args.work, 'psoc-short.hex'), judge_psoc(images['psoc-short']))
    plan = []
    for name in args.only.split(','):
        if args.pairs:
            target = targets['psoc-short' if name == 'psoc' else name]
            plan += [(target, cls, fault) for cls, fault in pair_runs(name)]
            continue
        runs = {'t62': t62_runs, 'psoc': lambda: psoc_runs(args.quick), 'zq3': lambda: zq3_runs(args.quick)}[name]()
        plan += [(targets[name], cls, fault) for cls, fault in runs]
    if args.fault_class:
        plan = [(t, cls, fault) for t, cls, fault in plan if cls.split(' then ')[-1] == args.fault_class]
    print('campaign: %d runs, %d at a time' % (len(plan), args.jobs), file=sys.stderr)
    start = time.monotonic()
    results = []
    lock = threading.Lock()
    runs_path = os.path.join(os.path.dirname(os.path.abspath(args.out)) or '.', 'campaign-runs.jsonl')
    runs_path = os.path.join(args.work, 'campaign-runs.jsonl')
    with open(runs_path, 'w') as runs_file, concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        futures = [pool.submit(one_run, args, t, cls, fault, i) for i, (t, cls, fault) in enumerate(plan)]
        for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
            r = future.result()
            with lock:
                results.append(r)
                runs_file.write(json.dumps(r) + '\n')
                runs_file.flush()
                if r.get('false_success') or r.get('hang') or r.get('stranded') or r.get('error'):
                    print('campaign: %s %s: %s' % (r['target'], r['fault'], json.dumps(r)), file=sys.stderr)
                if done % 200 == 0:
                    print('campaign: %d of %d, %d s' % (done, len(plan), time.monotonic() - start), file=sys.stderr)
    seconds = time.monotonic() - start
    (write_pairs if args.pairs else write_table)(args.out, results, seconds, args.jobs)
    bad = sum(1 for r in results if r.get('false_success') or r.get('hang') or r.get('error'))
    late = sum(1 for r in results if r.get('late_copy'))
    again = sum(1 for r in results if r.get('late_copy_runs'))
    print('campaign: %d runs in %d s; %d false successes or hangs; table in %s; runs in %s' % (
        len(results), seconds, bad, args.out, runs_path), file=sys.stderr)
    if again:
        print('campaign: %d runs run again, the simulator having sent a copy late; %d not judged, late in each of '
              '%d tries' % (again, late, LATE_COPY_RUNS), file=sys.stderr)
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
