// SPDX-License-Identifier: GPL-3.0-or-later
// The WebAssembly build of the decoder, run under Node, against the native
// zorv-decode of the same source: the decoded files byte for byte, the
// record, the measured level, the refusals.
//   node --test web/tests/core.test.mjs   (ZORV_WEB_BUILD, ZORV_DECODE: where
//   zorv_web.js and zorv-decode are; build-wasm/web and build/cli by default;
//   ZORV_WEB_THREADS=N: the build with threads, zorv_web_mt.js, N of them)
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { wavFile } from './wav_files.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const webBuild = process.env.ZORV_WEB_BUILD ?? path.join(root, 'build-wasm/web');
const native = process.env.ZORV_DECODE ?? path.join(root, 'build/cli/zorv-decode');
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorv-web-'));

const threads = Number(process.env.ZORV_WEB_THREADS ?? 0);
const coreName = threads > 0 ? 'zorv_web_mt' : 'zorv_web';

async function loadCore() {
  const require = createRequire(import.meta.url);
  const factory = require(path.join(webBuild, coreName + '.js'));
  const core = await factory({
    wasmBinary: fs.readFileSync(path.join(webBuild, coreName + '.wasm')),
    workers: threads,
    print: () => {},
    printErr: () => {},
  });
  core.FS.mkdir('/work');
  core.FS.mount(core.FS.filesystems.NODEFS, { root: dir }, '/work');
  return core;
}
const core = await loadCore();
const call = (name, ...args) =>
  JSON.parse(core.ccall(name, 'string', args.map((a) => (typeof a === 'number' ? 'number' : 'string')), args));

// The page's decode of name into out (in the test's folder), written where
// the core's sink puts it; failAfter: the sink fails once that many bytes
// have been written. What is not kept is removed, as the page does.
function webDecode(name, out, level, failAfter = Infinity, readFailsAt = Infinity) {
  const file = path.join(dir, out);
  const input = fs.openSync(path.join(dir, name), 'r');
  core.source = {
    size: fs.fstatSync(input).size,
    read(position, n) {
      if (position + n > readFailsAt) throw new Error('Input/output error on the test disk');
      const bytes = Buffer.alloc(n);
      return bytes.subarray(0, fs.readSync(input, bytes, 0, n, position));
    },
  };
  let fd = null;
  let written = 0;
  core.sink = {
    write(position, bytes) {
      if (written + bytes.length > failAfter) throw new Error('No space left on the test disk');
      if (fd === null) fd = fs.openSync(file, 'w+');
      written += bytes.length;
      return fs.writeSync(fd, bytes, 0, bytes.length, position);
    },
    read(position, n) {
      const bytes = Buffer.alloc(n);
      return bytes.subarray(0, fs.readSync(fd, bytes, 0, n, position));
    },
    close() {
      if (fd !== null) fs.closeSync(fd);
      fd = null;
      return true;
    },
  };
  const answer = call('zorv_decode', name, out, level);
  fs.closeSync(input);
  if (fd !== null) fs.closeSync(fd);
  if (!answer.kept) fs.rmSync(file, { force: true });
  return answer;
}

function nativeDecode(name, level, output, report) {
  const args = ['-f', '-l', level.toFixed(1), name, '-o', output];
  if (report) args.push('--report', report);
  return spawnSync(native, args, { cwd: dir, env: { ...process.env, ZORV_WORKERS: '0' } });
}

function write(name, bytes) {
  fs.writeFileSync(path.join(dir, name), bytes);
}

function sameBytes(a, b, what) {
  const x = fs.readFileSync(path.join(dir, a));
  const y = fs.readFileSync(path.join(dir, b));
  assert.equal(x.length, y.length, `${what}: sizes differ`);
  const at = x.findIndex((v, i) => v !== y[i]);
  assert.equal(at, -1, `${what}: first difference at byte ${at}`);
}

