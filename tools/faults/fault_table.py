#!/usr/bin/env python3
"""The fault table's helper (scripts/faults.sh runs it): what a simulated
device holds, how long a driven step took, and the table itself.

  fault_table.py t62-state MEMORY FLAT ROWS FILL
      what the T62 memory file holds against the loaded image (FLAT, the
      0x40000 bytes an image store holds after loading it): address 0 (the
      fallback row, the image's vectors, erased, or the old contents), the
      vector rows, and how many of the ROWS application rows from 0xC00 hold
      the image
  fault_table.py psoc-state MEMORY FLAT FILL
      how many of the 216 blocks hold the image
  fault_table.py keyer-state LOG EXPECT
      how much of a whole upload (EXPECT, the record log it leaves) the
      keyer's record log ends with
  fault_table.py elapsed STAMPS
      seconds from the line "t-start" to the line "t-final" of a driver run
      stamped by tools/speed/speed.py
  fault_table.py commands TRANSCRIPT DEVICE
      the number of commands DEVICE took (the simulator's note at its stop)
  fault_table.py moment TRANSCRIPT
      the command a fault met ("write #3"), from the simulator's note
  fault_table.py row FILE KEY=VALUE...
      appends one result (a JSON object) to FILE
  fault_table.py table ROWS OUT.md SECONDS
      writes the table from the results

Each state is printed as one line of text for the table. Standard library
only.
"""

import json
import re
import sys
from collections import OrderedDict

T62_ROW = 0x100          # image bytes per row
T62_APP = 0x1800         # image offset of target address 0xC00
PSOC_BLOCK = 64
PSOC_BLOCKS = 216
FALLBACK = bytes([0x00, 0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00]) + b'\xff' * (T62_ROW - 8)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def significant(row):
    """The bytes the T62 stores: every fourth (the pad byte) left out."""
    return bytes(b for i, b in enumerate(row) if i % 4 != 3)


def t62_row_kind(row, flat_row, fill):
    s = significant(row)
    if s == significant(flat_row):
        return 'image'
    if s == significant(FALLBACK):
        return 'fallback'
    if s == b'\xff' * len(s):
        return 'erased'
    if s == bytes([fill]) * len(s):
        return 'old'
    return 'mixed'


def t62_state(memory, flat, rows, fill):
    kinds = [t62_row_kind(memory[o:o + T62_ROW], flat[o:o + T62_ROW], fill)
             for o in range(0, 4 * T62_ROW, T62_ROW)]
    zero = {'image': "the image's vectors", 'fallback': 'the fallback row (a jump to the loader at 0x400)',
            'erased': 'erased rows (0xFF)', 'old': 'the old firmware', 'mixed': 'neither the image nor the fallback row'}
    text = 'address 0: ' + zero[kinds[0]]
    if kinds[1:] != ['image'] * 3 and kinds[0] == 'image':
        text += ' (vector rows 1-3: %s)' % ', '.join(kinds[1:])
    # The application rows a run programs, and of them those the image
    # gives data (the others it writes erased).
    offsets = [T62_APP + k * T62_ROW for k in range(rows)]
    app = [t62_row_kind(memory[o:o + T62_ROW], flat[o:o + T62_ROW], fill) for o in offsets]
    data = [k for k, o in enumerate(offsets) if significant(flat[o:o + T62_ROW]) != b'\xff' * 192]
    done = sum(1 for k in data if app[k] == 'image')
    end = 0xC00 + rows * 0x80 - 1
    text += '; application (0xC00-0x%X): ' % end
    if done == len(data):
        text += 'all %d rows of the image' % len(data)
    else:
        what = {'erased': 'erased', 'old': 'the old firmware', 'mixed': 'mixed', 'fallback': 'mixed', 'image': ''}
        parts = sorted(set(what[app[k]] for k in data if app[k] != 'image'))
        text += '%d of the image\'s %d rows, the others %s' % (done, len(data), ' or '.join(parts))
    done = sum(1 for k in app if k == 'image')
    whole = kinds == ['image'] * 4 and done == rows
    return text, whole


