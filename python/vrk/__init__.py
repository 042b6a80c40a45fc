"""vrk: lossless and near-lossless still-image compression.

Arrays in memory::

    data = vrk.encode(pixels, loss_factor=0, graphics=False, fast=False)
    pixels = vrk.decode(data)
    signed = vrk.decode(vrk.encode(int16_pixels, signed=True), signed=True)
    info = vrk.inspect(data)          # the headers alone: shape, dtype, format...
    vrk.check(data)                   # whether the bytes start like a .vrk file

Whole image files (PGM, PPM, Sun raster, raw samples) and files on disk::

    data = vrk.compress_image(pgm_bytes, "pgm")
    fmt, pgm_bytes = vrk.restore_image(data)
    vrk.compress_file("photo.pgm")    # writes photo.vrk, as the vrk command does
    vrk.restore_file("photo.vrk")     # writes photo.pgm

The bytes are those the vrk command writes for the same image and options.
Failures of the library raise :class:`VrkError` (a RuntimeError), whose
``code`` is an :class:`ErrorCode`; damaged data raises it and never yields a
wrong image. A missing input file raises FileNotFoundError; a wrong argument
TypeError or ValueError naming it. The GIL is released while coding, so
threads run in parallel. Every public function is a plain Python function,
so it pickles (Dask, multiprocessing).

Adapters: ``vrk.numcodecs`` (a numcodecs/zarr codec, found by
``numcodecs.get_codec({"id": "vrk"})``) and ``vrk.pillow`` (a Pillow plugin,
registered on import).
"""

import dataclasses
import enum
import importlib
import operator
import os
import struct

import numpy as np

from . import _vrk

