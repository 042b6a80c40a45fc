"""vrk as a numcodecs codec, for zarr arrays of images.

    import zarr
    from vrk.numcodecs import Vrk

    stack = zarr.open("stack.zarr", mode="w", shape=(10, 512, 512), chunks=(1, 512, 512),
                      dtype="uint16", compressor=Vrk())

The codec's id is "vrk". An installed vrk package registers it through the
``numcodecs.codecs`` entry point, so ``numcodecs.get_codec({"id": "vrk"})``
and zarr (in any process, Dask workers included) find it without importing
this module first; importing it registers it too.

Chunks: each chunk is one image, uint8 (H, W), (H, W, 1) or (H, W, 3), or
uint16 (H, W) or (H, W, 1) (9 to 16 bits), with any leading axes of length 1
dropped, so image stacks chunked (1, H, W) or (1, H, W, 1) work. zarr hands
the codec whole chunks, edge chunks padded to the full chunk size, so choose
chunks that cover whole images or at least 32 x 32 pixels: an image side
below 32 is refused when the chunk is written, with VrkError
(INVALID_DIMENSION, code 7). Colour chunks need C order, and uint16 a native
byte order (zarr's default for uint16 on little-endian machines).

Signed arrays (int8, int16) need ``Vrk(signed=True)``: the samples are
stored with their sign bit flipped, as ``vrk.encode(..., signed=True)``
stores them, and the config's key ``"signed": True`` (present only then)
tells every reader to flip it back.

Decoding has no pixel limit: the chunk shape bounds it.
"""

import numpy as np
from numcodecs.abc import Codec
from numcodecs.compat import ensure_contiguous_ndarray, ensure_ndarray
from numcodecs.registry import register_codec

import vrk

__all__ = ["Vrk"]


class Vrk(Codec):
    """Compresses each chunk as one vrk image.

    Options as for :func:`vrk.encode`, checked here: `loss_factor` (0
    lossless, up to 12), `graphics`, `fast`, `bits_per_sample` for uint16
    chunks (None: the fewest bits from 9 to 16 that hold the chunk's largest
    sample) and `threads` (0 automatic). The bytes never depend on
    `threads`; it is in the config, so a codec rebuilt from an array's
    metadata uses it too, only when not 0. `signed=True` is for int8 and
    int16 arrays (and only them); it is in the config only when True.

    ``decode(buf, out=None)`` returns the chunk's image as :func:`vrk.decode`
    does, (H, W) for grey (zarr reshapes it to the chunk's shape); given
    `out`, any writable buffer of the image's size in bytes (an array of the
    chunk's shape, say), it fills `out` in its memory order and returns it.
    """

    codec_id = "vrk"

    def __init__(self, loss_factor=0, graphics=False, fast=False, bits_per_sample=None, threads=0, signed=False):
        options = vrk._encode_options(loss_factor, graphics, fast, threads, bits_per_sample)
        self.signed = vrk._flag("signed", signed)
        self.loss_factor = options["loss_factor"]
        self.graphics = options["graphics"]
        self.fast = options["fast"]
        self.bits_per_sample = options["bits_per_sample"]
        self.threads = options["threads"]

    def get_config(self):
        config = super().get_config()
        if not self.threads:
            del config["threads"]  # automatic: the same config as a codec that never heard of threads
        if not self.signed:
            del config["signed"]  # unsigned samples: the config of a codec that never heard of signed ones
        return config

    def encode(self, buf):
        image = ensure_ndarray(buf)
        if image.dtype.itemsize > 1 and not image.dtype.isnative:
            raise ValueError("the vrk codec needs samples in native byte order")
        # zarr's chunks hold bytes in the array's memory order: an F-order
        # chunk is stored as its transpose, which decodes to the same bytes.
        if image.flags.f_contiguous and not image.flags.c_contiguous:
            image = image.T
        while image.ndim > 2 and image.shape[0] == 1 and not (image.ndim == 3 and image.shape[2] == 3):
            image = image[0]
        return vrk.encode(
            image,
            loss_factor=self.loss_factor,
            graphics=self.graphics,
            fast=self.fast,
            bits_per_sample=self.bits_per_sample,
            threads=self.threads,
            signed=self.signed,
        )

    def decode(self, buf, out=None):
        if out is None:
            return vrk.decode(buf, signed=self.signed, max_pixels=None, threads=self.threads)
        info = vrk.inspect(buf)
        dtype = vrk._signed_dtype(info.dtype) if self.signed else info.dtype
        # Like every numcodecs codec, fill `out` as a buffer, in its memory order.
        destination = ensure_contiguous_ndarray(out)
        size = int(np.prod(info.shape))
        if destination.dtype != dtype:
            if destination.nbytes != size * dtype.itemsize:
                raise ValueError(f"out holds {destination.nbytes} bytes; the image needs {size * dtype.itemsize}")
            destination = destination.view(np.uint8).view(dtype)
        if destination.size != size:
            raise ValueError(f"out holds {destination.size} samples; the image has {size}")
        vrk.decode(
            buf, signed=self.signed, out=destination.reshape(info.shape), max_pixels=None, threads=self.threads
        )
        return out

    def __repr__(self):
        return (
            f"Vrk(loss_factor={self.loss_factor}, graphics={self.graphics}, fast={self.fast}, "
            f"bits_per_sample={self.bits_per_sample}, threads={self.threads}"
            + (", signed=True)" if self.signed else ")")
        )


register_codec(Vrk)
