// The demo's chart page in headless Chromium, as a trader opens it from disk: nothing is
// fetched, the panel stands where the study's drawings put it, every pane has its series,
// and the read-out shows the values of the bar under the cursor. Saves a screenshot
// with the cursor on a bar of the price pane.
//
// KMI_HOST: the kmi-host program (default build/debug/bin/kmi-host).
// KMI_PAGE_TEST_OUT: where the screenshot goes (default build/page-test).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const program = process.env.KMI_HOST || path.join(root, 'build', 'debug', 'bin', 'kmi-host');
const artifacts = process.env.KMI_PAGE_TEST_OUT || path.join(root, 'build', 'page-test');

function readCsv(file) {
  const [header, ...rows] = fs.readFileSync(file, 'utf8').trim().split('\n').map((line) => line.split(','));
  return { header, rows };
}

// A host colour 0x00BBGGRR as the browser reports a CSS colour.
function rgbOf(colour) {
  return `rgb(${colour & 0xff}, ${(colour >>> 8) & 0xff}, ${(colour >>> 16) & 0xff})`;
}

const sameNumber = (shown, written) => {
  if (['nan', 'inf', '-inf'].includes(written)) return shown === written;
  return shown !== '' && Number(shown) === Number(written);
};

describe('the demo chart page in Chromium', () => {
  let out;
  let browser;
  let page;
  let series;
  let panelLines;
  let data;
  const outsideRequests = [];
  const pageErrors = [];

  before(async () => {
    out = fs.mkdtempSync(path.join(os.tmpdir(), 'kmi-page-'));
    execFileSync(program, ['demo', '--out', out], { cwd: out, stdio: ['ignore', 'ignore', 'pipe'] });
    series = readCsv(path.join(out, 'series.csv'));
    panelLines = fs.readFileSync(path.join(out, 'panel.txt'), 'utf8').split('\n').slice(0, -1);
    browser = await chromium.launch({
      executablePath: '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run'],
    });
    page = await browser.newPage({ viewport: { width: 1600, height: 1000 } });
    page.on('pageerror', (error) => pageErrors.push(error.message));
    page.on('console', (message) => { if (message.type() === 'error') pageErrors.push(message.text()); });
    await page.route('**/*', (route) => {
      const url = route.request().url();
      if (url.startsWith('file:')) return route.continue();
      outsideRequests.push(url);
      return route.abort();
    });
    await page.goto(pathToFileURL(path.join(out, 'chart.html')).href);
    await page.waitForFunction(() => window.kmiPage && window.kmiPage.panes.length > 0);
    data = await page.evaluate(() => window.kmiPage.data);
  });

  after(async () => {
    if (browser) await browser.close();
    if (out) fs.rmSync(out, { recursive: true, force: true });
  });

  test('the page is whole in itself: no request leaves the file, nothing points elsewhere, no script error', async () => {
    assert.deepEqual(outsideRequests, []);
    assert.deepEqual(pageErrors, []);
    const references = await page.evaluate(() =>
      [...document.querySelectorAll('[src], [href], link')].map((el) => el.outerHTML.slice(0, 120)));
    assert.deepEqual(references, []);
    assert.equal(await page.locator('#missing-library').count(), 0);
  });

  test('the panel lines stand in the top-right corner in the order, colours and font of the drawings, right-aligned', async () => {
    // The page's drawings are the panel the replay ended with.
    assert.deepEqual(data.drawings.map((d) => d.text), panelLines);
    const drawings = [...data.drawings].sort((a, b) => a.line_number - b.line_number);
    const plot = await page.locator('.pane[data-pane="price"] .u-over').boundingBox();
    const lines = await page.evaluate(() => [...document.querySelectorAll('.pane[data-pane="price"] .panel-line')].map((el) => {
      const r = el.getBoundingClientRect();
      const s = getComputedStyle(el);
      return { text: el.textContent, lineNumber: Number(el.dataset.lineNumber), left: r.left, right: r.right, top: r.top,
        width: r.width, color: s.color, background: s.backgroundColor, fontFamily: s.fontFamily, fontSize: s.fontSize };
    }));
    assert.equal(Math.round(plot.height), data.region_height_px, 'the price pane is the chart region the study measured');
    assert.equal(lines.length, drawings.length);
    assert.ok(lines.length >= 5, 'a title and at least four readings');
    const topDown = [...lines].sort((a, b) => a.top - b.top);
    assert.deepEqual(topDown.map((l) => l.lineNumber), drawings.map((d) => d.line_number), 'first drawing at the top');
    assert.ok(topDown[0].top - plot.y < plot.height * 0.05, 'the title line at the top of the price pane');
    drawings.forEach((d, i) => {
      const line = topDown[i];
      assert.equal(line.text, d.text);
      assert.equal(d.text_alignment, 2);
      assert.ok(d.horizontal_days >= 75, 'the study asks for the right edge');
      assert.ok(Math.abs(line.right - (plot.x + plot.width)) <= 1, `line ${i} ends at the right edge of the price pane`);
      assert.ok(line.left + line.width / 2 > plot.x + plot.width / 2, `line ${i} in the right half`);
      const expectedTop = plot.y + plot.height * (100 - d.vertical_position) / 100;
      assert.ok(Math.abs(line.top - expectedTop) <= 1, `line ${i} at ${d.vertical_position} % of the pane from its bottom`);
      assert.equal(line.color, rgbOf(d.text_color), `line ${i} text colour`);
      assert.equal(line.background, rgbOf(d.background_color), `line ${i} background`);
      assert.match(line.fontFamily, /monospace/);
      assert.equal(line.fontSize, `${(d.font_size * 4) / 3}px`, `line ${i} at the font size in points`);
    });
    // The study pads its lines to one length: monospaced, they are one width, so the block
    // is flush on both sides.
    const widths = lines.map((l) => l.width);
    assert.ok(Math.max(...widths) - Math.min(...widths) < 0.5, `equal widths: ${widths}`);
  });

  test('no candle lies under the panel, the last one included, whatever the range shown', async () => {
    for (const range of ['day', 'recent', 'all']) {
      await page.click(`#ranges button[data-range="${range}"]`);
      const found = await page.evaluate(() => {
        const pane = window.kmiPage.panes[0];
        const d = window.kmiPage.data;
        const over = pane.plot.over.getBoundingClientRect();
        const panel = [...pane.plot.over.querySelectorAll('.panel-line')].map((el) => el.getBoundingClientRect());
        const { min, max } = pane.plot.scales.x;
        const half = (over.width / (max - min)) * 0.35;
        const covered = [];
        let lastChecked = false;
        for (let i = Math.max(0, Math.ceil(min)); i <= Math.min(d.times.length - 1, Math.floor(max)); i++) {
          const x = over.left + pane.plot.valToPos(i, 'x');
          const top = over.top + pane.plot.valToPos(d.high[i], 'y');
          const bottom = over.top + pane.plot.valToPos(d.low[i], 'y');
          for (const r of panel) {
            if (x + half < r.left || x - half > r.right) continue;
            if (i === d.times.length - 1) lastChecked = true;
            if (bottom >= r.top && top <= r.bottom) covered.push(`${d.times[i]} under "${r.top}"`);
          }
        }
        return { covered, lastChecked, lines: panel.length };
      });
      assert.ok(found.lines >= 5, 'the panel is drawn');
      assert.ok(found.lastChecked, `${range}: the last candle stands in the panel's columns`);
      assert.deepEqual(found.covered, [], `${range}: candles under the panel`);
    }
    await page.click('#ranges button[data-range="day"]');
  });

  test('each pane is labelled with its series names and draws their values', async () => {
    const expected = {
      price: ['VWAP (RTH)'],
      tick: ['TICK', 'TICK Session High', 'TICK Session Low'],
      add: ['ADD', 'ADD Change Since Open'],
      vold: ['VOLD'],
      vix: ['VIX'],
      vixchange: ['VIX Change %'],
      esnq: ['ES % Since Open', 'NQ % Since Open'],
      delta: ['Cumulative Delta (RTH)'],
    };
    const panes = await page.evaluate(() => window.kmiPage.panes.map((p) => ({
      key: p.key,
      label: document.querySelector(`.pane-label[data-pane="${p.key}"]`).textContent,
      labels: p.plot.series.map((s) => s.label),
      columns: p.plot.data.slice(1),
      min: p.plot.scales.x.min,
      max: p.plot.scales.x.max,
    })));
    assert.deepEqual(panes.map((p) => p.key), Object.keys(expected));
    for (const pane of panes) {
      for (const name of expected[pane.key]) {
        assert.ok(pane.label.includes(name), `${pane.key} labelled ${name}`);
        const column = pane.columns[pane.labels.indexOf(name) - 1];
        const written = series.rows.map((row) => row[series.header.indexOf(name)]);
        assert.equal(column.length, written.length, `${name}: one value per bar`);
        column.forEach((value, i) => {
          if (value === null) assert.ok(name === 'VWAP (RTH)' && Number(written[i]) === 0, `${name} bar ${i} has no gap`);
          else assert.equal(value, Number(written[i]), `${name} bar ${i}`);
        });
        const visible = column.slice(Math.ceil(pane.min), Math.floor(pane.max) + 1).filter((v) => v !== null);
        assert.ok(visible.length > 0 && new Set(visible).size > 1, `${name} shows changing values`);
      }
    }
    assert.match(panes[1].label, /TICK Upper Threshold \+1000/);
    assert.match(panes[1].label, /TICK Lower Threshold -1000/);
  });

  test('the day selector lists the days of days.csv, and a day chosen shows its bars and its row', async () => {
    const days = readCsv(path.join(out, 'days.csv'));
    assert.deepEqual(days.header.slice(1), series.header.slice(1));
    const listed = await page.evaluate(() => [...document.querySelectorAll('#day option')].slice(1).map((o) => o.textContent));
    assert.deepEqual(listed, days.rows.map((row) => row[0]));
    assert.ok(listed.length >= 2, 'the demo replays several days');
    await page.mouse.move(1, 1);  // off the panes: the read-out shows the chosen day
    const k = 1;
    await page.selectOption('#day', String(k));
    const shown = await page.evaluate(() => ({
      time: document.querySelector('#readout [data-field="time"]').textContent,
      values: [...document.querySelectorAll('#readout tr[data-series] td')].map((td) => td.textContent),
      range: [window.kmiPage.panes[0].plot.scales.x.min, window.kmiPage.panes[0].plot.scales.x.max],
    }));
    const date = days.rows[k][0];
    assert.equal(shown.time.slice(0, 10), date);
    shown.values.forEach((value, i) => assert.ok(sameNumber(value, days.rows[k][i + 1]), `${days.header[i + 1]}: ${value}`));
    const dayBars = series.rows.map((row, i) => [row[0].slice(0, 10), i]).filter(([d]) => d === date).map(([, i]) => i);
    const [first, last] = [dayBars[0], dayBars[dayBars.length - 1]];
    assert.ok(Math.abs(shown.range[0] - (first - 0.5)) <= 0.5 && Math.abs(shown.range[1] - (last + 0.5)) <= 0.5,
      `the panes show that day, bars ${first} to ${last}: ${shown.range}`);
    const later = series.rows.filter((row) => row[0].slice(0, 10) === date && row[0] > shown.time);
    assert.ok(later.length > 0, 'the day has bars after its session, which the row does not take');
  });

  test('the read-out shows the values of the hovered bar', async () => {
    const bars = readCsv(path.join(out, 'data', 'ESZ26.CME.csv'));
    const hover = async (paneKey, fraction) => {
      await page.locator(`.pane[data-pane="${paneKey}"]`).scrollIntoViewIfNeeded();
      const target = await page.evaluate(([key, f]) => {
        const pane = window.kmiPage.panes.find((p) => p.key === key);
        const { min, max } = pane.plot.scales.x;
        const index = Math.round(min + f * (max - min));
        const rect = pane.plot.over.getBoundingClientRect();
        return { index, x: rect.left + pane.plot.valToPos(index, 'x'), y: rect.top + rect.height * 0.85 };
      }, [paneKey, fraction]);
      await page.mouse.move(target.x, target.y);
      return target.index;
    };
    for (const [paneKey, fraction] of [['price', 0.4], ['delta', 0.7]]) {
      const index = await hover(paneKey, fraction);
      const shown = await page.evaluate(() => ({
        time: document.querySelector('#readout [data-field="time"]').textContent,
        bar: ['open', 'high', 'low', 'close'].map((f) => document.querySelector(`#readout tr[data-field="${f}"] td`).textContent),
        values: [...document.querySelectorAll('#readout tr[data-series]')].map((row) => ({
          name: row.querySelector('th').textContent, value: row.querySelector('td').textContent })),
      }));
      const row = series.rows[index];
      assert.equal(shown.time, row[0], `${paneKey}: the hovered bar's time`);
      assert.equal(shown.values.length, 20);
      shown.values.forEach(({ name, value }, k) => {
        assert.equal(name, series.header[k + 1]);
        assert.ok(sameNumber(value, row[k + 1]), `${name}: shown ${value}, written ${row[k + 1]}`);
      });
      const chartBar = bars.rows.find((r) => r[0] === row[0]);
      shown.bar.forEach((value, k) => assert.equal(Number(value), Number(chartBar[k + 1]), `${paneKey}: bar field ${k}`));
      if (paneKey === 'price') {
        fs.mkdirSync(artifacts, { recursive: true });
        const screenshot = path.join(artifacts, 'chart.png');
        await page.screenshot({ path: screenshot, fullPage: true });
        assert.ok(fs.statSync(screenshot).size > 10000);
      }
    }
  });
});
