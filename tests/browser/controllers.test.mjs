// Replaces a helper's size controller through a right click and the Controllers dialog, sees
// the owner's set-up in the new controller's editor, and the curve view redraw when the
// interpolation changes.
import { expectNoMessages, previewPixels, runStudioTest } from './harness.mjs';

const curvePixels = (page, editor) => editor.locator('canvas.curve').evaluate((c) =>
  Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data));

await runStudioTest('controllers', async ({ page }) => {
  // The smoke helper's size controller varies per particle (Birth Variation 6).
  await page.locator('button[data-edit-current="Particle Shape"]').waitFor({ timeout: 30000 });
  await page.locator('#helpers li', { hasText: 'Smoke' }).click();
  await page.waitForFunction(() => document.getElementById('preset-path')?.value === 'Smoke.nbr');
  await page.locator('button', { hasText: 'Particle Age Parameters' }).click();
  const button = page.locator('fieldset.particle-age[data-helper="Smoke"] button.controller[data-controller="Size"]');
  await button.waitFor({ timeout: 30000 });
  await button.click();
  const editor = page.locator('.controller-editor[data-title="IPC - Size"]');
  const birth = editor.locator('input[data-param="Birth Variation"]');
  await birth.waitFor();
  if (Number(await birth.inputValue()) !== 6) throw new Error('the editor does not show the scene\'s Birth Variation');

  await button.click({ button: 'right' });
  const dialog = page.locator('dialog.controllers-dialog');
  await dialog.locator('select').selectOption('Default');
  await dialog.getByRole('button', { name: 'OK' }).click();

  // A new controller, set up as a size: 0 … 9999 in steps of 0.5, no variation yet.
  await page.waitForFunction(() => {
    const input = document.querySelector('.controller-editor input[data-param="Birth Variation"]');
    return input && input.value === '0';
  }, null, { timeout: 10000 });
  const limits = await birth.evaluate((i) => [i.min, i.max, i.step]);
  if (limits.join() !== '0,9999,0.5') throw new Error(`Birth Variation takes ${limits}, expected 0,9999,0.5`);
  if (await editor.locator('input[data-property="Use Variation"]').isChecked())
    throw new Error('the new controller kept the old one\'s variation switch');

  // Interpolate draws a slope, Step (at Value 1 = 0) the death value throughout.
  const value1 = editor.locator('input[data-param="IPC Value 1"]');
  if (!(await value1.isDisabled())) throw new Error('Value 1 takes input under Interpolate');
  const before = await curvePixels(page, editor);
  await editor.locator('input[type="radio"][value="Step"]').check();
  await page.waitForFunction(() => {
    const input = document.querySelector('.controller-editor input[data-param="IPC Value 1"]');
    return input && !input.disabled;
  }, null, { timeout: 10000 });
  const after = await curvePixels(page, editor);
  if (after.length !== before.length || after.every((v, i) => v === before[i]))
    throw new Error('the curve view did not change with the interpolation');

  // A plug-in's own controllers: FireBall's roll-up carries their buttons; one opens its editor.
  await page.locator('#helpers li', { hasText: 'Flames' }).click();
  await page.waitForFunction(() => document.getElementById('preset-path')?.value === 'Flames.nbr');
  await page.locator('button[data-edit-current="Particle Shape"]').click();
  const plugInButton = page.locator('fieldset[data-slot="Particle Shape"] button.plugin-controller').first();
  await plugInButton.waitFor({ timeout: 10000 });
  await plugInButton.click();
  await page.waitForFunction(() => [...document.querySelectorAll('.controller-editor')]
    .some((e) => e.dataset.title?.startsWith('IPC - ') && e.dataset.title !== 'IPC - Size'), null, { timeout: 10000 });
  // Requests that stopped a render to change the scene start it again: the preview ends drawn.
  await page.waitForFunction(async () => {
    const status = await (await fetch('/api/preview')).json();
    return !status.busy && document.getElementById('stop').disabled &&
      Number(document.getElementById('preview-image').dataset.render) === status.rendersEnded;
  }, null, { timeout: 60000, polling: 250 });
  const { data } = await previewPixels(page);
  if (!data.some((v, i) => i % 4 !== 3 && v > 0)) throw new Error('the preview is left black');
  await expectNoMessages(page);
});
