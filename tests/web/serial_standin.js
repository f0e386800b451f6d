// A stand-in for navigator.serial, installed before the page loads: a
// USB adapter for each bridge (serial_bridge.py; their addresses are
// given separated by spaces) whose bytes go over a WebSocket to it, with the
// standard interface only (requestPort, getPorts, open, close, readable,
// writable, setSignals, getInfo, the connect and disconnect events), so
// that the page cannot lean on anything a browser's own Web Serial lacks.
// requestPort asks for a button press as a browser does, and gives the
// adapter numbered window.__standinChoose (0, the first, unless set), as a
// user picks one in the browser's chooser. open resolves once
// the bridge has opened the device, and fails as a browser's does when it
// cannot. While window.__standinWedged is true the adapter takes no bytes: a
// write waits until the page aborts it.
//
// The bridge tells when the device goes and comes back (a re-plugged
// adapter). As Chromium does, the port object of the device that went fires
// disconnect and never opens again, and the device back is a new port
// object, granted as the old one was, whose connect event reaches
// navigator.serial; with window.__standinSameObject true the old object
// comes back instead.
(function (urls) {
  var serialEvents = new EventTarget();
  window.__standinPorts = urls.length;

  // The second adapter has a product id of its own, so that the page's
  // port label tells the two apart.
  function makePort(url, product) {
    var events = new EventTarget();
    return {
      addEventListener: events.addEventListener.bind(events),
      removeEventListener: events.removeEventListener.bind(events),
      readable: null,
      writable: null,
      _ws: null,
      _dead: false,
      _lost: function () {
        if (this._dead) return;
        this._dead = true;
        events.dispatchEvent(new Event('disconnect'));
      },
      getInfo: function () { return { usbVendorId: 0x0403, usbProductId: product }; },
      open: function (options) {
        var self = this;
        if (self._dead) return Promise.reject(new DOMException('Failed to open serial port.', 'NetworkError'));
        if (self._ws) return Promise.reject(new DOMException('The port is already open.', 'InvalidStateError'));
        if (!options || typeof options.baudRate !== 'number' || options.baudRate <= 0)
          return Promise.reject(new TypeError('baudRate is required'));
        return new Promise(function (resolve, reject) {
          var ws = new WebSocket(url);
          ws.binaryType = 'arraybuffer';
          var failed = function () { reject(new DOMException('Failed to open serial port.', 'NetworkError')); };
          ws.onerror = failed;
          ws.onclose = failed;
          ws.onopen = function () { ws.send(JSON.stringify({ open: options })); };
          ws.onmessage = function () {
            // The bridge's answer: the device is open.
            self._ws = ws;
            var source = null;
            self.readable = new ReadableStream({
              start: function (controller) { source = controller; },
              cancel: function () { source = null; },
            });
            ws.onmessage = function (e) { if (source && typeof e.data !== 'string') source.enqueue(new Uint8Array(e.data)); };
            ws.onclose = function () {
              if (source) { try { source.error(new DOMException('The device has been lost.', 'NetworkError')); } catch (x) {} }
              source = null;
              self.readable = null;
              self.writable = null;
              self._ws = null;
              self._lost();
            };
            self.writable = new WritableStream({
              write: function (chunk, controller) {
                if (ws.readyState !== WebSocket.OPEN) throw new DOMException('The device has been lost.', 'NetworkError');
                // A wedged adapter takes nothing: the write waits until it is
                // aborted, as a browser's does.
                if (window.__standinWedged) {
                  return new Promise(function (resolve, reject) {
                    controller.signal.addEventListener('abort', function () { reject(controller.signal.reason); });
                  });
                }
                ws.send(chunk);
              },
            });
            resolve();
          };
        });
      },
      setSignals: function (signals) {
        if (!this._ws) return Promise.reject(new DOMException('The port is closed.', 'InvalidStateError'));
        this._ws.send(JSON.stringify({ signals: signals }));
        return Promise.resolve();
      },
      close: function () {
        if (!this._ws) return Promise.reject(new DOMException('The port is already closed.', 'InvalidStateError'));
        if ((this.readable && this.readable.locked) || (this.writable && this.writable.locked))
          return Promise.reject(new TypeError('Cannot close a port with a locked stream.'));
        var ws = this._ws;
        this._ws = null;
        this.readable = null;
        this.writable = null;
        // Closed once the bridge has let go of the device, as a browser's
        // close resolves once the system's port is closed.
        return new Promise(function (resolve) {
          ws.onmessage = function (e) { if (typeof e.data === 'string') ws.close(); };
          ws.onclose = function () { resolve(); };
          ws.send(JSON.stringify({ close: true }));
        });
      },
    };
  }

  // Each adapter and the device's comings and goings, from its bridge.
  var adapters = urls.map(function (url, i) {
    var adapter = { port: makePort(url, 0x6001 + 0x14 * i), granted: false };
    var watch = new WebSocket(url);
    watch.onopen = function () { watch.send(JSON.stringify({ watch: true })); };
    watch.onmessage = function (e) {
      var port = adapter.port;
      var present = JSON.parse(e.data).present;
      if (!present) {
        port._lost();
        return;
      }
      if (!port._dead) return;
      if (window.__standinSameObject) {
        port._dead = false;
      } else {
        port = adapter.port = makePort(url, 0x6001 + 0x14 * i);
        window.__standinPorts += 1;
      }
      // Fired at the port, heard at navigator.serial, as the event bubbles there.
      var connect = new Event('connect');
      Object.defineProperty(connect, 'target', { value: port });
      serialEvents.dispatchEvent(connect);
    };
    return adapter;
  });

  var serial = {
    requestPort: function () {
      if (!navigator.userActivation || !navigator.userActivation.isActive)
        return Promise.reject(new DOMException('Must be handling a user gesture to show a permission request.', 'SecurityError'));
      var adapter = adapters[window.__standinChoose || 0];
      adapter.granted = true;
      window.__standinRequests = (window.__standinRequests || 0) + 1;
      return Promise.resolve(adapter.port);
    },
    getPorts: function () {
      return Promise.resolve(adapters.filter(function (a) { return a.granted && !a.port._dead; })
        .map(function (a) { return a.port; }));
    },
    addEventListener: serialEvents.addEventListener.bind(serialEvents),
    removeEventListener: serialEvents.removeEventListener.bind(serialEvents),
  };
  Object.defineProperty(navigator, 'serial', { value: serial, configurable: true });
})(__BRIDGE_URL__.split(' '));
