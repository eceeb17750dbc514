// SPDX-License-Identifier: GPL-3.0-or-later
// The page's decoder, on a thread of its own: the WebAssembly build of the
// run. The input is the user's File, mounted read-only and read in slices
// as the run asks for them (never whole); the output is made in the
// worker's memory and handed over when it is complete.
'use strict';

importScripts('zorv_web.js');

let core = null;
let input = null; // the File
const ready = ZorvModule({ print: () => {}, printErr: () => {} }).then((m) => {
  core = m;
  core.FS.mkdir('/in');
  core.FS.mkdir('/out');
  postMessage({ type: 'ready' });
});

function call(name, ...args) {
  const types = args.map((a) => (typeof a === 'number' ? 'number' : 'string'));
  return core.ccall(name, 'string', types, args);
}

function mount(file) {
  try {
    core.FS.unmount('/in');
  } catch (e) {
    // nothing was mounted
  }
  core.FS.mount(core.FS.filesystems.WORKERFS, { files: [file] }, '/in');
  input = file;
}

function decode(level, handle) {
  const inPath = '/in/' + input.name;
  const outPath = '/out/' + call('zorv_output_name', input.name);
  let last = 0;
  // The band gains over the whole file, for the plot: a point per block, at
  // most about 2000 of them (every other one dropped when there are more).
  let history = [];
  let stride = 1;
  let blocks = 0;
  core.onBlock = (read, total, meters) => {
    if (blocks++ % stride === 0) {
      history.push({ at: total > 0 ? read / total : 0, meters: Array.from(meters) });
      if (history.length > 2000) {
        history = history.filter((_, i) => i % 2 === 0);
        stride *= 2;
      }
    }
    const now = performance.now();
    if (now - last < 100 && read < total) return;
    last = now;
    postMessage({ type: 'progress', read, total, meters: Array.from(meters) });
  };
  const began = performance.now();
  const answer = JSON.parse(call('zorv_decode', inPath, outPath, level));
  core.onBlock = null;
  answer.seconds = (performance.now() - began) / 1000;
  answer.history = history;
  if (answer.refused || !answer.kept) {
    postMessage({ type: 'decoded', answer });
    return;
  }
  const kept = answer.kept;
  const bytes = core.FS.readFile(kept);
  core.FS.unlink(kept);
  answer.name = kept.substring(kept.lastIndexOf('/') + 1);
  answer.size = bytes.length;
  const blob = new Blob([bytes], { type: 'audio/wav' });
  if (handle) {
    // Into the file the user picked.
    handle.createWritable().then(async (writable) => {
      await writable.write(blob);
      await writable.close();
      postMessage({ type: 'decoded', answer, saved: true });
    }).catch((error) => {
      answer.saveError = String(error);
      postMessage({ type: 'decoded', answer, blob });
    });
    return;
  }
  postMessage({ type: 'decoded', answer, blob });
}

onmessage = async (event) => {
  await ready;
  const message = event.data;
  if (message.type === 'open') {
    mount(message.file);
    postMessage({ type: 'opened', info: JSON.parse(call('zorv_inspect', '/in/' + input.name)) });
  } else if (message.type === 'measure') {
    postMessage({ type: 'measured', result: JSON.parse(call('zorv_measure', '/in/' + input.name)) });
  } else if (message.type === 'decode') {
    decode(message.level, message.handle);
  }
};
