// The browser build's speed in headless Chromium (scripts/bench web):
//   node web_bench.mjs BUILD_WEB START_PPM
// - load: from navigation to the picture that completes the start picture
//   (the last one put before the page settles), served from 127.0.0.1,
//   9 loads, median;
// - key latency: from a key's keydown in the page (sent through the DevTools
//   protocol, "r" and "l" in turn) to the next picture put on the canvas,
//   100 keys: median and 95th percentile (goal: under one frame, 16.7 ms);
// - idle CPU of the page's renderer process over 5 s (goal: under 2 %);
// - sizes: the offline page (goal: under 1 MiB), the served files raw and
//   compressed.
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { join, resolve } from 'node:path';

import { launchBrowser, pictureOf, readPpm } from '../tests/web/browser.mjs';
import { serve } from '../scripts/web_server.mjs';

const [buildWeb, startPpm] = process.argv.slice(2);
if (!buildWeb || !startPpm) {
  console.error('usage: node web_bench.mjs BUILD_WEB START_PPM');
  process.exit(2);
}
const start = readPpm(startPpm);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
const percentile = (v, p) => [...v].sort((a, b) => a - b)[Math.min(v.length - 1, Math.floor(v.length * p / 100))];

// Times of the pictures put on the canvas and of keydowns, in page time.
const RECORDER = () => {
  window.__puts = [];
  window.__keys = [];
  window.lichtboxOnPicture = () => window.__puts.push(performance.now());
  window.addEventListener('keydown', () => window.__keys.push(performance.now()), true);
};

async function settled(page, quietMs = 500) {
  for (;;) {
    const n = await page.evaluate(() => window.__puts.length);
    await sleep(quietMs);
    if (n > 0 && n === (await page.evaluate(() => window.__puts.length))) return;
  }
}

// CPU seconds of Chromium's renderer processes.
function rendererCpu(browserPid) {
  let ticks = 0;
  for (const pid of readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const cmd = readFileSync(`/proc/${pid}/cmdline`, 'latin1');
      const stat = readFileSync(`/proc/${pid}/stat`, 'latin1').split(') ')[1].split(' ');
      if (!cmd.includes('--type=renderer') || !cmd.includes(`lichtbox-chromium-`)) continue;
      ticks += Number(stat[11]) + Number(stat[12]);
    } catch { /* gone meanwhile */ }
  }
  void browserPid;
  return ticks / 100;
}

const browser = await launchBrowser();
const server = await serve(resolve(buildWeb));
const url = `http://127.0.0.1:${server.address().port}/lichtbox.html`;
try {
  const loads = [];
  for (let i = 0; i < 9; ++i) {
    const page = await browser.newPage();
    await page.setViewport({ width: 800, height: 600 });
    await page.evaluateOnNewDocument(RECORDER);
    await page.goto(url);
    await settled(page);
    if ((await pictureOf(page)).hash !== start.hash) throw new Error('the page did not show the start picture');
    loads.push(await page.evaluate(() => window.__puts[window.__puts.length - 1]));
    await page.close();
  }
  console.log(`load to the finished start picture (served, 9 loads): median ${median(loads).toFixed(1)} ms; ` +
              `loads (ms): ${loads.map((v) => v.toFixed(1)).join(' ')}`);

  const page = await browser.newPage();
  await page.setViewport({ width: 800, height: 600 });
  await page.evaluateOnNewDocument(RECORDER);
  await page.goto(url);
  await settled(page);
  await page.focus('#canvas');
  await sleep(1000);
  const before = rendererCpu(browser.process().pid);
  await sleep(5000);
  const idle = (rendererCpu(browser.process().pid) - before) / 5 * 100;
  console.log(`idle CPU of the page's renderer over 5 s: ${idle.toFixed(2)} % of one core (goal: under 2 %)`);

  const cdp = await page.createCDPSession();
  const latencies = [];
  let missed = 0;
  for (let i = 0; i < 100; ++i) {
    const [code, key, vk] = i % 2 ? ['KeyL', 'l', 76] : ['KeyR', 'r', 82];
    const puts = await page.evaluate(() => window.__puts.length);
    await cdp.send('Input.dispatchKeyEvent', { type: 'keyDown', code, key, text: key, windowsVirtualKeyCode: vk });
    await cdp.send('Input.dispatchKeyEvent', { type: 'keyUp', code, key, windowsVirtualKeyCode: vk });
    let t = null;
    for (let w = 0; w < 200 && t === null; ++w) {
      await sleep(2);
      t = await page.evaluate((n) => (window.__puts.length > n ? window.__puts[n] - window.__keys[window.__keys.length - 1]
                                                                 : null), puts);
    }
    if (t === null) ++missed; else latencies.push(t);
    await sleep(30 + (i % 7) * 3.7);  // at another point of the program's 10 ms pauses each time
  }
  console.log(`key to the changed canvas over ${latencies.length} keys: median ${median(latencies).toFixed(1)} ms, ` +
              `95th percentile ${percentile(latencies, 95).toFixed(1)} ms, max ${Math.max(...latencies).toFixed(1)} ms ` +
              `(goal: 95th percentile under 16.7 ms); ${missed} without a picture`);
  await page.close();

  const size = (f) => statSync(join(buildWeb, f)).size;
  const kib = (n) => `${(n / 1024).toFixed(0)} KiB`;
  console.log(`offline page: ${kib(size('lichtbox-offline.html'))} (goal: under 1024 KiB); served: ` +
              ['lichtbox.html', 'lichtbox.js', 'lichtbox.wasm'].map((f) => `${f} ${kib(size(f))} ` +
                `(${kib(size(f + '.gz'))} compressed)`).join(', '));
} finally {
  server.close();
  await browser.close();
}
