// Debian's chromium driven through playwright-core: never a browser of
// playwright's own. Each launch gets a fresh profile, and the flags keep it
// off the network (no component updates, no sync, no QUIC probes).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { serve } from '../../../../main/web/server.mjs';

export const CHROMIUM = process.env.ORCHID_CHROMIUM || '/usr/bin/chromium';

export const ROOT = path.resolve(import.meta.dirname, '..', '..', '..', '..');
export const WEB_BUILD = path.resolve(process.env.ORCHID_WEB_BUILD || path.join(ROOT, 'build-web'));
export const NATIVE_BUILD = path.resolve(process.env.ORCHID_BUILD || path.join(ROOT, 'build'));

const FLAGS = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// Starts chromium; autoplay lets the page start its AudioContext without a
// click. Service workers are blocked unless asked for, so that every request
// goes to the server, where a test can see or change it. Resolves to
// { context, close() }.
export async function launch({ autoplay = false, viewport = { width: 800, height: 600 },
                               serviceWorkers = 'block', hasTouch = false } = {}) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'orchid-chromium-'));
    const args = [...FLAGS];
    if (autoplay) args.push('--autoplay-policy=no-user-gesture-required');
    let context;
    try {
        context = await chromium.launchPersistentContext(profile, {
            executablePath: CHROMIUM,
            headless: true,
            args,
            viewport,
            serviceWorkers,
            hasTouch,
            timeout: 60_000,
        });
    } catch (e) {
        fs.rmSync(profile, { recursive: true, force: true });
        throw e;
    }
    return {
        context,
        close: async () => {
            await context.close();
            fs.rmSync(profile, { recursive: true, force: true });
        },
    };
}

// Opens a page and keeps every problem it shows: console errors, uncaught
// exceptions, requests that failed or were answered with an error status;
// and apart from them its console warnings.
// init, a function, runs in the page before any of the page's own scripts.
export async function openPage(context, url, { init } = {}) {
    const page = await context.newPage();
    if (init) await page.addInitScript(init);
    const problems = [], warnings = [];
    page.on('console', msg => {
        if (msg.type() === 'warning') warnings.push(msg.text());
        if (msg.type() !== 'error') return;
        const where = msg.location()?.url;
        problems.push(`console error: ${msg.text()}${where ? ` (${where})` : ''}`);
    });
    page.on('pageerror', e => problems.push(`uncaught exception: ${e.message}`));
    page.on('requestfailed', r => problems.push(`request failed: ${r.url()} (${r.failure()?.errorText})`));
    page.on('response', r => {
        if (r.status() >= 400) problems.push(`request answered ${r.status()}: ${r.url()}`);
    });
    await page.goto(url, { waitUntil: 'load', timeout: 60_000 });
    return { page, problems, warnings };
}

export const state = page => page.evaluate(() => document.body?.dataset.orchid ?? null);

// Waits until the page's state is one of wanted. An error report ends the
// wait at once, with the report's text in the message.
export async function waitForState(page, wanted, timeout = 30_000) {
    wanted = [].concat(wanted);
    try {
        await page.waitForFunction(
            w => ['error', ...w].includes(document.body?.dataset.orchid), wanted, { timeout, polling: 50 });
    } catch {
        throw new Error(`the page did not reach "${wanted.join('" or "')}" in ${timeout / 1000} s ` +
                        `(its state: ${await state(page)})`);
    }
    const now = await state(page);
    if (now === 'error' && !wanted.includes('error')) {
        const text = await page.evaluate(() => document.body.innerText);
        throw new Error(`the page shows an error report instead of "${wanted.join('" or "')}":\n${text}`);
    }
    return now;
}

export const sleep = ms => new Promise(r => setTimeout(r, ms));

// Serves the web build and starts one browser for a test file's tests.
// Resolves to { url(query), context, requests, close() }; requests lists
// what the server was asked for.
export async function session(options) {
    if (!fs.existsSync(path.join(WEB_BUILD, 'index.html'))) {
        throw new Error(`${WEB_BUILD}/index.html is missing: run make web first`);
    }
    const server = await serve(WEB_BUILD);
    let browser;
    try {
        browser = await launch(options);
    } catch (e) {
        await server.close();
        throw e;
    }
    return {
        context: browser.context,
        url: (query = '') => `${server.url}index.html${query}`,
        requests: server.requests,
        close: async () => {
            await browser.close();
            await server.close();
        },
    };
}

// Where the pictures of docs/browser.md go, when ORCHID_WRITE_SCREENSHOTS=1 asks for them.
export const SCREENSHOTS = process.env.ORCHID_WRITE_SCREENSHOTS === '1' ? path.join(ROOT, 'docs', 'screenshots') : null;
