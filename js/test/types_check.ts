// Compiled by types.test.mjs (tsc --noEmit --strict): the declarations describe the calls as the tests use them.
import { compressImage, decode, DEFAULT_MAX_PIXELS, encode, ErrorCode, inspect, restoreImage, version, VrkError } from 'vrk';
import type { Format, Image, Info } from 'vrk';
import { register, VrkCodec } from 'vrk/zarr';

const bytes: Uint8Array = encode(new Uint16Array(64 * 64), { width: 64, height: 64, bitsPerSample: 12, lossFactor: 2 });
const info: Info = inspect(bytes.buffer);
const image: Image = decode(bytes, { maxPixels: DEFAULT_MAX_PIXELS });
const samples: Uint8Array | Uint16Array = image.data;
const format: Format = restoreImage(bytes).format;
const again: Uint8Array = compressImage(new Uint8Array(10), { format: 'raw', rawWidth: 32, rawBytesPerPixel: 2, fast: true });
try {
  decode(new DataView(bytes.buffer), { maxPixels: Infinity });
} catch (error) {
  if (error instanceof VrkError && error.code === ErrorCode.INCORRECT_CRC) console.log(error.codeName, error.detail);
}
const codec: VrkCodec = VrkCodec.fromConfig({ loss_factor: 3, signed: true }, { dataType: 'int16', shape: [64, 64], codecs: [] });
const chunk: Uint8Array = codec.decode(codec.encode(new Uint8Array(64 * 64 * 2)));
register(new Map());
console.log(version, info.width, samples.length, format, again.length, chunk.length, codec.kind);

// Mistakes the declarations must refuse.
// @ts-expect-error: encode needs the image's shape
encode(new Uint8Array(4));
// @ts-expect-error: not a format
compressImage(bytes, { format: 'png' });
// @ts-expect-error: lossFactor is a number
encode(samples, { width: 2, height: 2, lossFactor: '3' });
