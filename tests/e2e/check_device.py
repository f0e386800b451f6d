#!/usr/bin/env python3
"""What the end-to-end tests of the T62 and PSoC updates need beyond the
shell: reproducible image bytes, and checks of the simulated devices'
memory files and of the bytes the host sent.

  check_device.py bytes SEED COUNT
      COUNT pseudo-random bytes, the same for the same SEED, to stdout.

  check_device.py t62-memory MEMORY FLAT FILL STEP...
      MEMORY (the T62 memory file) must hold what a T62 whose significant
      bytes all started as FILL holds after STEP..., in order:
        erase:OFFSET          the erase unit (2048 image bytes) holding OFFSET
        write:OFFSET:LENGTH   the rows of FLAT (the loaded image) there
        fallback              the row at 0 that jumps to the loader
      Offsets are image offsets (twice the target address). As on the
      device, pad bytes (every fourth) read 0x00, an erase sets the others
      to 0xFF, and a write ANDs the data into them.

  check_device.py psoc-memory MEMORY FLAT FILL BLOCKS
      MEMORY (the PSoC memory file) must hold the first BLOCKS blocks of 64
      bytes of FLAT, and FILL after them.

  check_device.py psoc-host-bytes TRANSCRIPT FLAT BLOCKS
      The bytes the host sent at 19200 must be the identify request, blocks
      0 to BLOCKS-1 of FLAT as write-block requests, and the finish byte,
      nothing more.

Exit code 0 when the check holds, 1 with the differences on stdout when it
does not, 2 for a bad command line.
"""
import random
import sys

T62_SIZE = 0x40000
T62_ROW = 0x100
T62_UNIT = 0x800
PSOC_SIZE = 0x3600
PSOC_BLOCK = 64


def number(text):
    return int(text, 0)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def report(label, device, expected, describe, limit=4):
    """Prints the first differences; True when there are none."""
    if len(device) != len(expected):
        print('%s: %d bytes, expected %d' % (label, len(device), len(expected)))
        return False
    bad = [i for i in range(len(device)) if device[i] != expected[i]]
    for i in bad[:limit]:
        print('%s at 0x%05x (%s): 0x%02x, expected 0x%02x' % (label, i, describe(i), device[i], expected[i]))
    if len(bad) > limit:
        print('%s: %d differing bytes in all' % (label, len(bad)))
    return not bad


def t62_memory(memory, flat, fill, steps):
    model = bytearray(T62_SIZE)
    for i in range(T62_SIZE):
        model[i] = 0 if i % 4 == 3 else fill
    touched = []
    for step in steps:
        kind, _, rest = step.partition(':')
        if kind == 'erase':
            start = number(rest) // T62_UNIT * T62_UNIT
            for i in range(start, start + T62_UNIT):
                if i % 4 != 3:
                    model[i] = 0xFF
            touched.append((start, start + T62_UNIT, 'erased'))
        elif kind == 'write':
            offset, length = (number(x) for x in rest.split(':'))
            start = offset // T62_ROW * T62_ROW
            end = -(-(offset + length) // T62_ROW) * T62_ROW
            for i in range(start, end):
                if i % 4 != 3:
                    model[i] &= flat[i]
            touched.append((start, end, 'image'))
        elif kind == 'fallback':
            row = bytes([0x00, 0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00]) + b'\xff' * (T62_ROW - 8)
            for i in range(T62_ROW):
                if i % 4 != 3:
                    model[i] &= row[i]
            touched.append((0, T62_ROW, 'fallback row'))
        else:
            print('unknown step %r' % step)
            sys.exit(2)

    def describe(i):
        for start, end, what in reversed(touched):
            if start <= i < end:
                return what
        return 'untouched'
    return report('T62 memory', memory, bytes(model), describe)


def psoc_memory(memory, flat, fill, blocks):
    end = blocks * PSOC_BLOCK
    expected = flat[:end] + bytes([fill]) * (PSOC_SIZE - end)
    return report('PSoC memory', memory, expected,
                  lambda i: 'block %d, %s' % (i // PSOC_BLOCK, 'sent' if i < end else 'not sent'))


def psoc_host_bytes(transcript, flat, blocks):
    sent = bytearray()
    for line in transcript.decode().splitlines():
        words = line.split()
        if len(words) > 3 and words[1] == 'H>D' and words[2] == '19200':
            sent += bytes(int(w, 16) for w in words[3:])
    expected = bytearray([0xCC])
    for n in range(blocks):
        expected += bytes([0x55, n]) + flat[n * PSOC_BLOCK:(n + 1) * PSOC_BLOCK] + bytes([0x04])
    expected.append(0x5A)

    def describe(i):
        if i == 0:
            return 'identify'
        n, at = divmod(i - 1, 67)
        return 'finish' if n >= blocks else 'block %d byte %d' % (n, at)
    if len(sent) != len(expected):
        whole = (len(sent) - 2) // 67 if len(sent) > 2 else 0
        print('the host sent %d bytes at 19200 (about %d blocks), expected %d (%d blocks)'
              % (len(sent), whole, len(expected), blocks))
        n = min(len(sent), len(expected))
        report('host bytes', bytes(sent[:n]), bytes(expected[:n]), describe)
        return False
    return report('host bytes', bytes(sent), bytes(expected), describe)


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    command, args = argv[1], argv[2:]
    if command == 'bytes' and len(args) == 2:
        sys.stdout.buffer.write(random.Random(args[0]).randbytes(number(args[1])))
        return 0
    if command == 't62-memory' and len(args) >= 3:
        return 0 if t62_memory(read(args[0]), read(args[1]), number(args[2]), args[3:]) else 1
    if command == 'psoc-memory' and len(args) == 4:
        return 0 if psoc_memory(read(args[0]), read(args[1]), number(args[2]), number(args[3])) else 1
    if command == 'psoc-host-bytes' and len(args) == 3:
        return 0 if psoc_host_bytes(read(args[0]), read(args[1]), number(args[2])) else 1
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
