// The chart page: draws the data block "kmi-data" that kmi-host wrote (the chart's bars,
// the study's 20 output series, its text drawings, the alerts that fired) with the uPlot
// charting library; chart-alerts.js, which comes before this file, shows the alerts.
// kmi-host embeds this file in chart.html; it must never contain a closing script tag.
// A page that kmi-host serves live (replay --serve) has "live" in its data: it follows the
// server's stream of changes and draws each one as it comes; opened from disk, it fetches
// nothing.
(function () {
  'use strict';

  const data = JSON.parse(document.getElementById('kmi-data').textContent);
  const chartsEl = document.getElementById('charts');
  const readoutEl = document.getElementById('readout');
  let n = data.times.length;

  const UP = '#26a69a';
  const DOWN = '#ef5350';
  const MUTED = '#8a8f9c';
  const GRID = '#232733';
  const AXIS_FONT = '11px "DejaVu Sans", "Liberation Sans", Arial, sans-serif';
  const Y_AXIS_SIZE = 70;
  const X_AXIS_SIZE = 42;
  const PANE_HEIGHT = 120;

  const finite = (v) => typeof v === 'number' && isFinite(v);

  // A host colour 0x00BBGGRR as CSS "#rrggbb"; null when its high byte is set (no colour).
  function cssColour(c) {
    if (!finite(c) || c < 0 || c > 0xffffff) return null;
    const hex = (v) => v.toString(16).padStart(2, '0');
    return '#' + hex(c & 255) + hex((c >> 8) & 255) + hex((c >> 16) & 255);
  }

  // "YYYY-MM-DD HH:MM:SS[.ffffff]": the chart's wall-clock time, counted as if it were UTC
  // so that the axis shows the chart's own clock.
  function secondsOf(text) {
    const m = /^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})(\.\d+)?$/.exec(text);
    if (!m) return NaN;
    return Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +m[6]) / 1000 + (m[7] ? +m[7] : 0);
  }

  // A number as the study's panel prints it (C's printf, "%.Nf" or "%+.Nf"): the exact value
  // rounded to `decimals` places, a value exactly halfway to the even neighbour (toFixed
  // rounds it away from zero).
  function printed(v, decimals, signed) {
    if (Math.abs(v) >= 1e21) return String(v);
    const negative = v < 0 || Object.is(v, -0);
    const exact = Math.abs(v).toFixed(100);
    const cut = exact.indexOf('.') + 1 + decimals;
    let text = Math.abs(v).toFixed(decimals);
    if (/^50*$/.test(exact.slice(cut)) && Number(exact[decimals > 0 ? cut - 1 : cut - 2]) % 2 === 0) {
      text = exact.slice(0, decimals > 0 ? cut : cut - 1);
    }
    return (negative ? '-' : signed ? '+' : '') + text;
  }

  // VOLD and the cumulative delta as the panel abbreviates them: K from ten thousand, M, B.
  function abbreviated(v) {
    const a = Math.abs(v);
    if (a >= 1e9) return printed(v / 1e9, 2, true) + 'B';
    if (a >= 1e6) return printed(v / 1e6, 2, true) + 'M';
    if (a >= 10000) return printed(v / 1000, 2, true) + 'K';
    return printed(v, 0, true);
  }

  const decimalsOf = (format) => (Number.isInteger(format) && format >= 0 && format <= 10 ? format : 2);
  let priceDecimals = decimalsOf(data.price_format);

  // Each series in the read-out as the panel prints its reading: the same decimals, a sign
  // where the panel shows one (and on the two differences it words as above or below,
  // stronger by), VOLD and the delta abbreviated, prices in the chart's price format.
  const SERIES_FORMATS = [
    { decimals: 0, signed: true }, { decimals: 0, signed: true }, { decimals: 0, signed: true },  // TICK, high, low
    { decimals: 0 }, { decimals: 0 }, { decimals: 0, signed: true },  // bars at the thresholds, average
    { decimals: 0, signed: true }, { decimals: 0, signed: true }, { decimals: 0, signed: true },  // ADD, change, slope
    { abbreviated: true }, { decimals: 2 },  // VOLD, up/down ratio
    { decimals: 2 }, { decimals: 1, signed: true }, { decimals: 3 },  // VIX, its change %, front/back
    { decimals: 2, signed: true }, { decimals: 2, signed: true }, { decimals: 2, signed: true },  // ES, NQ, ES minus NQ
    { abbreviated: true }, { decimals: priceDecimals }, { decimals: priceDecimals, signed: true },  // delta, VWAP, close - VWAP
  ];
  function setPriceDecimals(format) {
    priceDecimals = decimalsOf(format);
    SERIES_FORMATS[18].decimals = priceDecimals;
    SERIES_FORMATS[19].decimals = priceDecimals;
  }

  function valueText(v, format) {
    if (!finite(v)) return typeof v === 'string' ? v : '';
    if (!format) return String(v);
    return format.abbreviated ? abbreviated(v) : printed(v, format.decimals, !!format.signed);
  }

  // Axis labels: the step's decimals; one rule for every axis: from ten thousand on, the
  // axis counts in thousands (k), millions (M) or billions (B), by its largest label.
  function axisValues(u, splits) {
    const shown = splits.filter(finite);
    const big = shown.reduce((m, v) => Math.max(m, Math.abs(v)), 0);
    let div = 1;
    let suffix = '';
    if (big >= 1e9) { div = 1e9; suffix = 'B'; } else if (big >= 1e6) { div = 1e6; suffix = 'M'; } else if (big >= 1e4) { div = 1e3; suffix = 'k'; }
    const step = shown.length > 1 ? Math.abs(shown[1] - shown[0]) / div : 1;
    const stepText = String(+step.toPrecision(6));
    const decimals = stepText.includes('.') && !stepText.includes('e') ? Math.min(6, stepText.split('.')[1].length) : 0;
    // Zero reads "0" whatever the scale ("0M" or "0.0k" would read as a rounded value).
    return splits.map((v) => (!finite(v) ? '' : v === 0 ? '0' : (v / div).toFixed(decimals) + suffix));
  }

  // Time axis: labels at whole minutes, hours or days of the chart's clock, at least 60 px
  // apart; the first label of each day also names the day. The x scale runs over bar
  // indices (uPlot's ordinal mode), so nights and weekends take no room.
  const LABEL_STEPS = [60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 14400, 86400, 172800, 604800];
  const WEEKDAYS = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'];

  function xSplits(u, axisIndex, min, max) {
    const i0 = Math.max(0, Math.ceil(min));
    const i1 = Math.min(n - 1, Math.floor(max));
    if (i1 < i0) return [];
    const pxPerBar = Math.max(1, u.width - 2 * Y_AXIS_SIZE) / Math.max(1, max - min);
    const barSeconds = data.bar_seconds > 0 ? data.bar_seconds : 60;
    const wanted = (80 / pxPerBar) * barSeconds;
    const step = LABEL_STEPS.find((s) => s >= wanted) || LABEL_STEPS[LABEL_STEPS.length - 1];
    const splits = [];
    let lastPx = -Infinity;
    for (let i = i0; i <= i1; i++) {
      if (i > 0 && Math.floor(xs[i] / step) === Math.floor(xs[i - 1] / step)) continue;
      const px = (i - min) * pxPerBar;
      if (px - lastPx < 60) continue;
      splits.push(i);
      lastPx = px;
    }
    return splits;
  }

  function xValues(u, splits) {
    let previousDay = null;
    return splits.map((t) => {
      if (!finite(t)) return '';
      const date = new Date(t * 1000);
      const iso = date.toISOString();
      const day = iso.slice(0, 10);
      const label = day !== previousDay ? iso.slice(11, 16) + '\n' + WEEKDAYS[date.getUTCDay()] + ' ' + day.slice(5) : iso.slice(11, 16);
      previousDay = day;
      return label;
    });
  }

  // The second of the chart's wall-clock day a bar starts at, as the study takes it: the time
  // in whole milliseconds (rounded half up), the remainder of a day in whole seconds.
  function secondOfDay(text) {
    const m = /(\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,6}))?$/.exec(text);
    if (!m) return NaN;
    const micros = m[4] ? Number(m[4].padEnd(6, '0')) : 0;
    const ms = ((+m[1] * 60 + +m[2]) * 60 + +m[3]) * 1000 + Math.floor((micros + 500) / 1000);
    return Math.floor((ms % 86400000) / 1000);
  }

  // Whether each bar starts inside the regular session (the window of inputs 8 and 9, start
  // inclusive, end exclusive, in seconds of the chart's day; the bars' times are its wall
  // clock, so the test holds across clock changes). Data without the window: every bar.
  function sessionFlags(times) {
    const session = data.session;
    if (!session) return times.map(() => true);
    return times.map((text) => {
      const second = secondOfDay(text);
      return second >= session.start_second && second < session.end_second;
    });
  }

  const heightOf = (px) => (px >= 50 ? px : 400);
  const xs = data.times.map(secondsOf);
  const inSession = sessionFlags(data.times);
  const seriesOf = (i) => data.series[i];
  const dashed = [5, 4];

  // The panes under the candles, each with the output series it shows. A series takes its
  // declared colour unless an earlier series of the pane already has that colour; then it
  // takes its `other` colour.
  const paneSpecs = [
    { key: 'price', candles: true, lines: [{ series: 18, other: '#f5a623', width: 2, zeroIsGap: true }],
      xAxis: true },
    { key: 'tick', lines: [{ series: 0, other: '#4fc3f7' }, { series: 1, other: UP, dash: dashed },
      { series: 2, other: DOWN, dash: dashed }], thresholds: true },
    { key: 'add', lines: [{ series: 6, other: '#4fc3f7' }, { series: 7, other: '#f5a623' }] },
    { key: 'vold', lines: [{ series: 9, other: '#4fc3f7' }] },
    { key: 'vix', lines: [{ series: 11, other: '#4fc3f7' }] },
    { key: 'vixchange', lines: [{ series: 12, other: '#f5a623' }] },
    { key: 'esnq', lines: [{ series: 14, other: '#4fc3f7' }, { series: 15, other: '#e05cb5' }] },
    { key: 'delta', lines: [{ series: 17, other: '#4fc3f7' }], xAxis: true },
  ];
  const shownColour = {};  // series index -> the colour it is drawn in

  // The series the study holds at the finished session's value outside the regular session (the
  // TICK's session statistics, the changes since the open, the ADD's slope, the chart's delta,
  // VWAP and close minus VWAP): drawn only for bars inside the session, with gaps outside it.
  const SESSION_ONLY = new Set([1, 2, 3, 4, 5, 7, 8, 14, 15, 16, 17, 18, 19]);

  // The readings of each source and the slots they need. A reading whose source (or one of
  // whose two sources) the replay was not given reads 0 throughout: its lines, its pane when
  // none is left and its rows of the read-out are hidden, and the page says so.
  const SOURCE_GROUPS = [
    { name: 'TICK', slots: ['tick'], series: [0, 1, 2, 3, 4, 5] },
    { name: 'ADD', slots: ['add'], series: [6, 7, 8] },
    { name: 'VOLD', slots: ['vold'], series: [9] },
    { name: 'up/down ratio', slots: ['updown'], series: [10] },
    { name: 'VIX', slots: ['vix'], series: [11, 12] },
    { name: 'term structure', slots: ['front', 'back'], series: [13] },
    { name: 'ES vs NQ', slots: ['es', 'nq'], series: [14, 15, 16] },
  ];
  const SLOT_NAMES = { front: 'front', back: 'back', es: 'ES', nq: 'NQ' };
  const hiddenSeries = new Set();
  const hiddenGroups = [];
  const CHART_DELTA = 17;

  // What the panes show, worked out from the data once they have bars (a live page may open
  // before the study's first call).
  function prepare() {
    paneSpecs[0].plotHeight = heightOf(data.region_height_px);
    setPriceDecimals(data.price_format);
    const slotsOff = new Set(data.slots_off || []);
    for (const group of SOURCE_GROUPS) {
      const off = group.slots.filter((slot) => slotsOff.has(slot));
      if (off.length === 0) continue;
      group.series.forEach((k) => hiddenSeries.add(k));
      hiddenGroups.push(off.length < group.slots.length ? group.name + ' (no ' + off.map((s) => SLOT_NAMES[s]).join(', ') + ')' : group.name);
    }
    // The chart's cumulative delta needs its bid and ask volume: without them it is no flat 0.
    if (data.no_bid_ask_volume) hiddenSeries.add(CHART_DELTA);
    for (const spec of paneSpecs) {
      spec.lines = spec.lines.filter((line) => seriesOf(line.series) && !hiddenSeries.has(line.series));
      const used = new Set();
      for (const line of spec.lines) {
        const declared = cssColour(seriesOf(line.series).colour);
        line.colour = declared && !used.has(declared) ? declared : line.other;
        used.add(line.colour);
        shownColour[line.series] = line.colour;
      }
      spec.extra = [];
      if (spec.thresholds) {
        const t = data.tick_thresholds || {};
        if (finite(t.upper)) spec.extra.push({ label: 'TICK Upper Threshold', value: t.upper, colour: '#a5a9b4' });
        if (finite(t.lower)) spec.extra.push({ label: 'TICK Lower Threshold', value: t.lower, colour: '#a5a9b4' });
      }
    }
  }

  function drawCandles(u) {
    const ctx = u.ctx;
    const { left, top, width, height } = u.bbox;
    const min = u.scales.x.min;
    const max = u.scales.x.max;
    if (!finite(min) || !finite(max)) return;
    const i0 = Math.max(0, Math.floor(min));
    const i1 = Math.min(n - 1, Math.ceil(max));
    const barPx = width / Math.max(1, max - min);
    const body = Math.max(1, Math.round(barPx * 0.7));
    const wick = Math.max(1, Math.round(window.devicePixelRatio || 1));
    ctx.save();
    ctx.beginPath();
    ctx.rect(left, top, width, height);
    ctx.clip();
    for (const rising of [true, false]) {
      ctx.fillStyle = rising ? UP : DOWN;
      for (let i = i0; i <= i1; i++) {
        const o = data.open[i];
        const h = data.high[i];
        const l = data.low[i];
        const c = data.close[i];
        if (!finite(o) || !finite(h) || !finite(l) || !finite(c) || (c >= o) !== rising) continue;
        const x = Math.round(u.valToPos(i, 'x', true));
        const yh = Math.round(u.valToPos(h, 'y', true));
        const yl = Math.round(u.valToPos(l, 'y', true));
        const yo = Math.round(u.valToPos(o, 'y', true));
        const yc = Math.round(u.valToPos(c, 'y', true));
        ctx.fillRect(x - Math.floor(wick / 2), yh, wick, Math.max(1, yl - yh));
        const yt = Math.min(yo, yc);
        ctx.fillRect(x - Math.floor(body / 2), yt, body, Math.max(1, Math.max(yo, yc) - yt));
      }
    }
    ctx.restore();
  }

  // --- Zoom: every pane shows the same bars ----------------------------------------------
  const panes = [];
  let syncing = false;

  function syncRange(u, key) {
    if (key !== 'x' || syncing) return;
    syncing = true;
    const { min, max } = u.scales.x;
    for (const pane of panes) {
      if (pane.plot !== u && (pane.plot.scales.x.min !== min || pane.plot.scales.x.max !== max)) {
        pane.plot.setScale('x', { min, max });
      }
    }
    syncing = false;
  }

  function setRange(first, last) {
    const i0 = Math.max(0, Math.min(first, n - 1));
    const i1 = Math.max(i0, Math.min(last, n - 1));
    // The x scale is of bar indices, which uPlot rounds to whole bars: half a bar before the
    // first would show the bar before it.
    if (panes.length > 0) panes[0].plot.setScale('x', { min: i0, max: i1 });
  }

  function zoomOnWheel(u, event) {
    event.preventDefault();
    const { min, max } = u.scales.x;
    const at = u.posToVal(event.offsetX, 'x');
    const factor = event.deltaY < 0 ? 0.8 : 1.25;
    let lo = at - (at - min) * factor;
    let hi = at + (max - at) * factor;
    if (hi - lo < 10) return;
    lo = Math.max(-0.5, lo);
    hi = Math.min(n - 0.5, hi);
    u.setScale('x', { min: lo, max: hi });
  }

  // --- The alerts that fired: marks, the latest listed, notifications (chart-alerts.js) -------
  const alertView = kmiAlerts({
    data, panes, readout: readoutEl,
    valueText: (k, v) => valueText(v, SERIES_FORMATS[k]),
    goTo: (bar) => { setRange(bar - 30, bar + 30); showBar(bar); },
  });

  // --- The read-out of the bar under the cursor ------------------------------------------
  const readoutCells = {};

  function buildReadout() {
    const title = document.createElement('h2');
    title.textContent = 'Values at the bar under the cursor';
    const when = document.createElement('div');
    when.className = 'when';
    when.dataset.field = 'time';
    readoutCells.time = when;
    const table = document.createElement('table');
    const bar = document.createElement('tbody');
    bar.className = 'bar';
    for (const [field, label] of [['open', 'Open'], ['high', 'High'], ['low', 'Low'], ['close', 'Close'], ['volume', 'Volume']]) {
      const row = bar.insertRow();
      row.dataset.field = field;
      const th = document.createElement('th');
      th.textContent = label;
      row.appendChild(th);
      readoutCells[field] = row.insertCell();
    }
    const values = document.createElement('tbody');
    values.className = 'series';
    readoutCells.series = [];
    data.series.forEach((s, i) => {
      const row = values.insertRow();
      row.dataset.series = String(i);
      row.hidden = hiddenSeries.has(i);
      const th = document.createElement('th');
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = shownColour[i] || cssColour(s.colour) || MUTED;
      th.appendChild(swatch);
      th.appendChild(document.createTextNode(s.name));
      row.appendChild(th);
      readoutCells.series.push(row.insertCell());
    });
    table.appendChild(bar);
    table.appendChild(values);
    readoutEl.append(title, when, table);
  }

  let shownBar = -1;
  function showBar(i) {
    if (i === shownBar || i < 0 || i >= n) return;
    shownBar = i;
    readoutEl.dataset.bar = String(i);
    readoutCells.time.textContent = data.times[i];
    for (const field of ['open', 'high', 'low', 'close']) {
      readoutCells[field].textContent = valueText(data[field][i], { decimals: priceDecimals });
    }
    readoutCells.volume.textContent = valueText(data.volume[i]);
    data.series.forEach((s, k) => { readoutCells.series[k].textContent = valueText(s.values[i], SERIES_FORMATS[k]); });
  }

  // The bar the read-out shows while the cursor is off the panes: the last bar, or the last
  // regular-session bar of the day chosen in the day selector.
  let restingBar = n - 1;

  function onCursor(u) {
    const i = u.cursor.idx;
    showBar(i == null || u.cursor.left < 0 ? restingBar : i);
  }

  // --- The day selector: the session days of days.csv -------------------------------------
  // Choosing a day shows its bars, the panel as it stood at its last regular-session bar
  // (its closing panel) and, in the read-out, the values of that bar, the day's row of
  // days.csv.
  let daySelector = null;

  function buildDaySelector(nav) {
    if ((data.days || []).length === 0 || !nav) return null;
    const select = document.createElement('select');
    select.id = 'day';
    select.title = 'The values of a day at its last regular-session bar, as in days.csv';
    select.add(new Option('Session day', ''));
    listDays(select);
    select.addEventListener('change', () => {
      const day = data.days[Number(select.value)];
      if (select.value === '' || !day) return;
      let first = day.bar;
      let last = day.bar;
      while (first > 0 && data.times[first - 1].slice(0, 10) === day.date) first--;
      while (last < n - 1 && data.times[last + 1].slice(0, 10) === day.date) last++;
      restingBar = day.bar;
      showPanel(day.panel || data.drawings);
      setRange(first, last);
      showBar(day.bar);
    });
    nav.insertBefore(select, nav.querySelector('.hint'));
    return select;
  }

  // The selector's days as the data have them now (on a live page, the days so far); the day
  // chosen stays chosen.
  function listDays(select) {
    const days = data.days || [];
    while (select.options.length > days.length + 1) select.remove(select.options.length - 1);
    days.forEach((day, k) => {
      const option = select.options[k + 1];
      if (!option) select.add(new Option(day.date, String(k)));
      else if (option.textContent !== day.date) option.textContent = day.date;
    });
  }

  // --- The study's drawings on the price pane --------------------------------------------
  function fontFamily(face) {
    const safe = String(face || '').replace(/["\\;{}]/g, '');
    return (safe ? '"' + safe + '", ' : '') + '"DejaVu Sans Mono", "Liberation Mono", "Courier New", monospace';
  }

  // Each text drawing, one line: its top at its vertical position (percent of the region's
  // height from the bottom), at the region's right edge for a horizontal position of 75 days
  // or more (the study sends 149) and at its left edge otherwise (the study sends 2), aligned
  // as requested (0 left, 1 centre, 2 right of that point). The panel the replay ended with,
  // or a day's closing panel; the price scale then makes room for it anew.
  let shownDrawings = data.drawings;

  function showPanel(drawings) {
    if (drawings === shownDrawings || panes.length === 0) return;
    shownDrawings = drawings;
    panes[0].plot.over.querySelector('.panel-layer').replaceWith(panelLayer(drawings));
    fitPriceToPanel();
  }

  function panelLayer(drawings) {
    const layer = document.createElement('div');
    layer.className = 'panel-layer';
    for (const d of drawings) {
      const line = document.createElement('div');
      line.className = 'panel-line';
      line.dataset.lineNumber = String(d.line_number);
      line.textContent = d.text;
      const atRight = d.horizontal_days >= 75;
      const style = line.style;
      style.top = (100 - d.vertical_position) + '%';
      if (d.text_alignment === 2) {
        style.right = atRight ? '0' : '100%';
      } else {
        style.left = atRight ? '100%' : '0';
        if (d.text_alignment === 1) style.transform = 'translateX(-50%)';
      }
      style.textAlign = d.text_alignment === 2 ? 'right' : d.text_alignment === 1 ? 'center' : 'left';
      style.fontFamily = fontFamily(d.font_face);
      // The font size in points; each line's box is 1.9 times the size in pixels high, the
      // pitch the study steps its lines by, so a stack of lines is one block.
      const size = d.font_size > 0 ? d.font_size : 9;
      style.fontSize = size + 'pt';
      style.lineHeight = (size * 1.9) + 'px';
      style.color = cssColour(d.text_color) || '#d1d4dc';
      style.background = cssColour(d.background_color) || 'transparent';
      layer.appendChild(line);
    }
    return layer;
  }

  // --- Room for the latest bars beside the panel -----------------------------------------
  // The panel stands where its drawings put it, in front of the candles. The price scale
  // leaves room at the panel's corner so that no candle in the panel's columns (the latest
  // bars, for a panel at the right) lies under it.
  // The panel's block as fractions of the price pane (left, right, top, bottom); null before
  // the pane has its size.
  function panelBox(over) {
    const lines = [...over.querySelectorAll('.panel-line')].map((el) => el.getBoundingClientRect());
    const pane = over.getBoundingClientRect();
    if (lines.length === 0 || pane.width <= 0 || pane.height <= 0) return null;
    return {
      left: (Math.min(...lines.map((r) => r.left)) - pane.left) / pane.width,
      right: (Math.max(...lines.map((r) => r.right)) - pane.left) / pane.width,
      top: (Math.min(...lines.map((r) => r.top)) - pane.top) / pane.height,
      bottom: (Math.max(...lines.map((r) => r.bottom)) - pane.top) / pane.height,
    };
  }

  // Ranges the price scale anew for the panel as it now stands, keeping the bars shown.
  function fitPriceToPanel() {
    const plot = panes[0].plot;
    const { min, max } = plot.scales.x;
    plot.setData(plot.data);
    if (finite(min) && finite(max)) plot.setScale('x', { min, max });
  }

  function priceRange(u, dataMin, dataMax) {
    if (!finite(dataMin) || !finite(dataMax)) return [dataMin, dataMax];
    let [lo, hi] = uPlot.rangeNum(dataMin, dataMax, 0.1, true);
    const box = panelBox(u.over);
    const [i0, i1] = u.series[0].idxs || [0, n - 1];
    if (!box || i1 < i0) return [lo, hi];
    const atTop = box.top + box.bottom < 1;
    const gap = 8 / Math.max(1, u.bbox.height / (window.devicePixelRatio || 1));  // 8 px below (or above) it
    const share = atTop ? box.bottom + gap : 1 - box.top + gap;  // of the height the panel takes from its edge
    if (share <= 0 || share >= 0.8) return [lo, hi];  // a panel over most of the pane: the candles as they are
    const span = i1 - i0 + 1;
    for (let i = i0; i <= i1; i++) {
      const x = (i - i0 + 0.5) / span;
      if (x < box.left || x > box.right || !finite(data.high[i]) || !finite(data.low[i])) continue;
      // The bar's high stays below the panel (top corner), its low above it (bottom corner).
      if (atTop) hi = Math.max(hi, (data.high[i] - share * lo) / (1 - share));
      else lo = Math.min(lo, (data.low[i] - share * hi) / (1 - share));
    }
    return [lo, hi];
  }

  // --- The panes ---------------------------------------------------------------------------
  function yAxis(scale, side, grid) {
    return {
      scale, side, size: Y_AXIS_SIZE, stroke: MUTED, font: AXIS_FONT, values: axisValues,
      grid: { show: grid, stroke: GRID, width: 1 }, ticks: { stroke: GRID, width: 1, size: 4 },
    };
  }

  // The pane's columns: the bars' lows and highs (the price pane), its lines, its dashed levels.
  function plotDataOf(spec) {
    const plotData = [xs];
    if (spec.candles) for (const field of ['low', 'high']) plotData.push(data[field].map((v) => (finite(v) ? v : null)));
    for (const line of spec.lines) {
      const sessionOnly = SESSION_ONLY.has(line.series);
      plotData.push(seriesOf(line.series).values.map((v, i) =>
        (finite(v) && !(line.zeroIsGap && v === 0) && (!sessionOnly || inSession[i]) ? v : null)));
    }
    for (const extra of spec.extra) plotData.push(xs.map(() => extra.value));
    return plotData;
  }

  function paneOptions(spec, width) {
    const series = [{}];
    if (spec.candles) {
      // The bars' lows and highs set the price scale; the candles are drawn by drawCandles.
      for (const label of ['Low', 'High']) series.push({ label, scale: 'y', paths: () => null, points: { show: false } });
    }
    for (const line of spec.lines) {
      const s = seriesOf(line.series);
      series.push({ label: s.name, scale: 'y', stroke: line.colour, width: line.width || 1.5,
        dash: line.dash, points: { show: false } });
    }
    for (const extra of spec.extra) {
      series.push({ label: extra.label, scale: 'y', stroke: extra.colour, width: 1, dash: [2, 4], points: { show: false } });
    }
    const plotData = plotDataOf(spec);
    // The plot area takes exactly its height (the chart region's, on the price pane).
    const plotHeight = spec.plotHeight || PANE_HEIGHT;
    const padding = [10, 0, spec.xAxis ? 0 : 4, 0];
    const options = {
      width,
      height: plotHeight + (spec.xAxis ? X_AXIS_SIZE : 0) + padding[0] + padding[2],
      padding,
      legend: { show: false },
      tzDate: (ts) => uPlot.tzDate(new Date(ts * 1000), 'Etc/UTC'),
      scales: { x: { time: true, distr: 2 }, y: spec.candles ? { auto: true, range: priceRange } : { auto: true } },
      cursor: { sync: { key: 'kmi' }, drag: { x: true, y: false, setScale: true }, y: false, points: { show: false } },
      axes: [
        { show: true, size: spec.xAxis ? X_AXIS_SIZE : 0, stroke: MUTED, font: AXIS_FONT, splits: xSplits,
          grid: { stroke: GRID, width: 1 }, ticks: { show: !!spec.xAxis, stroke: GRID, width: 1, size: 4 },
          values: spec.xAxis ? xValues : (u, splits) => splits.map(() => '') },
        yAxis('y', 3, false),
        yAxis('y', 1, true),
      ],
      series,
      hooks: {
        drawAxes: spec.candles ? [drawCandles] : [],
        setScale: [syncRange],
        setCursor: [onCursor],
        draw: [(u) => alertView.place(u)],
      },
    };
    return { options, plotData };
  }

  // The pane's legend, a line of its own above the plot area (no line of the pane runs
  // through it), its first name over the plot's left edge.
  function paneLabel(spec, pane) {
    const label = document.createElement('div');
    label.className = 'pane-label';
    label.dataset.pane = spec.key;
    const add = (text, colour, dash) => {
      const item = document.createElement('span');
      item.className = 'name';
      if (colour) {
        const swatch = document.createElement('span');
        swatch.className = dash ? 'swatch dashed' : 'swatch';
        if (dash) swatch.style.borderColor = colour; else swatch.style.background = colour;
        item.appendChild(swatch);
      }
      item.appendChild(document.createTextNode(text));
      label.appendChild(item);
    };
    if (spec.candles) add(data.symbol || 'chart', null, false);
    for (const line of spec.lines) add(seriesOf(line.series).name, line.colour, !!line.dash);
    for (const extra of spec.extra) add(extra.label + ' ' + (extra.value > 0 ? '+' : '') + extra.value, extra.colour, true);
    label.style.paddingLeft = (Y_AXIS_SIZE + 2) + 'px';
    pane.appendChild(label);
  }

  function chartWidth() {
    return Math.max(320, chartsEl.clientWidth - 4);
  }

  let built = false;

  function build() {
    if (typeof uPlot === 'undefined') return;
    if (n === 0) {
      chartsEl.textContent = data.live ? 'Waiting for the replay\u2019s first bars\u2026' : 'The chart has no bars.';
      return;
    }
    built = true;
    chartsEl.textContent = '';
    restingBar = n - 1;
    prepare();
    buildReadout();
    if (hiddenGroups.length > 0) {
      const note = document.createElement('p');
      note.id = 'hidden-sources';
      note.textContent = 'Hidden: ' + hiddenGroups.join(', ') + ' \u2014 their sources were not given to this replay';
      chartsEl.appendChild(note);
    }
    if (data.no_bid_ask_volume) {
      const note = document.createElement('p');
      note.id = 'no-delta';
      note.textContent = 'Cumulative delta: not available \u2014 the chart\'s bars carry no bid or ask volume';
      chartsEl.appendChild(note);
    }
    const width = chartWidth();
    for (const spec of paneSpecs.filter((p) => p.candles || p.lines.length > 0)) {
      const el = document.createElement('div');
      el.className = 'pane';
      el.dataset.pane = spec.key;
      chartsEl.appendChild(el);
      paneLabel(spec, el);
      const { options, plotData } = paneOptions(spec, width);
      const plot = new uPlot(options, plotData, el);
      plot.over.addEventListener('wheel', (event) => zoomOnWheel(plot, event), { passive: false });
      if (spec.candles) plot.over.appendChild(panelLayer(data.drawings));
      panes.push({ key: spec.key, plot, spec, series: spec.lines.map((line) => line.series) });
    }
    alertView.show(false);
    const recent = () => setRange(n - Math.max(60, Math.floor(panes[0].plot.over.clientWidth / 8)), n - 1);
    const lastDay = () => {
      const day = data.times[n - 1].slice(0, 10);
      let first = n - 1;
      while (first > 0 && data.times[first - 1].slice(0, 10) === day) first--;
      setRange(first, n - 1);
    };
    const ranges = { recent, day: lastDay, all: () => setRange(0, n - 1) };
    daySelector = buildDaySelector(document.getElementById('ranges'));
    for (const button of document.querySelectorAll('#ranges button')) {
      button.addEventListener('click', () => {
        restingBar = n - 1;
        if (daySelector) daySelector.value = '';
        showPanel(data.drawings);
        ranges[button.dataset.range]();
        showBar(n - 1);
      });
    }
    lastDay();
    showBar(n - 1);
    // The panel's size is known once the page is laid out.
    requestAnimationFrame(fitPriceToPanel);
    let resizing = 0;
    window.addEventListener('resize', () => {
      clearTimeout(resizing);
      resizing = setTimeout(() => {
        const w = chartWidth();
        for (const pane of panes) pane.plot.setSize({ width: w, height: pane.plot.height });
        fitPriceToPanel();
      }, 100);
    });
  }

  // --- Live: the server's changes, drawn as they come --------------------------------------
  function splice(values, from, added) {
    values.length = from;
    for (const v of added) values.push(v);
  }

  // The heading as kmi-host writes it: symbol, bar length, first and last bar.
  function showHeading() {
    let text = data.symbol || 'chart';
    if (data.bar_seconds > 0) {
      text += data.bar_seconds % 60 === 0 ? '  ' + data.bar_seconds / 60 + '-minute bars' : '  ' + data.bar_seconds + '-second bars';
    }
    if (n > 0) text += '  ' + data.times[0] + ' to ' + data.times[n - 1];
    document.getElementById('heading').textContent = text;
    document.querySelector('header h1').textContent = data.study_name;
    document.title = (data.study_name || 'Study') + '  ' + text;
  }

  // The panes take the new bars. A view that reaches the last bar follows the new ones (as many
  // bars wide as it was); any other keeps the bars it shows. A day chosen stays chosen.
  function redraw(oldN) {
    const { min, max } = panes[0].plot.scales.x;
    let lo = min;
    let hi = max;
    if (!finite(min) || !finite(max) || max >= oldN - 1) {
      hi = n - 0.5;
      lo = Math.max(-0.5, hi - (finite(min) && finite(max) ? max - min : 60));
    }
    syncing = true;
    for (const pane of panes) pane.plot.setData(plotDataOf(pane.spec), false);
    for (const pane of panes) pane.plot.setScale('x', { min: lo, max: hi });
    syncing = false;
    if (daySelector) listDays(daySelector);
    else daySelector = buildDaySelector(document.getElementById('ranges'));
    if (!daySelector || daySelector.value === '') {
      restingBar = n - 1;
      showPanel(data.drawings);
    }
    shownBar = -1;
    onCursor(panes[0].plot);
  }

  // A change from the server: the bars from `from_bar` on, everything else whole.
  function applyChange(change) {
    const page = change.page;
    const oldN = n;
    const from = Math.max(0, Math.min(change.from_bar, n));
    for (const field of ['times', 'open', 'high', 'low', 'close', 'volume']) splice(data[field], from, page[field]);
    page.series.forEach((s, k) => {
      if (!data.series[k]) data.series[k] = { index: k, name: s.name, colour: s.colour, values: [] };
      splice(data.series[k].values, from, s.values);
    });
    const sessionBefore = JSON.stringify(data.session);
    for (const key of ['study_name', 'symbol', 'bar_seconds', 'region_height_px', 'price_format', 'drawings',
      'tick_thresholds', 'days', 'slots_off', 'session', 'alerts', 'alert_rules']) data[key] = page[key];
    splice(xs, from, data.times.slice(from).map(secondsOf));
    if (JSON.stringify(data.session) !== sessionBefore) splice(inSession, 0, sessionFlags(data.times));
    else splice(inSession, from, sessionFlags(data.times.slice(from)));
    n = data.times.length;
    data.live.version = change.version;
    showHeading();
    if (!built) {
      build();
    } else if (n > 0) {
      redraw(oldN);
      alertView.show(true);
    }
  }

  // Follows the server's stream of changes; after a lost connection, connects again (less and
  // less often) and takes what changed since the bars it holds.
  function follow() {
    const status = document.createElement('span');
    status.id = 'live';
    document.querySelector('header').appendChild(status);
    let wait = 1000;
    const connect = () => {
      const source = new EventSource(data.live.events + '?bars=' + n + '&version=' + data.live.version);
      source.addEventListener('open', () => {
        status.textContent = 'live';
        status.className = '';
        status.title = 'Following the replay: each change is drawn as it comes';
        wait = 1000;
      });
      source.addEventListener('page', (event) => applyChange(JSON.parse(event.data)));
      source.addEventListener('error', () => {
        source.close();
        status.textContent = 'not connected';
        status.className = 'lost';
        status.title = 'kmi-host does not answer (the replay ended, or it was stopped); trying again';
        setTimeout(connect, wait);
        wait = Math.min(wait * 2, 10000);
      });
    };
    connect();
  }

  build();
  if (data.live && typeof uPlot !== 'undefined') follow();
  window.kmiPage = { data, panes, setRange, showBar };
})();
