// The browser build renders the same frames as the native one: ?at=SECONDS
// runs the show on the virtual clock up to that hundredth and leaves the
// frame on the canvas, which must equal the native headless frame byte for
// byte. One time in each of the show's seven scenes, one through the 16-bit
// display conversion and one with the scalar kernels.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { SCREENSHOTS, openPage, session, waitForState } from './lib/browser.mjs';
import { nativeFrame } from './lib/native.mjs';

const CASES = [
    ...['0.50', '20.00', '40.00', '130.00', '150.00', '180.00', '200.00'].map(seconds => ({ seconds, depth: 32 })),
    { seconds: '63.50', depth: 16 },
    { seconds: '30.00', depth: 32, simd: 'scalar' },
];
// The scene the picture in docs/browser.md shows.
const SCREENSHOT_TIME = '130.00';

let s;
before(async () => { s = await session({ viewport: { width: 800, height: 600 } }); });
after(async () => { await s?.close(); });

// The canvas's pixels as RGBA bytes.
async function canvasPixels(page) {
    const { width, height, base64 } = await page.evaluate(() => {
        const canvas = document.getElementById('canvas') ?? document.querySelector('canvas');
        const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        let binary = '';
        for (let i = 0; i < data.length; i += 0x8000) {
            binary += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
        }
        return { width: canvas.width, height: canvas.height, base64: btoa(binary) };
    });
    return { width, height, rgba: Buffer.from(base64, 'base64') };
}

// Describes how two RGBA images differ in their colour; alpha must be 255 in
// the browser's.
function differences(got, want) {
    let count = 0, first = null, opaque = true;
    for (let p = 0; p < want.width * want.height; p++) {
        const i = p * 4;
        if (got.rgba[i + 3] !== 255) opaque = false;
        if (got.rgba[i] !== want.rgba[i] || got.rgba[i + 1] !== want.rgba[i + 1] || got.rgba[i + 2] !== want.rgba[i + 2]) {
            if (count++ === 0) first = p;
        }
    }
    if (count === 0) return opaque ? null : 'the canvas has pixels that are not opaque';
    const rgb = (img, p) => `(${img.rgba[p * 4]}, ${img.rgba[p * 4 + 1]}, ${img.rgba[p * 4 + 2]})`;
    return `${count} of ${want.width * want.height} pixels differ; the first at x ${first % want.width}, ` +
           `y ${Math.floor(first / want.width)}: browser ${rgb(got, first)}, native ${rgb(want, first)}`;
}

for (const { seconds, depth, simd } of CASES) {
    const query = `?at=${seconds}` + (depth === 32 ? '' : `&depth=${depth}`) + (simd ? `&simd=${simd}` : '');
    const native = depth === 32 ? 'native frame' : `native ${depth}-bit frame`;
    test(`${query} shows the ${native} of that hundredth`, { timeout: 180_000 }, async () => {
        const hundredth = Math.round(Number(seconds) * 100);
        // The native build renders its frame while the browser renders its own.
        const wanted = nativeFrame(hundredth, depth);
        wanted.catch(() => {});
        const { page, problems, warnings } = await openPage(s.context, s.url(query));
        await waitForState(page, 'ready', 150_000);
        const want = await wanted;
        assert.equal(await page.evaluate(() => window.orchidShowTime()), hundredth,
                     'orchidShowTime() names the hundredth shown');
        const got = await canvasPixels(page);
        assert.deepEqual([got.width, got.height], [want.width, want.height], 'canvas size');
        const diff = differences(got, want);
        if (diff) assert.fail(`${query}: ${diff}`);
        assert.deepEqual(problems, []);
        if (simd) {
            assert.deepEqual(warnings.filter(w => w.includes('ORCHID_SIMD')), [],
                             `the program runs at the ${simd} level it was asked for`);
        }
        if (SCREENSHOTS && seconds === SCREENSHOT_TIME) {
            // At half size, as the other pictures in docs/.
            const png = await page.evaluate(() => {
                const half = document.createElement('canvas');
                half.width = 320;
                half.height = 240;
                const context = half.getContext('2d');
                context.imageSmoothingQuality = 'high';
                context.drawImage(document.getElementById('canvas') ?? document.querySelector('canvas'), 0, 0, 320, 240);
                return half.toDataURL('image/png').split(',')[1];
            });
            fs.writeFileSync(path.join(SCREENSHOTS, 'web-scene.png'), Buffer.from(png, 'base64'));
        }
        await page.close();
    });
}

// ?at= reads its seconds as the command line's --from does: a time whose
// hundredths pass 32 bits, or that is no plain decimal, is refused with one
// line and nothing is rendered, never wrapped round to an early frame.
for (const at of ['42949673', '21474836.48', '0x10', 'inf']) {
    test(`?at=${at} is refused and renders nothing`, { timeout: 60_000 }, async () => {
        const { page, problems, warnings } = await openPage(s.context, s.url(`?at=${at}`));
        await waitForState(page, 'ready', 30_000);
        assert.equal(await page.evaluate(() => window.orchidShowTime()), 0, 'no update ran');
        assert.ok(warnings.some(w => w.includes(`orchid: ?at=${at}: expected a number of seconds`)),
                  `the refusal is said: ${warnings.join(' | ')}`);
        assert.deepEqual(problems, []);
        await page.close();
    });
}