__all__ = [
    "ErrorCode",
    "Info",
    "VrkError",
    "check",
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

_MAX_LOSS_FACTOR = 12
_MAX_DIMENSION = 65535
_MAX_INT = 2**31 - 1  # the library's int fields
_MAX_UINT64 = 2**64 - 1

# The container header: the magic, two bytes of format, depth and loss factor,
# then the height and the width, big-endian.
_MAGIC = b"\xf4\x1b"
_SIZE_FIELDS = struct.Struct(">4xHH")


# The library's own table of status names and numbers, upper-cased.
ErrorCode = enum.IntEnum(
    "ErrorCode",
    [(name.upper(), number) for name, number in _vrk.status_names()],
    module=__name__,
    qualname="ErrorCode",
)
ErrorCode.__doc__ = """The library's error codes: the numbers of C++ and C, under their names upper-cased."""


class VrkError(RuntimeError):
    """A failure reported by the library.

    ``code`` (an :class:`ErrorCode`) says which; str() is the library's fixed
    message for it, followed by ``detail`` when there is more to say (for
    LIMIT_EXCEEDED: the declared size, the limit and how to raise it).
    """

    def __init__(self, code, detail=None):
        self.code = ErrorCode(code)
        self.detail = detail
        message = _vrk.message_of(int(self.code))
        super().__init__(message if detail is None else f"{message}: {detail}")

    def __reduce__(self):
        return (type(self), (int(self.code), self.detail))


_vrk._set_error_type(VrkError)

_FORMATS = {"raw": 1, "sun_raster": 2, "pgm": 3, "ppm": 4}
_FORMAT_NAMES = {number: name for name, number in _FORMATS.items()}


# Argument checks, shared by every function here and by the adapters: an
# argument of the wrong type is TypeError, one out of range ValueError, each
# naming the argument (and never printing a large value).


def _integer(name, value, low, high):
    """`value` as an int from `low` to `high` (None: no bound). Numpy integers count; bools do not."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be an int, not bool")
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an int, not {type(value).__name__}") from None
    if number < low or (high is not None and number > high):
        bounds = f"from {low} to {high}" if high is not None else f"at least {low}"
        raise ValueError(f"{name} must be {bounds}, not {number}")
    return number


def _flag(name, value):
    """`value` as a bool: only True and False (Python's or numpy's) are flags."""
    if isinstance(value, (bool, np.bool_)):
        return bool(value)
    raise TypeError(f"{name} must be True or False, not {type(value).__name__}")


def _threads(threads):
    return _integer("threads", threads, 0, _MAX_INT)


def _max_pixels(max_pixels):
    """The library's limit: 0 for None (no limit)."""
    if max_pixels is None:
        return 0
    return min(_integer("max_pixels", max_pixels, 1, None), _MAX_UINT64)


def _bits_per_sample(bits_per_sample):
    return None if bits_per_sample is None else _integer("bits_per_sample", bits_per_sample, 8, 16)


def _encode_options(loss_factor=0, graphics=False, fast=False, threads=0, bits_per_sample=None):
    """The encoding options checked and normalised (plain ints and bools), as a dict of the same keys."""
    return dict(
        loss_factor=_integer("loss_factor", loss_factor, 0, _MAX_LOSS_FACTOR),
        graphics=_flag("graphics", graphics),
        fast=_flag("fast", fast),
        threads=_threads(threads),
        bits_per_sample=_bits_per_sample(bits_per_sample),
    )


def _limit_error(width, height, limit):
    return VrkError(
        ErrorCode.LIMIT_EXCEEDED,
        f"the image declares {width} x {height} = {width * height} pixels, more than max_pixels={limit}; "
        "pass max_pixels=None or a larger max_pixels to decode it",
    )


def _check_limit(info, limit):
    if limit and info.width * info.height > limit:
        raise _limit_error(info.width, info.height, limit)


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


def check(data):
    """Whether the bytes-like `data` starts like a .vrk file: with the format's magic bytes F4 1B.

    Looks at those two bytes only (fewer: False), so it never raises for
    bytes-like input, however short or damaged; :func:`inspect` reads the
    headers. An object without the buffer protocol (str included) raises
    TypeError.
    """
    if isinstance(data, str):
        raise TypeError("data must be a bytes-like object, not str")
    view = memoryview(data)
    if view.nbytes < len(_MAGIC):
        return False
    try:
        start = view.cast("B")[: len(_MAGIC)]
    except (TypeError, ValueError):  # not C-contiguous, or an item format that cannot be cast
        start = view.tobytes()[: len(_MAGIC)]
    return start == _MAGIC


# Signed samples are stored with their sign bit flipped: int8 x as the uint8
# x ^ 0x80 (x + 128), int16 x as the uint16 x ^ 0x8000 (x + 32768). The
# mapping is a bijection and keeps the order of the values, so smooth images
# stay smooth; the file does not record it (decode(..., signed=True) undoes it).
_SIGN_BITS = {1: np.uint8(0x80), 2: np.uint16(0x8000)}


def _flip_signed(array):
    """The int8 or int16 `array` as a new native-order uint8 or uint16 array, sign bit flipped."""
    unsigned = np.dtype(f"u{array.dtype.itemsize}")
    if not array.dtype.isnative:
        array = array.astype(array.dtype.newbyteorder("="))
    return array.view(unsigned) ^ _SIGN_BITS[array.dtype.itemsize]


def _signed_dtype(dtype):
    """int8 for uint8, int16 for uint16."""
    return np.dtype(f"i{np.dtype(dtype).itemsize}")


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
    if array.dtype.kind == "i" and array.dtype.itemsize in (1, 2):
        array = _flip_signed(array)
    kind_ok = array.dtype.kind == "u" and array.dtype.itemsize in (1, 2)
    if not kind_ok:
        raise ValueError(f"samples must be uint8 or uint16 (int8 or int16 with signed=True), not {array.dtype}")
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


def encode(array, *, loss_factor=0, graphics=False, fast=False, bits_per_sample=None, threads=0, signed=False):
    """Compresses samples into the bytes of a .vrk file.

    `array` is uint8 of shape (H, W), (H, W, 1) or (H, W, 3) (RGB), or uint16
    of shape (H, W) or (H, W, 1) for 9- to 16-bit grey; both sides must be 32
    to 65535. Any strides work (rows the library cannot read in place are
    copied first). `bits_per_sample` is 8 for uint8; for uint16 it defaults
    to the fewest bits from 9 to 16 that hold the largest sample, and a
    sample above 2**bits_per_sample - 1 raises VrkError (INVALID_PARAMETERS).

    `signed=True` takes int8 (grey or colour) or int16 (grey) samples instead,
    and stores them with their sign bit flipped (x ^ 0x80, x ^ 0x8000: -32768
    becomes 0, 0 becomes 32768), int16 always with 16 bits. The file does not
    record it, so such data is decoded with ``decode(data, signed=True)``;
    the vrk command restores it as the unsigned PGM of the flipped samples.

    `loss_factor` (int, 0 to 12): 0 is lossless; 1 to 12 trade quality for
    size, and with `graphics` (the graphics engine, for synthetic images)
    every sample stays within `loss_factor` of its value. `fast` uses prefix
    codes instead of arithmetic coding. `threads`: 0 automatic, 1 one thread,
    more: up to that many; the bytes never depend on it. Flags are bools
    (numpy's too), counts ints (numpy's too): TypeError otherwise, ValueError
    out of range.

    The result is byte for byte what the vrk command writes for the PGM
    (maxval 255 at 8 bits, 2**bits - 1 above) or PPM file of the same samples.
    Memory: the input, the output and a few strips.
    """
    options = _encode_options(loss_factor, graphics, fast, threads, bits_per_sample)
    signed = _flag("signed", signed)
    array = np.asarray(array)
    if signed != (array.dtype.kind == "i"):
        if signed:
            raise ValueError(f"signed=True takes int8 or int16 samples, not {array.dtype}")
        if array.dtype.kind == "i" and array.dtype.itemsize in (1, 2):
            raise ValueError(
                f"{array.dtype} samples need signed=True (the file does not record it: decode with signed=True)"
            )
    image = _as_image(array)
    bits = options["bits_per_sample"]
    if signed and image.dtype.itemsize == 2:
        if bits not in (None, 16):
            raise ValueError(f"bits_per_sample must be 16 for int16 samples, not {bits}")
        bits = 16
    elif image.dtype.itemsize == 1:
        if bits not in (None, 8):
            raise ValueError(f"bits_per_sample must be 8 for uint8 samples, not {bits}")
        bits = 8
    elif bits is None:
        largest = int(image.max()) if image.size else 0
        bits = max(9, largest.bit_length())
    elif bits == 8:
        raise ValueError("bits_per_sample must be from 9 to 16 for uint16 samples, not 8")
    return _vrk.encode(image, bits, options["fast"], options["graphics"], options["loss_factor"], options["threads"])


def decode(data, *, signed=False, out=None, max_pixels=DEFAULT_MAX_PIXELS, threads=0):
    """Decodes the bytes of a .vrk file into a numpy array.

    Returns :attr:`Info.shape` and :attr:`Info.dtype` of ``inspect(data)``:
    uint8 (H, W) for 8-bit grey, uint8 (H, W, 3) for colour, uint16 (H, W)
    for 9- to 16-bit grey (the samples as stored, 0 to 2**bits - 1). A grey
    image encoded from an (H, W, 1) array comes back as (H, W): the file
    does not record that axis (reshape, or pass `out`). Lossy files give the
    vrk command's samples. A Sun raster keeps its file's sample order: 24-bit
    pixels come as blue, green, red, and an 8-bit one as colour-map indices
    (the map is in ``inspect(data).header``; ``vrk.pillow`` shows such files
    as they look).

    Images of more than `max_pixels` pixels (width x height) raise VrkError
    (LIMIT_EXCEEDED) before anything is allocated; None lifts the limit.
    `out`, if given, must be a writable array of that shape (or (H, W, 1) for
    grey) and dtype (ValueError otherwise); it is filled in place and
    returned. `threads` as for :func:`encode`. Damaged data raises VrkError,
    never returns a wrong image (though `out` may then have been partly
    written). Memory: the input, the output and a few strips.

    `signed=True` undoes what :func:`encode` does to int8 and int16 samples:
    the sign bit is flipped back and the result is int8 (8-bit files) or
    int16 (9 to 16 bits), and `out`, if given, must have that dtype.
    """
    signed = _flag("signed", signed)
    if signed:
        return _decode_signed(data, out, max_pixels, threads)
    data = _contiguous_bytes(data)
    limit = _max_pixels(max_pixels)
    threads = _threads(threads)
    info = inspect(data)
    _check_limit(info, limit)
    planes = (info.height, info.width, info.channels)
    if out is None:
        out = np.empty(info.shape, info.dtype)  # pages are touched only as rows arrive
        _vrk.decode_into(data, out.reshape(planes), limit, threads)
        return out
    if not isinstance(out, np.ndarray):
        raise ValueError("out must be a numpy array")
    if out.shape not in (info.shape, planes) or out.dtype != info.dtype:
        raise ValueError(
            f"out must have shape {info.shape} and dtype {info.dtype}, not {out.shape} and {out.dtype}"
        )
    if not out.flags.writeable:
        raise ValueError("out is read-only")
    target = out if out.ndim == 3 else out[:, :, np.newaxis]
    if _row_compatible(target):
        _vrk.decode_into(data, target, limit, threads)
    else:
        out[...] = decode(data, max_pixels=max_pixels, threads=threads).reshape(out.shape)
    return out


def _decode_signed(data, out, max_pixels, threads):
    """decode(..., signed=True): the unsigned samples, decoded in place, their sign bit flipped back."""
    if out is None:
        image = decode(data, max_pixels=max_pixels, threads=threads)
        image ^= _SIGN_BITS[image.dtype.itemsize]
        return image.view(_signed_dtype(image.dtype))
    if not isinstance(out, np.ndarray):
        raise ValueError("out must be a numpy array")
    info = inspect(data)
    expected = _signed_dtype(info.dtype)
    if out.dtype != expected:
        raise ValueError(f"out must have shape {info.shape} and dtype {expected}, not {out.shape} and {out.dtype}")
    unsigned = out.view(info.dtype)  # same item size: any strides
    decode(data, out=unsigned, max_pixels=max_pixels, threads=threads)
    unsigned ^= _SIGN_BITS[info.dtype.itemsize]
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


def _raw_layout(width, height, bytes_per_pixel):
    """The library's raw layout: width (required), height (0: as high as wide), bytes per pixel."""
    return (
        0 if width is None else _integer("width", width, 1, _MAX_DIMENSION),
        0 if height is None else _integer("height", height, 1, _MAX_DIMENSION),
        1 if bytes_per_pixel is None else _integer("bytes_per_pixel", bytes_per_pixel, 1, 3),
    )


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
    options = _encode_options(loss_factor, graphics, fast, threads)
    layout = (width, height, bytes_per_pixel)
    if number != _FORMATS["raw"] and any(value is not None for value in layout):
        raise ValueError("width, height and bytes_per_pixel are for raw samples only")
    return _vrk.compress_image(
        _contiguous_bytes(data),
        number,
        options["fast"],
        options["graphics"],
        options["loss_factor"],
        options["threads"],
        *_raw_layout(*layout),
    )


def restore_image(data, *, max_pixels=DEFAULT_MAX_PIXELS, threads=0):
    """Restores the image file a .vrk file was made from: returns (format, file bytes).

    `format` is "pgm", "ppm", "sun_raster" or "raw"; the bytes are the
    original file's, byte for byte. `max_pixels` and `threads` as for
    :func:`decode`. Memory: the input, the output and a few strips.
    """
    data = _contiguous_bytes(data)
    limit = _max_pixels(max_pixels)
    threads = _threads(threads)
    try:
        number, file = _vrk.restore_image(data, limit, threads)
    except VrkError as error:
        if error.code == ErrorCode.LIMIT_EXCEEDED:  # found before the file's bytes were allocated
            info = inspect(data)
            raise _limit_error(info.width, info.height, limit) from None
        raise
    return _FORMAT_NAMES[number], file


def _open_failure(path):
    """The OSError (FileNotFoundError...) that opening `path` gives, or None if it opens now."""
    try:
        open(path, "rb").close()
    except OSError as failure:
        return failure.with_traceback(None)
    return None


def compress_file(
    path,
    *,
    loss_factor=0,
    graphics=False,
    fast=False,
    threads=0,
    width=None,
    height=None,
    bytes_per_pixel=None,
    overwrite=False,
):
    """Compresses an image file (.pgm, .ppm, .ras or .raw) into the .vrk file beside it.

    Returns the output path. Does what the vrk command does, without its
    prompt: an existing output raises VrkError (OUTPUT_EXISTS) unless
    `overwrite`. An input that cannot be opened raises the OSError that
    opening it gives (FileNotFoundError for a missing file). Options as for
    :func:`encode`; raw samples take `width`, `height` and `bytes_per_pixel`
    as in :func:`compress_image`. Streams in constant memory.
    """
    options = _encode_options(loss_factor, graphics, fast, threads)
    path = os.fspath(path)
    try:
        output = _vrk.compress_file(
            os.fsencode(path),
            options["fast"],
            options["graphics"],
            options["loss_factor"],
            options["threads"],
            *_raw_layout(width, height, bytes_per_pixel),
            _flag("overwrite", overwrite),
        )
    except VrkError as error:
        failure = _open_failure(path) if error.code == ErrorCode.CANNOT_OPEN_INPUT else None
        if failure is not None:
            raise failure from error
        raise
    return os.fsdecode(output)


def restore_file(path, *, overwrite=False, max_pixels=DEFAULT_MAX_PIXELS, threads=0):
    """Restores a .vrk file into the image file it was made from; returns that path.

    An existing output raises VrkError (OUTPUT_EXISTS) unless `overwrite`; a
    missing input FileNotFoundError. `max_pixels` and `threads` as for
    :func:`decode`. On INCORRECT_CRC the restored file is kept, as the vrk
    command keeps it. Streams in constant memory.
    """
    path = os.fspath(path)
    limit = _max_pixels(max_pixels)
    try:
        output = _vrk.restore_file(os.fsencode(path), _flag("overwrite", overwrite), limit, _threads(threads))
    except VrkError as error:
        failure = _open_failure(path) if error.code == ErrorCode.CANNOT_OPEN_INPUT else None
        if failure is not None:
            raise failure from error
        if error.code == ErrorCode.LIMIT_EXCEEDED:
            with open(path, "rb") as file:
                height, width = _SIZE_FIELDS.unpack(file.read(_SIZE_FIELDS.size))
            raise _limit_error(width, height, limit) from None
        raise
    return os.fsdecode(output)


def __getattr__(name):
    # vrk.numcodecs and vrk.pillow load on first use: they import numcodecs and Pillow.
    if name in ("numcodecs", "pillow"):
        return importlib.import_module(f"{__name__}.{name}")
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
