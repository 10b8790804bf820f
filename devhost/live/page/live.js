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
  $('show-trace').onchange = (e) => {
    const log = $('log');
    log.classList.toggle('show-trace', e.target.checked);
    log.scrollTop = log.scrollHeight; // the newest lines, as before
  };

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
    // The rate the units run: the one the plugin last told them, else the
    // one the plates declared to the host at the last arming.
    const running = shared.unitRate || shared.armedRate;
    setPill(
      $('acquisition'),
      shared.state === 'none' ? 'no shared device' :
        `${shared.state}` + (running ? ` · ${running} per second` : '') + ` · ${shared.syncMode}`,
      acquiring ? 'good' : 'warn',
    );
    // The host arms the plates before the shared device, which chooses the
    // rate: after the units changed, the plates may have declared the last one.
    const declaredOther = shared.unitRate > 0 && shared.armedRate > 0 && shared.unitRate !== shared.armedRate;
    $('declared').hidden = !declaredOther;
    $('declared').textContent = declaredOther ? `the plates declared ${shared.armedRate} per second to the host` : '';
    // What the header shows, as attributes too (the browser test reads them).
    Object.assign(document.body.dataset, {
      sharedState: shared.state,
      armedRate: String(shared.armedRate),
      unitRate: String(shared.unitRate),
      syncMode: shared.syncMode,
      rate: shared.rate,
      threshold: String(shared.threshold),
    });
    $('rearm').hidden = !shared.rearmRequired;
    $('detecting').hidden = !shared.detecting;
    $('shared-state').textContent = `(the shared device: ${shared.state}${shared.rearmRequired ? ', asks to be re-armed' : ''})`;
    fillSelect($('mode'), shared.syncModes, null, shared.syncMode);
    fillSelect($('rate'), shared.rates, null, shared.rate);
    // The plugin runs the rate nearest the setting that every unit can: say so when it differs.
    const adjusted = running > 0 && shared.rate !== '' && String(running) !== shared.rate;
    $('rate-note').hidden = !adjusted;
    $('rate-note').textContent = adjusted ? `\u26A0 the units run ${running}: not all of them can run ${shared.rate}` : '';
    const threshold = $('threshold');
    threshold.min = shared.thresholdMin;
    threshold.max = shared.thresholdMax;
    if (document.activeElement !== threshold) threshold.value = shared.threshold;

    $('bench').hidden = !s.bench;
    // A bench of many units takes the whole width, its units in columns.
    $('bench').classList.toggle('wide', s.units.length > 4);
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
  const counts = { warning: 0, error: 0 };

  /// The time of day a line came, from the host's clock: the browser's clock
  /// less how long ago, in host time, the line came.
  function clockTime(time) {
    if (typeof time !== 'number') return '';
    const at = new Date(Date.now() - (hostNow() - time) * 1000);
    const two = (n) => String(n).padStart(2, '0');
    return `${two(at.getHours())}:${two(at.getMinutes())}:${two(at.getSeconds())}.${Math.floor(at.getMilliseconds() / 100)}`;
  }

  function addLines(lines) {
    const log = $('log');
    const atBottom = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
    for (const [number, source, level, text, time] of lines) {
      if (number <= lastLine) continue;
      lastLine = number;
      const kind = LEVEL_CLASS[Math.min(level, 3)] || 'info';
      if (kind in counts) counts[kind] += 1;
      const item = el('li', `${kind} ${source}`);
      item.appendChild(el('span', 'time', clockTime(time)));
      item.appendChild(el('span', 'source', source));
      item.appendChild(el('span', 'text', text));
      log.appendChild(item);
    }
    while (log.childElementCount > KEPT_LINES) log.removeChild(log.firstElementChild);
    if (atBottom) log.scrollTop = log.scrollHeight;
    const said = [];
    if (counts.warning) said.push(`${counts.warning} warning${counts.warning === 1 ? '' : 's'}`);
    if (counts.error) said.push(`${counts.error} error${counts.error === 1 ? '' : 's'}`);
    $('log-counts').textContent = said.length ? `(${said.join(', ')}, marked)` : '';
    $('log-counts').classList.toggle('flagged', said.length > 0);
  }

  // ------------------------------------------------------------ a plate's card

  function fixed(value, digits) {
    return value === null || value === undefined || !isFinite(value) ? '–' : value.toFixed(digits);
  }

  /// Which cards are on the screen (or nearly): only those are drawn.
  const sight = new IntersectionObserver((entries) => {
    for (const entry of entries) {
      const track = tracks.get(entry.target.dataset.plate);
      if (!track) continue;
      track.visible = entry.isIntersecting;
      if (track.visible) dirty = true;
    }
  }, { rootMargin: '200px' });

  function makeCard(track) {
    const card = el('article', 'plate');
    card.dataset.plate = track.name;
    const header = el('header');
    header.appendChild(el('h2', 'name', track.name));
    header.appendChild(el('span', 'pill status', ''));
    header.appendChild(el('span', 'definition muted', ''));
    const blink = el('button', 'blink', 'Blink');
    blink.type = 'button';
    blink.title = "Blink this plate's amplifier";
    blink.onclick = () => send(`Blink ${track.name}`, { action: 'blink', target: track.name });
    header.appendChild(blink);
    card.appendChild(header);
    card.appendChild(el('div', 'meta'));
    const body = el('div', 'body');
    const charts = el('div', 'charts');
    const fzTitle = el('div', 'chart-title');
    fzTitle.innerHTML = '<b class="fz"></b>Fz, N <span class="muted">(band: least to greatest per 20 ms)</span>';
    charts.appendChild(fzTitle);
    const fzBox = el('div', 'chart');
    charts.appendChild(fzBox);
    const hTitle = el('div', 'chart-title');
    hTitle.innerHTML = '<b class="fx"></b>Fx <b class="fy"></b>Fy, N';
    charts.appendChild(hTitle);
    const hBox = el('div', 'chart');
    charts.appendChild(hBox);
    body.appendChild(charts);
    const side = el('div', 'side');
    const canvas = el('canvas', 'cop');
    side.appendChild(canvas);
    const readout = el('dl', 'readout');
    for (const [label, cls] of [['Fz', 'fz'], ['Fx', 'fx'], ['Fy', 'fy'], ['CoP x', 'cop-x'], ['CoP y', 'cop-y'], ['blocks', 'blocks']]) {
      const row = el('div', `row ${cls}`);
      row.appendChild(el('dt', null, label));
      row.appendChild(el('dd', cls, '–'));
      readout.appendChild(row);
    }
    side.appendChild(readout);
    body.appendChild(side);
    card.appendChild(body);
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
    sight.observe(card);
    track.card = card;
    track.canvas = canvas;
    track.fzChart = makeChart(fzBox, FZ_CHART);
    track.hChart = makeChart(hBox, H_CHART);
    new ResizeObserver(() => {
      const width = Math.max(200, charts.clientWidth);
      track.fzChart.setSize({ width, height: FZ_CHART.height });
      track.hChart.setSize({ width, height: H_CHART.height });
    }).observe(charts);
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
    track.card.querySelector('.definition').textContent =
      `${plate.definition}, ${fixed(plate.sizeX * 1000, 0)} × ${fixed(plate.sizeY * 1000, 0)} mm`;
    const meta = track.card.querySelector('.meta');
    meta.textContent =
      `unit ${plate.amplifier} · platform ${plate.platform} · ` +
      `origin offsets a ${fixed(plate.originA * 1000, 1)}, b ${fixed(plate.originB * 1000, 1)}, az0 ${fixed(plate.originZ * 1000, 1)} mm`;
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

  const COLOURS = { fz: '#1f5fbf', fx: '#d9480f', fy: '#2b8a3e' };
  /// Fz: its own chart, tall; Fx and Fy share a smaller one. Both span the
  /// same ten seconds with equal axis widths, so their times line up.
  const FZ_CHART = { height: 170, series: ['fz'], floor: [-20, 100], timeLabels: false };
  const H_CHART = { height: 130, series: ['fx', 'fy'], floor: [-20, 20], timeLabels: true };
  const AXIS_WIDTH = 54;

  /// Blocks that reach the host late leave a column or two without samples:
  /// the line goes on over so short a gap, and breaks over a longer one (a
  /// re-arming, a unit that stopped).
  const JOINED_SECONDS = 0.1;
  const shortGapsJoined = (u, index, from, to, gaps) =>
    gaps.filter(([start, end]) => end - start > (u.bbox.width * JOINED_SECONDS) / WINDOW_SECONDS);

  function makeChart(box, kind) {
    const [low, high] = kind.floor;
    const series = [{}];
    const bands = [];
    for (const name of kind.series) {
      // The greatest and the least of each column, the band between them filled.
      const from = series.length;
      const line = { stroke: COLOURS[name], width: 1.5, gaps: shortGapsJoined };
      series.push({ ...line }, { ...line });
      bands.push({ series: [from, from + 1], fill: COLOURS[name] + '55' });
    }
    const grid = { stroke: '#e3e7ec', width: 1 };
    const options = {
      width: Math.max(200, box.clientWidth),
      height: kind.height,
      legend: { show: false },
      cursor: { show: false },
      padding: [6, 18, 0, 0], // room for "now" under the right edge
      scales: {
        x: { time: false, range: [-WINDOW_SECONDS, 0] },
        // At least this range, so noise at rest does not fill the chart, and
        // a little room above and below the samples.
        y: {
          range: (u, min, max) => {
            const least = Math.min(min ?? 0, low);
            const greatest = Math.max(max ?? 0, high);
            const room = (greatest - least) * 0.06;
            return [least < low ? least - room : least, greatest > high ? greatest + room : greatest];
          },
        },
      },
      axes: [
        {
          grid,
          ticks: { show: false },
          size: kind.timeLabels ? 30 : 6,
          values: (u, splits) => splits.map((v) => (!kind.timeLabels ? '' : v === 0 ? 'now' : `${v} s`)),
        },
        { grid, size: AXIS_WIDTH, ticks: { show: false } },
      ],
      series,
      bands,
    };
    return new uPlot(options, series.map(() => []), box);
  }

  /// The window's columns as a chart's data: x (seconds before now), then
  /// the greatest and least of each of its forces (null where none came).
  /// A column is [index, samples, loaded, FxMin, FxMax, FyMin, FyMax, FzMin, FzMax, ...].
  const SLOTS = { fx: [4, 3], fy: [6, 5], fz: [8, 7] };
  function chartData(track, kind, newest, count, at) {
    const data = [[]];
    for (const name of kind.series) data.push([], []);
    for (let index = newest - count + 1; index <= newest; index++) {
      const c = track.columns.get(index);
      data[0].push((index + 1) * columnSeconds - at);
      const has = c && c.length > 1;
      kind.series.forEach((name, i) => {
        const [greatest, least] = SLOTS[name];
        data[1 + 2 * i].push(has ? c[greatest] : null);
        data[2 + 2 * i].push(has ? c[least] : null);
      });
    }
    return data;
  }

  // ------------------------------------------------------------ the plate from above

  const PLATE_PIXELS = 270;

  function drawPlate(track, newest) {
    const canvas = track.canvas;
    const plate = track.plate;
    const ratio = window.devicePixelRatio || 1;
    const size = canvas.clientWidth || PLATE_PIXELS;
    if (canvas.width !== size * ratio) {
      canvas.width = size * ratio;
      canvas.height = size * ratio;
    }
    const g = canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, size, size);
    const sx = plate.sizeX > 0 ? plate.sizeX : 0.5;
    const sy = plate.sizeY > 0 ? plate.sizeY : 0.5;
    // Room for the dimensions below and to the right.
    const margin = 22;
    const scale = Math.min((size - 2 * margin) / sx, (size - 2 * margin) / sy);
    const X = (x) => size / 2 + x * scale;
    const Y = (y) => size / 2 - y * scale;
    const font = '12px system-ui, sans-serif';
    // The outline to scale, with a 10 cm grid from the origin.
    g.fillStyle = plate.connected ? '#eef2f7' : '#f6e3e3';
    g.fillRect(X(-sx / 2), Y(sy / 2), sx * scale, sy * scale);
    g.strokeStyle = '#dde2e9';
    g.lineWidth = 1;
    g.beginPath();
    for (let x = 0.1; x < sx / 2 - 1e-6; x += 0.1) for (const s of [x, -x]) { g.moveTo(X(s), Y(sy / 2)); g.lineTo(X(s), Y(-sy / 2)); }
    for (let y = 0.1; y < sy / 2 - 1e-6; y += 0.1) for (const s of [y, -y]) { g.moveTo(X(-sx / 2), Y(s)); g.lineTo(X(sx / 2), Y(s)); }
    g.stroke();
    g.strokeStyle = '#5c6570';
    g.lineWidth = 1.5;
    g.strokeRect(X(-sx / 2), Y(sy / 2), sx * scale, sy * scale);
    // Its size from the definition, in millimetres.
    g.fillStyle = '#5c6570';
    g.font = font;
    g.textAlign = 'center';
    g.textBaseline = 'top';
    g.fillText(`${fixed(sx * 1000, 0)} mm`, X(0), Y(-sy / 2) + 5);
    g.save();
    g.translate(X(sx / 2) + 5, Y(0));
    g.rotate(-Math.PI / 2); // read from below, its glyphs to the right of the edge
    g.fillText(`${fixed(sy * 1000, 0)} mm`, 0, 0);
    g.restore();
    // The plugin's axes from the plate origin.
    const axis = Math.min(0.1, Math.min(sx, sy) * 0.3);
    arrow(g, X(0), Y(0), X(axis), Y(0), '#2f3944', 1.3);
    arrow(g, X(0), Y(0), X(0), Y(axis), '#2f3944', 1.3);
    g.fillStyle = '#2f3944';
    g.textBaseline = 'middle';
    g.textAlign = 'left';
    g.fillText('x', X(axis) + 3, Y(0));
    g.textAlign = 'center';
    g.textBaseline = 'bottom';
    g.fillText('y', X(0), Y(axis) - 3);
    g.textAlign = 'right';
    g.textBaseline = 'top';
    g.fillText('0', X(0) - 3, Y(0) + 2);
    g.beginPath();
    g.arc(X(0), Y(0), 2.5, 0, 2 * Math.PI);
    g.fill();

    // The centre of pressure's trail, the newest point, and the horizontal force.
    const trailColumns = Math.round(TRAIL_SECONDS / columnSeconds);
    let previous = null;
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
    }
    const current = currentColumn(track, newest);
    g.textAlign = 'center';
    g.textBaseline = 'alphabetic';
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
      g.fillStyle = plate.connected ? '#5c6570' : '#c92a2a';
      g.font = plate.connected ? font : 'bold 15px system-ui, sans-serif';
      g.fillText(plate.connected ? 'unloaded' : 'gone', X(0), plate.connected ? Y(-sy / 2) - 8 : Y(sy / 4));
    }
    g.textAlign = 'start';
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

  /// Writes only what changed: a page of sixteen plates redraws 60 times a second.
  function setText(element, text) {
    if (element.textContent !== text) element.textContent = text;
  }

  /// The newest column with samples of the last ten (a block may come
  /// late), or null.
  function latestColumn(track, newest) {
    for (let index = newest; index > newest - 10; index--) {
      const c = track.columns.get(index);
      if (c && c.length > 1) return c;
    }
    return null;
  }

  /// The centre of pressure now: the latest column's, when it had a load
  /// (so the point and Fz agree); else null.
  function currentColumn(track, newest) {
    const c = latestColumn(track, newest);
    return c && c.length >= 14 && c[2] > 0 && c[12] !== null ? c : null;
  }

  function render() {
    requestAnimationFrame(render);
    const at = hostNow();
    // Frames per second over the last two seconds.
    const since = performance.now() - 2000;
    frameTimes = frameTimes.filter((t) => t >= since);
    setText($('rate-info'), `${(frameTimes.length / 2).toFixed(0)} frames/s`);
    for (const track of tracks.values()) {
      if (!track.card) continue;
      const [status, word, note] = statusOf(track);
      if (track.card.dataset.status !== status) track.card.dataset.status = status;
      setText(track.card.querySelector('.status'), word);
      setText(track.card.querySelector('.gone-note'), note);
    }
    if (!dirty || !state) return;
    dirty = false;
    const count = Math.round(WINDOW_SECONDS / columnSeconds);
    const newest = Math.floor(now / columnSeconds);
    for (const track of tracks.values()) {
      if (!track.card) continue;
      for (const index of track.columns.keys()) if (index <= newest - count - 10) track.columns.delete(index);
      // Charts and plates out of sight wait until they come into it.
      if (track.visible) {
        track.fzChart.setData(chartData(track, FZ_CHART, newest, count, at));
        track.hChart.setData(chartData(track, H_CHART, newest, count, at));
        drawPlate(track, newest);
      }
      const latest = latestColumn(track, newest);
      const current = currentColumn(track, newest);
      const card = track.card;
      setText(card.querySelector('dd.fz'), latest ? `${fixed(latest[11], 1)} N` : '–');
      setText(card.querySelector('dd.fx'), latest ? `${fixed(latest[9], 1)} N` : '–');
      setText(card.querySelector('dd.fy'), latest ? `${fixed(latest[10], 1)} N` : '–');
      setText(card.querySelector('dd.cop-x'), current ? `${fixed(current[12] * 1000, 0)} mm` : '–');
      setText(card.querySelector('dd.cop-y'), current ? `${fixed(current[13] * 1000, 0)} mm` : '–');
      setText(card.querySelector('dd.blocks'), String(track.blocks));
      card.dataset.copX = current ? current[12].toFixed(4) : '';
      card.dataset.copY = current ? current[13].toFixed(4) : '';
      card.dataset.fz = latest ? latest[11].toFixed(1) : '';
    }
  }

  connect();
  requestAnimationFrame(render);
})();
