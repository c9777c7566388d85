// ?bench runs the whole show on the virtual clock, as the native build's
// --benchmark does, and must end with the same frames digest: every one of
// the 21,461 frames identical to the native build's.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { openPage, session, waitForState } from './lib/browser.mjs';
import { goldenDigest } from './lib/native.mjs';

let s;
before(async () => { s = await session(); });
after(async () => { await s?.close(); });

test('?bench renders the whole show with the native frames digest', { timeout: 300_000 }, async t => {
    const { page, problems } = await openPage(s.context, s.url('?bench'));
    const started = Date.now();
    await waitForState(page, 'ready', 280_000);
    const report = await page.locator('pre#bench').innerText();
    t.diagnostic(`the whole show took ${((Date.now() - started) / 1000).toFixed(1)} s in the browser`);
    for (const line of report.split('\n').filter(l => /mean|digest|simd/.test(l))) t.diagnostic(line);
    const digest = /^frames digest ([0-9a-f]{16})$/m.exec(report);
    assert.ok(digest, `no line "frames digest XXXXXXXXXXXXXXXX" in the report:\n${report}`);
    assert.equal(digest[1], goldenDigest(), 'the frames digest equals the native build\'s');
    assert.deepEqual(problems, []);
    await page.close();
});
