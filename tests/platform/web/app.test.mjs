// The page as an installed app: its manifest, a second visit that plays with
// the server gone (the service worker's cache), and a newer build replacing
// the kept one. Each test serves its own copy of the web build, since it
// stops the server or changes the files.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { afterEach, test } from 'node:test';
import { serve } from '../../../main/web/server.mjs';
import { WEB_BUILD, launch, openPage, sleep, waitForState } from './lib/browser.mjs';

let cleanups = [];
afterEach(async () => {
    for (const cleanup of cleanups.reverse()) await cleanup();
    cleanups = [];
});

// A copy of the web build's page, served; resolves to { folder, server }.
async function servedCopy() {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'orchid-app-'));
    cleanups.push(() => fs.rmSync(folder, { recursive: true, force: true }));
    for (const name of fs.readdirSync(WEB_BUILD)) {
        const file = path.join(WEB_BUILD, name);
        if (fs.statSync(file).isFile()) fs.copyFileSync(file, path.join(folder, name));
    }
    const server = await serve(folder);
    cleanups.push(() => server.close());
    return { folder, server };
}

async function browser() {
    const b = await launch({ serviceWorkers: 'allow' });
    cleanups.push(() => b.close());
    return b;
}

// The page once its worker controls it and has kept every file.
async function keptVisit(context, url) {
    const opened = await openPage(context, url);
    await waitForState(opened.page, 'start');
    await opened.page.waitForFunction(() => navigator.serviceWorker.controller !== null, null, { timeout: 60_000 });
    return opened;
}

const cacheNames = page => page.evaluate(() => caches.keys());
const keptFiles = page => page.evaluate(async () => {
    const names = await caches.keys();
    const cache = await caches.open(names[0]);
    return (await cache.keys()).map(r => new URL(r.url).pathname.slice(1));
});

