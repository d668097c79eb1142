// The microphone's tap, on the browser's audio thread: it gathers the first
// channel of what the microphone gives into blocks of about 10 ms (whole
// render quanta of 128 samples) and hands each to the page with the moment
// it was complete. The page delivers the sound to the view.
'use strict';

const kBlock = Math.max(128, Math.round(sampleRate / 100 / 128) * 128);

class MicrophoneTap extends AudioWorkletProcessor {
  constructor() {
    super();
    this.block = new Float32Array(kBlock);
    this.filled = 0;
  }

  process(inputs) {
    const channels = inputs[0];
    if (channels && channels.length > 0) {
      const samples = channels[0];
      for (let i = 0; i < samples.length;) {
        const n = Math.min(samples.length - i, kBlock - this.filled);
        this.block.set(samples.subarray(i, i + n), this.filled);
        this.filled += n;
        i += n;
        if (this.filled === kBlock) {
          this.port.postMessage({ samples: this.block, time: Date.now() }, [this.block.buffer]);
          this.block = new Float32Array(kBlock);
          this.filled = 0;
        }
      }
    }
    return true;
  }
}

registerProcessor('microphone-tap', MicrophoneTap);
