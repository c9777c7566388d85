// A static file server for the browser tests: serves one folder on a free
// port of 127.0.0.1, with the content types a browser insists on (.wasm as
// application/wasm, or streaming compilation refuses it) and byte ranges,
// which media elements ask for.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const TYPES = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.json': 'application/json',
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

// Starts serving root; resolves to { url, requests, close() }. requests lists
// every request with its status, so a test can name one that failed.
export function serve(root) {
    root = path.resolve(root);
    const requests = [];
    const server = http.createServer((req, res) => {
        const reply = (status, headers, body) => {
            requests.push({ method: req.method, url: req.url, status });
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
            'Cache-Control': 'no-store',
        };
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
        requests.push({ method: req.method, url: req.url, status });
        res.writeHead(status, headers);
        if (req.method === 'HEAD' || stat.size === 0) return res.end();
        fs.createReadStream(file, { start, end }).pipe(res);
    });
    return new Promise((resolvePromise, reject) => {
        server.once('error', reject);
        server.listen(0, '127.0.0.1', () => {
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
