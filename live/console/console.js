// The operator's console: one view of one channel, following the state the server pushes.
import { t, translate } from '/console/i18n.js';
import { request, Live } from '/console/api.js';
import { quote, setting } from '/console/scene.js';

const $ = (sel) => document.querySelector(sel);
let channel = new URLSearchParams(location.search).get('channel') || '';
let state = null;        // the channel's state as last pushed
let received = 0;        // when it came (performance.now())
let live = null;
let asrun = [];
let editing = null;      // the index of the cue in the editor, or -1 for a new one

function el(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (k === 'dataset') Object.assign(e.dataset, v);
    else if (v !== undefined && v !== null && v !== false) e.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children) e.append(c);
  return e;
}

function say(text, bad = false) {
  const m = $('#message');
  m.textContent = text;
  m.classList.toggle('bad', bad);
}

async function act(fn) {
  try {
    const r = await fn();
    say('');
    return r;
  } catch (e) {
    say(t('refused', { m: e.message }), true);
    return null;
  }
}

const base = () => `/api/v1/channels/${encodeURIComponent(channel)}`;
const commands = (lines) => act(() => request('POST', `${base()}/commands`, { lines }));
const control = (what, body) => act(() => request('POST', `${base()}/${what}`, body));
const take = (id) => control('rundown/take', id ? { id } : undefined);
const next = () => control('rundown/next');
const stop = () => control('rundown/stop');
const undo = () => control('undo');

function rundown() {
  const r = state.rundown;
  return { autoplay: r.autoplay, loop: r.loop, cues: r.cues.map((c) => ({ ...c })) };
}
const putRundown = (r) => act(() => request('PUT', `${base()}/rundown`, r));

function ms(v) {
  const s = Math.max(0, Math.round(v / 100) / 10);
  const m = Math.floor(s / 60);
  return m ? `${m}:${(s % 60).toFixed(1).padStart(4, '0')}` : `${s.toFixed(1)} s`;
}

function renderOnAir() {
  const oa = state?.rundown?.on_air;
  $('#onair-name').textContent = oa ? `${oa.name || oa.id}` : t('none');
  $('#onair').classList.toggle('live', !!oa);
  if (!oa) {
    $('#onair-elapsed').textContent = $('#onair-remaining').textContent = '';
    return;
  }
  const elapsed = oa.elapsed_ms + (performance.now() - received);
  $('#onair-elapsed').textContent = `${t('elapsed')} ${ms(elapsed)}`;
  $('#onair-remaining').textContent = oa.remaining_ms === null ? t('until_next')
    : `${t('remaining')} ${ms(oa.remaining_ms - (performance.now() - received))}`;
}

function renderComponents() {
  const body = $('#components tbody');
  const focused = document.activeElement;
  const keep = focused?.closest?.('#components') ? focused.dataset.name : null;
  // The row being typed in keeps what the operator typed.
  for (const row of [...body.children]) if (row.dataset.name !== keep) row.remove();
  const rows = new Map([...body.children].map((r) => [r.dataset.name, r]));
  for (const c of state.components) {
    if (rows.has(c.name)) {
      body.append(rows.get(c.name));
      continue;
    }
    const text = setting(c, 'SetVxComponent_Text')?.[0] ?? '';
    const canText = c.kind_name === 'text' || c.kind_name === 'scrolltext';
    const input = canText ? el('input', {
      class: 'text', value: text, dataset: { name: c.name },
      onkeydown: (e) => {
        if (e.key === 'Enter') {
          e.preventDefault();
          // A text is drawn when the component is shown: a shown one is shown again with it.
          const lines = [`SetVxComponent_Text ${quote(c.name)} ${quote(e.target.value)}`];
          const shown = setting(c, 'SetVxComponent_Visible');
          if (c.visible && shown) lines.push(`SetVxComponent_Visible ${quote(c.name)} ${shown.join(' ')}`);
          commands(lines).then(() => e.target.blur());
        } else if (e.key === 'Escape') {
          e.target.value = text;
          e.target.blur();
        }
      },
    }) : '';
    const vis = el('input', {
      type: 'checkbox', class: 'visible', checked: c.visible,
      onchange: (e) => commands([`SetVxComponent_Visible ${quote(c.name)} 0 ${e.target.checked ? 1 : 0}`]),
    });
    body.append(el('tr', { dataset: { name: c.name } }, el('td', {}, c.name), el('td', {}, c.kind_name),
      el('td', {}, input), el('td', {}, vis)));
  }
}

