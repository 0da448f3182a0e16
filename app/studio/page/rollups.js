// The chosen helper's roll-ups ("Supports Objects of Type", "About...", "Parameter
// Selection", "Selected Particle Systems", "Particle Age", the plug-ins' roll-ups and "Quick
// Preview"), the "Nimbra Plug-Ins" dialog, and the filters' setup dialogs. The server's models
// decide what is enabled; the page draws it and forwards clicks.
import { $, api, element, helperPath, sceneChanged, showMessage, state } from './api.js';
import { addPlugInControllers, particleAgeRollup } from './controllers.js';
import { startPreview } from './preview.js';
import { rollup } from './params.js';

document.head.append(element('link', { rel: 'stylesheet', href: 'rollups.css' }));

const kSupports = ['- Particle Systems', '- Nimbra Image Filter', '- Nimbra Atmosphere'];
// The "Show" radio buttons of the plug-in dialog with their values (the hidden one left out).
const kShows = [[0, 'Particle Shape'], [2, 'Color Shader'], [3, 'Particle Composite'], [4, 'All']];

// What the page keeps for the shown helper: which roll-ups the user rolled up or down, and
// the check buttons that only open roll-ups.
const view = {
  helper: null, rolled: new Map(), selectSystems: false, particleAge: false, picking: false, panels: null, about: '',
};

// A roll-up: a titled group whose title rolls it up and down.
function panel(title, children, rolledUp = false) {
  const set = element('fieldset', { className: 'rollup' }, element('legend', { textContent: title }), ...children);
  set.dataset.rollup = title;
  set.classList.toggle('rolled-up', rolledUp);
  return set;
}

// Every roll-up's title rolls it, the generated ones and the Particle Age roll-up too; the
// page remembers the choice while the same helper is shown.
$('rollups').addEventListener('click', (e) => {
  const legend = e.target.closest('legend');
  if (!legend || legend.parentElement.parentElement !== $('rollups')) return;
  const set = legend.parentElement;
  view.rolled.set(legend.textContent, set.classList.toggle('rolled-up'));
});

function button(label, onclick, { enabled = true, title = '', pressed } = {}) {
  const b = element('button', { textContent: label, disabled: !enabled, title });
  if (pressed !== undefined) {
    b.classList.add('check');
    b.setAttribute('aria-pressed', String(pressed));
  }
  b.onclick = onclick;
  return b;
}

const redrawAll = async () => { await showHelper(view.helper); await sceneChanged(); };

// "Parameter Selection": the check buttons, the plug-ins' "Edit Current" and "O" buttons,
// "Scene Preview" and the effect library's Load and Save.
function parameterSelection(name, sel) {
  const selectSystems = async () => {
    view.selectSystems = !view.selectSystems;
    if (view.selectSystems) {
      view.particleAge = false;
      for (const p of view.panels.selection.plugIns.filter((q) => q.checked)) {
        await api(helperPath(name, '/edit-current'), { slot: p.slot, checked: false });
      }
    } else if (view.picking) {
      await api(helperPath(name, '/systems'), { action: 'endPick' });
    }
    await showHelper(name);
  };
  const particleAge = async () => { view.particleAge = !view.particleAge; await showHelper(name); };
  const plugIns = sel.plugIns.map((p) => {
    const edit = button(p.caption, async () => {
      await api(helperPath(name, '/edit-current'), { slot: p.slot, checked: !p.checked });
      await showHelper(name);
    }, { enabled: p.editEnabled, pressed: p.checked, title: `Edit Current: ${p.slot}` });
    edit.dataset.editCurrent = p.slot;
    const choose = button('O', () => openPlugInDialog(name, p.slot),
      { enabled: p.chooseEnabled, title: `Choose the ${p.slot}` });
    choose.dataset.choose = p.slot;
    return element('div', { className: 'plugin' }, element('span', { textContent: p.slot }), edit, choose);
  });
  const presetPath = element('input', { value: `${name}.nbr`, size: 20, id: 'preset-path' });
  const preset = (label, op, enabled) => button(label, async () => {
    const done = await api(helperPath(name, `/preset/${op}`), { path: presetPath.value });
    if (op === 'load') await redrawAll();
    else showMessage('Saved', done.path);
  }, { enabled });
  return panel('Parameter Selection', [
    button('Select Particle System', selectSystems, { enabled: sel.selectParticleSystem, pressed: view.selectSystems }),
    button('Particle Age Parameters', particleAge, { enabled: sel.particleAge, pressed: view.particleAge }),
    ...plugIns,
    button('Scene Preview', startPreview, { enabled: sel.scenePreview }),
    element('fieldset', { className: 'presets' }, element('legend', { textContent: 'Presets' }),
      presetPath, preset('Load', 'load', sel.load), preset('Save', 'save', sel.save)),
  ]);
}

