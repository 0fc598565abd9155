// Drives the browser build in headless Chromium.
//
//   node drive.mjs compare URL NATIVE_DIR RATE TURNS
//       plays the show on the virtual clock at RATE frames per second, keeps
//       the canvas after each of TURNS (comma-separated) and compares it with
//       NATIVE_DIR/frame-NNNNNN.png from a native /capture at the same rate;
//       also checks that the start button started the sound, that the show
//       ended cleanly and that nothing was logged as an error.
//   node drive.mjs shot URL SECONDS RATE OUT.png
//       screenshot of the page with the frame of SECONDS on the virtual clock.
//   node drive.mjs bench URL RATE
//       the whole show on the virtual clock, turns back to back, no sound:
//       prints the rendering rate.
import { launch } from 'puppeteer-core';
import { readFileSync } from 'node:fs';
import { inflateSync } from 'node:zlib';
import { mkdtempSync, rmSync, readdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const chromium = process.env.KV_CHROMIUM || '/usr/bin/chromium';

// Decodes an 8-bit RGB or RGBA PNG without interlacing into RGB bytes.
export function decodePng(bytes) {
  const sig = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
  if (!sig.every((b, i) => bytes[i] === b)) throw new Error('not a PNG');
  let pos = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (pos < bytes.length) {
    const len = bytes.readUInt32BE(pos);
    const type = bytes.toString('latin1', pos + 4, pos + 8);
    const data = bytes.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      const depth = data[8], color = data[9], interlace = data[12];
      if (depth !== 8 || (color !== 2 && color !== 6) || interlace !== 0)
        throw new Error('unsupported PNG layout');
      channels = color === 2 ? 3 : 4;
    } else if (type === 'IDAT') {
      idat.push(data);
    } else if (type === 'IEND') {
      break;
    }
    pos += 12 + len;
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const img = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const src = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const row = img.subarray(y * stride, (y + 1) * stride);
    const up = y > 0 ? img.subarray((y - 1) * stride, y * stride) : Buffer.alloc(stride);
    for (let x = 0; x < stride; x++) {
      const a = x >= channels ? row[x - channels] : 0;
      const b = up[x];
      const c = x >= channels ? up[x - channels] : 0;
      let v = src[x];
      if (filter === 1) v += a;
      else if (filter === 2) v += b;
      else if (filter === 3) v += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      } else if (filter !== 0) throw new Error('bad PNG filter ' + filter);
      row[x] = v & 0xff;
    }
  }
  const rgb = Buffer.alloc(width * height * 3);
  for (let i = 0, j = 0; i < img.length; i += channels, j += 3) {
    rgb[j] = img[i]; rgb[j + 1] = img[i + 1]; rgb[j + 2] = img[i + 2];
  }
  return { width, height, rgb };
}

// Compares canvas RGBA with native RGB: the differing pixels, the largest
// difference of a channel and the first differing pixel.
export function compareFrames(rgba, rgb, width) {
  let differing = 0, maxDiff = 0, first = null;
  const pixels = rgb.length / 3;
  if (rgba.length !== pixels * 4) return { differing: -1, maxDiff: 255, first: 'size' };
  for (let p = 0; p < pixels; p++) {
    let d = 0;
    for (let c = 0; c < 3; c++) d = Math.max(d, Math.abs(rgba[p * 4 + c] - rgb[p * 3 + c]));
    if (rgba[p * 4 + 3] !== 255) d = Math.max(d, 1);
    if (d) {
      differing++;
      if (d > maxDiff) maxDiff = d;
      if (!first) first = { x: p % width, y: Math.floor(p / width) };
    }
  }
  return { differing, maxDiff, first };
}

// Processor seconds used so far by the browser's renderer processes (those
// started with the given profile): on a busy machine a steadier measure of
// the work than the time on the wall.
function rendererCpuSeconds(profile) {
  let ticks = 0;
  for (const pid of readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const cmd = readFileSync(`/proc/${pid}/cmdline`, 'latin1');
      if (!cmd.includes(profile) || !cmd.includes('--type=renderer')) continue;
      const stat = readFileSync(`/proc/${pid}/stat`, 'latin1');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      ticks += Number(fields[11]) + Number(fields[12]);  // utime, stime
    } catch { /* the process ended meanwhile */ }
  }
  return ticks / 100;
}

async function withBrowser(fn) {
  const profile = mkdtempSync(join(tmpdir(), 'kv-chromium-'));
  const browser = await launch({
    executablePath: chromium,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--user-data-dir=' + profile, '--window-size=960,760'],
    userDataDir: profile,
    defaultViewport: { width: 960, height: 760 },
  });
  try {
    return await fn(browser, profile);
  } finally {
    await browser.close().catch(() => {});
    rmSync(profile, { recursive: true, force: true });
  }
}

// Opens the page, records console errors, presses Start.
async function openAndStart(browser, url, errors) {
  const page = await browser.newPage();
  page.on('console', (m) => { if (m.type() === 'error') errors.push('console: ' + m.text()); });
  page.on('pageerror', (e) => errors.push('page: ' + e.message));
  page.on('requestfailed', (r) => errors.push('request failed: ' + r.url()));
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForFunction(() => window.kv && window.kv.ready, { timeout: 120000 });
  await page.click('#start');
  return page;
}

