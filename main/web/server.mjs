// The page's static file server, for `make serve` and the browser tests:
// serves one folder on 127.0.0.1, with the content types a browser insists
// on (.wasm as application/wasm, or streaming compilation refuses it), byte
// ranges, which media elements ask for, and the Brotli or gzip copy that
// `make web` writes beside a file (NAME.br, NAME.gz) when the browser takes
// that encoding.
//
//   node main/web/server.mjs [FOLDER [PORT]]    (default build-web, 8000)
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import process from 'node:process';
import { fileURLToPath } from 'node:url';

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.json': 'application/json',
    '.webmanifest': 'application/manifest+json',
    '.wasm': 'application/wasm',
    '.mp3': 'audio/mpeg',
    '.png': 'image/png',
    '.jpg': 'image/jpeg',
    '.ico': 'image/x-icon',
    '.svg': 'image/svg+xml',
    '.txt': 'text/plain; charset=utf-8',
};

export function contentType(file) {
    return TYPES[path.extname(file).toLowerCase()] ?? 'application/octet-stream';
}

// Resolves a request path inside root; null for anything that would leave it.
function resolve(root, urlPath) {
    let decoded;
    try {
        decoded = decodeURIComponent(urlPath.split('?')[0]);
    } catch {
        return null;
    }
    const file = path.resolve(root, '.' + path.posix.normalize('/' + decoded));
    if (file !== root && !file.startsWith(root + path.sep)) return null;
    return file;
}

// The encodings a browser takes, from its Accept-Encoding header, leaving
// out those it gives a q of 0.
function accepted(header) {
    const taken = new Set();
    for (const part of (header ?? '').split(',')) {
        const [name, ...params] = part.trim().toLowerCase().split(';');
        const q = params.map(p => p.trim()).find(p => p.startsWith('q='));
        if (name !== '' && (q === undefined || Number(q.slice(2)) > 0)) taken.add(name);
    }
    return taken;
}

// The precompressed copy of file to send for this request, as
// { file, encoding, stat }, or null for the file itself. A range request
// gets the file itself: ranges count the bytes of the file, not of a copy.
function compressedCopy(file, req) {
    if (req.headers.range !== undefined) return null;
    const taken = accepted(req.headers['accept-encoding']);
    for (const [encoding, suffix] of [['br', '.br'], ['gzip', '.gz']]) {
        if (!taken.has(encoding)) continue;
        try {
            const stat = fs.statSync(file + suffix);
            if (stat.isFile()) return { file: file + suffix, encoding, stat };
        } catch {
            // No copy in this encoding.
        }
    }
    return null;
}

// Starts serving root on port (0: a free one); resolves to { url, requests,
// close() }. requests lists every request with its status and the bytes of
// its body, so a test can name one that failed or count a visit's download.
// cache is the Cache-Control every answer carries.
export function serve(root, { port = 0, cache = 'no-store' } = {}) {
    root = path.resolve(root);
    const requests = [];
    const server = http.createServer((req, res) => {
        const reply = (status, headers, body) => {
            requests.push({ method: req.method, url: req.url, status, bytes: 0 });
            res.writeHead(status, headers);
            res.end(body);
        };
        if (req.method !== 'GET' && req.method !== 'HEAD') return reply(405, { Allow: 'GET, HEAD' });
        let file = resolve(root, req.url);
        if (file === null) return reply(403, {});
        let stat;
        try {
            stat = fs.statSync(file);
            if (stat.isDirectory()) {
                file = path.join(file, 'index.html');
                stat = fs.statSync(file);
            }
        } catch {
            return reply(404, { 'Content-Type': 'text/plain' }, 'not found\n');
        }
        const headers = {
            'Content-Type': contentType(file),
            'Accept-Ranges': 'bytes',
            'Cache-Control': cache,
            'Vary': 'Accept-Encoding',
        };
        const copy = compressedCopy(file, req);
        if (copy !== null) {
            file = copy.file;
            stat = copy.stat;
            headers['Content-Encoding'] = copy.encoding;
        }
        let start = 0, end = stat.size - 1, status = 200;
        const range = /^bytes=(\d*)-(\d*)$/.exec(req.headers.range ?? '');
        if (range && (range[1] !== '' || range[2] !== '')) {
            if (range[1] === '') {
                start = Math.max(0, stat.size - Number(range[2]));
            } else {
                start = Number(range[1]);
                if (range[2] !== '') end = Math.min(end, Number(range[2]));
            }
            if (start > end) {
                return reply(416, { 'Content-Range': `bytes */${stat.size}` });
            }
            status = 206;
            headers['Content-Range'] = `bytes ${start}-${end}/${stat.size}`;
        }
        headers['Content-Length'] = String(end - start + 1);
        requests.push({
            method: req.method, url: req.url, status, encoding: copy?.encoding ?? null,
            bytes: req.method === 'HEAD' ? 0 : end - start + 1,
        });
        res.writeHead(status, headers);
        if (req.method === 'HEAD' || stat.size === 0) return res.end();
        fs.createReadStream(file, { start, end }).pipe(res);
    });
    return new Promise((resolvePromise, reject) => {
        server.once('error', reject);
        server.listen(port, '127.0.0.1', () => {
            const { port } = server.address();
            resolvePromise({
                url: `http://127.0.0.1:${port}/`,
                requests,
                close: () => new Promise(done => {
                    server.closeAllConnections();
                    server.close(() => done());
                }),
            });
        });
    });
}

if (process.argv[1] !== undefined && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
    const folder = process.argv[2] ?? 'build-web';
    const port = Number(process.argv[3] ?? 8000);
    if (!fs.existsSync(path.join(folder, 'index.html'))) {
        console.error(`serve: ${folder}/index.html is missing: run make web first`);
        process.exit(1);
    }
    // A visitor's browser asks again before using what it keeps.
    const { url } = await serve(folder, { port, cache: 'no-cache' });
    console.log(`Orchid on ${url}`);
}
