// SPDX-License-Identifier: GPL-3.0-or-later
// The page in real browsers, headless (Chromium over CDP, Firefox over
// WebDriver BiDi): choose a file, set the level, decode, and the result
// equals zorv-decode's at that level byte for byte; a refused file gives
// the command line's refusal; a measured level is --measure-level's; no
// request leaves localhost.
//   node --test web/tests/page.test.mjs  (the page in dist/web, zorv-decode in
//   build/cli; ZORV_BROWSERS=chromium,firefox by default)
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import puppeteer from 'puppeteer-core';

import { wavFile } from './wav_files.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const native = process.env.ZORV_DECODE ?? path.join(root, 'build/cli/zorv-decode');
const site = process.env.ZORV_WEB_DIST ?? path.join(root, 'dist/web');
const browsers = (process.env.ZORV_BROWSERS ?? 'chromium,firefox').split(',');
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorv-page-'));
// ZORV_PAGE_THREADS=off: the build without threads, though the page is
// cross-origin isolated.
const singleThread = process.env.ZORV_PAGE_THREADS === 'off';

const files = {
  'bwf24.wav': { level: -14.3, options: { rate: 48000, channels: 2, bits: 24, chunks: true, seconds: 2 } },
  'mono16.wav': { level: -10.0, options: { rate: 44100, channels: 1, bits: 16, seconds: 2 } },
  'six-float.wav': { level: -21.7, options: { rate: 96000, channels: 6, bits: 32, float: true, seconds: 0.5 } },
  'tape.rf64': { level: -3.2, options: { rate: 48000, channels: 2, bits: 24, rf64: true, chunks: true, seconds: 1 } },
};

let server;
let origin;

before(async () => {
  for (const [name, f] of Object.entries(files)) {
    fs.writeFileSync(path.join(dir, name), wavFile(f.options));
    const out = path.join(dir, name + '.native.wav');
    const ran = spawnSync(native, ['-f', '-l', f.level.toFixed(1), name, '-o', out], { cwd: dir });
    assert.equal(ran.status, 0, ran.stderr.toString());
  }
  server = spawn(process.execPath, [path.join(root, 'web/serve.mjs'), site, '0']);
  origin = await new Promise((resolve, reject) => {
    server.stdout.on('data', (data) => {
      const m = /http:\/\/localhost:\d+/.exec(data.toString());
      if (m) resolve(m[0]);
    });
    server.on('exit', () => reject(new Error('the server ended')));
  });
});

after(() => {
  server?.kill();
  fs.rmSync(dir, { recursive: true, force: true });
});

function launch(name) {
  if (name === 'firefox') {
    return puppeteer.launch({
      browser: 'firefox',
      executablePath: process.env.ZORV_FIREFOX ?? '/usr/bin/firefox-esr',
      headless: true,
    });
  }
  return puppeteer.launch({
    executablePath: process.env.ZORV_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--autoplay-policy=no-user-gesture-required'],
  });
}

async function openPage(browser, requests) {
  const page = await browser.newPage();
  page.on('request', (request) => requests.push(request.url()));
  await page.goto(origin + '/?save=download' + (singleThread ? '&threads=off' : ''));
  await page.waitForFunction(() => document.getElementById('level') !== null);
  return page;
}

async function choose(page, name) {
  const input = await page.$('#file');
  await input.uploadFile(path.join(dir, name));
}

