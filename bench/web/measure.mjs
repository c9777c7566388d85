// See run beside this file.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { CHROMIUM, NATIVE_BUILD, WEB_BUILD, openPage, session, waitForState } from '../../tests/web/lib/browser.mjs';
import { ORCHID } from '../../tests/web/lib/native.mjs';

const args = process.argv.slice(2);
const loads = args[0] === '--loads' ? Number(args[1]) : 5;
if (!(loads >= 1) || (args.length && args[0] !== '--loads')) {
    console.error('usage: bench/web/run [--loads N]');
    process.exit(2);
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

// Records when the page first reaches the start screen, in ms since navigation began.
function markStart() {
    new MutationObserver((_, observer) => {
        if (document.body?.dataset.orchid === 'start') {
            window.orchidTestStartAt = performance.now();
            observer.disconnect();
        }
    }).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-orchid'], childList: true });
}

const s = await session();
try {
    // Load time first, while nothing else runs.
    const loadTimes = [];
    for (let i = 0; i < loads; i++) {
        const { page } = await openPage(s.context, s.url(), { init: markStart });
        await waitForState(page, 'start');
        loadTimes.push(await page.evaluate(() => window.orchidTestStartAt));
        await page.close();
    }

    const native = execFileSync(ORCHID, ['--benchmark'], { cwd: NATIVE_BUILD, encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
    const { page } = await openPage(s.context, s.url('?bench'));
    await waitForState(page, 'ready', 600_000);
    const web = await page.locator('pre#bench').innerText();
    await page.close();

    const nativeMean = meanFrameCost(native, 'orchid --benchmark');
    const webMean = meanFrameCost(web, '?bench');

    const files = fs.readdirSync(WEB_BUILD, { withFileTypes: true })
        .filter(f => f.isFile() && !f.name.endsWith('.mp3'))
        .map(f => ({ name: f.name, size: fs.statSync(path.join(WEB_BUILD, f.name)).size }));
    const total = files.reduce((sum, f) => sum + f.size, 0);

    console.log('web build against native build, measured in one run');
    console.log(`  mean frame cost   chromium ${webMean.toFixed(1)} us, native ${nativeMean.toFixed(1)} us: ` +
                `${(webMean / nativeMean).toFixed(2)}x (goal: within 2x)`);
    console.log(`  frames digest     chromium ${digestOf(web)}, native ${digestOf(native)}`);
    console.log(`  load to start     median ${median(loadTimes).toFixed(0)} ms of ${loads} loads ` +
                `(${loadTimes.map(t => t.toFixed(0)).join(', ')} ms; goal: under 1000 ms)`);
    console.log(`  download size     ${(total / 1e6).toFixed(2)} MB without the music (goal: under 3 MB): ` +
                files.map(f => `${f.name} ${(f.size / 1e3).toFixed(0)} kB`).join(', '));
} finally {
    await s.close();
}
