// Reads one frame of a zarr v2 array whose chunks are vrk images, over fetch.
// Only what the vrk codec writes is accepted: C order, no filters, grey or
// RGB samples of one or two bytes, chunks that take one frame (or a tile of
// it) and all its channels.

const dtypes = {
  '|u1': { Array: Uint8Array, bytes: 1, signed: false },
  '<u2': { Array: Uint16Array, bytes: 2, signed: false },
  '|i1': { Array: Int8Array, bytes: 1, signed: true },
  '<i2': { Array: Int16Array, bytes: 2, signed: true },
};

export class ZarrError extends Error {
  constructor(message) {
    super(message);
    this.name = 'ZarrError';
  }
}

function directoryUrl(url) {
  const base = new URL(url);
  if (!base.pathname.endsWith('/')) base.pathname += '/';
  return base;
}

// Which axes are frames, rows, columns and channels: (H,W), (N,H,W), (H,W,3), (N,H,W,C).
function layout(shape) {
  if (shape.length === 2) return { frameAxis: -1, rowAxis: 0, channelAxis: -1 };
  // A vrk image is at least 32 wide, so a last axis of 3 is colour, not columns.
  if (shape.length === 3) return shape[2] === 3 ? { frameAxis: -1, rowAxis: 0, channelAxis: 2 }
    : { frameAxis: 0, rowAxis: 1, channelAxis: -1 };
  if (shape.length === 4 && (shape[3] === 1 || shape[3] === 3)) return { frameAxis: 0, rowAxis: 1, channelAxis: 3 };
  throw new ZarrError(`an array of shape (${shape.join(', ')}) is not grey or RGB images`);
}

/** Reads an array's .zarray and checks that this reader can show it. */
export async function openZarrArray(url) {
  const base = directoryUrl(url);
  const response = await fetch(new URL('.zarray', base));
  if (!response.ok) throw new ZarrError(`no zarr array at ${base} (HTTP ${response.status} for .zarray)`);
  let meta;
  try {
    meta = await response.json();
  } catch {
    throw new ZarrError(`${base}.zarray is not JSON`);
  }
  if (meta.zarr_format !== 2) throw new ZarrError(`zarr format ${meta.zarr_format} is not supported, only 2`);
  if (meta.compressor?.id !== 'vrk') {
    throw new ZarrError(`the array's compressor is ${JSON.stringify(meta.compressor?.id ?? null)}, not vrk`);
  }
  if (meta.filters?.length) throw new ZarrError('arrays with filters are not supported');
  if (meta.order !== 'C') throw new ZarrError(`order ${meta.order} is not supported, only C`);
  const dtype = dtypes[meta.dtype];
  if (!dtype) throw new ZarrError(`dtype ${meta.dtype} is not supported (|u1, <u2, |i1 or <i2)`);
  const { shape, chunks } = meta;
  const axes = layout(shape);
  const channels = axes.channelAxis < 0 ? 1 : shape[axes.channelAxis];
  if (axes.frameAxis >= 0 && chunks[axes.frameAxis] !== 1) throw new ZarrError('each chunk must hold one frame');
  if (axes.channelAxis >= 0 && chunks[axes.channelAxis] !== channels) {
    throw new ZarrError('each chunk must hold all channels');
  }
  if (channels === 3 && dtype.bytes !== 1) throw new ZarrError('colour arrays must have one byte per sample');
  return {
    url: base.href,
    meta,
    dtype,
    ...axes,
    frames: axes.frameAxis < 0 ? 1 : shape[axes.frameAxis],
    height: shape[axes.rowAxis],
    width: shape[axes.rowAxis + 1],
    channels,
    tileHeight: chunks[axes.rowAxis],
    tileWidth: chunks[axes.rowAxis + 1],
    separator: meta.dimension_separator ?? '.',
    // The codec stores signed samples with their sign bit flipped.
    flip: meta.compressor.signed === true ? (dtype.bytes === 1 ? 0x80 : 0x8000) : 0,
  };
}

function chunkKey(array, frame, tileRow, tileColumn) {
  const index = new Array(array.meta.shape.length).fill(0);
  if (array.frameAxis >= 0) index[array.frameAxis] = frame;
  index[array.rowAxis] = tileRow;
  index[array.rowAxis + 1] = tileColumn;
  return index.join(array.separator);
}

async function fetchChunk(url) {
  const response = await fetch(url);
  if (response.status === 404) return null; // never written: the fill value
  if (!response.ok) throw new ZarrError(`cannot read chunk ${url}: HTTP ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

/**
 * Reads frame `frame`, decoding each chunk with decodeChunk(bytes) (vrk's decode):
 * { data (typed array of the dtype, rows top to bottom, channels interleaved),
 *   compressedBytes, chunks: [{ key, info }] of the chunks found }.
 */
export async function readFrame(array, frame, decodeChunk) {
  if (!Number.isInteger(frame) || frame < 0 || frame >= array.frames) {
    throw new ZarrError(`frame ${frame} is out of range: the array has ${array.frames} frame(s), from 0`);
  }
  const { width, height, channels, tileWidth, tileHeight, dtype, flip } = array;
  const rowLength = width * channels;
  const frameData = new dtype.Array(height * rowLength);
  // Samples are handled as their unsigned bits; the signed view shares them.
  const bits = dtype.bytes === 1 ? new Uint8Array(frameData.buffer) : new Uint16Array(frameData.buffer);
  const fill = Number(array.meta.fill_value ?? 0);
  if (fill !== 0) bits.fill(fill & (dtype.bytes === 1 ? 0xff : 0xffff));

  const tiles = [];
  for (let row = 0; row * tileHeight < height; row += 1) {
    for (let column = 0; column * tileWidth < width; column += 1) tiles.push({ row, column });
  }
  const fetched = await Promise.all(tiles.map(({ row, column }) =>
    fetchChunk(new URL(chunkKey(array, frame, row, column), array.url))));

  let compressedBytes = 0;
  const found = [];
  tiles.forEach(({ row, column }, t) => {
    const bytes = fetched[t];
    if (bytes === null) return;
    const key = chunkKey(array, frame, row, column);
    const image = decodeChunk(bytes);
    if (image.width !== tileWidth || image.height !== tileHeight || image.channels !== channels ||
      image.bytesPerSample !== dtype.bytes) {
      throw new ZarrError(`chunk ${key} holds a ${image.width} x ${image.height} image of ${image.channels} ` +
        `channel(s), ${image.bytesPerSample} byte(s) per sample; the array's chunks are ${tileWidth} x ` +
        `${tileHeight}, ${channels} channel(s), ${dtype.bytes} byte(s)`);
    }
    compressedBytes += bytes.byteLength;
    found.push({ key, info: image });
    // Edge chunks are padded to the full chunk size: copy only what lies inside the frame.
    const top = row * tileHeight;
    const left = column * tileWidth;
    const rows = Math.min(tileHeight, height - top);
    const span = Math.min(tileWidth, width - left) * channels;
    for (let y = 0; y < rows; y += 1) {
      const source = image.data.subarray(y * tileWidth * channels, y * tileWidth * channels + span);
      const start = (top + y) * rowLength + left * channels;
      if (flip === 0) {
        bits.set(source, start);
      } else {
        for (let i = 0; i < span; i += 1) bits[start + i] = source[i] ^ flip;
      }
    }
  });
  return { data: frameData, compressedBytes, chunks: found };
}
