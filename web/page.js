// The page around the program: it places the windows' controls, hands each
// button press to the program (ridorez.wasm) and carries out what the
// program asks of the page (texts, buttons, the progress bar, the timer).
// The program's calls that wait on the serial line suspend it (Asyncify):
// one such call at a time, the command of a press or the update's worker,
// while the page stays responsive and the timer keeps ticking.
'use strict';

var MAIN = 1001;
var LOAD = 2;
var UPLOADER_EXIT = 4;

function control(dialog, id) { return document.getElementById('c' + dialog + '_' + id); }

// A line of the page's own under every window (the Windows program has
// none): what the browser told of the adapter.
var ADAPTER_GONE = 'The adapter was disconnected. Plug it in again and press Update: ' +
  'the page picks it up once it is back.';
function setNote(text) {
  document.querySelectorAll('.page-note').forEach(function (n) {
    n.textContent = text;
    n.hidden = text === '';
  });
}

var task = null;          // the program's call now suspended, if any
var threadPending = false;
var timers = {};
var loadDialog = 0;       // the uploader whose Load opened the file input

// Calls the program for a press. Refused while another call waits on the
// line, as the Windows program's window does not take a press during a
// probe; only an uploader's Exit, which never waits, goes through.
function command(name, args, mayWait) {
  var types = args.map(function (a) { return typeof a === 'string' ? 'string' : 'number'; });
  if (task !== null) {
    if (!mayWait) callNow(name, args);
    return;
  }
  var call = Module.ccall(name, null, types, args, { async: true });
  task = Promise.resolve(call).finally(function () {
    task = null;
    if (threadPending) startThread();
  });
}

// A call that never waits, made while another is suspended: straight to the
// export, since ccall would take the suspended call's completion for its own.
function callNow(name, args) { Module['_' + name].apply(null, args); }

function startThread() {
  threadPending = false;
  var call = Module.ccall('PlatformRunStartedThread', null, [], [], { async: true });
  task = Promise.resolve(call).finally(function () { task = null; });
}

function place() {
  document.querySelectorAll('.window[data-size]').forEach(function (w) {
    var s = w.dataset.size.split(',');
    var client = w.querySelector('.client');
    client.style.width = 'calc(' + s[0] + ' * var(--dx))';
    client.style.height = 'calc(' + s[1] + ' * var(--dy))';
  });
  document.querySelectorAll('[data-r]').forEach(function (c) {
    var r = c.dataset.r.split(',');
    c.style.left = 'calc(' + r[0] + ' * var(--dx))';
    c.style.top = 'calc(' + r[1] + ' * var(--dy))';
    c.style.width = 'calc(' + r[2] + ' * var(--dx))';
    c.style.height = 'calc(' + r[3] + ' * var(--dy))';
  });
}

