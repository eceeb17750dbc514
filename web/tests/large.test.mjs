// SPDX-License-Identifier: GPL-3.0-or-later
// A 1 GB input decoded by the page in headless Chromium: the output, read
// back from where the page wrote it, has the MD5 of zorv-decode's output,
// and the tab (its renderer, where the page and its worker run) stays under
// 300 MB of memory throughout.
//   node --test web/tests/large.test.mjs  (ZORV_LARGE_BYTES: the input's size)
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

import puppeteer from 'puppeteer-core';

import { wavFile } from './wav_files.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const native = process.env.ZORV_DECODE ?? path.join(root, 'build/cli/zorv-decode');
const site = process.env.ZORV_WEB_DIST ?? path.join(root, 'dist/web');
const bytes = Number(process.env.ZORV_LARGE_BYTES ?? 1e9);
const kLimit = 300 * 1024 * 1024;

// A stereo 24-bit 48 kHz file of about `bytes`: a generated minute of
// programme, repeated, written piece by piece.
function writeLarge(file) {
  const piece = wavFile({ rate: 48000, channels: 2, bits: 24, seconds: 60, seed: 11 });
  const data = piece.subarray(44);
  const repeats = Math.max(1, Math.round((bytes - 44) / data.length));
  const header = Buffer.from(piece.subarray(0, 44));
  header.writeUInt32LE(36 + data.length * repeats, 4);
  header.writeUInt32LE(data.length * repeats, 40);
  const fd = fs.openSync(file, 'w');
  fs.writeSync(fd, header);
  for (let i = 0; i < repeats; ++i) fs.writeSync(fd, data);
  fs.closeSync(fd);
  return 44 + data.length * repeats;
}

function md5Of(file) {
  const hash = crypto.createHash('md5');
  const fd = fs.openSync(file, 'r');
  const buffer = Buffer.alloc(16 << 20);
  for (let n; (n = fs.readSync(fd, buffer, 0, buffer.length, null)) > 0;) hash.update(buffer.subarray(0, n));
  fs.closeSync(fd);
  return hash.digest('hex');
}

// Memory of the browser's renderer processes (the page and its worker):
// the largest resident anonymous memory of them, bytes (what the tab holds
// of its own, without the browser's shared libraries, which every tab maps).
function rendererMemory(browserPid) {
  let largest = 0;
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const cmdline = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      if (!cmdline.includes('--type=renderer')) continue;
      const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
      const ppid = Number(/PPid:\s+(\d+)/.exec(status)[1]);
      const rss = Number(/RssAnon:\s+(\d+)/.exec(status)[1]) * 1024;
      if (ppid === browserPid || fs.readFileSync(`/proc/${ppid}/cmdline`, 'utf8').includes('--type=zygote')) {
        largest = Math.max(largest, rss);
      }
    } catch (e) {
      // the process ended
    }
  }
  return largest;
}

test('a 1 GB input: the output has zorv-decode\'s MD5, the tab stays under 300 MB while it decodes', { timeout: 900000 }, async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorv-large-'));
  const server = spawn(process.execPath, [path.join(root, 'web/serve.mjs'), site, '0']);
  let browser;
  try {
    const input = path.join(dir, 'large.wav');
    const size = writeLarge(input);
    const ran = spawnSync(native, ['-f', '-l', '-12.0', 'large.wav', '-o', 'large.native.wav'], { cwd: dir });
    assert.equal(ran.status, 0, ran.stderr.toString());
    const expected = md5Of(path.join(dir, 'large.native.wav'));
    const expectedSize = fs.statSync(path.join(dir, 'large.native.wav')).size;
    fs.rmSync(path.join(dir, 'large.native.wav'));

    const origin = await new Promise((resolve) => {
      server.stdout.on('data', (d) => {
        const m = /http:\/\/localhost:\d+/.exec(d.toString());
        if (m) resolve(m[0]);
      });
    });
    browser = await puppeteer.launch({
      executablePath: process.env.ZORV_CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--disable-gpu'],
    });
    const page = await browser.newPage();
    await page.goto(origin + '/?save=download');
    await (await page.$('#file')).uploadFile(input);
    await page.waitForFunction(() => !document.getElementById('decode').disabled, { timeout: 60000 });
    await page.$eval('#level', (e) => {
      e.value = '-12.0';
      e.dispatchEvent(new Event('input'));
    });
    let peak = 0;
    const timeline = [];
    const sampler = setInterval(() => {
      const now = rendererMemory(browser.process().pid);
      timeline.push(Math.round(now / 1048576));
      peak = Math.max(peak, now);
    }, 500);
    const before = rendererMemory(browser.process().pid);
    const began = Date.now();
    await page.click('#decode');
    await page.waitForFunction(() => document.getElementById('status').dataset.seconds, {
      timeout: 900000,
      polling: 1000,
    });
    const seconds = (Date.now() - began) / 1000;
    clearInterval(sampler);
    peak = Math.max(peak, rendererMemory(browser.process().pid));
    const digest = await page.evaluate(() => new Promise((resolve) => {
      worker.addEventListener('message', (e) => {
        if (e.data.type === 'digest') resolve(e.data);
      });
      worker.postMessage({ type: 'digest' });
    }));
    // The check reads the output back: not part of the decode.
    const afterCheck = rendererMemory(browser.process().pid);
    if (process.env.ZORV_LARGE_TIMELINE) console.log(`# heap ${digest.heap / 1048576} MiB, before ${Math.round(before / 1048576)} MiB: ${timeline.join(' ')}`);
    console.log(`# ${(size / 1e9).toFixed(2)} GB decoded in ${seconds.toFixed(1)} s; ` +
      `the tab's largest memory while decoding ${(peak / 1048576).toFixed(0)} MiB ` +
      `(${(afterCheck / 1048576).toFixed(0)} MiB after reading the output back)`);
    assert.equal(await page.$eval('#result', (e) => e.dataset.storage), 'disk');
    assert.equal(digest.size, expectedSize);
    assert.equal(digest.md5, expected);
    assert.ok(peak > 0 && peak < kLimit, `the tab held ${(peak / 1048576).toFixed(0)} MiB`);
  } finally {
    await browser?.close();
    server.kill();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
