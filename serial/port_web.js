// The browser's side of the page's serial channels (port_web.cpp): the one
// Web Serial port the user chose, opened at the speed a channel asks for,
// with the bytes it receives queued for the channel's reads. A read waits
// for its bytes or its time-out; a write for the browser to take its bytes.
//
// A browser hands back a re-plugged USB adapter as a new port object, and
// the old one never opens again: once the chosen port's device has gone, or
// the browser has told of one plugged in, the next open takes the port that
// getPorts() lists with the same USB ids (the one that came back, when
// several are alike), with no chooser.
Module.webSerial = (function () {
  var port = null;      // the chosen port, kept for the session
  var unplugged = false;  // the chosen port's device went away since it was last opened
  var plugged = false;  // the browser told of a port plugged in since
  var cameBack = null;  // that port, when the event named it
  var isOpen = false;
  var closing = false;
  var broken = false;   // the port stopped while open (unplugged)
  var reason = '';      // why the last open failed, or why the port stopped
  var refused = false;  // the system refused the last open of a port still there
  var listened = null;  // the port whose disconnect event we listen for
  var reader = null;
  var writer = null;
  var pumping = null;   // the loop that queues what the port receives
  var lines = { dtr: false, rts: false };
  var line = 0;         // the number of the current open; each open a new one
  var chunks = [];      // received and not yet read, oldest first
  var first = 0;        // bytes of chunks[0] already read
  var count = 0;        // bytes queued
  var wake = null;      // the read waiting for bytes
  var want = 0;         // how many bytes it waits for: a chunk that leaves
                        // it short does not wake it (a reply comes in many)
  var closeLimitMs = 2000;

  function notify() {
    var w = wake;
    wake = null;
    if (w) w();
  }

  // The port stopped under an open line: the reads and writes of that line
  // fail from now on, and a read waiting for bytes ends at once.
  function lose(text) {
    if (!isOpen || closing || broken) return;
    broken = true;
    reason = text;
    notify();
  }

  // The adapter went away: the page says so beside the run's own message.
  function gone() {
    if (!unplugged && Module.page && Module.page.adapterGone) Module.page.adapterGone();
    unplugged = true;
  }

  // The browser tells of an unplugged device at once; its streams may only
  // fail later. A port object without events (not every stand-in has them)
  // still ends its streams when the device goes.
  function onDisconnect() {
    gone();
    lose('The device has been lost.');
  }

  function onConnect(e) {
    plugged = true;
    if (e && e.target && typeof e.target.open === 'function') cameBack = e.target;
  }
  if (navigator.serial && typeof navigator.serial.addEventListener === 'function')
    navigator.serial.addEventListener('connect', onConnect);

  function usbIds(p) {
    var info = typeof p.getInfo === 'function' ? p.getInfo() : {};
    return info.usbVendorId === undefined ? null : [info.usbVendorId, info.usbProductId];
  }

  function sameDevice(a, b) {
    var x = usbIds(a), y = usbIds(b);
    return x !== null && y !== null && x[0] === y[0] && x[1] === y[1];
  }

  // The chosen port, or the one that stands for it since a re-plug.
  async function follow() {
    if (port === null || !(unplugged || plugged)) return;
    var ports;
    try {
      ports = await navigator.serial.getPorts();
    } catch (e) {
      return;
    }
    var alike = ports.filter(function (p) { return p === port || sameDevice(p, port); });
    if (alike.length === 0) return;  // not back yet
    // A second adapter of the same kind plugged in beside a chosen one that
    // stayed never takes its place.
    var back = alike.indexOf(cameBack) >= 0;
    var next = unplugged && back ? cameBack : alike.indexOf(port) >= 0 ? port : back ? cameBack : alike[alike.length - 1];
    plugged = false;
    cameBack = null;
    if (next !== port) {
      port = next;
      listen();
    }
  }

  function listen() {
    if (listened === port) return;
    if (listened !== null && typeof listened.removeEventListener === 'function')
      listened.removeEventListener('disconnect', onDisconnect);
    listened = port;
    if (port !== null && typeof port.addEventListener === 'function')
      port.addEventListener('disconnect', onDisconnect);
  }

  async function pump() {
    while (port.readable && !closing) {
      reader = port.readable.getReader();
      try {
        for (;;) {
          var got = await reader.read();
          if (got.done) break;
          if (got.value && got.value.length) {
            chunks.push(got.value);
            count += got.value.length;
            if (count >= want) notify();
          }
        }
      } catch (e) {
        // A line error (framing, overrun) loses what it hit; the port goes
        // on with a new stream. A lost device leaves none.
        if (!broken) reason = (e && e.message) || String(e);
      } finally {
        reader.releaseLock();
        reader = null;
      }
    }
    if (!closing && !broken) {
      gone();
      lose(reason || 'The device has been lost.');
    }
    notify();
  }

  function take(ptr, n) {
    var done = 0;
    while (done < n) {
      var chunk = chunks[0];
      var k = Math.min(n - done, chunk.length - first);
      HEAPU8.set(chunk.subarray(first, first + k), ptr + done);
      done += k;
      first += k;
      if (first === chunk.length) {
        chunks.shift();
        first = 0;
      }
    }
    count -= n;
    return n;
  }

  function purge() {
    chunks = [];
    first = 0;
    count = 0;
  }

  // Opens the port for a channel: the line's number (above 0), or -4 when
  // no port was chosen or it did not open, or -6 when its DTR and RTS could
  // not be set (it is closed again then); reason() then says why.
  async function open(baud, dtr, rts) {
    reason = '';
    refused = false;
    if (isOpen) await close(0, true);
    await follow();
    if (port === null) return -4;
    try {
      await port.open({ baudRate: baud, dataBits: 8, stopBits: 1, parity: 'none', flowControl: 'none' });
    } catch (e) {
      reason = (e && e.message) || String(e);
      // The browser says no more than that the system did not open it: of
      // a port that is still plugged in, most likely as another program
      // holds it.
      refused = !unplugged && !!e && e.name === 'NetworkError';
      return -4;
    }
    // DTR and RTS as the line wants them before anything else: a device
    // powered from them (the keyer) is without them from the close before.
    var signals = null;
    try {
      await port.setSignals({ dataTerminalReady: dtr, requestToSend: rts });
    } catch (e) {
      signals = (e && e.message) || String(e);
    }
    isOpen = true;
    broken = false;
    if (unplugged && Module.page && Module.page.adapterBack) Module.page.adapterBack();
    unplugged = false;
    lines = { dtr: dtr, rts: rts };
    line += 1;
    writer = port.writable.getWriter();
    pumping = pump();
    if (signals !== null) {
      await close(line, false);
      reason = signals;
      return -6;
    }
    return line;
  }

  // Closes line n (0: whichever is open). A channel whose line another
  // open has replaced closes nothing.
  async function close(n, keepQueue) {
    if (!isOpen || (n !== 0 && n !== line)) return;
    closing = true;
    if (reader) {
      try { await reader.cancel(); } catch (e) { /* already gone */ }
    }
    await pumping;
    try { writer.releaseLock(); } catch (e) { /* already released */ }
    writer = null;
    // A browser whose aborted write still holds the port never ends its
    // close: the page goes on after a while, with the port taken for lost.
    var given = null;
    var waited = new Promise(function (resolve) { given = setTimeout(resolve, closeLimitMs); });
    try { await Promise.race([port.close(), waited]); } catch (e) { /* the device has gone */ }
    clearTimeout(given);
    isOpen = false;
    closing = false;
    if (!keepQueue) purge();
    notify();
  }

  function current(n) { return isOpen && !broken && n === line; }

  // Why line l cannot be used: -2 when its port stopped (unplugged), -1 when
  // another open replaced it or it was closed.
  function failure(l) { return l === line && isOpen && broken ? -2 : -1; }

  async function read(l, ptr, n, timeoutMs) {
    if (l !== line) return -1;
    var deadline = timeoutMs ? performance.now() + timeoutMs : Infinity;
    want = n;
    while (count < n && current(l)) {
      var left = deadline - performance.now();
      if (left <= 0) break;
      await new Promise(function (resolve) {
        var timer = left === Infinity ? null : setTimeout(resolve, left);
        wake = function () {
          if (timer !== null) clearTimeout(timer);
          resolve();
        };
      });
      wake = null;
    }
    if (count === 0 && !current(l)) return failure(l);
    return take(ptr, Math.min(n, count));
  }

  // A write that the browser has not taken within timeoutMs: the adapter
  // stopped taking bytes. That leaves the run as stuck as a device that has
  // gone, so the line is lost from then on, and the write is aborted, which
  // lets the port close (a stuck write would hold its stream, and the
  // port's close with it).
  async function write(l, ptr, n, timeoutMs) {
    if (!current(l)) return failure(l);
    // A copy: a write given up on must not read the caller's buffer later.
    var data = HEAPU8.slice(ptr, ptr + n);
    var stuck = writer;
    var sent = stuck.write(data).then(function () { return n; }, function (e) {
      lose((e && e.message) || String(e));
      return failure(l);
    });
    var timer = null;
    var late = new Promise(function (resolve) { timer = setTimeout(function () { resolve(null); }, timeoutMs); });
    var result = await Promise.race([sent, late]);
    clearTimeout(timer);
    if (result !== null) return result;
    lose('the line took 0 of ' + n + ' bytes in ' + timeoutMs + ' ms');
    stuck.abort(new DOMException(reason, 'TimeoutError')).catch(function () { /* already failed */ });
    return failure(l);
  }

  // A new speed for line l: closed and opened again, under the same number.
  async function setSpeed(l, baud) {
    if (!current(l)) return 0;
    await close(l, true);
    var opened = await open(baud, lines.dtr, lines.rts);
    if (opened > 0) line = l;
    return opened > 0 ? 1 : 0;
  }

  // The port chooser, from a button press (the browser asks for one). A
  // port chosen before is kept unless always; a cancelled chooser keeps it.
  // 2 when another port than the one held was chosen, 1 when the one held
  // stays, 0 when there is none.
  async function choose(always) {
    if (!navigator.serial) return 0;
    if (port !== null && !always) return 1;
    var chosen;
    try {
      chosen = await navigator.serial.requestPort();
    } catch (e) {
      return port !== null ? 1 : 0;
    }
    if (chosen !== port) {
      await close(0, false);
      port = chosen;
      unplugged = false;
      plugged = false;
      listen();
      return 2;
    }
    return 1;
  }

  // A port this page was given before, in this session or an earlier one.
  async function restore() {
    if (!navigator.serial || port !== null) return;
    try {
      var ports = await navigator.serial.getPorts();
      if (ports.length > 0 && port === null) {
        port = ports[0];
        listen();
      }
    } catch (e) { /* none */ }
  }

  // The chosen port's USB vendor and product ids as vendor * 65536 +
  // product; -1 for a port that is not a USB device, -2 when none is chosen.
  function usbId() {
    if (port === null) return -2;
    var ids = usbIds(port);
    return ids === null ? -1 : ids[0] * 65536 + ids[1];
  }

  return {
    open: open, close: close, read: read, write: write, setSpeed: setSpeed,
    queued: function (l) { return l === line ? count : 0; },
    purge: function (l) { if (l === line) purge(); },
    choose: choose, restore: restore, usbId: usbId,
    chosen: function () { return port !== null; },
    reason: function () { return reason; },
    refused: function () { return refused; },
  };
})();
