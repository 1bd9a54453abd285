// What the browser checks share: Debian's Chromium started headless through
// puppeteer-core, the expected pictures (PPM files of the native build),
// and the canvas compared with one: an FNV-1a hash of its red, green and
// blue bytes in the page first, the pixels themselves (as PNG) to say what
// differs.
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import pngjs from 'pngjs';
import puppeteer from 'puppeteer-core';

const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// The browser with a profile of its own, without the background network
// traffic a closed network refuses.
export async function launchBrowser() {
  const profile = mkdtempSync(join(tmpdir(), 'lichtbox-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    try { await close(); } finally { rmSync(profile, { recursive: true, force: true }); }
  };
  return browser;
}

function fnv1a(rgb) {
  let h = 0x811c9dc5;
  for (let i = 0; i < rgb.length; ++i) h = Math.imul(h ^ rgb[i], 0x01000193) >>> 0;
  return h;
}

// A binary PPM (P6, 8 bits): its size, RGB bytes and hash.
export function readPpm(path) {
  const data = readFileSync(path);
  const header = data.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+(\d+)\s/);
  if (!header) throw new Error(`${path}: not a binary PPM`);
  const [, w, h] = header.map(Number);
  const rgb = data.subarray(header[0].length, header[0].length + w * h * 3);
  return { path, w, h, rgb, hash: fnv1a(rgb) };
}

// The canvas's size and the hash of its pixels.
export function pictureOf(page) {
  return page.evaluate(() => {
    const c = document.getElementById('canvas');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let h = 0x811c9dc5;
    for (let i = 0; i < d.length; i += 4)
      for (let k = 0; k < 3; ++k) h = Math.imul(h ^ d[i + k], 0x01000193) >>> 0;
    return { w: c.width, h: c.height, hash: h };
  });
}

// How the canvas differs from the expected picture: count and first pixel.
async function difference(page, expected) {
  const url = await page.evaluate(() => document.getElementById('canvas').toDataURL('image/png'));
  const png = pngjs.PNG.sync.read(Buffer.from(url.split(',')[1], 'base64'));
  if (png.width !== expected.w || png.height !== expected.h)
    return `the canvas is ${png.width} x ${png.height}, the picture ${expected.w} x ${expected.h}`;
  let count = 0, first = '';
  for (let i = 0; i < expected.w * expected.h; ++i) {
    const got = [0, 1, 2].map((k) => png.data[4 * i + k]), want = [0, 1, 2].map((k) => expected.rgb[3 * i + k]);
    if (got.some((v, k) => v !== want[k])) {
      if (count++ === 0) first = ` (first at ${i % expected.w},${Math.floor(i / expected.w)}: ${got} not ${want})`;
    }
  }
  return `${count} pixels differ${first}`;
}

// Waits (at most ms) until the canvas equals the picture; throws what
// differs otherwise.
export async function waitForPicture(page, expected, what, ms = 10000) {
  const end = Date.now() + ms;
  for (;;) {
    const now = await pictureOf(page);
    if (now.w === expected.w && now.h === expected.h && now.hash === expected.hash) return;
    if (Date.now() > end) throw new Error(`${what}: the canvas is not ${expected.path}: ${await difference(page, expected)}`);
    await new Promise((r) => setTimeout(r, 20));
  }
}
