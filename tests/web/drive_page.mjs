// Drives the shipped page in headless Chromium, as its user would, from a
// script of steps on standard input, one a line (the end-to-end tests' and
// the benchmark's). Controls are named by dialog template and control id,
// as in the Windows program:
//
//   open-page standin|none|real  (re)load the page, with the navigator.serial
//                              stand-in bridged to BRIDGE_URL (an adapter
//                              for each address it lists), with no Web
//                              Serial at all, or with the browser's own
//                              (the emulated PC's; no stand-in)
//   click D C [MS]             wait (MS, default 5000) for the control to be
//                              enabled, then click it
//   wait-text D C "TEXT" [MS]  wait for the control's text
//   expect-text D C "TEXT"
//   wait-enabled D C 0|1 [MS]
//   expect-enabled D C 0|1
//   expect-shown D 0|1         a dialog (or the main window, 1001) is shown
//   expect-position D N        the progress bar of dialog D stands at N
//   expect-visible SELECTOR 0|1
//   expect-js "EXPRESSION" VALUE [MS]  the page's value of EXPRESSION, as a
//                              string (a promise's, once it settles); with
//                              MS, waits up to MS for it
//   load D PATH                press Load in dialog D and pick PATH in the
//                              file chooser that opens
//   message "TEXT" [MS]        wait for the message box, then press its OK
//   shot NAME                  screenshot SHOTS/NAME.png
//   echo WORD                  print WORD (the benchmark stamps these)
//   sleep MS                   wait MS milliseconds (a device out of reach)
//   wait-file PATH "TEXT" [MS] wait until the file PATH holds TEXT (the
//                              simulator's transcript noting a moment)
//   press D C                  click the control if it is enabled and shown,
//                              else nothing; prints "press D C: pressed",
//                              "...: off", or "...: chooser" when a file
//                              chooser opened (it is then cancelled)
//   wait-idle D [MS]           wait until dialog D is gone or its Load is on
//                              again after its run (up to 10 s for the run
//                              to start)
//   print D C                  print "text D C: TEXT" (D C = 0 0: whether
//                              each dialog is shown)
//   count PATH "TEXT"          print "count: N", how often TEXT is in PATH
//
// Usage: node drive_page.mjs PAGE_DIR SHOTS_DIR BRIDGE_URL < steps
// The page is served on 127.0.0.1, on the port PAGE_PORT when it is set
// (a browser policy names the page's origin, port included); CHROMIUM_ARGS
// adds to Chromium's arguments, and CHROMIUM_DUMPIO=1 shows its output.
// A Chromium started elsewhere (in an emulated PC), with the page already
// served there at PAGE_URL: BROWSER_PIPE names a socket that carries that
// Chromium's DevTools pipe, and the arguments to start it with are written
// to BROWSER_ARGS_FILE, one a line.
// Prints each step as it runs; on a failure prints "drive_page: LINE: WHY",
// saves SHOTS/FAILED.png and ends with 1; so does a page that fetched
// anything from elsewhere than its own folder.
import http from 'node:http';
import net from 'node:net';
import fs from 'node:fs';
import path from 'node:path';
import readline from 'node:readline';
import { createRequire } from 'node:module';

const require = createRequire(process.env.WEB_TOOLS_DIR + '/');
const puppeteer = require('puppeteer-core');

const [pageDir, shotsDir, bridgeUrl] = process.argv.slice(2);
const standin = fs.readFileSync(new URL('./serial_standin.js', import.meta.url), 'utf8')
  .replace('__BRIDGE_URL__', JSON.stringify(bridgeUrl));
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };

// The page as a static host serves it.
const server = process.env.PAGE_URL ? null : http.createServer((req, res) => {
  const name = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/$/, '/index.html');
  const file = path.join(pageDir, path.normalize(name));
  fs.readFile(file, (err, data) => {
    if (err) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    res.end(data);
  });
});
if (server) await new Promise((resolve) => server.listen(Number(process.env.PAGE_PORT || 0), '127.0.0.1', resolve));
const pageUrl = server ? `http://127.0.0.1:${server.address().port}/` : process.env.PAGE_URL;

fs.mkdirSync(shotsDir, { recursive: true });
// A slow machine (an emulated PC) may take longer to start the browser and
// load the page.
const startMs = Number(process.env.BROWSER_START_MS || 30000);
const launched = Date.now();
const chromiumArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
  ...(process.env.CHROMIUM_ARGS || '').split(' ').filter((a) => a !== '')];
const viewport = { width: 620, height: 420 };
const profile = process.env.BROWSER_PIPE ? null : fs.mkdtempSync('/tmp/ridorez-chromium.');
const browser = profile ? await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  timeout: startMs,
  args: chromiumArgs,
  defaultViewport: viewport,
  dumpio: process.env.CHROMIUM_DUMPIO === '1',
}) : await connectPipe(process.env.BROWSER_PIPE);

