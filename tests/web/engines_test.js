// The browser edition in the other engines the system has: WebKitGTK (the
// engine of Safari on iPads and Macs) through WebKitWebDriver, and Firefox
// ESR through the WebDriver BiDi it carries itself (Debian packages no
// geckodriver, and none is needed). The tests the two protocols can drive:
// the page starts, space lights the picture and Esc stands it still, a tone's
// pitch readout, an opened file byte for byte as the render tool draws it,
// and a reload keeping the settings. Firefox's microphone is the private
// sound server's, playing a tone (tests/web/engines.sh starts it, with an X
// server for WebKitGTK); WebKitGTK records from WebKit's own test microphone,
// as GStreamer offers it no input of the sound server here, so the tone's
// readout is not tried there.
//
//   node --experimental-websocket tests/web/engines_test.js webkit|firefox [NAME-PART]
'use strict';

const fs = require('fs');
const path = require('path');
const { spawn, execFileSync } = require('child_process');
const net = require('net');
const { root, serve, readPng, runTests, check, temporaryFolder } = require('./support');

const engine = process.argv[2];
const only = process.argv[3];
const render = process.env.VOCALUME_RENDER || path.join(root, 'build', 'release', 'tools', 'vocalume-render');
const demo = path.join(root, 'resources', 'demo.wav');
const scratch = temporaryFolder('vocalume-engines-');
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

function freePort() {
  return new Promise(resolve => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const port = server.address().port;
      server.close(() => resolve(port));
    });
  });
}

async function until(probe, what, timeout = 20000) {
  const end = Date.now() + timeout;
  for (;;) {
    const value = await probe();
    if (value)
      return value;
    if (Date.now() > end)
      throw new Error('timed out waiting for ' + what);
    await sleep(200);
  }
}

// Classic WebDriver over HTTP, as WebKitWebDriver speaks it.
async function webkit() {
  const port = await freePort();
  const driver = spawn('WebKitWebDriver', ['--port=' + port], { stdio: 'ignore' });
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, where, body) => {
    const response = await fetch(base + where, { method, headers: { 'Content-Type': 'application/json' },
                                                 body: body ? JSON.stringify(body) : undefined });
    const value = (await response.json()).value;
    if (value && value.error)
      throw new Error(`${where}: ${value.error}: ${value.message}`);
    return value;
  };
  await until(async () => { try { return (await call('GET', '/status')).ready; } catch (e) { return false; } },
              'WebKitWebDriver');
  const { sessionId } = await call('POST', '/session', { capabilities: { alwaysMatch: {
    'webkitgtk:browserOptions': { binary: '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
                                  args: ['--automation', '--enable-media-stream=true',
                                         // GStreamer offers WebKitGTK no input of the sound server here:
                                         // WebKit's own test microphone, a fixed signal, records.
                                         '--enable-mock-capture-devices=true'] } } } });
  const s = `/session/${sessionId}`;
  return {
    goto: url => call('POST', s + '/url', { url }),
    reload: () => call('POST', s + '/refresh', {}),
    evaluate: expression => call('POST', s + '/execute/async', {
      script: `const done = arguments[0]; Promise.resolve().then(() => (${expression})).then(done, e => done('error: ' + e));`,
      args: [] }),
    press: async key => {
      const down = key.split('+').map(k => ({ Control: '\uE009', Shift: '\uE008', Escape: '\uE00C', Space: ' ' }[k] || k));
      await call('POST', s + '/actions', { actions: [{ type: 'key', id: 'keys', actions: [
        ...down.map(value => ({ type: 'keyDown', value })), ...down.reverse().map(value => ({ type: 'keyUp', value }))] }] });
    },
    setFile: async (selector, file) => {
      const element = await call('POST', s + '/element', { using: 'css selector', value: selector });
      await call('POST', `${s}/element/${Object.values(element)[0]}/value`, { text: file });
    },
    close: async () => {
      try { await call('DELETE', s); } finally { driver.kill(); }
    },
  };
}

