// The known-good vectors of the project's test data: each row's input file,
// the options its `vrk` command line gives, the compressed file it makes and
// the image file that file restores.
import { readFileSync } from 'node:fs';

export const conformanceDir = new URL('../../tests/data/conformance/', import.meta.url);

const formatOf = { raw: 'raw', ras: 'sun_raster', pgm: 'pgm', ppm: 'ppm' };

export function read(path) {
  return new Uint8Array(readFileSync(new URL(path, conformanceDir)));
}

function options(words) {
  const [, ...rest] = words; // "vrk"
  const switches = rest[0].startsWith('-') ? rest.shift().slice(1) : '';
  const name = rest.shift();
  const format = formatOf[name.split('.').pop()];
  const numbers = rest.map(Number);
  const result = { format, fast: switches.includes('f'), graphics: switches.includes('g') };
  if (format === 'raw') {
    const [width, height, bytesPerPixel, loss] = numbers;
    Object.assign(result, { rawWidth: width, rawHeight: height, rawBytesPerPixel: bytesPerPixel });
    result.lossFactor = loss ?? 0;
  } else {
    result.lossFactor = numbers[0] ?? 0;
  }
  return result;
}

export const cases = readFileSync(new URL('cases.tsv', conformanceDir), 'utf8')
  .trim().split('\n').slice(1)
  .map((line) => {
    const [input, command, compressed, decoded] = line.split('\t');
    return {
      name: compressed.replace(/^expected\//, ''),
      input,
      options: options(command.split(' ')),
      compressed,
      decoded: decoded.startsWith('(') ? input : decoded,
    };
  });

/** The samples of a binary PGM or PPM file, as decode() gives them (16-bit ones in host order). */
export function pnmSamples(file) {
  const text = new TextDecoder('latin1').decode(file.subarray(0, 200));
  // Magic, width, height, maximum, each after white space and comments, then one white-space byte.
  const fields = /^(P[56])((?:\s+|#[^\n]*\n)+)(\d+)((?:\s+|#[^\n]*\n)+)(\d+)((?:\s+|#[^\n]*\n)+)(\d+)(\r\n|\s)/.exec(text);
  if (!fields) throw new Error('not a binary PNM file');
  const maximum = Number(fields[7]);
  const body = file.subarray(fields[0].length);
  if (maximum < 256) return body;
  const samples = new Uint16Array(body.length / 2);
  for (let i = 0; i < samples.length; i += 1) samples[i] = (body[2 * i] << 8) | body[2 * i + 1];
  return samples;
}
