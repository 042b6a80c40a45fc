"""A Pillow plugin for .vrk files, registered on import.

    import vrk.pillow
    from PIL import Image

    with Image.open("photo.vrk") as image:
        image.save("copy.vrk", loss_factor=0, graphics=False, fast=False)

Opening shows what the original image file shows when Pillow opens it: mode
L for 8-bit grey, RGB for colour (a Sun raster's blue-green-red pixels
included), P with its palette for an 8-bit Sun raster with a colour map, and
I for 9- to 16-bit grey, scaled to 0..65535 as Pillow's PGM reader scales
(a sample v of a file whose maxval is m shows as round(v / m * 65535); a PNM
file's maxval below 255 scales 8-bit samples the same way to 0..255).
``image.info`` holds the file's loss_factor, graphics, fast and
bits_per_sample. A damaged file raises OSError (chained from the VrkError)
when opened or loaded; ``verify()`` decodes the whole file to check it.

Saving takes modes L and RGB (8 bits) and I;16 and I (values 0 to 65535),
and these options only (others raise ValueError):

- loss_factor, graphics, fast, threads: as for :func:`vrk.encode`;
- bits_per_sample: for modes I and I;16, the depth written, 9 to 16
  (default 16, the values as they are, as Pillow's PGM writer keeps them).
  Below 16 the values are scaled back from 0..65535, the inverse of opening:
  an opened 12-bit file saved with ``bits_per_sample=12`` (its
  ``image.info["bits_per_sample"]``) gets its 12-bit samples back exactly.
  To store unscaled values of a smaller range, use vrk.encode on the array.

Other modes raise OSError; convert first.
"""

import re
import struct

import numpy as np
from PIL import Image, ImageFile, ImagePalette

import vrk

__all__ = ["VrkImageFile"]

_SUN_RASTER_HEADER_SIZE = 32
_SUN_RASTER_RGB_MAP = 1
_FIRST_READ = 4096  # most headers fit: a PNM header, a Sun raster's with a 256-colour map
_SAVE_OPTIONS = ("bits_per_sample", "fast", "graphics", "loss_factor", "threads")
_WIDE_MAX = 65535  # the range of mode I as Pillow's PGM reader fills it


def _damaged(error):
    return OSError(f"damaged or truncated VRK file: {error}")


def _accept(prefix):
    return vrk.check(prefix)


def _read_info(fp):
    """The headers at the start of `fp`, read through vrk.inspect: the file is read on until they are all in."""
    data = fp.read(_FIRST_READ)
    while True:
        try:
            return vrk.inspect(data)
        except vrk.VrkError as error:
            if error.code != vrk.ErrorCode.CANNOT_READ:
                raise
            more = fp.read(max(len(data), _FIRST_READ))
            if not more:
                raise
            data += more