def psoc_state(memory, flat, fill):
    same = [memory[n * PSOC_BLOCK:(n + 1) * PSOC_BLOCK] == flat[n * PSOC_BLOCK:(n + 1) * PSOC_BLOCK]
            for n in range(PSOC_BLOCKS)]
    count = sum(same)
    if count == PSOC_BLOCKS:
        return 'all 216 blocks hold the image', True
    first = same.index(False)
    old = sum(1 for n in range(PSOC_BLOCKS)
              if not same[n] and memory[n * PSOC_BLOCK:(n + 1) * PSOC_BLOCK] == bytes([fill]) * PSOC_BLOCK)
    return ('blocks 0-%d hold the image, %d of the other %d the old contents'
            % (first - 1, old, PSOC_BLOCKS - count) if first > 0 else
            'no block holds the image (%d of 216 the old contents)' % old), False


def keyer_state(log, expect):
    lines = log.decode().splitlines()
    want = expect.decode().splitlines()
    if len(lines) >= len(want) and lines[len(lines) - len(want):] == want:
        return 'a whole upload of the image (%d frames)' % len(want), True
    return '%d frames written, no whole upload of the image' % len(lines), False


def stamps(path):
    marks = {}
    with open(path) as f:
        for raw in f:
            parts = raw.rstrip('\n').split(' ', 2)
            if len(parts) == 3 and parts[1] == 'line' and parts[2] in ('t-start', 't-final'):
                marks.setdefault(parts[2], int(parts[0]))
    if 't-start' not in marks or 't-final' not in marks:
        return None
    return (marks['t-final'] - marks['t-start']) / 1e6


def commands(transcript, device):
    for line in open(transcript):
        m = re.search(r' note commands %s: any (\d+)' % device, line)
        if m:
            return int(m.group(1))
    return 0


def t62_payload(words):
    """The payload of a T62 request frame (hex words from 55 55 to 04)."""
    body, escaped = [], False
    for w in words[2:]:
        b = int(w, 16)
        if not escaped and b == 0x05:
            escaped = True
            continue
        if not escaped and b == 0x04:
            break
        body.append(b)
        escaped = False
    return body[:-1]


def describe(kind, words):
    """A command as the table names it, from the request's bytes."""
    if kind in ('read', 'write', 'erase') and len(words) > 2:
        p = t62_payload(words)
        if len(p) >= 5:
            return '%s 0x%03X' % (kind, p[2] | p[3] << 8 | p[4] << 16)
    if kind == 'block' and len(words) > 1:
        return 'block %d' % int(words[1], 16)
    if kind == 'record' and len(words) > 2:
        return 'record 0x%04X' % (int(words[1], 16) << 8 | int(words[2], 16))
    return {'speed': '35 (speed change)', 'end': '5A (end)', 'handover': 'hand-over'}.get(kind, kind)


def moment(transcript):
    """The command a fault met, named by what it asked for: the request is
    the last bytes the host sent before the fault's note."""
    request = []
    for line in open(transcript):
        words = line.split()
        if len(words) > 3 and words[1] == 'H>D':
            request = words[3:]
        m = re.search(r' note fault \S+ on \S+ (\S+) #\d+$', line.rstrip('\n'))
        if m:
            return describe(m.group(1), request)
    return ''


# ---- The table ----

TARGETS = OrderedDict([('t62', 'T62 (PIC firmware loader, 115200 baud)'),
                       ('psoc', 'PSoC (boot loader, 19200 baud)'),
                       ('zq3', 'ZQ3 keyer IC (1200 and 9600 baud)')])


def cell(text):
    return str(text).replace('|', '\\|').replace('\n', ' ')


def secs(value):
    try:
        return '%.1f s' % float(value)
    except (TypeError, ValueError):
        return value or ''


def rows_table(rows):
    out = ['| fault | simulated by | what the user sees | after | the device holds afterwards '
           '| next steps tried | what to do |',
           '|---|---|---|---|---|---|---|']
    for r in rows:
        out.append('| %s |' % ' | '.join(cell(x) for x in (
            r['fault'], '`%s`' % r['how'] if r.get('how') else '', r['seen'], secs(r.get('secs')),
            r.get('after', ''), r.get('trail', ''), r.get('advice', ''))))
    return out