// "Selected Particle Systems": Num, Particle, <<, >>, -- and Pick. While picking, a click on a
// node of the page's node list picks it.
function selectedSystems(name, sys) {
  const act = (action) => async () => {
    await api(helperPath(name, '/systems'), { action });
    if (action === 'delete') await redrawAll();
    else await showHelper(name);
  };
  return panel('Selected Particle Systems', [
    element('div', { className: 'row' }, 'Num:', element('output', { textContent: sys.num, id: 'system-num' })),
    element('div', { className: 'row' }, 'Particle:', element('output', { textContent: sys.particle, id: 'system-name' })),
    button('<<', act('previous'), { enabled: sys.previous, title: 'Previous' }),
    button('>>', act('next'), { enabled: sys.next, title: 'Next' }),
    button('--', act('delete'), { enabled: sys.delete, title: 'Delete' }),
    button('Pick', act(sys.picking ? 'endPick' : 'startPick'), { pressed: sys.picking, title: 'Add Particle System' }),
  ]);
}

const nodeName = (li) => li.textContent.slice(0, li.textContent.lastIndexOf(' ('));

function markPickable(sys) {
  view.picking = sys.picking;
  for (const li of $('nodes').children) li.classList.toggle('pickable', sys.pickable.includes(nodeName(li)));
}

$('nodes').addEventListener('click', async (e) => {
  const li = e.target.closest('li');
  if (!li || !view.picking || !li.classList.contains('pickable')) return;
  await api(helperPath(view.helper, '/systems'), { action: 'pick', node: nodeName(li) });
  await redrawAll();
});

// "Quick Preview": the shape's one particle at the slider's age. The server answers it only
// while no scene preview renders (both draw with the same plug-ins), so the page asks again
// until the image comes or the roll-up is gone.
function quickPreview(name, qp) {
  const img = element('img', { width: qp.width, height: qp.height, alt: 'quick preview', id: 'quick-preview' });
  let version = 0;
  const load = async () => {
    const mine = ++version;
    for (;;) {
      img.src = `/api/${helperPath(name, '/quick-preview.png')}?v=${Date.now()}-${mine}`;
      try {
        await img.decode();
        return;
      } catch {
        await new Promise((r) => setTimeout(r, 250));
        if (mine !== version || !img.isConnected) return;
      }
    }
  };
  const age = element('input', { type: 'range', min: 0, max: qp.life, value: qp.age, id: 'quick-age' });
  age.onchange = async () => { await api(helperPath(name, '/quick-preview'), { age: Number(age.value) }); await load(); };
  const transparent = element('input', { type: 'checkbox', checked: qp.showTransparent });
  transparent.onchange = async () => {
    await api(helperPath(name, '/quick-preview'), { showTransparent: transparent.checked });
    await load();
  };
  const set = panel('Quick Preview', [img, element('label', { className: 'row' }, 'Age', age),
    element('label', {}, transparent, ' Show transparent effect')]);
  return { set, load };
}