// WebDriver BiDi, which Firefox carries itself.
async function firefox() {
  const port = await freePort();
  const profile = temporaryFolder('vocalume-firefox-');
  fs.writeFileSync(path.join(profile, 'user.js'), [
    'user_pref("media.navigator.permission.disabled", true);',
    'user_pref("browser.shell.checkDefaultBrowser", false);',
    'user_pref("datareporting.policy.dataSubmissionEnabled", false);',
    'user_pref("app.update.disabledForTesting", true);',
    'user_pref("media.autoplay.default", 0);',
  ].join('\n'));
  const browser = spawn('firefox-esr', ['--headless', '--no-remote', '--profile', profile,
                                        '--remote-debugging-port', String(port)], { stdio: 'ignore' });
  const socket = await until(() => new Promise(resolve => {
    const ws = new WebSocket(`ws://127.0.0.1:${port}/session`);
    ws.onopen = () => resolve(ws);
    ws.onerror = () => resolve(null);
  }), 'Firefox');
  let next = 1;
  const waiting = new Map();
  socket.onmessage = event => {
    const message = JSON.parse(event.data);
    if (message.id && waiting.has(message.id)) {
      waiting.get(message.id)(message);
      waiting.delete(message.id);
    }
  };
  const send = (method, params) => new Promise((resolve, reject) => {
    const id = next++;
    waiting.set(id, message => message.type === 'error' ? reject(new Error(`${method}: ${message.message}`))
                                                          : resolve(message.result));
    socket.send(JSON.stringify({ id, method, params }));
  });
  await send('session.new', { capabilities: {} });
  const context = (await send('browsingContext.getTree', {})).contexts[0].context;
  const keys = { Control: '\uE009', Shift: '\uE008', Escape: '\uE00C', Space: ' ' };
  return {
    goto: url => send('browsingContext.navigate', { context, url, wait: 'complete' }),
    reload: () => send('browsingContext.reload', { context, wait: 'complete' }),
    evaluate: async expression => {
      const result = await send('script.evaluate', { expression: `(async () => JSON.stringify(await (${expression})))()`,
                                                     target: { context }, awaitPromise: true });
      return result.result.value === undefined ? undefined : JSON.parse(result.result.value);
    },
    press: async key => {
      const down = key.split('+').map(k => keys[k] || k);
      await send('input.performActions', { context, actions: [{ type: 'key', id: 'keys', actions: [
        ...down.map(value => ({ type: 'keyDown', value })), ...down.reverse().map(value => ({ type: 'keyUp', value }))] }] });
    },
    setFile: async (selector, file) => {
      const found = await send('browsingContext.locateNodes', { context, locator: { type: 'css', value: selector } });
      await send('input.setFiles', { context, element: { sharedId: found.nodes[0].sharedId }, files: [file] });
    },
    close: async () => {
      try { await send('session.end', {}); } catch (e) { /* gone */ }
      socket.close();
      browser.kill();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

const open = { webkit, firefox }[engine];
if (!open) {
  console.error('usage: engines_test.js webkit|firefox [NAME-PART]');
  process.exit(2);
}

const statusText = field => `document.querySelectorAll('#status .field')[${field}].textContent`;

async function onPage(body) {
  const server = await serve();
  const page = await open();
  try {
    await page.goto(server.origin + '/');
    await until(() => page.evaluate('window.vocalumeMeasure && window.vocalumeMeasure.firstPicture >= 0'),
                'the first picture');
    await body(page, server);
  } finally {
    await page.close();
    await server.close();
  }
}

// Pixels of the right half of the middle rows that are lit.
const litPixels = `(() => {
  const c = document.getElementById('picture'), d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let lit = 0;
  for (let y = Math.floor(c.height * 0.2); y < Math.floor(c.height * 0.8); ++y)
    for (let x = c.width >> 1; x < c.width; ++x) { const i = 4 * (y * c.width + x); if (d[i] + d[i + 1] + d[i + 2] > 60) lit++; }
  return lit;
})()`;
const pixels = `(() => {
  const c = document.getElementById('picture'), d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let text = '';
  for (let i = 0; i < d.length; i += 0x8000) text += String.fromCharCode.apply(null, d.subarray(i, i + 0x8000));
  return { width: c.width, height: c.height, base64: btoa(text) };
})()`;

const tests = [];
const test = (name, body) => tests.push([name, body]);

test('the page starts and says the sound stays on the device', () => onPage(async page => {
  check(/sound stays on this device/.test(await page.evaluate("document.getElementById('privacy').textContent")),
        'no line says the sound stays on the device');
  check(await page.evaluate(statusText(0)) === 'Paused', 'the state is not "Paused"');
}));

test('space lights the picture and Esc stands it still', () => onPage(async page => {
  await page.press('Space');
  await until(async () => await page.evaluate(litPixels) > 2000, 'a lit picture');
  await page.press('Escape');
  await until(async () => await page.evaluate(statusText(0)) === 'Paused', 'the pause');
  await sleep(1500);
  const still = await page.evaluate(pixels);
  await sleep(600);
  check((await page.evaluate(pixels)).base64 === still.base64, 'the picture moved after Esc');
}));

// WebKitGTK's test microphone plays its own signal, not the tone.
if (engine !== 'webkit')
test('a steady 220 Hz tone reads 220 Hz (A3) in the pitch readout', () => onPage(async page => {
  await page.press('Control+l');
  await page.press('Space');
  await until(async () => /^220 Hz · A3 /.test(await page.evaluate(statusText(3))), 'the readout 220 Hz · A3')
    .catch(async error => { throw new Error(error.message + ' (it reads "' + await page.evaluate(statusText(3)) + '")'); });
  await page.press('Escape');
}));

test('an opened sound file shows its start byte for byte as the render tool draws it', () => onPage(async page => {
  await page.setFile('#sound-file', demo);
  await until(async () => await page.evaluate(statusText(0)) === 'Looking back', 'the opened file');
  await sleep(300);
  const shown = await page.evaluate(pixels);
  const rgba = Buffer.from(shown.base64, 'base64');
  const png = path.join(scratch, 'whole.png');
  execFileSync(render, [demo, '--whole', '--height', String(shown.height), '-q', '-o', png]);
  const whole = readPng(png);
  let differing = 0;
  for (let y = 0; y < shown.height; ++y)
    for (let x = 0; x < shown.width; ++x) {
      const i = 4 * (y * shown.width + x), j = 3 * (y * whole.width + x);
      if (rgba[i] !== whole.rgb[j] || rgba[i + 1] !== whole.rgb[j + 1] || rgba[i + 2] !== whole.rgb[j + 2])
        differing++;
    }
  check(differing === 0, `${differing} pixels differ from the render tool's`);
}));

test('a reload keeps the settings', () => onPage(async page => {
  await page.press('Control+l');
  await until(async () => await page.evaluate(
    "document.querySelector('[data-action=\"pitch-line\"]').getAttribute('aria-checked') === 'true'"), 'the check');
  await page.reload();
  await until(() => page.evaluate('window.vocalumeMeasure && window.vocalumeMeasure.firstPicture >= 0'),
              'the first picture');
  check(await page.evaluate("document.querySelector('[data-action=\"pitch-line\"]').getAttribute('aria-checked')") ===
        'true', 'the pitch line is off after the reload');
}));

runTests('web ' + engine, tests, only).then(({ failed }) => {
  fs.rmSync(scratch, { recursive: true, force: true });
  process.exit(failed > 0 ? 1 : 0);
});