const cases = [
  { name: 'bwf24.wav', level: -14.3, options: { rate: 48000, channels: 2, bits: 24, chunks: true, seconds: 2 } },
  { name: 'mono16.wav', level: -10.0, options: { rate: 44100, channels: 1, bits: 16, seconds: 2 } },
  { name: 'six-float.wav', level: -21.7, options: { rate: 96000, channels: 6, bits: 32, float: true, seconds: 0.6 } },
  { name: 'int32.wav', level: 0.0, options: { rate: 44100, channels: 2, bits: 32, seconds: 1 } },
  { name: 'rf64.wav', level: -30.0, options: { rate: 48000, channels: 2, bits: 24, rf64: true, chunks: true, seconds: 1 } },
  { name: 'rate32k.wav', level: -7.9, options: { rate: 32000, channels: 2, bits: 16, chunks: true, seconds: 1 } },
  { name: 'rate192k.wav', level: -18.0, options: { rate: 192000, channels: 3, bits: 24, seconds: 0.3 } },
  // Many channels: spread over the worker threads where there are some.
  { name: 'tracks24.wav', level: -12.4, options: { rate: 48000, channels: 24, bits: 24, seconds: 0.5 } },
];

test('the build with threads decodes on worker threads, the other on its own', () => {
  const workers = core.ccall('zorv_workers', 'number', [], []);
  if (threads === 0) {
    assert.equal(workers, 0);
  } else {
    // A core each less the caller's, of the threads started with the module.
    assert.ok(workers >= 1 && workers <= threads, `${workers} workers of ${threads} started`);
    assert.equal(workers, Math.min(threads, Math.max(1, os.availableParallelism() - 1)));
  }
});

test('decodes every format byte for byte as zorv-decode does, and keeps the same record', () => {
  for (const c of cases) {
    write(c.name, wavFile(c.options));
    const stem = c.name.replace('.wav', '');
    const ran = nativeDecode(c.name, c.level, `${stem}.native.wav`, `${stem}.report.json`);
    assert.equal(ran.status, 0, `${c.name}: ${ran.stderr}`);
    const web = webDecode(c.name, `${stem}.web.wav`, c.level);
    assert.equal(web.status, 'decoded', `${c.name}: ${JSON.stringify(web)}`);
    sameBytes(`${stem}.native.wav`, `${stem}.web.wav`, c.name);

    // The record: the native report's line field for field, but for what
    // names the program, the files, the arithmetic and the times.
    const mine = JSON.parse(web.record);
    const theirs = JSON.parse(fs.readFileSync(path.join(dir, `${stem}.report.json`), 'utf8').trim());
    for (const key of ['input', 'output', 'tool', 'started', 'finished', 'elapsed_ms', 'arithmetic', 'message']) {
      delete mine[key];
      delete theirs[key];
    }
    assert.deepEqual(mine, theirs, c.name);
  }
});

test('a file cut at random points decodes as zorv-decode decodes it', () => {
  const whole = wavFile({ rate: 44100, channels: 2, bits: 24, chunks: true, seconds: 1, seed: 3 });
  let seed = 12345;
  for (let round = 0; round < 4; ++round) {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    const cut = 200 + (seed % (whole.length - 200));
    write('cut.wav', whole.subarray(0, cut));
    const ran = nativeDecode('cut.wav', -12.5, 'cut.native.wav');
    const web = webDecode('cut.wav', 'cut.web.wav', -12.5);
    if (ran.status !== 0) {
      assert.equal(web.refused || web.status !== 'decoded', true, `cut at ${cut}: ${ran.stderr}`);
      continue;
    }
    assert.equal(web.status, 'decoded', `cut at ${cut}: ${JSON.stringify(web)}`);
    sameBytes('cut.native.wav', 'cut.web.wav', `cut at ${cut}`);
  }
});

test('a sink that fails at a random point fails the decode with its reason, and nothing is kept', () => {
  write('fail.wav', wavFile({ rate: 48000, channels: 2, bits: 24, chunks: true, seconds: 1, seed: 5 }));
  const whole = webDecode('fail.wav', 'fail.whole.wav', -10);
  assert.equal(whole.status, 'decoded');
  let seed = 777;
  for (let round = 0; round < 5; ++round) {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    const failAfter = seed % whole.size;
    const web = webDecode('fail.wav', 'fail.web.wav', -10, failAfter);
    assert.equal(web.status, 'failed', `failing after ${failAfter} bytes: ${JSON.stringify(web)}`);
    assert.equal(web.kept, null);
    assert.match(web.message, /No space left on the test disk/);
    assert.equal(fs.existsSync(path.join(dir, 'fail.web.wav')), false);
    assert.equal(JSON.parse(web.record).md5, null);
  }
});

