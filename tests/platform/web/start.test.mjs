// The page as a visitor meets it: it loads cleanly to the start screen, whose
// five buttons answer the mouse and the keyboard, and reports what keeps the
// show from starting. No autoplay permission here: the click or key on a
// button must itself start the music.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { SCREENSHOTS, WEB_BUILD, openPage, session, sleep, waitForState } from './lib/browser.mjs';
import { nativeReportWithoutMusic } from './lib/native.mjs';

const LABELS = ['32bpp', '24bpp', '16bpp', 'Windowed', 'Quit'];

let s;
before(async () => { s = await session({ viewport: { width: 800, height: 600 } }); });
after(async () => { await s?.close(); });

async function startScreen() {
    const opened = await openPage(s.context, s.url());
    await waitForState(opened.page, 'start');
    return opened;
}

const labelOfFocus = page => page.evaluate(() =>
    document.activeElement?.tagName === 'BUTTON' ? document.activeElement.textContent.trim() : null);

// Presses Tab until the button labelled label has the focus.
async function tabTo(page, label) {
    const seen = [];
    for (let i = 0; i < 12; i++) {
        await page.keyboard.press('Tab');
        const focused = await labelOfFocus(page);
        if (focused === label) return;
        seen.push(focused);
    }
    assert.fail(`Tab never reached the "${label}" button; the focus went through: ${seen.join(', ')}`);
}

const showTime = page => page.evaluate(() => window.orchidShowTime());
const inFullscreen = page => page.evaluate(() => document.fullscreenElement !== null);

// Checks that the show plays: the state says so and its clock, which the
// music drives, moves on.
async function assertPlaying(page, how) {
    await waitForState(page, 'playing', 20_000);
    const first = await showTime(page);
    await sleep(1500);
    const later = await showTime(page);
    assert.ok(later - first >= 50,
              `${how}: the show's clock moved from ${first} to ${later} hundredths in 1.5 s of playing`);
}

test('the page loads to the start screen with no console error and no failed request', async () => {
    const { page, problems } = await startScreen();
    const buttons = await page.evaluate(() => [...document.querySelectorAll('button')]
        .filter(b => b.checkVisibility())
        .map(b => b.textContent.trim()));
    assert.deepEqual([...buttons].sort(), [...LABELS].sort(), 'the start screen shows exactly the five mode buttons');
    assert.equal(await page.evaluate(() => typeof window.orchidShowTime), 'function',
                 'window.orchidShowTime is a function');
    assert.deepEqual(problems, [], 'nothing went wrong while loading');
    if (SCREENSHOTS) {
        // The start screen with a margin of the page around it.
        const box = await page.locator('#start').boundingBox();
        await page.screenshot({
            path: path.join(SCREENSHOTS, 'web-start.png'),
            clip: { x: box.x - 24, y: box.y - 24, width: box.width + 48, height: box.height + 48 },
        });
    }
    await page.close();
});