export async function showHelper(name) {
  const opening = view.helper !== name;
  if (opening && view.picking && view.helper) {
    await api(helperPath(view.helper, '/systems'), { action: 'endPick' }).catch(() => {});
  }
  state.helper = name;
  for (const li of $('helpers').children) li.classList.toggle('chosen', li.textContent === name);
  const h = await api(helperPath(name));
  const p = await (opening ? api(helperPath(name, '/panels/open'), {}) : api(helperPath(name, '/panels')));
  view.panels = p;
  if (opening) {
    Object.assign(view, { helper: name, rolled: new Map(), selectSystems: false, particleAge: false, about: p.about.text });
    view.rolled.set('About...', !p.about.open);
  }
  const parts = [
    panel('Supports Objects of Type', kSupports.map((t) => element('div', { textContent: t })), true),
    panel('About...', [element('pre', { textContent: view.about })]),
    parameterSelection(name, p.selection),
  ];
  if (view.selectSystems) parts.push(selectedSystems(name, p.systems));
  if (view.particleAge) {
    parts.push(particleAgeRollup(h) ?? rollup('Particle Age', h.params, null, [], redrawAll, h.propertyTable));
  }
  let preview = null;
  for (const plugIn of p.selection.plugIns.filter((q) => q.checked)) {
    const slot = h.slots.find((s) => s.name === plugIn.slot);
    const set = rollup(`${slot.name}: ${slot.class}`, slot.params, slot.name, [], redrawAll, slot.propertyTable);
    addPlugInControllers(set, name, slot.name);
    parts.push(set);
    if (slot.name === 'Particle Shape' && p.quickPreview.available) {
      preview = quickPreview(name, p.quickPreview);
      parts.push(preview.set);
    }
  }
  for (const set of parts) {
    const title = set.querySelector(':scope > legend')?.textContent;
    if (view.rolled.has(title)) set.classList.toggle('rolled-up', view.rolled.get(title));
  }
  $('rollups').replaceChildren(...parts);
  markPickable(p.systems);
  if (preview) preview.load();
}

// The "Nimbra Plug-Ins" dialog of an "O" button: a modal over the server's dialog model.
const chooser = element('dialog', { id: 'plugin-dialog', className: 'modal' });
document.body.append(chooser);

function drawChooser(d) {
  const post = async (body) => drawChooser(await api('plugin-dialog', body));
  const rows = d.items.map((item, i) => {
    const tr = element('tr', { className: i === d.selected ? 'selected' : '' },
      element('td', { textContent: item.type }), element('td', { textContent: item.description }));
    tr.onclick = () => post({ select: [i] });
    tr.ondblclick = () => ok();
    return tr;
  });
  const shows = kShows.map(([value, label]) => {
    const radio = element('input', { type: 'radio', name: 'show', checked: d.show === value });
    radio.onchange = () => post({ show: value });
    return element('label', {}, radio, ' ' + label);
  });
  const about = element('pre', { className: 'about' });
  const ok = async () => {
    await api('plugin-dialog/ok', {});
    chooser.close();
    await redrawAll();
  };
  chooser.replaceChildren(
    element('h3', { textContent: d.title }),
    element('div', {}, 'Current Selection: ', element('b', { textContent: d.currentSelection })),
    element('div', { className: 'list' }, element('table', {},
      element('thead', {}, element('tr', {}, ...d.columns.map((c) =>
        element('th', { textContent: c.title, style: `width: ${c.width}px` })))),
      element('tbody', {}, ...rows))),
    element('fieldset', { className: 'show' }, element('legend', { textContent: 'Show' }), ...shows),
    about,
    element('div', { className: 'buttons' },
      button('About', async () => {
        const a = await api('plugin-dialog/about');
        about.textContent = `${a.title}\nAuthor: ${a.author}\n${a.notice}\nDescription: ${a.description}`;
      }, { enabled: d.aboutEnabled }),
      button('OK', ok, { enabled: d.okEnabled }),
      button('Cancel', cancelChooser)),
  );
}

