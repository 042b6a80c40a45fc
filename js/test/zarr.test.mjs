// The zarr codec against Python's vrk.numcodecs.Vrk: stores Python writes read
// the same in zarrita, stores zarrita writes hold Python's chunk bytes and read
// the same in Python. VRK_PYTHON, VRK_PYTHON_SITE (its PYTHONPATH) and
// VRK_TEST_TMP say which Python and where to write.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdir, mkdtemp, readdir, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import FileSystemStore from '@zarrita/storage/fs';
import * as zarr from 'zarrita';
import { VrkError } from '../src/index.js';
import { VrkCodec } from '../src/zarr.js';

const here = fileURLToPath(new URL('.', import.meta.url));
const python = process.env.VRK_PYTHON ?? '/usr/bin/python3';
const pythonSite = process.env.VRK_PYTHON_SITE ?? join(here, '../../build/release/python/site');

const types = {
  uint8: { zarr: '|u1', Array: Uint8Array },
  int8: { zarr: '|i1', Array: Int8Array },
  uint16: { zarr: '<u2', Array: Uint16Array },
  int16: { zarr: '<i2', Array: Int16Array },
};

// bits: the samples' range (per frame for stacks), so a default bits_per_sample has one right answer
// and each frame of the stack a different one.
const cases = [
  { name: 'grey8-edge-chunks', dtype: 'uint8', shape: [40, 70], chunks: [40, 48], config: {} },
  { name: 'grey12', dtype: 'uint16', shape: [48, 40], chunks: [48, 40], bits: 12, config: {} },
  { name: 'colour', dtype: 'uint8', shape: [36, 40, 3], chunks: [36, 40, 3], config: {} },
  { name: 'int16-signed', dtype: 'int16', shape: [32, 48], chunks: [32, 48], config: { signed: true } },
  { name: 'lossy', dtype: 'uint8', shape: [40, 40], chunks: [40, 40], config: { loss_factor: 3 }, lossy: true },
  { name: 'stack-per-frame-bits', dtype: 'uint16', shape: [3, 32, 40], chunks: [1, 32, 40], bits: [9, 13, 16],
    config: { threads: 2 } },
  { name: 'fast-graphics', dtype: 'uint8', shape: [64, 64], chunks: [64, 64], blocks: true,
    config: { fast: true, graphics: true, loss_factor: 1 }, lossy: true },
  { name: 'order-F-14-bit', dtype: 'uint16', shape: [1, 40, 33], chunks: [1, 40, 33], order: 'F', bits: 12,
    config: { bits_per_sample: 14 } },
].map((c, i) => ({ ...c, seed: 1000 + i }));

let folder;

function runPython(mode, input) {
  return execFileSync(python, [join(here, 'zarr_python.py'), mode, folder], {
    input: JSON.stringify(input),
    env: { ...process.env, PYTHONPATH: pythonSite },
    encoding: 'utf8',
  });
}

async function samples(c, suffix) {
  const bytes = await readFile(join(folder, `${c.name}.${suffix}.bin`));
  const { Array } = types[c.dtype];
  return new Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength));
}

function cStrides(shape) {
  return shape.map((_, i) => shape.slice(i + 1).reduce((a, b) => a * b, 1));
}

// A copy of what zarr.get returns in C order (it keeps an F-order array's order).
function cOrder({ data, shape, stride }) {
  const out = new data.constructor(data.length);
  const steps = cStrides(shape);
  for (let i = 0; i < out.length; i += 1) {
    out[i] = data[steps.reduce((at, step, axis) => at + (Math.floor(i / step) % shape[axis]) * stride[axis], 0)];
  }
  return out;
}

// A zarr v2 array as Python's zarr lays it out: zarrita 0.7.5 creates v3
// arrays only, so the .zarray is written here and zarrita writes the chunks.
async function writeJsStore(c, data) {
  const path = join(folder, 'js', c.name);
  await mkdir(path, { recursive: true });
  const meta = {
    zarr_format: 2, shape: c.shape, chunks: c.chunks, dtype: types[c.dtype].zarr,
    compressor: { id: 'vrk', ...c.config }, fill_value: 0, order: c.order ?? 'C', filters: null,
    dimension_separator: '.',
  };
  await writeFile(join(path, '.zarray'), JSON.stringify(meta));
  const array = await zarr.open.v2(new FileSystemStore(path), { kind: 'array' });
  await zarr.set(array, null, { data, shape: c.shape, stride: cStrides(c.shape) });
  return path;
}

async function chunkFiles(path) {
  const names = (await readdir(path)).filter((name) => !name.startsWith('.')).sort();
  return Promise.all(names.map(async (name) => [name, await readFile(join(path, name))]));
}

before(async () => {
  const parent = process.env.VRK_TEST_TMP ?? tmpdir();
  await mkdir(parent, { recursive: true });
  folder = await mkdtemp(join(parent, 'vrk-zarr-'));
  runPython('write', cases);
});

after(async () => {
  if (folder) await rm(folder, { recursive: true, force: true });
});

describe('Python writes, zarrita reads', () => {
  for (const c of cases) {
    test(c.name, async () => {
      const array = await zarr.open(new FileSystemStore(join(folder, 'py', c.name)), { kind: 'array' });
      const chunk = await zarr.get(array);
      assert.deepEqual(chunk.shape, c.shape);
      assert.ok(chunk.data instanceof types[c.dtype].Array);
      const data = cOrder(chunk);
      assert.deepEqual(data, await samples(c, 'expected'));
      if (!c.lossy) assert.deepEqual(data, await samples(c, 'source'));
    });
  }
});

