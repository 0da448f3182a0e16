// Controllers: the "Particle Age" roll-up with its controller buttons, the Controllers
// dialog and the controller's editor with its two curve views and keys.
import { api, element, helperPath, sceneChanged } from './api.js';
import { paramInput, rollup } from './params.js';

document.head.append(element('link', { rel: 'stylesheet', href: 'controllers.css' }));

// The age parameters each controller button sits beside (on the birth value's row).
const buttonRows = {
  'Birth Trans.': 'Trans',
  'Birth Size': 'Size',
  'Birth Shadow Trans.': 'Shadow Trans',
  'Birth Shadow Size': 'Shadow Size',
};
const shadowRows = ['Birth Shadow Size', 'Birth Shadow Trans.', 'Death Shadow Size', 'Death Shadow Trans.'];
// The age block's labelled settings, in the roll-up's order.
const ageSwitches = ['Use Emitter Age', 'Use Brush Settings', 'Cast Shadows', 'Update Z-Buffer'];
const ageNumbers = ['Material ID', 'Shading Order'];
// What the reduced layout (all three plug-ins are volume plug-ins) keeps.
const reducedRows = ['Life Begins At', 'Life Ends At', 'Every Nth', 'Nth Offset', 'Birth Size',
  'Death Size', 'This Shader Active'];

// Curve views in dialog units (strip, curve) and the pixels of one dialog unit.
const dialogUnit = { x: 1.5, y: 1.625 };
const views = { strip: [138, 18], curve: [138, 48] };
const viewPixels = (name) => [Math.round(views[name][0] * dialogUnit.x), Math.round(views[name][1] * dialogUnit.y)];

const panels = new Map(); // open editors: key -> panel element
const keyOf = (helper, c) => `${helper}|${c.slot ?? ''}|${c.controller}`;
const named = (c) => (c.slot ? { slot: c.slot, controller: c.controller } : { controller: c.controller });
const controllerPath = (helper, op) => helperPath(helper, `/controller/${op}`);

// The "Particle Age" roll-up of helper `h` (a helper answer of the API), or null while there
// is none to show.
export function particleAgeRollup(h) {
  const set = element('fieldset', { className: 'particle-age' }, element('legend', { textContent: 'Particle Age' }));
  set.dataset.helper = h.name;
  const refresh = async (age) => {
    age ??= await api(helperPath(h.name, '/controllers'));
    fillAgeRollup(set, h, age, refresh);
    await showEditors(h.name, age, refresh);
  };
  refresh().catch(() => {});
  return set;
}

// Adds the controller buttons of the plug-in in `slot` to its generated roll-up `set`: each
// beside the birth value of the quantity it drives ("Birth Noise Size" for "Noise Size"), or
// on a row of its own.
export function addPlugInControllers(set, helper, slot) {
  const refresh = async (age) => {
    age ??= await api(helperPath(helper, '/controllers'));
    for (const old of set.querySelectorAll('.plugin-controller')) old.remove();
    for (const c of age.controllers.filter((x) => x.slot === slot)) {
      const b = controllerButton(helper, c, refresh);
      b.classList.add('plugin-controller');
      const input = set.querySelector(`[data-param="${CSS.escape('Birth ' + c.controller)}"]`);
      if (input) input.after(b);
      else set.append(element('label', { className: 'row plugin-controller' }, c.controller, b));
    }
    await showEditors(helper, age, refresh);
  };
  refresh().catch(() => {});
}

function fillAgeRollup(set, h, age, refresh) {
  const changed = async () => { await refresh(); await sceneChanged(); };
  const props = h.properties;
  const rows = age.reduced ? h.params.filter((r) => reducedRows.includes(r.name)) : h.params;
  const body = rollup('Particle Age', rows, null, [], changed);
  const brush = props['Use Brush Settings'] === true;
  const emitterAge = props['Use Emitter Age'] === true && age.emitterAgeAvailable;
  const inputOf = (name) => body.querySelector(`[data-param="${CSS.escape(name)}"]`);
  for (const name of ['Life Begins At', 'Life Ends At']) if (inputOf(name) && emitterAge) inputOf(name).disabled = true;
  if (!age.reduced) for (const name of shadowRows) if (inputOf(name) && brush) inputOf(name).disabled = true;

  for (const [row, quantity] of Object.entries(buttonRows)) {
    const c = age.controllers.find((x) => !x.slot && x.controller === quantity);
    const input = inputOf(row);
    if (!c || !input) continue;
    const b = controllerButton(h.name, c, refresh);
    b.disabled = brush && quantity.startsWith('Shadow');
    input.after(b);
  }
  const switches = age.reduced ? ['Use Emitter Age', 'Cast Shadows'] : ageSwitches;
  for (const name of [...switches, ...(age.reduced ? [] : ageNumbers)]) {
    if (!(name in props)) continue;
    const label = age.reduced && name === 'Cast Shadows' ? 'HighLights / Shadows' : name;
    const input = propertyInput(name, props[name], async (value) => {
      await api(helperPath(h.name, '/age/property'), { name, value });
      await changed();
    });
    if (name === 'Use Emitter Age') input.disabled = !age.emitterAgeAvailable;
    body.append(element('label', { className: 'row' }, label, input));
  }
  set.replaceChildren(...body.childNodes);
}