test('the manifest names the app, its icons and a full-screen display', async () => {
    const { folder, server } = await servedCopy();
    const b = await browser();
    const { page, problems } = await openPage(b.context, `${server.url}index.html`);
    const href = await page.evaluate(() => document.querySelector('link[rel=manifest]')?.href);
    assert.ok(href, 'the page links a manifest');
    const manifest = await page.evaluate(async url => (await fetch(url)).json(), href);
    assert.equal(manifest.name, 'Orchid');
    assert.equal(manifest.display, 'fullscreen');
    assert.match(manifest.theme_color, /^#[0-9a-f]{6}$/i);
    assert.ok(manifest.icons.some(i => Number(i.sizes.split('x')[0]) >= 144), 'an icon large enough to install the app');
    for (const icon of manifest.icons) {
        const png = fs.readFileSync(path.join(folder, icon.src));
        const [w, h] = [png.readUInt32BE(16), png.readUInt32BE(20)];
        assert.equal(`${w}x${h}`, icon.sizes, `${icon.src} is the size the manifest gives`);
    }
    assert.deepEqual(problems, []);
});

test('a second visit plays with the server gone', async () => {
    const { server } = await servedCopy();
    const b = await browser();
    const { page } = await keptVisit(b.context, `${server.url}index.html`);
    const kept = await keptFiles(page);
    for (const name of ['index.html', 'page.js', 'orchid.js', 'orchid.wasm', 'kestrune-velomar.mp3'])
        assert.ok(kept.includes(name), `${name} is kept (kept: ${kept.join(', ')})`);
    await server.close();
    await page.reload({ waitUntil: 'load' });
    await waitForState(page, 'start');
    await page.getByRole('button', { name: 'Windowed' }).click();
    await waitForState(page, 'playing', 20_000);
    const first = await page.evaluate(() => window.orchidShowTime());
    await sleep(1500);
    const later = await page.evaluate(() => window.orchidShowTime());
    assert.ok(later - first >= 50, `offline, the show's clock moved from ${first} to ${later} hundredths in 1.5 s`);
});

test('a newer build replaces the kept files and deletes the old cache', async () => {
    const { folder, server } = await servedCopy();
    const b = await browser();
    const { page } = await keptVisit(b.context, `${server.url}index.html`);
    const [before] = await cacheNames(page);
    assert.match(before, /^orchid-[0-9a-f]{16}$/);

    // The newer build: another page.js, and so another cache name.
    const marker = '// a newer build';
    fs.appendFileSync(path.join(folder, 'page.js'), `\n${marker}\n`);
    for (const suffix of ['.br', '.gz']) fs.rmSync(path.join(folder, `page.js${suffix}`));
    const newer = `orchid-${'0123456789abcdef'.split('').reverse().join('')}`;
    const worker = path.join(folder, 'sw.js');
    fs.writeFileSync(worker, fs.readFileSync(worker, 'utf8').replace(before, newer));
    for (const suffix of ['.br', '.gz']) fs.rmSync(path.join(folder, `sw.js${suffix}`));

    await page.reload({ waitUntil: 'load' });
    let names = [];
    for (const end = Date.now() + 60_000; Date.now() < end; await sleep(200)) {
        names = await cacheNames(page);
        if (names.length === 1 && names[0] === newer) break;
    }
    assert.deepEqual(names, [newer], 'the newer build\'s cache is the only one left');
    await page.reload({ waitUntil: 'load' });
    await waitForState(page, 'start');
    const served = await page.evaluate(() => fetch('page.js').then(r => r.text()));
    assert.ok(served.includes(marker), 'the page now gets the newer build\'s page.js');
});

// What the page asks of the Screen Wake Lock and Media Session, kept where
// a test can read it: a stand-in lock that the test can take away as the
// browser does, and the media session's handlers and position.
function recorder() {
    const record = window.orchidRecord = { locks: [], handlers: {}, positions: [] };
    Object.defineProperty(navigator, 'wakeLock', {
        value: {
            request: async type => {
                const lock = new EventTarget();
                lock.type = type;
                lock.released = false;
                lock.release = async () => {
                    if (lock.released) return;
                    lock.released = true;
                    lock.dispatchEvent(new Event('release'));
                };
                record.locks.push(lock);
                return lock;
            },
        },
    });
    const session = navigator.mediaSession;
    const setActionHandler = session.setActionHandler.bind(session);
    session.setActionHandler = (action, handler) => {
        record.handlers[action] = handler;
        setActionHandler(action, handler);
    };
    const setPositionState = session.setPositionState.bind(session);
    session.setPositionState = state => {
        record.positions.push(state);
        setPositionState(state);
    };
}

async function recordedPlay() {
    const { server } = await servedCopy();
    const b = await browser();
    const opened = await openPage(b.context, `${server.url}index.html`, { init: recorder });
    await waitForState(opened.page, 'start');
    await opened.page.getByRole('button', { name: 'Windowed' }).click();
    await waitForState(opened.page, 'playing', 20_000);
    return opened;
}

// Locks held: asked for and not let go.
const held = page => page.evaluate(() => window.orchidRecord.locks.filter(l => !l.released).length);

async function heldBecomes(page, count, what) {
    for (const end = Date.now() + 5000; Date.now() < end; await sleep(100)) {
        if (await held(page) === count) return;
    }
    assert.fail(`${what}: ${await held(page)} screen locks held, not ${count}`);
}

test('the screen is kept on while the show plays, and only then', async () => {
    const { page, problems } = await recordedPlay();
    await heldBecomes(page, 1, 'playing');
    await page.keyboard.press(' ');
    await waitForState(page, 'paused', 5000);
    await heldBecomes(page, 0, 'paused');
    await page.keyboard.press(' ');
    await waitForState(page, 'playing', 5000);
    await heldBecomes(page, 1, 'playing again');
    // The browser lets the lock go while the page is hidden; shown again,
    // the page takes it anew.
    await page.evaluate(() => window.orchidRecord.locks.at(-1).release());
    await page.evaluate(() => document.dispatchEvent(new Event('visibilitychange')));
    await heldBecomes(page, 1, 'the page shown again');
    await page.keyboard.press('Escape');
    await waitForState(page, 'ended', 10_000);
    await heldBecomes(page, 0, 'ended');
    assert.deepEqual(problems, []);
});

test('the media session names the show and its keys pause, play and seek it', async () => {
    const { page, problems } = await recordedPlay();
    const metadata = await page.evaluate(() => ({
        title: navigator.mediaSession.metadata?.title,
        artwork: navigator.mediaSession.metadata?.artwork.map(a => a.sizes),
    }));
    assert.equal(metadata.title, 'Orchid');
    assert.ok(metadata.artwork.includes('256x256'), `the show's icon is its artwork: ${metadata.artwork}`);
    const call = (action, details = {}) =>
        page.evaluate(([a, d]) => window.orchidRecord.handlers[a]({ action: a, ...d }), [action, details]);

    await call('pause');
    await waitForState(page, 'paused', 5000);
    assert.equal(await page.evaluate(() => navigator.mediaSession.playbackState), 'paused');
    await call('pause');
    await sleep(300);
    assert.equal(await page.evaluate(() => document.body.dataset.orchid), 'paused', 'pause twice stays paused');
    await call('play');
    await waitForState(page, 'playing', 5000);
    await call('play');
    await sleep(300);
    assert.equal(await page.evaluate(() => document.body.dataset.orchid), 'playing', 'play twice goes on playing');

    await call('seekto', { seekTime: 100 });
    const position = await page.evaluate(() => window.orchidRecord.positions.at(-1));
    assert.equal(position.duration, 214.6, 'the duration is the show\'s');
    assert.ok(position.position >= 100 && position.position < 101, `the position after the seek: ${position.position}`);
    const t = await page.evaluate(() => window.orchidShowTime());
    assert.ok(t >= 10000 && t < 10200, `seekto 100 s moves the show there: ${t}`);
    await call('seekforward');
    await page.waitForFunction(() => window.orchidShowTime() >= 11000, null, { timeout: 5000 });
    await call('seekbackward', { seekOffset: 30 });
    await page.waitForFunction(() => window.orchidShowTime() < 9000, null, { timeout: 5000 });
    assert.deepEqual(problems, []);
});
