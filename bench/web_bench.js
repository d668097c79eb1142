// The browser edition's measurements, in the system's headless Chromium:
//   - what a first visit transfers, compressed with gzip as a web server set
//     up for it sends it (WebAssembly and scripts, and everything);
//   - the first picture, from the moment the page starts loading (median of
//     five first visits, each with a fresh profile);
//   - the processor while recording speech from a fake microphone, all of
//     the browser's processes together, as a share of one core;
//   - the sound-to-pixel latency inside the page: from the moment the
//     microphone's AudioWorklet has a block to the animation frame on which
//     the columns of its newest sample are painted (median and spread);
//   - the analysis per frame in the browser against the native build's, the
//     same program (bench/analysis_timing.cpp) on the same sound, one run.
//
//   node bench/web_bench.js
//
// Needs build/web (bash scripts/web.sh --no-serve), the optimised native
// build's build/release/bench/vocalume-analysis-timing, and npm ci in
// tests/web. Prints one line per number.
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { execFileSync } = require('child_process');
const support = require('../tests/web/support');

const { root, site, serve, chromium, started, temporaryFolder } = support;
const scratch = temporaryFolder('vocalume-web-bench-');
const demo = path.join(root, 'resources', 'demo.wav');

function median(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}
function percentile(values, p) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(p * sorted.length))];
}
const kB = bytes => (bytes / 1024).toFixed(1) + ' kB';

// The demo recording repeated to `seconds` seconds, as a WAV at its rate.
function longSpeech(seconds) {
  const wav = fs.readFileSync(demo);
  const data = wav.indexOf('data');
  const rate = wav.readUInt32LE(24);
  const pcm = wav.subarray(data + 8, data + 8 + wav.readUInt32LE(data + 4));
  const total = Math.round(seconds * rate) * 2;
  const body = Buffer.alloc(total);
  for (let at = 0; at < total; at += pcm.length)
    pcm.copy(body, at, 0, Math.min(pcm.length, total - at));
  const header = Buffer.from(wav.subarray(0, 44));
  header.writeUInt32LE(36 + total, 4);
  header.writeUInt32LE(total, 40);
  const file = path.join(scratch, `speech-${seconds}s.wav`);
  fs.writeFileSync(file, Buffer.concat([header, body]));
  return file;
}

// CPU seconds used so far by every process started with `profile`.
function processorSeconds(profile) {
  let ticks = 0;
  for (const pid of fs.readdirSync('/proc').filter(n => /^\d+$/.test(n))) {
    try {
      if (!fs.readFileSync(`/proc/${pid}/cmdline`, 'latin1').includes(profile))
        continue;
      const fields = fs.readFileSync(`/proc/${pid}/stat`, 'latin1').replace(/^.*\) /, '').split(' ');
      ticks += Number(fields[11]) + Number(fields[12]);
    } catch (e) { /* gone meanwhile */ }
  }
  return ticks / 100;
}

async function sizes() {
  let code = 0, codeRaw = 0;
  for (const name of fs.readdirSync(site)) {
    if (!/\.(wasm|js)$/.test(name))
      continue;
    const bytes = fs.readFileSync(path.join(site, name));
    codeRaw += bytes.length;
    code += zlib.gzipSync(bytes, { level: 9 }).length;
  }
  console.log(`WebAssembly and scripts, gzip -9: ${kB(code)} (${kB(codeRaw)} uncompressed; at most 600 kB asked)`);
  // A first visit as a browser makes it, the service worker's copies included.
  const server = await serve(site, { gzip: true });
  const browser = await chromium();
  try {
    await browser.page.goto(server.origin + '/');
    await started(browser.page);
    await browser.page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, { timeout: 30000 });
    await browser.page.waitForTimeout(500);
    const all = server.requests.reduce((sum, r) => sum + r.bytes, 0);
    const scripts = server.requests.filter(r => /\.(wasm|js)$/.test(r.url)).reduce((sum, r) => sum + r.bytes, 0);
    console.log(`first visit, sent with gzip (level 6): ${kB(scripts)} of WebAssembly and scripts, ${kB(all)} in all, ` +
                `${server.requests.length} requests`);
  } finally {
    await browser.close();
    await server.close();
  }
}

async function firstPicture() {
  const times = [];
  for (let run = 0; run < 5; ++run) {
    const server = await serve();
    const browser = await chromium();
    try {
      await browser.page.goto(server.origin + '/');
      await started(browser.page);
      times.push(await browser.page.evaluate(() => window.vocalumeMeasure.firstPicture));
    } finally {
      await browser.close();
      await server.close();
    }
  }
  console.log(`first picture after the page starts loading: median ${median(times).toFixed(0)} ms ` +
              `(${times.map(t => t.toFixed(0)).join(', ')}; at most 1000 ms asked)`);
}

