// The browser edition in Debian's Chromium, driven by playwright-core with
// the system's browser: the page as a user meets it, the microphone faked
// with a sound file, and the picture and files compared with what the
// desktop's render tool makes of the same sound.
//
//   node tests/web/browser_test.js [NAME-PART]
//
// Needs build/web (bash scripts/web.sh --no-serve) and the render tool
// (build/release/tools/vocalume-render, or VOCALUME_RENDER).
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const { root, serve, chromium, started, status, canvasPixels, readPng, runTests, check, temporaryFolder } =
  require('./support');

const render = process.env.VOCALUME_RENDER || path.join(root, 'build', 'release', 'tools', 'vocalume-render');
const demo = path.join(root, 'resources', 'demo.wav');
const scratch = temporaryFolder('vocalume-web-test-');

// A mono 16-bit WAV of `seconds` of a sine at `hz`.
function toneFile(hz, seconds, rate = 48000) {
  const file = path.join(scratch, `tone-${hz}.wav`);
  const count = Math.round(seconds * rate);
  const wav = Buffer.alloc(44 + 2 * count);
  wav.write('RIFF', 0);
  wav.writeUInt32LE(36 + 2 * count, 4);
  wav.write('WAVEfmt ', 8);
  wav.writeUInt32LE(16, 16);
  wav.writeUInt16LE(1, 20);
  wav.writeUInt16LE(1, 22);
  wav.writeUInt32LE(rate, 24);
  wav.writeUInt32LE(rate * 2, 28);
  wav.writeUInt16LE(2, 32);
  wav.writeUInt16LE(16, 34);
  wav.write('data', 36);
  wav.writeUInt32LE(2 * count, 40);
  for (let i = 0; i < count; ++i)
    wav.writeInt16LE(Math.round(12000 * Math.sin(2 * Math.PI * hz * i / rate)), 44 + 2 * i);
  fs.writeFileSync(file, wav);
  return file;
}

// How many pixels of the right half of the picture's middle rows (below the
// waveform trace, above the ticks) are not black.
async function litPixels(page) {
  const { width, height, rgba } = await canvasPixels(page);
  let lit = 0;
  for (let y = Math.floor(height * 0.2); y < Math.floor(height * 0.8); ++y)
    for (let x = width >> 1; x < width; ++x) {
      const i = 4 * (y * width + x);
      if (rgba[i] + rgba[i + 1] + rgba[i + 2] > 60)
        lit++;
    }
  return lit;
}

async function waitForState(page, state, timeout = 20000) {
  await page.waitForFunction(text => document.querySelector('#status .state').textContent === text, state,
                             { timeout });
}

// The message shown, dismissed; empty when none comes within `timeout`.
async function takeMessage(page, timeout = 5000) {
  try {
    await page.waitForSelector('#message[open]', { timeout });
  } catch (e) {
    return '';
  }
  const text = await page.textContent('#message-text');
  await page.click('#message button');
  return text;
}

async function menu(page, title, item) {
  await page.click(`.menu-title:has-text("${title}")`);
  await page.click(`.menu-items button:has-text("${item}")`);
}

// Two animation frames: whatever was asked to be painted has been.
function painted(page) {
  return page.evaluate(() => new Promise(resolve => requestAnimationFrame(() => requestAnimationFrame(resolve))));
}

async function openRecording(page, file) {
  const chooser = page.waitForEvent('filechooser');
  await menu(page, 'File', 'Open recording');
  await (await chooser).setFiles(file);
}

