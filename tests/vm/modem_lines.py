#!/usr/bin/env python3
"""The FT232 adapter's DTR and RTS over time, from QEMU's trace of its
control requests (-trace usb_serial_handle_control -msg timestamp=on): each
modem-control request (0x4001: bit 8 says DTR is set to bit 0, bit 9 RTS to
bit 1) and each speed request (0x4003), and how long DTR and RTS stayed up
each time they were raised.

  tests/vm/modem_lines.py TRACE [--events]
"""
import re
import sys

LINE = re.compile(r'^\d+@(\d+\.\d+):usb_serial_handle_control dev \S+ got control (0x[0-9a-f]+), value (0x[0-9a-f]+)')
FT232_BAUD_BASE = 3000000


def ft232_baud(value):
    # The divisor's integer part in bits 0-13, its eighths in bits 14-15 (the
    # speed request's index carries a third bit, not in the trace).
    eighths = {0: 0, 1: 4, 2: 2, 3: 1}[(value >> 14) & 3]
    divisor = (value & 0x3fff) * 8 + eighths
    return round(FT232_BAUD_BASE * 8 / divisor) if divisor else FT232_BAUD_BASE


def main():
    events = '--events' in sys.argv
    path = [a for a in sys.argv[1:] if not a.startswith('--')][0]
    state = {'DTR': 0, 'RTS': 0}
    since = {}
    raised = {'DTR': [], 'RTS': []}
    start = None
    for line in open(path, errors='replace'):
        m = LINE.match(line)
        if not m:
            continue
        t = float(m.group(1))
        start = t if start is None else start
        request, value = int(m.group(2), 16), int(m.group(3), 16)
        if request == 0x4003 and events:
            print(f'{t - start:10.3f} s  speed {ft232_baud(value)}')
        if request != 0x4001:
            continue
        for name, mask, bit in (('DTR', 0x100, 0), ('RTS', 0x200, 1)):
            if not value & mask:
                continue
            new = (value >> bit) & 1
            if new and not state[name]:
                since[name] = t
            elif state[name] and not new:
                raised[name].append((since[name] - start, (t - since[name]) * 1000))
            state[name] = new
        if events:
            print(f'{t - start:10.3f} s  DTR {"on " if state["DTR"] else "off"} RTS {"on" if state["RTS"] else "off"}'
                  f'  (0x{value:04x})')
    for name in ('DTR', 'RTS'):
        spans = raised[name]
        still = f', and up since {since[name] - start:.3f} s at the end' if state[name] else ''
        if spans:
            ms = sorted(d for _, d in spans)
            print(f'{name}: raised {len(spans)} times, up {ms[0]:.1f} to {ms[-1]:.1f} ms '
                  f'(median {ms[len(ms) // 2]:.1f}){still}')
        else:
            print(f'{name}: never raised and dropped{still}')


main()