def sweep_section(target, points):
    if not points:
        return ['Not run.']
    good = sum(1 for p in points if p.get('completed') == 'yes')
    out = ['%d of %d moments leave a device that the next update, or the recovery update, completes.'
           % (good, len(points))]
    if target == 't62':
        # What the T62 would start after a power cycle, moment by moment.
        held = OrderedDict()
        for p in points:
            zero = p.get('after', '').split(';')[0].replace('address 0: ', '')
            if zero.startswith("the image's vectors ("):
                zero = "the image's first vector row, a later one erased"
            held[zero] = held.get(zero, 0) + 1
        out.append('Address 0 afterwards: %s.' % '; '.join('%s at %d' % (k, n) for k, n in held.items()))
    out += ['',
           '| power lost at | what the user sees | after | the device holds afterwards | what completes the update |',
           '|---|---|---|---|---|']
    # Neighbouring moments with the same outcome share a line.
    groups = []
    for p in points:
        key = (p['seen'], p.get('after', ''), p.get('advice', ''))
        if groups and groups[-1][0] == key:
            groups[-1][1].append(p)
        else:
            groups.append((key, [p]))
    for key, members in groups:
        where = ', '.join('%s (%s)' % (m['n'], m.get('moment', '')) for m in members)
        times = [float(m['secs']) for m in members if m.get('secs') not in (None, '')]
        span = ('%.1f s' % min(times) if min(times) == max(times) else '%.1f-%.1f s' % (min(times), max(times))
                if times else '')
        out.append('| %s |' % ' | '.join(cell(x) for x in (where, key[0], span, key[1], key[2])))
    return out


def table(rows_path, out_path, seconds):
    results = [json.loads(line) for line in open(rows_path) if line.strip()]
    rows = [r for r in results if r.get('kind') == 'row']
    sweeps = [r for r in results if r.get('kind') == 'sweep']
    meta = next((r for r in results if r.get('kind') == 'meta'), {})
    doc = ['# What each fault does to an update', '',
           'Written by `bash scripts/faults.sh` (%s minutes on this machine, %s); every row is a run of '
           '`RIdorez.exe` under Wine, driven through its windows by `tools/uidriver`, against the device '
           'simulator (`tools/devsim`) with the fault in the second column. Regenerate it with '
           '`bash scripts/faults.sh`.' % (round(float(seconds) / 60), meta.get('when', '')), '',
           meta.get('setup', ''), '', meta.get('notes', ''), '',
           'Columns: *what the user sees* is the exact text (status line of the uploader, a message box, '
           'or the main window\'s lines for a probe); *after* is the time from pressing the button (Update, '
           'or the probe) until it shows; *the device holds afterwards* is read from the simulated '
           'device\'s memory right after the failure; *next steps tried* are run in this order until one '
           'completes: the update again from the same dialog (load, Update), then Exit and a new probe '
           'from the main window followed by the update (in recovery mode when the ZQ3 probe says '
           '"Click FW Update"), then a power cycle of the device and the same.', '']
    for target, title in TARGETS.items():
        mine = [r for r in rows if r['target'] == target]
        if not mine:
            continue
        doc += ['## %s' % title, ''] + rows_table(mine) + ['']
    doc += ['## Power lost at each moment of an update', '',
            meta.get('sweep', ''), '']
    for target, title in TARGETS.items():
        points = [p for p in sweeps if p['target'] == target]
        doc += ['### %s' % title, ''] + sweep_section(target, points) + ['']
    with open(out_path, 'w') as f:
        f.write('\n'.join(doc).rstrip('\n') + '\n')


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    cmd, args = argv[1], argv[2:]
    if cmd == 't62-state':
        text, whole = t62_state(read(args[0]), read(args[1]), int(args[2]), int(args[3], 0))
    elif cmd == 'psoc-state':
        text, whole = psoc_state(read(args[0]), read(args[1]), int(args[2], 0))
    elif cmd == 'keyer-state':
        text, whole = keyer_state(read(args[0]), read(args[1]))
    elif cmd == 'elapsed':
        value = stamps(args[0])
        print('' if value is None else '%.2f' % value)
        return
    elif cmd == 'commands':
        print(commands(args[0], args[1]))
        return
    elif cmd == 'moment':
        print(moment(args[0]))
        return
    elif cmd == 'row':
        record = OrderedDict()
        for pair in args[1:]:
            key, _, value = pair.partition('=')
            record[key] = value
        with open(args[0], 'a') as f:
            f.write(json.dumps(record) + '\n')
        return
    elif cmd == 'table':
        table(args[0], args[1], args[2])
        return
    else:
        sys.exit(__doc__)
    print(text)
    sys.exit(0 if whole else 1)


if __name__ == '__main__':
    main(sys.argv)
