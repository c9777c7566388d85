// The native build as the oracle: its headless frames and its frames digest.
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';
import { NATIVE_BUILD, ROOT } from './browser.mjs';
import { readPng } from './png.mjs';

export const ORCHID = path.join(NATIVE_BUILD, 'orchid');

// The frame the native build renders headless for hundredth h, through the
// display conversion of depth bits, as RGBA.
export async function nativeFrame(hundredth, depth = 32) {
    return nativeFrameFile(hundredth, depth, readPng);
}

// The PNG file's bytes that `--frames` writes for hundredth h.
export async function nativeFramePng(hundredth, depth = 32) {
    return nativeFrameFile(hundredth, depth, file => fs.readFileSync(file));
}

// Writes the frame for hundredth h and hands its file to use, before the
// folder goes.
async function nativeFrameFile(hundredth, depth, use) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orchid-frames-'));
    try {
        const seconds = (hundredth / 100).toFixed(2);
        // The program finds the music in its working directory.
        await promisify(execFile)(ORCHID, ['--frames', dir, '--fps', '100', '--from', seconds,
                                           '--to', seconds, '--depth', String(depth)], { cwd: NATIVE_BUILD });
        const file = path.join(dir, `frame-${String(hundredth).padStart(5, '0')}.png`);
        if (!fs.existsSync(file)) {
            throw new Error(`${ORCHID} --frames wrote no ${path.basename(file)} (it wrote: ` +
                            `${fs.readdirSync(dir).join(', ') || 'nothing'})`);
        }
        return await use(file);
    } finally {
        fs.rmSync(dir, { recursive: true, force: true });
    }
}

// The golden frames digest of the whole show, which the native tests hold
// every native build to.
export function goldenDigest() {
    const table = fs.readFileSync(path.join(ROOT, 'tests', 'capture', 'show_digests.txt'), 'utf8');
    const line = /^show \d+ ([0-9a-f]{16})$/m.exec(table);
    if (!line) throw new Error('tests/capture/show_digests.txt has no "show" line');
    return line[1];
}

// The error report the native build gives when the music is missing: what
// follows the caption "Error!" on its standard error.
export async function nativeReportWithoutMusic() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orchid-no-music-'));
    try {
        // Named outright: otherwise the music beside the program is found.
        const missing = path.join(dir, 'kestrune-velomar.mp3');
        const run = await promisify(execFile)(ORCHID, ['--frames', dir, '--to', '0', '--music', missing], { cwd: dir })
            .then(() => { throw new Error(`${ORCHID} ran without its music`); },
                  failed => failed);
        const at = run.stderr.indexOf('Error!\n');
        if (at < 0) throw new Error(`${ORCHID} without its music reported no "Error!":\n${run.stderr}`);
        return run.stderr.slice(at + 'Error!\n'.length);
    } finally {
        fs.rmSync(dir, { recursive: true, force: true });
    }
}
