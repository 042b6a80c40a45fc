// A static HTTP server on 127.0.0.1 for the browser test: URL prefixes mapped
// to folders, every request recorded.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import path from 'node:path';

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.svg': 'image/svg+xml', '.wasm': 'application/wasm', '.json': 'application/json',
};

/** Serves `mounts` ({ '/prefix/': folder }); resolves to { origin, requests, close() }. */
export async function serve(mounts) {
  const requests = [];
  const server = createServer(async (request, response) => {
    const pathname = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    requests.push(pathname);
    const prefix = Object.keys(mounts).filter((p) => pathname.startsWith(p)).sort((a, b) => b.length - a.length)[0];
    const folder = prefix && path.resolve(mounts[prefix]);
    let file = folder && path.resolve(folder, `.${pathname.slice(prefix.length - 1)}`);
    if (file && pathname.endsWith('/')) file = path.join(file, 'index.html');
    try {
      if (!file || (file !== folder && !file.startsWith(folder + path.sep))) throw new Error('outside');
      const body = await readFile(file);
      response.writeHead(200, { 'content-type': types[path.extname(file)] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404, { 'content-type': 'text/plain' });
      response.end('not found');
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    origin: `http://127.0.0.1:${server.address().port}`,
    requests,
    close: () => new Promise((resolve) => {
      server.closeAllConnections();
      server.close(resolve);
    }),
  };
}
