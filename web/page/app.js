// SPDX-License-Identifier: GPL-3.0-or-later
// The page: the controls, the meters and the plot. The decoding happens in
// worker.js; nothing here leaves the machine.
'use strict';

const $ = (id) => document.getElementById(id);
let worker = null;
const params = new URLSearchParams(location.search);
// Where the browser offers it, the result goes into a file the user picks;
// ?save=download asks for the download link instead.
const pickFile = typeof window.showSaveFilePicker === 'function' && params.get('save') !== 'download';
const kLevelWords = 'The reference level is -30.0 .. 0.0 dB in steps of 0.1 dB';
const kBands = ['A', 'B', 'C', 'D'];
const kMeterMin = -320;
const kMeterMax = 100;

let info = null;
let busy = false;
let ready = false;
let history = [];
let inputFile = null;
// The decode's Stop: a flag on shared memory the worker reads after every
// block, where the page is cross-origin isolated; elsewhere the worker is
// ended and a new one started (nothing kept).
let stopFlag = null;
let stopping = false;

function setStatus(text, refused = false, cli = '') {
  $('status').textContent = text;
  $('status').classList.toggle('refused', refused);
  if (cli) $('status').dataset.cli = cli;
  else delete $('status').dataset.cli;
}

// The level as typed: a number of -30.0 .. 0.0 with at most one decimal,
// else null (refused, and left as it was typed).
function levelOf(text) {
  if (!/^\s*[-+]?\d{1,2}(\.\d)?\s*$/.test(text)) return null;
  const value = Number(text);
  if (!(value >= -30 && value <= 0)) return null;
  return Math.round(value * 10) / 10;
}

function checkLevel() {
  const ok = levelOf($('level').value) !== null;
  $('level').classList.toggle('refused', !ok);
  $('level').setAttribute('aria-invalid', ok ? 'false' : 'true');
  $('level-note').textContent = ok ? '' : kLevelWords;
  updateButtons();
  return ok;
}

function updateButtons() {
  const open = ready && info && !info.refused && !busy;
  $('measure').disabled = !open;
  $('decode').disabled = !open || levelOf($('level').value) === null;
  $('stop').disabled = !decoding || stopping;
}

let decoding = false;
let reopening = false;

function openFile(file) {
  if (!file || busy) return;
  inputFile = file;
  info = null;
  history = [];
  $('result').hidden = true;
  $('result').removeAttribute('href');
  $('record').textContent = '';
  $('format').textContent = file.name;
  $('metadata').textContent = '';
  setStatus('Reading ' + file.name);
  worker.postMessage({ type: 'open', file });
  listen.postMessage({ type: 'open', file });
  $('position').value = '0';
  updateButtons();
}

function fillPairs(channels) {
  const pair = $('pair');
  pair.textContent = '';
  for (let c = 1; c <= channels; c += 2) {
    const option = document.createElement('option');
    option.value = String(c - 1);
    option.textContent = c < channels ? `Ch ${c} + ${c + 1}` : `Ch ${c}`;
    pair.appendChild(option);
  }
}

function drawMeters(meters) {
  const canvas = $('meters');
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  const first = Number($('pair').value || 0);
  const channels = info ? Math.min(2, info.channels - first) : 0;
  const rows = channels * 4;
  const height = canvas.height / Math.max(rows, 1);
  const zero = ((0 - kMeterMin) / (kMeterMax - kMeterMin)) * (canvas.width - 60) + 60;
  g.font = '10px sans-serif';
  for (let c = 0; c < channels; ++c) {
    for (let b = 0; b < 4; ++b) {
      const row = c * 4 + b;
      const value = meters[(first + c) * 4 + b] ?? kMeterMin;
      const x = ((value - kMeterMin) / (kMeterMax - kMeterMin)) * (canvas.width - 60) + 60;
      g.fillStyle = '#333';
      g.fillText(`Ch ${first + c + 1} ${kBands[b]}`, 2, row * height + height - 3);
      g.fillStyle = value < 0 ? '#3a7' : '#c83';
      g.fillRect(Math.min(x, zero), row * height + 2, Math.abs(x - zero), height - 4);
    }
  }
  g.fillStyle = '#000';
  g.fillRect(zero, 0, 1, canvas.height);
}

function drawPlot() {
  const canvas = $('plot');
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, canvas.width, canvas.height);
  const y = (v) => ((kMeterMax - v) / (kMeterMax - kMeterMin)) * canvas.height;
  g.strokeStyle = '#bbb';
  g.beginPath();
  g.moveTo(0, y(0));
  g.lineTo(canvas.width, y(0));
  g.stroke();
  const colours = ['#c33', '#3a3', '#33c', '#a3a'];
  const first = Number($('pair').value || 0);
  for (let b = 0; b < 4; ++b) {
    g.strokeStyle = colours[b];
    g.beginPath();
    history.forEach((point, i) => {
      const x = point.at * canvas.width;
      const v = point.meters[first * 4 + b] ?? kMeterMin;
      if (i === 0) g.moveTo(x, y(v));
      else g.lineTo(x, y(v));
    });
    g.stroke();
    g.fillStyle = colours[b];
    g.fillText(kBands[b], canvas.width - 40 + b * 10, 12);
  }
}