// Compares the canvas with the first columns of the render tool's whole
// picture at the canvas's height; returns the differing pixels.
async function differingPixels(page, file) {
  const shown = await canvasPixels(page);
  const png = path.join(scratch, 'whole.png');
  execFileSync(render, [file, '--whole', '--height', String(shown.height), '-q', '-o', png]);
  const whole = readPng(png);
  check(whole.height === shown.height, `the render is ${whole.height} rows high, the canvas ${shown.height}`);
  check(whole.width >= shown.width, `the sound gives ${whole.width} columns, fewer than the canvas's ${shown.width}`);
  let differing = 0;
  for (let y = 0; y < shown.height; ++y)
    for (let x = 0; x < shown.width; ++x) {
      const i = 4 * (y * shown.width + x), j = 3 * (y * whole.width + x);
      if (shown.rgba[i] !== whole.rgb[j] || shown.rgba[i + 1] !== whole.rgb[j + 1] ||
          shown.rgba[i + 2] !== whole.rgb[j + 2] || shown.rgba[i + 3] !== 255)
        differing++;
    }
  return differing;
}

const tests = [];
function test(name, body) {
  tests.push([name, body]);
}

// A server of its own and a fresh browser (with `options`) on the started
// page for `body`, which is handed the page and the rest; no page error
// may happen meanwhile.
async function onPage(options, body) {
  const server = await serve();
  const browser = await chromium(options);
  try {
    await browser.page.goto(server.origin + '/');
    await started(browser.page);
    await body(browser.page, browser, server);
    check(browser.errors.length === 0, 'errors: ' + browser.errors.join('; '));
  } finally {
    await browser.close();
    await server.close();
  }
}

test('the page starts, says the sound stays on the device and asks nothing of another origin', async () => {
  const asked = [];
  await onPage({}, async (page, browser, server) => {
    browser.context.on('request', request => asked.push(request.url()));
    // The first visit's service worker is active before the reload, so that
    // the reloaded page is the one it controls (a reload during its install
    // raced it on a busy machine).
    await page.evaluate(() => navigator.serviceWorker.ready.then(() => true));
    await page.reload();
    await started(page);
    const privacy = await page.textContent('#privacy');
    check(/sound stays on this device/.test(privacy), 'no line says the sound stays on the device: ' + privacy);
    check((await status(page))[0] === 'Paused', 'the state is not "Paused"');
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, { timeout: 20000 });
    const foreign = asked.filter(url => !url.startsWith(server.origin) && !/^(blob|data):/.test(url));
    check(foreign.length === 0, 'requests outside the origin: ' + foreign.join(' '));
  });
});

test('space lights the picture, Esc stands it still, P plays it back, New session asks first', async () => {
  await onPage({ microphone: demo }, async page => {
    // Before the first take the picture is black (below the waveform
    // trace, above the ticks) but for the hint across its middle.
    const first = await canvasPixels(page);
    let hint = 0, elsewhere = 0;
    for (let y = Math.floor(first.height * 0.2); y < Math.floor(first.height * 0.8); ++y)
      for (let x = 0; x < first.width; ++x) {
        const i = 4 * (y * first.width + x);
        if (first.rgba[i] + first.rgba[i + 1] + first.rgba[i + 2] > 60)
          Math.abs(y - first.height / 2) < 16 ? hint++ : elsewhere++;
      }
    check(hint > 100 && elsewhere === 0, `the first picture: ${hint} pixels of hint, ${elsewhere} lit elsewhere`);
    await page.keyboard.press('Space');
    await waitForState(page, 'Recording');
    await page.waitForFunction(() => window.vocalumeMeasure.latencies.length > 20, null, { timeout: 20000 });
    const lit = await litPixels(page);
    check(lit > 2000, `space did not light the picture (${lit} pixels lit)`);
    await page.keyboard.press('Escape');
    await waitForState(page, 'Paused');
    await page.waitForTimeout(700);  // the analysis goes on for half a second
    await painted(page);
    const still = await canvasPixels(page);
    await page.waitForTimeout(600);
    const later = await canvasPixels(page);
    check(still.rgba.equals(later.rgba), 'the picture moved after Esc');
    // P plays the session back through Web Audio; Esc stops it.
    await page.keyboard.press('p');
    await waitForState(page, 'Playing');
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => document.querySelector('#status .state').textContent !== 'Playing');
    // New session asks first; No keeps the recording, Yes clears it.
    const length = (await status(page))[2];
    for (const answer of ['no', 'yes']) {
      await menu(page, 'File', 'New session');
      await page.waitForSelector('#question[open]');
      check(await page.textContent('#question-text') === 'Discard the recording so far?', 'another question');
      await page.click(`#question button[value="${answer}"]`);
      await painted(page);
      const now = (await status(page))[2];
      check(answer === 'no' ? now === length : now === '0:00.0', `after ${answer} the length went ${length} to ${now}`);
    }
  });
});

