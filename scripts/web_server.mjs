// A small static web server for the browser build: serves one folder on
// 127.0.0.1, with the MIME types the page needs, and the precompressed
// .gz beside a file (when it is not older) to a browser that accepts gzip.
//   node scripts/web_server.mjs FOLDER [PORT]
import { createServer } from 'node:http';
import { createReadStream, statSync } from 'node:fs';
import { extname, join, normalize, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.wasm': 'application/wasm',
  '.css': 'text/css; charset=utf-8', '.png': 'image/png', '.svg': 'image/svg+xml', '.txt': 'text/plain; charset=utf-8',
};

function isFile(path) {
  try { return statSync(path).isFile(); } catch { return false; }
}

// The precompressed copy of path, when there is one at least as new.
function compressed(path) {
  try {
    return statSync(path + '.gz').mtimeMs >= statSync(path).mtimeMs ? path + '.gz' : null;
  } catch { return null; }
}

// Starts serving folder; resolves to the listening server (port 0: any free one).
export function serve(folder, port = 0) {
  const root = normalize(folder + sep);
  const server = createServer((req, res) => {
    const url = new URL(req.url, 'http://localhost');
    let path = normalize(join(root, decodeURIComponent(url.pathname)));
    if (!path.startsWith(root)) { res.writeHead(403).end(); return; }
    if (path.endsWith(sep)) path = join(path, 'lichtbox.html');
    if (!isFile(path)) { res.writeHead(404, { 'Content-Type': TYPES['.txt'] }).end('not found\n'); return; }
    const headers = { 'Content-Type': TYPES[extname(path)] || 'application/octet-stream', 'Cache-Control': 'no-cache',
                      'Vary': 'Accept-Encoding' };
    let file = path;
    const gz = /\bgzip\b/.test(req.headers['accept-encoding'] || '') && compressed(path);
    if (gz) {
      file = gz;
      headers['Content-Encoding'] = 'gzip';
    }
    headers['Content-Length'] = statSync(file).size;
    res.writeHead(200, headers);
    if (req.method === 'HEAD') { res.end(); return; }
    createReadStream(file).pipe(res);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [folder, port = '8000'] = process.argv.slice(2);
  if (!folder) {
    console.error('usage: node scripts/web_server.mjs FOLDER [PORT]');
    process.exit(2);
  }
  serve(folder, Number(port)).then((server) => {
    console.log(`Lichtbox: open http://127.0.0.1:${server.address().port}/lichtbox.html in a browser (Ctrl+C stops the server)`);
  }, (err) => {
    console.error(`web_server: cannot serve on port ${port}: ${err.message}`);
    process.exit(1);
  });
}
