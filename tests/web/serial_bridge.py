#!/usr/bin/python3
"""The far side of the page tests' navigator.serial stand-in: a WebSocket
server on 127.0.0.1 that carries each byte between the page and a serial
device (the simulator's pseudo-terminal).

  serial_bridge.py --device PATH --log FILE [--port N]

Each WebSocket connection is one open of the port. Its first message, text,
is {"open": OPTIONS} with the options the page gave port.open(); the bridge
then opens PATH and sets its line to them (raw, baudRate, 8N1), as a
serial driver would, and answers {"opened": true}; a device that does not
open ends the connection instead. Binary messages are bytes for the device; a text
message {"signals": {...}} is a setSignals() call, and {"close": true} the
port's close(): the bridge closes the device, then answers {"closed": true}.
Bytes from the device go back as binary messages. A connection that ends
without a close closes the device too.

A connection whose first message is {"watch": true} is told whether the
device is there, {"present": true|false}, at once and at every change: the
adapter pulled out and plugged in again (the simulator's link gone, then
back to a new pseudo-terminal).

The log has a line for each chunk each way and for each event, with the
time in microseconds since the bridge started:

  812345 H>D 115200 55 55 00 01 ff 04
  813001 D>H 115200 55 55 00 01 05 05 02 f8 04
  900000 note open 9600 8N1 flow none

It prints "listening PORT" when it is ready, and runs until killed.
"""
import argparse
import asyncio
import json
import os
import sys
import termios
import time

import websockets

START = time.monotonic()


class Log:
    def __init__(self, path):
        self.file = open(path, "w", buffering=1)

    def line(self, text):
        self.file.write("%d %s\n" % (int((time.monotonic() - START) * 1e6), text))

    def bytes(self, direction, baud, data):
        self.line("%s %d %s" % (direction, baud, " ".join("%02x" % b for b in data)))


def open_device(path, options):
    baud = options["baudRate"]
    speed = getattr(termios, "B%d" % baud, None)
    if speed is None:
        raise ValueError("no line speed %d" % baud)
    if (options.get("dataBits", 8), options.get("stopBits", 1), options.get("parity", "none")) != (8, 1, "none"):
        raise ValueError("only 8N1 is carried: %r" % options)
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    attrs = termios.tcgetattr(fd)
    attrs[0] = 0                                                # iflag: raw input
    attrs[1] = 0                                                # oflag: raw output
    attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL     # cflag: 8 bits, no parity, one stop bit
    attrs[3] = 0                                                # lflag: no echo, no canonical mode
    attrs[4] = attrs[5] = speed
    attrs[6][termios.VMIN] = 0
    attrs[6][termios.VTIME] = 0
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd, baud


async def write_all(loop, fd, data):
    """Writes all of data to the device, waiting for room as the system
    tells it rather than polling: a full line takes the next bytes as soon
    as it has room."""
    view = memoryview(data)
    while view:
        try:
            view = view[os.write(fd, view):]
        except BlockingIOError:
            room = loop.create_future()
            loop.add_writer(fd, lambda: room.done() or room.set_result(None))
            try:
                await room
            finally:
                loop.remove_writer(fd)


def device_id(path):
    """What the device's link leads to now; None when it is not there."""
    try:
        return os.path.realpath(path, strict=True)
    except OSError:
        return None


async def watch(ws, device, log):
    seen = device_id(device)
    await ws.send(json.dumps({"present": seen is not None}))
    while True:
        await asyncio.sleep(0.02)
        now = device_id(device)
        if now == seen:
            continue
        if seen is not None:
            log.line("note device gone")
            await ws.send(json.dumps({"present": False}))
        if now is not None:
            log.line("note device back")
            await ws.send(json.dumps({"present": True}))
        seen = now


async def serve(ws, device, log):
    loop = asyncio.get_running_loop()
    fd = None
    baud = 0
    try:
        first = json.loads(await ws.recv())
        if first.get("watch"):
            await watch(ws, device, log)
            return
        options = first["open"]
        try:
            fd, baud = open_device(device, options)
        except (OSError, ValueError) as error:
            log.line("note open failed: %s" % error)
            await ws.close(code=4000, reason=str(error)[:100])
            return
        log.line("note open %d 8N1 flow %s" % (baud, options.get("flowControl", "none")))
        await ws.send(json.dumps({"opened": True}))

        def readable():
            try:
                data = os.read(fd, 4096)
            except BlockingIOError:
                return
            except OSError as error:
                log.line("note device read failed: %s" % error)
                loop.remove_reader(fd)
                asyncio.ensure_future(ws.close(code=4001, reason="device gone"))
                return
            if data:
                log.bytes("D>H", baud, data)
                asyncio.ensure_future(ws.send(data))

        loop.add_reader(fd, readable)
        async for message in ws:
            if fd is None:
                continue
            if isinstance(message, bytes):
                log.bytes("H>D", baud, message)
                await write_all(loop, fd, message)
            else:
                request = json.loads(message)
                if request.get("close"):
                    # The page's close: let go of the device before it goes on.
                    loop.remove_reader(fd)
                    os.close(fd)
                    fd = None
                    log.line("note close")
                    await ws.send(json.dumps({"closed": True}))
                    continue
                signals = request.get("signals", {})
                log.line("note signals %s" % " ".join("%s=%d" % (k, int(v)) for k, v in sorted(signals.items())))
    except websockets.ConnectionClosed:
        pass
    finally:
        if fd is not None:
            loop.remove_reader(fd)
            os.close(fd)
            log.line("note close")


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--device", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    log = Log(args.log)
    server = await websockets.serve(lambda ws, *_: serve(ws, args.device, log), "127.0.0.1", args.port,
                                    max_size=None, compression=None)
    port = server.sockets[0].getsockname()[1]
    print("listening %d" % port, flush=True)
    await asyncio.Future()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
