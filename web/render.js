// Turns decoded samples into the RGBA pixels the canvas shows. Grey samples go
// through a table indexed by value + offset (the offset makes signed values
// non-negative); 9..16-bit and 16-bit signed grey through a window/level.

const rasterMagic = 0x59a66a95;
const rasterTypeRgb = 3; // the one Sun raster type that stores red first; the others store blue first

/** Whether the image is shown through a window/level: grey samples of more than 8 bits. */
export function hasWindow(image) {
  return image.channels === 1 && image.bytesPerSample === 2;
}

function keyOffset(image) {
  if (!image.signed) return 0;
  return image.bytesPerSample === 1 ? 0x80 : 0x8000;
}

function keyCount(image) {
  return image.bytesPerSample === 1 ? 0x100 : 0x10000;
}

/** The window from the histogram: its 0.5 and 99.5 percentiles. { level, width } in sample values. */
export function autoWindow(image) {
  const offset = keyOffset(image);
  const histogram = new Uint32Array(keyCount(image));
  const { data } = image;
  for (let i = 0; i < data.length; i += 1) histogram[data[i] + offset] += 1;
  const lowCount = Math.floor(data.length * 0.005);
  const highCount = Math.ceil(data.length * 0.995);
  let low = -1;
  let high = -1;
  for (let key = 0, seen = 0; key < histogram.length && high < 0; key += 1) {
    seen += histogram[key];
    if (low < 0 && seen > lowCount) low = key;
    if (seen >= highCount) high = key;
  }
  low -= offset;
  high -= offset;
  if (high <= low) high = low + 1; // a flat image still gets a usable window
  return { level: (low + high) / 2, width: high - low };
}

function packed(red, green, blue) {
  return (0xff000000 | (blue << 16) | (green << 8) | red) >>> 0; // RGBA bytes on a little-endian machine
}

// A Sun raster's colour map, from the original file's header: planes of red, green, blue.
function rasterPalette(image) {
  const header = image.header;
  if (image.format !== 'sun_raster' || image.channels !== 1 || header.length < 32) return null;
  const fields = new DataView(header.buffer, header.byteOffset, 32);
  const mapType = fields.getUint32(24);
  const mapLength = fields.getUint32(28);
  if (fields.getUint32(0) !== rasterMagic || mapType !== 1 || mapLength === 0 || mapLength % 3 !== 0 ||
    header.length < 32 + mapLength) {
    return null; // no colour map: the indices are shown grey
  }
  const entries = mapLength / 3;
  const map = header.subarray(32, 32 + mapLength);
  const table = new Uint32Array(0x100); // indices past the map's end show black
  for (let i = 0; i < Math.min(entries, 0x100); i += 1) {
    table[i] = packed(map[i], map[entries + i], map[2 * entries + i]);
  }
  return table;
}

function blueFirst(image) {
  if (image.format !== 'sun_raster' || image.channels !== 3) return false;
  const header = image.header;
  return header.length < 24 || new DataView(header.buffer, header.byteOffset, 24).getUint32(20) !== rasterTypeRgb;
}

/** The colour map's name when the samples are shown through one, else null. */
export function paletteName(image) {
  return rasterPalette(image) ? 'Sun raster colour map' : null;
}

function greyTable(image, window) {
  const offset = keyOffset(image);
  const table = new Uint32Array(keyCount(image));
  for (let key = 0; key < table.length; key += 1) {
    let grey = key; // 8 bits: the sample itself, signed ones moved up by 128
    if (window) {
      const low = window.level - window.width / 2;
      grey = Math.round(((key - offset - low) / window.width) * 255);
      grey = grey < 0 ? 0 : grey > 255 ? 255 : grey;
    }
    table[key] = packed(grey, grey, grey);
  }
  return table;
}

/** RGBA bytes of the image as shown; `window` ({ level, width }) applies to hasWindow() images. */
export function renderRgba(image, window) {
  const { width, height, channels, data } = image;
  const rgba = new Uint8ClampedArray(width * height * 4);
  const pixels = new Uint32Array(rgba.buffer);
  if (channels === 3) {
    const [r, b] = blueFirst(image) ? [2, 0] : [0, 2];
    for (let p = 0, s = 0; p < pixels.length; p += 1, s += 3) {
      pixels[p] = packed(data[s + r], data[s + 1], data[s + b]);
    }
    return rgba;
  }
  const table = rasterPalette(image) ?? greyTable(image, hasWindow(image) ? window : null);
  const offset = keyOffset(image);
  for (let p = 0; p < pixels.length; p += 1) pixels[p] = table[data[p] + offset];
  return rgba;
}