async function resultBytes(page) {
  const base64 = await page.evaluate(async () => {
    const response = await fetch(document.getElementById('result').href);
    const bytes = new Uint8Array(await response.arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    }
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

for (const name of browsers) {
  describe(name, () => {
    let browser;
    const requests = [];
    before(async () => {
      browser = await launch(name);
    });
    after(async () => {
      await browser?.close();
    });

    test('decodes each file byte for byte as zorv-decode does', async () => {
      const page = await openPage(browser, requests);
      // The page says which build it runs: served cross-origin isolated, the
      // one with threads (a core each), unless told otherwise.
      await page.waitForFunction(() => document.getElementById('build').dataset.threads !== undefined);
      const threads = Number(await page.$eval('#build', (e) => e.dataset.threads));
      const cores = await page.evaluate(() => navigator.hardwareConcurrency);
      assert.equal(threads, singleThread ? 1 : Math.max(2, Math.min(16, cores)), 'threads of the decode');
      for (const [file, f] of Object.entries(files)) {
        await choose(page, file);
        await page.waitForFunction(() => !document.getElementById('decode').disabled, { timeout: 20000 });
        await page.$eval('#level', (e, v) => {
          e.value = v;
          e.dispatchEvent(new Event('input'));
        }, f.level.toFixed(1));
        const before = await page.$eval('#result', (e) => e.getAttribute('href'));
        await page.click('#decode');
        await page.waitForFunction(
          (old) => {
            const href = document.getElementById('result').getAttribute('href');
            return (href && href !== old && href.startsWith('blob:')) ||
              document.getElementById('status').classList.contains('refused');
          },
          { timeout: 60000 },
          before,
        );
        const status = await page.$eval('#status', (e) => e.textContent);
        const got = await resultBytes(page);
        const expected = fs.readFileSync(path.join(dir, file + '.native.wav'));
        assert.equal(got.length, expected.length, `${file}: ${status}`);
        assert.ok(got.equals(expected), `${file}: the decoded bytes differ`);
        // Written as it was made into the browser's own storage, not memory.
        assert.equal(await page.$eval('#result', (e) => e.dataset.storage), 'disk', file);
        const record = JSON.parse(await page.$eval('#record', (e) => e.textContent));
        assert.equal(record.status, 'decoded');
        assert.deepEqual(record.reference_levels_db.every((l) => l === f.level), true);
      }
      await page.close();
    });

    test('a refused file gives the command line\'s refusal, and a level out of range is refused visibly', async () => {
      const page = await openPage(browser, requests);
      const eight = wavFile({ rate: 22050, channels: 2, bits: 16, seconds: 0.1 });
      fs.writeFileSync(path.join(dir, 'rate22k.wav'), eight);
      const ran = spawnSync(native, ['-f', 'rate22k.wav', '-o', 'rate22k.out.wav'], { cwd: dir });
      const line = ran.stderr.toString().split('\n')[0].replace(/^zorv-decode: /, '');
      await choose(page, 'rate22k.wav');
      await page.waitForFunction(() => document.getElementById('status').classList.contains('refused'));
      assert.equal(await page.$eval('#status', (e) => e.dataset.cli), line);
      assert.match(await page.$eval('#status', (e) => e.textContent), /^Not supported sampling rate: rate22k\.wav/);
      assert.equal(await page.$eval('#decode', (e) => e.disabled), true);

      await choose(page, 'mono16.wav');
      await page.waitForFunction(() => !document.getElementById('decode').disabled, { timeout: 20000 });
      for (const typed of ['-30.1', '0.5', '-10.05', 'ten']) {
        await page.$eval('#level', (e, v) => {
          e.value = v;
          e.dispatchEvent(new Event('input'));
        }, typed);
        assert.equal(await page.$eval('#decode', (e) => e.disabled), true, typed);
        assert.match(await page.$eval('#level-note', (e) => e.textContent), /-30\.0 \.\. 0\.0 dB/, typed);
      }
      await page.close();
    });

    // A file chosen as soon as the page is there, page after page: each
    // page comes up and opens it (about one start in fifteen of the worker
    // with threads never came up in Firefox ESR; the page now starts such
    // a worker again after 10 s, and it opens the file chosen meanwhile).
    test('every page opened comes up and opens the file chosen while it starts', async () => {
      for (let i = 0; i < 15; ++i) {
        const page = await openPage(browser, requests);
        await choose(page, 'mono16.wav');
        await page.waitForFunction(() => !document.getElementById('decode').disabled, { timeout: 25000 });
        assert.equal(await page.$eval('#status', (e) => e.textContent), '', `page ${i + 1}`);
        await page.close();
      }
    });

    test('Measure sets the level zorv-decode --measure-level measures', async () => {
      fs.writeFileSync(path.join(dir, 'tone.wav'), wavFile({ rate: 48000, channels: 2, bits: 24, seconds: 8 }));
      const json = `tone-${name}.json`;
      const ran = spawnSync(native, ['--measure-level', '--report', json, 'tone.wav'], { cwd: dir });
      assert.equal(ran.status, 0, ran.stderr.toString());
      const report = JSON.parse(fs.readFileSync(path.join(dir, json), 'utf8').trim());
      const page = await openPage(browser, requests);
      await choose(page, 'tone.wav');
      await page.waitForFunction(() => !document.getElementById('measure').disabled, { timeout: 20000 });
      await page.click('#measure');
      await page.waitForFunction(() => !document.getElementById('measure').disabled &&
        document.getElementById('status').textContent.startsWith('tone.wav'), { timeout: 60000 });
      assert.equal(await page.$eval('#level', (e) => e.value), report.suggested_level_db.toFixed(1));
      assert.equal(await page.$eval('#status', (e) => e.textContent), ran.stdout.toString().split('\n')[0]);
      await page.close();
    });

    // Headless Firefox without a sound device keeps every audio context
    // suspended: nothing is taken by an output there.
    const noAudio = name === 'firefox' && 'headless Firefox has no audio output: its audio context stays suspended';
    test('Play plays from the position and goes on as the audio output takes it', { skip: noAudio }, async () => {
      const page = await openPage(browser, requests);
      // 2 s: from 0.2 to past 0.65 takes four chunks of a quarter second,
      // the fourth asked for only once the output has played the first.
      await choose(page, 'bwf24.wav');
      await page.waitForFunction(() => !document.getElementById('play').disabled, { timeout: 20000 });
      await page.$eval('#position', (e) => {
        e.value = '0.2';
      });
      await page.click('#play');
      await page.waitForFunction(() => Number(document.getElementById('position').value) > 0.65, { timeout: 20000 });
      assert.equal(await page.$eval('#play', (e) => e.textContent), 'Stop');
      await page.click('#play');
      assert.equal(await page.$eval('#play', (e) => e.textContent), 'Play');
      await page.close();
    });

    // The data chunk of a WAV file: where its bytes begin, and how many.
    function dataOf(bytes) {
      for (let at = 12; at + 8 <= bytes.length;) {
        const size = bytes.readUInt32LE(at + 4);
        if (bytes.toString('latin1', at, at + 4) === 'data') return bytes.subarray(at + 8, at + 8 + size);
        at += 8 + size + (size & 1);
      }
      return null;
    }

    test('Stop ends the decode after the block in hand and offers what was decoded as NAME.partial.wav', async () => {
        // Long enough that the decode is still running when Stop is pressed.
        const long = 'long.wav';
        if (!fs.existsSync(path.join(dir, long))) {
          fs.writeFileSync(path.join(dir, long), wavFile({ rate: 48000, channels: 2, bits: 16, seconds: 150, seed: 7 }));
          const ran = spawnSync(native, ['-f', '-l', '-11.0', long, '-o', 'long.native.wav'], { cwd: dir });
          assert.equal(ran.status, 0, ran.stderr.toString());
        }
        const page = await openPage(browser, requests);
        assert.equal(await page.$eval('#stop', (e) => e.disabled), true, 'Stop before a decode');
        await choose(page, long);
        await page.waitForFunction(() => !document.getElementById('decode').disabled, { timeout: 20000 });
        await page.$eval('#level', (e) => {
          e.value = '-11.0';
          e.dispatchEvent(new Event('input'));
        });
        await page.click('#decode');
        // Some way in (progress shown), not through.
        await page.waitForFunction(() => {
          const p = document.getElementById('progress').value;
          return p > 0.05 && p < 0.5;
        }, { timeout: 60000, polling: 10 });
        // From the keyboard, as a user without a mouse stops it.
        await page.focus('#stop');
        await page.keyboard.press('Enter');
        await page.waitForFunction(() => document.getElementById('status').dataset.state !== undefined, { timeout: 60000 });
        const status = await page.$eval('#status', (e) => e.textContent);
        assert.equal(await page.$eval('#status', (e) => e.dataset.state), 'interrupted', status);
        assert.match(status, /^Stopped; what was decoded is in long_dec\.partial\.wav/);
        assert.equal(await page.$eval('#result', (e) => e.download), 'long_dec.partial.wav');
        const record = JSON.parse(await page.$eval('#record', (e) => e.textContent));
        assert.equal(record.status, 'interrupted');

        // A complete file of what was decoded: its data the beginning of
        // zorv-decode's, whole frames, fewer than all.
        const got = await resultBytes(page);
        const whole = fs.readFileSync(path.join(dir, 'long.native.wav'));
        const part = dataOf(got);
        const all = dataOf(whole);
        assert.ok(part && all, 'both have a data chunk');
        assert.equal(got.readUInt32LE(4), got.length - 8, 'the RIFF size is the file\'s');
        assert.ok(part.length > 0 && part.length < all.length, `${part.length} of ${all.length} bytes`);
        assert.equal(part.length % 4, 0, 'whole frames');
        assert.ok(part.equals(all.subarray(0, part.length)), 'the part is the beginning of the whole decode');

        // And the page decodes again afterwards, whole.
        assert.equal(await page.$eval('#stop', (e) => e.disabled), true, 'Stop after the decode');
        assert.equal(await page.$eval('#decode', (e) => e.disabled), false);
        await page.close();
      });

    test('no request leaves localhost', () => {
      assert.ok(requests.length > 0);
      for (const url of requests) {
        assert.ok(url.startsWith(origin + '/') || url.startsWith('blob:') || url.startsWith('data:'), url);
      }
    });
  });
}