function renderRundown() {
  const r = state.rundown;
  $('#autoplay').checked = r.autoplay;
  $('#loop').checked = r.loop;
  const body = $('#cues tbody');
  body.replaceChildren();
  r.cues.forEach((c, i) => {
    const onAir = r.on_air?.id === c.id;
    const move = (d) => {
      const nr = rundown();
      const j = i + d;
      if (j < 0 || j >= nr.cues.length) return;
      [nr.cues[i], nr.cues[j]] = [nr.cues[j], nr.cues[i]];
      putRundown(nr);
    };
    body.append(el('tr', { class: onAir ? 'on-air' : '', dataset: { id: c.id } },
      el('td', {}, el('button', { class: 'take-cue', title: t('take'), onclick: () => take(c.id) }, '▶')),
      el('td', { class: 'cue-name' }, c.name || c.id),
      el('td', {}, c.duration_ms ? ms(c.duration_ms) : '∞'),
      el('td', {}, c.at || ''),
      el('td', { class: 'cue-actions' },
        el('button', { class: 'edit-cue', onclick: () => openEditor(i) }, t('edit')),
        el('button', { class: 'up', onclick: () => move(-1) }, '↑'),
        el('button', { class: 'down', onclick: () => move(1) }, '↓'),
        el('button', { class: 'delete-cue', onclick: () => {
          if (!confirm(t('confirm_delete', { id: c.id }))) return;
          const nr = rundown();
          nr.cues.splice(i, 1);
          putRundown(nr);
        } }, t('delete')))));
  });
  $('#undo-levels').textContent = t('undo_levels', { n: state.undo_levels });
}

function openEditor(index) {
  editing = index;
  const f = $('#cue-editor');
  const c = index >= 0 ? state.rundown.cues[index]
    : { id: `c${state.rundown.cues.length + 1}`, name: '', lines: [], out: [], fields: {}, duration_ms: 0, fade_ms: 0 };
  f.elements.id.value = c.id;
  f.elements.name.value = c.name;
  f.elements.lines.value = c.lines.join('\n');
  f.elements.out.value = c.out.join('\n');
  f.elements.fields.value = Object.entries(c.fields || {}).map(([k, v]) => `${k}=${v}`).join('\n');
  f.elements.duration_ms.value = c.duration_ms;
  f.elements.at.value = c.at || '';
  f.elements.fade_ms.value = c.fade_ms || 0;
  f.hidden = false;
  f.elements.id.focus();
}

async function saveEditor(e) {
  e.preventDefault();
  const f = $('#cue-editor');
  const lines = (v) => v.split('\n').map((l) => l.trim()).filter((l) => l);
  const fields = {};
  for (const l of lines(f.elements.fields.value)) {
    const eq = l.indexOf('=');
    if (eq > 0) fields[l.slice(0, eq).trim()] = l.slice(eq + 1);
  }
  const cue = {
    id: f.elements.id.value.trim(), name: f.elements.name.value, lines: lines(f.elements.lines.value),
    out: lines(f.elements.out.value), fields, duration_ms: Number(f.elements.duration_ms.value) || 0,
    fade_ms: Number(f.elements.fade_ms.value) || 0,
  };
  if (f.elements.at.value.trim()) cue.at = f.elements.at.value.trim();
  const r = rundown();
  if (editing >= 0) r.cues[editing] = cue;
  else r.cues.push(cue);
  if (await putRundown(r)) f.hidden = true;
}

