// Roll-ups generated from a parameter table and a property table, so new plug-ins need no
// page code of their own.
import { api, element, helperPath, sceneChanged, state } from './api.js';

// An input for one value of `row.kind`; each change goes to `send(value)`, and the input is
// marked while the server refuses it.
function valueInput(row, send) {
  let input;
  const value = () => {
    if (row.kind === 'bool') return input.checked;
    if (row.kind === 'color') return [1, 3, 5].map((i) => parseInt(input.value.slice(i, i + 2), 16) / 255);
    if (row.kind === 'point') return input.value.split(',').map(Number);
    if (row.kind === 'choice' || row.kind === 'string') return input.value;
    return Number(input.value);
  };
  if (row.kind === 'bool') {
    input = element('input', { type: 'checkbox', checked: row.value });
  } else if (row.kind === 'color') {
    const hex = (v) => Math.round(Math.min(1, Math.max(0, v)) * 255).toString(16).padStart(2, '0');
    input = element('input', { type: 'color', value: '#' + row.value.map(hex).join('') });
  } else if (row.kind === 'point') {
    input = element('input', { value: row.value.join(', ') });
  } else if (row.kind === 'choice') {
    input = element('select');
    for (const c of row.choices) input.append(element('option', { value: c, textContent: c, selected: c === row.value }));
  } else if (row.kind === 'string') {
    input = element('input', { value: row.value });
  } else {
    input = element('input', { type: 'number', value: row.value, step: row.kind === 'float' ? 'any' : 1 });
    if (row.min !== undefined) input.min = row.min;
    if (row.max !== undefined) input.max = row.max;
  }
  input.onchange = async () => {
    try {
      await send(value());
      input.classList.remove('bad');
    } catch {
      input.classList.add('bad');
    }
  };
  return input;
}

// One input per parameter, by kind; a change is sent at once and `changed` runs after it.
export function paramInput(row, slot, changed) {
  const input = valueInput(row, async (value) => {
    await api(helperPath(state.helper, '/param'), { slot, name: row.name, value });
    await changed();
  });
  input.dataset.param = row.name;
  input.disabled = row.animated;
  input.title = row.animated ? 'animated: keys are kept in the scene file' : '';
  return element('label', { className: 'row' }, row.name, input);
}

// One input per named property (a choice, a switch, a number ...), sent as parameters are.
export function propertyInput(row, slot, changed) {
  const input = valueInput(row, async (value) => {
    await api(helperPath(state.helper, '/property'), { slot, name: row.name, value });
    await changed();
  });
  input.dataset.property = row.name;
  input.title = row.help ?? '';
  return element('label', { className: 'row' }, row.name, input);
}

// A roll-up titled `title` with one row per parameter and per property of `slot` (null: the
// helper's own).
export function rollup(title, params, slot, extra = [], changed = sceneChanged, properties = []) {
  const set = element('fieldset', {}, element('legend', { textContent: title }), ...extra);
  set.dataset.slot = slot ?? '';
  for (const row of properties) set.append(propertyInput(row, slot, changed));
  for (const row of params) set.append(paramInput(row, slot, changed));
  return set;
}
