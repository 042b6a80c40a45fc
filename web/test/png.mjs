// Reads an 8-bit, non-interlaced RGB or RGBA PNG (what Chromium writes) into RGBA bytes.
import { inflateSync } from 'node:zlib';

const signature = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

/** { width, height, rgba } of a PNG file's bytes. */
export function readPng(file) {
  const png = Buffer.from(file);
  if (!png.subarray(0, 8).equals(signature)) throw new Error('not a PNG file');
  let header;
  const compressed = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    const type = png.toString('latin1', at + 4, at + 8);
    const data = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      header = { width: data.readUInt32BE(0), height: data.readUInt32BE(4), depth: data[8], colour: data[9],
        interlace: data[12] };
    } else if (type === 'IDAT') {
      compressed.push(data);
    }
    at += 12 + length;
  }
  const { width, height, depth, colour, interlace } = header;
  if (depth !== 8 || interlace !== 0 || (colour !== 2 && colour !== 6)) {
    throw new Error(`unsupported PNG: depth ${depth}, colour type ${colour}, interlace ${interlace}`);
  }
  const step = colour === 6 ? 4 : 3;
  const stride = width * step;
  const raw = inflateSync(Buffer.concat(compressed));
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y += 1) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = y * stride;
    for (let x = 0; x < stride; x += 1) {
      const left = x >= step ? rows[out + x - step] : 0;
      const up = y > 0 ? rows[out - stride + x] : 0;
      const corner = x >= step && y > 0 ? rows[out - stride + x - step] : 0;
      const predictor = [0, left, up, (left + up) >> 1, paeth(left, up, corner)][filter];
      rows[out + x] = (line[x] + predictor) & 0xff;
    }
  }
  const rgba = new Uint8Array(width * height * 4);
  for (let p = 0; p < width * height; p += 1) {
    for (let c = 0; c < 3; c += 1) rgba[p * 4 + c] = rows[p * step + c];
    rgba[p * 4 + 3] = step === 4 ? rows[p * step + 3] : 255;
  }
  return { width, height, rgba };
}
