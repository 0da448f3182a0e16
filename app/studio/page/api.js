// What every part of the page shares: the API call with the session's token, element
// building, the message list, and which helper is shown.
export const token = new URLSearchParams(location.search).get('token') ?? '';
export const $ = (id) => document.getElementById(id);
export const state = { helper: null };

// Calls /api/<path>; with a body, POSTs it as JSON. A refusal is shown and thrown.
export async function api(path, body) {
  const init = { headers: { 'X-Nimbra-Token': token } };
  if (body !== undefined) {
    init.method = 'POST';
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const res = await fetch('/api/' + path, init);
  const answer = await res.json();
  // A change may have restarted the preview's render on the server.
  if (body !== undefined) for (const f of postListeners) f();
  if (!res.ok) {
    showMessage('Nimbra', answer.error ?? res.statusText);
    throw new Error(answer.error);
  }
  return answer;
}

const postListeners = [];
// `f` runs after every request that posts (without waiting for it).
export const onPost = (f) => postListeners.push(f);

export const helperPath = (name, rest = '') => `helpers/${encodeURIComponent(name)}${rest}`;

export function showMessage(title, text) {
  const li = document.createElement('li');
  li.textContent = `${title}: ${text}`;
  $('messages').prepend(li);
}

export function element(tag, props = {}, ...children) {
  const e = Object.assign(document.createElement(tag), props);
  e.append(...children);
  return e;
}

// Listeners for "the scene changed": the preview restarts, open editors redraw.
const changeListeners = [];
export const onSceneChange = (f) => changeListeners.push(f);
export async function sceneChanged() {
  for (const f of changeListeners) await f();
}
