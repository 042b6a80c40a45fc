"""vrk: lossless and near-lossless still-image compression.

Arrays in memory::

    data = vrk.encode(pixels, loss_factor=0, graphics=False, fast=False)
    pixels = vrk.decode(data)
    info = vrk.inspect(data)          # the headers alone: shape, dtype, mode...

Whole image files (PGM, PPM, Sun raster, raw samples) and files on disk::

    data = vrk.compress_image(pgm_bytes, "pgm")
    fmt, pgm_bytes = vrk.restore_image(data)
    vrk.compress_file("photo.pgm")    # writes photo.vrk, as the vrk command does
    vrk.restore_file("photo.vrk")     # writes photo.pgm

The bytes are those the vrk command writes for the same image and options.
Every failure of the library raises :class:`VrkError`, whose ``code`` is an
:class:`ErrorCode`; damaged data raises it and never yields a wrong image.
The GIL is released while coding, so threads run in parallel. Every public
function is a plain Python function, so it pickles (Dask, multiprocessing).

Adapters: ``vrk.numcodecs`` (a numcodecs/zarr codec, found by
``numcodecs.get_codec({"id": "vrk"})``) and ``vrk.pillow`` (a Pillow plugin,
registered on import).
"""

import dataclasses
import enum
import importlib
import os

import numpy as np

from . import _vrk

__all__ = [
    "ErrorCode",
    "Info",
    "VrkError",
    "compress_file",
    "compress_image",
    "decode",
    "encode",
    "inspect",
    "restore_file",
    "restore_image",
]

__version__ = _vrk.version()

DEFAULT_MAX_PIXELS = 268435456  # 16384 x 16384


# The library's own table of status names and numbers, upper-cased.
ErrorCode = enum.IntEnum(
    "ErrorCode",
    [(name.upper(), number) for name, number in _vrk.status_names()],
    module=__name__,
    qualname="ErrorCode",
)
ErrorCode.__doc__ = """The library's error codes: the numbers of C++ and C, under their names upper-cased."""


class VrkError(Exception):
    """A failure reported by the library: ``code`` says which, str() is its fixed message."""

    def __init__(self, code):
        self.code = ErrorCode(code)
        super().__init__(_vrk.message_of(int(self.code)))

    def __reduce__(self):
        return (type(self), (int(self.code),))


_vrk._set_error_type(VrkError)

_FORMATS = {"raw": 1, "sun_raster": 2, "pgm": 3, "ppm": 4}
_FORMAT_NAMES = {number: name for name, number in _FORMATS.items()}


@dataclasses.dataclass(frozen=True)
class Info:
    """What a compressed file holds, read from its headers alone."""

    width: int
    height: int
    channels: int  # 1 grey (or Sun raster colour-map indices), 3 colour
    bits_per_sample: int  # 8..16
    bytes_per_sample: int  # 1, or 2 for 9..16 bits
    loss_factor: int
    fast: bool
    graphics: bool
    format: str  # "raw", "sun_raster", "pgm" or "ppm": the file it was made from
    header: bytes  # that file's own header bytes (PNM text, Sun raster header and colour map)

    @property
    def shape(self):
        """The shape of the array :func:`decode` returns."""
        if self.channels == 1:
            return (self.height, self.width)
        return (self.height, self.width, self.channels)

    @property
    def dtype(self):
        """The dtype of the array :func:`decode` returns."""
        return np.dtype(np.uint8 if self.bytes_per_sample == 1 else np.uint16)


def _info(fields):
    (width, height, channels, bits, bytes_per_sample, loss_factor, fast, graphics, fmt, header) = fields
    return Info(
        width=width,
        height=height,
        channels=channels,
        bits_per_sample=bits,
        bytes_per_sample=bytes_per_sample,
        loss_factor=loss_factor,
        fast=fast,
        graphics=graphics,
        format=_FORMAT_NAMES[fmt],
        header=header,
    )


def _contiguous_bytes(data):
    """A C-contiguous buffer over `data` (bytes, bytearray, memoryview, array...)."""
    if isinstance(data, (bytes, bytearray)):
        return data
    if isinstance(data, str):
        raise TypeError("compressed data must be a bytes-like object, not str")
    view = memoryview(data)
    if view.c_contiguous:
        return view
    return view.tobytes()


