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
// none): what the browser told of the adapter. Once it has gone, each
// window's line says what to press when it is back, in the order that
// window's buttons allow as they stand now: after a run an uploader's
// Update stays off until its file is loaded again, and the main window
// leads to an uploader through its Update that is on, else through a probe.
var UPDATE_OPENS = { 4010: 1003, 4052: 1005, 4099: 1006 };  // main window's Update: its uploader
var START = { 1003: 4055, 1005: 4028, 1006: 4078 };         // an uploader's Update
var PROBES = [4011, 4056, 4098];
var adapterGone = false;

function caption(dialog, id) { return '\u201c' + control(dialog, id).textContent + '\u201d'; }
function isOn(dialog, id) { return !control(dialog, id).disabled; }

function reloadAndUpdate(dialog) {
  return caption(dialog, LOAD) + ' and choose the file again, then ' + caption(dialog, START[dialog]);
}

function whatToPress(dialog) {
  if (dialog !== MAIN) return 'press ' + reloadAndUpdate(dialog);
  var update = Object.keys(UPDATE_OPENS).map(Number).filter(function (id) { return isOn(MAIN, id); });
  if (update.length > 0)
    return 'press ' + caption(MAIN, update[0]) + ', then ' + reloadAndUpdate(UPDATE_OPENS[update[0]]);
  var probes = PROBES.filter(function (id) { return isOn(MAIN, id); })
    .map(function (id) { return caption(MAIN, id); });
  return probes.length > 0 ? 'press ' + probes.join(' or ') + ' for your device' : 'go on with the buttons that are on';
}

// Below it, the program's advice after a failed probe or run: what to do
// next, and first, when the port stopped working, to plug it in again, a
// part left out while the unplug line above it says so already.
var advice = {};  // window: [port lost, what next], each '' for none

// The main window's line stays hidden while an uploader is open over it:
// the uploader's own line says what to press there.
function showNotes() {
  var dialogOpen = Array.prototype.some.call(document.querySelectorAll('.window.dialog'), function (d) { return !d.hidden; });
  document.querySelectorAll('.window').forEach(function (w) {
    var note = w.querySelector('.page-note');
    if (!note) return;
    var dialog = Number(w.id.slice(1));
    var shown = adapterGone && !(dialog === MAIN && dialogOpen);
    note.textContent = shown ? 'The adapter was disconnected. Plug it in again, then ' + whatToPress(dialog) +
      ': the page picks it up once it is back.' : '';
    note.hidden = !shown;
    var a = advice[dialog] || ['', ''];
    var line = w.querySelector('.page-advice');
    line.textContent = [shown ? '' : a[0], a[1]].filter(Boolean).join(' ');
    line.hidden = line.textContent === '';
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
    enable: function (dialog, id, on) {
      control(dialog, id).disabled = !on;
      if (adapterGone) showNotes();
    },
    advise: function (dialog, portLost, next) {
      advice[dialog] = [portLost, next];
      showNotes();
    },
    setRange: function (dialog, upper) { control(dialog, 4032).max = Math.max(upper, 0); },
    setPosition: function (dialog, position) { control(dialog, 4032).value = position; },
    openDialog: function (dialog) {
      document.getElementById('d' + dialog).hidden = false;
      blockBelow();
      showNotes();
    },
    closeDialog: function (dialog) {
      document.getElementById('d' + dialog).hidden = true;
      blockBelow();
      showNotes();
    },
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
    heldRepliesNote: function (dialog, text) {
      var note = document.querySelector('#d' + dialog + ' .page-held');
      note.textContent = text;
      note.hidden = text === '';
    },
    messageBox: function (text, caption) {
      document.getElementById('message-text').textContent = text;
      document.getElementById('message-caption').textContent = caption;
      document.getElementById('message').hidden = false;
      blockBelow();
    },
    adapterGone: function () { adapterGone = true; showNotes(); },
    adapterBack: function () { adapterGone = false; showNotes(); },
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
if (!navigator.serial) document.getElementById('no-serial').hidden = false;
