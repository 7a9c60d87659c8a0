// The chart page served live in headless Chromium: kmi-host follows a chart file and a TICK
// file as they grow and serves the page (replay --follow --serve); rows appended to the files
// reach the open page without a reload (more candles, the view following them, the panel
// redrawn) and the server's panel.txt and series.csv; the page asks nothing of any other
// origin. Ctrl-C ends kmi-host cleanly, its --out page without the live stream.
//
// KMI_HOST: the kmi-host program (default build/debug/bin/kmi-host).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { once } from 'node:events';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const program = process.env.KMI_HOST || path.join(root, 'build', 'debug', 'bin', 'kmi-host');

// The rows of a bar file: its header and its bars.
function rowsOf(file) {
  const [header, ...bars] = fs.readFileSync(file, 'utf8').trim().split('\n');
  return { header, bars };
}

describe('the chart page served live while kmi-host follows its files', () => {
  let work;
  let host;
  let url;
  let browser;
  let page;
  let es;
  let tick;
  const pageErrors = [];
  const otherRequests = [];
  let stderr = '';

  // Writes the files with the bars up to `until` (a time, "YYYY-MM-DD HH:MM:SS").
  const writeUntil = (name, rows, until, append) => {
    const shown = rows.bars.filter((line) => line.slice(0, 19) <= until && (!append || line.slice(0, 19) > append));
    const text = shown.map((line) => line + '\n').join('');
    if (append) fs.appendFileSync(path.join(work, name), text);
    else fs.writeFileSync(path.join(work, name), rows.header + '\n' + text);
    return shown.length;
  };

  before(async () => {
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'kmi-live-'));
    execFileSync(program, ['synth', '--out', path.join(work, 'synth'), '--days', '1'], { stdio: 'ignore' });
    es = rowsOf(path.join(work, 'synth', 'ESZ26.CME.csv'));
    tick = rowsOf(path.join(work, 'synth', 'TICK-NYSE.csv'));
    writeUntil('ES.csv', es, '2026-10-14 10:30:00');
    writeUntil('TICK.csv', tick, '2026-10-14 10:30:00');
    host = spawn(program, ['replay', '--chart', 'ES.csv', '--source', 'es=ES.csv', '--source', 'tick=TICK.csv',
      '--follow', '--fast', '--no-color', '--serve', '127.0.0.1:0', '--out', 'out'], { cwd: work });
    host.stderr.on('data', (chunk) => { stderr += chunk; });
    let stdout = '';
    url = await new Promise((resolve, reject) => {
      host.stdout.on('data', (chunk) => {
        stdout += chunk;
        const found = /http:\/\/127\.0\.0\.1:\d+\//.exec(stdout);
        if (found) resolve(found[0]);
      });
      host.on('exit', (code) => reject(new Error(`kmi-host ended (${code}) before serving: ${stderr}`)));
    });
    browser = await chromium.launch({
      executablePath: '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run'],
    });
    page = await browser.newPage({ viewport: { width: 1400, height: 1000 } });
    page.on('pageerror', (error) => pageErrors.push(error.message));
    page.on('console', (message) => { if (message.type() === 'error') pageErrors.push(message.text()); });
    page.on('request', (request) => { if (!request.url().startsWith(url)) otherRequests.push(request.url()); });
    await page.goto(url);
    await page.waitForFunction(() => window.kmiPage && window.kmiPage.panes.length > 0
      && document.getElementById('live')?.textContent === 'live');
  });

  after(async () => {
    if (browser) await browser.close();
    if (host && host.exitCode === null) host.kill('SIGKILL');
    if (work) fs.rmSync(work, { recursive: true, force: true });
  });

  const fetchText = async (name) => (await fetch(url + name)).text();
  const shownPanel = () => page.evaluate(() =>
    [...document.querySelectorAll('.pane[data-pane="price"] .panel-line')].map((el) => el.textContent));
  const shown = () => page.evaluate(() => {
    const { data, panes } = window.kmiPage;
    return { bars: data.times.length, last: data.times[data.times.length - 1], columns: panes[0].plot.data[0].length,
      max: panes[0].plot.scales.x.max, marker: window.beforeAppending };
  });

  test('rows appended to the files reach the open page, the view following them, and the server\'s files', async () => {
    const before = await shown();
    const panelBefore = await fetchText('panel.txt');
    assert.deepEqual(await shownPanel(), panelBefore.split('\n').slice(0, -1), 'the page draws the panel of panel.txt');
    assert.ok(before.max >= before.bars - 1, 'the page opens on the latest bars');
    await page.evaluate(() => { window.beforeAppending = 'still this page'; });

    const added = writeUntil('ES.csv', es, '2026-10-14 11:15:00', '2026-10-14 10:30:00');
    writeUntil('TICK.csv', tick, '2026-10-14 11:15:00', '2026-10-14 10:30:00');
    await page.waitForFunction((bars) => window.kmiPage.data.times.length >= bars, before.bars + added);
    const after = await shown();
    assert.equal(after.marker, 'still this page', 'no reload');
    assert.equal(after.bars, before.bars + added);
    assert.equal(after.last, '2026-10-14 11:15:00');
    assert.equal(after.columns, after.bars, 'the candles take the new bars');
    assert.ok(after.max >= after.bars - 1, 'the view follows the new bars');

    const panelAfter = await fetchText('panel.txt');
    assert.notEqual(panelAfter, panelBefore, 'the panel changed with the new bars');
    await page.waitForFunction((lines) => {
      const drawn = [...document.querySelectorAll('.pane[data-pane="price"] .panel-line')].map((el) => el.textContent);
      return JSON.stringify(drawn) === JSON.stringify(lines);
    }, panelAfter.split('\n').slice(0, -1));
    const series = (await fetchText('series.csv')).trim().split('\n');
    assert.equal(series.length, after.bars + 1, 'series.csv: a header and a row per bar so far');
    assert.equal(series[series.length - 1].split(',')[0], after.last);
    assert.deepEqual(pageErrors, []);
    assert.deepEqual(otherRequests, [], 'the page asks nothing of any other origin');
  });

  test('Ctrl-C ends kmi-host cleanly; the page it writes to --out does not follow anything', async () => {
    host.kill('SIGINT');
    const [code] = await once(host, 'exit');
    assert.equal(code, 0, stderr);
    const written = fs.readFileSync(path.join(work, 'out', 'chart.html'), 'utf8');
    const block = /<script type="application\/json" id="kmi-data">(.*?)<\/script>/s.exec(written)[1];
    assert.equal('live' in JSON.parse(block), false);
    await page.waitForFunction(() => document.getElementById('live').textContent === 'not connected');
  });
});
