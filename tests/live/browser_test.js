#!/usr/bin/env node
// The live page in Debian's Chromium, headless, driven by playwright-core as a
// lab uses it while commissioning (run by live_browser_test, BrowserTest.cpp,
// on tests/live/bench.ini):
//   1. the page loads and shows both plates of the bench by name, acquiring;
//   2. a weight the bench puts on the left plate moves its centre of pressure
//      to where the weight stands, twice;
//   3. Blink and "Zero all plates" reach the plugin (its call to the library
//      shows in the page's log; the test program checks the library's count);
//   4. the right unit pulled out (the bench's Unplug) shows as gone;
//   5. Stop ends the session.
// Screenshots go to OUT-DIR: live-page.png (both plates live) and
// live-page-unplugged.png, and live-page-failed.png when a step fails.
//
//   NODE_PATH=devhost/live/page/node_modules browser_test.js URL OUT-DIR
'use strict';

const path = require('path');
const { chromium } = require('playwright-core');

const [url, outDir] = process.argv.slice(2);
const LEFT = 'ZA100-4471PEN600-10482';
const RIGHT = 'ZA300-5208GOR900-20931';
const started = Date.now();
const seconds = () => ((Date.now() - started) / 1000).toFixed(1);
let page = null;

function step(text) {
  console.log(`[${seconds()} s] ${text}`);
}

/// Polls `probe` in the page until it returns something truthy; fails with `what` after `timeout` ms.
async function until(what, probe, arg, timeout = 15000) {
  try {
    const handle = await page.waitForFunction(probe, arg, { timeout, polling: 50 });
    return await handle.jsonValue();
  } catch (error) {
    throw new Error(`${what}: not within ${timeout / 1000} s`);
  }
}

const card = (name) => `.plate[data-plate="${name}"]`;

async function placeWeight(kg, x, y) {
  const bench = page.locator(`${card(LEFT)} .bench-row`);
  await bench.locator('.kg').fill(String(kg));
  await bench.locator('.x').fill(String(x));
  await bench.locator('.y').fill(String(y));
  const clicked = Date.now();
  await bench.locator('.put').click();
  const cop = await until(
    `the centre of pressure of ${LEFT} at (${x}, ${y}) m`,
    ([selector, x, y]) => {
      const c = document.querySelector(selector);
      if (!c || c.dataset.copX === '' || c.dataset.copX === undefined) return null;
      const cx = Number(c.dataset.copX);
      const cy = Number(c.dataset.copY);
      return Math.abs(cx - x) < 0.01 && Math.abs(cy - y) < 0.01 ? [cx, cy, Number(c.dataset.fz)] : null;
    },
    [card(LEFT), x, y],
  );
  step(`${kg} kg at (${x}, ${y}) m: the page shows the centre of pressure at (${cop[0]}, ${cop[1]}) m, Fz ${cop[2]} N, ` +
       `${Date.now() - clicked} ms after the click`);
  return cop;
}

(async () => {
  const browser = await chromium.launch({
    executablePath: process.env.ZORVA_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // Without the background-networking flags the browser's own connections
    // are refused by a closed network and slow it down; a fresh profile each run.
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  try {
    page = await browser.newPage({ viewport: { width: 1440, height: 1000 }, deviceScaleFactor: 1 });
    const problems = [];
    page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
    page.on('console', (message) => {
      if (message.type() === 'error') problems.push(`console: ${message.text()}`);
    });

    await page.goto(url);
    step(`loaded ${url}`);
    const names = await until('both plates by name', ([left, right]) => {
      const shown = [...document.querySelectorAll('.plate h2.name')].map((h) => h.textContent);
      return shown.includes(left) && shown.includes(right) ? shown : null;
    }, [LEFT, RIGHT]);
    step(`plates shown: ${names.join(', ')}`);
    await until('both plates acquiring', (selectors) =>
      selectors.every((s) => document.querySelector(s)?.dataset.status === 'acquiring'), [card(LEFT), card(RIGHT)]);
    step('both plates acquiring');

    // The centre of pressure follows a weight the bench puts on the plate.
    const first = await placeWeight(40, -0.1, -0.1);
    const second = await placeWeight(40, 0.1, 0.15);
    if (Math.hypot(second[0] - first[0], second[1] - first[1]) < 0.2) throw new Error('the centre of pressure did not move');
    await page.waitForTimeout(1200); // the trail and the chart fill in
    await page.screenshot({ path: path.join(outDir, 'live-page.png') });
    step('screenshot live-page.png');

    // Blink and zero: the plugin calls the library (its trace lines in the page's log).
    await page.check('#show-trace');
    await page.locator(`${card(LEFT)} .blink`).click();
    await until('the blink in the log', () =>
      [...document.querySelectorAll('#log li')].some((li) => li.textContent.includes('::fmSetBlink()')));
    step('Blink: the plugin called ::fmSetBlink()');
    await page.click('#zero');
    await until('the zero in the log', () =>
      [...document.querySelectorAll('#log li')].some((li) => li.textContent.includes('::fmBroadcastZero()')));
    step('Zero all plates: the plugin called ::fmBroadcastZero()');

    // A unit pulled out: gone once the rescan that follows ran.
    const clicked = Date.now();
    await page.locator('.unit[data-unit="Right"] button.unplug').click();
    await until(`${RIGHT} shown as gone`, (selector) => document.querySelector(selector)?.dataset.status === 'gone',
      card(RIGHT), 30000);
    const detected = await page.evaluate(() =>
      [...document.querySelectorAll('#log li')].filter((li) => li.textContent.includes('detection finished')).length);
    step(`Unplug Right: ${RIGHT} shown as gone ${Date.now() - clicked} ms after the click (detections in the log: ${detected})`);
    await page.uncheck('#show-trace');
    await page.waitForTimeout(300);
    await page.screenshot({ path: path.join(outDir, 'live-page-unplugged.png') });
    step('screenshot live-page-unplugged.png');

    // Stop, twice as the page asks.
    await page.click('#stop');
    await page.click('#stop');
    await until('the session ended', () => document.body.classList.contains('ended'), null, 30000);
    step('Stop: the session ended');

    if (problems.length) throw new Error(`the page reported: ${problems.join('; ')}`);
    console.log(`PASS in ${seconds()} s`);
  } catch (error) {
    console.log(`FAIL: ${error.message}`);
    if (page) await page.screenshot({ path: path.join(outDir, 'live-page-failed.png') }).catch(() => {});
    process.exitCode = 1;
  } finally {
    await browser.close();
  }
})();