function onWorkerMessage(event) {
  const m = event.data;
  if (m.type === 'ready') {
    ready = true;
    $('build').textContent = m.threads > 0
      ? `The decode runs on ${m.threads + 1} threads (this page is cross-origin isolated).`
      : 'The decode runs on one thread' + (self.crossOriginIsolated ? '.'
        : ' (this page is not cross-origin isolated, so it has no shared memory for more).');
    $('build').dataset.threads = String(m.threads + 1);
    // A worker started again after a Stop opens the file the page has.
    clearTimeout(startTimer);
    hungStarts = 0;
    if (restarted && inputFile) {
      reopening = keepStatus;
      worker.postMessage({ type: 'open', file: inputFile });
    }
    updateButtons();
  } else if (m.type === 'opened') {
    info = m.info;
    const wasReopening = reopening;
    reopening = false;
    if (info.refused) {
      $('format').textContent = 'no file selected';
      setStatus(info.window, true, info.cli);
    } else {
      $('format').textContent = info.format;
      $('metadata').textContent = info.metadata;
      fillPairs(info.channels);
      if (!wasReopening) setStatus('');
      drawMeters([]);
    }
    updateButtons();
  } else if (m.type === 'measured') {
    busy = false;
    const r = m.result;
    if (typeof r.suggested_level_db === 'number') {
      $('level').value = r.suggested_level_db.toFixed(1);
      checkLevel();
    }
    setStatus(r.line, r.suggested_level_db == null);
    updateButtons();
  } else if (m.type === 'progress') {
    $('progress').value = m.total > 0 ? m.read / m.total : 0;
    drawMeters(m.meters);
    history.push({ at: m.total > 0 ? m.read / m.total : 0, meters: m.meters });
    drawPlot();
  } else if (m.type === 'decoded') {
    busy = false;
    decoding = false;
    stopping = false;
    const a = m.answer;
    if (a.refused) {
      setStatus(a.window, true, a.cli);
    } else {
      $('progress').value = 1;
      let text = a.message;
      if (a.warnings.length) text += ' — ' + a.warnings.join('; ');
      if (a.status === 'interrupted') {
        text = a.kept ? `Stopped; what was decoded is in ${a.kept}` : 'Stopped; nothing was kept';
      }
      if (m.saved) text += ` — saved as ${a.name}`;
      if (a.saveError) text += ` — not saved (${a.saveError}): download it below`;
      setStatus(text, a.status === 'failed');
      $('status').dataset.state = a.status;
      // The decode's own time in the worker (for the benchmark).
      $('status').dataset.seconds = String(a.seconds);
      $('record').textContent = a.record;
      if (m.blob) {
        $('result').href = URL.createObjectURL(m.blob);
        $('result').download = a.name;
        $('result').textContent = `Save ${a.name} (${(a.size / 1048576).toFixed(1)} MiB)`;
        $('result').dataset.storage = a.storage;
        $('result').hidden = false;
      }
      if (a.history && a.history.length) history = a.history;
      if (a.storage === 'memory') $('limit').textContent = kMemoryLimit;
      drawPlot();
    }
    updateButtons();
  }
}

let restarted = false;
let keepStatus = false;
// A worker that has not said it is ready after this long is ended and
// started again: now and then (about one start in fifteen in Firefox ESR
// with threads) the module's threads never all come up and the worker
// waits for them for ever. The third such start is given up, and said.
const kStartSeconds = 10;
let startTimer = 0;
let hungStarts = 0;
function startWorker(again = false, keep = again) {
  restarted = again;
  keepStatus = keep;
  ready = false;
  worker = new Worker(params.get('threads') === 'off' ? 'worker.js?threads=off' : 'worker.js');
  worker.onmessage = onWorkerMessage;
  clearTimeout(startTimer);
  startTimer = setTimeout(() => {
    if (ready) return;
    worker.terminate();
    if (++hungStarts < 3) {
      startWorker(true, false);
    } else {
      setStatus('The decoder did not start in this browser; reload the page to try again', true);
    }
  }, kStartSeconds * 1000);
}
startWorker();

