#!/usr/bin/env python3
"""A scripted serial peer on a pseudo-terminal, for replies the device
simulator does not give on request (short or odd answers) and for a device
that never answers.

  scripted_device.py --link PATH [--speed BAUD] [--reply REQUEST=REPLY]...

Links PATH to the pty's slave once it is ready. Whenever the bytes received
end with REQUEST (hex, e.g. 55550001ff04), it writes REPLY (hex) back, if the
host has set the line to BAUD (any speed when --speed is 0 or missing).
Without --reply it answers nothing. SIGTERM removes the link and ends it.
"""
import argparse
import os
import select
import signal
import sys
import termios
import tty

SPEEDS = {getattr(termios, 'B%d' % b): b for b in (
    1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400) if hasattr(termios, 'B%d' % b)}


def parse_rule(text):
    request, _, reply = text.partition('=')
    return bytes.fromhex(request), bytes.fromhex(reply)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--link', required=True)
    ap.add_argument('--speed', type=int, default=0)
    ap.add_argument('--reply', action='append', default=[], type=parse_rule)
    args = ap.parse_args()

    master, slave = os.openpty()
    tty.setraw(slave)
    slave_name = os.ttyname(slave)
    done = []
    signal.signal(signal.SIGTERM, lambda *_: done.append(1))
    signal.signal(signal.SIGINT, lambda *_: done.append(1))
    try:
        os.unlink(args.link)
    except FileNotFoundError:
        pass
    os.symlink(slave_name, args.link)

    received = b''
    try:
        while not done:
            try:
                ready, _, _ = select.select([master], [], [], 0.2)
            except InterruptedError:
                continue
            if not ready:
                continue
            try:
                data = os.read(master, 4096)
            except OSError:
                continue
            received = (received + data)[-512:]
            speed = SPEEDS.get(termios.tcgetattr(slave)[5], 0)
            for request, reply in args.reply:
                if received.endswith(request):
                    received = b''
                    if args.speed in (0, speed):
                        os.write(master, reply)
                    break
    finally:
        try:
            os.unlink(args.link)
        except FileNotFoundError:
            pass
    return 0


if __name__ == '__main__':
    sys.exit(main())
