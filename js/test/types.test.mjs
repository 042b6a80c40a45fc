// The TypeScript declarations, compiled strictly against a program that uses every call (test/types_check.ts).
import { execFileSync } from 'node:child_process';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const packageDir = fileURLToPath(new URL('..', import.meta.url));

test('the declarations type-check a program using every call', () => {
  const tsc = fileURLToPath(new URL('../node_modules/typescript/bin/tsc', import.meta.url));
  // Self-reference: 'vrk' and 'vrk/zarr' resolve through package.json's exports, as for users.
  execFileSync(process.execPath, [tsc, '--noEmit', '--strict', '--target', 'es2022', '--module', 'nodenext',
    '--moduleResolution', 'nodenext', '--types', 'node', 'test/types_check.ts'], { cwd: packageDir, stdio: 'inherit' });
});
