// The viewer page in headless Chromium, served from the staged site
// (VRK_WEB_SITE) with the conformance vectors and files this test makes.
// Every page fails its test if it requests anything outside the local server,
// logs a console error or throws.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { mkdir, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { cases } from '../../js/test/conformance.mjs';
import { readPng } from './png.mjs';
import { serve } from './static_server.mjs';
import { sunRaster24, sunRaster8 } from './sun_raster.mjs';
import { writeArray } from './zarr_store.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const repository = path.resolve(here, '../..');
const conformance = path.join(repository, 'tests/data/conformance');
const site = process.env.VRK_WEB_SITE ?? path.join(repository, 'build/wasm/web/site');
const { compressImage, decode, encode } = await import(new URL('../../js/src/index.js', import.meta.url));
const puppeteer = createRequire(path.join(repository, 'js/package.json'))('puppeteer-core');

const safetyNet = 60_000; // only a hung page ever waits this long

const sha256 = (samples) =>
  createHash('sha256').update(new Uint8Array(samples.buffer, samples.byteOffset, samples.byteLength)).digest('hex');

// The compressed vectors, as paths under the conformance folder.
const vectorFiles = [...new Set(cases.map((c) => c.compressed))];

async function vector(name) {
  const bytes = await readFile(path.join(conformance, name));
  return { bytes, image: decode(bytes) };
}

function thrownBy(bytes) {
  try {
    decode(bytes);
  } catch (error) {
    return error;
  }
  return assert.fail('decode() accepted a file the test meant to be broken');
}

// Arrays in the store: tiles with edge padding and a missing chunk, 12 bits, colour, signed.
const zarrArrays = [
  { name: 'grey8', dtype: '|u1', shape: [3, 70, 90], chunks: [1, 40, 48], frameAxis: 0, low: 10, high: 240,
    separator: '/', fill: 7, missing: ['1/1/0'], frame: 1, bits: 8 },
  { name: 'grey12', dtype: '<u2', shape: [2, 40, 50], chunks: [1, 40, 50], frameAxis: 0, low: 100, high: 4000,
    coding: { bitsPerSample: 12, graphics: true }, frame: 1, bits: 12 },
  { name: 'rgb', dtype: '|u1', shape: [2, 36, 40, 3], chunks: [1, 36, 40, 3], frameAxis: 0, low: 0, high: 255,
    coding: { fast: true }, frame: 1, bits: 8 },
  { name: 'signed16', dtype: '<i2', shape: [40, 48], chunks: [40, 48], low: -32768, high: 32767, signed: true,
    coding: { bitsPerSample: 16 }, frame: 0, bits: 16 },
  { name: 'signed8', dtype: '|i1', shape: [2, 32, 33, 1], chunks: [1, 32, 33, 1], frameAxis: 0, low: -128, high: 127,
    signed: true, frame: 0, bits: 8 },
];

// Sun rasters made here: { file (the .ras file's vrk), colour(x, y) as the page must show it }.
const palette = Array.from({ length: 64 }, (_, i) => [i * 4, 255 - i * 4, (i * 37) % 256]);
const sunRasters = {
  colour: { colour: (x, y) => [x * 6, y * 7, 255 - x * 6] },
  mapped: { colour: (x, y) => palette[(x + 2 * y) % 64] },
};
sunRasters.colour.file = compressImage(sunRaster24(40, 32, sunRasters.colour.colour), { format: 'sun_raster' });
sunRasters.mapped.file = compressImage(sunRaster8(40, 32, (x, y) => (x + 2 * y) % 64, palette),
  { format: 'sun_raster', graphics: true });

let made;
let server;
let browser;
const zarrFrames = {};
const expectedMissing = new Set(); // URLs that must answer 404: a missing chunk, a missing file