describe('zarrita writes, Python reads', () => {
  let found;
  before(async () => {
    for (const c of cases) await writeJsStore(c, await samples(c, 'source'));
    found = JSON.parse(runPython('read', cases.map((c) => c.name)));
  });

  for (const c of cases) {
    test(c.name, async () => {
      const jsChunks = await chunkFiles(join(folder, 'js', c.name));
      const pyChunks = await chunkFiles(join(folder, 'py', c.name));
      assert.deepEqual(jsChunks.map(([name]) => name), pyChunks.map(([name]) => name));
      for (const [i, [name, bytes]] of jsChunks.entries()) {
        assert.ok(bytes.equals(pyChunks[i][1]), `chunk ${name} differs from Python's`);
      }
      assert.deepEqual(found[c.name], [c.dtype, c.shape]);
      assert.deepEqual(await samples(c, 'read'), await samples(c, 'expected'));
    });
  }
});

describe('a damaged chunk fails the read with the VrkError', () => {
  const damages = [
    { name: 'truncated', damage: (b) => b.subarray(0, b.length >> 1), codeName: 'CANNOT_READ' },
    { name: 'one bit flipped', damage: (b) => { b[b.length >> 1] ^= 0x10; return b; }, codeName: 'INCORRECT_CRC' },
    { name: 'not a vrk file', damage: (b) => b.fill(7), codeName: 'INVALID_COMPRESSED_FILE' },
  ];
  for (const { name, damage, codeName } of damages) {
    test(name, async () => {
      const c = { ...cases[0], name: `damaged-${name.replaceAll(' ', '-')}` };
      const path = await writeJsStore(c, await samples(cases[0], 'source'));
      const chunk = join(path, '0.1');
      await writeFile(chunk, damage(await readFile(chunk)));
      const array = await zarr.open.v2(new FileSystemStore(path), { kind: 'array' });
      await assert.rejects(zarr.get(array), (error) => {
        assert.ok(error.cause instanceof VrkError, `cause: ${error.cause}`);
        assert.equal(error.cause.codeName, codeName);
        return true;
      });
    });
  }

  test('a sound image of another size is refused, not reshaped', async () => {
    const c = { ...cases[0], name: 'damaged-other-size' };
    const path = await writeJsStore(c, new Uint8Array(c.shape[0] * c.shape[1]));
    await writeFile(join(path, '0.1'), await readFile(join(folder, 'py', 'lossy', '0.0')));
    const array = await zarr.open.v2(new FileSystemStore(path), { kind: 'array' });
    await assert.rejects(zarr.get(array), (error) => /40 x 40 x 1 image of 1-byte samples; the array's chunks hold 1920 1-byte samples/.test(error.cause?.message));
  });
});

describe('zarr v3 metadata names the codec "vrk"', () => {
  test('an int8 colour array round-trips', async () => {
    const shape = [40, 36, 3];
    const data = Int8Array.from({ length: 40 * 36 * 3 }, (_, i) => ((i * 37) % 256) - 128);
    const array = await zarr.create(zarr.root(new Map()), {
      shape, chunkShape: shape, dtype: 'int8',
      codecs: [{ name: 'bytes', configuration: {} }, { name: 'vrk', configuration: { signed: true } }],
    });
    await zarr.set(array, null, { data, shape, stride: cStrides(shape) });
    assert.deepEqual((await zarr.get(array)).data, data);
  });
});

describe('bad configurations and chunks are refused with a clear error', () => {
  const grey = (dataType, shape = [32, 32]) => ({ dataType, shape, codecs: [] });
  const bad = [
    [{ loss_factor: 13 }, grey('uint8'), /loss_factor must be an integer from 0 to 12, not 13/],
    [{ loss_factor: 1.5 }, grey('uint8'), /loss_factor must be an integer/],
    [{ fast: 1 }, grey('uint8'), /fast must be true or false/],
    [{ graphics: 'yes' }, grey('uint8'), /graphics must be true or false/],
    [{ threads: -1 }, grey('uint8'), /threads must be an integer/],
    [{ bits_per_sample: 8 }, grey('uint16'), /bits_per_sample must be an integer from 9 to 16, not 8/],
    [{ bits_per_sample: 12 }, grey('uint8'), /bits_per_sample must be an integer from 8 to 8/],
    [{ bits_per_sample: 12, signed: true }, grey('int16'), /bits_per_sample must be an integer from 16 to 16/],
    [{ lossFactor: 2 }, grey('uint8'), /unknown option "lossFactor"/],
    [{ signed: true }, grey('uint16'), /signed takes int8 or int16 arrays, not uint16/],
    [{}, grey('int16'), /int16 arrays need signed: true/],
    [{}, grey('float32'), /not float32/],
    [{}, { ...grey('uint16'), codecs: [{ name: 'bytes', configuration: { endian: 'big' } }] }, /little-endian/],
  ];
  for (const [config, meta, message] of bad) {
    test(`${JSON.stringify(config)} for ${meta.dataType}`, () => {
      assert.throws(() => VrkCodec.fromConfig(config, meta), message);
    });
  }

  const unusable = [
    [grey('uint8', [4, 32, 32]), /one \(H, W\), \(H, W, 1\) or \(H, W, 3\) image .* not \(4, 32, 32\)/],
    [grey('uint16', [32, 32, 3]), /16-bit ones are grey only/],
  ];
  for (const [meta, message] of unusable) {
    test(`a ${meta.dataType} chunk of shape (${meta.shape})`, () => {
      const codec = VrkCodec.fromConfig({}, meta);
      const size = meta.shape.reduce((a, b) => a * b, 1) * (meta.dataType === 'uint16' ? 2 : 1);
      assert.throws(() => codec.encode(new Uint8Array(size)), message);
    });
  }
});
