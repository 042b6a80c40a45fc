// vrk for JavaScript: the library compiled to WebAssembly, ready once this
// module's import resolves. Every call copies its input into the module's
// memory, runs on the calling thread, and frees all it allocated before it
// returns; failures throw VrkError and never return a partial image.
import { flag, integer, maxLossFactor } from './arguments.js';
import { ErrorCode, VrkError } from './error.js';
import { wasm } from './module.js';

export { ErrorCode, VrkError };

/** The library's version, as the C library's vrk_version() gives it. */
export const version = text(wasm._vrk_version());

/** Images of more pixels than this are refused unless the caller raises or lifts the limit. */
export const DEFAULT_MAX_PIXELS = 268435456; // 16384 x 16384

const formats = ['', 'raw', 'sun_raster', 'pgm', 'ppm'];

function text(address) {
  const heap = wasm.HEAPU8;
  let end = address;
  while (heap[end] !== 0) end += 1;
  return new TextDecoder().decode(heap.subarray(address, end));
}

function fail(status, detail) {
  throw new VrkError(status, text(wasm._vrk_status_message(status)), detail);
}

function check(status) {
  if (status !== 0) fail(status);
}

function bytesOf(name, value) {
  if (value instanceof Uint8Array) return value;
  if (value instanceof ArrayBuffer || (typeof SharedArrayBuffer === 'function' && value instanceof SharedArrayBuffer)) {
    return new Uint8Array(value);
  }
  if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
  throw new TypeError(`${name} must be a Uint8Array, an ArrayBuffer, a SharedArrayBuffer or another ArrayBuffer view`);
}

function pixelLimit(maxPixels) {
  if (maxPixels === Infinity) return 0;
  return integer('maxPixels', maxPixels, 1, Number.MAX_SAFE_INTEGER);
}

// Runs body with the module's allocations it makes through `alloc`, all freed afterwards.
function withMemory(body) {
  const owned = [];
  const alloc = (size) => {
    // WebAssembly addresses are 32-bit: a larger size would wrap around.
    if (size > 0xffffffff) fail(ErrorCode.OUT_OF_MEMORY);
    const address = wasm._malloc(Math.max(size, 1));
    if (address === 0) fail(ErrorCode.OUT_OF_MEMORY);
    owned.push(address);
    return address;
  };
  try {
    return body(alloc);
  } finally {
    for (const address of owned) wasm._free(address);
  }
}

function copyIn(alloc, bytes) {
  const address = alloc(bytes.byteLength);
  wasm.HEAPU8.set(bytes, address);
  return address;
}

// Calls a library function that returns a buffer through (out, outSize) and copies that buffer out.
function bufferResult(alloc, call) {
  const slots = alloc(8); // uint8_t* and size_t, 4 bytes each in wasm32
  check(call(slots, slots + 4));
  const address = wasm.HEAPU32[slots >>> 2];
  const size = wasm.HEAPU32[(slots + 4) >>> 2];
  try {
    return wasm.HEAPU8.slice(address, address + size);
  } finally {
    wasm._vrk_free(address);
  }
}

function codingOptions(options) {
  const { lossFactor = 0, fast = false, graphics = false } = options;
  return [flag('fast', fast) ? 1 : 0, flag('graphics', graphics) ? 1 : 0, integer('lossFactor', lossFactor, 0, maxLossFactor)];
}

function infoAt(alloc, address, size, bytes) {
  const fields = alloc(11 * 4);
  check(wasm._vrkjs_inspect(address, size, fields));
  const f = wasm.HEAPU32.subarray(fields >>> 2, (fields >>> 2) + 11);
  return {
    width: f[0],
    height: f[1],
    channels: f[2],
    bitsPerSample: f[3],
    bytesPerSample: f[4],
    lossFactor: f[5],
    fast: f[6] !== 0,
    graphics: f[7] !== 0,
    format: formats[f[8]],
    header: new Uint8Array(bytes.subarray(f[10], f[10] + f[9])),
  };
}

/**
 * Reads a .vrk file's headers: { width, height, channels, bitsPerSample, bytesPerSample,
 * lossFactor, fast, graphics, format, header } (header: the original file's own header bytes).
 */
export function inspect(bytes) {
  const data = bytesOf('bytes', bytes);
  return withMemory((alloc) => infoAt(alloc, copyIn(alloc, data), data.byteLength, data));
}

