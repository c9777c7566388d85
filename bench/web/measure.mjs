// See run beside this file.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { CHROMIUM, NATIVE_BUILD, WEB_BUILD, openPage, session, waitForState } from '../../tests/platform/web/lib/browser.mjs';
import { ORCHID } from '../../tests/platform/web/lib/native.mjs';

function usage() {
    console.error('usage: bench/web/run [--loads N] [--runs N]');
    process.exit(2);
}
const options = { loads: 5, runs: 2 };
for (let i = 2; i < process.argv.length; i += 2) {
    const name = process.argv[i].replace(/^--/, ''), value = Number(process.argv[i + 1]);
    if (!(name in options) || !(value >= 1)) usage();
    options[name] = value;
}
for (const [what, file] of [['chromium', CHROMIUM], ['the native build', ORCHID],
                            ['the web build', path.join(WEB_BUILD, 'index.html')]]) {
    if (!fs.existsSync(file)) {
        console.error(`bench/web: ${what} is missing (${file})`);
        process.exit(1);
    }
}

// The mean frame cost in µs from a benchmark report, native or web.
function meanFrameCost(report, who) {
    const mean = /^mean frame cost: ([\d.]+) us/m.exec(report);
    if (!mean) throw new Error(`${who}: no line "mean frame cost: N us" in:\n${report}`);
    return Number(mean[1]);
}
const digestOf = report => /^frames digest ([0-9a-f]{16})$/m.exec(report)?.[1] ?? '(none)';
const median = values => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const ms = values => values.map(t => t.toFixed(0)).join(', ');

// Records when the page first reaches the start screen, in ms since its
// navigation began.
function markStart() {
    new MutationObserver((_, observer) => {
        if (document.body?.dataset.orchid === 'start') {
            window.orchidTestStartAt = performance.now();
            observer.disconnect();
        }
    }).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-orchid'], childList: true });
}

async function loadToStart(s) {
    const { page } = await openPage(s.context, s.url(), { init: markStart });
    await waitForState(page, 'start');
    const at = await page.evaluate(() => window.orchidTestStartAt);
    await page.close();
    return at;
}

// Load times first, while nothing else runs: a first visit in a fresh browser
// each time (nothing compiled or cached yet), then visits again in one browser.
const firstVisits = [], againVisits = [];
let downloaded = [];
for (let i = 0; i < options.loads; i++) {
    const s = await session();
    try {
        firstVisits.push(await loadToStart(s));
        if (i === 0) {
            downloaded = s.requests.filter(r => r.status === 200 && !r.url.endsWith('.mp3'))
                .map(r => ({
                    name: r.url.slice(1), sent: r.bytes, encoding: r.encoding,
                    size: fs.statSync(path.join(WEB_BUILD, r.url.split('?')[0])).size,
                }));
        }
        if (i === options.loads - 1) {
            for (let j = 0; j < options.loads; j++) againVisits.push(await loadToStart(s));
        }
    } finally {
        await s.close();
    }
}

// The whole show, native and in the browser by turns, so that both see the
// same load of the machine; the fastest run of each counts.
const nativeMeans = [], webMeans = [];
let nativeDigest = '', webDigest = '';
const s = await session();
try {
    for (let run = 0; run < options.runs; run++) {
        const native = execFileSync(ORCHID, ['--benchmark'],
                                    { cwd: NATIVE_BUILD, encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
        nativeMeans.push(meanFrameCost(native, 'orchid --benchmark'));
        nativeDigest = digestOf(native);
        const { page } = await openPage(s.context, s.url('?bench'));
        await waitForState(page, 'ready', 600_000);
        const web = await page.locator('pre#bench').innerText();
        await page.close();
        webMeans.push(meanFrameCost(web, '?bench'));
        webDigest = digestOf(web);
    }
} finally {
    await s.close();
}

const nativeMean = Math.min(...nativeMeans), webMean = Math.min(...webMeans);
const total = downloaded.reduce((sum, f) => sum + f.size, 0);
const sent = downloaded.reduce((sum, f) => sum + f.sent, 0);
console.log('web build against native build, measured in one run');
console.log(`  mean frame cost   chromium ${webMean.toFixed(1)} us, native ${nativeMean.toFixed(1)} us: ` +
            `${(webMean / nativeMean).toFixed(2)}x (goal: within 2x; fastest of ${options.runs} runs each: ` +
            `chromium ${webMeans.map(m => m.toFixed(1)).join(', ')} us, native ${nativeMeans.map(m => m.toFixed(1)).join(', ')} us)`);
console.log(`  frames digest     chromium ${webDigest}, native ${nativeDigest}`);
console.log(`  load to start     first visit ${median(firstVisits).toFixed(0)} ms (median of ${ms(firstVisits)} ms), ` +
            `visit again ${median(againVisits).toFixed(0)} ms (median of ${ms(againVisits)} ms); goal: under 1000 ms`);
console.log(`  download          ${(sent / 1e6).toFixed(2)} MB before the music, of files of ${(total / 1e6).toFixed(2)} MB: ` +
            `${(sent / total).toFixed(3)} (goal: at most 0.65): ` +
            downloaded.map(f => `${f.name} ${(f.sent / 1e3).toFixed(0)} kB ${f.encoding ?? 'as it is'} ` +
                                `of ${(f.size / 1e3).toFixed(0)} kB`).join(', '));
