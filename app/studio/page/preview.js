// The "Nimbra - Preview" window: its controls as the server's window model holds them,
// progress, the finished image, and the render region drawn with the mouse.
import { $, api, element, onPost, onSceneChange, showMessage, token } from './api.js';

let shownVersion = -1;
let lastMessage = 0;
let polling = false;
let status = null;

const controlId = (caption) => (caption === 'Stop' ? 'stop' : 'control-' + caption.toLowerCase().replace(/\W+/g, '-'));

// Starts a render of the current scene (Preview, or Update once Preview is on).
export async function startPreview() {
  show(await api('preview/start', {}));
  poll();
}

// After a scene change: renders again while Preview is on.
async function refresh() {
  if (status?.controls.find((c) => c.caption === 'Preview')?.checked) await startPreview();
}

export async function pollMessages() {
  for (const m of await api(`messages?since=${lastMessage}`)) {
    lastMessage = m.id;
    showMessage(m.title, m.text);
  }
}

async function press(caption) {
  if (caption === 'MakeBitmap') {
    window.open(`/api/preview.png?token=${token}&v=${shownVersion}`, '_blank');
    return;
  }
  show(await api('preview/press', { control: caption }));
  poll();
}

function controlElement(c) {
  const button = element('button', { id: controlId(c.caption), textContent: c.caption, title: c.tooltip });
  button.onclick = () => press(c.caption);
  if (!c.flyOff) return button;
  // Step Size and Shadow Detail multiply by the chosen factor (entry + 2).
  const factor = element('select', { title: `${c.tooltip}: factor`, id: controlId(c.caption) + '-factor' });
  for (let e = 0; e < c.flyOff.entries; ++e) factor.append(element('option', { value: e, textContent: `×${e + 2}` }));
  factor.onchange = async () => show(await api('preview/flyoff', { control: c.caption, entry: Number(factor.value) }));
  return element('span', {}, button, factor);
}

// Draws what the status holds: control states, title, progress, region frame.
function show(s) {
  status = s;
  const box = $('preview-controls');
  if (!box.children.length) box.append(...s.controls.map(controlElement));
  for (const c of s.controls) {
    const button = $(controlId(c.caption));
    button.disabled = !c.enabled;
    if (c.check) button.setAttribute('aria-pressed', String(c.checked));
    if (c.flyOff) Object.assign($(controlId(c.caption) + '-factor'), { value: c.flyOff.entry, disabled: !c.enabled });
  }
  $('preview-title').textContent = s.title;
  $('progress').max = Math.max(1, s.total);
  $('progress').value = s.done;
  $('caption').textContent = s.caption;
  const regionOn = s.controls.find((c) => c.caption === 'Region')?.checked;
  $('preview-area').classList.toggle('region', regionOn);
  const [left, top, right, bottom] = s.region;
  Object.assign($('region-frame').style, {
    left: `${left}px`, top: `${top}px`, width: `${right - left}px`, height: `${bottom - top}px`,
  });
  $('region-frame').hidden = !regionOn;
}

// Follows the window until no render runs. A request made while a poll is under way makes
// that poll go round once more, so a render started meanwhile is not missed.
let pollAgain = false;
async function poll() {
  pollAgain = true;
  if (polling) return;
  polling = true;
  try {
    while (pollAgain) {
      pollAgain = false;
      const s = await api('preview');
      show(s);
      if (!s.busy && s.version !== shownVersion) {
        shownVersion = s.version;
        const png = await fetch(`/api/preview.png?token=${token}&v=${s.version}`);
        if (png.ok) {
          $('preview-image').src = URL.createObjectURL(await png.blob());
          $('preview-image').dataset.version = s.version;
          $('preview-image').dataset.render = s.rendersEnded;
        }
      }
      await pollMessages();
      if (s.busy) {
        pollAgain = true;
        await new Promise((r) => setTimeout(r, 100));
      }
    }
  } finally {
    polling = false;
  }
}

// Mouse on the image while Region is on: sent as the window would receive it.
function setUpRegion() {
  const area = $('preview-area');
  let dragging = false;
  const send = async (mouse, e) => {
    const box = area.getBoundingClientRect();
    const [ox, oy] = status.imageOrigin;
    show(await api('preview/mouse', {
      mouse, x: Math.round(e.clientX - box.left) + ox, y: Math.round(e.clientY - box.top) + oy,
    }));
  };
  area.onpointerdown = (e) => {
    if (!area.classList.contains('region')) return;
    dragging = true;
    area.setPointerCapture(e.pointerId);
    send('down', e);
  };
  let moving = false;  // one move in flight at a time; the next one catches up
  area.onpointermove = async (e) => {
    if (!dragging || moving) return;
    moving = true;
    try { await send('move', e); } finally { moving = false; }
  };
  area.onpointerup = (e) => {
    if (!dragging) return;
    dragging = false;
    send('up', e);
  };
}

export async function setUpPreview() {
  show(await api('preview'));
  setUpRegion();
  onSceneChange(refresh);
  onPost(() => { poll(); });
}