def _row_compatible(array):
    """Whether the library can read or write the (H, W, C) `array` in place."""
    height, width, channels = array.shape
    item = array.itemsize
    s_row, s_pixel, s_channel = array.strides
    return (
        array.flags.aligned  # uint16 samples at an odd address are refused
        and (channels == 1 or s_channel == item)
        and (width == 1 or s_pixel == channels * item)
        and (height <= 1 or (s_row >= width * channels * item and s_row % item == 0))
    )


def _as_image(array):
    """`array` as a native-order (H, W, C) view or copy the library can read."""
    array = np.asarray(array)
    kind_ok = array.dtype.kind == "u" and array.dtype.itemsize in (1, 2)
    if not kind_ok:
        raise ValueError(f"samples must be uint8 or uint16, not {array.dtype}")
    if array.ndim == 2:
        array = array[:, :, np.newaxis]
    elif array.ndim != 3 or array.shape[2] not in (1, 3):
        raise ValueError(f"expected an (H, W), (H, W, 1) or (H, W, 3) array, not shape {array.shape}")
    if array.dtype.itemsize == 2 and array.shape[2] != 1:
        raise ValueError("colour images hold uint8 samples; uint16 is for grey images only")
    if not array.dtype.isnative:
        array = array.astype(array.dtype.newbyteorder("="))
    elif not _row_compatible(array):
        array = array.copy(order="C")  # aligned and packed (np.ascontiguousarray keeps an unaligned array)
    return array


def encode(array, *, loss_factor=0, graphics=False, fast=False, bits_per_sample=None, threads=0):
    """Compresses samples into the bytes of a .vrk file.

    `array` is uint8 of shape (H, W), (H, W, 1) or (H, W, 3) (RGB), or uint16
    of shape (H, W) for 9- to 16-bit grey; both sides must be 32 to 65535.
    Any strides work. `bits_per_sample` is 8 for uint8; for uint16 it defaults
    to the fewest bits from 9 to 16 that hold the largest sample, and a
    sample above 2**bits_per_sample - 1 raises VrkError (INVALID_PARAMETERS).

    `loss_factor` 0 is lossless; 1 to 12 trade quality for size, and with
    `graphics` (the graphics engine, for synthetic images) every sample stays
    within `loss_factor` of its value. `fast` uses prefix codes instead of
    arithmetic coding. `threads`: 0 automatic, 1 one thread, more: up to that
    many; the bytes never depend on it.

    The result is byte for byte what the vrk command writes for the PGM
    (maxval 255 at 8 bits, 2**bits - 1 above) or PPM file of the same samples.
    """
    image = _as_image(array)
    if image.dtype.itemsize == 1:
        if bits_per_sample not in (None, 8):
            raise ValueError("uint8 samples have 8 bits per sample")
        bits = 8
    elif bits_per_sample is None:
        largest = int(image.max()) if image.size else 0
        bits = max(9, largest.bit_length())
    else:
        bits = int(bits_per_sample)
        if not 9 <= bits <= 16:
            raise ValueError("uint16 samples have 9 to 16 bits per sample")
    return _vrk.encode(image, bits, bool(fast), bool(graphics), int(loss_factor), int(threads))


def _max_pixels(max_pixels):
    if max_pixels is None:
        return 0
    max_pixels = int(max_pixels)
    if max_pixels < 1:
        raise ValueError("max_pixels must be positive, or None for no limit")
    return max_pixels


def decode(data, *, out=None, max_pixels=DEFAULT_MAX_PIXELS, threads=0):
    """Decodes the bytes of a .vrk file into a numpy array.

    Returns uint8 (H, W) for 8-bit grey, uint8 (H, W, 3) for colour, uint16
    (H, W) for 9- to 16-bit grey. Lossy files give the vrk command's samples.
    A Sun raster keeps its file's sample order: 24-bit pixels come as blue,
    green, red, and an 8-bit one as colour-map indices (the map is in
    ``inspect(data).header``; ``vrk.pillow`` shows such files as they look).

    Images of more than `max_pixels` pixels (width x height) raise VrkError
    (LIMIT_EXCEEDED) before anything is allocated; None lifts the limit.
    `out`, if given, must be a writable array of exactly that shape and dtype
    (ValueError otherwise); it is filled in place and returned. Damaged data
    raises VrkError, never returns a wrong image (though `out` may then
    have been partly written).
    """
    data = _contiguous_bytes(data)
    limit = _max_pixels(max_pixels)
    threads = int(threads)
    if out is None:
        return _vrk.decode(data, limit, threads)[1]
    if not isinstance(out, np.ndarray):
        raise ValueError("out must be a numpy array")
    info = inspect(data)
    if out.shape != info.shape or out.dtype != info.dtype:
        raise ValueError(
            f"out must have shape {info.shape} and dtype {info.dtype}, not {out.shape} and {out.dtype}"
        )
    if not out.flags.writeable:
        raise ValueError("out is read-only")
    target = out if out.ndim == 3 else out[:, :, np.newaxis]
    if _row_compatible(target):
        _vrk.decode_into(data, target, limit, threads)
    else:
        out[...] = _vrk.decode(data, limit, threads)[1]
    return out


