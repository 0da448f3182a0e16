// The preview window in the page: a render stopped half way and another started gives the
// full image again; a region drawn with the mouse is shown and rendered; the scene saved from
// the page renders with `nimbra render` to the preview's image at its size.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { apiCall, expectNoMessages, previewPixels, program, runStudioTest, samePixels } from './harness.mjs';

// The pixels of a PNG file as the page decodes it.
async function filePixels(page, file) {
  const url = 'data:image/png;base64,' + readFileSync(file).toString('base64');
  return page.evaluate(async (src) => {
    const img = new Image();
    img.src = src;
    await img.decode();
    const canvas = Object.assign(document.createElement('canvas'), { width: img.width, height: img.height });
    const ctx = canvas.getContext('2d');
    ctx.drawImage(img, 0, 0);
    return { width: img.width, height: img.height, data: Array.from(ctx.getImageData(0, 0, img.width, img.height).data) };
  }, url);
}

const busy = (page) => page.evaluate(() => !document.getElementById('stop').disabled);

await runStudioTest('preview', async ({ page, studio }) => {
  const folder = mkdtempSync(path.join(tmpdir(), 'nimbra-preview-'));
  try {
    const full = await previewPixels(page);

    // Stop half way: once the render has reported progress, Stop ends it; Update then
    // renders the whole image again.
    let stopped = false;
    for (let attempt = 0; attempt < 5 && !stopped; ++attempt) {
      await page.click('#control-update');
      await page.waitForFunction(() => !document.getElementById('stop').disabled ||
        document.getElementById('progress').value > 0, null, { timeout: 30000 });
      if (await busy(page)) {
        await page.click('#stop');
        stopped = true;
      }
      await page.waitForFunction(() => document.getElementById('stop').disabled, null, { timeout: 30000 });
    }
    if (!stopped) throw new Error('no render lasted long enough to be stopped');
    // The stopped render's image is shown (whatever it holds), then Update renders anew.
    const { rendersEnded } = await apiCall(studio, 'preview');
    const stoppedImage = await previewPixels(page, { rendersEnded: rendersEnded - 1 });
    await page.click('#control-update');
    const again = await previewPixels(page, stoppedImage);
    if (!samePixels(full, again)) throw new Error('the render after Stop differs from the first full render');

    // A region drawn with the mouse: its frame is shown.
    await page.click('#control-region');
    const area = await page.locator('#preview-area').boundingBox();
    await page.mouse.move(area.x + 100, area.y + 60);
    await page.mouse.down();
    await page.mouse.move(area.x + 200, area.y + 120, { steps: 4 });
    await page.mouse.up();
    await page.waitForFunction(() => {
      const f = document.getElementById('region-frame');
      return !f.hidden && parseInt(f.style.width) > 90 && parseInt(f.style.height) > 50;
    }, null, { timeout: 10000 });
    // After a change, a region render draws the region only, with the change.
    const flames = await apiCall(studio, 'helpers/Flames');
    const size = flames.params.find((p) => p.name === 'Birth Size').value;
    await apiCall(studio, 'helpers/Flames/param', { name: 'Birth Size', value: size * 2 });
    const before = await apiCall(studio, 'preview');
    await page.click('#control-update');
    const region = await previewPixels(page, before);
    const [left, top, right, bottom] = before.region;
    let changedInside = 0, paintedOutside = 0;
    for (let i = 0; i < region.data.length; i += 4) {
      const x = (i >> 2) % region.width, y = Math.floor((i >> 2) / region.width);
      if (x >= left && x <= right && y >= top && y <= bottom) {
        if (region.data.slice(i, i + 4).some((v, k) => v !== again.data[i + k])) ++changedInside;
      } else if (region.data[i + 3] !== 0) ++paintedOutside;
    }
    if (!changedInside || paintedOutside)
      throw new Error(`region render: ${changedInside} pixels changed inside, ${paintedOutside} painted outside`);
    await apiCall(studio, 'helpers/Flames/param', { name: 'Birth Size', value: size });
    await page.click('#control-region');

    // Save the scene from the page and render it at the preview's size.
    await page.click('#control-update');
    const shown = await previewPixels(page, region);
    const saved = path.join(folder, 'saved.json');
    await page.fill('#save-path', saved);
    await page.click('#save');
    await page.waitForFunction(() => [...document.querySelectorAll('#messages li')]
      .some((li) => li.textContent.startsWith('Saved')), null, { timeout: 30000 });
    const frame = await page.inputValue('#frame');
    const run = spawnSync(program, ['render', saved, '--size', '314x199', '--frames', frame,
      '-o', path.join(folder, 'render.####.png'), '--progress', 'plain'], { encoding: 'utf8' });
    if (run.status !== 0) throw new Error(`nimbra render failed: ${run.stderr}`);
    const rendered = await filePixels(page, path.join(folder, `render.${frame.padStart(4, '0')}.png`));
    if (!samePixels(shown, rendered)) throw new Error('the saved scene renders differently from the preview');
    await page.evaluate(() => document.querySelectorAll('#messages li').forEach((li) => {
      if (li.textContent.startsWith('Saved')) li.remove();
    }));
    await expectNoMessages(page);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});