test('an input whose reads fail at a random point fails the decode with the reason, and nothing is kept', () => {
  write('unread.wav', wavFile({ rate: 44100, channels: 2, bits: 16, chunks: true, seconds: 1, seed: 6 }));
  const size = fs.statSync(path.join(dir, 'unread.wav')).size;
  let seed = 4242;
  for (let round = 0; round < 5; ++round) {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    const failsAt = 2000 + (seed % (size - 2000));
    const web = webDecode('unread.wav', 'unread.web.wav', -10, Infinity, failsAt);
    assert.notEqual(web.status, 'decoded', `reads failing from ${failsAt}: ${JSON.stringify(web)}`);
    assert.equal(web.kept ?? null, null);
    assert.match(web.message ?? web.window, /Input\/output error on the test disk/);
    assert.equal(fs.existsSync(path.join(dir, 'unread.web.wav')), false);
  }
});

test('refuses what zorv-decode refuses, in its words', () => {
  const refused = {
    'text.wav': new TextEncoder().encode('this is not a recording at all, just words'),
    'rate22k.wav': wavFile({ rate: 22050, channels: 2, bits: 16, seconds: 0.1 }),
    'archive.flac': new Uint8Array([0x66, 0x4c, 0x61, 0x43, 0, 0, 0, 34, ...new Uint8Array(60)]),
  };
  const eight = wavFile({ rate: 44100, channels: 1, bits: 16, seconds: 0.1 });
  new DataView(eight.buffer).setUint16(34, 8, true);
  refused['eight.wav'] = eight;
  for (const [name, bytes] of Object.entries(refused)) {
    write(name, bytes);
    const ran = nativeDecode(name, -10, `${name}.out.wav`);
    assert.notEqual(ran.status, 0, name);
    const web = webDecode(name, `${name}.web.wav`, -10);
    assert.equal(web.refused, true, name);
    assert.equal(fs.existsSync(path.join(dir, `${name}.web.wav`)), false, name);
    const line = ran.stderr.toString().split('\n')[0].replace(/^zorv-decode: /, '');
    if (name.endsWith('.flac')) {
      // The native build reads FLAC; this one says it does not.
      assert.match(web.cli, /^archive\.flac: unusable FLAC file \(this build of the decoder reads no FLAC files/);
      assert.match(web.window, /^Unusable FLAC File \(/);
    } else {
      assert.equal(web.cli, line, name);
    }
    const seen = call('zorv_inspect', `/work/${name}`);
    assert.equal(seen.refused, true, name);
  }
});

test('a level off the grid or outside the range is refused, never changed', () => {
  write('level.wav', wavFile({ rate: 44100, channels: 2, bits: 16, seconds: 0.2 }));
  for (const level of [-30.1, 0.1, -10.05, NaN, -100]) {
    const web = webDecode('level.wav', 'level.web.wav', level);
    assert.equal(web.refused, true, String(level));
    assert.equal(fs.existsSync(path.join(dir, 'level.web.wav')), false);
  }
});

test('measures the reference tone as zorv-decode --measure-level does', () => {
  write('tone.wav', wavFile({ rate: 48000, channels: 2, bits: 24, seconds: 8, chunks: true }));
  const ran = spawnSync(native, ['--measure-level', '--report', 'tone.json', 'tone.wav'], { cwd: dir });
  assert.equal(ran.status, 0, ran.stderr.toString());
  const theirs = JSON.parse(fs.readFileSync(path.join(dir, 'tone.json'), 'utf8').trim());
  const mine = call('zorv_measure', '/work/tone.wav');
  assert.equal(mine.line, ran.stdout.toString().split('\n')[0]);
  for (const key of ['tool', 'started', 'finished']) {
    delete mine[key];
    delete theirs[key];
  }
  delete mine.line;
  assert.deepEqual(mine, theirs);
  assert.equal(typeof theirs.suggested_level_db, 'number');
});

// The samples of a float WAV file written by zorv-decode --float (its data
// chunk found by walking the chunks).
function floatSamples(file) {
  const bytes = fs.readFileSync(file);
  let at = 12;
  while (at + 8 <= bytes.length) {
    const id = bytes.toString('latin1', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    if (id === 'data') {
      return new Float32Array(bytes.buffer.slice(bytes.byteOffset + at + 8, bytes.byteOffset + at + 8 + size));
    }
    at += 8 + size + (size % 2);
  }
  throw new Error('no data chunk in ' + file);
}

// What is heard: every channel as zorv-decode --float writes it at the level
// set, from the start and from a point chosen at random; a level set while
// playing from the block after; A/B: the input itself.
test('listening plays what a float decode at the level writes, and the input on A/B', () => {
  const rate = 44100;
  write('listen.wav', wavFile({ rate, channels: 3, bits: 24, chunks: true, seconds: 14, seed: 9 }));
  const levels = [-10.0, -17.5];
  const decoded = levels.map((level) => {
    const out = `listen${level}.native.wav`;
    const ran = spawnSync(native, ['-f', '--float', '-l', level.toFixed(1), 'listen.wav', '-o', out], { cwd: dir });
    assert.equal(ran.status, 0, ran.stderr.toString());
    return floatSamples(path.join(dir, out));
  });
  const open = call('zorv_preview_open', '/work/listen.wav');
  assert.equal(open.refused, false);
  assert.equal(open.channels, 3);
  const channels = 3;
  const frames = rate;
  const buffer = core._malloc(frames * channels * 4);
  const render = () => {
    const got = core.ccall('zorv_preview_render', 'number', ['number', 'number'], [buffer, frames]);
    return new Float32Array(core.HEAPU8.buffer, buffer, got * channels).slice();
  };
  const same = (heard, expected, from, what) => {
    for (let i = 0; i < heard.length; ++i) {
      if (heard[i] !== expected[from * channels + i]) {
        assert.fail(`${what}: sample ${i} is ${heard[i]}, the float decode's ${expected[from * channels + i]}`);
      }
    }
  };
  assert.equal(core.ccall('zorv_preview_level', 'number', ['number'], [levels[0]]), 1);
  assert.equal(core.ccall('zorv_preview_start', 'number', ['number'], [0]), 1);
  const first = render();
  assert.ok(first.length >= (frames / 2) * channels);
  same(first, decoded[0], 0, 'from the start');
  // From 11.3 s (the decoder settles on the 30 s before a position, here
  // from the file's start): within the float decode's rounding of the
  // whole file.
  const from = Math.round(11.3 * rate);
  assert.equal(core.ccall('zorv_preview_start', 'number', ['number'], [from]), 1);
  const later = render();
  let largest = 0;
  for (let i = 0; i < later.length; ++i) largest = Math.max(largest, Math.abs(later[i] - decoded[0][from * channels + i]));
  assert.ok(largest < 1e-3, `from 11.3 s the play differs from the decode by ${largest}`);
  // A level set while playing: the following blocks are the other level's
  // (the decoder's state carries on, so they are compared at the start
  // only where nothing was heard before).
  assert.equal(core.ccall('zorv_preview_level', 'number', ['number'], [-10.05]), 0);
  assert.equal(core.ccall('zorv_preview_level', 'number', ['number'], [levels[1]]), 1);
  assert.equal(core.ccall('zorv_preview_start', 'number', ['number'], [0]), 1);
  same(render(), decoded[1], 0, 'at the second level');
  // A/B: after the crossfade, the input's samples.
  core.ccall('zorv_preview_input', null, ['number'], [1]);
  const input = render();
  const source = fs.readFileSync(path.join(dir, 'listen.wav'));
  const dataAt = source.indexOf('data') + 8;
  const position = frames * 2 - input.length / channels;
  const tail = input.length - channels;
  const sample = source.readIntLE(dataAt + (position * channels + tail) * 3, 3) / 8388608;
  assert.ok(Math.abs(input[tail] - sample) < 1e-6, `A/B: ${input[tail]} is not the input's ${sample}`);
  core._free(buffer);
});

test('the format line and metadata of a file', () => {
  write('info.wav', wavFile({ rate: 48000, channels: 2, bits: 24, chunks: true, seconds: 0.2 }));
  const seen = call('zorv_inspect', '/work/info.wav');
  assert.equal(seen.refused, false);
  assert.equal(seen.rate, 48000);
  assert.equal(seen.channels, 2);
  assert.match(seen.format, /48000/);
  assert.match(seen.metadata, /bext/);
  assert.match(seen.metadata, /iXML/);
});

test.after(() => {
  fs.rmSync(dir, { recursive: true, force: true });
  // The module's threads live as long as it does: ended here, so that the
  // test's process ends.
  if (threads > 0) core.PThread.terminateAllThreads();
});