// The DevTools pipe of a Chromium started elsewhere: JSON messages, each
// ended by a NUL, over a socket (the PC's end waits for the socket, so what
// is sent before that Chromium reads is kept).
async function connectPipe(socketPath) {
  const args = await puppeteer.defaultArgs({ headless: true, userDataDir: '/tmp/ridorez-chromium', args: chromiumArgs });
  fs.writeFileSync(`${process.env.BROWSER_ARGS_FILE}.part`, [...args, '--remote-debugging-pipe'].join('\n') + '\n');
  fs.renameSync(`${process.env.BROWSER_ARGS_FILE}.part`, process.env.BROWSER_ARGS_FILE);
  const socket = await new Promise((resolve, reject) => {
    const s = net.connect(socketPath, () => resolve(s));
    s.once('error', reject);
  });
  socket.setEncoding('utf8');
  const transport = {
    onmessage: null,
    onclose: null,
    send: (message) => socket.write(`${message}\0`),
    close: () => socket.end(),
  };
  let pending = '';
  socket.on('data', (data) => {
    pending += data;
    let end;
    while ((end = pending.indexOf('\0')) >= 0) {
      const message = pending.slice(0, end);
      pending = pending.slice(end + 1);
      if (transport.onmessage) transport.onmessage(message);
    }
  });
  socket.on('close', () => { if (transport.onclose) transport.onclose(); });
  return puppeteer.connect({ transport, defaultViewport: viewport, protocolTimeout: Math.max(180000, startMs) });
}
const page = await browser.newPage();
if (process.env.BROWSER_START_MS) console.log(`time: Chromium started in ${Date.now() - launched} ms`);
const consoleLog = fs.createWriteStream(path.join(shotsDir, 'console.log'));
page.on('console', (m) => consoleLog.write(`${m.type()}: ${m.text()}\n`));
page.on('pageerror', (e) => consoleLog.write(`pageerror: ${e.message}\n`));
// The page fetches nothing from anywhere but its own folder: hosted, it
// works with no network once loaded.
const foreign = [];
page.on('request', (r) => {
  const u = r.url();
  if (!u.startsWith(pageUrl) && !u.startsWith('data:')) foreign.push(u);
});
let standinScript = null;

const sel = (d, c) => `#c${d}_${c}`;
function words(line) {
  const out = [];
  const re = /"([^"]*)"|(\S+)/g;
  let m;
  while ((m = re.exec(line)) !== null) out.push(m[1] !== undefined ? m[1] : m[2]);
  return out;
}
async function waitFor(what, fn, ms, ...args) {
  try {
    await page.waitForFunction(fn, { timeout: ms, polling: 20 }, ...args);
  } catch (e) {
    throw new Error(`${what} within ${ms} ms`);
  }
}
const textOf = (d, c) => page.$eval(sel(d, c), (e) => e.textContent);

