// Writes small zarr v2 arrays of vrk chunks, as the vrk numcodecs codec lays
// them out, from a fixed seed: the frames the page must show are known here.
import { mkdir, writeFile } from 'node:fs/promises';
import path from 'node:path';

function random(seed) {
  let state = seed >>> 0;
  return () => { // mulberry32
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
  };
}

const arrayTypes = { '|u1': Uint8Array, '<u2': Uint16Array, '|i1': Int8Array, '<i2': Int16Array };

/**
 * An array: { name, dtype, shape, chunks, frameAxis, low, high, fill, signed, separator,
 * missing (chunk keys not written), coding (encode options) }. Frames hold a gradient plus noise
 * from low to high; extremes at the first two samples.
 */
function frames(array, next) {
  const Type = arrayTypes[array.dtype];
  const count = array.frameAxis === 0 ? array.shape[0] : 1;
  const size = array.shape.slice(array.frameAxis === 0 ? 1 : 0).reduce((a, b) => a * b, 1);
  const span = array.high - array.low;
  return Array.from({ length: count }, () => {
    const frame = new Type(size);
    for (let i = 0; i < size; i += 1) {
      const smooth = (i % 97) / 97;
      frame[i] = array.low + Math.round(span * (0.8 * smooth + 0.2 * next()));
    }
    frame[0] = array.low;
    frame[1] = array.high;
    return frame;
  });
}

/** Writes the array under folder/name; returns its frames (typed arrays of its dtype). */
export async function writeArray(folder, array, encode, seed) {
  const { shape, chunks, dtype, frameAxis = -1, separator = '.', fill = 0, signed = false } = array;
  const directory = path.join(folder, array.name);
  await mkdir(directory, { recursive: true });
  const meta = {
    zarr_format: 2, shape, chunks, dtype, order: 'C', filters: null, fill_value: fill,
    compressor: { id: 'vrk', loss_factor: 0, graphics: false, fast: false, bits_per_sample: null,
      ...(signed ? { signed: true } : {}) },
    ...(array.separator ? { dimension_separator: separator } : {}),
  };
  await writeFile(path.join(directory, '.zarray'), JSON.stringify(meta));

  const all = frames(array, random(seed));
  const rowAxis = frameAxis + 1;
  const [height, width] = [shape[rowAxis], shape[rowAxis + 1]];
  const channelAxis = shape.length > rowAxis + 2;
  const channels = channelAxis ? shape[rowAxis + 2] : 1;
  const [tileHeight, tileWidth] = [chunks[rowAxis], chunks[rowAxis + 1]];
  const wide = dtype.endsWith('2');
  const mask = wide ? 0xffff : 0xff;
  const flip = signed ? (wide ? 0x8000 : 0x80) : 0;
  for (const [f, frame] of all.entries()) {
    for (let row = 0; row * tileHeight < height; row += 1) {
      for (let column = 0; column * tileWidth < width; column += 1) {
        const key = [...(frameAxis === 0 ? [f] : []), row, column, ...(channelAxis ? [0] : [])].join(separator);
        if (array.missing?.includes(key)) continue;
        // zarr pads edge chunks to the full chunk size with the fill value.
        const tile = new (wide ? Uint16Array : Uint8Array)(tileHeight * tileWidth * channels).fill(fill & mask);
        for (let y = 0; y < tileHeight && row * tileHeight + y < height; y += 1) {
          for (let x = 0; x < tileWidth * channels && column * tileWidth * channels + x < width * channels; x += 1) {
            const value = frame[(row * tileHeight + y) * width * channels + column * tileWidth * channels + x];
            tile[y * tileWidth * channels + x] = value & mask;
          }
        }
        if (flip) for (let i = 0; i < tile.length; i += 1) tile[i] ^= flip;
        const file = encode(tile, { width: tileWidth, height: tileHeight, channels, ...array.coding });
        await mkdir(path.dirname(path.join(directory, key)), { recursive: true });
        await writeFile(path.join(directory, key), file);
      }
    }
  }
  // A missing chunk reads as the fill value.
  for (const key of array.missing ?? []) {
    const [row, column] = key.split(separator).map(Number).slice(frameAxis === 0 ? 1 : 0);
    const frame = all[frameAxis === 0 ? Number(key.split(separator)[0]) : 0];
    for (let y = row * tileHeight; y < Math.min(height, (row + 1) * tileHeight); y += 1) {
      const start = (y * width + column * tileWidth) * channels;
      const end = (y * width + Math.min(width, (column + 1) * tileWidth)) * channels;
      frame.fill(fill, start, end);
    }
  }
  return all;
}