async function recording() {
  const server = await serve();
  const browser = await chromium({ microphone: longSpeech(30) });
  try {
    const page = browser.page;
    await page.goto(server.origin + '/');
    await started(page);
    const cdp = await browser.context.newCDPSession(page);
    await cdp.send('Performance.enable');
    const task = async () => (await cdp.send('Performance.getMetrics')).metrics.find(m => m.name === 'TaskDuration').value;
    const seconds = 10;
    // Once the page has settled (the browser compiles the WebAssembly again,
    // optimised, in the background, and the service worker keeps the files),
    // idle first, then recording, the same length of time.
    await page.waitForTimeout(10000);
    let cpu = processorSeconds(browser.profile);
    await page.waitForTimeout(seconds * 1000);
    const idle = (processorSeconds(browser.profile) - cpu) / seconds;
    await page.keyboard.press('Space');
    await page.waitForTimeout(2000);
    await page.evaluate(() => { window.vocalumeMeasure.latencies.length = 0; });
    cpu = processorSeconds(browser.profile);
    const mainThread = await task();
    const began = Date.now();
    await page.waitForTimeout(seconds * 1000);
    const elapsed = (Date.now() - began) / 1000;
    const busy = (processorSeconds(browser.profile) - cpu) / elapsed;
    const page_ = (await task() - mainThread) / elapsed;
    const latencies = await page.evaluate(() => window.vocalumeMeasure.latencies.slice());
    await page.keyboard.press('Escape');
    console.log(`processor while recording, all of Chromium's processes: ${(100 * busy).toFixed(1)} % of a core ` +
                `(idle: ${(100 * idle).toFixed(1)} %; the page's own thread: ${(100 * page_).toFixed(1)} %; at most 15 % asked)`);
    console.log(`sound to pixel inside the page: median ${median(latencies).toFixed(0)} ms, ` +
                `10th-90th percentile ${percentile(latencies, 0.1).toFixed(0)}-${percentile(latencies, 0.9).toFixed(0)} ms, ` +
                `range ${Math.min(...latencies).toFixed(0)}-${Math.max(...latencies).toFixed(0)} ms, ${latencies.length} blocks`);
  } finally {
    await browser.close();
    await server.close();
  }
}

async function analysis() {
  const sound = longSpeech(60);
  const native = path.join(root, 'build', 'release', 'bench', 'vocalume-analysis-timing');
  const nativeLine = execFileSync(native, [sound, '3']).toString().trim();
  const nativeNs = Number(/ns_per_frame ([\d.]+)/.exec(nativeLine)[1]);
  // The same program built for the browser, run in the page of a page.
  execFileSync('cmake', ['--build', path.join(root, 'build', 'web-build'), '--target', 'vocalume_analysis_timing'],
               { stdio: 'ignore', env: { ...process.env, NODE_PATH: '/usr/share/nodejs' } });
  const folder = temporaryFolder('vocalume-web-timing-');
  for (const name of ['analysis-timing.js', 'analysis-timing.wasm'])
    fs.copyFileSync(path.join(root, 'build', 'web-build', 'view', 'web', name), path.join(folder, name));
  fs.copyFileSync(sound, path.join(folder, 'speech.wav'));
  fs.writeFileSync(path.join(folder, 'index.html'), `<!DOCTYPE html><script src="analysis-timing.js"></script><script>
    window.result = (async () => {
      const sound = new Uint8Array(await (await fetch('speech.wav')).arrayBuffer());
      let out = '';
      const m = await AnalysisTiming({ print: text => { out += text; } });
      m.FS.writeFile('speech.wav', sound);
      m.callMain(['speech.wav', '3']);
      return out;
    })();</script>`);
  const server = await serve(folder);
  const browser = await chromium();
  try {
    await browser.page.goto(server.origin + '/');
    const webLine = await browser.page.evaluate(() => window.result);
    const webNs = Number(/ns_per_frame ([\d.]+)/.exec(webLine)[1]);
    console.log(`analysis per frame, every frame in full: browser ${(webNs / 1000).toFixed(2)} µs, native ` +
                `${(nativeNs / 1000).toFixed(2)} µs: ratio ${(webNs / nativeNs).toFixed(2)} (same run, 60 s of speech)`);
  } finally {
    await browser.close();
    await server.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

(async () => {
  try {
    await sizes();
    await firstPicture();
    await recording();
    await analysis();
  } finally {
    fs.rmSync(scratch, { recursive: true, force: true });
  }
})().catch(error => {
  console.error(error);
  process.exit(1);
});
