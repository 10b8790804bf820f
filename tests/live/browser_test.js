#!/usr/bin/env node
// The live page in Debian's Chromium, headless, driven by playwright-core as a
// lab uses it while commissioning (run by live_browser_test, BrowserTest.cpp,
// on tests/live/bench.ini):
//   1. the page loads and shows both plates of the bench by name, acquiring;
//   2. a weight the bench puts on the left plate moves its centre of pressure
//      to where the weight stands, twice;
//   3. the settings through the plugin's parameters: a rate the right unit
//      cannot run (the plugin adjusts it, warns, and asks to be re-armed; the
//      page re-arms), the Fz threshold above a small weight (its samples read
//      as zeros) and back, one beyond the setting refused, and genlock
//      (re-armed again);
//   4. Blink and "Zero all plates" reach the plugin (its call to the library
//      shows in the page's log; the test program checks the library's count);
//   5. the right unit pulled out (the bench's Unplug) shows as gone, the left
//      one acquires on (at the 2000 per second it can run alone); plugged in
//      again both acquire again;
//   6. Stop ends the session.
// Screenshots go to OUT-DIR: live-page.png (both plates live, someone on the
// right one) and live-page-unplugged.png, and live-page-failed.png when a
// step fails. The last line says PASS and the timings the test program checks.
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

/// The left plate's centre of pressure (null without one) and Fz as the page
/// shows them, once `accept` takes them; fails with `what` after `timeout` ms.
async function leftReading(what, accept, timeout = 15000) {
  const until = Date.now() + timeout;
  for (;;) {
    const reading = await page.evaluate((selector) => {
      const c = document.querySelector(selector);
      if (!c || c.dataset.fz === undefined || c.dataset.fz === '') return null;
      return { x: c.dataset.copX === '' ? null : Number(c.dataset.copX),
        y: c.dataset.copY === '' ? null : Number(c.dataset.copY), fz: Number(c.dataset.fz) };
    }, card(LEFT));
    if (reading && accept(reading)) return reading;
    if (Date.now() > until) throw new Error(`${what}: not within ${timeout / 1000} s (last ${JSON.stringify(reading)})`);
    await page.waitForTimeout(50);
  }
}

/// `near`: metres the centre of pressure may be off, more for a light weight
/// (the unit's moment offsets over a small Fz).
async function placeWeight(kg, x, y, near = 0.01) {
  const bench = page.locator(`${card(LEFT)} .bench-row`);
  await bench.locator('.kg').fill(String(kg));
  await bench.locator('.x').fill(String(x));
  await bench.locator('.y').fill(String(y));
  const clicked = Date.now();
  await bench.locator('.put').click();
  // Before the zero the unit's offset (3.5 N) and noise are on it.
  const fz = kg * 9.81;
  const cop = await leftReading(`the centre of pressure of ${LEFT} at (${x}, ${y}) m, Fz ${fz.toFixed(1)} N`,
    (r) => r.x !== null && Math.abs(r.x - x) < near && Math.abs(r.y - y) < near && Math.abs(r.fz - fz) < 6);
  step(`${kg} kg at (${x}, ${y}) m: the page shows the centre of pressure at (${cop.x}, ${cop.y}) m, Fz ${cop.fz} N, ` +
       `${Date.now() - clicked} ms after the click`);
  return cop;
}

/// Both plates acquiring at `rate` (any when null) in `mode`, as the header shows it.
async function acquiring(what, rate, mode, timeout = 15000) {
  return until(what, ([left, right, rate, mode]) => {
    const b = document.body.dataset;
    const plates = [left, right].every((s) => document.querySelector(s)?.dataset.status === 'acquiring');
    return plates && b.sharedState === 'acquiring' && (rate === null || b.armedRate === String(rate)) &&
      (mode === null || b.syncMode === mode) ? Number(b.armedRate) : null;
  }, [card(LEFT), card(RIGHT), rate, mode], timeout);
}

/// The log's lines with `text` (those of the plugin's USB-library calls too).
const logLines = (text) => page.evaluate((text) =>
  [...document.querySelectorAll('#log li')].filter((li) => li.textContent.includes(text)).map((li) => ({
    text: li.textContent, warning: li.classList.contains('warning'),
  })), text);

