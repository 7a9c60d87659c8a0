// The demo's chart page in headless Chromium, as a trader opens it from disk: nothing is
// fetched, the panel stands where the study's drawings put it (a day's closing panel for a
// day chosen), every pane has its series (the session's readings only inside the regular
// session) and its legend clear of them, the axes abbreviate alike, and the read-out shows
// the values of the bar under the cursor rounded as the panel prints them. A replay given only ES and NQ hides the panes of the other sources. Saves a
// screenshot with the cursor on a bar of the price pane.
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

// Whether a read-out text ("+31", "0.936", "-56.55M") is the written value rounded to the
// places it shows.
const roundsTo = (shown, written) => {
  if (['nan', 'inf', '-inf'].includes(written)) return shown === written;
  const m = /^([+-]?\d+(?:\.(\d+))?)([KMB]?)$/.exec(shown);
  if (!m) return false;
  const unit = { '': 1, K: 1e3, M: 1e6, B: 1e9 }[m[3]];
  const half = 0.5 * 10 ** -(m[2] ? m[2].length : 0) * unit;
  return Math.abs(Number(m[1]) * unit - Number(written)) <= half * (1 + 1e-9);
};

// Every reading of the read-out stands in the panel drawn at its bar, as the panel prints it;
// the panel words two of them without their sign ("stronger by", "above" or "below"), and
// leaves out a reading that is not available, which reads 0.
function assertReadoutInPanel(values, panel, where) {
  const text = panel.join('\n');
  for (const { name, value } of values) {
    const token = ['ES minus NQ %', 'Close minus VWAP'].includes(name) ? value.replace(/^[+-]/, '') : value;
    const escaped = token.replace(/[.+]/g, (c) => '\\' + c);
    const printed = new RegExp(`(^|[^\\d.])${escaped}(?![\\d])`).test(text);
    assert.ok(printed || Number(value) === 0, `${where}: ${name} ${value} as the panel prints it:\n${text}`);
  }
}

