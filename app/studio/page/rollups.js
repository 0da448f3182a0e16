// The chosen helper's roll-ups.
import { $, api, element, helperPath, sceneChanged, state } from './api.js';
import { particleAgeRollup } from './controllers.js';
import { rollup } from './params.js';

export async function showHelper(name) {
  state.helper = name;
  for (const li of $('helpers').children) li.classList.toggle('chosen', li.textContent === name);
  const h = await api(helperPath(name));
  const redraw = async () => { await showHelper(name); await sceneChanged(); };
  const parts = [rollup(h.name, h.params, null, [], redraw)];
  const age = particleAgeRollup(h);
  if (age) parts.push(age);
  for (const slot of h.slots) {
    const chooser = element('select', { className: 'chooser' });
    for (const c of slot.choices) {
      chooser.append(element('option', {
        value: c.class, textContent: c.class, title: c.description, selected: c.class === slot.class,
      }));
    }
    chooser.onchange = async () => {
      await api(helperPath(name, '/plugin'), { slot: slot.name, class: chooser.value });
      await redraw();
    };
    parts.push(rollup(`${slot.name}: ${slot.class}`, slot.params, slot.name, [chooser], redraw));
  }
  const presetPath = element('input', { value: `${name}.nbr`, size: 20 });
  const presetButton = (label, op) => {
    const b = element('button', { textContent: label });
    b.onclick = async () => {
      await api(helperPath(name, `/preset/${op}`), { path: presetPath.value });
      if (op === 'load') await redraw();
    };
    return b;
  };
  parts.push(element('fieldset', {}, element('legend', { textContent: 'Effect Library' }),
    presetPath, presetButton('Load', 'load'), presetButton('Save', 'save')));
  $('rollups').replaceChildren(...parts);
}
