// Reads the PNG files the native build writes (8-bit RGB or RGBA, not
// interlaced) into RGBA bytes, to compare them with what the canvas holds.
import fs from 'node:fs';
import zlib from 'node:zlib';

const SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

export function readPng(file) {
    const data = fs.readFileSync(file);
    if (data.length < 8 || !data.subarray(0, 8).equals(SIGNATURE)) {
        throw new Error(`${file}: not a PNG file`);
    }
    let width = 0, height = 0, colourType = -1;
    const idat = [];
    for (let at = 8; at + 12 <= data.length;) {
        const length = data.readUInt32BE(at);
        const type = data.toString('latin1', at + 4, at + 8);
        if (at + 12 + length > data.length) throw new Error(`${file}: chunk ${type} runs past the end`);
        const body = data.subarray(at + 8, at + 8 + length);
        if (type === 'IHDR') {
            width = body.readUInt32BE(0);
            height = body.readUInt32BE(4);
            const [depth, colour, , , interlace] = body.subarray(8, 13);
            if (depth !== 8 || (colour !== 2 && colour !== 6) || interlace !== 0) {
                throw new Error(`${file}: only 8-bit RGB or RGBA without interlace is read ` +
                                `(depth ${depth}, colour type ${colour}, interlace ${interlace})`);
            }
            colourType = colour;
        } else if (type === 'IDAT') {
            idat.push(body);
        } else if (type === 'IEND') {
            break;
        }
        at += 12 + length;
    }
    if (colourType < 0) throw new Error(`${file}: no IHDR chunk`);
    const channels = colourType === 6 ? 4 : 3;
    const stride = width * channels;
    const raw = zlib.inflateSync(Buffer.concat(idat));
    if (raw.length !== height * (stride + 1)) {
        throw new Error(`${file}: ${raw.length} bytes of image data, ${height * (stride + 1)} expected`);
    }
    const rows = Buffer.alloc(height * stride);
    for (let y = 0; y < height; y++) {
        const filter = raw[y * (stride + 1)];
        const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        const out = rows.subarray(y * stride, (y + 1) * stride);
        const up = y > 0 ? rows.subarray((y - 1) * stride, y * stride) : Buffer.alloc(stride);
        for (let i = 0; i < stride; i++) {
            const a = i >= channels ? out[i - channels] : 0;
            const b = up[i];
            const c = i >= channels ? up[i - channels] : 0;
            let predictor;
            switch (filter) {
            case 0: predictor = 0; break;
            case 1: predictor = a; break;
            case 2: predictor = b; break;
            case 3: predictor = (a + b) >> 1; break;
            case 4: {
                const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
                predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default: throw new Error(`${file}: row ${y} has the unknown filter ${filter}`);
            }
            out[i] = (line[i] + predictor) & 0xff;
        }
    }
    const rgba = Buffer.alloc(width * height * 4);
    for (let p = 0; p < width * height; p++) {
        rgba[p * 4] = rows[p * channels];
        rgba[p * 4 + 1] = rows[p * channels + 1];
        rgba[p * 4 + 2] = rows[p * channels + 2];
        rgba[p * 4 + 3] = channels === 4 ? rows[p * channels + 3] : 255;
    }
    return { width, height, rgba };
}
