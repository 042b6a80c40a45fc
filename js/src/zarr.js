// vrk as a zarr codec for zarrita: importing this module registers it, so
// zarrita reads and writes arrays whose chunks Python's vrk.numcodecs.Vrk
// wrote or reads, byte for byte the same chunks for the same samples.
//
//   import * as zarr from 'zarrita';
//   import 'vrk/zarr';
//   const stack = await zarr.open(store, { kind: 'array' }); // compressor {"id": "vrk", ...}
//   const frame = await zarr.get(stack, [0, null, null]);
//
// The codec is a compressor (bytes to bytes): zarr v2 names it "vrk" in
// .zarray, which zarrita looks up as "numcodecs.vrk"; zarr v3 metadata can
// name it "vrk", after the "bytes" codec. Its configuration is Python's:
// loss_factor (0..12), graphics, fast, bits_per_sample (null: 8 for 8-bit
// samples, 16 for int16, and for uint16 the fewest bits from 9 to 16 holding
// the chunk's largest sample), threads (accepted and ignored: WebAssembly
// runs on one thread) and signed (true for int8 and int16 arrays, whose
// samples are stored with their sign bit flipped).
//
// Each chunk is one image: uint8 or int8 (H, W), (H, W, 1) or (H, W, 3),
// uint16 or int16 (H, W) or (H, W, 1), leading axes of length 1 dropped, so
// stacks chunked (1, H, W) work; both sides at least 32. Samples must be
// little-endian.
import { registry } from 'zarrita';
import { flag, integer, maxLossFactor } from './arguments.js';
import { decode, encode, inspect } from './index.js';

const sampleTypes = {
  uint8: { bytes: 1, signed: false },
  int8: { bytes: 1, signed: true },
  uint16: { bytes: 2, signed: false },
  int16: { bytes: 2, signed: true },
};
const keys = ['loss_factor', 'graphics', 'fast', 'bits_per_sample', 'threads', 'signed'];

// The codec's options, named as its configuration names them.
const option = (key) => `vrk codec: ${key}`;

// The shape of the chunk's samples as they lie in memory: the array's shape,
// permuted by the last transpose codec (zarr v2 order "F" becomes one).
function storedShape(shape, codecs) {
  const order = codecs.filter((codec) => codec.name === 'transpose').at(-1)?.configuration?.order ?? 'C';
  if (order === 'C') return shape;
  if (order === 'F') return [...shape].reverse();
  return order.map((axis) => shape[axis]);
}

// [height, width, channels] of the image a chunk holds, by Python's rule.
function imageShape(shape, wide) {
  let dims = shape;
  while (dims.length > 2 && dims[0] === 1 && !(dims.length === 3 && dims[2] === 3)) dims = dims.slice(1);
  const [height, width, channels = 1] = dims;
  if (dims.length < 2 || dims.length > 3 || (channels !== 1 && channels !== 3)) {
    throw new RangeError(`vrk codec: a chunk must be one (H, W), (H, W, 1) or (H, W, 3) image ` +
      `after dropping leading axes of length 1, not (${shape.join(', ')})`);
  }
  if (wide && channels === 3) throw new RangeError('vrk codec: colour images hold 8-bit samples; 16-bit ones are grey only');
  return [height, width, channels];
}

function flipSignBits(samples) {
  const bit = samples.BYTES_PER_ELEMENT === 1 ? 0x80 : 0x8000;
  for (let i = 0; i < samples.length; i += 1) samples[i] ^= bit;
}

/** The vrk zarr codec: one image per chunk, as Python's vrk.numcodecs.Vrk. */
export class VrkCodec {
  static codecId = 'vrk';
  kind = 'bytes_to_bytes';

