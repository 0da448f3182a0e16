// The helper's roll-ups on the demo: another shape chosen through the "O" button's plug-in
// dialog brings its roll-up; an effect preset saved on one helper and loaded into the other
// shows the first helper's values in the other's roll-ups.
import { rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { apiCall, expectNoMessages, runStudioTest } from './harness.mjs';

const preset = path.join(tmpdir(), `nimbra-rollups-${process.pid}.nbr`);

await runStudioTest('rollups', async ({ page, studio }) => {
  try {
    await chooseAndLoad(page, studio);
  } finally {
    rmSync(preset, { force: true });
  }
});

async function chooseAndLoad(page, studio) {
  const editCurrent = (slot) => page.locator(`button[data-edit-current="${slot}"]`);
  const showHelper = async (name) => {
    await page.locator('#helpers li', { hasText: name }).click();
    await page.waitForFunction((n) => document.getElementById('preset-path')?.value === `${n}.nbr`, name);
  };
  // What a roll-up shows of the colour shader: a colour parameter and a choice property.
  const colours = async () => {
    const set = page.locator('fieldset[data-slot="Color Shader"]');
    return [await set.locator('input[data-param="Birth Color 1"]').inputValue(),
      await set.locator('select[data-property="Number Of Colors"]').inputValue()];
  };
  await editCurrent('Particle Shape').waitFor({ timeout: 30000 });

  // The plug-in dialog lists shapes; choosing Smoke replaces FireBall.
  await page.locator('button[data-choose="Particle Shape"]').click();
  const dialog = page.locator('#plugin-dialog');
  await dialog.locator('td', { hasText: /^Smoke$/ }).click();
  await dialog.locator('button', { hasText: 'OK' }).click();
  await dialog.waitFor({ state: 'hidden' });
  await page.locator('button[data-edit-current="Particle Shape"]', { hasText: 'Smoke' }).click();
  await page.locator('fieldset[data-slot="Particle Shape"] legend', { hasText: 'Particle Shape: Smoke' }).waitFor();
  const flames = await apiCall(studio, 'helpers/Flames');
  if (flames.slots.find((s) => s.name === 'Particle Shape').class !== 'Smoke')
    throw new Error('the plug-in dialog did not replace the shape');

  // Save Flames' set-up, load it into Smoke, and see Flames' colours in Smoke's roll-up.
  await editCurrent('Color Shader').click();
  const saved = await colours();
  await page.fill('#preset-path', preset);
  await page.locator('.presets button', { hasText: 'Save' }).click();
  await page.locator('#messages li', { hasText: preset }).waitFor();
  await page.locator('#messages li').evaluateAll((items) => items.forEach((li) => li.remove()));

  await showHelper('Smoke');
  await editCurrent('Color Shader').click();
  const before = await colours();
  if (before.join() === saved.join()) throw new Error(`Smoke shows Flames' colours already: ${before}`);
  await page.fill('#preset-path', preset);
  await page.locator('.presets button', { hasText: 'Load' }).click();
  await page.waitForFunction((want) => {
    const set = document.querySelector('fieldset[data-slot="Color Shader"]');
    return set?.querySelector('input[data-param="Birth Color 1"]')?.value === want;
  }, saved[0]);
  const loaded = await colours();
  if (loaded.join() !== saved.join()) throw new Error(`Smoke shows ${loaded}, expected ${saved}`);
  await expectNoMessages(page);
}
