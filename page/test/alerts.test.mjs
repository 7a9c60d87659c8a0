// The alerts on the chart page in headless Chromium: a replay's page given alerts in its data
// marks each on the pane of its series (at the series' value; a series no pane draws at the
// top of the price pane; the forming bar's hollow) and lists the latest, newest first; a page
// without alerts shows none of it. Served live, a change with a new alert raises a notice in
// the page and, with notifications allowed, the browser's Notification, once: the same bar's
// closing alert does not notify again, and nothing asks for permission unasked.
//
// KMI_HOST: the kmi-host program (default build/debug/bin/kmi-host).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { once } from 'node:events';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const program = process.env.KMI_HOST || path.join(root, 'build', 'debug', 'bin', 'kmi-host');
const BLOCK = /(<script type="application\/json" id="kmi-data">)(.*?)(<\/script>)/s;

describe('the alerts on the chart page', () => {
  let work;
  let html;
  let data;
  let alerts;
  let browser;

  // The page with other data in its block.
  const pageWith = (changed) => html.replace(BLOCK, (all, open, block, close) =>
    open + JSON.stringify(changed).replace(/</g, '\\u003c') + close);
  const alertAt = (bar, rule, series, forming = false) => ({ bar, time: data.times[bar], rule, series,
    value: data.series[data.series.findIndex((s) => s.name === series)].values[bar], forming });

  before(async () => {
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'kmi-alerts-'));
    const file = (name) => path.join(work, 'data', name);
    execFileSync(program, ['synth', '--out', path.join(work, 'data'), '--days', '2'], { stdio: 'ignore' });
    execFileSync(program, ['replay', '--chart', file('ESZ26.CME.csv'), '--source', `es=${file('ESZ26.CME.csv')}`,
      '--source', `tick=${file('TICK-NYSE.csv')}`, '--from', '2026-10-14', '--fast', '--out', path.join(work, 'out')],
    { stdio: 'ignore' });
    html = fs.readFileSync(path.join(work, 'out', 'chart.html'), 'utf8');
    data = JSON.parse(BLOCK.exec(html)[2]);
    const spikes = data.series[0].values.flatMap((v, bar) => (v >= 1000 ? [bar] : []));
    assert.ok(spikes.length >= 10, 'the sample TICK spikes beyond +1000');
    alerts = [...spikes.map((bar) => alertAt(bar, 'TICK >= 1000', 'TICK')),
      alertAt(data.times.length - 1, 'Close minus VWAP < 0', 'Close minus VWAP', true)];
    browser = await chromium.launch({
      executablePath: '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run'],
    });
  });

  after(async () => {
    if (browser) await browser.close();
    if (work) fs.rmSync(work, { recursive: true, force: true });
  });

  async function open(context, url) {
    const page = await context.newPage();
    await page.setViewportSize({ width: 1400, height: 1000 });
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(url);
    await page.waitForFunction(() => window.kmiPage && window.kmiPage.panes.length > 0);
    return { page, errors };
  }

  // Each mark: its pane, bar, rule, and how far (px) its middle is from its bar and its tip from
  // the series' value (its top from the plot's top for a series no pane draws).
  const marks = (page) => page.evaluate(() => [...document.querySelectorAll('.alert-mark')].map((el) => {
    const pane = el.closest('.pane').dataset.pane;
    const plot = window.kmiPage.panes.find((p) => p.key === pane).plot;
    const over = plot.over.getBoundingClientRect();
    const box = el.getBoundingClientRect();
    const atValue = el.dataset.value !== '';
    return { pane, bar: Number(el.dataset.bar), rule: el.title.split(': ')[0], forming: el.classList.contains('forming'),
      dx: Math.abs((box.left + box.right) / 2 - over.left - plot.valToPos(Number(el.dataset.bar), 'x')),
      dy: Math.abs(atValue ? box.bottom - over.top - plot.valToPos(Number(el.dataset.value), 'y') : box.top - over.top) };
  }));

  test('each alert is marked at its bar on the pane of its series and the latest are listed; none without alerts', async () => {
    const files = { with: path.join(work, 'with.html'), without: path.join(work, 'out', 'chart.html') };
    fs.writeFileSync(files.with, pageWith({ ...data, alerts }));
    const { page, errors } = await open(browser, pathToFileURL(files.with).href);
    await page.click('#ranges button[data-range="all"]');
    const shown = await marks(page);
    assert.deepEqual(shown.map((m) => [m.bar, m.rule, m.forming, m.pane]).sort(),
      alerts.map((a) => [a.bar, a.rule, a.forming, a.series === 'TICK' ? 'tick' : 'price']).sort());
    for (const m of shown) assert.ok(m.dx <= 1 && m.dy <= 1, `bar ${m.bar}: ${m.dx} px off its bar, ${m.dy} px off its value`);
    const listed = await page.evaluate(() => [...document.querySelectorAll('#alerts li')].map((li) => li.textContent));
    assert.equal(listed.length, 8);
    assert.match(listed[0], /Close minus VWAP < 0 \(forming\)/, 'newest first');
    assert.ok(listed[1].startsWith(alerts[alerts.length - 2].time.slice(0, 16) + ' TICK >= 1000 +'), listed[1]);
    assert.equal(await page.locator('#notify-me, .toast').count(), 0, 'from disk: nothing to notify');

    const plain = await open(browser, pathToFileURL(files.without).href);
    assert.equal(await plain.page.locator('#alerts, .alert-layer').count(), 0);
    assert.deepEqual([...errors, ...plain.errors], []);
  });

  test('served live with rules watched, the notifications are offered before the first alert', async () => {
    const watching = { ...data, alert_rules: ['TICK >= 1000'], live: { events: '/events', version: 0 } };
    delete watching.alerts;
    const server = http.createServer((request, response) => {
      if (!request.url.startsWith('/events')) return response.end(pageWith(watching));
      response.writeHead(200, { 'Content-Type': 'text/event-stream' });
      response.write(': open\n\n');
    });
    server.listen(0, '127.0.0.1');
    await once(server, 'listening');
    try {
      const { page, errors } = await open(browser, `http://127.0.0.1:${server.address().port}/`);
      await page.waitForSelector('#notify-me');
      assert.equal(await page.locator('#alerts li, .alert-mark').count(), 0);
      assert.deepEqual(errors, []);
    } finally {
      server.closeAllConnections();
      server.close();
    }
  });

  test('served live, a new alert notifies once, in the page and through the browser when allowed', async () => {
    const streams = [];
    const live = { ...data, alerts: alerts.slice(0, -1), live: { events: '/events', version: 0 } };
    const server = http.createServer((request, response) => {
      if (!request.url.startsWith('/events')) return response.end(pageWith(live));
      response.writeHead(200, { 'Content-Type': 'text/event-stream' });
      response.write(': open\n\n');
      streams.push(response);
    });
    server.listen(0, '127.0.0.1');
    await once(server, 'listening');
    const origin = `http://127.0.0.1:${server.address().port}`;
    // The last bar rewritten, with every alert so far.
    let version = 0;
    const send = (changedAlerts) => {
      const from = data.times.length - 1;
      const page = { ...data, alerts: changedAlerts, series: data.series.map((s) => ({ ...s, values: s.values.slice(from) })) };
      for (const field of ['times', 'open', 'high', 'low', 'close', 'volume']) page[field] = data[field].slice(from);
      const change = JSON.stringify({ version: ++version, from_bar: from, page });
      for (const stream of streams) stream.write(`event: page\ndata: ${change}\n\n`);
    };
    const context = await browser.newContext({ permissions: ['notifications'] });
    await context.addInitScript(() => {
      const Browser = window.Notification;
      window.notified = [];
      window.permissionAsked = 0;
      window.Notification = class {
        constructor(title, options) { window.notified.push({ title, body: options.body }); }
        static get permission() { return Browser.permission; }
        static requestPermission() { window.permissionAsked++; return Browser.requestPermission(); }
      };
    });
    try {
      const { page, errors } = await open(context, origin + '/');
      await page.waitForFunction(() => document.getElementById('live')?.textContent === 'live');
      assert.equal(await page.locator('#notify-me').textContent(), 'notifying', 'allowed by the browser');

      const forming = alertAt(data.times.length - 1, 'TICK <= -1000', 'TICK', true);
      send([...live.alerts, forming]);
      await page.waitForSelector('.toast');
      send([...live.alerts, { ...forming, forming: false }]);
      await page.waitForFunction((v) => window.kmiPage.data.live.version === v, version);
      const seen = await page.evaluate(() => ({ toasts: [...document.querySelectorAll('.toast')].map((el) => el.textContent),
        notified: window.notified, asked: window.permissionAsked, hollow: document.querySelectorAll('.alert-mark.forming').length }));
      assert.equal(seen.toasts.length, 1, 'the closing alert of the same bar and rule does not notify again');
      assert.match(seen.toasts[0], /^TICK <= -1000 TICK -?\d+ at .*, on the forming bar$/);
      assert.deepEqual(seen.notified.map((n) => n.title), ['TICK <= -1000']);
      assert.match(seen.notified[0].body, /forming bar/);
      assert.equal(seen.asked, 0, 'no permission asked without a click');
      assert.equal(seen.hollow, 0, 'the closed alert replaced the forming one');
      assert.deepEqual(errors, []);
    } finally {
      await context.close();
      for (const stream of streams) stream.end();
      server.close();
    }
  });
});
