// The WebAssembly side of bench/wasm_benchmark.py: loads the package once and answers one JSON
// request per line on stdin with one JSON line on stdout, so the Python driver can alternate each
// timed call with the native library's. Only the package's call is timed.
//
//   {"op": "info"}                                  -> {version, node, v8}
//   {"op": "case", "samples": raw file, "width", "height", "channels", "bitsPerSample",
//    "lossFactor", "fast", "out": .vrk path}        -> {size, decodedSha1}  (untimed: also the warm-up)
//   {"op": "encode"} / {"op": "decode"}             -> {ms, cpuMs}  (the current case, once)
// A failure answers {error}.
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { createInterface } from 'node:readline';
import { performance } from 'node:perf_hooks';
import { decode, encode, version } from '../js/src/index.js';

let current = null;

function samplesOf(request) {
  const file = readFileSync(request.samples);
  // A fresh, aligned buffer: Uint16Array needs an even offset, which a Buffer does not promise.
  const bytes = new Uint8Array(file.byteLength);
  bytes.set(file);
  return request.bitsPerSample > 8 ? new Uint16Array(bytes.buffer) : bytes;
}

function startCase(request) {
  const samples = samplesOf(request);
  const options = {
    width: request.width, height: request.height, channels: request.channels,
    bitsPerSample: request.bitsPerSample, lossFactor: request.lossFactor, fast: request.fast,
  };
  const compressed = encode(samples, options);
  writeFileSync(request.out, compressed);
  const image = decode(compressed);
  current = { samples, options, compressed };
  const decoded = new Uint8Array(image.data.buffer, image.data.byteOffset, image.data.byteLength);
  return { size: compressed.byteLength, decodedSha1: createHash('sha1').update(decoded).digest('hex') };
}

// Wall clock, and the CPU time of the process (all its threads: the collector's work counts too).
function timed(call) {
  const cpu = process.cpuUsage();
  const start = performance.now();
  call();
  const ms = performance.now() - start;
  const used = process.cpuUsage(cpu);
  return { ms, cpuMs: (used.user + used.system) / 1000 };
}

function answer(request) {
  switch (request.op) {
    case 'info':
      return { version, node: process.version, v8: process.versions.v8 };
    case 'case':
      return startCase(request);
    case 'encode':
      return timed(() => encode(current.samples, current.options));
    case 'decode':
      return timed(() => decode(current.compressed));
    default:
      throw new Error(`unknown op ${request.op}`);
  }
}

for await (const line of createInterface({ input: process.stdin })) {
  let reply;
  try {
    reply = answer(JSON.parse(line));
  } catch (error) {
    reply = { error: String(error?.stack ?? error) };
  }
  process.stdout.write(JSON.stringify(reply) + '\n');
}