// The download before the music: each file of the page comes as the copy
// make web compressed, and the whole visit is at most 0.65 of the files' own
// size (the pictures inside the program hardly compress).
test('a first visit downloads the page compressed, at most 0.65 of its files', async () => {
    const seen = s.requests.length;
    const { page, problems } = await startScreen();
    const visit = s.requests.slice(seen).filter(r => !r.url.endsWith('.mp3'));
    const names = visit.map(r => r.url.split('?')[0].replace(/^\//, '') || 'index.html');
    for (const name of ['index.html', 'page.js', 'orchid.js', 'orchid.wasm']) {
        const asked = visit[names.indexOf(name)];
        assert.ok(asked !== undefined, `${name} was asked for (asked: ${names.join(', ')})`);
        assert.ok(asked.encoding === 'br' || asked.encoding === 'gzip',
                  `${name} came as a compressed copy (it came ${asked.encoding ?? 'as it is'})`);
    }
    const sent = visit.reduce((sum, r) => sum + r.bytes, 0);
    const own = names.reduce((sum, name) => sum + fs.statSync(path.join(WEB_BUILD, name)).size, 0);
    assert.ok(sent <= 0.65 * own, `the visit downloaded ${sent} bytes of files of ${own} bytes (${(sent / own).toFixed(3)})`);
    assert.deepEqual(problems, []);
    await page.close();
});

test('Tab visits all five buttons', async () => {
    const { page } = await startScreen();
    const seen = new Set();
    for (let i = 0; i < 12 && seen.size < LABELS.length; i++) {
        await page.keyboard.press('Tab');
        const focused = await labelOfFocus(page);
        if (focused) seen.add(focused);
    }
    assert.deepEqual([...seen].sort(), [...LABELS].sort());
    await page.close();
});

test('Windowed by mouse plays the show inside the page', async () => {
    const { page, problems } = await startScreen();
    await page.getByRole('button', { name: 'Windowed' }).click();
    await assertPlaying(page, 'after a click on Windowed');
    assert.equal(await inFullscreen(page), false, 'Windowed does not enter fullscreen');
    assert.ok(await page.evaluate(() => document.querySelector('canvas')?.checkVisibility()), 'the canvas is shown');
    assert.deepEqual(problems, []);
    await page.close();
});

test('Windowed by Tab and Enter plays the show', async () => {
    const { page } = await startScreen();
    await tabTo(page, 'Windowed');
    await page.keyboard.press('Enter');
    await assertPlaying(page, 'after Enter on Windowed');
    assert.equal(await inFullscreen(page), false);
    await page.close();
});

for (const [label, key] of [['32bpp', 'mouse'], ['24bpp', 'Enter'], ['16bpp', 'Space']]) {
    test(`${label} by ${key === 'mouse' ? 'mouse' : `Tab and ${key}`} plays the show in fullscreen, Escape ends it`, async () => {
        const { page, problems } = await startScreen();
        if (key === 'mouse') {
            await page.getByRole('button', { name: label }).click();
        } else {
            await tabTo(page, label);
            await page.keyboard.press(key);
        }
        await assertPlaying(page, `after choosing ${label}`);
        assert.equal(await inFullscreen(page), true, `${label} plays in the page's fullscreen`);
        const shown = await page.evaluate(() => {
            const box = document.querySelector('canvas').getBoundingClientRect();
            return { width: box.width, height: box.height, screenWidth: innerWidth, screenHeight: innerHeight };
        });
        assert.ok(Math.abs(shown.width * 3 - shown.height * 4) <= 4 &&
                  (shown.width === shown.screenWidth || shown.height === shown.screenHeight),
                  `the picture fills the screen at 4:3: ${shown.width} x ${shown.height} on ` +
                  `${shown.screenWidth} x ${shown.screenHeight}`);
        if (label === '16bpp') {
            // Through the 16-bit conversion the picture has at most 32 levels
            // of red and blue and 64 of green; from 8 s on, when the pattern
            // has faded in, its 32-bit frames have more than 32 of red.
            await page.waitForFunction(() => window.orchidShowTime() >= 800, null, { timeout: 20_000 });
            const levels = await page.evaluate(() => {
                const canvas = document.querySelector('canvas');
                const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
                const seen = [new Set(), new Set(), new Set()];
                for (let i = 0; i < data.length; i += 4) for (let c = 0; c < 3; c++) seen[c].add(data[i + c]);
                return seen.map(set => set.size);
            });
            assert.ok(levels[0] <= 32 && levels[1] <= 64 && levels[2] <= 32,
                      `levels of red, green, blue in the 16-bit picture: ${levels.join(', ')}`);
        }
        // In fullscreen the browser takes Escape to leave it: the show ends too.
        await page.keyboard.press('Escape');
        await waitForState(page, 'ended', 5_000);
        assert.equal(await inFullscreen(page), false, 'Escape leaves fullscreen');
        assert.deepEqual(problems, []);
        await page.close();
    });
}

for (const key of ['mouse', 'Enter']) {
    test(`Quit by ${key === 'mouse' ? 'mouse' : 'Tab and Enter'} leaves the closing card`, async () => {
        const { page, problems } = await startScreen();
        if (key === 'mouse') {
            await page.getByRole('button', { name: 'Quit' }).click();
        } else {
            await tabTo(page, 'Quit');
            await page.keyboard.press('Enter');
        }
        await waitForState(page, 'ended', 5_000);
        const visibleButtons = await page.evaluate(() =>
            [...document.querySelectorAll('button')].filter(b => b.checkVisibility()).length);
        assert.equal(visibleButtons, 0, 'the start screen is gone');
        assert.equal(await showTime(page), 0, 'the show never started');
        const text = await page.evaluate(() => document.body.innerText.trim());
        assert.ok(text.length > 0, 'a closing card is shown');
        await sleep(500);
        assert.equal(await showTime(page), 0, 'the show never started');
        assert.deepEqual(problems, []);
        await page.close();
    });
}

test('without its music the show ends with the native build\'s error report under "Error!"', async () => {
    const want = nativeReportWithoutMusic();
    want.catch(() => {});
    const page = await s.context.newPage();
    await page.route('**/kestrune-velomar.mp3', route => route.fulfill({ status: 404, body: '' }));
    await page.goto(s.url());
    await waitForState(page, 'start');
    await page.getByRole('button', { name: 'Windowed' }).click();
    await waitForState(page, 'error', 20_000);
    const shown = await page.evaluate(() => {
        const box = document.querySelector('[role=alertdialog]') ?? document.getElementById('error');
        return { visible: box.checkVisibility(), title: box.querySelector('h1')?.textContent,
                 text: box.querySelector('pre')?.textContent };
    });
    assert.ok(shown.visible, 'the error box is shown');
    assert.equal(shown.title, 'Error!');
    assert.equal(shown.text, await want, 'the report is the native build\'s, word for word');
    await page.getByRole('button', { name: 'OK' }).click();
    assert.equal(await page.evaluate(() => document.querySelector('[role=alertdialog]').checkVisibility()), false,
                 'OK closes the error box');
    await page.close();
});

test('a program that cannot be loaded is reported in the page', async () => {
    const page = await s.context.newPage();
    await page.route('**/orchid.wasm', route => route.fulfill({ status: 404, body: '' }));
    await page.goto(s.url());
    await waitForState(page, 'error', 20_000);
    const text = await page.evaluate(() => document.body.innerText);
    assert.match(text, /could not start/i, `the page says the program could not start; it shows:\n${text}`);
    await page.close();
});