$('file').addEventListener('change', () => openFile($('file').files[0]));
const drop = $('drop');
drop.addEventListener('dragover', (e) => {
  e.preventDefault();
  drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (e) => {
  e.preventDefault();
  drop.classList.remove('over');
  openFile(e.dataTransfer.files[0]);
});
$('level').addEventListener('input', checkLevel);
$('measure').addEventListener('click', () => {
  busy = true;
  updateButtons();
  setStatus('Measuring the reference tone ...');
  worker.postMessage({ type: 'measure' });
});
$('decode').addEventListener('click', async () => {
  const level = levelOf($('level').value);
  if (level === null || !info || info.refused) return;
  let handle = null;
  if (pickFile) {
    const stem = inputFile.name.replace(/\.[^.]*$/, '');
    try {
      handle = await window.showSaveFilePicker({
        suggestedName: stem + '_dec.wav',
        types: [{ description: 'WAV file', accept: { 'audio/wav': ['.wav'] } }],
      });
    } catch (e) {
      return; // the user chose no file
    }
  }
  busy = true;
  decoding = true;
  stopping = false;
  history = [];
  $('result').hidden = true;
  $('record').textContent = '';
  delete $('status').dataset.state;
  stopFlag = self.crossOriginIsolated ? new Int32Array(new SharedArrayBuffer(4)) : null;
  updateButtons();
  setStatus('Decoding at ' + level.toFixed(1) + ' dB ...');
  worker.postMessage({ type: 'decode', level, handle, stop: stopFlag });
});
$('stop').addEventListener('click', () => {
  if (!decoding || stopping) return;
  stopping = true;
  updateButtons();
  if (stopFlag) {
    // Ends after the block in hand; the worker answers with what was decoded.
    Atomics.store(stopFlag, 0, 1);
    setStatus('Stopping ...');
    return;
  }
  worker.terminate();
  busy = false;
  decoding = false;
  stopping = false;
  setStatus('Stopped; nothing was kept');
  $('status').dataset.state = 'interrupted';
  startWorker(true);
  updateButtons();
});
$('pair').addEventListener('change', () => {
  drawPlot();
  drawMeters(history.length ? history[history.length - 1].meters : []);
});
const kMemoryLimit = 'This browser keeps the decoded file in its memory until it is saved: ' +
  'up to about 2 GB of output.';
$('limit').textContent = (pickFile
  ? 'The decoded file is written into a file you pick when the decode starts. '
  : 'The decoded file is offered as a download. ') +
  'It is written as it is made into the browser\'s own storage on this computer, so its size is ' +
  'limited only by the disk; where a browser has no such storage, it is kept in memory (up to about 2 GB).';
checkLevel();

// Listening (listen.js): the decode of the selected pair from the position
// chosen, at the level set, or the input (A/B), while it plays.
const listen = new Worker('listen.js');
let listenInfo = null;
let audio = null;
let playing = false;
let nextTime = 0;
let asked = false;
let ticker = 0;

function stopPlaying() {
  playing = false;
  clearInterval(ticker);
  if (audio) audio.close();
  audio = null;
  $('play').textContent = 'Play';
}

function askMore() {
  if (!playing || asked || nextTime - audio.currentTime > 0.6) return;
  asked = true;
  listen.postMessage({ type: 'more' });
}

listen.onmessage = (event) => {
  const m = event.data;
  if (m.type === 'opened') {
    listenInfo = m.info.refused ? null : m.info;
    $('play').disabled = !listenInfo;
    $('ab').disabled = !listenInfo;
    $('position').disabled = !listenInfo;
  } else if (m.type === 'started') {
    if (!m.ok) stopPlaying();
    else askMore();
  } else if (m.type === 'chunk') {
    asked = false;
    if (!playing) return;
    if (m.frames === 0) {
      setTimeout(stopPlaying, Math.max(0, (nextTime - audio.currentTime) * 1000));
      return;
    }
    const buffer = audio.createBuffer(2, m.frames, m.rate);
    buffer.copyToChannel(m.left, 0);
    buffer.copyToChannel(m.right, 1);
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    nextTime = Math.max(nextTime, audio.currentTime + 0.05);
    source.start(nextTime);
    nextTime += m.frames / m.rate;
    $('position').value = String(Math.min(1, Number($('position').value) + m.frames / listenInfo.frames));
    askMore();
  }
};

function play() {
  if (playing) {
    stopPlaying();
    return;
  }
  if (!listenInfo) return;
  try {
    audio = new AudioContext({ sampleRate: listenInfo.rate });
  } catch (e) {
    audio = new AudioContext();
  }
  playing = true;
  asked = false;
  nextTime = 0;
  $('play').textContent = 'Stop';
  const level = levelOf($('level').value);
  if (level !== null) listen.postMessage({ type: 'level', level });
  listen.postMessage({ type: 'input', on: $('ab').checked });
  listen.postMessage({
    type: 'play',
    frame: Math.floor(Number($('position').value) * listenInfo.frames),
    first: Number($('pair').value || 0),
  });
  ticker = setInterval(askMore, 100);
}

$('play').addEventListener('click', play);
$('ab').addEventListener('change', () => listen.postMessage({ type: 'input', on: $('ab').checked }));
$('level').addEventListener('input', () => {
  const level = levelOf($('level').value);
  if (level !== null) listen.postMessage({ type: 'level', level });
});
$('pair').addEventListener('change', () => listen.postMessage({ type: 'pair', first: Number($('pair').value || 0) }));
$('position').addEventListener('change', () => {
  if (playing) {
    stopPlaying();
    play();
  }
});