// An input for a property: a switch or a whole number; `send(value)` runs on a change.
function propertyInput(name, value, send) {
  const bool = typeof value === 'boolean';
  const input = element('input', bool ? { type: 'checkbox', checked: value } : { type: 'number', value, step: 1 });
  input.dataset.property = name;
  input.onchange = () => send(bool ? input.checked : Number(input.value)).catch(() => input.classList.add('bad'));
  return input;
}

// A check button: click opens or closes the editor, right click offers the Controllers dialog.
function controllerButton(helper, c, refresh) {
  const open = c.editor?.open === true;
  const b = element('button', { className: 'controller' + (open ? ' checked' : ''), title: `${c.controller} controller (${c.class}); right click: replace` });
  b.dataset.controller = c.controller;
  b.setAttribute('aria-pressed', String(open));
  b.onclick = async () => {
    if (!c.editor) return;
    await refresh(await api(controllerPath(helper, 'edit'), { ...named(c), open: !open }));
  };
  b.oncontextmenu = async (e) => {
    e.preventDefault();
    const choice = await chooseController(c.class);
    if (!choice) return;
    await api(controllerPath(helper, 'replace'), { ...named(c), class: choice });
    // The new controller's editor shows the set-up its owner gave it.
    await refresh(await api(controllerPath(helper, 'edit'), { ...named(c), open: true }));
    await sceneChanged();
  };
  return b;
}

// The modal "Controllers" dialog: the chosen class name, or null for Cancel or no choice.
async function chooseController(current) {
  const { classes } = await api('controller-classes');
  classes.sort((a, b) => a.localeCompare(b, undefined, { sensitivity: 'base' }));
  const list = element('select', { size: Math.min(8, Math.max(2, classes.length)), className: 'controller-list' });
  for (const name of classes) list.append(element('option', { value: name, textContent: name, selected: name === current }));
  const ok = element('button', { textContent: 'OK', value: 'ok' });
  const cancel = element('button', { textContent: 'Cancel', value: 'cancel' });
  const dialog = element('dialog', { className: 'controllers-dialog' },
    element('form', { method: 'dialog' }, element('h3', { textContent: 'Controllers' }), list,
      element('div', { className: 'buttons' }, ok, cancel)));
  document.body.append(dialog);
  dialog.showModal();
  const answer = await new Promise((resolve) => dialog.addEventListener('close', () => resolve(dialog.returnValue)));
  dialog.remove();
  return answer === 'ok' && list.value ? list.value : null;
}

// Floating editors for the helper's open controllers; others close.
async function showEditors(helper, age, refresh) {
  const open = new Map();
  for (const c of age.controllers) if (c.editor?.open) open.set(keyOf(helper, c), c);
  for (const [key, panel] of panels) {
    if (!open.has(key)) {
      panel.remove();
      panels.delete(key);
    }
  }
  for (const [key, c] of open) {
    let panel = panels.get(key);
    if (!panel) {
      panel = element('div', { className: 'controller-editor' });
      panel.style.right = `${360 + 20 * panels.size}px`;
      panel.style.top = `${80 + 20 * panels.size}px`;
      document.body.append(panel);
      panels.set(key, panel);
    }
    await drawEditor(panel, helper, c, refresh);
  }
}

async function drawEditor(panel, helper, c, refresh) {
  const ed = c.editor;
  const change = async (body) => {
    await refresh(await api(controllerPath(helper, 'set'), { ...named(c), ...body }));
    await sceneChanged();
  };
  const param = (name) => ed.params.find((r) => r.name === name);
  const numberRow = (name, enabled, limits = {}) => {
    const row = param(name);
    const input = element('input', { type: 'number', value: row.value, step: limits.step ?? 'any', disabled: !enabled });
    for (const k of ['min', 'max']) if ((limits[k] ?? row[k]) !== undefined) input[k] = limits[k] ?? row[k];
    input.dataset.param = name;
    input.onchange = () => change({ params: { [name]: Number(input.value) } }).catch(() => input.classList.add('bad'));
    return element('label', { className: 'row' }, name.replace(/^IPC /, '') + ':', input);
  };
  const propertyRow = (name, label = name) => element('label', { className: 'row' }, label,
    propertyInput(name, ed.properties[name], (value) => change({ properties: { [name]: value } })));

  const close = element('button', { className: 'close', textContent: '\u00d7', title: 'Close' });
  close.onclick = async () => refresh(await api(controllerPath(helper, 'edit'), { ...named(c), open: false }));
  const radios = element('div', { className: 'modes' });
  for (const mode of ed.modes) {
    const radio = element('input', { type: 'radio', name: `mode-${keyOf(helper, c)}`, value: mode, checked: ed.properties.Interpolation === mode });
    radio.onchange = () => change({ properties: { Interpolation: mode } });
    radios.append(element('label', {}, radio, mode));
  }
  const strip = element('canvas', { className: 'strip' });
  const curve = element('canvas', { className: 'curve' });
  const interpolation = element('fieldset', {}, element('legend', { textContent: 'Interpolation' }), radios,
    numberRow('IPC Value 1', ed.enabled.value1, { step: 0.05 }), numberRow('IPC Value 2', ed.enabled.value2, { step: 0.05 }),
    strip, curve, keysSection(helper, c, ed, refresh));
  const parts = [element('header', {}, element('span', { textContent: ed.title }), close), interpolation];
  if (ed.variation) parts.push(variationPage(ed, numberRow, propertyRow, change));
  await drawGraphs(helper, c, strip, curve);
  panel.dataset.title = ed.title;
  panel.replaceChildren(...parts);
}

