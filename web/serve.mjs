// SPDX-License-Identifier: GPL-3.0-or-later
// Serves the page's folder on localhost, with the headers that make it
// cross-origin isolated. Nothing but the folder's own files.
//   node web/serve.mjs FOLDER [PORT]
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const folder = path.resolve(process.argv[2] ?? 'dist/web');
const port = Number(process.argv[3] ?? 8080);
const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.wav': 'audio/wav',
};

const server = http.createServer((request, response) => {
  const headers = {
    'Cross-Origin-Opener-Policy': 'same-origin',
    'Cross-Origin-Embedder-Policy': 'require-corp',
    'Cross-Origin-Resource-Policy': 'same-origin',
    'Cache-Control': 'no-cache',
  };
  let name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
  if (name.endsWith('/')) name += 'index.html';
  const file = path.join(folder, path.normalize(name));
  if (!file.startsWith(folder + path.sep)) {
    response.writeHead(403, headers).end();
    return;
  }
  fs.stat(file, (error, stat) => {
    if (error || !stat.isFile()) {
      response.writeHead(404, headers).end('not found');
      return;
    }
    headers['Content-Type'] = types[path.extname(file)] ?? 'application/octet-stream';
    headers['Content-Length'] = stat.size;
    response.writeHead(200, headers);
    fs.createReadStream(file).pipe(response);
  });
});
server.listen(port, '127.0.0.1', () => {
  console.log(`Serving ${folder} at http://localhost:${server.address().port}/`);
});