/**
 * Decodes a .vrk file into its samples: the inspect() fields and `data`, a Uint8Array
 * (8 bits) or Uint16Array (9..16 bits), rows top to bottom, channels interleaved.
 * An image of more than maxPixels pixels is refused (LIMIT_EXCEEDED) before any
 * buffer for it is allocated; Infinity lifts the limit.
 */
export function decode(bytes, { maxPixels = DEFAULT_MAX_PIXELS } = {}) {
  const data = bytesOf('bytes', bytes);
  const limit = pixelLimit(maxPixels);
  return withMemory((alloc) => {
    const input = copyIn(alloc, data);
    const info = infoAt(alloc, input, data.byteLength, data);
    const pixels = info.width * info.height;
    if (limit !== 0 && pixels > limit) {
      fail(ErrorCode.LIMIT_EXCEEDED, `the image declares ${info.width} x ${info.height} = ${pixels} pixels, ` +
        `more than maxPixels ${limit}`);
    }
    const size = pixels * info.channels * info.bytesPerSample;
    const output = alloc(size);
    check(wasm._vrkjs_decode(input, data.byteLength, output, size, limit));
    const heap = wasm.HEAPU8.buffer;
    const samples = info.bytesPerSample === 1 ? new Uint8Array(heap, output, size).slice()
      : new Uint16Array(heap, output, size / 2).slice();
    return { ...info, data: samples };
  });
}

/**
 * Compresses samples into a .vrk file: the same bytes as the C and C++ libraries give.
 * `data` holds height rows of width pixels of `channels` samples (1 grey, 3 colour at
 * 8 bits): a Uint8Array for 8 bits, a Uint16Array for 9..16 bits.
 */
export function encode(data, options = {}) {
  const { width, height, channels = 1 } = options;
  const wide = data instanceof Uint16Array;
  if (!wide && !(data instanceof Uint8Array)) throw new TypeError('data must be a Uint8Array or a Uint16Array');
  const bits = integer('bitsPerSample', options.bitsPerSample ?? (wide ? 16 : 8), wide ? 9 : 8, wide ? 16 : 8);
  const shape = [integer('width', width, 1, 0xffffffff), integer('height', height, 1, 0xffffffff),
    integer('channels', channels, 1, 3)];
  const coding = codingOptions(options);
  return withMemory((alloc) => {
    const input = copyIn(alloc, new Uint8Array(data.buffer, data.byteOffset, data.byteLength));
    return bufferResult(alloc, (out, outSize) =>
      wasm._vrkjs_encode(input, data.byteLength, ...shape, bits, ...coding, out, outSize));
  });
}

/**
 * Compresses a whole image file (format 'pgm', 'ppm' or 'sun_raster') into a .vrk file,
 * byte for byte what the vrk command makes of it. Headerless samples are format 'raw',
 * with rawWidth, rawHeight (0: as high as wide) and rawBytesPerPixel (1, 2 or 3).
 */
export function compressImage(file, options = {}) {
  const bytes = bytesOf('file', file);
  const format = formats.indexOf(options.format);
  if (format < 1) throw new TypeError(`format must be one of ${formats.slice(1).join(', ')}`);
  const coding = codingOptions(options);
  return withMemory((alloc) => {
    const input = copyIn(alloc, bytes);
    if (format !== 1) {
      return bufferResult(alloc, (out, outSize) =>
        wasm._vrkjs_compress_image(input, bytes.byteLength, format, ...coding, out, outSize));
    }
    const { rawWidth, rawHeight = 0, rawBytesPerPixel = 1 } = options;
    const layout = [integer('rawWidth', rawWidth, 1, 0xffffffff), integer('rawHeight', rawHeight, 0, 0xffffffff),
      integer('rawBytesPerPixel', rawBytesPerPixel, 1, 3)];
    return bufferResult(alloc, (out, outSize) =>
      wasm._vrkjs_compress_raw(input, bytes.byteLength, ...layout, ...coding, out, outSize));
  });
}

/** Restores the image file a .vrk file was made from, byte for byte: { format, file }. */
export function restoreImage(bytes, { maxPixels = DEFAULT_MAX_PIXELS } = {}) {
  const data = bytesOf('bytes', bytes);
  const limit = pixelLimit(maxPixels);
  return withMemory((alloc) => {
    const input = copyIn(alloc, data);
    const format = alloc(4);
    const file = bufferResult(alloc, (out, outSize) =>
      wasm._vrkjs_restore_image(input, data.byteLength, limit, format, out, outSize));
    return { format: formats[wasm.HEAP32[format >>> 2]], file };
  });
}
