"""A Pillow plugin for .vrk files, registered on import.

    import vrk.pillow
    from PIL import Image

    Image.open("photo.vrk").show()
    image.save("copy.vrk", loss_factor=0, graphics=False, fast=False)

Opening shows what the original image showed: mode L for 8-bit grey, RGB for
colour (a Sun raster's blue-green-red pixels included), I;16 for 9- to 16-bit
grey, and P with its palette for an 8-bit Sun raster with a colour map.

Saving takes modes L, RGB, I;16 and I (whose values must lie in 0..65535)
and the options of :func:`vrk.encode`: loss_factor, graphics, fast,
bits_per_sample and threads. Other modes raise OSError; convert first.
"""

import struct

import numpy as np
from PIL import Image, ImageFile, ImagePalette

import vrk

__all__ = ["VrkImageFile"]

_SUN_RASTER_HEADER_SIZE = 32
_SUN_RASTER_RGB_MAP = 1
_FIRST_READ = 4096  # most headers fit: a PNM header, a Sun raster's with a 256-colour map


def _lacks_only_bytes(error):
    """Whether `error` says no more than that the data ended too early."""
    return error.code == vrk.ErrorCode.CANNOT_READ


def _accept(prefix):
    # A vrk file's start: vrk.inspect finds nothing wrong in it but its end.
    try:
        vrk.inspect(prefix)
    except vrk.VrkError as error:
        return _lacks_only_bytes(error)
    return True


def _read_info(fp):
    """The headers at the start of `fp`, read through vrk.inspect: the file is read on until they are all in."""
    data = fp.read(_FIRST_READ)
    while True:
        try:
            return vrk.inspect(data)
        except vrk.VrkError as error:
            if not _lacks_only_bytes(error):
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


class VrkImageFile(ImageFile.ImageFile):
    format = "VRK"
    format_description = "vrk lossless and near-lossless image"

    def _open(self):
        try:
            info = _read_info(self.fp)
        except vrk.VrkError as error:
            raise SyntaxError(f"not a valid vrk file: {error}") from error

        order = "as stored"
        palette = None
        if info.channels == 3:
            self.mode = "RGB"
            if info.format == "sun_raster":
                order = "blue first"
        elif info.bytes_per_sample == 2:
            self.mode = "I;16"
        elif info.format == "sun_raster" and (palette := _sun_raster_palette(info.header)) is not None:
            self.mode = "P"
            self.palette = ImagePalette.raw("RGB", palette)
        else:
            self.mode = "L"
        self._size = (info.width, info.height)
        self.info["loss_factor"] = info.loss_factor
        self.info["graphics"] = info.graphics
        self.info["fast"] = info.fast
        self.info["bits_per_sample"] = info.bits_per_sample
        self.tile = [("vrk", (0, 0) + self.size, 0, (order,))]


class _VrkDecoder(ImageFile.PyDecoder):
    _pulls_fd = True

    def decode(self, buffer):
        # Pillow's own MAX_IMAGE_PIXELS check has passed when the file was opened.
        samples = vrk.decode(self.fd.read(), max_pixels=None)
        if self.args[0] == "blue first":
            samples = samples[:, :, ::-1]
        if samples.dtype == np.uint16:
            self.set_as_raw(samples.astype("<u2").tobytes(), "I;16")
        else:
            self.set_as_raw(np.ascontiguousarray(samples).tobytes(), self.mode)
        return -1, 0


def _save(image, fp, filename):
    if image.mode in ("L", "RGB", "I;16"):
        samples = np.asarray(image)
    elif image.mode == "I":
        samples = np.asarray(image)
        if samples.size and (samples.min() < 0 or samples.max() > 65535):
            raise ValueError("mode I images must hold values from 0 to 65535 to be saved as VRK")
        samples = samples.astype(np.uint16)
    else:
        raise OSError(f"cannot write mode {image.mode} as VRK")
    options = image.encoderinfo
    fp.write(
        vrk.encode(
            samples,
            loss_factor=options.get("loss_factor", 0),
            graphics=options.get("graphics", False),
            fast=options.get("fast", False),
            bits_per_sample=options.get("bits_per_sample"),
            threads=options.get("threads", 0),
        )
    )


Image.register_open(VrkImageFile.format, VrkImageFile, _accept)
Image.register_save(VrkImageFile.format, _save)
Image.register_extension(VrkImageFile.format, ".vrk")
Image.register_mime(VrkImageFile.format, "image/x-vrk")
Image.register_decoder("vrk", _VrkDecoder)
