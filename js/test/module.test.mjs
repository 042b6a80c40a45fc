// The WebAssembly library against the known-good vectors, and on damaged or
// hostile input: every failure is a VrkError, never an image.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import * as vrk from '../src/index.js';
import { wasm } from '../src/module.js';
import { cases, pnmSamples, read } from './conformance.mjs';

function samplesOfFile(file, format, info) {
  if (format === 'pgm' || format === 'ppm') return pnmSamples(file);
  if (format === 'raw' && info.bytesPerSample === 2) {
    return Uint16Array.from({ length: file.length / 2 }, (_, i) => (file[2 * i] << 8) | file[2 * i + 1]);
  }
  return format === 'raw' ? file : null; // a Sun raster pads its rows: checked through restoreImage
}

describe('conformance vectors', () => {
  for (const c of cases) {
    test(c.name, () => {
      const input = read(c.input);
      const compressed = read(c.compressed);
      const decoded = read(c.decoded);
      assert.deepEqual(vrk.compressImage(input, c.options), compressed, 'compressed file differs');

      const restored = vrk.restoreImage(compressed);
      assert.equal(restored.format, c.options.format);
      assert.deepEqual(restored.file, decoded, 'restored file differs');

      const image = vrk.decode(compressed);
      assert.equal(image.format, c.options.format);
      assert.equal(image.lossFactor, c.options.lossFactor);
      assert.equal(image.fast, c.options.fast);
      assert.equal(image.graphics, c.options.graphics);
      assert.deepEqual(image.header, decoded.subarray(0, image.header.length));
      const expected = samplesOfFile(decoded, image.format, image);
      if (expected !== null) assert.deepEqual(image.data, expected, 'decoded samples differ');
      assert.equal(image.data.length, image.width * image.height * image.channels);

      // Samples with the header encode() writes give the vector itself.
      const plain = `P${image.channels === 3 ? 6 : 5}\n${image.width} ${image.height}\n${(1 << image.bitsPerSample) - 1}\n`;
      if (c.decoded === c.input && image.format !== 'raw' && new TextDecoder('latin1').decode(image.header) === plain) {
        const { width, height, channels, bitsPerSample, lossFactor, fast, graphics } = image;
        const encoded = vrk.encode(image.data, { width, height, channels, bitsPerSample, lossFactor, fast, graphics });
        assert.deepEqual(encoded, compressed, 'encode() differs');
      }
    });
  }
});

describe('damaged files', () => {
  const damaged = ['g8-photo.n0.vrk', 'g16-noise.f5.vrk', 'rgb-photo128.g1.vrk', 'g12-photo.fg3.vrk'];
  for (const name of damaged) {
    test(`${name}: every cut and changed byte throws VrkError or gives the image itself`, () => {
      const compressed = read(`expected/${name}`);
      const original = { image: vrk.decode(compressed).data, file: vrk.restoreImage(compressed).file };
      const step = Math.max(1, Math.floor(compressed.length / 400));
      const variants = [];
      for (let length = 0; length < compressed.length; length += step) variants.push(compressed.subarray(0, length));
      for (let at = 0; at < compressed.length; at += step) {
        for (const flip of [0x01, 0x80, 0xff]) {
          const bytes = compressed.slice();
          bytes[at] ^= flip;
          variants.push(bytes);
        }
      }
      // A change in bits no decoder reads (the padding of a stream) may still give the image.
      let refused = 0;
      for (const bytes of variants) {
        for (const [call, result, expected] of [[vrk.decode, 'data', original.image], [vrk.restoreImage, 'file', original.file]]) {
          try {
            assert.deepEqual(call(bytes)[result], expected, `${call.name} of damaged bytes gave a wrong image`);
          } catch (error) {
            if (!(error instanceof vrk.VrkError)) throw error;
            refused += 1;
          }
        }
      }
      assert.ok(refused > variants.length, 'most damage must be found');
    });
  }

  test('the error carries the library code and message', () => {
    const bytes = read('expected/g8-photo.n0.vrk');
    bytes[bytes.length - 1] ^= 1; // the CRC word
    assert.throws(() => vrk.decode(bytes), { name: 'VrkError', code: 9, codeName: 'INCORRECT_CRC',
      message: 'Incorrect image CRC' });
    assert.throws(() => vrk.inspect(new Uint8Array([0x50, 0x35])),
      { code: vrk.ErrorCode.CANNOT_READ, message: 'Cannot read from file' });
  });
});

