// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the web page against the native decoder, in one run: a 60 s
// 44.1 kHz stereo file and a 24-track 48 kHz file, decoded by zorv-decode on
// one thread (ZORV_WORKERS=0) and by the page in headless Chromium and
// Firefox, with threads and without (?threads=off). Prints the median time
// of ZORV_RUNS runs (3) and x real time; a figure, not a test.
//   node bench/web-speed.mjs   (run by bench/web-speed.sh)
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const require = createRequire(path.join(root, 'web/tests/package.json'));
const puppeteer = require('puppeteer-core');
const { wavFile } = await import(path.join(root, 'web/tests/wav_files.mjs'));
const native = path.join(root, 'build/cli/zorv-decode');
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorv-speed-'));
const trackSeconds = Number(process.env.ZORV_TRACK_SECONDS ?? 20);
const runs = Number(process.env.ZORV_RUNS ?? 3);
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];

const inputs = [
  { name: 'stereo-44k-60s.wav', seconds: 60, options: { rate: 44100, channels: 2, bits: 16, seconds: 60, chunks: true } },
  { name: `24-track-48k-${trackSeconds}s.wav`, seconds: trackSeconds,
    options: { rate: 48000, channels: 24, bits: 24, seconds: trackSeconds } },
];
for (const input of inputs) fs.writeFileSync(path.join(dir, input.name), wavFile(input.options));

function row(what, name, seconds, audio) {
  console.log(`${what.padEnd(22)} ${name.padEnd(26)} ${seconds.toFixed(2).padStart(7)} s ${(audio / seconds).toFixed(1).padStart(7)} x real time`);
}

for (const input of inputs) {
  const times = [];
  for (let r = 0; r < runs; ++r) {
    const began = process.hrtime.bigint();
    const ran = spawnSync(native, ['-f', '-l', '-10', input.name, '-o', 'native.wav'],
      { cwd: dir, env: { ...process.env, ZORV_WORKERS: '0' } });
    if (ran.status !== 0) throw new Error(ran.stderr.toString());
    times.push(Number(process.hrtime.bigint() - began) / 1e9);
  }
  row('native, one thread', input.name, median(times), input.seconds);
}

const server = spawn(process.execPath, [path.join(root, 'web/serve.mjs'), path.join(root, 'dist/web'), '0']);
const origin = await new Promise((resolve) => {
  server.stdout.on('data', (d) => {
    const m = /http:\/\/localhost:\d+/.exec(d.toString());
    if (m) resolve(m[0]);
  });
});
const browsers = {
  chromium: () => puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox'] }),
  firefox: () => puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true }),
};
try {
  for (const [name, launch] of Object.entries(browsers)) {
    for (const threads of ['on', 'off']) {
      const browser = await launch();
      const page = await browser.newPage();
      await page.goto(origin + '/?save=download' + (threads === 'off' ? '&threads=off' : ''));
      await page.waitForFunction(() => document.getElementById('build').dataset.threads !== undefined);
      const count = await page.$eval('#build', (e) => e.dataset.threads);
      for (const input of inputs) {
        await (await page.$('#file')).uploadFile(path.join(dir, input.name));
        const times = [];
        for (let r = 0; r < runs; ++r) {
          await page.waitForFunction(() => !document.getElementById('decode').disabled, { timeout: 60000 });
          await page.$eval('#status', (e) => delete e.dataset.seconds);
          await page.click('#decode');
          await page.waitForFunction(() => document.getElementById('status').dataset.seconds, { timeout: 600000 });
          times.push(Number(await page.$eval('#status', (e) => e.dataset.seconds)));
        }
        row(`${name}, ${count} thread${count === '1' ? '' : 's'}`, input.name, median(times), input.seconds);
      }
      await browser.close();
    }
  }
} finally {
  server.kill();
  fs.rmSync(dir, { recursive: true, force: true });
}