test('a steady 220 Hz tone reads 220 Hz (A3) in the pitch readout', async () => {
  await onPage({ microphone: toneFile(220, 5) }, async page => {
    await page.keyboard.press('Control+l');
    await page.keyboard.press('Space');
    await page.waitForFunction(() => /^220 Hz · A3 /.test(document.querySelector('#status .pitch').textContent),
                               null, { timeout: 20000 })
      .catch(async error => { throw new Error(error.message + ' (the readout: "' + (await status(page))[3] + '")'); });
    await page.keyboard.press('Escape');
  });
});

test('an opened sound file shows its start byte for byte as the render tool draws it', async () => {
  await onPage({ viewport: { width: 700, height: 480 } }, async page => {
    await openRecording(page, demo);
    await waitForState(page, 'Looking back');
    await painted(page);
    const differing = await differingPixels(page, demo);
    check(differing === 0, `${differing} pixels differ from the render tool's`);
  });
});

test('a file that is no sound is refused in a message and the session stays', async () => {
  await onPage({}, async page => {
    const notes = path.join(scratch, 'notes.txt');
    fs.writeFileSync(notes, 'These are words, not sound.\n');
    await openRecording(page, notes);
    const message = await takeMessage(page, 15000);
    check(/^Cannot read the sound file "notes\.txt"/.test(message), 'the message: ' + message);
    check((await status(page))[0] === 'Paused', 'the session did not stay');
  });
});

test('the saved recording holds the session: its frame table is the exported one', async () => {
  await onPage({ microphone: demo }, async page => {
    await page.keyboard.press('Space');
    await page.waitForFunction(() => window.vocalumeMeasure.latencies.length > 15, null, { timeout: 20000 });
    await page.keyboard.press('Escape');
    await waitForState(page, 'Paused');
    const saved = {};
    for (const type of ['wav', 'flac']) {
      await page.keyboard.press('Control+s');
      await page.waitForSelector('#save-recording[open]');
      await page.selectOption('#save-recording select[name="type"]', type);
      const download = page.waitForEvent('download');
      await page.click('#save-recording button[value="save"]');
      const file = await download;
      check(new RegExp(`^vocalume-\\d{4}-\\d\\d-\\d\\d-\\d{4}\\.${type}$`).test(file.suggestedFilename()),
            'an unexpected name: ' + file.suggestedFilename());
      saved[type] = path.join(scratch, 'saved.' + type);
      await file.saveAs(saved[type]);
    }
    const exported = page.waitForEvent('download');
    await menu(page, 'File', 'Export frame data');
    const csv = path.join(scratch, 'exported.csv');
    await (await exported).saveAs(csv);
    for (const type of ['wav', 'flac']) {
      const own = path.join(scratch, `render-${type}.csv`);
      execFileSync(render, [saved[type], '-q', '--csv', own]);
      check(fs.readFileSync(own).equals(fs.readFileSync(csv)),
            `the ${type} file's frame table differs from the one the page exported`);
    }
  });
});

test('a refused microphone is told in a message', async () => {
  await onPage({ microphone: demo, fakeUi: false }, async page => {
    await page.keyboard.press('Space');
    const message = await takeMessage(page, 15000);
    check(/may not use the microphone/.test(message), 'the message: ' + message);
    await waitForState(page, 'Paused');
  });
});

