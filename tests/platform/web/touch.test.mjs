// The page on a touch screen (chromium's touch emulation): a tap pauses and
// resumes, a swipe seeks 10 s, and a touch shows the control bar, whose
// buttons and seek bar move the show, and which hides again by itself.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { openPage, session, sleep, waitForState } from './lib/browser.mjs';

let s;
before(async () => { s = await session({ hasTouch: true, viewport: { width: 800, height: 600 } }); });
after(async () => { await s?.close(); });

const showTime = page => page.evaluate(() => window.orchidShowTime());
const barShown = page => page.evaluate(() => !document.getElementById('controls').hidden);

async function playing() {
    const opened = await openPage(s.context, s.url());
    await waitForState(opened.page, 'start');
    await opened.page.getByRole('button', { name: 'Windowed' }).click();
    await waitForState(opened.page, 'playing', 20_000);
    return opened;
}

// The canvas's centre, in the page's coordinates.
async function centre(page) {
    const box = await page.locator('canvas').boundingBox();
    return { x: box.x + box.width / 2, y: box.y + box.height / 3 };
}

// A swipe by dx across, as touch events through the DevTools protocol.
async function swipe(page, dx) {
    const cdp = await page.context().newCDPSession(page);
    const { x, y } = await centre(page);
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
    for (let k = 1; k <= 5; k++) {
        await cdp.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: [{ x: x + dx * k / 5, y }] });
    }
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    await cdp.detach();
}

// Waits until the show time passes test; its last value otherwise.
async function timeUntil(page, test, what) {
    let t = 0;
    for (const end = Date.now() + 10_000; Date.now() < end; await sleep(100)) {
        t = await showTime(page);
        if (test(t)) return t;
    }
    assert.fail(`${what}: the show time stayed at ${t}`);
}

test('a tap pauses and resumes; swipes seek 10 s forward and back', async () => {
    const { page, problems } = await playing();
    const { x, y } = await centre(page);
    await page.touchscreen.tap(x, y);
    await waitForState(page, 'paused', 5000);
    assert.ok(await barShown(page), 'a touch shows the control bar');
    await page.touchscreen.tap(x, y);
    await waitForState(page, 'playing', 5000);

    const start = await showTime(page);
    await swipe(page, 200);
    const forward = await timeUntil(page, t => t >= start + 1000, 'a swipe to the right');
    await swipe(page, -200);
    await timeUntil(page, t => t < forward - 500, 'a swipe to the left');
    // A move mostly downwards is neither a tap nor a seek.
    const cdp = await page.context().newCDPSession(page);
    const before = await showTime(page);
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: [{ x: x + 70, y: y + 120 }] });
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    await sleep(500);
    assert.equal(await page.evaluate(() => document.body.dataset.orchid), 'playing', 'a slanting move does not pause');
    const later = await showTime(page);
    assert.ok(later >= before && later < before + 300, `a slanting move does not seek: ${before} to ${later}`);
    assert.deepEqual(problems, []);
    await page.close();
});

test('the control bar: its buttons, its seek bar with the scenes, and hiding by itself', async () => {
    const { page, problems } = await playing();
    const { x, y } = await centre(page);
    // Two taps: the bar, and the show playing on.
    await page.touchscreen.tap(x, y);
    await page.touchscreen.tap(x, y);
    await waitForState(page, 'playing', 5000);
    assert.ok(await barShown(page));
    assert.equal(await page.locator('#marks span').count(), 7, 'the seek bar marks the seven scenes');

    await page.locator('#pause').tap();
    await waitForState(page, 'paused', 5000);
    assert.equal(await page.locator('#pause').textContent(), 'Play', 'paused, the button offers to play');
    await page.locator('#pause').tap();
    await waitForState(page, 'playing', 5000);

    const start = await showTime(page);
    await page.locator('#forward').tap();
    const forward = await timeUntil(page, t => t >= start + 1000, '+10 s');
    await page.locator('#back').tap();
    await timeUntil(page, t => t < forward - 500, '-10 s');

    await page.locator('#mute').tap();
    await page.waitForFunction(() => document.getElementById('mute').getAttribute('aria-pressed') === 'true',
                               null, { timeout: 5000 });

    // The seek bar: the show moves to the hundredth it is let go at.
    await page.evaluate(() => {
        const bar = document.getElementById('seek');
        bar.value = '16101';
        bar.dispatchEvent(new Event('input'));
        bar.dispatchEvent(new Event('change'));
    });
    await timeUntil(page, t => t >= 16101 && t < 16101 + 300, 'the seek bar let go at the stage');
    await page.waitForFunction(() => document.getElementById('time').textContent.includes('the stage'),
                               null, { timeout: 5000 });

    // Untouched for a few seconds, the bar hides; the show goes on.
    await page.waitForFunction(() => document.getElementById('controls').hidden, null, { timeout: 6000 });
    assert.equal(await page.evaluate(() => document.body.dataset.orchid), 'playing');
    assert.deepEqual(problems, []);
    await page.close();
});
