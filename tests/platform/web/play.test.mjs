// Live play: the show's clock follows the music, stops with it while the page
// is hidden or loses the focus, resumes with it; F1, Alt+Enter and the keys
// that move the show (L's loop among them) work as on the desktop, and
// Escape ends the show.
//
// Headless chromium never hides a page by itself (neither a minimised window
// nor another tab in front changes document.visibilityState), so hiding is
// emulated: document.hidden and visibilityState are overridden and a
// visibilitychange event is sent. Losing the focus is real: with focus
// emulation off, bringing another page to the front blurs this one.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { after, before, test } from 'node:test';
import { openPage, session, sleep, waitForState } from './lib/browser.mjs';
import { nativeFramePng } from './lib/native.mjs';

let s;
before(async () => { s = await session({ autoplay: true }); });
after(async () => { await s?.close(); });

// Keeps every AudioContext the page makes and every buffer source it plays,
// so the test can read the music's clock beside the show's and tell whether
// music sounds.
function recordAudio() {
    window.orchidTestAudio = { contexts: [], sources: [] };
    const Original = window.AudioContext;
    window.AudioContext = window.webkitAudioContext = class extends Original {
        constructor(...args) {
            super(...args);
            window.orchidTestAudio.contexts.push(this);
        }
    };
    const createBufferSource = Original.prototype.createBufferSource;
    Original.prototype.createBufferSource = function () {
        const source = createBufferSource.call(this);
        const { start, stop } = source;
        source.start = function (...args) {
            this.orchidTestPlaying = true;
            window.orchidTestAudio.sources.push(this);
            return start.apply(this, args);
        };
        source.stop = function (...args) {
            this.orchidTestPlaying = false;
            return stop.apply(this, args);
        };
        source.addEventListener('ended', () => { source.orchidTestPlaying = false; });
        return source;
    };
}

// The show's clock in hundredths, the time of the page's audio context, and
// whether music sounds (a source plays in a running context).
const clocks = page => page.evaluate(() => {
    const { contexts, sources } = window.orchidTestAudio;
    const context = contexts.find(c => c.state === 'running') ?? contexts[contexts.length - 1];
    return {
        show: window.orchidShowTime(),
        audio: context?.currentTime ?? 0,
        sounding: context?.state === 'running' && sources.some(s => s.orchidTestPlaying && s.context === context),
        audioState: `context ${context?.state ?? 'none'}, ` +
                    `${sources.filter(s => s.orchidTestPlaying).length} of ${sources.length} sources playing`,
    };
});

function setHidden(page, hidden) {
    return page.evaluate(hidden => {
        if (hidden) {
            Object.defineProperty(document, 'hidden', { configurable: true, get: () => true });
            Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => 'hidden' });
        } else {
            delete document.hidden;
            delete document.visibilityState;
        }
        document.dispatchEvent(new Event('visibilitychange'));
    }, hidden);
}

// Checks that nothing moves while paused: the show's clock, the music, the
// picture.
async function assertStandsStill(page, why) {
    await waitForState(page, 'paused', 5_000);
    const picture = () => page.evaluate(() => {
        const canvas = document.getElementById('canvas') ?? document.querySelector('canvas');
        return canvas.toDataURL();
    });
    const before = await clocks(page);
    const beforePicture = await picture();
    await sleep(1000);
    const later = await clocks(page);
    assert.equal(later.show, before.show, `${why}: the show's clock stands still`);
    assert.ok(!later.sounding || later.audio === before.audio,
              `${why}: the music stands still (${later.audioState}; ` +
              `its time went from ${before.audio} to ${later.audio})`);
    assert.ok(await picture() === beforePicture, `${why}: the picture stands still`);
    return before.show;
}

// Checks that the show goes on from where it stood.
async function assertResumes(page, stoodAt, why) {
    await waitForState(page, 'playing', 5_000);
    const first = await clocks(page);
    assert.ok(first.show >= stoodAt && first.show <= stoodAt + 50,
              `${why}: the show goes on from ${stoodAt} (it is at ${first.show})`);
    await sleep(1000);
    const later = await clocks(page);
    assert.ok(later.show - first.show >= 50, `${why}: the show's clock moves on (${first.show} → ${later.show})`);
    assert.ok(later.sounding, `${why}: the music plays (${later.audioState})`);
}

