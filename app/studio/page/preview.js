// The "Nimbra - Preview" window: its buttons, progress, and the finished image.
import { $, api, onSceneChange, showMessage, token } from './api.js';

let shownVersion = -1;
let lastMessage = 0;
let polling = false;

export async function startPreview() {
  await api('preview/start', { halfSize: $('half-size').checked });
  poll();
}

export async function pollMessages() {
  for (const m of await api(`messages?since=${lastMessage}`)) {
    lastMessage = m.id;
    showMessage(m.title, m.text);
  }
}

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

export function setUpPreview() {
  $('preview').onclick = startPreview;
  $('update').onclick = startPreview;
  $('stop').onclick = () => api('preview/stop', {}).then(poll);
  $('half-size').onchange = startPreview;
  onSceneChange(startPreview);
}
