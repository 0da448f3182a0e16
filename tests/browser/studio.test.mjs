// Opens the studio on a scene, changes a FireBall parameter in its generated roll-up and
// checks that the preview changes.
import { expectNoMessages, previewPixels, runStudioTest } from './harness.mjs';

await runStudioTest('studio', async ({ page }) => {
  // The shape's roll-up opens with its "Edit Current" button.
  await page.locator('button[data-edit-current="Particle Shape"]').click({ timeout: 30000 });
  const input = page.locator('fieldset[data-slot="Particle Shape"] input[data-param="Birth Noise Size"]');
  await input.waitFor({ timeout: 30000 });
  const before = await previewPixels(page);
  if (before.width !== 314 || before.height !== 199)
    throw new Error(`preview is ${before.width} x ${before.height}, expected 314 x 199`);

  const value = Number(await input.inputValue());
  await input.fill(String(value * 3));
  await input.dispatchEvent('change');
  const after = await previewPixels(page, before);
  if (after.data.every((v, i) => v === before.data[i]))
    throw new Error('the preview did not change with Birth Noise Size');
  await expectNoMessages(page);
});
