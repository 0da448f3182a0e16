// What the studio's browser tests share: a studio started on a scene, headless Chromium on
// its page, the preview's pixels, and a screenshot of the page kept when a test fails.
// A test file exports nothing: it calls `runStudioTest(name, async ({ page, studio }) => …)`.
// Usage of a test file: node X.test.mjs NIMBRA SCENE SCREENSHOT_DIR
import { spawn } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const [program, scene, shots] = process.argv.slice(2);
const browserPath = process.env.NIMBRA_CHROMIUM ?? '/usr/bin/chromium';

function startStudio(args) {
  const child = spawn(program, ['studio', scene, ...args], { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (data) => {
      out += data;
      const url = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=(\w+)/);
      if (url) resolve({ child, url: url[0], token: url[1], origin: new URL(url[0]).origin });
    });
    child.on('exit', (code) => reject(new Error(`nimbra studio ended with ${code}: ${out}`)));
  });
}

// The preview's pixels as the page shows them, once the page shows the image of a render
// that ended after `previous` (an earlier answer of this function or the preview status from
// before the render was asked for; none: any image).
export async function previewPixels(page, previous = null) {
  const after = previous?.rendersEnded ?? -1;
  await page.waitForFunction((n) => {
    const img = document.getElementById('preview-image');
    return Number(img.dataset.render ?? -1) > n && img.complete && img.naturalWidth > 0 &&
      document.getElementById('stop').disabled;
  }, after, { timeout: 60000 });
  return page.evaluate(() => {
    const img = document.getElementById('preview-image');
    const canvas = Object.assign(document.createElement('canvas'),
      { width: img.naturalWidth, height: img.naturalHeight });
    const ctx = canvas.getContext('2d');
    ctx.drawImage(img, 0, 0);
    return { rendersEnded: Number(img.dataset.render), width: img.naturalWidth, height: img.naturalHeight,
      data: Array.from(ctx.getImageData(0, 0, canvas.width, canvas.height).data) };
  });
}

export const samePixels = (a, b) => a.data.length === b.data.length && a.data.every((v, i) => v === b.data[i]);

// Calls the studio's API directly (for set-up and checks the page does not show).
export async function apiCall(studio, route, body) {
  const init = { headers: { 'X-Nimbra-Token': studio.token } };
  if (body !== undefined) {
    init.method = 'POST';
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const res = await fetch(`${studio.origin}/api/${route}`, init);
  const answer = await res.json();
  if (!res.ok) throw new Error(`${route}: ${answer.error}`);
  return answer;
}

// Fails when the page lists any message.
export async function expectNoMessages(page) {
  const messages = await page.locator('#messages li').allTextContents();
  if (messages.length) throw new Error(`the page shows messages: ${messages.join(' | ')}`);
}

// Starts the studio, opens its page, runs `body`, keeps a screenshot on failure, stops the
// studio with SIGTERM (which must end it with 0) and exits with the outcome.
export async function runStudioTest(name, body, { studioArgs = [] } = {}) {
  const studio = await startStudio(studioArgs);
  const browser = await chromium.launch({ executablePath: browserPath, args: ['--no-sandbox'] });
  const page = await browser.newPage();
  let failed = false;
  try {
    await page.goto(studio.url);
    await body({ page, studio });
    console.log(`${name}: passed`);
  } catch (e) {
    failed = true;
    mkdirSync(shots, { recursive: true });
    const shot = path.join(shots, `${name}-failure.png`);
    await page.screenshot({ path: shot, fullPage: true }).catch(() => {});
    console.error(`${name} failed: ${e.stack ?? e.message}\nscreenshot: ${shot}`);
  } finally {
    await browser.close();
    studio.child.removeAllListeners('exit');
    studio.child.kill('SIGTERM');
    const code = await new Promise((r) => studio.child.on('exit', r));
    if (code !== 0) {
      console.error(`nimbra studio ended with ${code} after SIGTERM`);
      failed = true;
    }
  }
  process.exit(failed ? 1 : 0);
}