function wire() {
  document.querySelectorAll('#d1001 button').forEach(function (b) {
    var id = Number(b.id.split('_')[1]);
    b.addEventListener('click', function () { command('WebMainCommand', [id], true); });
  });
  [1003, 1005, 1006].forEach(function (dialog) {
    document.querySelectorAll('#d' + dialog + ' button').forEach(function (b) {
      var id = Number(b.id.split('_')[1]);
      b.addEventListener('click', function () {
        if (id === LOAD) {
          if (task !== null) return;
          loadDialog = dialog;
          var input = document.getElementById('image-file');
          input.accept = dialog === 1006 ? '.bin' : '.hex';
          input.value = '';
          input.click();
          return;
        }
        command('WebUploaderCommand', [dialog, id], id !== UPLOADER_EXIT);
      });
    });
  });
  document.getElementById('image-file').addEventListener('change', function (e) {
    var file = e.target.files[0];
    var dialog = loadDialog;
    if (!file || dialog === 0) return;
    file.arrayBuffer().then(function (data) {
      // The program reads the image from its own file system, by name.
      var name = file.name.replace(/\//g, '_');
      Module.FS.writeFile(name, new Uint8Array(data));
      if (task === null) Module.ccall('WebUploaderLoad', null, ['number', 'string'], [dialog, name]);
    });
  });
  document.getElementById('message-ok').addEventListener('click', function () {
    document.getElementById('message').hidden = true;
    blockBelow();
  });
}

// The release the maker put beside the page (release.json and the images it
// names, fetched from the page's own origin and nowhere else) goes into the
// program's file system at /release, where each uploader takes its image
// from as it opens. A page without one fetches nothing more.
var RELEASE = '/release';

function fetchBytes(url) {
  return fetch(url, { cache: 'no-cache' }).then(function (r) { return r.ok ? r.arrayBuffer() : null; });
}

function fetchReleaseImage(name) {
  var url = new URL(name, location.href);
  if (url.origin !== location.origin) return null;  // the uploader then says it cannot be read
  return fetchBytes(url).then(function (data) {
    if (data === null) return;
    var folder = RELEASE;
    name.split('/').slice(0, -1).forEach(function (part) {
      folder += '/' + part;
      if (!Module.FS.analyzePath(folder).exists) Module.FS.mkdir(folder);
    });
    Module.FS.writeFile(RELEASE + '/' + name, new Uint8Array(data));
  });
}

function fetchRelease() {
  return fetchBytes('release.json').then(function (json) {
    if (json === null) return null;
    Module.FS.mkdir(RELEASE);
    Module.FS.writeFile(RELEASE + '/release.json', new Uint8Array(json));
    var names = Module.ccall('WebReleaseFiles', 'string', [], []).split('\n').filter(Boolean);
    return Promise.all(names.map(fetchReleaseImage));
  }).catch(function () { return null; });
}

// Only the topmost window takes input.
function blockBelow() {
  var message = !document.getElementById('message').hidden;
  var dialogOpen = Array.prototype.some.call(document.querySelectorAll('.window.dialog'), function (d) { return !d.hidden; });
  document.getElementById('d1001').classList.toggle('blocked', dialogOpen || message);
  document.querySelectorAll('.window.dialog').forEach(function (d) { d.classList.toggle('blocked', message); });
}

var Module = {
  page: {
    setText: function (dialog, id, text) { control(dialog, id).textContent = text; },
    enable: function (dialog, id, on) { control(dialog, id).disabled = !on; },
    setRange: function (dialog, upper) { control(dialog, 4032).max = Math.max(upper, 0); },
    setPosition: function (dialog, position) { control(dialog, 4032).value = position; },
    openDialog: function (dialog) { document.getElementById('d' + dialog).hidden = false; blockBelow(); },
    closeDialog: function (dialog) { document.getElementById('d' + dialog).hidden = true; blockBelow(); },
    startTimer: function (dialog, periodMs) {
      if (timers[dialog]) return;
      timers[dialog] = setInterval(function () { callNow('WebUploaderTick', [dialog]); }, periodMs);
    },
    stopTimer: function (dialog) {
      clearInterval(timers[dialog]);
      delete timers[dialog];
    },
    releaseNote: function (dialog, text, refused) {
      var note = document.querySelector('#d' + dialog + ' .page-release');
      note.textContent = text;
      note.classList.toggle('refused', refused);
      note.hidden = text === '';
    },
    messageBox: function (text, caption) {
      document.getElementById('message-text').textContent = text;
      document.getElementById('message-caption').textContent = caption;
      document.getElementById('message').hidden = false;
      blockBelow();
    },
    adapterGone: function () { setNote(ADAPTER_GONE); },
    adapterBack: function () { setNote(''); },
    end: function () {
      document.querySelectorAll('.window').forEach(function (w) { w.hidden = true; });
      document.getElementById('ended').hidden = false;
    },
  },
  // The worker starts once the command that started it has returned.
  ridorezStartThread: function () {
    threadPending = true;
    if (task === null) setTimeout(function () { if (threadPending && task === null) startThread(); }, 0);
  },
  onRuntimeInitialized: function () {
    Module.ccall('WebMainOpen', null, [], []);
    Promise.all([Module.webSerial.restore(), fetchRelease()]).then(function () {
      callNow('WebMainShowPort', []);
      document.body.dataset.ready = '1';
    });
  },
};

place();
wire();
if (!('serial' in navigator)) document.getElementById('no-serial').hidden = false;
