// The studio page: draws what the server's API answers and forwards the user's actions.
import { $, api, element, sceneChanged, showMessage, state } from './api.js';
import { pollMessages, setUpPreview, startPreview } from './preview.js';
import { showHelper } from './rollups.js';

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
    if (state.helper) await showHelper(state.helper);
    await sceneChanged();
  };
  await setUpPreview();
  $('save').onclick = async () => {
    const saved = await api('save', { path: $('save-path').value });
    showMessage('Saved', saved.path);
  };
  if (scene.helpers.length) await showHelper(scene.helpers[0]);
  await pollMessages();
  await startPreview();
}

main();
