// The live page of zorva-devhost: reads the server's frames (devhost/live/Frames.h
// says what they hold), draws every plate and sends a host's actions.
'use strict';

(function () {
  const token = document.querySelector('meta[name="zorva-token"]').content;
  const WINDOW_SECONDS = 10;
  const TRAIL_SECONDS = 1.5;
  /// A plate that delivered nothing for this long while the others acquire shows "no data".
  const SILENT_SECONDS = 0.5;
  /// Metres of arrow per newton of horizontal force: 100 N = 10 cm.
  const ARROW_METRES_PER_NEWTON = 0.001;
  const KEPT_LINES = 1000;

  const $ = (id) => document.getElementById(id);
  const el = (tag, cls, text) => {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  };

  let socket = null;
  let state = null;
  let now = 0; // host time of the last frame
  let nowAt = 0; // performance.now() when it came
  let columnSeconds = 0.02;
  let lastLine = 0;
  let dirty = false;
  let request = 0;
  const pending = new Map();
  const tracks = new Map(); // plate name -> its columns and card
  let frameTimes = [];
  let dropped = 0;

  // ------------------------------------------------------------ the stream

  function connect() {
    socket = new WebSocket(`ws://${location.host}/stream?token=${encodeURIComponent(token)}`);
    socket.onopen = () => setPill($('connection'), 'connected', 'good');
    socket.onmessage = (event) => receive(JSON.parse(event.data));
    socket.onclose = () => {
      setPill($('connection'), 'disconnected: the session ended (or the program was stopped)', 'bad');
      document.body.classList.add('ended');
    };
  }

  function receive(message) {
    switch (message.type) {
      case 'snapshot':
        for (const track of tracks.values()) track.columns.clear();
        apply(message);
        break;
      case 'frame':
        apply(message);
        break;
      case 'reply': {
        const what = pending.get(message.request) || 'action';
        pending.delete(message.request);
        toast(message.ok ? `${what}: ${message.text}` : `${what} refused: ${message.text}`, !message.ok);
        break;
      }
      case 'dropped':
        dropped = message.count;
        $('behind').hidden = dropped === 0;
        $('behind').textContent = `this browser fell behind: ${dropped} frames dropped`;
        break;
    }
  }

  function apply(message) {
    now = message.now;
    nowAt = performance.now();
    columnSeconds = message.column;
    frameTimes.push(nowAt);
    if (message.state) applyState(message.state);
    if (message.lines) addLines(message.lines);
    for (const [name, plate] of Object.entries(message.plates || {})) {
      const track = trackOf(name);
      track.blocks = plate.blocks;
      track.last = plate.last;
      for (const column of plate.columns) track.columns.set(column[0], column);
    }
    dirty = true;
  }

  function trackOf(name) {
    let track = tracks.get(name);
    if (!track) {
      track = { name, columns: new Map(), blocks: 0, last: -1, card: null };
      tracks.set(name, track);
    }
    return track;
  }

  /// Host time now, between frames.
  function hostNow() {
    return now + (performance.now() - nowAt) / 1000;
  }

  // ------------------------------------------------------------ actions

  function send(words, fields) {
    if (!socket || socket.readyState !== WebSocket.OPEN) {
      toast('not connected', true);
      return;
    }
    request += 1;
    pending.set(request, words);
    const form = new URLSearchParams({ request: String(request), ...fields });
    socket.send(form.toString());
  }

  let toastTimer = 0;
  function toast(text, failed) {
    const t = $('toast');
    t.textContent = text;
    t.classList.toggle('failed', !!failed);
    t.classList.add('shown');
    clearTimeout(toastTimer);
    toastTimer = setTimeout(() => t.classList.remove('shown'), failed ? 6000 : 2500);
  }

  function setPill(pill, text, kind) {
    pill.textContent = text;
    pill.className = 'pill' + (kind ? ' ' + kind : '');
  }

  $('zero').onclick = () => send('Zero all plates', { action: 'zero' });
  $('rescan').onclick = () => send('Rescan', { action: 'rescan' });
  $('mode').onchange = (e) => send('Mode', { action: 'mode', value: e.target.value });
  $('rate').onchange = (e) => send('Rate', { action: 'rate', value: e.target.value });
  $('apply-threshold').onclick = () =>
    send('Fz threshold', { action: 'threshold', number: String(Number($('threshold').value)) });
  let stopArmed = 0;
  $('stop').onclick = () => {
    // Two clicks: a stray one does not end a commissioning session.
    if (Date.now() - stopArmed < 4000) {
      send('Stop', { action: 'stop' });
      return;
    }
    stopArmed = Date.now();
    $('stop').textContent = 'Click again to stop';
    setTimeout(() => ($('stop').textContent = 'Stop session'), 4000);
  };
  $('show-trace').onchange = (e) => $('log').classList.toggle('show-trace', e.target.checked);

  // ------------------------------------------------------------ state

  function fillSelect(select, values, labels, current) {
    const key = values.join('|');
    if (select.dataset.key !== key) {
      select.textContent = '';
      values.forEach((value, i) => {
        const option = el('option', null, labels ? labels[i] : value);
        option.value = value;
        select.appendChild(option);
      });
      select.dataset.key = key;
    }
    if (document.activeElement !== select) select.value = current;
  }

  function applyState(s) {
    state = s;
    const shared = s.shared;
    const acquiring = shared.state === 'acquiring';
    setPill(
      $('acquisition'),
      shared.state === 'none' ? 'no shared device' :
        `${shared.state}` + (shared.armedRate ? ` · ${shared.armedRate} per second` : '') + ` · ${shared.syncMode}`,
      acquiring ? 'good' : 'warn',
    );
    // What the header shows, as attributes too (the browser test reads them).
    Object.assign(document.body.dataset, {
      sharedState: shared.state,
      armedRate: String(shared.armedRate),
      syncMode: shared.syncMode,
      rate: shared.rate,
      threshold: String(shared.threshold),
    });
    $('rearm').hidden = !shared.rearmRequired;
    $('detecting').hidden = !shared.detecting;
    $('shared-state').textContent = `(the shared device: ${shared.state}${shared.rearmRequired ? ', asks to be re-armed' : ''})`;
    fillSelect($('mode'), shared.syncModes, null, shared.syncMode);
    fillSelect($('rate'), shared.rates, null, shared.rate);
    const threshold = $('threshold');
    threshold.min = shared.thresholdMin;
    threshold.max = shared.thresholdMax;
    if (document.activeElement !== threshold) threshold.value = shared.threshold;

    $('bench').hidden = !s.bench;
    $('bench-name').textContent = s.benchName ? `(${s.benchName})` : '';
    const units = $('units');
    units.textContent = '';
    s.units.forEach((unit) => {
      const row = el('div', 'unit' + (unit.plugged ? '' : ' unplugged'));
      row.dataset.unit = unit.name;
      row.appendChild(el('span', 'name', unit.name));
      row.appendChild(el('span', 'muted', unit.identity));
      row.appendChild(el('span', null, unit.plugged ? 'plugged in' : 'unplugged'));
      const button = el('button', unit.plugged ? 'unplug' : 'plug', unit.plugged ? 'Unplug' : 'Plug in');
      button.type = 'button';
      button.onclick = () =>
        send(`${unit.plugged ? 'Unplug' : 'Plug in'} ${unit.name}`, { action: unit.plugged ? 'unplug' : 'plug', target: unit.name });
      row.appendChild(button);
      units.appendChild(row);
    });

    $('no-plates').hidden = s.plates.length > 0;
    s.plates.forEach((plate) => {
      const track = trackOf(plate.name);
      track.plate = plate;
      if (!track.card) makeCard(track);
      updateCard(track);
    });
    dirty = true;
  }

  // ------------------------------------------------------------ log

  const LEVEL_CLASS = ['trace', 'info', 'warning', 'error'];
  function addLines(lines) {
    const log = $('log');
    const atBottom = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
    for (const [number, source, level, text] of lines) {
      if (number <= lastLine) continue;
      lastLine = number;
      const item = el('li', `${LEVEL_CLASS[level] || 'info'} ${source}`);
      item.textContent = (source === 'host' ? 'host    ' : 'plugin  ') + text;
      log.appendChild(item);
    }
    while (log.childElementCount > KEPT_LINES) log.removeChild(log.firstElementChild);
    if (atBottom) log.scrollTop = log.scrollHeight;
  }

  // ------------------------------------------------------------ a plate's card

  function fixed(value, digits) {
    return value === null || value === undefined || !isFinite(value) ? '–' : value.toFixed(digits);
  }

  function makeCard(track) {
    const card = el('article', 'plate');
    card.dataset.plate = track.name;
    const header = el('header');
    header.appendChild(el('h2', 'name', track.name));
    header.appendChild(el('span', 'pill status', ''));
    const blink = el('button', 'blink', 'Blink');
    blink.type = 'button';
    blink.title = "Blink this plate's amplifier";
    blink.onclick = () => send(`Blink ${track.name}`, { action: 'blink', target: track.name });
    header.appendChild(blink);
    card.appendChild(header);
    card.appendChild(el('div', 'meta'));
    const body = el('div', 'body');
    const chartBox = el('div', 'chart');
    body.appendChild(chartBox);
    const side = el('div', 'side');
    const canvas = el('canvas', 'cop');
    side.appendChild(canvas);
    const readout = el('dl', 'readout');
    for (const [label, cls] of [['Fz', 'fz'], ['CoP x', 'cop-x'], ['Fx', 'fx'], ['CoP y', 'cop-y'], ['Fy', 'fy'], ['blocks', 'blocks']]) {
      readout.appendChild(el('dt', null, label));
      readout.appendChild(el('dd', cls, '–'));
    }
    side.appendChild(readout);
    body.appendChild(side);
    card.appendChild(body);
    const legend = el('div', 'legend');
    legend.innerHTML = '<b class="fz"></b>Fz (left axis) <b class="fx"></b>Fx <b class="fy"></b>Fy (right axis), N';
    card.appendChild(legend);
    card.appendChild(el('div', 'gone-note'));
    const bench = el('div', 'bench-row');
    bench.hidden = true;
    bench.innerHTML =
      'Bench: <input class="kg" type="number" min="0" step="5" value="40"> kg at x <input class="x" type="number" step="0.05" value="0"> ' +
      'y <input class="y" type="number" step="0.05" value="0"> m ' +
      '<button type="button" class="put">Put on</button> <button type="button" class="off">Take off</button>';
    bench.querySelector('.put').onclick = () => weigh(track, Number(bench.querySelector('.kg').value));
    bench.querySelector('.off').onclick = () => weigh(track, 0);
    card.appendChild(bench);
    $('plates').appendChild(card);
    track.card = card;
    track.canvas = canvas;
    track.chart = makeChart(chartBox);
    new ResizeObserver(() => {
      track.chart.setSize({ width: Math.max(200, chartBox.clientWidth), height: 230 });
    }).observe(chartBox);
  }

  function weigh(track, kg) {
    const unit = state && state.units[track.plate.benchUnit];
    if (!unit) return;
    const bench = track.card.querySelector('.bench-row');
    send(kg > 0 ? `${kg} kg on ${unit.name}` : `Load off ${unit.name}`, {
      action: 'weight',
      target: unit.name,
      number: String(kg),
      x: String(Number(bench.querySelector('.x').value)),
      y: String(Number(bench.querySelector('.y').value)),
    });
  }

  function updateCard(track) {
    const plate = track.plate;
    const meta = track.card.querySelector('.meta');
    meta.textContent =
      `${plate.definition} · ${fixed(plate.sizeX, 3)} × ${fixed(plate.sizeY, 3)} m · ` +
      `unit ${plate.amplifier} · platform ${plate.platform} · ` +
      `origin a ${fixed(plate.originA * 1000, 1)}, b ${fixed(plate.originB * 1000, 1)}, az0 ${fixed(plate.originZ * 1000, 1)} mm`;
    track.card.querySelector('.bench-row').hidden = !(state.bench && plate.benchUnit >= 0);
  }

  function statusOf(track) {
    const plate = track.plate;
    if (!plate) return ['waiting', 'waiting for the state', ''];
    if (!plate.connected) return ['gone', 'gone', 'Not found at the last detection: unplugged, or its cable is loose.'];
    const acquiring = state && state.shared.state === 'acquiring';
    const age = hostNow() - track.last;
    if (acquiring && (track.last < 0 || age > SILENT_SECONDS))
      return ['silent', 'no data', `No samples for ${track.last < 0 ? 'ever' : fixed(age, 1) + ' s'} while acquiring: a loose cable?`];
    return [plate.state, plate.state, ''];
  }

  // ------------------------------------------------------------ the chart

  function makeChart(box) {
    const band = (from, color) => ({ series: [from, from + 1], fill: color });
    const floorRange = (low, high) => (u, min, max) => [Math.min(min ?? 0, low), Math.max(max ?? 0, high)];
    const options = {
      width: Math.max(200, box.clientWidth),
      height: 230,
      legend: { show: false },
      cursor: { show: false },
      scales: {
        x: { time: false, range: [-WINDOW_SECONDS, 0] },
        f: { range: floorRange(-20, 100) },
        h: { range: floorRange(-20, 20) },
      },
      axes: [
        { values: (u, splits) => splits.map((v) => (v === 0 ? 'now' : `${v} s`)) },
        { scale: 'f', label: 'Fz (N)', labelSize: 18, size: 52, stroke: '#1f5fbf' },
        { scale: 'h', side: 1, label: 'Fx, Fy (N)', labelSize: 18, size: 46, grid: { show: false } },
      ],
      series: [
        {},
        { scale: 'f', stroke: '#1f5fbf', width: 1.5 },
        { scale: 'f', stroke: '#1f5fbf', width: 1.5 },
        { scale: 'h', stroke: '#d9480f', width: 1 },
        { scale: 'h', stroke: '#d9480f', width: 1 },
        { scale: 'h', stroke: '#2b8a3e', width: 1 },
        { scale: 'h', stroke: '#2b8a3e', width: 1 },
      ],
      bands: [band(1, 'rgba(31,95,191,0.35)'), band(3, 'rgba(217,72,15,0.3)'), band(5, 'rgba(43,138,62,0.3)')],
    };
    const empty = [[], [], [], [], [], [], []];
    return new uPlot(options, empty, box);
  }

  /// The window's columns as uPlot's data: x (seconds before now), then the
  /// greatest and least Fz, Fx, Fy of each column (null where none came).
  function chartData(track, newest, count, at) {
    const data = [[], [], [], [], [], [], []];
    for (let index = newest - count + 1; index <= newest; index++) {
      const c = track.columns.get(index);
      data[0].push((index + 1) * columnSeconds - at);
      const has = c && c.length > 1;
      data[1].push(has ? c[8] : null);
      data[2].push(has ? c[7] : null);
      data[3].push(has ? c[4] : null);
      data[4].push(has ? c[3] : null);
      data[5].push(has ? c[6] : null);
      data[6].push(has ? c[5] : null);
    }
    return data;
  }

  // ------------------------------------------------------------ the plate from above

  function drawPlate(track, newest) {
    const canvas = track.canvas;
    const plate = track.plate;
    const ratio = window.devicePixelRatio || 1;
    const size = canvas.clientWidth || 230;
    if (canvas.width !== size * ratio) {
      canvas.width = size * ratio;
      canvas.height = size * ratio;
    }
    const g = canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, size, size);
    const sx = plate.sizeX > 0 ? plate.sizeX : 0.5;
    const sy = plate.sizeY > 0 ? plate.sizeY : 0.5;
    const margin = 16;
    const scale = Math.min((size - 2 * margin) / sx, (size - 2 * margin) / sy);
    const X = (x) => size / 2 + x * scale;
    const Y = (y) => size / 2 - y * scale;
    // The outline to scale, with a 10 cm grid.
    g.fillStyle = plate.connected ? '#eef2f7' : '#f6e3e3';
    g.strokeStyle = '#6b7785';
    g.lineWidth = 1.5;
    g.fillRect(X(-sx / 2), Y(sy / 2), sx * scale, sy * scale);
    g.strokeRect(X(-sx / 2), Y(sy / 2), sx * scale, sy * scale);
    g.strokeStyle = '#d7dde5';
    g.lineWidth = 1;
    g.beginPath();
    for (let x = 0.1; x < sx / 2; x += 0.1) for (const s of [x, -x]) { g.moveTo(X(s), Y(sy / 2)); g.lineTo(X(s), Y(-sy / 2)); }
    for (let y = 0.1; y < sy / 2; y += 0.1) for (const s of [y, -y]) { g.moveTo(X(-sx / 2), Y(s)); g.lineTo(X(sx / 2), Y(s)); }
    g.stroke();
    // The plugin's axes from the plate origin.
    const axis = Math.min(sx, sy) * 0.22;
    arrow(g, X(0), Y(0), X(axis), Y(0), '#444', 1.2);
    arrow(g, X(0), Y(0), X(0), Y(axis), '#444', 1.2);
    g.fillStyle = '#444';
    g.font = '12px system-ui, sans-serif';
    g.fillText('x', X(axis) + 3, Y(0) + 4);
    g.fillText('y', X(0) - 3, Y(axis) - 5);
    g.beginPath();
    g.arc(X(0), Y(0), 2.5, 0, 2 * Math.PI);
    g.fill();

    // The centre of pressure's trail, the newest point, and the horizontal force.
    const trailColumns = Math.round(TRAIL_SECONDS / columnSeconds);
    let previous = null;
    let current = null;
    for (let index = newest - trailColumns; index <= newest; index++) {
      const c = track.columns.get(index);
      if (!c || c.length < 14 || c[2] === 0 || c[12] === null) {
        previous = null;
        continue;
      }
      const point = [X(c[12]), Y(c[13])];
      if (previous) {
        const age = (newest - index) / trailColumns;
        g.strokeStyle = `rgba(201,42,42,${(1 - age) * 0.8 + 0.1})`;
        g.lineWidth = 2;
        g.beginPath();
        g.moveTo(previous[0], previous[1]);
        g.lineTo(point[0], point[1]);
        g.stroke();
      }
      previous = point;
      if (newest - index <= 5) current = c;
    }
    if (current) {
      const [x, y] = [X(current[12]), Y(current[13])];
      const fx = current[9];
      const fy = current[10];
      arrow(g, x, y, x + fx * ARROW_METRES_PER_NEWTON * scale, y - fy * ARROW_METRES_PER_NEWTON * scale, '#7048e8', 2.5);
      g.fillStyle = '#c92a2a';
      g.beginPath();
      g.arc(x, y, 6, 0, 2 * Math.PI);
      g.fill();
    } else {
      g.fillStyle = '#5c6570';
      g.font = '13px system-ui, sans-serif';
      g.textAlign = 'center';
      g.fillText(plate.connected ? 'unloaded' : 'gone', size / 2, size - 4);
      g.textAlign = 'start';
    }
    return current;
  }

  function arrow(g, x0, y0, x1, y1, color, width) {
    const length = Math.hypot(x1 - x0, y1 - y0);
    if (length < 1) return;
    const head = Math.min(8, length / 2);
    const angle = Math.atan2(y1 - y0, x1 - x0);
    g.strokeStyle = color;
    g.fillStyle = color;
    g.lineWidth = width;
    g.beginPath();
    g.moveTo(x0, y0);
    g.lineTo(x1, y1);
    g.stroke();
    g.beginPath();
    g.moveTo(x1, y1);
    g.lineTo(x1 - head * Math.cos(angle - 0.4), y1 - head * Math.sin(angle - 0.4));
    g.lineTo(x1 - head * Math.cos(angle + 0.4), y1 - head * Math.sin(angle + 0.4));
    g.closePath();
    g.fill();
  }

  // ------------------------------------------------------------ drawing

  function render() {
    requestAnimationFrame(render);
    const at = hostNow();
    // Frames per second over the last two seconds.
    const since = performance.now() - 2000;
    frameTimes = frameTimes.filter((t) => t >= since);
    $('rate-info').textContent = `${(frameTimes.length / 2).toFixed(0)} frames/s`;
    for (const track of tracks.values()) {
      if (!track.card) continue;
      const [status, word, note] = statusOf(track);
      track.card.dataset.status = status;
      track.card.querySelector('.status').textContent = word;
      track.card.querySelector('.gone-note').textContent = note;
    }
    if (!dirty || !state) return;
    dirty = false;
    const count = Math.round(WINDOW_SECONDS / columnSeconds);
    const newest = Math.floor(now / columnSeconds);
    for (const track of tracks.values()) {
      if (!track.card) continue;
      for (const index of track.columns.keys()) if (index <= newest - count - 10) track.columns.delete(index);
      track.chart.setData(chartData(track, newest, count, at));
      const current = drawPlate(track, newest);
      // The readouts: the newest column that had samples.
      let latest = null;
      for (let index = newest; index > newest - 10 && !latest; index--) {
        const c = track.columns.get(index);
        if (c && c.length > 1) latest = c;
      }
      const card = track.card;
      card.querySelector('.fz').textContent = latest ? `${fixed(latest[11], 1)} N` : '–';
      card.querySelector('.fx').textContent = latest ? `${fixed(latest[9], 1)} N` : '–';
      card.querySelector('.fy').textContent = latest ? `${fixed(latest[10], 1)} N` : '–';
      card.querySelector('.cop-x').textContent = current ? `${fixed(current[12] * 1000, 0)} mm` : '–';
      card.querySelector('.cop-y').textContent = current ? `${fixed(current[13] * 1000, 0)} mm` : '–';
      card.querySelector('.blocks').textContent = String(track.blocks);
      card.dataset.copX = current ? current[12].toFixed(4) : '';
      card.dataset.copY = current ? current[13].toFixed(4) : '';
      card.dataset.fz = latest ? latest[11].toFixed(1) : '';
    }
  }

  connect();
  requestAnimationFrame(render);
})();
