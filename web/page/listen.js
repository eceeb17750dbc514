// SPDX-License-Identifier: GPL-3.0-or-later
// Listening, on a thread of its own beside the decode: the decoder's preview
// of the input from any point, at the level set (a change is heard from the
// next block on), or the input itself (A/B), rendered a little ahead of
// the page's audio output, one pair of channels at a time.
'use strict';

importScripts('zorv_web.js');

let core = null;
let channels = 0;
let rate = 0;
let first = 0;
let buffer = 0;
let chunkFrames = 0;
const ready = ZorvModule({ print: () => {}, printErr: () => {} }).then((m) => {
  core = m;
  core.FS.mkdir('/in');
});

function open(file) {
  try {
    core.FS.unmount('/in');
  } catch (e) {
    // nothing was mounted
  }
  core.FS.mount(core.FS.filesystems.WORKERFS, { files: [file] }, '/in');
  const info = JSON.parse(core.ccall('zorv_preview_open', 'string', ['string'], ['/in/' + file.name]));
  if (!info.refused) {
    channels = info.channels;
    rate = info.rate;
    // About a quarter of a second of whole blocks.
    const block = core.ccall('zorv_preview_block_frames', 'number', [], []);
    chunkFrames = block * Math.max(1, Math.round((rate / 4) / block));
    if (buffer) core._free(buffer);
    buffer = core._malloc(chunkFrames * channels * 4);
  }
  postMessage({ type: 'opened', info });
}

function chunk() {
  const frames = core.ccall('zorv_preview_render', 'number', ['number', 'number'], [buffer, chunkFrames]);
  const all = new Float32Array(core.HEAPU8.buffer, buffer, frames * channels);
  const left = new Float32Array(frames);
  const right = new Float32Array(frames);
  const second = Math.min(first + 1, channels - 1);
  for (let i = 0; i < frames; ++i) {
    left[i] = all[i * channels + first];
    right[i] = all[i * channels + second];
  }
  postMessage({ type: 'chunk', frames, rate, left, right }, [left.buffer, right.buffer]);
}

onmessage = async (event) => {
  await ready;
  const m = event.data;
  if (m.type === 'open') {
    open(m.file);
  } else if (m.type === 'play') {
    first = m.first;
    const ok = core.ccall('zorv_preview_start', 'number', ['number'], [m.frame]) === 1;
    postMessage({ type: 'started', ok });
  } else if (m.type === 'more') {
    chunk();
  } else if (m.type === 'level') {
    core.ccall('zorv_preview_level', 'number', ['number'], [m.level]);
  } else if (m.type === 'input') {
    core.ccall('zorv_preview_input', null, ['number'], [m.on ? 1 : 0]);
  } else if (m.type === 'pair') {
    first = m.first;
  }
};