before(async () => {
  made = await mkdtemp(path.join(process.env.VRK_TEST_TMP ?? os.tmpdir(), 'web-browser-'));
  const { bytes } = await vector('expected/rgb-photo128.n0.vrk');
  const damaged = Uint8Array.from(bytes);
  damaged[damaged.length >> 1] ^= 0xff;
  await writeFile(path.join(made, 'damaged.vrk'), damaged);
  await writeFile(path.join(made, 'cut.vrk'), bytes.subarray(0, bytes.length >> 1));
  await writeFile(path.join(made, 'foreign.png.vrk'),
    Buffer.concat([Buffer.from('89504e470d0a1a0a0000000d49484452', 'hex'), Buffer.alloc(200, 7)]));
  await writeFile(path.join(made, 'notes.txt.vrk'), 'This is text, not an image.\n');
  // A header that claims 65535 x 65535 pixels: refused by its word alone, before any allocation.
  const huge = Uint8Array.from(bytes);
  huge.set([0xff, 0xff, 0xff, 0xff], 4);
  await writeFile(path.join(made, 'huge.vrk'), huge);
  await writeFile(path.join(made, 'colour.ras.vrk'), sunRasters.colour.file);
  await writeFile(path.join(made, 'mapped.ras.vrk'), sunRasters.mapped.file);
  for (const [seed, array] of zarrArrays.entries()) {
    zarrFrames[array.name] = await writeArray(path.join(made, 'store.zarr'), array, encode, 1234 + seed);
  }
  const blosc = path.join(made, 'store.zarr', 'blosc');
  await mkdir(blosc);
  await writeFile(path.join(blosc, '.zarray'), JSON.stringify({ zarr_format: 2, shape: [40, 40], chunks: [40, 40],
    dtype: '|u1', order: 'C', filters: null, fill_value: 0, compressor: { id: 'blosc', cname: 'lz4' } }));

  server = await serve({ '/': site, '/conformance/': conformance, '/made/': made });
  expectedMissing.add(`${server.origin}/made/store.zarr/grey8/1/1/0`);
  expectedMissing.add(`${server.origin}/made/missing.vrk`);
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // The tests run as root. No host but this one resolves, so nothing the page asks for leaves the machine.
    args: ['--no-sandbox', '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1'],
  });
});

after(async () => {
  await browser?.close();
  await server?.close();
  if (made) await rm(made, { recursive: true, force: true });
});

// A page that records every way it could misbehave; `body` runs with it, then none may have happened.
async function withPage(body) {
  const page = await browser.newPage();
  page.setDefaultTimeout(safetyNet);
  const problems = [];
  const local = (url) => url.startsWith(`${server.origin}/`) || url.startsWith(`blob:${server.origin}/`);
  // Observed, not intercepted: Chromium stalls a worker's intercepted module imports.
  page.on('request', (request) => {
    if (!local(request.url())) problems.push(`requested ${request.url()}`);
  });
  page.on('response', (response) => {
    if (response.status() >= 400 && !expectedMissing.has(response.url())) {
      problems.push(`HTTP ${response.status()} for ${response.url()}`);
    }
  });
  page.on('console', (message) => {
    const expected404 = message.text().includes('404') && expectedMissing.has(message.location()?.url);
    if (message.type() === 'error' && !expected404) problems.push(`console error: ${message.text()}`);
  });
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  try {
    await body(page);
    assert.deepEqual(problems, []);
  } finally {
    await page.close();
  }
}

// What the page shows, once it has finished with what it was opening.
async function settled(page, source) {
  await page.waitForFunction((expected) => {
    const { state, source: shown } = document.body.dataset;
    return (state === 'ready' || state === 'error') && (expected === undefined || shown === expected);
  }, {}, source);
  return page.evaluate(() => ({
    state: document.body.dataset.state,
    sha256: document.body.dataset.sha256 ?? null,
    errorCode: document.body.dataset.errorCode ?? null,
    error: document.getElementById('error').textContent,
    description: document.getElementById('description').innerText,
    canvasShown: !document.getElementById('canvas').hidden,
    windowShown: !document.getElementById('window-controls').hidden,
  }));
}

async function openAddress(page, query) {
  await page.goto(`${server.origin}/index.html?${query}`);
  return settled(page);
}

const canvasPixels = (page) => page.evaluate(() => {
  const canvas = document.getElementById('canvas');
  return Array.from(canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data);
});

