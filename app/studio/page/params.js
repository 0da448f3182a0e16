// Roll-ups generated from a parameter table, so new plug-ins need no page code of their own.
import { api, element, helperPath, sceneChanged, state } from './api.js';

// One input per parameter, by kind; a change is sent at once and `changed` runs after it.
export function paramInput(row, slot, changed) {
  const send = async (value, input) => {
    try {
      await api(helperPath(state.helper, '/param'), { slot, name: row.name, value });
      input.classList.remove('bad');
      await changed();
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

// A roll-up titled `title` with one row per parameter of `slot` (null: the helper's own).
export function rollup(title, params, slot, extra = [], changed = sceneChanged) {
  const set = element('fieldset', {}, element('legend', { textContent: title }), ...extra);
  set.dataset.slot = slot ?? '';
  for (const row of params) set.append(paramInput(row, slot, changed));
  return set;
}