async function cancelChooser() {
  await api('plugin-dialog/cancel', {}).finally(() => chooser.close());
}
// Escape cancels as the Cancel button does.
chooser.addEventListener('cancel', (e) => { e.preventDefault(); cancelChooser(); });

async function openPlugInDialog(name, slot) {
  drawChooser(await api(helperPath(name, '/plugin-dialog'), { slot }));
  chooser.showModal();
}

// The filters' setup dialogs, listed in a "Filters" section beside the nodes.
const filterDialog = element('dialog', { id: 'filter-dialog', className: 'modal' });
document.body.append(filterDialog);

function numberRow(label, value, [min, max, step = 1], send) {
  const input = element('input', { type: 'number', value, min, max, step: step === 1 ? 1 : 'any' });
  input.onchange = () => send(Number(input.value));
  input.dataset.control = label;
  return element('label', { className: 'row' }, label, input);
}

function drawFilterDialog(f) {
  const change = async (body) =>
    drawFilterDialog({ ...(await api(`filters/${f.index}/setup/change`, body)), index: f.index });
  const close = async (op) => {
    await api(`filters/${f.index}/setup/${op}`, {});
    filterDialog.close();
    if (op === 'ok') await sceneChanged();
  };
  const d = f.dialog;
  let controls;
  if (f.kind === 'shader') {
    const blur = element('input', { type: 'checkbox', checked: d.motionBlur });
    blur.onchange = () => change({ motionBlur: blur.checked });
    const duration = numberRow('Duration (frames):', d.duration, d.durationRange,
      (v) => change({ duration: v, subdivisions: d.subdivisions }));
    const subdivisions = numberRow('Duration Subdivisions:', d.subdivisions, d.subdivisionsRange,
      (v) => change({ duration: d.duration, subdivisions: v }));
    controls = [element('fieldset', {}, element('legend', { textContent: 'Motion Blur' }),
      element('label', {}, blur, ' Motion Blur'), duration, subdivisions)];
  } else {
    const camera = element('select');
    d.cameras.forEach((c, i) => camera.append(element('option', { value: i, textContent: c, selected: i === d.selectedCamera })));
    camera.onchange = () => change({ camera: Number(camera.value) });
    controls = [
      element('label', { className: 'row' }, 'Camera:', camera),
      element('div', { className: 'row' }, 'Camera node:', element('output', { textContent: d.cameraText })),
      numberRow('Duration (frames):', d.duration, d.durationRange, (v) => change({ duration: v })),
      numberRow('Duration Subdivisions:', d.subFrames, d.subFramesRange, (v) => change({ subFrames: v })),
      numberRow('Dither:', d.dither, d.ditherRange, (v) => change({ dither: v })),
    ];
  }
  filterDialog.dataset.index = f.index;
  filterDialog.replaceChildren(element('h3', { textContent: f.title }), ...controls,
    element('div', { className: 'buttons' }, button('OK', () => close('ok')), button('Cancel', () => close('cancel'))));
}

// Escape cancels as the Cancel button does.
filterDialog.addEventListener('cancel', (e) => {
  e.preventDefault();
  api(`filters/${filterDialog.dataset.index}/setup/cancel`, {}).finally(() => filterDialog.close());
});

async function setUpFilters() {
  const list = element('ul', { id: 'filters' });
  document.querySelector('nav').append(element('h2', { textContent: 'Filters' }), list);
  for (const f of await api('filters')) {
    const setup = button('Setup', async () => {
      drawFilterDialog({ ...(await api(`filters/${f.index}/setup`, {})), index: f.index });
      filterDialog.showModal();
    });
    list.append(element('li', {}, `${f.index + 1}. ${f.class} `, setup));
  }
}

setUpFilters();