function renderBindings() {
  const body = $('#bindings tbody');
  body.replaceChildren(...state.bindings.map((b) => el('tr', { class: b.error ? 'bad' : '', dataset: { component: b.component } },
    el('td', {}, b.component), el('td', {}, `${b.file || b.url} (${b.format})`),
    el('td', { class: 'value' }, b.text ?? ''), el('td', { class: 'error' }, b.error ?? ''))));
  const area = $('#bindings-json');
  if (document.activeElement !== area && !area.dataset.dirty) {
    const allSettings = state.bindings.map(({ value, text, time, error, ...settings }) => settings);
    area.value = JSON.stringify({ bindings: allSettings }, null, 1);
  }
}

function renderAsRun() {
  const body = $('#asrun tbody');
  body.replaceChildren(...asrun.slice(-50).reverse().map((e) => el('tr', {},
    el('td', {}, e.time.slice(11, 23)), el('td', { class: 'source' }, e.source),
    el('td', { class: 'what' }, e.action ? `${e.action} ${e.cue || ''}`.trim() : e.lines.join(' · ')))));
}

function render() {
  if (!state) return;
  const p = state.pipeline;
  $('#pipeline').textContent = `${p.state} · ${p.fps.toFixed(1)} fps`;
  $('#pipeline').dataset.state = p.state;
  renderOnAir();
  renderComponents();
  renderRundown();
  renderBindings();
}

function setConnection(s) {
  const c = $('#connection');
  c.dataset.state = s;
  c.textContent = t(s);
  document.body.classList.toggle('offline', s !== 'connected');
  if (s === 'connected') {
    // After a reconnect the preview and the log start again from the server.
    $('#preview').src = `${base()}/preview.mjpeg?t=${Date.now()}`;
    request('GET', `${base()}/asrun?limit=50`).then((r) => { asrun = r.entries; renderAsRun(); }).catch(() => {});
  }
}

function onEvent(event, data) {
  if (event === 'channel') {
    state = data;
    received = performance.now();
    render();
  } else if (event === 'asrun') {
    asrun.push(data);
    if (asrun.length > 200) asrun.shift();
    renderAsRun();
  }
}

function typing(e) {
  const tag = e.target.tagName;
  return tag === 'INPUT' || tag === 'TEXTAREA' || tag === 'SELECT' || e.target.isContentEditable;
}

async function start() {
  translate();
  setConnection('connecting');
  let list = null;
  while (!list) {
    list = await request('GET', '/api/v1/channels').catch(() => null);
    if (!list) await new Promise((r) => setTimeout(r, 1000));
  }
  const select = $('#channel');
  select.replaceChildren(...list.channels.map((c) => el('option', { value: c.name }, c.name)));
  if (!channel || !list.channels.some((c) => c.name === channel)) channel = list.channels[0]?.name || '';
  select.value = channel;
  select.onchange = () => {
    channel = select.value;
    live?.close();
    live = new Live(channel, onEvent, setConnection);
  };
  live = new Live(channel, onEvent, setConnection);

  $('#take').onclick = () => take();
  $('#next').onclick = next;
  $('#stop').onclick = stop;
  $('#undo').onclick = undo;
  $('#autoplay').onchange = (e) => { const r = rundown(); r.autoplay = e.target.checked; putRundown(r); };
  $('#loop').onchange = (e) => { const r = rundown(); r.loop = e.target.checked; putRundown(r); };
  $('#add-cue').onclick = () => openEditor(-1);
  $('#cue-editor').onsubmit = saveEditor;
  $('#cue-cancel').onclick = () => { $('#cue-editor').hidden = true; };
  $('#bindings-json').oninput = (e) => { e.target.dataset.dirty = '1'; };
  $('#bindings-apply').onclick = async () => {
    const area = $('#bindings-json');
    let body;
    try { body = JSON.parse(area.value); } catch (e) { return say(t('refused', { m: e.message }), true); }
    if (await act(() => request('PUT', `${base()}/bindings`, body))) delete area.dataset.dirty;
  };
  document.addEventListener('keydown', (e) => {
    if (typing(e) || !state) return;
    if (e.key === ' ') { e.preventDefault(); next(); }
    else if (e.key === 'Escape') { e.preventDefault(); stop(); }
    else if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === 'z') { e.preventDefault(); undo(); }
  });
  setInterval(renderOnAir, 200);
}

start();