async function compare(url, nativeDir, rate, turnList) {
  const turns = turnList.split(',').map(Number);
  const errors = [];
  let failed = false;
  await withBrowser(async (browser) => {
    const sep = url.includes('?') ? '&' : '?';  // the URL may carry switches (?nommx)
    const page = await openAndStart(browser, `${url}${sep}rate=${rate}&grab=${turns.join(',')}`, errors);
    await page.waitForFunction(() => window.kv.ended, { timeout: 600000, polling: 500 });
    const kv = await page.evaluate(() => ({
      status: kv.status, turns: kv.turns, audioBlocks: kv.audioBlocks, audioPeak: kv.audioPeak,
      grabs: kv.grabs, log: kv.log,
      audioState: Module.SDL2 && Module.SDL2.audioContext ? Module.SDL2.audioContext.state : 'none',
    }));
    for (const line of kv.log) console.log('  show: ' + line);
    console.log(`show ended with status ${kv.status} after ${kv.turns} frames`);
    if (kv.status !== 0) failed = true;
    console.log(`sound: context ${kv.audioState}, ${kv.audioBlocks} blocks mixed, peak ${kv.audioPeak.toFixed(3)}`);
    if (kv.audioBlocks === 0 || !(kv.audioPeak > 0)) {
      console.log('FAIL: the start button did not start the sound');
      failed = true;
    }
    for (const turn of turns) {
      const name = `frame-${String(turn).padStart(6, '0')}.png`;
      const native = decodePng(readFileSync(join(nativeDir, name)));
      const shown = kv.grabs[turn];
      if (!shown) {
        console.log(`FAIL ${name}: the browser never showed frame ${turn}`);
        failed = true;
        continue;
      }
      const r = compareFrames(Buffer.from(shown, 'base64'), native.rgb, native.width);
      const at = (turn * 1000 / rate / 1000).toFixed(1);
      if (r.differing === 0) {
        console.log(`ok   ${name} (${at} s): identical`);
      } else {
        console.log(`FAIL ${name} (${at} s): ${r.differing} pixels differ, by up to ${r.maxDiff},` +
                    ` first at ${JSON.stringify(r.first)}`);
        failed = true;
      }
    }
  });
  for (const e of errors) console.log('FAIL ' + e);
  if (errors.length) failed = true;
  console.log(failed ? 'web test FAILED' : 'web test passed');
  return failed ? 1 : 0;
}

async function shot(url, seconds, rate, out) {
  const errors = [];
  await withBrowser(async (browser) => {
    const turn = Math.round(seconds * rate);
    const page = await openAndStart(browser, `${url}?rate=${rate}&unpaced&stopat=${turn}`, errors);
    await page.waitForFunction((t) => window.kv.turns > t || window.kv.ended, { timeout: 600000, polling: 200 }, turn);
    await page.mouse.move(5, 5);  // off the panel, which fades while playing
    await new Promise((r) => setTimeout(r, 1500));
    await page.screenshot({ path: out });
    console.log(`${out}: frame ${turn} (${seconds} s at ${rate} frames per second)`);
  });
  for (const e of errors) console.log('error: ' + e);
  return errors.length ? 1 : 0;
}

async function bench(url, rate) {
  const errors = [];
  let result = 1;
  await withBrowser(async (browser, profile) => {
    const url2 = `${url}?rate=${rate}&unpaced&nosound`;
    const page = await browser.newPage();
    page.on('console', (m) => { if (m.type() === 'error') errors.push('console: ' + m.text()); });
    page.on('pageerror', (e) => errors.push('page: ' + e.message));
    await page.goto(url2, { waitUntil: 'load' });
    await page.waitForFunction(() => window.kv && window.kv.ready, { timeout: 120000 });
    const cpu0 = rendererCpuSeconds(profile);
    await page.click('#start');
    await page.waitForFunction(() => window.kv.ended, { timeout: 1800000, polling: 1000 });
    const cpu = rendererCpuSeconds(profile) - cpu0;
    const r = await page.evaluate(() => ({ turns: kv.turns, ms: kv.endTime - kv.startTime,
                                           status: kv.status, ends: kv.turnEnds }));
    // The slowest second of the show: its frames over the time they took.
    let slowest = { fps: Infinity, at: 0 };
    for (let first = 0; first + rate <= r.ends.length; first += rate) {
      const before = first === 0 ? r.ends[0] - (r.ends[1] - r.ends[0]) : r.ends[first - 1];
      const fps = rate * 1000 / (r.ends[first + rate - 1] - before);
      if (fps < slowest.fps) slowest = { fps, at: first / rate };
    }
    console.log(`web: slowest second of the show: ${slowest.at}-${slowest.at + 1} s at ` +
                `${slowest.fps.toFixed(1)} frames/s`);
    console.log(`web: ${r.turns} frames in ${(r.ms / 1000).toFixed(1)} s: ` +
                `${(r.turns * 1000 / r.ms).toFixed(1)} frames/s; renderer ${cpu.toFixed(1)} processor s: ` +
                `${(r.turns / cpu).toFixed(1)} frames per processor s (status ${r.status})`);
    result = r.status;
  });
  for (const e of errors) console.log('error: ' + e);
  return errors.length ? 1 : result;
}

const [mode, ...rest] = process.argv.slice(2);
let code = 2;
if (mode === 'compare') code = await compare(rest[0], rest[1], Number(rest[2]), rest[3]);
else if (mode === 'shot') code = await shot(rest[0], Number(rest[1]), Number(rest[2]), rest[3]);
else if (mode === 'bench') code = await bench(rest[0], Number(rest[1]));
else console.error('usage: node drive.mjs compare|shot|bench ...');
process.exit(code);
