#!/usr/bin/env python3
"""Writes a ZQ3 keyer image for the end-to-end tests, and the record log the
simulated keyer must hold after a whole upload of it.

  keyer_image.py OUT --version V --variant K [--phase1] [--blank SLOT]...
                 [--expect LOG]

OUT is Intel HEX text (CR LF lines, 16 data bytes a line on 16-byte
boundaries, so one record per slot of 8 program words). Slots 0-955 get
data, except the --blank ones; --phase1 adds slots 1000-1003 and 1012-1015;
slots 960 and 1020 always get data too, although an upload never sends them.
Slot 0's word 3 carries the version V and the variant code K, with the bytes
0x30 and 0x32 exchanged as the updater expects them.

The number of data records is printed. LOG gets one line per frame of a whole
upload, in the simulator's memory-file form:
  <command> <word address> <16 data bytes> 9600
"""
import argparse
import sys

FIRST, LAST = 4, 955
PHASE1 = [1012, 1013, 1014, 1015, 1000, 1001, 1002, 1003]
UNSENT = [960, 1020]
BLANK = bytes([0xFF, 0x3F] * 8)


def exchanged(byte):
    return {0x30: 0x32, 0x32: 0x30}.get(byte, byte)


def slot_data(slot):
    # Fourteen-bit program words, low byte first, different in every slot.
    data = bytearray()
    for word in range(8):
        value = (slot * 37 + word * 1103 + 0x155) & 0x3FFF
        data += bytes([value & 0xFF, value >> 8])
    return data


def hex_line(address, data):
    body = bytes([len(data), address >> 8, address & 0xFF, 0]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ':' + (body + bytes([checksum])).hex().upper() + '\r\n'


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('out')
    ap.add_argument('--version', type=int, required=True)
    ap.add_argument('--variant', type=int, required=True)
    ap.add_argument('--phase1', action='store_true')
    ap.add_argument('--blank', type=int, action='append', default=[])
    ap.add_argument('--expect')
    args = ap.parse_args()

    slots = {}
    for slot in list(range(0, LAST + 1)) + UNSENT + (PHASE1 if args.phase1 else []):
        if slot not in args.blank:
            slots[slot] = slot_data(slot)
    slots[0][6] = exchanged(args.version)
    slots[0][7] = exchanged(args.variant)

    with open(args.out, 'w', newline='') as f:
        for slot in sorted(slots):
            f.write(hex_line(16 * slot, slots[slot]))
        f.write(':00000001FF\r\n')
    print(len(slots))

    if args.expect:
        order = (PHASE1 if args.phase1 else []) + list(range(FIRST, LAST + 1)) + [0, 1, 2, 3]
        with open(args.expect, 'w') as f:
            for slot in order:
                command = '2e' if slot == 3 else '1b'
                data = slots.get(slot, BLANK)
                f.write('%s %04x %s 9600\n' % (command, 8 * slot, bytes(data).hex()))
    return 0


if __name__ == '__main__':
    sys.exit(main())