// The read-out as it stands: the bar's time and each series row shown.
const readout = (page) => page.evaluate(() => ({
  time: document.querySelector('#readout [data-field="time"]').textContent,
  values: [...document.querySelectorAll('#readout tr[data-series]:not([hidden])')].map((row) => ({
    index: Number(row.dataset.series), name: row.querySelector('th').textContent, value: row.querySelector('td').textContent })),
}));
const panelTexts = (page) => page.evaluate(() =>
  [...document.querySelectorAll('.pane[data-pane="price"] .panel-line')].map((el) => el.textContent));

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
    page = await openChart(path.join(out, 'chart.html'));
    data = await page.evaluate(() => window.kmiPage.data);
  });

  async function openChart(file) {
    const opened = await browser.newPage({ viewport: { width: 1600, height: 1000 } });
    opened.on('pageerror', (error) => pageErrors.push(error.message));
    opened.on('console', (message) => { if (message.type() === 'error') pageErrors.push(message.text()); });
    await opened.route('**/*', (route) => {
      const url = route.request().url();
      if (url.startsWith('file:')) return route.continue();
      outsideRequests.push(url);
      return route.abort();
    });
    await opened.goto(pathToFileURL(file).href);
    const missing = opened.locator('#missing-library');
    if (await missing.count() > 0) assert.fail(`${file} was written without the charting library: ${await missing.textContent()}`);
    await opened.waitForFunction(() => window.kmiPage && window.kmiPage.panes.length > 0);
    return opened;
  }

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

  test('each pane is labelled with its series names and draws their values, the session\'s readings only in it', async () => {
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
    // The readings the study holds at the finished session's value outside the session (09:30
    // to 16:00, the inputs' defaults) have gaps there; the VWAP also before its first volume.
    const sessionOnly = ['TICK Session High', 'TICK Session Low', 'ADD Change Since Open', 'ES % Since Open',
      'NQ % Since Open', 'Cumulative Delta (RTH)', 'VWAP (RTH)'];
    const inSession = (time) => time.slice(11) >= '09:30:00' && time.slice(11) < '16:00:00';
    assert.deepEqual(data.session, { start_second: 34200, end_second: 57600 });
    let heldOutside = 0;
    assert.deepEqual(panes.map((p) => p.key), Object.keys(expected));
    for (const pane of panes) {
      for (const name of expected[pane.key]) {
        assert.ok(pane.label.includes(name), `${pane.key} labelled ${name}`);
        const column = pane.columns[pane.labels.indexOf(name) - 1];
        const written = series.rows.map((row) => row[series.header.indexOf(name)]);
        assert.equal(column.length, written.length, `${name}: one value per bar`);
        column.forEach((value, i) => {
          const time = series.rows[i][0];
          const outside = sessionOnly.includes(name) && !inSession(time);
          if (outside && Number(written[i]) !== 0) heldOutside++;
          const gap = outside || (name === 'VWAP (RTH)' && Number(written[i]) === 0);
          assert.equal(value, gap ? null : Number(written[i]), `${name} at ${time}`);
        });
        const visible = column.slice(Math.ceil(pane.min), Math.floor(pane.max) + 1).filter((v) => v !== null);
        assert.ok(visible.length > 0 && new Set(visible).size > 1, `${name} shows changing values`);
      }
    }
    assert.ok(heldOutside > 0, 'the demo has bars outside the session where the study holds a session\'s value');
    assert.match(panes[1].label, /TICK Upper Threshold \+1000/);
    assert.match(panes[1].label, /TICK Lower Threshold -1000/);
  });

  test('every axis abbreviates by one rule: from ten thousand on in thousands (k), millions (M) or billions (B)', async () => {
    let abbreviated = 0;
    for (const range of ['day', 'all']) {
      await page.click(`#ranges button[data-range="${range}"]`);
      const axes = await page.evaluate(() => window.kmiPage.panes.map((p) => ({
        key: p.key, labels: [...p.plot.axes[1]._values, ...p.plot.axes[2]._values] })));
      for (const { key, labels } of axes) {
        for (const label of labels) {
          assert.match(label, /^-?\d+(\.\d+)?[kMB]?$/, `${range}, ${key}: ${label}`);
          assert.doesNotMatch(label, /^-?\d{5,}/, `${range}, ${key}: ${label} in full beside abbreviated labels`);
          if (/[kMB]$/.test(label)) abbreviated++;
        }
      }
    }
    assert.ok(abbreviated > 0, 'the demo has axes of thousands and millions');
  });

  test('no line of a pane runs through its legend', async () => {
    for (const range of ['day', 'all']) {
      await page.click(`#ranges button[data-range="${range}"]`);
      const crossings = await page.evaluate(() => window.kmiPage.panes.flatMap((pane) => {
        const legend = document.querySelector(`.pane-label[data-pane="${pane.key}"]`).getBoundingClientRect();
        const over = pane.plot.over.getBoundingClientRect();
        const { min, max } = pane.plot.scales.x;
        const found = [];
        pane.plot.series.forEach((s, k) => {
          if (k === 0 || !s.stroke) return;
          for (let i = Math.max(0, Math.ceil(min)); i <= Math.floor(max); i++) {
            const v = pane.plot.data[k][i];
            if (v === null || v === undefined) continue;
            const x = over.left + pane.plot.valToPos(i, 'x');
            const y = over.top + pane.plot.valToPos(v, 'y');
            if (x >= legend.left && x <= legend.right && y >= legend.top && y <= legend.bottom) {
              found.push(`${pane.key}: ${s.label} at bar ${i}`);
              break;
            }
          }
        });
        return found;
      }));
      assert.deepEqual(crossings, [], range);
    }
    await page.click('#ranges button[data-range="day"]');
  });

  test('the last day, shown first, starts at that day\'s first bar and shows none of the day before', async () => {
    const shown = await page.evaluate(() => {
      const { min, max } = window.kmiPage.panes[0].plot.scales.x;
      return { first: Math.floor(min), last: Math.ceil(max) };
    });
    const times = data.times;
    const day = times[times.length - 1].slice(0, 10);
    assert.equal(times[shown.first].slice(0, 10), day);
    assert.notEqual(times[shown.first - 1].slice(0, 10), day);
    assert.equal(shown.last, times.length - 1);
  });

  test('the panes and readings of the sources a replay was not given are hidden, and the page says which', async () => {
    const partial = path.join(out, 'partial');
    const dataFile = (name) => path.join(out, 'data', name);
    // The chart's file without its bid and ask volume: its cumulative delta is not available.
    const chartFile = path.join(out, 'ES-no-bid-ask.csv');
    fs.writeFileSync(chartFile, fs.readFileSync(dataFile('ESZ26.CME.csv'), 'utf8').split('\n')
      .map((line) => line.split(',').slice(0, 6).join(',')).join('\n'));
    execFileSync(program, ['replay', '--chart', chartFile, '--source', `es=${dataFile('ESZ26.CME.csv')}`,
      '--source', `tick=${dataFile('TICK-NYSE.csv')}`, '--source', `front=${dataFile('VXV26-CFE.csv')}`,
      '--from', series.rows[series.rows.length - 1][0].slice(0, 10), '--fast', '--out', partial],
    { cwd: out, stdio: ['ignore', 'ignore', 'pipe'] });
    const shown = await openChart(path.join(partial, 'chart.html'));
    const seen = await shown.evaluate(() => ({
      panes: window.kmiPage.panes.map((p) => p.key),
      note: document.getElementById('hidden-sources')?.textContent,
      noDelta: document.getElementById('no-delta')?.textContent,
      rows: [...document.querySelectorAll('#readout tr[data-series]')].filter((row) => row.offsetParent !== null)
        .map((row) => row.querySelector('th').textContent),
    }));
    await shown.close();
    assert.deepEqual(seen.panes, ['price', 'tick']);
    assert.equal(seen.noDelta, 'Cumulative delta: not available \u2014 the chart\'s bars carry no bid or ask volume');
    assert.equal(seen.note, 'Hidden: ADD, VOLD, up/down ratio, VIX, term structure (no back), ES vs NQ (no NQ) '
      + '\u2014 their sources were not given to this replay');
    assert.deepEqual(seen.rows, [...series.header.slice(1, 7), ...series.header.slice(19)]);
    assert.deepEqual(pageErrors, []);
  });

  test('a day chosen shows its bars, its closing panel and its row of days.csv, rounded as that panel prints them', async () => {
    const days = readCsv(path.join(out, 'days.csv'));
    assert.deepEqual(days.header.slice(1), series.header.slice(1));
    const listed = await page.evaluate(() => [...document.querySelectorAll('#day option')].slice(1).map((o) => o.textContent));
    assert.deepEqual(listed, days.rows.map((row) => row[0]));
    assert.ok(listed.length >= 2, 'the demo replays several days');
    await page.mouse.move(1, 1);  // off the panes: the read-out shows the last bar, then the chosen day's
    const atEnd = await readout(page);
    assert.equal(atEnd.time, series.rows[series.rows.length - 1][0]);
    assert.deepEqual(await panelTexts(page), panelLines);
    assertReadoutInPanel(atEnd.values, panelLines, 'the last bar');
    for (let k = 0; k < days.rows.length; k++) {
      await page.selectOption('#day', String(k));
      const shown = await readout(page);
      const panel = await panelTexts(page);
      const date = days.rows[k][0];
      assert.equal(shown.time.slice(0, 10), date);
      assert.deepEqual(panel, data.days[k].panel.map((d) => d.text), `${date}: its closing panel`);
      assert.notDeepEqual(panel, panelLines, `${date}: not the panel the replay ended with`);
      assert.equal(shown.values.length, 20);
      shown.values.forEach(({ index, value }) =>
        assert.ok(roundsTo(value, days.rows[k][index + 1]), `${date} ${days.header[index + 1]}: ${value}`));
      assertReadoutInPanel(shown.values, panel, date);
    }
    const k = 1;
    await page.selectOption('#day', String(k));
    const shown = await readout(page);
    const range = await page.evaluate(() => [window.kmiPage.panes[0].plot.scales.x.min, window.kmiPage.panes[0].plot.scales.x.max]);
    const date = days.rows[k][0];
    const dayBars = series.rows.map((row, i) => [row[0].slice(0, 10), i]).filter(([d]) => d === date).map(([, i]) => i);
    const [first, last] = [dayBars[0], dayBars[dayBars.length - 1]];
    assert.ok(Math.abs(range[0] - (first - 0.5)) <= 0.5 && Math.abs(range[1] - (last + 0.5)) <= 0.5,
      `the panes show that day, bars ${first} to ${last}: ${range}`);
    const later = series.rows.filter((row) => row[0].slice(0, 10) === date && row[0] > shown.time);
    assert.ok(later.length > 0, 'the day has bars after its session, which the row does not take');
    await page.click('#ranges button[data-range="day"]');
    assert.deepEqual(await panelTexts(page), panelLines, 'a range button brings back the panel the replay ended with');
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
      const shown = await readout(page);
      shown.bar = await page.evaluate(() =>
        ['open', 'high', 'low', 'close'].map((f) => document.querySelector(`#readout tr[data-field="${f}"] td`).textContent));
      const row = series.rows[index];
      assert.equal(shown.time, row[0], `${paneKey}: the hovered bar's time`);
      assert.equal(shown.values.length, 20);
      shown.values.forEach(({ name, value }, k) => {
        assert.equal(name, series.header[k + 1]);
        assert.ok(roundsTo(value, row[k + 1]), `${name}: shown ${value}, written ${row[k + 1]}`);
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
