// Loads the WebAssembly library once, when this module is first imported: in
// node from the file beside the loader, elsewhere with fetch(). The loader
// gets the bytes, so a failure to load rejects the import instead of hanging it.
import createVrkModule from '../dist/vrk_wasm.js';

const binaryUrl = new URL('../dist/vrk_wasm.wasm', import.meta.url);

async function binary() {
  if (typeof process === 'object' && typeof process.versions?.node === 'string') {
    const { readFile } = await import('node:fs/promises');
    return readFile(binaryUrl);
  }
  const response = await fetch(binaryUrl, { credentials: 'same-origin' });
  if (!response.ok) throw new Error(`cannot load ${binaryUrl}: HTTP ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

export const wasm = await createVrkModule({ wasmBinary: await binary() });