function assertShows(shown, image, name) {
  assert.equal(shown.state, 'ready', `${name}: ${shown.error}`);
  assert.equal(shown.sha256, sha256(image.data), `${name}: the page decoded other samples`);
  assert.ok(shown.canvasShown, name);
  assert.ok(shown.description.includes(`${image.width} × ${image.height}`), `${name}: ${shown.description}`);
  assert.ok(shown.description.includes(`${image.bitsPerSample}-bit`), `${name}: ${shown.description}`);
  assert.equal(shown.windowShown, image.bitsPerSample > 8 && image.channels === 1, `${name}: window controls`);
}

function assertRefuses(shown, error, name) {
  assert.equal(shown.state, 'error', name);
  assert.equal(shown.error, error.message, name);
  assert.equal(shown.errorCode, error.codeName, name);
  assert.equal(shown.sha256, null, `${name}: no samples`);
  assert.equal(shown.canvasShown, false, `${name}: no image`);
}

test('every conformance vector opened by address shows the samples decode() gives and describes them', async () => {
  assert.ok(vectorFiles.length > 0 && vectorFiles.every((name) => name.endsWith('.vrk')), 'the vectors were read');
  await withPage(async (page) => {
    for (const name of vectorFiles) {
      const { bytes, image } = await vector(name);
      const shown = await openAddress(page, `file=/conformance/${name}`);
      assertShows(shown, image, name);
      const { description } = shown;
      assert.match(description, new RegExp(`Engine\\s+${image.graphics ? 'graphics' : 'wavelet'}`), name);
      assert.match(description, new RegExp(`Coder\\s+${image.fast ? 'prefix codes' : 'arithmetic'}`), name);
      assert.match(description, new RegExp(`Loss factor\\s+${image.lossFactor === 0 ? 'lossless' : image.lossFactor}\\b`),
        name);
      const bitsPerPixel = (bytes.length * 8) / (image.width * image.height);
      assert.match(description, new RegExp(`Bits per pixel\\s+${bitsPerPixel.toFixed(3)}`), name);
    }
  });
  // The worker's own requests pass through the same checks: the wasm binary was seen.
  assert.ok(server.requests.includes('/vrk/dist/vrk_wasm.wasm'));
});

test('the canvas holds the samples as colours: grey, RGB, Sun raster blue-first and colour-mapped', async () => {
  const [grey, rgb] = await Promise.all(['expected/g8-photo96.n0.vrk', 'expected/rgb-photo128.g1.vrk'].map(vector));
  const cases = [
    { url: '/conformance/expected/g8-photo96.n0.vrk', image: grey.image, colour: (x, y, p) => Array(3).fill(grey.image.data[p]) },
    { url: '/conformance/expected/rgb-photo128.g1.vrk', image: rgb.image,
      colour: (x, y, p) => Array.from(rgb.image.data.subarray(3 * p, 3 * p + 3)) },
    // The conformance rasters are grey, blind to a channel swap or an ignored colour map: these are not.
    { url: '/made/colour.ras.vrk', image: decode(sunRasters.colour.file), colour: sunRasters.colour.colour },
    { url: '/made/mapped.ras.vrk', image: decode(sunRasters.mapped.file), colour: sunRasters.mapped.colour },
  ];
  await withPage(async (page) => {
    for (const { url, image, colour } of cases) {
      assertShows(await openAddress(page, `file=${url}`), image, url);
      const pixels = await canvasPixels(page);
      const expected = [];
      for (let p = 0; p < image.width * image.height; p += 1) {
        expected.push(...colour(p % image.width, Math.floor(p / image.width), p), 255);
      }
      assert.deepEqual(pixels, expected, url);
    }
  });
});

test('files chosen with the file input or dropped on the page are shown, errors in between cleared', async () => {
  const uploads = [
    { file: path.join(conformance, 'expected/g12-photo.f5.vrk') },
    { file: path.join(made, 'damaged.vrk') },
    { file: path.join(conformance, 'expected/rgb-photo.g0.vrk') },
  ];
  await withPage(async (page) => {
    await page.goto(`${server.origin}/`);
    assert.equal(await page.evaluate(() => document.body.dataset.state), 'empty');
    const input = await page.$('#file-input');
    for (const { file } of uploads) {
      const bytes = await readFile(file);
      await input.uploadFile(file);
      const shown = await settled(page, path.basename(file));
      if (file.endsWith('damaged.vrk')) assertRefuses(shown, thrownBy(bytes), file);
      else assertShows(shown, decode(bytes), file);
    }

    const dropped = 'ras24.fg3.vrk';
    await page.evaluate(async (url, name) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([await (await fetch(url)).arrayBuffer()], name));
      document.getElementById('viewport').dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true,
        cancelable: true }));
    }, `/conformance/expected/${dropped}`, dropped);
    assertShows(await settled(page, dropped), (await vector(`expected/${dropped}`)).image, dropped);
  });
});

