// The page's file work: opening a recording or a model, and the frame table,
// in an instance of the program of its own, so that the page's picture and
// recording go on meanwhile. The page ends the worker to cancel.
'use strict';

importScripts('vocalume-core.js');

let lastPercent = -1;
const ready = VocalumeModule({
  reportProgress(share) {
    const percent = share >= 0 ? Math.floor(share * 100) : 0;
    if (percent !== lastPercent) {
      lastPercent = percent;
      postMessage({ progress: percent });
    }
    return true;
  },
});

onmessage = async event => {
  const m = await ready;
  const { kind, name, options } = event.data;
  const optionsAt = m._malloc(options.length * 4);
  m.HEAP32.set(options, optionsAt >> 2);
  let result = '';
  let bytes = null;
  if (kind === 2) {
    const sound = event.data.sound;
    const soundAt = m._malloc(Math.max(sound.length, 1) * 2);
    m.HEAP16.set(sound, soundAt >> 1);
    result = m.ccall('vocalume_export_frames', 'string', ['number', 'number', 'number', 'string'],
                     [soundAt, sound.length, optionsAt, 'frames.csv']);
    if (result === '')
      bytes = m.FS.readFile('frames.csv');
  } else {
    // Messages name the file as the user knows it.
    m.FS.mkdir('/sound');
    m.FS.chdir('/sound');
    m.FS.writeFile(name, new Uint8Array(event.data.bytes));
    result = m.ccall('vocalume_analyse_file', 'string', ['string', 'number', 'number'], [name, kind, optionsAt]);
    const at = m._vocalume_result_bytes();
    bytes = m.HEAPU8.slice(at, at + m._vocalume_result_size());
  }
  postMessage({ result, bytes }, bytes ? [bytes.buffer] : []);
};
