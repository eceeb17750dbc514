// SPDX-License-Identifier: GPL-3.0-or-later
// The WebAssembly build of the decoder, run under Node, against the native
// zorv-decode of the same source: the decoded files byte for byte, the
// record, the measured level, the refusals.
//   node --test web/tests/core.test.mjs   (ZORV_WEB_BUILD, ZORV_DECODE: where
//   zorv_web.js and zorv-decode are; build-wasm/web and build/cli by default)
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

async function loadCore() {
  const require = createRequire(import.meta.url);
  const factory = require(path.join(webBuild, 'zorv_web.js'));
  const core = await factory({
    wasmBinary: fs.readFileSync(path.join(webBuild, 'zorv_web.wasm')),
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
function webDecode(name, out, level, failAfter = Infinity) {
  const file = path.join(dir, out);
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
  const answer = call('zorv_decode', `/work/${name}`, out, level);
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
];

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

test.after(() => fs.rmSync(dir, { recursive: true, force: true }));