test('a reload keeps the settings', async () => {
  await onPage({}, async page => {
    await menu(page, 'File', 'Configure');
    await page.waitForSelector('#configure[open]');
    await page.selectOption('#configure select[name="refresh"]', { label: '20' });
    await page.selectOption('#configure select[name="palette"]', { label: 'Colour-blind safe' });
    await page.uncheck('#configure input[name="timescale"]');
    await page.click('#configure button[value="ok"]');
    await page.keyboard.press('Control+l');
    await page.reload();
    await started(page);
    check(await page.getAttribute('[data-action="pitch-line"]', 'aria-checked') === 'true',
          'the pitch line is off after the reload');
    await menu(page, 'File', 'Configure');
    await page.waitForSelector('#configure[open]');
    const kept = await page.evaluate(() => {
      const form = document.querySelector('#configure form');
      return [form.elements.refresh.selectedOptions[0].text, form.elements.palette.selectedOptions[0].text,
              form.elements.timescale.checked];
    });
    check(kept[0] === '20' && kept[1] === 'Colour-blind safe' && kept[2] === false, 'kept: ' + kept.join(', '));
    await page.click('#configure button[value="cancel"]');

    // A target note is kept as well; the keys are told in Help.
    await menu(page, 'View', 'Target note');
    await page.waitForSelector('#target-note[open]');
    await page.selectOption('#target-note select[name="note"]', { index: 26 });
    await page.selectOption('#target-note select[name="cents"]', { label: '\u00b1 50 ct' });
    await page.click('#target-note button[value="ok"]');
    await page.reload();
    await started(page);
    await menu(page, 'View', 'Target note');
    await page.waitForSelector('#target-note[open]');
    const target = await page.evaluate(() => {
      const form = document.querySelector('#target-note form');
      return [form.elements.note.selectedOptions[0].text, form.elements.cents.selectedOptions[0].text];
    });
    check(target[0] === 'A3 \u00b7 220 Hz' && target[1] === '\u00b1 50 ct', 'the target kept: ' + target.join(', '));
    await page.click('#target-note button[value="cancel"]');
    await menu(page, 'Help', 'Keys and colours');
    await page.waitForSelector('#keys-and-colours[open]');
    check(/Space\tstart recording/.test(await page.textContent('#keys-text')), 'Help does not tell the keys');
  });
});

test('a reload works offline after the first visit, and the page can be installed', async () => {
  await onPage({}, async (page, browser, server) => {
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, { timeout: 20000 });
    const session = await browser.context.newCDPSession(page);
    const { installabilityErrors } = await session.send('Page.getInstallabilityErrors');
    check(installabilityErrors.length === 0,
          'not installable: ' + installabilityErrors.map(e => e.errorId).join(', '));
    await server.close();
    await browser.context.setOffline(true);
    await page.reload();
    await started(page);
    check((await status(page))[0] === 'Paused', 'the page did not start offline');
    await openRecording(page, demo);
    await waitForState(page, 'Looking back');
  });
});

test('a model opens above the picture and again at the next visit', async () => {
  await onPage({}, async page => {
    const chooser = page.waitForEvent('filechooser');
    await menu(page, 'View', 'Model');
    await (await chooser).setFiles(demo);
    await page.waitForFunction(() => document.querySelector('#status .model').textContent === 'Model: demo.wav',
                               null, { timeout: 20000 });
    // The file is kept in the browser's storage for the next visit.
    await page.waitForFunction(() => new Promise(resolve => {
      const opened = indexedDB.open('vocalume', 1);
      opened.onerror = () => resolve(false);
      opened.onsuccess = () => {
        const got = opened.result.transaction('files').objectStore('files').get('model');
        got.onsuccess = () => resolve(Boolean(got.result));
        got.onerror = () => resolve(false);
      };
    }), null, { timeout: 20000 });
    await page.reload();
    await started(page);
    await page.waitForFunction(() => document.querySelector('#status .model').textContent === 'Model: demo.wav',
                               null, { timeout: 20000 });
  });
});

runTests('web chromium', tests, process.argv[2]).then(({ failed }) => {
  fs.rmSync(scratch, { recursive: true, force: true });
  process.exit(failed > 0 ? 1 : 0);
});
