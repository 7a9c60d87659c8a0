// The chart page's alerts: the alert rules that fired (the data's "alerts", in bar order, the
// forming bar's early alert marked "forming"), each marked at its bar on the pane of its
// series, the latest listed under the read-out. On a live page an alert not seen before shows
// a notification in the page, and the browser's own when the trader allowed it. A page without
// alerts shows none of this. kmi-host puts this file before chart-page.js in chart.html; it
// must never contain a closing script tag.
//
// page: { data, panes, readout (the read-out's element), valueText(seriesIndex, value),
//         goTo(bar) }; each pane { plot, series: the indices of the series it draws }.
function kmiAlerts(page) {
  'use strict';

  const LATEST = 8;            // alerts listed
  const ONE_BY_ONE = 3;        // more new alerts at once are told as one notification
  const TOAST_SECONDS = 12;
  const seen = new Set();      // the alerts notified or shown on opening, by bar time and rule
  const keyOf = (a) => a.time + '\n' + a.rule;
  let section = null;

  const alertsNow = () => page.data.alerts || [];
  const seriesIndex = (name) => page.data.series.findIndex((s) => s.name === name);

  function valueOf(a) {
    const k = seriesIndex(a.series);
    return k < 0 ? String(a.value) : page.valueText(k, a.value);
  }

  function describe(a) {
    return a.series + ' ' + valueOf(a) + ' at ' + a.time + (a.forming ? ', on the forming bar' : '');
  }

  // The pane that draws the alert's series; a series no pane draws is marked at the top of
  // the price pane.
  function placeOf(a) {
    const k = seriesIndex(a.series);
    const pane = page.panes.find((p) => p.series.includes(k));
    return pane ? { pane, atValue: true } : { pane: page.panes[0], atValue: false };
  }

  // --- Marks on the panes --------------------------------------------------------------------
  function markPanes(alerts) {
    for (const pane of page.panes) {
      const old = pane.plot.over.querySelector('.alert-layer');
      if (old) old.remove();
    }
    const layers = new Map();
    for (const a of alerts) {
      const { pane, atValue } = placeOf(a);
      if (!pane) continue;
      if (!layers.has(pane)) {
        const layer = document.createElement('div');
        layer.className = 'alert-layer';
        pane.plot.over.appendChild(layer);
        layers.set(pane, layer);
      }
      const mark = document.createElement('span');
      mark.className = 'alert-mark' + (a.forming ? ' forming' : '') + (atValue ? '' : ' at-top');
      mark.textContent = a.forming ? '\u25BD' : '\u25BC';
      mark.title = a.rule + ': ' + describe(a);
      mark.dataset.bar = String(a.bar);
      mark.dataset.value = atValue ? String(a.value) : '';
      layers.get(pane).appendChild(mark);
    }
    for (const pane of layers.keys()) place(pane.plot);
  }

  // Each mark of the pane at its bar, its tip on the series' value (or at the plot's top),
  // hidden while its bar is out of view. Runs after every draw of the pane.
  function place(u) {
    const layer = u.over.querySelector('.alert-layer');
    if (!layer) return;
    const { min, max } = u.scales.x;
    const height = u.over.clientHeight;
    for (const mark of layer.children) {
      const bar = Number(mark.dataset.bar);
      const value = mark.dataset.value === '' ? NaN : Number(mark.dataset.value);
      mark.hidden = !(bar >= min && bar <= max);
      if (mark.hidden) continue;
      const y = isFinite(value) ? u.valToPos(value, 'y') : 0;
      mark.style.left = u.valToPos(bar, 'x') + 'px';
      mark.style.top = Math.max(0, Math.min(height, y)) + 'px';
    }
  }

  // --- The list of the latest alerts ---------------------------------------------------------
  function notifyControl() {
    const button = document.createElement('button');
    button.id = 'notify-me';
    const update = () => {
      const permission = Notification.permission;
      button.textContent = permission === 'granted' ? 'notifying' : permission === 'denied' ? 'notifications blocked' : 'notify me';
      button.disabled = permission !== 'default';
      button.title = permission === 'denied' ? 'The browser blocks this page\u2019s notifications: allow them in its site settings'
        : 'Notify new alerts through the browser, also while this page is in the background';
    };
    button.addEventListener('click', () => Notification.requestPermission().then(update, update));
    update();
    return button;
  }

  function listAlerts(alerts) {
    // A live page watching rules offers its notifications before the first alert fires.
    const rules = page.data.alert_rules || [];
    const watching = Boolean(page.data.live) && rules.length > 0;
    if (!section) {
      if (alerts.length === 0 && !watching) return;
      section = document.createElement('section');
      section.id = 'alerts';
      const title = document.createElement('h2');
      title.textContent = 'Alerts';
      if (rules.length > 0) title.title = 'Watching: ' + rules.join(', ');
      if (page.data.live && typeof Notification !== 'undefined') title.appendChild(notifyControl());
      section.append(title, document.createElement('ol'));
      page.readout.appendChild(section);
    }
    section.hidden = alerts.length === 0 && !watching;
    const list = section.querySelector('ol');
    list.textContent = '';
    for (const a of alerts.slice(-LATEST).reverse()) {
      const item = document.createElement('li');
      item.className = a.forming ? 'forming' : '';
      item.title = describe(a) + ' (click to show the bar)';
      const when = document.createElement('span');
      when.className = 'when';
      when.textContent = a.time.slice(0, 16);
      const value = document.createElement('span');
      value.className = 'value';
      value.textContent = valueOf(a);
      item.append(when, document.createTextNode(' ' + a.rule + (a.forming ? ' (forming)' : '') + ' '), value);
      item.addEventListener('click', () => page.goTo(a.bar));
      list.appendChild(item);
    }
  }

  // --- Notifications -------------------------------------------------------------------------
  function toast(title, body, forming) {
    let box = document.getElementById('toasts');
    if (!box) {
      box = document.createElement('div');
      box.id = 'toasts';
      box.setAttribute('role', 'status');
      box.setAttribute('aria-live', 'polite');
      document.body.appendChild(box);
    }
    const item = document.createElement('div');
    item.className = 'toast' + (forming ? ' forming' : '');
    const heading = document.createElement('strong');
    heading.textContent = title;
    item.append(heading, document.createTextNode(' ' + body));
    item.addEventListener('click', () => item.remove());
    box.appendChild(item);
    setTimeout(() => item.remove(), TOAST_SECONDS * 1000);
  }

  function announce(title, body, forming, tag) {
    toast(title, body, forming);
    if (typeof Notification === 'undefined' || Notification.permission !== 'granted') return;
    try {
      new Notification(title, { body, tag });
    } catch (error) {
      // A browser that notifies only from a service worker: the page's own notice stands.
    }
  }

  // The alerts as the data now hold them: marks, the list, and (`notify`) a notification of
  // each alert not seen before. A forming alert notifies once; its bar's closing alert of the
  // same rule does not notify again.
  function show(notify) {
    const alerts = alertsNow();
    markPanes(alerts);
    listAlerts(alerts);
    const fresh = alerts.filter((a) => !seen.has(keyOf(a)));
    fresh.forEach((a) => seen.add(keyOf(a)));
    if (!notify || fresh.length === 0) return;
    if (fresh.length > ONE_BY_ONE) {
      const latest = fresh[fresh.length - 1];
      announce(fresh.length + ' new alerts', 'the latest ' + latest.rule + ': ' + describe(latest), false, keyOf(latest));
    } else {
      for (const a of fresh) announce(a.rule, describe(a), a.forming, keyOf(a));
    }
  }

  return { show, place };
}
