// The studio page: draws what the server's API answers and forwards the user's actions.
// Roll-ups are generated from each plug-in's parameter table, so new plug-ins need no page code.
const token = new URLSearchParams(location.search).get('token') ?? '';
const $ = (id) => document.getElementById(id);
let helper = null;
let lastMessage = 0;
let shownVersion = -1;

async function api(path, body) {
  const init = { headers: { 'X-Nimbra-Token': token } };
  if (body !== undefined) {
    init.method = 'POST';
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const res = await fetch('/api/' + path, init);
  const answer = await res.json();
  if (!res.ok) {
    showMessage('Nimbra', answer.error ?? res.statusText);
    throw new Error(answer.error);
  }
  return answer;
}

function showMessage(title, text) {
  const li = document.createElement('li');
  li.textContent = `${title}: ${text}`;
  $('messages').prepend(li);
}

function element(tag, props = {}, ...children) {
  const e = Object.assign(document.createElement(tag), props);
  e.append(...children);
  return e;
}

// One input per parameter, by kind; a change is sent at once and the roll-up redrawn.
function paramInput(row, slot) {
  const send = async (value, input) => {
    try {
      await api(`helpers/${encodeURIComponent(helper)}/param`, { slot, name: row.name, value });
      input.classList.remove('bad');
      await showHelper(helper);
      startPreview();
    } catch {
      input.classList.add('bad');
    }
  };
  let input;
  if (row.kind === 'bool') {
    input = element('input', { type: 'checkbox', checked: row.value });
    input.onchange = () => send(input.checked, input);
  } else if (row.kind === 'color') {
    const hex = (v) => Math.round(Math.min(1, Math.max(0, v)) * 255).toString(16).padStart(2, '0');
    input = element('input', { type: 'color', value: '#' + row.value.map(hex).join('') });
    input.onchange = () => {
      const v = input.value;
      send([1, 3, 5].map((i) => parseInt(v.slice(i, i + 2), 16) / 255), input);
    };
  } else if (row.kind === 'point') {
    input = element('input', { value: row.value.join(', ') });
    input.onchange = () => send(input.value.split(',').map(Number), input);
  } else {
    input = element('input', { type: 'number', value: row.value, step: row.kind === 'float' ? 'any' : 1 });
    if (row.min !== undefined) input.min = row.min;
    if (row.max !== undefined) input.max = row.max;
    input.onchange = () => send(Number(input.value), input);
  }
  input.dataset.param = row.name;
  input.disabled = row.animated;
  input.title = row.animated ? 'animated: keys are kept in the scene file' : '';
  return element('label', { className: 'row' }, row.name, input);
}

function rollup(title, params, slot, extra = []) {
  const set = element('fieldset', {}, element('legend', { textContent: title }), ...extra);
  set.dataset.slot = slot ?? '';
  for (const row of params) set.append(paramInput(row, slot));
  return set;
}

async function showHelper(name) {
  helper = name;
  for (const li of $('helpers').children) li.classList.toggle('chosen', li.textContent === name);
  const h = await api(`helpers/${encodeURIComponent(name)}`);
  const parts = [rollup(h.name, h.params, null)];
  for (const slot of h.slots) {
    const chooser = element('select', { className: 'chooser' });
    for (const c of slot.choices) {
      chooser.append(element('option', {
        value: c.class, textContent: c.class, title: c.description, selected: c.class === slot.class,
      }));
    }
    chooser.onchange = async () => {
      await api(`helpers/${encodeURIComponent(name)}/plugin`, { slot: slot.name, class: chooser.value });
      await showHelper(name);
      startPreview();
    };
    parts.push(rollup(`${slot.name}: ${slot.class}`, slot.params, slot.name, [chooser]));
  }
  const presetPath = element('input', { value: `${name}.nbr`, size: 20 });
  const presetButton = (label, op) => {
    const b = element('button', { textContent: label });
    b.onclick = async () => {
      await api(`helpers/${encodeURIComponent(name)}/preset/${op}`, { path: presetPath.value });
      if (op === 'load') { await showHelper(name); startPreview(); }
    };
    return b;
  };
  parts.push(element('fieldset', {}, element('legend', { textContent: 'Effect Library' }),
    presetPath, presetButton('Load', 'load'), presetButton('Save', 'save')));
  $('rollups').replaceChildren(...parts);
}

async function startPreview() {
  await api('preview/start', { halfSize: $('half-size').checked });
  poll();
}

let polling = false;
async function poll() {
  if (polling) return;
  polling = true;
  try {
    for (;;) {
      const s = await api('preview');
      $('progress').max = Math.max(1, s.total);
      $('progress').value = s.done;
      $('caption').textContent = s.caption;
      $('stop').disabled = !s.busy;
      if (!s.busy && s.version !== shownVersion) {
        shownVersion = s.version;
        const png = await fetch(`/api/preview.png?token=${token}&v=${s.version}`);
        if (png.ok) $('preview-image').src = URL.createObjectURL(await png.blob());
      }
      await pollMessages();
      if (!s.busy) break;
      await new Promise((r) => setTimeout(r, 100));
    }
  } finally {
    polling = false;
  }
}

async function pollMessages() {
  for (const m of await api(`messages?since=${lastMessage}`)) {
    lastMessage = m.id;
    showMessage(m.title, m.text);
  }
}

async function main() {
  const scene = await api('scene');
  $('scene-name').textContent = scene.scene;
  for (const n of scene.helpers) {
    const li = element('li', { textContent: n });
    li.onclick = () => showHelper(n);
    $('helpers').append(li);
  }
  for (const n of scene.nodes) $('nodes').append(element('li', { textContent: `${n.name} (${n.class})` }));
  const frame = $('frame');
  Object.assign(frame, { min: scene.range[0], max: scene.range[1], value: scene.frame });
  $('frame-value').textContent = scene.frame;
  frame.oninput = () => { $('frame-value').textContent = frame.value; };
  frame.onchange = async () => {
    await api('frame', { frame: Number(frame.value) });
    if (helper) await showHelper(helper);
    startPreview();
  };
  $('preview').onclick = startPreview;
  $('update').onclick = startPreview;
  $('stop').onclick = () => api('preview/stop', {}).then(poll);
  $('half-size').onchange = startPreview;
  $('save').onclick = async () => {
    const saved = await api('save', { path: $('save-path').value });
    showMessage('Saved', saved.path);
  };
  if (scene.helpers.length) await showHelper(scene.helpers[0]);
  await pollMessages();
  startPreview();
}

main();
