// The browser build in Debian's headless Chromium, driven through the
// DevTools protocol (puppeteer-core): the served page and the offline file
// each go through the same steps, and the canvas must equal, pixel for
// pixel, the pictures the native build computes without a window
// (tests/x11/lichtbox_pictures):
//   start; keys r, g, R; clicks on panel buttons 2 and 8 (the info box)
//   and beside them (the box goes); n; k until the object's height is 0;
//   a finger's tap on button 2; keys while the canvas has no focus change
//   nothing; "e" ends the program with status 0 and the end line, the
//   last picture staying; "start again" shows the start picture.
//   node web_e2e.mjs BUILD_WEB PICTURES [served|offline]...
import { readFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

import { launchBrowser, pictureOf, readPpm, waitForPicture } from './browser.mjs';
import { serve } from '../../scripts/web_server.mjs';

const [buildWeb, pictures, ...which] = process.argv.slice(2);
if (!buildWeb || !pictures) {
  console.error('usage: node web_e2e.mjs BUILD_WEB PICTURES [served|offline]...');
  process.exit(2);
}
const variants = which.length ? which : ['served', 'offline'];
const expected = (name) => readPpm(join(pictures, name + '.ppm'));
const buttons = new Map(readFileSync(join(pictures, 'buttons.txt'), 'utf8').trim().split('\n')
  .map((line) => line.split(' ').map(Number)).map(([b, x, y]) => [b, { x, y }]));

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The page position of canvas pixel (x, y), through the page's scaling.
async function pagePoint(page, x, y) {
  return page.evaluate((x, y) => {
    const c = document.getElementById('canvas'), r = c.getBoundingClientRect();
    return { x: r.left + (x + 0.5) * r.width / c.width, y: r.top + (y + 0.5) * r.height / c.height };
  }, x, y);
}

async function run(variant, browser, url) {
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(`page error: ${e.message} ${process.env.WEB_DEBUG ? e.stack : ''}`));
  // The offline page in a larger window: the picture twice the size,
  // centred, and clicks mapped back through the scaling.
  const viewport = variant === 'offline' ? { width: 1400, height: 1000 } : { width: 800, height: 600 };
  await page.setViewport(viewport);
  const step = async (what, picture, action) => {
    if (action) await action();
    await waitForPicture(page, expected(picture), `${variant}: ${what}`);
    console.log(`${variant}: ${what}: the canvas shows ${picture}.ppm`);
  };
  // The simulation polls the mouse between its pauses; a click it did not
  // see (the info box's pause takes a second) is repeated, as a user would.
  const click = async (x, y) => {
    const p = await pagePoint(page, x, y);
    const before = (await pictureOf(page)).hash;
    for (let i = 0; i < 5; ++i) {
      await page.mouse.click(p.x, p.y);
      for (let t = 0; t < 60; ++t) {
        if ((await pictureOf(page)).hash !== before) return;
        await sleep(20);
      }
    }
  };
  const button = (b) => click(buttons.get(b).x, buttons.get(b).y);

  await page.goto(url);
  await step('start', 'start');
  const scale = Math.floor(Math.min(viewport.width / 640, viewport.height / 480));
  const box = await page.evaluate(() => {
    const r = document.getElementById('canvas').getBoundingClientRect();
    return [r.left, r.top, r.width, r.height];
  });
  const want = [(viewport.width - 640 * scale) / 2, (viewport.height - 480 * scale) / 2, 640 * scale, 480 * scale];
  if (box.some((v, i) => Math.abs(v - want[i]) > 0.5))
    throw new Error(`${variant}: the canvas sits at ${box}, not ${want} (scale ${scale}, centred)`);
  await step('key r', 'r', () => page.keyboard.press('KeyR'));
  await step('key g', 'rg', () => page.keyboard.press('KeyG'));
  await step('key R', 'rgR', async () => {
    await page.keyboard.down('ShiftLeft');
    await page.keyboard.press('KeyR');
    await page.keyboard.up('ShiftLeft');
  });
  // Alt+Enter and the page's button switch to the browser's full-screen
  // and back; the picture stays.
  const fullscreen = (on) => page.waitForFunction((on) => !!document.fullscreenElement === on, { timeout: 10000 }, on);
  for (const toggle of [() => page.keyboard.down('AltLeft').then(() => page.keyboard.press('Enter'))
                                   .then(() => page.keyboard.up('AltLeft')),
                        () => page.click('#full')]) {
    await toggle();
    await fullscreen(true);
    await toggle();
    await fullscreen(false);
    await page.evaluate(() => document.getElementById('canvas').focus());
  }
  await waitForPicture(page, expected('rgR'), `${variant}: after full-screen and back`);
  console.log(`${variant}: Alt+Enter and the full-screen button: full-screen and back`);
  await step('click on button 2', 'b2', () => button(2));
  await step('click on button 8', 'info', () => button(8));
  await step('click beside the buttons', 'b2', () => click(10, 10));
  await step('key n', 'b2n', () => page.keyboard.press('KeyN'));
  const zero = expected('h0');
  await step('keys k down to height 0', 'h0', async () => {
    for (let i = 0; i < 200; ++i) {
      const before = await pictureOf(page);
      if (before.hash === zero.hash) break;
      await page.keyboard.press('KeyK');
      for (let t = 0; t < 100 && (await pictureOf(page)).hash === before.hash; ++t) await sleep(5);
    }
  });
  await step('a tap on button 2', 'h0b2', async () => {
    const p = await pagePoint(page, buttons.get(2).x, buttons.get(2).y);
    await page.touchscreen.tap(p.x, p.y);
  });

  // Without the keyboard focus the program hears no keys, and goes on.
  await page.evaluate(() => document.getElementById('canvas').blur());
  for (const key of ['KeyR', 'KeyE']) await page.keyboard.press(key);
  await sleep(300);
  const unfocused = await pictureOf(page);
  if (unfocused.hash !== expected('h0b2').hash) throw new Error(`${variant}: a key without focus changed the picture`);
  if ((await page.evaluate(() => window.lichtboxExit)) !== undefined)
    throw new Error(`${variant}: a key without focus ended the program`);
  await page.evaluate(() => document.getElementById('canvas').focus());
  console.log(`${variant}: keys without focus: nothing happened`);

  await page.keyboard.press('KeyE');
  await page.waitForFunction(() => window.lichtboxExit !== undefined, { timeout: 10000 });
  const status = await page.evaluate(() => window.lichtboxExit);
  const ended = await page.evaluate(() => !document.getElementById('end').hidden &&
                                           document.getElementById('ended').textContent);
  if (status !== 0) throw new Error(`${variant}: "e" ended the program with status ${status}`);
  if (!ended || !/beendet/.test(ended) || !/ended/.test(ended)) throw new Error(`${variant}: no end line on the page`);
  await waitForPicture(page, expected('h0b2'), `${variant}: the last picture after the end`);
  console.log(`${variant}: "e": status 0, "${ended}", the last picture stays`);

  await step('start again', 'start', () => page.click('#again'));
  if (problems.length) throw new Error(`${variant}: ${problems.join('; ')}`);
  await page.close();
}

const browser = await launchBrowser();
let server = null;
let failed = false;
try {
  for (const variant of variants) {
    let url;
    if (variant === 'served') {
      server = await serve(resolve(buildWeb));
      url = `http://127.0.0.1:${server.address().port}/lichtbox.html`;
    } else {
      url = pathToFileURL(resolve(buildWeb, 'lichtbox-offline.html')).href;
    }
    await run(variant, browser, url);
    if (server) { server.close(); server = null; }
  }
} catch (e) {
  console.error(`FAIL: ${e.message}`);
  failed = true;
} finally {
  if (server) server.close();
  await browser.close();
}
if (failed) process.exit(1);
console.log('browser build: all checks passed');
