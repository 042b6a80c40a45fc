// Sun raster files for the test: 24-bit, stored blue first, and 8-bit with a colour map.
// `colour(x, y)` gives [r, g, b]; for 8 bits `index(x, y)` and `map` ([r, g, b] entries).

function header(width, height, depth, length, mapLength) {
  const fields = Buffer.alloc(32);
  [0x59a66a95, width, height, depth, length, 1, mapLength ? 1 : 0, mapLength]
    .forEach((value, i) => fields.writeUInt32BE(value, 4 * i));
  return fields;
}

export function sunRaster24(width, height, colour) {
  const rowBytes = (width * 3 + 1) & ~1; // rows are padded to 16 bits
  const pixels = Buffer.alloc(rowBytes * height);
  for (let y = 0; y < height; y += 1) {
    for (let x = 0; x < width; x += 1) {
      const [r, g, b] = colour(x, y);
      pixels.set([b, g, r], y * rowBytes + 3 * x);
    }
  }
  return Buffer.concat([header(width, height, 24, pixels.length, 0), pixels]);
}

export function sunRaster8(width, height, index, map) {
  const rowBytes = (width + 1) & ~1;
  const pixels = Buffer.alloc(rowBytes * height);
  for (let y = 0; y < height; y += 1) {
    for (let x = 0; x < width; x += 1) pixels[y * rowBytes + x] = index(x, y);
  }
  const planes = Buffer.from([0, 1, 2].flatMap((c) => map.map((entry) => entry[c])));
  return Buffer.concat([header(width, height, 8, pixels.length, planes.length), planes, pixels]);
}
