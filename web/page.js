// The browser edition's page. It shows the view's picture on a canvas, hands
// the view its keys, menus, timers, the microphone's sound and the files the
// user chooses, and answers the view's host (view/web) when it asks for a
// paint, a dialog, a message, the status bar or Web Audio. What any command
// does is decided by the view, not here.
'use strict';

(() => {
  // The view's command identifiers (view/analysis_view.h).
  const Command = { start: 32772, pause: 32773, configure: 32774, newSession: 32777, pitchLine: 32780, closeModel: 32782, followTiming: 32784, zoomOut: 32786, zoomIn: 32787, targetNote: 32788 };
  // The view's keys, in the order of ViewKey.
  const ViewKeys = { ArrowLeft: 0, ArrowRight: 1, PageUp: 2, PageDown: 3, Home: 4, End: 5 };
  const Job = { recording: 0, model: 1, export: 2 };
  // The rate the view records at, asked of the audio context first.
  let recordingRate = 0;
  const kMicrophoneProcessor = 'microphone-tap';

  const canvas = document.getElementById('picture');
  const stage = document.getElementById('stage');
  const statusFields = Array.from(document.querySelectorAll('#status .field'));
  const scroll = document.getElementById('scroll');
  const scrollTrack = document.getElementById('scroll-track');
  const soundFile = document.getElementById('sound-file');

  // What the page measures of itself (read by the tests and benchmarks).
  const measure = window.vocalumeMeasure = { firstPicture: -1, latencies: [], paints: 0 };

  let core = null;
  let context2d = null;

  function fatal(text) {
    const p = document.getElementById('fatal');
    p.textContent = text;
    p.hidden = false;
    canvas.hidden = true;
  }

  if (typeof WebAssembly !== 'object' || typeof VocalumeModule !== 'function') {
    fatal('This browser cannot run Vocalume: it has no WebAssembly. Please open the page in a current version of ' +
          'Chrome, Edge, Firefox or Safari.');
    return;
  }

  // ---- Commands, and the questions that come back to them ----------------
  //
  // A dialog in a page cannot hold a command up until it is answered. So a
  // command that asks (Discard the recording so far?, the Configuration
  // dialog) first finds no answer and goes on as if the user had declined;
  // once the user answers, the very command runs again and takes the answer.

  let running = null;
  let pendingAnswer = null;
  function run(command) {
    const outer = running;
    running = command;
    try {
      return command();
    } finally {
      running = outer;
      refreshMenus();
    }
  }
  function runAgainWith(answer, command) {
    pendingAnswer = answer;
    try {
      run(command);
    } finally {
      pendingAnswer = null;
    }
  }

  const openDialogs = new Set();
  function showDialog(dialog, onClose) {
    openDialogs.add(dialog);
    dialog.addEventListener('close', function closed() {
      dialog.removeEventListener('close', closed);
      openDialogs.delete(dialog);
      onClose(dialog.returnValue);
      if (openDialogs.size === 0)
        canvas.focus();
    });
    dialog.returnValue = '';
    dialog.showModal();
  }

  const messages = [];
  function showMessage(text) {
    messages.push(text);
    if (messages.length === 1)
      nextMessage();
  }
  function nextMessage() {
    if (messages.length === 0)
      return;
    const dialog = document.getElementById('message');
    document.getElementById('message-text').textContent = messages[0];
    showDialog(dialog, () => {
      messages.shift();
      nextMessage();
    });
  }

  function askYesNo(question) {
    if (pendingAnswer && pendingAnswer.question === question)
      return pendingAnswer.yes;
    const command = running;
    const dialog = document.getElementById('question');
    document.getElementById('question-text').textContent = question;
    showDialog(dialog, value => {
      if (value === 'yes' && command)
        runAgainWith({ question, yes: true }, command);
    });
    return false;
  }

  function fillList(select, list) {
    select.replaceChildren(...list.entries.map((entry, i) => new Option(entry, String(i))));
    select.selectedIndex = list.selected;
  }
  // A dialog of lists and check boxes that the view offers as JSON (each
  // list's entries and selection, each box 0 or 1) and takes back as the
  // selections and boxes under the same names; `key` names the answer.
  function formDialog(id, key, lists, boxes, offerText) {
    if (pendingAnswer && pendingAnswer[key])
      return pendingAnswer[key];
    const command = running;
    const offer = JSON.parse(offerText);
    const dialog = document.getElementById(id);
    const form = dialog.querySelector('form');
    for (const name of lists)
      fillList(form.elements[name], offer[name]);
    for (const name of boxes)
      form.elements[name].checked = offer[name] !== 0;
    showDialog(dialog, value => {
      if (value !== 'ok' || !command)
        return;
      const answer = {};
      for (const name of lists)
        answer[name] = form.elements[name].selectedIndex;
      for (const name of boxes)
        answer[name] = form.elements[name].checked ? 1 : 0;
      runAgainWith({ [key]: JSON.stringify(answer) }, command);
    });
    return '';
  }
  const configDialog = offerText => formDialog('configure', 'config',
    ['refresh', 'sampling', 'palette', 'input', 'history'], ['waveform', 'timescale'], offerText);
  const targetDialog = offerText => formDialog('target-note', 'target', ['note', 'cents'], [], offerText);

  // ---- The picture ---------------------------------------------------------

  let dirtyLeft = Infinity;
  let dirtyRight = -1;
  let paintPending = false;
  function requestPaint(left, right) {
    if (left < 0) {
      dirtyLeft = 0;
      dirtyRight = Infinity;
    } else {
      dirtyLeft = Math.min(dirtyLeft, left);
      dirtyRight = Math.max(dirtyRight, right);
    }
    if (!paintPending) {
      paintPending = true;
      requestAnimationFrame(paint);
    }
  }
  function paint(time) {
    paintPending = false;
    if (!core)
      return;
    const right = dirtyRight === Infinity ? 1 << 30 : dirtyRight;
    const left = dirtyLeft;
    dirtyLeft = Infinity;
    dirtyRight = -1;
    const pixels = core._vocalume_paint(left, right);
    const width = core._vocalume_shown_width();
    const height = core._vocalume_shown_height();
    if (width <= 0 || height <= 0)
      return;
    // The canvas keeps what it showed: it moves by the picture's scroll,
    // and only the columns that changed are put anew (all of them while
    // texts are drawn over the picture: they must not move with it).
    const image = new ImageData(new Uint8ClampedArray(core.HEAPU8.buffer, pixels, width * height * 4), width, height);
    const scrolled = core._vocalume_painted_scroll();
    const from = core._vocalume_painted_left();
    const to = core._vocalume_painted_right();
    if (scrolled > 0)
      context2d.drawImage(canvas, -scrolled, 0);
    if (from <= to)
      context2d.putImageData(image, 0, 0, from, 0, to - from + 1, height);
    drawPictureTexts(image, from, to);
    measure.paints++;
    if (measure.firstPicture < 0)
      measure.firstPicture = performance.now();
    noteShown(performance.timeOrigin + time);
  }

  // The view's texts over the picture (the first take's hint, the lanes'
  // names), light grey with a dark edge as on the desktop. A text is drawn
  // again whenever the strip just painted reaches it; one that is gone takes
  // the picture under it back.
  let shownTexts = [];
  function drawPictureTexts(image, from, to) {
    const lines = core.UTF8ToString(core._vocalume_picture_texts());
    if (lines === '' && shownTexts.length === 0)
      return;
    context2d.font = getComputedStyle(canvas).font;
    context2d.textBaseline = 'top';
    const texts = lines.split('\n').filter(line => line !== '').map(line => {
      const [x, y, centred, text] = line.split('\t');
      const width = Math.ceil(context2d.measureText(text).width);
      const height = Math.ceil(parseFloat(context2d.font) * 1.3);
      const left = centred === '1' ? +x - width / 2 : +x;
      const top = centred === '1' ? +y - height / 2 : +y;
      return { text, left: Math.floor(left), top: Math.floor(top), width: width + 2, height: height + 2 };
    });
    const same = (a, b) => a.text === b.text && a.left === b.left && a.top === b.top;
    for (const old of shownTexts)
      if (!texts.some(t => same(t, old)))
        context2d.putImageData(image, 0, 0, old.left, old.top, old.width, old.height);
    for (const t of texts) {
      const stillShown = shownTexts.some(old => same(t, old));
      if (stillShown && (t.left > to || t.left + t.width < from))
        continue;
      context2d.putImageData(image, 0, 0, t.left, t.top, t.width, t.height);
      context2d.fillStyle = '#000';
      context2d.fillText(t.text, t.left + 1, t.top + 1);
      context2d.fillStyle = 'rgb(210, 210, 210)';
      context2d.fillText(t.text, t.left, t.top);
    }
    shownTexts = texts;
  }

  function fitCanvas() {
    const width = Math.max(1, Math.floor(stage.clientWidth));
    const height = Math.max(1, Math.floor(stage.clientHeight));
    if (canvas.width === width && canvas.height === height && core)
      return;
    canvas.width = width;
    canvas.height = height;
    canvas.style.width = width + 'px';
    canvas.style.height = height + 'px';
    if (core)
      run(() => core._vocalume_size(width, height));
  }

  // ---- Timers and the status bar -------------------------------------------

  const timers = new Map();
  function killTimer(id) {
    const timer = timers.get(id);
    if (timer !== undefined) {
      clearTimeout(timer);
      clearInterval(timer);
      timers.delete(id);
    }
  }
  function setTimer(id, milliseconds, repeat) {
    killTimer(id);
    const fire = () => {
      if (!repeat)
        timers.delete(id);
      run(() => core._vocalume_timer(id));
    };
    timers.set(id, repeat ? setInterval(fire, milliseconds) : setTimeout(fire, milliseconds));
  }

  function setStatus(field, text) {
    if (statusFields[field])
      statusFields[field].textContent = text;
  }

  // The scroll bar under the picture, in frames.
  let scrollRange = 0;
  let scrollSetting = false;
  function showScrollBar(shown, position, pageFrames, range) {
    scroll.hidden = !shown;
    if (!shown)
      return;
    scrollRange = range;
    const width = Math.min(30000000, scroll.clientWidth * range / Math.max(pageFrames, 1));
    scrollSetting = true;
    scrollTrack.style.width = width + 'px';
    scroll.scrollLeft = range > 0 ? position / range * width : 0;
    requestAnimationFrame(() => { scrollSetting = false; });
  }
  scroll.addEventListener('scroll', () => {
    if (scrollSetting || !core)
      return;
    const width = scrollTrack.clientWidth;
    const frame = width > 0 ? Math.round(scroll.scrollLeft / width * scrollRange) : 0;
    run(() => core._vocalume_scroll_to(frame));
  });

  // ---- Sound: the microphone and playing back ------------------------------

  // One audio context for recording and playing back. At the recording rate
  // where the browser converts the microphone itself (less work on every
  // block); at the device's own rate where it cannot, the view converting.
  let audio = null;
  let workletLoaded = null;
  let ownRate = true;
  function audioContext(rate) {
    if (!audio) {
      try {
        audio = ownRate && rate ? new AudioContext({ latencyHint: 'interactive', sampleRate: rate }) : null;
      } catch (e) {
        ownRate = false;
      }
      if (!audio)
        audio = new AudioContext({ latencyHint: 'interactive' });
    }
    if (audio.state === 'suspended')
      audio.resume();
    return audio;
  }
  function microphoneSource(context, stream) {
    try {
      return context.createMediaStreamSource(stream);
    } catch (error) {
      if (error.name !== 'NotSupportedError' || !ownRate)
        throw error;
      return null;
    }
  }

  let devices = [];
  async function listDevices() {
    try {
      const all = await navigator.mediaDevices.enumerateDevices();
      devices = all.filter(d => d.kind === 'audioinput' && d.deviceId && d.deviceId !== 'default' &&
                                d.deviceId !== 'communications');
    } catch (e) {
      devices = [];
    }
  }
  function inputs() {
    return devices.map((d, i) => d.deviceId + '\t' + (d.label || 'Microphone ' + (i + 1)) + '\n').join('');
  }
  if (navigator.mediaDevices && navigator.mediaDevices.enumerateDevices) {
    listDevices();
    navigator.mediaDevices.addEventListener('devicechange', listDevices);
  }

  let microphone = null;
  let microphoneGeneration = 0;
  let soundBuffer = 0;
  let soundBufferSize = 0;
  const blocks = [];

  function microphoneReason(error) {
    switch (error && error.name) {
    case 'NotAllowedError':
    case 'SecurityError':
      return 'this page may not use the microphone (allow it in the browser\u2019s settings for this site)';
    case 'NotFoundError':
    case 'OverconstrainedError':
      return 'no microphone was found';
    case 'NotReadableError':
    case 'AbortError':
      return 'the microphone cannot be read (another program may be using it)';
    default:
      return 'the microphone could not be opened' + (error && error.message ? ' (' + error.message + ')' : '');
    }
  }
  function microphoneLost(generation, reason) {
    if (generation !== microphoneGeneration || !core)
      return;
    run(() => core.ccall('vocalume_microphone_lost', null, ['string'], [reason]));
  }

  function openMicrophone(input, rate) {
    if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia || typeof AudioWorkletNode !== 'function')
      return 1;
    const generation = ++microphoneGeneration;
    const known = input === '' || devices.some(d => d.deviceId === input);
    const constraints = { audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false } };
    if (input !== '' && known)
      constraints.audio.deviceId = { exact: input };
    blocks.length = 0;
    (async () => {
      let stream = null;
      try {
        let context = audioContext(rate);
        if (!workletLoaded)
          workletLoaded = context.audioWorklet.addModule('microphone.js');
        await workletLoaded;
        stream = await navigator.mediaDevices.getUserMedia(constraints);
        if (generation !== microphoneGeneration) {
          stream.getTracks().forEach(t => t.stop());
          return;
        }
        let source = microphoneSource(context, stream);
        if (!source) {
          // This browser records only at the device's rate: from now on the
          // context runs at it.
          ownRate = false;
          stopPlaying();
          await audio.close();
          audio = null;
          context = audioContext();
          workletLoaded = context.audioWorklet.addModule('microphone.js');
          await workletLoaded;
          source = context.createMediaStreamSource(stream);
        }
        const tap = new AudioWorkletNode(context, kMicrophoneProcessor,
                                         { numberOfInputs: 1, numberOfOutputs: 1, outputChannelCount: [1] });
        const silence = context.createGain();
        silence.gain.value = 0;
        tap.port.onmessage = event => heard(generation, event.data);
        source.connect(tap).connect(silence).connect(context.destination);
        microphone = { stream, source, tap, silence, generation };
        for (const track of stream.getAudioTracks())
          track.addEventListener('ended', () => microphoneLost(generation, 'the microphone was disconnected'));
        listDevices();
      } catch (error) {
        if (stream)
          stream.getTracks().forEach(t => t.stop());
        microphoneLost(generation, microphoneReason(error));
      }
    })();
    return known ? 0 : 2;
  }

  function closeMicrophone() {
    ++microphoneGeneration;
    if (!microphone)
      return;
    microphone.tap.port.onmessage = null;
    microphone.source.disconnect();
    microphone.tap.disconnect();
    microphone.silence.disconnect();
    microphone.stream.getTracks().forEach(t => t.stop());
    microphone = null;
  }

  function heard(generation, block) {
    if (generation !== microphoneGeneration || !core)
      return;
    const samples = block.samples;
    if (soundBufferSize < samples.length) {
      if (soundBuffer)
        core._free(soundBuffer);
      soundBufferSize = samples.length;
      soundBuffer = core._malloc(soundBufferSize * 4);
    }
    core.HEAPF32.set(samples, soundBuffer >> 2);
    run(() => core._vocalume_sound(soundBuffer, samples.length, audio.sampleRate));
    // When the block was taken, by the sample of the session it ends with.
    blocks.push({ end: core._vocalume_samples_heard(), time: block.time });
    if (blocks.length > 200)
      blocks.shift();
  }

  // The newest sample the picture shows: every block it covers has now
  // reached the screen, at this animation frame.
  function noteShown(paintTime) {
    if (blocks.length === 0)
      return;
    const newest = core._vocalume_newest_shown_sample();
    while (blocks.length > 0 && newest >= 0 && blocks[0].end <= newest) {
      const block = blocks.shift();
      if (measure.latencies.length < 100000)
        measure.latencies.push(paintTime - block.time);
    }
  }

  // Playing back: the sound is handed over run by run as the session keeps
  // it (playBegin, playFill for each run, playStart).
  let playing = null;
  let filling = null;
  function playBegin(count, rate) {
    filling = null;
    let context;
    try {
      context = audioContext(rate);
    } catch (e) {
      return false;
    }
    stopPlaying();
    if (count <= 0)
      return false;
    filling = { context, buffer: context.createBuffer(1, count, rate), rate };
    return true;
  }
  function playFill(samples, at) {
    const channel = filling.buffer.getChannelData(0);
    for (let i = 0; i < samples.length; ++i)
      channel[at + i] = samples[i] / 32768;
  }
  function playStart(from) {
    const { context, buffer, rate } = filling;
    filling = null;
    const node = context.createBufferSource();
    node.buffer = buffer;
    node.connect(context.destination);
    const start = context.currentTime + 0.02;
    playing = { node, start, from, rate, end: from + buffer.length, finished: false };
    const current = playing;
    node.onended = () => { current.finished = true; };
    node.start(start);
    return true;
  }
  function stopPlaying() {
    if (!playing)
      return;
    playing.node.onended = null;
    try {
      playing.node.stop();
    } catch (e) { /* never started */ }
    playing.node.disconnect();
    playing = null;
  }
  function heardSample() {
    if (!playing || !audio)
      return 0;
    const latency = audio.outputLatency || audio.baseLatency || 0;
    const heard = (audio.currentTime - playing.start - latency) * playing.rate;
    return Math.min(playing.end, playing.from + Math.max(0, Math.floor(heard)));
  }
  function playFinished() {
    return !playing || playing.finished;
  }

  // ---- Settings ------------------------------------------------------------

  function readSetting(key) {
    try {
      return localStorage.getItem('vocalume:' + key);
    } catch (e) {
      return null;
    }
  }
  function writeSetting(key, value) {
    try {
      localStorage.setItem('vocalume:' + key, value);
    } catch (e) { /* private mode: the settings last as long as the page */ }
  }

  // ---- Files -----------------------------------------------------------------

  // "vocalume-2026-12-08-1402.wav": the local time the file was saved.
  function fileName(extension) {
    const now = new Date();
    const two = n => String(n).padStart(2, '0');
    return 'vocalume-' + now.getFullYear() + '-' + two(now.getMonth() + 1) + '-' + two(now.getDate()) + '-' +
           two(now.getHours()) + two(now.getMinutes()) + '.' + extension;
  }
  function download(bytes, name, type) {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }
  // Saves through the view into the page's memory, then offers the file.
  function saveThroughView(exported, name, type) {
    const path = '/downloads/' + name;
    const failure = run(() => core.ccall(exported, 'string', ['string'], [path]));
    if (failure) {
      showMessage(failure);
      return;
    }
    const bytes = core.FS.readFile(path);
    core.FS.unlink(path);
    download(bytes, name, type);
  }

  function saveRecording() {
    const dialog = document.getElementById('save-recording');
    const form = dialog.querySelector('form');
    form.elements.name.value = fileName('wav').replace(/\.wav$/, '');
    showDialog(dialog, value => {
      if (value !== 'save')
        return;
      const type = form.elements.type.value;
      let name = form.elements.name.value.trim().replace(/[\\/]/g, '-') || fileName(type).replace(/\.\w+$/, '');
      if (!/\.(wav|flac)$/i.test(name))
        name += '.' + type;
      saveThroughView('vocalume_save_recording', name, type === 'flac' ? 'audio/flac' : 'audio/wav');
    });
  }
  function savePicture() {
    saveThroughView('vocalume_save_picture', fileName('png'), 'image/png');
  }

  // File work runs in a worker with an instance of its own, as the desktop
  // runs it on a thread of its own; Esc ends the worker.
  let job = null;
  function cancelJob() {
    if (!job)
      return;
    job.worker.terminate();
    finishJob(job, 'stopped', null);
  }
  function finishJob(ended, result, bytes) {
    if (job !== ended)
      return;
    job = null;
    let pointer = 0;
    if (bytes && bytes.length > 0) {
      pointer = core._malloc(bytes.length);
      core.HEAPU8.set(bytes, pointer);
    }
    run(() => core.ccall('vocalume_end_job', null, ['number', 'string', 'number', 'number', 'string', 'string'],
                         [ended.kind, result, pointer, bytes ? bytes.length : 0, ended.name, ended.path || '']));
    if (pointer)
      core._free(pointer);
    if (result === '' && ended.done)
      ended.done(bytes);
  }
  function startJob(kind, name, message, transfer, done) {
    const options = core._vocalume_analysis_options();
    const worker = new Worker('file-worker.js');
    const started = { kind, name, worker, done, path: message.path };
    job = started;
    worker.onmessage = event => {
      const data = event.data;
      if ('progress' in data)
        core._vocalume_job_progress(data.progress);
      else
        finishJob(started, data.result, data.bytes);
    };
    worker.onerror = event => {
      event.preventDefault();
      finishJob(started, 'the file could not be analysed (' + (event.message || 'the worker failed') + ')', null);
    };
    message.kind = kind;
    message.name = name;
    message.options = core.HEAP32.slice(options >> 2, (options >> 2) + 13);
    worker.postMessage(message, transfer);
  }

  async function openRecording(file) {
    let bytes;
    try {
      bytes = await file.arrayBuffer();
    } catch (error) {
      showMessage('Cannot read the sound file "' + file.name + '": ' + (error.message || 'the browser refused it') + '.');
      return;
    }
    const command = () => {
      if (core.ccall('vocalume_begin_open_recording', 'number', ['string'], [file.name]))
        startJob(Job.recording, file.name, { bytes: bytes.slice(0) }, []);
    };
    run(command);
  }

  // The model's file is kept in the browser's storage, so that it opens
  // again at the next visit, as the desktop opens the model of its last run.
  const kModels = '/models';
  function storeModel(name, bytes) {
    withModelStore('readwrite', store => store.put({ name, bytes }, 'model'));
  }
  function withModelStore(mode, use) {
    return new Promise(resolve => {
      if (!window.indexedDB) {
        resolve(null);
        return;
      }
      const request = indexedDB.open('vocalume', 1);
      request.onupgradeneeded = () => request.result.createObjectStore('files');
      request.onerror = () => resolve(null);
      request.onsuccess = () => {
        const transaction = request.result.transaction('files', mode);
        const got = use(transaction.objectStore('files'));
        transaction.oncomplete = () => resolve(got && got.result);
        transaction.onerror = () => resolve(null);
      };
    });
  }
  function openModel(name, bytes, remembered) {
    const path = kModels + '/' + name;
    const command = () => {
      if (!core.ccall('vocalume_begin_open_model', 'number', ['string'], [name]))
        return;
      startJob(Job.model, name, { bytes: bytes.slice(0), path }, [], () => {
        try {
          core.FS.mkdir(kModels);
        } catch (e) { /* there already */ }
        core.FS.writeFile(path, new Uint8Array(bytes));
        if (!remembered)
          storeModel(name, bytes);
      });
    };
    run(command);
  }
  async function openModelFile(file) {
    try {
      openModel(file.name, await file.arrayBuffer(), false);
    } catch (error) {
      showMessage('The model could not be opened: ' + (error.message || 'the browser refused the file') + '.');
    }
  }

  function exportFrames() {
    run(() => {
      if (!core._vocalume_begin_export())
        return;
      // The session keeps its sound in chunks: copied run by run.
      const sound = new Int16Array(core._vocalume_export_sound_size());
      for (let at = 0; at < sound.length;) {
        const run = core._vocalume_export_run(at) >> 1;
        const count = core._vocalume_export_run_size();
        if (count <= 0)
          break;
        sound.set(core.HEAP16.subarray(run, run + count), at);
        at += count;
      }
      startJob(Job.export, 'frames', { sound }, [sound.buffer],
               bytes => download(bytes, fileName('csv'), 'text/csv'));
    });
  }

  let fileFor = 'recording';
  function chooseFile(purpose) {
    if (core._vocalume_busy())
      return;
    if (purpose === 'recording')
      run(() => core._vocalume_command(Command.pause));
    fileFor = purpose;
    soundFile.value = '';
    soundFile.click();
  }
  soundFile.addEventListener('change', () => {
    const file = soundFile.files[0];
    if (!file)
      return;
    if (fileFor === 'model')
      openModelFile(file);
    else
      openRecording(file);
  });
  document.addEventListener('dragover', event => event.preventDefault());
  document.addEventListener('drop', event => {
    event.preventDefault();
    const file = event.dataTransfer && event.dataTransfer.files[0];
    if (file && core)
      openRecording(file);
  });

  // ---- Menus and keys --------------------------------------------------------

  const actions = {
    'new-session': () => run(() => core._vocalume_command(Command.newSession)),
    'open-recording': () => chooseFile('recording'),
    'save-recording': saveRecording,
    'save-picture': savePicture,
    'export-frames': exportFrames,
    'configure': () => run(() => core._vocalume_command(Command.configure)),
    'start': () => run(() => core._vocalume_command(Command.start)),
    'pause': () => run(() => core._vocalume_command(Command.pause)),
    'pitch-line': () => run(() => core._vocalume_command(Command.pitchLine)),
    'target-note': () => run(() => core._vocalume_command(Command.targetNote)),
    'follow-timing': () => run(() => core._vocalume_command(Command.followTiming)),
    'zoom-out': () => run(() => core._vocalume_command(Command.zoomOut)),
    'zoom-in': () => run(() => core._vocalume_command(Command.zoomIn)),
    'open-model': () => chooseFile('model'),
    'close-model': () => run(() => core._vocalume_command(Command.closeModel)),
    'keys-and-colours': showKeysAndColours,
    'about': () => showDialog(document.getElementById('about'), () => {}),
  };

  function showKeysAndColours() {
    document.getElementById('keys-text').textContent = core.UTF8ToString(core._vocalume_keys_and_colours());
    showDialog(document.getElementById('keys-and-colours'), () => {});
  }

  function closeMenus() {
    for (const menu of document.querySelectorAll('.menu')) {
      menu.querySelector('.menu-items').hidden = true;
      menu.querySelector('.menu-title').setAttribute('aria-expanded', 'false');
    }
  }
  // The menus follow the view, touched only when they change (each touch
  // costs the page a style pass).
  const pitchLineItem = document.querySelector('[data-action="pitch-line"]');
  const followTimingItem = document.querySelector('[data-action="follow-timing"]');
  const closeModelItem = document.querySelector('[data-action="close-model"]');
  const zoomOutItem = document.querySelector('[data-action="zoom-out"]');
  const zoomInItem = document.querySelector('[data-action="zoom-in"]');
  function refreshMenus() {
    if (!core)
      return;
    const checked = core._vocalume_pitch_line() ? 'true' : 'false';
    if (pitchLineItem.getAttribute('aria-checked') !== checked)
      pitchLineItem.setAttribute('aria-checked', checked);
    const following = core._vocalume_follow_timing() ? 'true' : 'false';
    if (followTimingItem.getAttribute('aria-checked') !== following)
      followTimingItem.setAttribute('aria-checked', following);
    const disabled = !core._vocalume_has_model();
    if (closeModelItem.disabled !== disabled)
      closeModelItem.disabled = disabled;
    // Zoom out and in are greyed all the way out and in.
    const zoom = core._vocalume_zoom();
    if (zoomOutItem.disabled !== (zoom >= 16))
      zoomOutItem.disabled = zoom >= 16;
    if (zoomInItem.disabled !== (zoom <= 1))
      zoomInItem.disabled = zoom <= 1;
  }
  for (const menu of document.querySelectorAll('.menu')) {
    const title = menu.querySelector('.menu-title');
    const items = menu.querySelector('.menu-items');
    title.addEventListener('click', () => {
      const open = items.hidden;
      closeMenus();
      items.hidden = !open;
      title.setAttribute('aria-expanded', String(open));
      if (open)
        items.querySelector('button:not(:disabled)').focus();
    });
  }
  document.addEventListener('click', event => {
    const item = event.target.closest('[data-action]');
    if (!event.target.closest('.menu'))
      closeMenus();
    if (!item || !core || item.disabled)
      return;
    closeMenus();
    canvas.focus();
    actions[item.dataset.action]();
  });

  const shortcuts = {
    n: 'new-session', o: 'open-recording', s: 'save-recording', l: 'pitch-line', m: 'open-model',
    '-': 'zoom-out', '+': 'zoom-in', '=': 'zoom-in',
  };
  const mnemonics = { f: 0, v: 1, h: 2 };
  document.addEventListener('keydown', event => {
    // A dialog's keys are its own (a closed one is no longer open at once,
    // though its close event comes later).
    if (!core || document.querySelector('dialog[open]'))
      return;
    const key = event.key;
    if (event.ctrlKey || event.metaKey) {
      const lower = key.length === 1 ? key.toLowerCase() : '';
      const action = lower === 's' && event.shiftKey ? 'save-picture' : shortcuts[lower];
      if (!action || event.altKey)
        return;
      event.preventDefault();
      actions[action]();
      return;
    }
    if (event.altKey) {
      const lower = key.toLowerCase();
      if (lower === 's' || lower === 'p') {
        event.preventDefault();
        actions[lower === 's' ? 'start' : 'pause']();
      } else if (lower in mnemonics) {
        event.preventDefault();
        document.querySelectorAll('.menu .menu-title')[mnemonics[lower]].click();
      }
      return;
    }
    const inMenu = event.target.closest && event.target.closest('.menu-items');
    if (inMenu) {
      if (key === 'Escape') {
        closeMenus();
        canvas.focus();
        event.preventDefault();
      }
      return;
    }
    if (key in ViewKeys) {
      event.preventDefault();
      run(() => core._vocalume_key(ViewKeys[key]));
      return;
    }
    let character = -1;
    if (key === 'Escape')
      character = 27;
    else if (key.length === 1)
      character = key.codePointAt(0);
    if (character < 0)
      return;
    if (character === 32)
      event.preventDefault();
    // The first key may open the sound device: the browser lets it.
    if (character === 32 || character === 112 || character === 80)
      audioContext(recordingRate);
    run(() => core._vocalume_char(character));
  });

  let wheelRest = 0;
  canvas.addEventListener('wheel', event => {
    event.preventDefault();
    // A notch is three lines, or a hundred pixels of a touchpad's glide;
    // rolling away from the user goes back in time.
    wheelRest += event.deltaMode === 1 ? event.deltaY * 100 / 3 : event.deltaMode === 2 ? event.deltaY * 100
                                                                                     : event.deltaY;
    const notches = Math.trunc(wheelRest / 100);
    if (notches !== 0) {
      wheelRest -= notches * 100;
      run(() => core._vocalume_wheel(-notches));
    }
  }, { passive: false });
  canvas.addEventListener('mousemove', event => run(() => core._vocalume_pointer(event.offsetX, event.offsetY)));
  canvas.addEventListener('mouseleave', () => run(() => core._vocalume_pointer_leave()));
  canvas.addEventListener('mousedown', event => {
    if (event.button === 0)
      run(() => core._vocalume_click(event.offsetX, event.offsetY));
  });

  // ---- Start -----------------------------------------------------------------

  const page = {
    requestPaint, setTimer, killTimer, showMessage, askYesNo, configDialog, targetDialog, setStatus, showScrollBar, inputs,
    cancelJob, openMicrophone, closeMicrophone, playBegin, playFill, playStart, stopPlaying, heardSample,
    playFinished, readSetting, writeSetting,
  };

  async function start() {
    let module;
    try {
      module = await VocalumeModule({ page, onAbort: reason => fatal('Vocalume stopped: ' + reason) });
    } catch (error) {
      fatal('Vocalume could not be started in this browser: ' + (error.message || error));
      return;
    }
    // The model of the last visit, if any, where the view looks for it.
    const remembered = await withModelStore('readonly', store => store.get('model'));
    if (remembered && remembered.name) {
      try {
        module.FS.mkdir(kModels);
        module.FS.writeFile(kModels + '/' + remembered.name, new Uint8Array(remembered.bytes));
      } catch (e) { /* not kept */ }
    }
    context2d = canvas.getContext('2d', { alpha: false });
    core = module;
    try {
      core.FS.mkdir('/downloads');
    } catch (e) { /* there already */ }
    recordingRate = core._vocalume_recording_rate();
    const version = core.UTF8ToString(core._vocalume_version());
    document.getElementById('about-title').textContent = 'Vocalume - Sound Prism - Vs ' + version;
    canvas.width = Math.max(1, Math.floor(stage.clientWidth));
    canvas.height = Math.max(1, Math.floor(stage.clientHeight));
    canvas.style.width = canvas.width + 'px';
    canvas.style.height = canvas.height + 'px';
    run(() => core._vocalume_start(canvas.width, canvas.height));
    new ResizeObserver(fitCanvas).observe(stage);
    canvas.focus();
    const path = core.UTF8ToString(core._vocalume_remembered_model());
    if (path && remembered && path === kModels + '/' + remembered.name)
      openModel(remembered.name, remembered.bytes, true);
    // Closing the tab does not destroy the view: its settings are kept now.
    addEventListener('pagehide', () => core._vocalume_save_settings());
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'hidden')
        core._vocalume_save_settings();
    });
  }
  start();

  // Offline after the first visit, and installable.
  if ('serviceWorker' in navigator && location.protocol !== 'file:')
    navigator.serviceWorker.register('service-worker.js').catch(() => {});
})();