test('the show plays in step with its music, pauses while hidden or blurred, answers its keys',
     { timeout: 120_000 }, async t => {
    const { page, problems } = await openPage(s.context, s.url(), { init: recordAudio });
    await waitForState(page, 'start');
    await page.getByRole('button', { name: 'Windowed' }).click();
    await waitForState(page, 'playing', 20_000);

    await t.test('the clock follows the music', async () => {
        await sleep(500);
        const a = await clocks(page);
        await sleep(3000);
        const b = await clocks(page);
        assert.ok(b.sounding, `the music plays (${b.audioState})`);
        const show = (b.show - a.show) / 100, audio = b.audio - a.audio;
        assert.ok(show > 2.5, `the show's clock moved ${show} s in 3 s`);
        assert.ok(Math.abs(show - audio) <= 0.25,
                  `in the same span the show's clock moved ${show.toFixed(2)} s and the music ${audio.toFixed(2)} s`);
    });

    await t.test('the time the animation frames leave builds snapshots ahead of the show', async () => {
        // Snapshots lie 5 s apart: two beyond the show time were built
        // before it got there.
        await page.waitForFunction(() => Module._orchid_snapshots_reach() >= Module._orchid_show_time() + 1000,
                                   null, { timeout: 20_000 });
    });

    await t.test('hiding the page pauses picture and music; showing it resumes both', async () => {
        await setHidden(page, true);
        const stoodAt = await assertStandsStill(page, 'while hidden');
        await setHidden(page, false);
        await assertResumes(page, stoodAt, 'shown again');
    });

    await t.test('losing the focus pauses picture and music; regaining it resumes both', async () => {
        const cdp = await s.context.newCDPSession(page);
        await cdp.send('Emulation.setFocusEmulationEnabled', { enabled: false });
        const other = await s.context.newPage();
        await other.bringToFront();
        const stoodAt = await assertStandsStill(page, 'while another page has the focus');
        await page.bringToFront();
        await assertResumes(page, stoodAt, 'focused again');
        await other.close();
        await cdp.send('Emulation.setFocusEmulationEnabled', { enabled: true });
        await cdp.detach();
    });

    await t.test('F1 shows the frame rate over the picture and hides it again', async () => {
        const overlay = () => page.evaluate(() => document.getElementById('overlay')?.textContent ?? '');
        await page.keyboard.press('F1');
        await page.waitForFunction(() => /FPS/.test(document.getElementById('overlay')?.textContent), null,
                                   { timeout: 5_000 }).catch(() => {});
        assert.match(await overlay(), /FPS = \d+/, 'after F1 the frame rate is shown');
        await page.keyboard.press('F1');
        await sleep(300);
        assert.equal(await overlay(), '', 'after F1 again nothing is shown');
    });

    await t.test('Alt+Enter goes fullscreen and back, and the show plays on', async () => {
        const fullscreen = () => page.evaluate(() => document.fullscreenElement !== null);
        await page.keyboard.press('Alt+Enter');
        await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 5_000 }).catch(() => {});
        assert.equal(await fullscreen(), true, 'Alt+Enter enters fullscreen');
        await page.keyboard.press('Alt+Enter');
        await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 5_000 }).catch(() => {});
        assert.equal(await fullscreen(), false, 'Alt+Enter again leaves it');
        const a = await clocks(page);
        await sleep(1000);
        const b = await clocks(page);
        assert.equal(await page.evaluate(() => document.body.dataset.orchid), 'playing',
                     'leaving fullscreen by Alt+Enter does not end the show');
        assert.ok(b.show - a.show >= 50, `the show plays on (${a.show} → ${b.show})`);
    });

    await t.test('Page Down goes to the next scene; paused, . and , step one hundredth each way', async () => {
        const time = () => page.evaluate(() => window.orchidShowTime());
        const reaches = (test, what) =>
            page.waitForFunction(test, null, { timeout: 5_000 }).catch(async () =>
                assert.fail(`${what} (the show is at ${await time()})`));
        await page.keyboard.press('Home');
        await reaches(() => window.orchidShowTime() < 100, 'Home goes back to the start');
        await page.keyboard.press('PageDown');
        await reaches(() => window.orchidShowTime() >= 101 && window.orchidShowTime() < 400,
                      'Page Down goes to the title at 1.01 s');
        await page.keyboard.press(' ');
        await sleep(300);
        const paused = await time();
        await page.keyboard.press(',');
        await sleep(500);
        assert.equal(await time(), paused - 1, ', steps one hundredth back');
        await page.keyboard.press('.');
        await page.keyboard.press('.');
        await sleep(500);
        assert.equal(await time(), paused + 1, '. steps one hundredth forward');
        // The seek bar is the page's control bar: up while paused, for two
        // seconds of play after, then down.
        const barShown = () => page.evaluate(() => !document.getElementById('controls').hidden);
        await sleep(2500);
        assert.equal(await barShown(), true, 'the control bar is up while paused');
        await page.keyboard.press(' ');
        await sleep(1000);
        assert.equal(await barShown(), true, 'the control bar stays a while as the show goes on');
        await page.waitForFunction(() => document.getElementById('controls').hidden, null, { timeout: 5_000 })
            .catch(() => assert.fail('the control bar stays up after the show went on'));
    });

    await t.test('L sets A, then B; the show loops between them until a third L', async () => {
        const overlay = () => page.evaluate(() => document.getElementById('overlay')?.textContent ?? '');
        const time = () => page.evaluate(() => window.orchidShowTime());
        await page.keyboard.press('l');
        await page.waitForFunction(() => /loop: A at/.test(document.getElementById('overlay')?.textContent),
                                   null, { timeout: 5_000 }).catch(async () =>
            assert.fail(`the first L shows no line for A (the overlay says "${await overlay()}")`));
        // B a fifth of a second or more after A, however slowly the page runs.
        const at = await time();
        await page.waitForFunction(t => window.orchidShowTime() >= t + 20, at, { timeout: 10_000 }).catch(async () =>
            assert.fail(`the show does not play on after A (${at}, now ${await time()})`));
        await page.keyboard.press('L');
        await page.waitForFunction(() => /loop: [\d.]+ s to/.test(document.getElementById('overlay')?.textContent),
                                   null, { timeout: 5_000 }).catch(() => {});
        const set = /orchid: loop: (\d+)\.(\d\d) s to (\d+)\.(\d\d) s/.exec(await overlay());
        assert.ok(set, `the overlay says where the loop runs (${await overlay()})`);
        const a = Number(set[1]) * 100 + Number(set[2]), b = Number(set[3]) * 100 + Number(set[4]);
        assert.ok(b - a >= 20, `the loop runs from ${a} to ${b}`);
        // Twice round the loop at least: never past B, and back to A.
        let last = await time(), wrapped = 0;
        const end = Date.now() + 2 * (b - a) * 10 + 1500;
        while (Date.now() < end) {
            const now = await time();
            assert.ok(now >= a && now <= b, `the show stands at ${now}, outside the loop from ${a} to ${b}`);
            if (now < last) ++wrapped;
            last = now;
            await sleep(20);
        }
        assert.ok(wrapped >= 2, `the show went back to A ${wrapped} times`);
        await page.keyboard.press('l');
        await page.waitForFunction(() => /loop: off/.test(document.getElementById('overlay')?.textContent), null,
                                   { timeout: 5_000 }).catch(() => {});
        assert.match(await overlay(), /orchid: loop: off/);
        await page.waitForFunction(limit => window.orchidShowTime() > limit, b + 50, { timeout: 5_000 })
            .catch(async () => assert.fail(`after the third L the show plays on past B (it is at ${await time()})`));
    });

    await t.test('Escape ends the show', async () => {
        await page.keyboard.press('Escape');
        await waitForState(page, 'ended', 5_000);
        const a = await clocks(page);
        await sleep(1000);
        const b = await clocks(page);
        assert.equal(b.show, a.show, 'the show\'s clock stands still after the end');
        assert.ok(!b.sounding, `the music stops (${b.audioState})`);
    });

    assert.deepEqual(problems, []);
    await page.close();
});

