// SPDX-License-Identifier: GPL-3.0-or-later
// The page after a decode, as docs/web-page.png: headless Chromium decodes
// a generated 24-bit stereo Broadcast WAVE file at -14.3 dB.
//   node web/tests/screenshot.mjs [OUTPUT.png]  (the page in dist/web)
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import puppeteer from 'puppeteer-core';

import { wavFile } from './wav_files.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const output = path.resolve(process.argv[2] ?? path.join(root, 'docs/web-page.png'));
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorv-shot-'));
const input = path.join(dir, 'reel7_sideA.wav');
fs.writeFileSync(input, wavFile({ rate: 48000, channels: 2, bits: 24, chunks: true, seconds: 20 }));

const server = spawn(process.execPath, [path.join(root, 'web/serve.mjs'), path.join(root, 'dist/web'), '0']);
const origin = await new Promise((resolve) => {
  server.stdout.on('data', (d) => {
    const m = /http:\/\/localhost:\d+/.exec(d.toString());
    if (m) resolve(m[0]);
  });
});
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 900, height: 1100 });
  await page.goto(origin + '/?save=download');
  await (await page.$('#file')).uploadFile(input);
  await page.waitForFunction(() => !document.getElementById('measure').disabled);
  await page.click('#measure');
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('reel7'));
  await page.click('#decode');
  await page.waitForFunction(() => document.getElementById('result').getAttribute('href'), { timeout: 60000 });
  await page.screenshot({ path: output, fullPage: true });
  console.log('Wrote ' + output);
} finally {
  await browser.close();
  server.kill();
  fs.rmSync(dir, { recursive: true, force: true });
}
