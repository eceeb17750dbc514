// SPDX-License-Identifier: GPL-3.0-or-later
// WAV files for the tests of the web build: programme-like signals (tones
// that rise and fall, a reference tone, noise) in every sample format, with
// chunks around the data, as RIFF or RF64. Deterministic for a seed.

function random(seed) {
  let s = seed >>> 0 || 1;
  return () => {
    s ^= s << 13;
    s >>>= 0;
    s ^= s >>> 17;
    s ^= s << 5;
    s >>>= 0;
    return s / 4294967296;
  };
}

function chunk(id, body) {
  const pad = body.length % 2;
  const out = new Uint8Array(8 + body.length + pad);
  const view = new DataView(out.buffer);
  for (let i = 0; i < 4; ++i) out[i] = id.charCodeAt(i);
  view.setUint32(4, body.length, true);
  out.set(body, 8);
  return out;
}

function text(s) {
  return new TextEncoder().encode(s);
}

// A bext chunk with a description and a CodingHistory line.
function bextBody() {
  const body = new Uint8Array(602 + 40);
  body.set(text('Reel 7, side A'), 0);
  body.set(text('A=ANALOGUE,M=stereo,T=Studer A80\r\n'), 602);
  return body;
}

// Samples of frames x channels in [-1, 1): a reference tone in the first
// quarter, then tones moving in level and pitch over noise.
export function programme(frames, channels, rate, seed = 1) {
  const next = random(seed);
  const samples = new Float64Array(frames * channels);
  for (let c = 0; c < channels; ++c) {
    const f = 220 * (c + 1) + 37 * c;
    for (let i = 0; i < frames; ++i) {
      const t = i / rate;
      let x;
      if (i < frames / 4) {
        x = 0.3 * Math.sin(2 * Math.PI * 1000 * t);
      } else {
        const level = 0.02 + 0.6 * Math.abs(Math.sin(2 * Math.PI * 0.7 * t + c));
        x = level * Math.sin(2 * Math.PI * f * t * (1 + 0.3 * Math.sin(t))) +
            0.01 * (next() - 0.5) + 0.05 * Math.sin(2 * Math.PI * 9000 * t) * (next() < 0.5);
      }
      samples[i * channels + c] = Math.max(-1, Math.min(0.999, x));
    }
  }
  return samples;
}

function encode(samples, bits, float) {
  const bytes = bits / 8;
  const out = new Uint8Array(samples.length * bytes);
  const view = new DataView(out.buffer);
  for (let i = 0; i < samples.length; ++i) {
    const x = samples[i];
    if (float) {
      view.setFloat32(i * 4, x, true);
    } else if (bits === 16) {
      view.setInt16(i * 2, Math.round(x * 32767), true);
    } else if (bits === 24) {
      const v = Math.round(x * 8388607);
      out[i * 3] = v & 0xff;
      out[i * 3 + 1] = (v >> 8) & 0xff;
      out[i * 3 + 2] = (v >> 16) & 0xff;
    } else {
      view.setInt32(i * 4, Math.round(x * 2147483647), true);
    }
  }
  return out;
}

// A whole WAV file. options: rate, channels, bits, float, seconds (or
// frames), rf64, chunks (bext, LIST and iXML before the data, JUNK after
// it), extensible (WAVE_FORMAT_EXTENSIBLE for more than two channels).
export function wavFile(options) {
  const rate = options.rate ?? 48000;
  const channels = options.channels ?? 2;
  const bits = options.bits ?? 16;
  const float = options.float ?? false;
  const frames = options.frames ?? Math.round((options.seconds ?? 1) * rate);
  const data = encode(programme(frames, channels, rate, options.seed ?? 7), bits, float);
  const blockAlign = channels * bits / 8;
  const extensible = options.extensible ?? channels > 2;
  const fmt = new Uint8Array(extensible ? 40 : 16);
  const fv = new DataView(fmt.buffer);
  fv.setUint16(0, extensible ? 0xfffe : float ? 3 : 1, true);
  fv.setUint16(2, channels, true);
  fv.setUint32(4, rate, true);
  fv.setUint32(8, rate * blockAlign, true);
  fv.setUint16(12, blockAlign, true);
  fv.setUint16(14, bits, true);
  if (extensible) {
    fv.setUint16(16, 22, true);
    fv.setUint16(18, bits, true);
    fv.setUint32(20, channels === 6 ? 0x3f : 0, true);
    // KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT
    const guid = [float ? 3 : 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71];
    fmt.set(guid, 24);
  }
  const before = [];
  const after = [];
  if (options.chunks) {
    before.push(chunk('bext', bextBody()));
    before.push(chunk('LIST', new Uint8Array([...text('INFO'), ...chunk('INAM', text('Test take\0'))])));
    before.push(chunk('iXML', text('<BWFXML><PROJECT>tape</PROJECT></BWFXML>')));
    after.push(chunk('JUNK', new Uint8Array(13)));
  }
  const parts = [];
  if (options.rf64) {
    const ds64 = new Uint8Array(28);
    parts.push(chunk('ds64', ds64));
  }
  parts.push(chunk('fmt ', fmt), ...before);
  const dataHeader = new Uint8Array(8);
  dataHeader.set(text('data'), 0);
  new DataView(dataHeader.buffer).setUint32(4, options.rf64 ? 0xffffffff : data.length, true);
  parts.push(dataHeader, data);
  if (data.length % 2) parts.push(new Uint8Array(1));
  parts.push(...after);
  let size = 12;
  for (const p of parts) size += p.length;
  const file = new Uint8Array(size);
  file.set(text(options.rf64 ? 'RF64' : 'RIFF'), 0);
  new DataView(file.buffer).setUint32(4, options.rf64 ? 0xffffffff : size - 8, true);
  file.set(text('WAVE'), 8);
  let at = 12;
  for (const p of parts) {
    file.set(p, at);
    at += p.length;
  }
  if (options.rf64) {
    const v = new DataView(file.buffer);
    v.setBigUint64(20, BigInt(size - 8), true);
    v.setBigUint64(28, BigInt(data.length), true);
    v.setBigUint64(36, BigInt(frames), true);
  }
  return file;
}