test('damaged, cut and foreign files show the library\'s message and no image', async () => {
  const cases = ['damaged.vrk', 'cut.vrk', 'foreign.png.vrk', 'notes.txt.vrk', 'huge.vrk'];
  await withPage(async (page) => {
    for (const name of cases) {
      const error = thrownBy(await readFile(path.join(made, name)));
      assertRefuses(await openAddress(page, `file=/made/${name}`), error, name);
    }
    const missing = await openAddress(page, 'file=/made/missing.vrk');
    assert.equal(missing.state, 'error');
    assert.match(missing.error, /HTTP 404/);
    assert.equal(missing.canvasShown, false);
  });
  // The damaged vector is the one message every user of a broken file meets.
  assert.equal(thrownBy(await readFile(path.join(made, 'damaged.vrk'))).message, 'Incorrect image CRC');
  assert.equal(thrownBy(await readFile(path.join(made, 'huge.vrk'))).codeName, 'LIMIT_EXCEEDED');
});

test('a frame of a zarr array of vrk chunks is shown with the samples written', async () => {
  await withPage(async (page) => {
    for (const array of zarrArrays) {
      const samples = zarrFrames[array.name][array.frame];
      const shown = await openAddress(page, `zarr=/made/store.zarr/${array.name}&frame=${array.frame}`);
      assert.equal(shown.state, 'ready', `${array.name}: ${shown.error}`);
      assert.equal(shown.sha256, sha256(samples), array.name);
      const rowAxis = (array.frameAxis ?? -1) + 1;
      assert.ok(shown.description.includes(`${array.shape[rowAxis + 1]} × ${array.shape[rowAxis]}`), array.name);
      assert.ok(shown.description.includes(`${array.bits}-bit`), `${array.name}: ${shown.description}`);
      assert.equal(shown.windowShown, array.dtype.endsWith('2'), array.name);
    }
    assert.ok(server.requests.includes('/made/store.zarr/grey8/1/1/0'), 'the missing chunk was asked for');
    const refused = [
      { query: 'zarr=/made/store.zarr/grey8&frame=3', message: /frame 3 is out of range/ },
      { query: 'zarr=/made/store.zarr/blosc', message: /not vrk/ },
    ];
    for (const { query, message } of refused) {
      const shown = await openAddress(page, query);
      assert.equal(shown.state, 'error', query);
      assert.match(shown.error, message, query);
    }
  });
});

test('12-bit samples are shown through a window/level: automatic within the samples, then as typed', async () => {
  await withPage(async (page) => {
    const samples = zarrFrames.grey12[1];
    await openAddress(page, 'zarr=/made/store.zarr/grey12&frame=1');
    const auto = await page.evaluate(() => ({ level: Number(document.getElementById('window-level').value),
      width: Number(document.getElementById('window-width').value) }));
    const [least, most] = samples.reduce(([low, high], v) => [Math.min(low, v), Math.max(high, v)], [65535, 0]);
    assert.ok(auto.width >= 1 && auto.level - auto.width / 2 >= least && auto.level + auto.width / 2 <= most,
      JSON.stringify(auto));

    for (const { level, width } of [{ level: 2000, width: 4000 }, { level: 1500, width: 2 }]) {
      await page.evaluate((l, w) => {
        for (const [id, value] of [['window-level', l], ['window-width', w]]) {
          const input = document.getElementById(id);
          input.value = String(value);
          input.dispatchEvent(new Event('input'));
        }
      }, level, width);
      const pixels = await canvasPixels(page);
      samples.forEach((value, p) => {
        const grey = Math.min(255, Math.max(0, Math.round(((value - (level - width / 2)) / width) * 255)));
        assert.deepEqual(pixels.slice(4 * p, 4 * p + 4), [grey, grey, grey, 255], `sample ${value} at ${p}`);
      });
    }
  });
});