async function step(w) {
  const [verb, ...a] = w;
  switch (verb) {
    case 'open-page': {
      if (standinScript) await page.removeScriptToEvaluateOnNewDocument(standinScript.identifier);
      standinScript = a[0] === 'real' ? null : await page.evaluateOnNewDocument(a[0] === 'standin' ? standin
        : 'delete Navigator.prototype.serial;');
      const opened = Date.now();
      await page.goto(pageUrl, { timeout: Math.max(30000, startMs) });
      const loaded = Date.now();
      await waitFor('the page ready', () => document.body.dataset.ready === '1', Math.max(15000, startMs));
      if (process.env.BROWSER_START_MS) console.log(`time: page loaded in ${loaded - opened} ms, ready ${Date.now() - loaded} ms later`);
      return;
    }
    case 'click': {
      const ms = Number(a[2] || 5000);
      await waitFor(`${a[0]}/${a[1]} enabled`, (s) => { const e = document.querySelector(s); return e && !e.disabled && e.offsetParent !== null; }, ms, sel(a[0], a[1]));
      await page.click(sel(a[0], a[1]));
      return;
    }
    case 'wait-text': {
      const ms = Number(a[3] || 5000);
      try {
        await waitFor('', (s, t) => document.querySelector(s).textContent === t, ms, sel(a[0], a[1]), a[2]);
      } catch (e) {
        throw new Error(`${a[0]}/${a[1]} reads "${await textOf(a[0], a[1])}", not "${a[2]}", after ${ms} ms`);
      }
      return;
    }
    case 'sleep':
      await new Promise((resolve) => setTimeout(resolve, Number(a[0])));
      return;
    case 'expect-text': {
      const t = await textOf(a[0], a[1]);
      if (t !== a[2]) throw new Error(`${a[0]}/${a[1]} reads "${t}", not "${a[2]}"`);
      return;
    }
    case 'wait-enabled':
    case 'expect-enabled': {
      const want = a[2] === '1';
      const ms = verb === 'wait-enabled' ? Number(a[3] || 5000) : 0;
      const now = async () => !(await page.$eval(sel(a[0], a[1]), (e) => e.disabled));
      if (ms > 0) {
        try {
          await page.waitForFunction((s, on) => !document.querySelector(s).disabled === on, { timeout: ms, polling: 20 }, sel(a[0], a[1]), want);
        } catch (e) { /* said below */ }
      }
      if ((await now()) !== want) throw new Error(`${a[0]}/${a[1]} is ${want ? 'disabled' : 'enabled'}`);
      return;
    }
    case 'expect-shown': {
      const shown = await page.$eval(`#d${a[0]}`, (e) => !e.hidden);
      if (shown !== (a[1] === '1')) throw new Error(`dialog ${a[0]} is ${shown ? 'shown' : 'not shown'}`);
      return;
    }
    case 'expect-position': {
      const v = await page.$eval(sel(a[0], 4032), (e) => e.value);
      if (v !== Number(a[1])) throw new Error(`the progress bar of ${a[0]} stands at ${v}, not ${a[1]}`);
      return;
    }
    case 'expect-visible': {
      const v = await page.$eval(a[0], (e) => !e.hidden);
      if (v !== (a[1] === '1')) throw new Error(`${a[0]} is ${v ? 'shown' : 'hidden'}`);
      return;
    }
    case 'load': {
      const [chooser] = await Promise.all([page.waitForFileChooser({ timeout: 5000 }), page.click(sel(a[0], 2))]);
      await chooser.accept([a[1]]);
      return;
    }
    case 'message': {
      const ms = Number(a[1] || 5000);
      await waitFor('the message box', () => !document.getElementById('message').hidden, ms);
      const t = await page.$eval('#message-text', (e) => e.textContent);
      if (t !== a[0]) throw new Error(`the message box says "${t}", not "${a[0]}"`);
      await page.click('#message-ok');
      return;
    }
    case 'shot':
      await page.screenshot({ path: path.join(shotsDir, `${a[0]}.png`) });
      return;
    case 'expect-js': {
      const end = Date.now() + Number(a[2] || 0);
      let v = String(await page.evaluate(a[0]));
      while (v !== a[1] && Date.now() < end) {
        await new Promise((resolve) => setTimeout(resolve, 100));
        v = String(await page.evaluate(a[0]));
      }
      if (v !== a[1]) throw new Error(`${a[0]} is ${v}, not ${a[1]}${a[2] ? ` after ${a[2]} ms` : ''}`);
      return;
    }
    case 'echo':
      console.log(a.join(' '));
      return;
    case 'wait-file': {
      const ms = Number(a[2] || 5000);
      const end = Date.now() + ms;
      const has = () => { try { return fs.readFileSync(a[0], 'utf8').includes(a[1]); } catch (e) { return false; } };
      while (!has()) {
        if (Date.now() > end) throw new Error(`${a[0]} has no "${a[1]}" after ${ms} ms`);
        await new Promise((resolve) => setTimeout(resolve, 20));
      }
      return;
    }
    case 'press': {
      const on = await page.$eval(sel(a[0], a[1]), (e) => !e.disabled && e.offsetParent !== null);
      if (!on) { console.log(`press ${a[0]} ${a[1]}: off`); return; }
      const chooser = page.waitForFileChooser({ timeout: 500 }).catch(() => null);
      await page.click(sel(a[0], a[1]));
      const opened = await chooser;
      if (opened) await opened.cancel();
      console.log(`press ${a[0]} ${a[1]}: ${opened ? 'chooser' : 'pressed'}`);
      return;
    }
    case 'wait-idle': {
      const ms = Number(a[1] || 90000);
      // A run that is still to start (Update's re-probe waits on the line)
      // has its Load still on: wait for the run first, if it comes.
      await waitFor('', (d, s) => document.getElementById('d' + d).hidden || document.querySelector(s).disabled,
        10000, a[0], sel(a[0], 2)).catch(() => {});
      await waitFor(`dialog ${a[0]} idle`, (d, s) => document.getElementById('d' + d).hidden ||
        !document.querySelector(s).disabled, ms, a[0], sel(a[0], 2));
      return;
    }
    case 'count': {
      let n = 0;
      try { n = fs.readFileSync(a[0], 'utf8').split(a[1]).length - 1; } catch (e) { /* none */ }
      console.log(`count: ${n}`);
      return;
    }
    case 'print': {
      if (a[0] === '0') {
        const shown = await page.$$eval('[id^=d]', (all) => all.filter((e) => /^d[0-9]+$/.test(e.id) && !e.hidden).map((e) => e.id));
        console.log(`shown: ${shown.join(' ')}`);
      } else {
        console.log(`text ${a[0]} ${a[1]}: ${await textOf(a[0], a[1])}`);
      }
      return;
    }
    default:
      throw new Error(`unknown step ${verb}`);
  }
}

const input = readline.createInterface({ input: process.stdin });
let failed = 0;
for await (const raw of input) {
  const line = raw.trim();
  if (line === '' || line.startsWith('#')) continue;
  if (failed) continue;
  try {
    await step(words(line));
  } catch (e) {
    console.log(`drive_page: ${line}: ${e.message}`);
    try { await page.screenshot({ path: path.join(shotsDir, 'FAILED.png') }); } catch (x) { /* gone */ }
    failed = 1;
  }
}
if (!failed && foreign.length > 0) {
  console.log(`drive_page: the page fetched from elsewhere: ${foreign.join(' ')}`);
  failed = 1;
}
await browser.close();
if (server) server.close();
consoleLog.end();
if (profile) fs.rmSync(profile, { recursive: true, force: true });
process.exit(failed);