describe('limits', () => {
  // A real file whose header claims 65535 x 65535 pixels of 16 bits: 8 GiB of samples.
  const huge = read('expected/g16-noise.n0.vrk');
  huge.set([0xff, 0xff, 0xff, 0xff], 4);

  test('maxPixels refuses a 65535 x 65535 header before allocating', () => {
    const memory = wasm.HEAPU8.length;
    assert.throws(() => vrk.decode(huge), { codeName: 'LIMIT_EXCEEDED', message: 'Image exceeds the decoding limit' });
    assert.throws(() => vrk.restoreImage(huge), { codeName: 'LIMIT_EXCEEDED' });
    assert.throws(() => vrk.decode(read('expected/g8-photo.n0.vrk'), { maxPixels: 100 }), { codeName: 'LIMIT_EXCEEDED' });
    assert.equal(wasm.HEAPU8.length, memory, 'the module memory grew');
  });

  test('without the limit, an image beyond WebAssembly memory is refused cleanly', () => {
    assert.throws(() => vrk.decode(huge, { maxPixels: Infinity }), { codeName: 'OUT_OF_MEMORY' });
    assert.throws(() => vrk.restoreImage(huge, { maxPixels: Infinity }), vrk.VrkError);
  });
});

describe('arguments', () => {
  const image = vrk.decode(read('expected/g8-photo.n0.vrk'));
  const shape = { width: image.width, height: image.height };
  const cases = [
    ['a string to decode', () => vrk.decode('abc'), TypeError],
    ['samples as a plain array', () => vrk.encode([1, 2, 3], shape), TypeError],
    ['a loss factor of 13', () => vrk.encode(image.data, { ...shape, lossFactor: 13 }), RangeError],
    ['fast as a number', () => vrk.encode(image.data, { ...shape, fast: 1 }), TypeError],
    ['9 bits in a Uint8Array', () => vrk.encode(image.data, { ...shape, bitsPerSample: 9 }), RangeError],
    ['a missing width', () => vrk.encode(image.data, { height: 10 }), RangeError],
    ['too few samples', () => vrk.encode(image.data.subarray(1), shape), vrk.VrkError],
    ['a sample above 12 bits', () => vrk.encode(new Uint16Array(64 * 64).fill(4096), { width: 64, height: 64, bitsPerSample: 12 }), vrk.VrkError],
    ['an unknown format', () => vrk.compressImage(new Uint8Array(10), { format: 'png' }), TypeError],
    ['maxPixels 0', () => vrk.decode(new Uint8Array(10), { maxPixels: 0 }), RangeError],
  ];
  for (const [name, call, error] of cases) test(name, () => assert.throws(call, error));

  test('any ArrayBuffer view is bytes, and calls leave no memory behind', () => {
    const bytes = read('expected/rgb-photo128.n0.vrk');
    const copy = new ArrayBuffer(bytes.length + 3);
    new Uint8Array(copy, 3).set(bytes);
    const view = new DataView(copy, 3, bytes.length);
    assert.deepEqual(vrk.decode(view).data, vrk.decode(bytes.buffer.slice(bytes.byteOffset)).data);
    const shared = new SharedArrayBuffer(bytes.length);
    new Uint8Array(shared).set(bytes);
    assert.deepEqual(vrk.decode(shared).data, vrk.decode(view).data);
    const before = wasm._malloc(1);
    wasm._free(before);
    for (let i = 0; i < 3; i += 1) {
      const { data, width, height } = vrk.decode(bytes);
      vrk.encode(data, { width, height, channels: 3 });
    }
    const after = wasm._malloc(1);
    wasm._free(after);
    assert.equal(after, before, 'an allocation was not freed');
  });
});