test('the image is on screen, zooms with the buttons and the wheel, pans by dragging', async () => {
  const name = 'expected/g8-photo96.n0.vrk';
  const { image } = await vector(name);
  await withPage(async (page) => {
    await openAddress(page, `file=/conformance/${name}`);
    const canvas = await page.$('#canvas');
    const box = async () => page.$eval('#canvas', (c) => {
      const { x, y, width, height } = c.getBoundingClientRect();
      return { x, y, width, height };
    });

    // Fitted by a whole factor, so the screenshot's pixels are the image's, enlarged.
    const fitted = await box();
    const factor = fitted.width / image.width;
    assert.ok(Number.isInteger(factor) && factor >= 1, `zoom ${factor}`);
    const shot = readPng(await canvas.screenshot({ type: 'png' }));
    assert.deepEqual([shot.width, shot.height], [image.width * factor, image.height * factor]);
    const mean = (values) => values.reduce((a, b) => a + b, 0) / values.length;
    const shotGreys = shot.rgba.filter((_, i) => i % 4 === 1);
    assert.ok(Math.abs(mean(shotGreys) - mean(image.data)) < 2, `${mean(shotGreys)} vs ${mean(image.data)}`);
    const range = shotGreys.reduce(([low, high], v) => [Math.min(low, v), Math.max(high, v)], [255, 0]);
    assert.ok(range[1] - range[0] > 100, `the screenshot is nearly flat: ${range}`);

    await page.click('#zoom-actual');
    assert.equal((await box()).width, image.width);
    await page.click('#zoom-in');
    assert.equal((await box()).width, image.width * 1.25);
    assert.equal(await page.$eval('#zoom-level', (o) => o.value), '125%');

    const before = await box();
    await page.mouse.move(before.x + 10, before.y + 10);
    await page.mouse.down();
    await page.mouse.move(before.x + 40, before.y + 30, { steps: 3 });
    await page.mouse.up();
    const dragged = await box();
    assert.deepEqual([dragged.x - before.x, dragged.y - before.y], [30, 20]);

    // The wheel zooms in about the pointer: the image point under it stays there.
    const pointer = { x: dragged.x + 50, y: dragged.y + 40 };
    const imagePoint = (b) => [(pointer.x - b.x) / (b.width / image.width), (pointer.y - b.y) / (b.width / image.width)];
    await page.mouse.move(pointer.x, pointer.y);
    await page.mouse.wheel({ deltaY: -200 });
    await page.waitForFunction((w) => document.getElementById('canvas').getBoundingClientRect().width > w, {},
      dragged.width);
    const wheeled = await box();
    imagePoint(wheeled).forEach((v, i) => assert.ok(Math.abs(v - imagePoint(dragged)[i]) < 0.5, 'point moved'));
  });
});

test('Save PNG downloads the shown picture', async () => {
  const name = 'expected/g8-shapes.g0.vrk';
  const { image } = await vector(name);
  const folder = await mkdtemp(path.join(made, 'downloads-'));
  const session = await browser.target().createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allowAndName', downloadPath: folder,
    eventsEnabled: true });
  try {
    await withPage(async (page) => {
      await openAddress(page, `file=/conformance/${name}`);
      const started = new Promise((resolve) => session.once('Browser.downloadWillBegin', resolve));
      const finished = new Promise((resolve) => session.on('Browser.downloadProgress', (event) => {
        if (event.state !== 'inProgress') resolve(event);
      }));
      await page.click('#save-png');
      const { guid, suggestedFilename } = await started;
      assert.equal(suggestedFilename, 'g8-shapes.g0.png');
      assert.equal((await finished).state, 'completed');
      const png = readPng(await readFile(path.join(folder, guid)));
      assert.deepEqual([png.width, png.height], [image.width, image.height]);
      const greys = Array.from(image.data).flatMap((v) => [v, v, v, 255]);
      assert.deepEqual(Array.from(png.rgba), greys);
    });
  } finally {
    await session.detach();
  }
});
