// The npm package as users get it: `npm pack` here, installed offline into an
// empty folder, imported there by name.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { conformanceDir } from './conformance.mjs';

const packageDir = fileURLToPath(new URL('..', import.meta.url));
const scratch = mkdtempSync(join(process.env.VRK_TEST_TMP ?? tmpdir(), 'vrk-package-'));
after(() => rmSync(scratch, { recursive: true, force: true }));

const run = (command, args, cwd) => execFileSync(command, args, { cwd, encoding: 'utf8' });

test('npm pack makes a tarball that installs offline and works', () => {
  const [packed] = JSON.parse(run('npm', ['pack', '--json', '--pack-destination', scratch], packageDir));
  const manifest = JSON.parse(readFileSync(join(packageDir, 'package.json'), 'utf8'));
  assert.deepEqual(packed.files.map((f) => f.path).sort(), [
    'README.md', 'dist/vrk_wasm.js', 'dist/vrk_wasm.wasm', 'package.json', 'src/arguments.js', 'src/error.js', 'src/index.d.ts', 'src/index.js',
    'src/module.js', 'src/zarr.d.ts', 'src/zarr.js',
  ]);

  const project = join(scratch, 'project');
  run('mkdir', ['-p', project], scratch);
  writeFileSync(join(project, 'package.json'), '{ "name": "user", "private": true, "type": "module" }\n');
  run('npm', ['install', '--offline', '--no-audit', '--no-fund', join(scratch, packed.filename)], project);

  const vector = fileURLToPath(new URL('expected/rgb-photo128.n0.vrk', conformanceDir));
  writeFileSync(join(project, 'main.js'), `
    import { readFileSync } from 'node:fs';
    import { decode, encode, version, VrkError } from 'vrk';
    const bytes = readFileSync(${JSON.stringify(vector)});
    const image = decode(bytes);
    const again = encode(image.data, { width: image.width, height: image.height, channels: 3 });
    let error;
    try { decode(bytes.subarray(0, 100)); } catch (e) { error = e; }
    console.log(JSON.stringify({ version, width: image.width, same: Buffer.compare(again, bytes) === 0,
      error: error instanceof VrkError && error.message }));
  `);
  const result = JSON.parse(run('node', ['main.js'], project));
  assert.deepEqual(result, { version: manifest.version, width: 128, same: true, error: 'Cannot read from file' });
});
