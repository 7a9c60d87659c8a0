// Writes docs/panel.png: the study's panel as the chart page draws it after the demo.
// Usage (from page/): node panel-picture.mjs KMI_HOST_PROGRAM OUTPUT.png
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const [program, output] = process.argv.slice(2).map((p) => path.resolve(p));
const out = fs.mkdtempSync(path.join(os.tmpdir(), 'kmi-panel-'));
execFileSync(program, ['demo', '--out', out], { cwd: out, stdio: 'ignore' });
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run'],
});
try {
  const page = await browser.newPage({ viewport: { width: 1600, height: 1000 }, deviceScaleFactor: 2 });
  await page.route('**/*', (route) => (route.request().url().startsWith('file:') ? route.continue() : route.abort()));
  await page.goto(pathToFileURL(path.join(out, 'chart.html')).href);
  await page.waitForFunction(() => window.kmiPage && window.kmiPage.panes.length > 0);
  await page.locator('.panel-layer').first().screenshot({ path: output });
} finally {
  await browser.close();
  fs.rmSync(out, { recursive: true, force: true });
}