def inspect(data):
    """Reads the headers of a .vrk file (never its pixels) into an :class:`Info`.

    Raises VrkError for what decoding would refuse there.
    """
    return _info(_vrk.inspect(_contiguous_bytes(data)))


def _format_number(format):
    try:
        return _FORMATS[format]
    except (KeyError, TypeError):
        raise ValueError(f"format must be one of {sorted(_FORMATS)}, not {format!r}") from None


def compress_image(
    data,
    format,
    *,
    loss_factor=0,
    graphics=False,
    fast=False,
    threads=0,
    width=None,
    height=None,
    bytes_per_pixel=None,
):
    """Compresses a whole image file held in memory, its header included.

    `format` is "pgm", "ppm", "sun_raster" or "raw". Raw samples need
    `width`, and take `height` (default: `width`) and `bytes_per_pixel`
    (1 grey, 2 grey of 16 bits high byte first, 3 colour; default 1); the
    other formats read these from their header and refuse them here.
    Options as for :func:`encode`. The result is what the vrk command writes
    for that file.
    """
    number = _format_number(format)
    layout = (width, height, bytes_per_pixel)
    if number != _FORMATS["raw"] and any(value is not None for value in layout):
        raise ValueError("width, height and bytes_per_pixel are for raw samples only")
    return _vrk.compress_image(
        _contiguous_bytes(data),
        number,
        bool(fast),
        bool(graphics),
        int(loss_factor),
        int(threads),
        *_raw_layout(width, height, bytes_per_pixel),
    )


def _raw_layout(width, height, bytes_per_pixel):
    return (
        0 if width is None else int(width),
        0 if height is None else int(height),
        1 if bytes_per_pixel is None else int(bytes_per_pixel),
    )


def restore_image(data):
    """Restores the image file a .vrk file was made from: returns (format, file bytes)."""
    number, file = _vrk.restore_image(_contiguous_bytes(data))
    return _FORMAT_NAMES[number], file


def compress_file(
    path,
    *,
    loss_factor=0,
    graphics=False,
    fast=False,
    width=None,
    height=None,
    bytes_per_pixel=None,
    overwrite=False,
):
    """Compresses an image file (.pgm, .ppm, .ras or .raw) into the .vrk file beside it.

    Returns the output path. Does what the vrk command does, without its
    prompt: an existing output raises VrkError (OUTPUT_EXISTS) unless
    `overwrite`. Raw samples take `width`, `height` and `bytes_per_pixel`
    as in :func:`compress_image`. Streams in constant memory.
    """
    output = _vrk.compress_file(
        os.fsencode(path),
        bool(fast),
        bool(graphics),
        int(loss_factor),
        0,
        *_raw_layout(width, height, bytes_per_pixel),
        bool(overwrite),
    )
    return os.fsdecode(output)


def restore_file(path, *, overwrite=False):
    """Restores a .vrk file into the image file it was made from; returns that path.

    An existing output raises VrkError (OUTPUT_EXISTS) unless `overwrite`. On
    INCORRECT_CRC the restored file is kept, as the vrk command keeps it.
    """
    return os.fsdecode(_vrk.restore_file(os.fsencode(path), bool(overwrite)))


def __getattr__(name):
    # vrk.numcodecs and vrk.pillow load on first use: they import numcodecs and Pillow.
    if name in ("numcodecs", "pillow"):
        return importlib.import_module(f"{__name__}.{name}")
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