  /** `meta`: the chunk's dataType, shape and the array's codecs, as zarrita passes them. */
  constructor(config = {}, meta = {}) {
    for (const key of Object.keys(config)) {
      if (!keys.includes(key)) throw new TypeError(`vrk codec: unknown option ${JSON.stringify(key)}; it takes ${keys.join(', ')}`);
    }
    const { loss_factor = 0, graphics = false, fast = false, bits_per_sample = null, threads = 0, signed = false } = config;
    this.lossFactor = integer(option('loss_factor'), loss_factor, 0, maxLossFactor);
    this.graphics = flag(option('graphics'), graphics);
    this.fast = flag(option('fast'), fast);
    integer(option('threads'), threads, 0, 0x7fffffff);
    this.signed = flag(option('signed'), signed);
    const type = sampleTypes[meta.dataType];
    if (!type) throw new TypeError(`vrk codec: samples must be uint8 or uint16 (int8 or int16 with signed), not ${meta.dataType}`);
    if (type.signed !== this.signed) {
      throw new TypeError(this.signed ? `vrk codec: signed takes int8 or int16 arrays, not ${meta.dataType}`
        : `vrk codec: ${meta.dataType} arrays need signed: true`);
    }
    if ((meta.codecs ?? []).some((codec) => codec.name === 'bytes' && codec.configuration?.endian === 'big') && type.bytes === 2) {
      throw new TypeError('vrk codec: 16-bit samples must be little-endian');
    }
    const fixedBits = type.bytes === 1 ? 8 : type.signed ? 16 : null;
    if (bits_per_sample !== null) {
      integer(option('bits_per_sample'), bits_per_sample, fixedBits ?? 9, fixedBits ?? 16);
    }
    this.bitsPerSample = bits_per_sample ?? fixedBits; // null: from each chunk's largest sample
    this.bytesPerSample = type.bytes;
    this.shape = storedShape(meta.shape ?? [], meta.codecs ?? []);
    this.samples = this.shape.reduce((a, b) => a * b, 1);
  }

  static fromConfig(config, meta) {
    return new VrkCodec(config ?? {}, meta);
  }

  /** The chunk's sample bytes (little-endian, in its memory order) as one vrk image. */
  encode(bytes) {
    const [height, width, channels] = imageShape(this.shape, this.bytesPerSample === 2);
    if (bytes.byteLength !== this.samples * this.bytesPerSample) {
      throw new RangeError(`vrk codec: a chunk of ${this.samples} samples needs ` +
        `${this.samples * this.bytesPerSample} bytes, not ${bytes.byteLength}`);
    }
    let samples = this.bytesPerSample === 1 ? bytes : new Uint16Array(bytes.slice().buffer);
    if (this.signed) {
      if (samples === bytes) samples = bytes.slice();
      flipSignBits(samples);
    }
    let bitsPerSample = this.bitsPerSample;
    if (bitsPerSample === null) {
      const largest = samples.reduce((a, b) => (a > b ? a : b), 0);
      bitsPerSample = Math.max(9, 32 - Math.clz32(largest));
    }
    return encode(samples, {
      width, height, channels, bitsPerSample, lossFactor: this.lossFactor, fast: this.fast, graphics: this.graphics,
    });
  }

  /** The chunk's sample bytes; throws VrkError for damaged data. */
  decode(bytes) {
    const info = inspect(bytes);
    const samples = info.width * info.height * info.channels;
    if (info.bytesPerSample !== this.bytesPerSample || samples !== this.samples) {
      throw new RangeError(`vrk codec: the chunk holds a ${info.width} x ${info.height} x ${info.channels} image ` +
        `of ${info.bytesPerSample}-byte samples; the array's chunks hold ${this.samples} ${this.bytesPerSample}-byte samples`);
    }
    const { data } = decode(bytes, { maxPixels: Infinity }); // the chunk's shape bounds it
    if (this.signed) flipSignBits(data);
    return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
  }
}

/** Registers the codec under the names zarrita looks up: "vrk" (v3) and "numcodecs.vrk" (v2 compressors). */
export function register(target = registry) {
  for (const name of ['vrk', 'numcodecs.vrk']) target.set(name, async () => VrkCodec);
}

register();
