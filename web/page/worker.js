// SPDX-License-Identifier: GPL-3.0-or-later
// The page's decoder, on a thread of its own: the WebAssembly build of the
// run. The input is the user's File, mounted read-only and read in slices
// as the run asks for them (never whole); the output is written as it is
// made (makeTarget) and handed over when it is complete.
'use strict';

// A cross-origin isolated page has shared memory: the build with threads,
// whose decode spreads channels and stages over the cores; elsewhere (or
// asked with ?threads=off) the build without.
const threaded = self.crossOriginIsolated === true && typeof SharedArrayBuffer === 'function' &&
  new URLSearchParams(self.location.search).get('threads') !== 'off';
const coreScript = threaded ? 'zorv_web_mt.js' : 'zorv_web.js';
importScripts(coreScript);

let core = null;
let input = null; // the File
let lastResult = null; // the last decode's output (a File or Blob)
// The threads started with the module, a core each less this worker's: the
// decode takes them while this worker is busy in the call.
const workers = threaded ? Math.max(1, Math.min(15, (navigator.hardwareConcurrency || 2) - 1)) : 0;
const ready = ZorvModule({
  print: () => {},
  printErr: () => {},
  workers,
  // The threads load the module from here (this worker has no script
  // element to tell them).
  mainScriptUrlOrBlob: coreScript,
}).then((m) => {
  core = m;
  core.FS.mkdir('/in');
  postMessage({ type: 'ready', threads: core.ccall('zorv_workers', 'number', [], []) });
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

// Where the output goes as it is made: a file in the browser's private
// storage (origin private file system), written in place, so that its size
// is limited by the disk and not by memory; where there is none, the
// worker's memory.
async function makeTarget() {
  if (self.navigator.storage && navigator.storage.getDirectory) {
    try {
      const root = await navigator.storage.getDirectory();
      // What earlier decodes left there.
      for await (const name of root.keys()) {
        if (name.startsWith('decode-')) await root.removeEntry(name).catch(() => {});
      }
      const name = 'decode-' + Date.now() + '.wav';
      const file = await root.getFileHandle(name, { create: true });
      const access = await file.createSyncAccessHandle();
      return {
        sink: {
          write: (position, bytes) => access.write(bytes, { at: position }),
          read: (position, n) => {
            const bytes = new Uint8Array(n);
            return bytes.subarray(0, access.read(bytes, { at: position }));
          },
          close: () => {
            access.flush();
            access.close();
            return true;
          },
        },
        result: () => file.getFile(),
        discard: () => root.removeEntry(name).catch(() => {}),
        storage: 'disk',
      };
    } catch (e) {
      // no private storage here: memory
    }
  }
  let bytes = new Uint8Array(1 << 20);
  let end = 0;
  return {
    sink: {
      write: (position, data) => {
        const need = position + data.length;
        if (need > bytes.length) {
          const grown = new Uint8Array(Math.max(need, Math.min(2 * bytes.length, 2 ** 31 - 1)));
          grown.set(bytes.subarray(0, end));
          bytes = grown;
        }
        bytes.set(data, position);
        end = Math.max(end, need);
        return data.length;
      },
      read: (position, n) => bytes.slice(position, Math.min(end, position + n)),
      close: () => true,
    },
    result: async () => new Blob([bytes.subarray(0, end)], { type: 'audio/wav' }),
    discard: async () => {
      bytes = null;
    },
    storage: 'memory',
  };
}

// The user's File as the decode's input: read in slices of a few MiB, each
// read once, as the run goes through it.
function sourceOf(file) {
  const reader = new FileReaderSync();
  const slice = 4 << 20;
  let cache = new Uint8Array(0);
  let cacheAt = 0;
  return {
    size: file.size,
    read(position, n) {
      if (position < cacheAt || position + n > cacheAt + cache.length) {
        const end = Math.min(file.size, position + Math.max(n, slice));
        cache = new Uint8Array(reader.readAsArrayBuffer(file.slice(position, end)));
        cacheAt = position;
      }
      const from = position - cacheAt;
      return cache.subarray(from, Math.min(cache.length, from + n));
    },
  };
}

// stop: an Int32Array on shared memory that the page sets to end the decode
// after the block in hand (none where the page has no shared memory).
async function decode(level, handle, stop) {
  const outName = call('zorv_output_name', input.name);
  const target = await makeTarget();
  core.sink = target.sink;
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
    const stopping = stop ? Atomics.load(stop, 0) !== 0 : false;
    const now = performance.now();
    if (now - last < 100 && read < total) return stopping;
    last = now;
    postMessage({ type: 'progress', read, total, meters: Array.from(meters) });
    return stopping;
  };
  const began = performance.now();
  core.source = sourceOf(input);
  const answer = JSON.parse(call('zorv_decode', input.name, outName, level));
  core.onBlock = null;
  core.sink = null;
  core.source = null;
  answer.seconds = (performance.now() - began) / 1000;
  answer.history = history;
  answer.storage = target.storage;
  if (answer.refused || !answer.kept) {
    await target.discard();
    postMessage({ type: 'decoded', answer });
    return;
  }
  answer.name = answer.kept;
  const result = await target.result();
  lastResult = result;
  // A stopped decode's part is offered under its partial name, never put
  // into the file picked for the whole output.
  if (handle && answer.kept === outName) {
    // Into the file the user picked, streamed from where it was made.
    try {
      const writable = await handle.createWritable();
      await result.stream().pipeTo(writable);
      await target.discard();
      postMessage({ type: 'decoded', answer, saved: true });
    } catch (error) {
      answer.saveError = String(error);
      postMessage({ type: 'decoded', answer, blob: result });
    }
    return;
  }
  postMessage({ type: 'decoded', answer, blob: result });
}

// The MD5 of the last output as it lies where it was written, read back in
// slices.
function digest() {
  const reader = new FileReaderSync();
  const piece = 1 << 20;
  const buffer = core._malloc(piece);
  core.ccall('zorv_md5_reset', null, [], []);
  for (let at = 0; at < lastResult.size; at += piece) {
    const bytes = new Uint8Array(reader.readAsArrayBuffer(lastResult.slice(at, at + piece)));
    core.HEAPU8.set(bytes, buffer);
    core.ccall('zorv_md5_update', null, ['number', 'number'], [buffer, bytes.length]);
  }
  core._free(buffer);
  return core.ccall('zorv_md5_hex', 'string', [], []);
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
    await decode(message.level, message.handle, message.stop);
  } else if (message.type === 'digest') {
    postMessage({ type: 'digest', md5: lastResult ? digest() : null, size: lastResult?.size, heap: core.HEAPU8.length });
  }
};
