// What the browser edition's tests share: a static file server of their own
// for build/web (any static server must do), the system's Chromium with a
// fresh profile and, where asked, a fake microphone playing a sound file,
// and a reader for the PNG pictures the render tool writes.
'use strict';

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const root = path.resolve(__dirname, '..', '..');
const site = process.env.VOCALUME_WEB_SITE || path.join(root, 'build', 'web');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.png': 'image/png', '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json',
};

// Serves `folder` on 127.0.0.1 at a free port; every request is noted, with
// the bytes of its body sent. With `gzip`, bodies are compressed for
// browsers that take it, as a web server set up for it would.
function serve(folder = site, { gzip = false } = {}) {
  const requests = [];
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name.endsWith('/') ? name + 'index.html' : name);
    if (!file.startsWith(folder) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      requests.push({ url: request.url, bytes: 0 });
      response.writeHead(404);
      response.end();
      return;
    }
    const type = types[path.extname(file)] || 'application/octet-stream';
    let body = fs.readFileSync(file);
    // As static servers do: a tag of the content, and "not modified" for a
    // copy the browser already holds.
    const tag = '"' + require('crypto').createHash('sha1').update(body).digest('hex').slice(0, 16) + '"';
    if (request.headers['if-none-match'] === tag) {
      requests.push({ url: request.url, bytes: 0 });
      response.writeHead(304, { ETag: tag });
      response.end();
      return;
    }
    const headers = { 'Content-Type': type, 'Cache-Control': 'no-cache', ETag: tag };
    if (gzip && /gzip/.test(request.headers['accept-encoding'] || '') && !type.startsWith('image/png')) {
      body = zlib.gzipSync(body, { level: 6 });
      headers['Content-Encoding'] = 'gzip';
    }
    requests.push({ url: request.url, bytes: body.length });
    response.writeHead(200, headers);
    response.end(body);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => {
    const origin = 'http://127.0.0.1:' + server.address().port;
    resolve({ origin, requests, close: () => new Promise(done => { server.closeAllConnections(); server.close(done); }) });
  }));
}

function temporaryFolder(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), name));
}

// The system's Chromium, never a downloaded one, with a fresh profile.
async function chromium({ microphone = null, fakeUi = true, viewport = { width: 800, height: 600 } } = {}) {
  const { chromium: engine } = require('playwright-core');
  const args = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                '--disable-background-networking', '--disable-component-update', '--disable-sync',
                '--autoplay-policy=no-user-gesture-required', '--force-device-scale-factor=1'];
  if (microphone) {
    args.push('--use-fake-device-for-media-stream', '--use-file-for-fake-audio-capture=' + microphone);
    if (fakeUi)
      args.push('--use-fake-ui-for-media-stream');
  }
  const profile = temporaryFolder('vocalume-chromium-');
  const context = await engine.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', headless: true, args, viewport, acceptDownloads: true,
    ignoreDefaultArgs: ['--mute-audio'],
  });
  const page = context.pages()[0] || await context.newPage();
  const errors = [];
  page.on('pageerror', error => errors.push(error.message));
  return { context, page, errors, profile,
           close: async () => { await context.close(); fs.rmSync(profile, { recursive: true, force: true }); } };
}

// The page has started and painted its first picture.
async function started(page) {
  await page.waitForFunction(() => window.vocalumeMeasure && window.vocalumeMeasure.firstPicture >= 0, null,
                             { timeout: 20000 });
}

function status(page) {
  return page.evaluate(() => Array.from(document.querySelectorAll('#status .field')).map(f => f.textContent));
}

// The canvas's pixels, 4 bytes each (a Buffer), and its size.
async function canvasPixels(page) {
  const shown = await page.evaluate(() => {
    const canvas = document.getElementById('picture');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000)
      text += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    return { width: canvas.width, height: canvas.height, base64: btoa(text) };
  });
  return { width: shown.width, height: shown.height, rgba: Buffer.from(shown.base64, 'base64') };
}

// An 8-bit RGB or RGBA PNG without interlacing, as the render tool writes.
function readPng(file) {
  const bytes = fs.readFileSync(file);
  let at = 8;
  let width = 0, height = 0, depth = 0, colour = 0;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('ascii', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      depth = body[8];
      colour = body[9];
      if (body[12] !== 0)
        throw new Error('interlaced PNG');
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  if (depth !== 8 || (colour !== 2 && colour !== 6))
    throw new Error('PNG of an unexpected kind');
  const channels = colour === 2 ? 3 : 4;
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const rgb = Buffer.alloc(width * height * 3);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? line[i - channels] : 0;
      const b = previous[i];
      const c = i >= channels ? previous[i - channels] : 0;
      let p = 0;
      if (filter === 1) p = a;
      else if (filter === 2) p = b;
      else if (filter === 3) p = (a + b) >> 1;
      else if (filter === 4) {
        const e = a + b - c, pa = Math.abs(e - a), pb = Math.abs(e - b), pc = Math.abs(e - c);
        p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      line[i] = (line[i] + p) & 255;
    }
    for (let x = 0; x < width; ++x)
      line.copy(rgb, (y * width + x) * 3, x * channels, x * channels + 3);
    previous = line;
  }
  return { width, height, rgb };
}

// Runs the named tests in order; each reports one line.
async function runTests(label, tests, only) {
  let passed = 0, failed = 0;
  for (const [name, test] of tests) {
    if (only && !name.includes(only))
      continue;
    const began = Date.now();
    try {
      await test();
      passed++;
      console.log(`[${label}] ${name}: passed (${((Date.now() - began) / 1000).toFixed(1)} s)`);
    } catch (error) {
      failed++;
      console.log(`[${label}] ${name}: FAILED\n    ${String(error && error.stack || error).split('\n').slice(0, 6).join('\n    ')}`);
    }
  }
  console.log(`[${label}] ${passed} passed, ${failed} failed`);
  return { passed, failed };
}

function check(condition, message) {
  if (!condition)
    throw new Error(message);
}

module.exports = { root, site, serve, chromium, started, status, canvasPixels, readPng, runTests, check, temporaryFolder };
