// Decodes off the page's thread, so the page stays responsive on large images.
// Request: { id, source } with source { kind: 'bytes', bytes, name } | { kind: 'url', url }
// | { kind: 'zarr', url, frame }. Reply: { id, image } or { id, error }.
import { openZarrArray, readFrame, ZarrError } from './zarr_array.js';

// The package loads its WebAssembly with a top-level await. Imported statically,
// it would hold back this module's evaluation, and messages arriving meanwhile
// would find no handler; so the handler is set at once and waits for it.
const vrk = import('./vrk/src/index.js');
let decode;
let VrkError;

// decode()'s default pixel limit (16384 x 16384) stands: a file from a link can
// claim any size, and the page must not reserve gigabytes for a header's word.

async function sha256(samples) {
  if (!globalThis.crypto?.subtle) return null; // only in secure contexts (https, localhost)
  const bytes = new Uint8Array(samples.buffer, samples.byteOffset, samples.byteLength);
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
}

async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`Cannot load ${url}: HTTP ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

function fileImage(bytes) {
  const start = performance.now();
  const image = decode(bytes);
  return { ...image, signed: false, compressedBytes: bytes.byteLength, decodeMs: performance.now() - start };
}

async function zarrImage(url, frame) {
  const array = await openZarrArray(url);
  let decodeMs = 0;
  const decodeChunk = (bytes) => {
    const start = performance.now();
    try {
      return decode(bytes);
    } finally {
      decodeMs += performance.now() - start;
    }
  };
  const { data, compressedBytes, chunks } = await readFrame(array, frame, decodeChunk);
  const first = chunks[0]?.info;
  const config = array.meta.compressor;
  const bitsPerSample = array.dtype.bytes === 1 ? 8
    : Math.max(0, ...chunks.map((c) => c.info.bitsPerSample)) || config.bits_per_sample || 16;
  return {
    width: array.width,
    height: array.height,
    channels: array.channels,
    bitsPerSample,
    bytesPerSample: array.dtype.bytes,
    signed: array.dtype.signed,
    lossFactor: first?.lossFactor ?? config.loss_factor ?? 0,
    fast: first?.fast ?? config.fast ?? false,
    graphics: first?.graphics ?? config.graphics ?? false,
    format: 'zarr',
    header: new Uint8Array(0),
    data,
    compressedBytes,
    decodeMs,
    zarr: { frame, frames: array.frames, dtype: array.meta.dtype, chunksRead: chunks.length },
  };
}

function describeError(error) {
  if (VrkError && error instanceof VrkError) return { message: error.message, code: error.codeName, library: true };
  if (error instanceof ZarrError) return { message: error.message, code: 'ZARR', library: false };
  return { message: error?.message ?? String(error), code: 'OTHER', library: false };
}

self.onmessage = async ({ data: { id, source } }) => {
  try {
    ({ decode, VrkError } = await vrk);
    let image;
    if (source.kind === 'zarr') {
      image = await zarrImage(source.url, source.frame);
    } else {
      image = fileImage(source.kind === 'url' ? await fetchBytes(source.url) : new Uint8Array(source.bytes));
    }
    image.sha256 = await sha256(image.data);
    self.postMessage({ id, image }, [image.data.buffer]);
  } catch (error) {
    self.postMessage({ id, error: describeError(error) });
  }
};