function variationPage(ed, numberRow, propertyRow, change) {
  const page = element('fieldset', { className: 'variation' }, element('legend', { textContent: 'Parameter Variation' }),
    propertyRow('Use Variation', 'Use Variation:'));
  const v = ed.variation;
  const per = ed.enabled.perParticle;
  page.append(numberRow('Variation Strength', per));
  for (const name of ['Birth Variation', 'Death Variation']) {
    if (v === 'colors') {
      const row = paramInput(ed.params.find((r) => r.name === name), null, async () => {});
      const input = row.querySelector('input');
      input.disabled = !per;
      input.onchange = () => {
        const hex = input.value;
        change({ params: { [name]: [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16) / 255) } });
      };
      page.append(row);
    } else {
      page.append(numberRow(name, per, { step: v.step }));
    }
  }
  const age = ed.enabled.byAge;
  page.append(propertyRow('Seed', 'Seed:'), numberRow('Noise Frequency', age, { step: 0.005 }),
    numberRow('Noise Strength', age, { step: 0.5 }), propertyRow('Fractal Noise'), numberRow('Noise Roughness', age, { step: 0.005 }));
  page.querySelector('[data-property="Fractal Noise"]').disabled = !age;
  return page;
}

// The keyed parameters with their keys; a key at the current frame can be added to any
// animatable parameter, and any key deleted.
function keysSection(helper, c, ed, refresh) {
  const changeKeys = async (op, body) => {
    await refresh(await api(controllerPath(helper, op), { ...named(c), ...body }));
    await sceneChanged();
  };
  const list = element('ul', { className: 'keys' });
  for (const [name, keys] of Object.entries(ed.keys)) {
    for (const [frame, value] of keys) {
      const del = element('button', { textContent: '\u00d7', title: 'Delete key' });
      del.onclick = () => changeKeys('key/delete', { param: name, frame });
      const li = element('li', { textContent: `${name} @ ${frame}: ${Array.isArray(value) ? value.join(', ') : value} ` }, del);
      li.dataset.param = name;
      list.append(li);
    }
  }
  const which = element('select', { className: 'key-param' });
  for (const row of ed.params) if (row.kind !== 'bool') which.append(element('option', { value: row.name, textContent: row.name }));
  const add = element('button', { textContent: 'Key at current frame', className: 'add-key' });
  add.onclick = () => changeKeys('key', { param: which.value });
  return element('div', { className: 'key-editor' }, element('h4', { textContent: 'Keys' }), list, which, add);
}

// The two curve views, as the controller computes them for the canvases' sizes.
async function drawGraphs(helper, c, strip, curve) {
  const [sw, sh] = viewPixels('strip');
  const [cw, chh] = viewPixels('curve');
  const slot = c.slot ? `&slot=${encodeURIComponent(c.slot)}` : '';
  const graph = (w, h) => api(`${controllerPath(helper, 'graph')}?controller=${encodeURIComponent(c.controller)}${slot}&width=${w}&height=${h}`);
  const [s, k] = await Promise.all([graph(sw, sh), graph(cw, chh)]);
  Object.assign(strip, { width: sw, height: sh });
  Object.assign(curve, { width: cw, height: chh });
  let g = strip.getContext('2d');
  g.fillStyle = '#fff';
  g.fillRect(0, 0, sw, sh);
  s.strip.forEach(([r, gr, b], i) => {
    g.fillStyle = `rgb(${r},${gr},${b})`;
    g.fillRect(i + 1, 0, 1, sh);
  });
  frame3d(g, sw, sh);
  g = curve.getContext('2d');
  g.fillStyle = '#fff';
  g.fillRect(0, 0, cw, chh);
  g.strokeStyle = '#000';
  g.beginPath();
  k.curve.forEach(([x, y], i) => (i ? g.lineTo(x + 0.5, y + 0.5) : g.moveTo(x + 0.5, y + 0.5)));
  g.stroke();
  frame3d(g, cw, chh);
}

// A white three-dimensional frame around a view: light top-left, dark bottom-right.
function frame3d(g, w, h) {
  g.strokeStyle = '#808080';
  g.strokeRect(0.5, 0.5, w - 1, h - 1);
  g.strokeStyle = '#fff';
  g.beginPath();
  g.moveTo(w - 0.5, 0);
  g.lineTo(w - 0.5, h - 0.5);
  g.lineTo(0, h - 0.5);
  g.stroke();
}