(async () => {
  const browser = await chromium.launch({
    executablePath: process.env.ZORVA_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // Without the background-networking flags the browser's own connections
    // are refused by a closed network and slow it down; a fresh profile each run.
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const timings = {};
  try {
    page = await browser.newPage({ viewport: { width: 1440, height: 1100 }, deviceScaleFactor: 1 });
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
    const firstRate = await acquiring('both plates acquiring', null, 'Software trigger');
    step(`both plates acquiring at ${firstRate} per second`);

    // The centre of pressure follows a weight the bench puts on the plate.
    const first = await placeWeight(40, -0.1, -0.1);
    const second = await placeWeight(40, 0.1, 0.15);
    if (Math.hypot(second.x - first.x, second.y - first.y) < 0.2) throw new Error('the centre of pressure did not move');

    // A rate the right unit cannot run: the plugin takes the nearest that
    // both can, says so at level 2, and asks to be re-armed.
    let clicked = Date.now();
    await page.selectOption('#rate', '2000');
    const adjusted = await until('the plugin adjusting 2000 per second', () => {
      const line = [...document.querySelectorAll('#log li.warning')].find((li) =>
        /Sample rate 2000 adjusted to \d+/.test(li.textContent));
      return line ? Number(/adjusted to (\d+)/.exec(line.textContent)[1]) : null;
    });
    const rearmedAt = await acquiring(`both plates acquiring at ${adjusted} per second`, adjusted, 'Software trigger');
    if ((await logLines(`re-armed: the plugin asked for it (${adjusted} per second)`)).length !== 1)
      throw new Error('no re-arming the plugin asked for in the log');
    step(`Rate 2000: the plugin adjusted it to ${adjusted} (a marked warning) and the page re-armed at ${rearmedAt}, ` +
         `acquiring ${Date.now() - clicked} ms after the choice`);

    // The Fz threshold: 3 kg (about 26 N with the unit's offset) reads as
    // zeros at 40 N, without a centre of pressure, and shows again at 20 N;
    // one beyond the setting's limits is refused.
    await placeWeight(3, 0.1, 0.15, 0.03);
    const rearmings = (await logLines('re-armed')).length;
    clicked = Date.now();
    await page.fill('#threshold', '40');
    await page.click('#apply-threshold');
    await leftReading('the 3 kg blank with the threshold at 40 N', (r) => r.x === null && r.fz === 0);
    step(`Fz threshold 40 N: 3 kg reads 0 N without a centre of pressure, ${Date.now() - clicked} ms after the click`);
    await page.fill('#threshold', '20');
    await page.click('#apply-threshold');
    const back = await leftReading('the 3 kg again with the threshold at 20 N',
      (r) => r.x !== null && Math.abs(r.fz - 3 * 9.81) < 6);
    step(`Fz threshold 20 N: Fz ${back.fz} N again`);
    // The threshold applies from the next block on: no stop, no re-arming.
    if ((await logLines('re-armed')).length !== rearmings) throw new Error('a threshold change made the host re-arm');
    await page.fill('#threshold', '500');
    await page.click('#apply-threshold');
    const refusal = await until('500 N refused', () => {
      const t = document.getElementById('toast');
      return t.classList.contains('failed') && t.textContent.includes('0 to 50 N') ? t.textContent : null;
    });
    step(`Fz threshold 500 N: "${refusal}"`);
    await placeWeight(40, 0.1, 0.15);

    // Genlock: the plugin stops, asks to be re-armed, and acquires in it.
    clicked = Date.now();
    await page.selectOption('#mode', 'Genlock');
    await acquiring('both plates acquiring in genlock', adjusted, 'Genlock');
    step(`Mode Genlock: both plates acquiring again ${Date.now() - clicked} ms after the choice`);

    // The screenshot: both plates live, someone a step or two onto the right
    // one (its trail and the force arrow), the level-2 lines in the log.
    for (let pass = 0; ; pass++) {
      await until(`someone on ${RIGHT}`, (selector) => {
        const c = document.querySelector(selector);
        return c && c.dataset.copX !== '' && Number(c.dataset.fz) > 500;
      }, card(RIGHT));
      await page.waitForTimeout(300);
      const still = await page.evaluate((selector) => {
        const c = document.querySelector(selector);
        return c.dataset.copX !== '' && Number(c.dataset.fz) > 200;
      }, card(RIGHT));
      if (still || pass === 2) break;
      await until(`${RIGHT} unloaded`, (selector) => document.querySelector(selector).dataset.copX === '', card(RIGHT));
    }
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
    await page.uncheck('#show-trace');

    // A unit pulled out: the library sees it at the rescan that follows; the
    // page shows the plate gone once the plugin's detection has it.
    await page.evaluate((selector) => {
      const seen = (window.seen = {});
      new MutationObserver((records) => {
        for (const record of records) {
          for (const node of record.addedNodes) {
            if (!seen.detected && node.textContent.includes('Successful ZORVA device detection loop'))
              seen.detected = performance.now();
          }
        }
      }).observe(document.getElementById('log'), { childList: true });
      const c = document.querySelector(selector);
      new MutationObserver(() => {
        if (!seen.gone && c.dataset.status === 'gone') seen.gone = performance.now();
      }).observe(c, { attributes: true, attributeFilter: ['data-status'] });
      seen.clicked = performance.now();
    }, card(RIGHT));
    await page.locator('.unit[data-unit="Right"] button.unplug').click();
    await until(`${RIGHT} shown as gone`, (selector) => document.querySelector(selector)?.dataset.status === 'gone',
      card(RIGHT), 30000);
    const seen = await page.evaluate(() => window.seen);
    // The plugin knows at the end of its detection; the page must say so within a second.
    if (!seen.detected) throw new Error('the detection after the unplug logged no result before the plate went');
    timings.unplugToDetected = Math.round(seen.detected - seen.clicked);
    timings.detectedToGone = Math.round(seen.gone - seen.detected);
    if (timings.detectedToGone > 1000) throw new Error(`gone ${timings.detectedToGone} ms after the detection's result`);
    step(`Unplug Right: the plugin's detection had it ${timings.unplugToDetected} ms after the click; the page ` +
         `showed ${RIGHT} gone ${timings.detectedToGone} ms after that line came`);
    // The left unit alone can run the 2000 asked for: the plugin tells it so at the re-arming.
    await until(`${LEFT} acquiring on at 2000 per second`, (selector) =>
      document.querySelector(selector)?.dataset.status === 'acquiring' && document.body.dataset.unitRate === '2000',
    card(LEFT));
    step(`${LEFT} acquiring on, its unit at 2000 per second`);
    await page.waitForTimeout(1500); // the left plate's chart goes on
    await page.screenshot({ path: path.join(outDir, 'live-page-unplugged.png') });
    step('screenshot live-page-unplugged.png');

    // Plugged in again: found at the rescan, the same plate device acquires again.
    clicked = Date.now();
    await page.locator('.unit[data-unit="Right"] button.plug').click();
    await acquiring('both plates acquiring after the plug', null, 'Genlock', 20000);
    await until('the units at 1200 per second again', (rate) => document.body.dataset.unitRate === rate, String(adjusted));
    step(`Plug in Right: both plates acquiring again, at ${adjusted} per second, ${Date.now() - clicked} ms after the click`);

    // Stop, twice as the page asks.
    await page.click('#stop');
    await page.click('#stop');
    await until('the session ended', () => document.body.classList.contains('ended'), null, 30000);
    step('Stop: the session ended');

    if (problems.length) throw new Error(`the page reported: ${problems.join('; ')}`);
    console.log(`PASS in ${seconds()} s; rate ${adjusted}; unplug to detected ${timings.unplugToDetected} ms; ` +
                `detected to gone ${timings.detectedToGone} ms`);
  } catch (error) {
    console.log(`FAIL: ${error.message}`);
    if (page) await page.screenshot({ path: path.join(outDir, 'live-page-failed.png') }).catch(() => {});
    process.exitCode = 1;
  } finally {
    await browser.close();
  }
})();