// S in the browser: paused, 30 hundredths back, the download is the PNG the
// native --frames writes for the hundredth its name gives, byte for byte.
test('S downloads the frame on screen as the native capture\'s PNG', async () => {
    const { page, problems } = await openPage(s.context, s.url());
    await waitForState(page, 'start');
    await page.getByRole('button', { name: 'Windowed' }).click();
    await waitForState(page, 'playing', 20_000);
    await sleep(1000);
    await page.keyboard.press(' ');
    await waitForState(page, 'paused', 5000);
    const paused = await page.evaluate(() => window.orchidShowTime());
    for (let i = 0; i < 30; i++) await page.keyboard.press(',');
    await page.waitForFunction(t => window.orchidShowTime() === t, paused - 30, { timeout: 10_000 });
    const [download] = await Promise.all([page.waitForEvent('download', { timeout: 10_000 }), page.keyboard.press('s')]);
    const name = download.suggestedFilename();
    const match = /^orchid-(\d{3})\.(\d{2})\.png$/.exec(name);
    assert.ok(match, `the download's name gives the show time: ${name}`);
    const hundredth = Number(match[1]) * 100 + Number(match[2]);
    assert.equal(hundredth, paused - 30, 'the frame is the one 30 hundredths back');
    const bytes = fs.readFileSync(await download.path());
    assert.ok(bytes.equals(await nativeFramePng(hundredth)), `${name} differs from the native frame's PNG`);
    assert.deepEqual(problems, []);
    await page.close();
});