def _sun_raster_palette(header):
    """The RGB palette of an 8-bit Sun raster's header, or None if it has no colour map."""
    if len(header) < _SUN_RASTER_HEADER_SIZE:
        return None
    map_type, map_length = struct.unpack(">II", header[24:32])
    colour_map = header[_SUN_RASTER_HEADER_SIZE : _SUN_RASTER_HEADER_SIZE + map_length]
    if map_type != _SUN_RASTER_RGB_MAP or map_length == 0 or map_length % 3 or len(colour_map) != map_length:
        return None
    # The map holds every red, then every green, then every blue.
    planes = np.frombuffer(colour_map, dtype=np.uint8).reshape(3, map_length // 3)
    return planes.T.tobytes()


def _maxval(info):
    """The largest sample value the original file declares: a PNM file's maxval, else 2**bits - 1."""
    if info.format in ("pgm", "ppm"):
        tokens = re.sub(rb"#[^\r\n]*", b"", info.header).split()
        if len(tokens) >= 4 and tokens[3].isdigit():
            return int(tokens[3])
    return (1 << info.bits_per_sample) - 1


def _scale(maxval, top):
    """The table Pillow's PNM reader scales samples of `maxval` by: round(v / maxval * top), at most top."""
    return np.minimum(top, np.round(np.arange(_WIDE_MAX + 1) / maxval * top))


class VrkImageFile(ImageFile.ImageFile):
    format = "VRK"
    format_description = "vrk lossless and near-lossless image"

    def _open(self):
        try:
            info = _read_info(self.fp)
        except vrk.VrkError as error:
            raise _damaged(error) from error

        order = "as stored"
        if info.channels == 3:
            self.mode = "RGB"
            if info.format == "sun_raster":
                order = "blue first"
        elif info.bytes_per_sample == 2:
            self.mode = "I"
        elif info.format == "sun_raster" and (palette := _sun_raster_palette(info.header)) is not None:
            self.mode = "P"
            self.palette = ImagePalette.raw("RGB", palette)
        else:
            self.mode = "L"
        top = _WIDE_MAX if self.mode == "I" else 255
        maxval = _maxval(info) if self.mode != "P" else top
        self._size = (info.width, info.height)
        self.info["loss_factor"] = info.loss_factor
        self.info["graphics"] = info.graphics
        self.info["fast"] = info.fast
        self.info["bits_per_sample"] = info.bits_per_sample
        self.tile = [("vrk", (0, 0) + self.size, 0, (order, maxval, top))]

    def verify(self):
        # Decoding checks every strip and the CRC; the pixels are dropped.
        self.fp.seek(0)
        try:
            vrk.decode(self.fp.read(), max_pixels=None)
        except vrk.VrkError as error:
            raise _damaged(error) from error
        super().verify()


class _VrkDecoder(ImageFile.PyDecoder):
    _pulls_fd = True

    def decode(self, buffer):
        order, maxval, top = self.args
        # Pillow's own MAX_IMAGE_PIXELS check has passed when the file was opened.
        try:
            samples = vrk.decode(self.fd.read(), max_pixels=None)
        except vrk.VrkError as error:
            raise _damaged(error) from error
        if order == "blue first":
            samples = samples[:, :, ::-1]
        if self.mode == "I":
            table = _scale(maxval, top).astype(np.int32) if maxval != top else None
            samples = table[samples] if table is not None else samples.astype(np.int32)
            rawmode = "I"
        else:
            if maxval != top:
                samples = _scale(maxval, top).astype(np.uint8)[samples]
            rawmode = self.mode
        self.set_as_raw(np.ascontiguousarray(samples), rawmode)
        return -1, 0


def _save_options(encoderinfo):
    unknown = sorted(set(encoderinfo) - set(_SAVE_OPTIONS))
    if unknown:
        hint = ""
        if {"quality", "lossless"} & set(unknown):
            hint = " (loss_factor sets the quality: 0 lossless, 1 to 12 lossy)"
        raise ValueError(f"VRK takes no save option {', '.join(unknown)}; it takes {', '.join(_SAVE_OPTIONS)}{hint}")
    return {name: encoderinfo[name] for name in _SAVE_OPTIONS if name in encoderinfo}


def _save(image, fp, filename):
    options = _save_options(image.encoderinfo)
    if image.mode in ("L", "RGB"):
        samples = np.asarray(image)
    elif image.mode in ("I", "I;16"):
        samples = np.asarray(image)
        if samples.size and (samples.min() < 0 or samples.max() > _WIDE_MAX):
            raise ValueError(f"mode {image.mode} images must hold values from 0 to 65535 to be saved as VRK")
        bits = options.get("bits_per_sample")
        bits = 16 if bits is None else vrk._integer("bits_per_sample", bits, 9, 16)
        options["bits_per_sample"] = bits
        if bits < 16:
            # The inverse of opening: round(u * maxval / 65535) gives back every v of round(v / maxval * 65535).
            samples = np.round(samples.astype(np.float64) * ((1 << bits) - 1) / _WIDE_MAX)
        samples = samples.astype(np.uint16)
    else:
        raise OSError(f"cannot write mode {image.mode} as VRK")
    fp.write(vrk.encode(samples, **options))


Image.register_open(VrkImageFile.format, VrkImageFile, _accept)
Image.register_save(VrkImageFile.format, _save)
Image.register_extension(VrkImageFile.format, ".vrk")
Image.register_mime(VrkImageFile.format, "image/x-vrk")
Image.register_decoder("vrk", _VrkDecoder)
