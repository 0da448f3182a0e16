// Opens the studio on a scene in headless Chromium, changes a FireBall parameter in its
// generated roll-up and checks that the preview changes. On failure the page's screenshot is
// kept in the folder given as third argument.
// Usage: node studio.test.mjs NIMBRA SCENE SCREENSHOT_DIR
import { spawn } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

const [program, scene, shots] = process.argv.slice(2);
const browserPath = process.env.NIMBRA_CHROMIUM ?? '/usr/bin/chromium';

function startStudio() {
  const child = spawn(program, ['studio', scene], { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (data) => {
      out += data;
      const url = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=\w+/);
      if (url) resolve({ child, url: url[0] });
    });
    child.on('exit', (code) => reject(new Error(`nimbra studio ended with ${code}: ${out}`)));
  });
}

// The preview's pixels as the page shows them, once a finished image is shown.
async function previewPixels(page, previousSrc) {
  await page.waitForFunction((prev) => {
    const img = document.getElementById('preview-image');
    return img.src && img.src !== prev && img.complete && img.naturalWidth > 0 &&
      document.getElementById('stop').disabled;
  }, previousSrc, { timeout: 60000 });
  return page.evaluate(() => {
    const img = document.getElementById('preview-image');
    const canvas = Object.assign(document.createElement('canvas'),
      { width: img.naturalWidth, height: img.naturalHeight });
    const ctx = canvas.getContext('2d');
    ctx.drawImage(img, 0, 0);
    return { src: img.src, width: img.naturalWidth, height: img.naturalHeight,
      data: Array.from(ctx.getImageData(0, 0, canvas.width, canvas.height).data) };
  });
}

const studio = await startStudio();
const browser = await chromium.launch({ executablePath: browserPath, args: ['--no-sandbox'] });
const page = await browser.newPage();
let failed = false;
try {
  await page.goto(studio.url);
  const input = page.locator('fieldset[data-slot="Particle Shape"] input[data-param="Birth Noise Size"]');
  await input.waitFor({ timeout: 30000 });
  const before = await previewPixels(page, '');
  if (before.width !== 314 || before.height !== 199)
    throw new Error(`preview is ${before.width} x ${before.height}, expected 314 x 199`);

  const value = Number(await input.inputValue());
  await input.fill(String(value * 3));
  await input.dispatchEvent('change');
  const after = await previewPixels(page, before.src);
  const changed = after.data.some((v, i) => v !== before.data[i]);
  if (!changed) throw new Error('the preview did not change with Birth Noise Size');
  const errors = await page.locator('#messages li').allTextContents();
  if (errors.length) throw new Error(`the page shows messages: ${errors.join(' | ')}`);
  console.log('studio browser test: preview changed with a FireBall parameter');
} catch (e) {
  failed = true;
  mkdirSync(shots, { recursive: true });
  const shot = path.join(shots, 'studio-failure.png');
  await page.screenshot({ path: shot, fullPage: true }).catch(() => {});
  console.error(`studio browser test failed: ${e.message}\nscreenshot: ${shot}`);
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
