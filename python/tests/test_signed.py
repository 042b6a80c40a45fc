"""Signed samples: int8 and int16 through vrk.encode / decode and the zarr codec, their sign bit flipped."""

import numcodecs
import numpy as np
import pytest
import zarr

import vrk
from conftest import synthetic_image
from vrk.numcodecs import Vrk


def signed_image(seed, shape, dtype):
    """A photo-like int8 or int16 image over the whole signed range, both extremes included."""
    bits = np.dtype(dtype).itemsize * 8
    image = (synthetic_image(seed, shape, bits).astype(np.int32) - (1 << (bits - 1))).astype(dtype)
    flat = image.reshape(-1)
    flat[0], flat[1], flat[2], flat[3] = np.iinfo(dtype).min, np.iinfo(dtype).max, 0, -1
    return image


@pytest.mark.parametrize(
    "shape, dtype, options",
    [
        ((40, 48), np.int16, {}),
        ((37, 33), np.int16, dict(fast=True, graphics=True)),
        ((40, 40), np.dtype(">i2"), {}),
        ((40, 48), np.int8, {}),
        ((33, 40, 3), np.int8, dict(fast=True)),
        ((40, 40, 1), np.int8, dict(graphics=True)),
    ],
    ids=["int16", "int16-fast-graphics", "int16-big-endian", "int8", "int8-colour", "int8-channel-axis"],
)
def test_signed_round_trip_is_exact_and_stores_the_flipped_samples(shape, dtype, options):
    image = signed_image(len(shape) * 7 + np.dtype(dtype).itemsize, shape, dtype)
    data = vrk.encode(image, signed=True, **options)
    decoded = vrk.decode(data, signed=True)
    assert decoded.dtype == np.dtype(dtype).newbyteorder("=")
    np.testing.assert_array_equal(decoded.reshape(image.shape), image)

    # The file holds the unsigned samples x ^ sign bit: int16 at 16 bits, whatever the values.
    unsigned = vrk.decode(data)
    mask = 0x80 if np.dtype(dtype).itemsize == 1 else 0x8000
    np.testing.assert_array_equal(unsigned.reshape(image.shape), image.astype(np.int32) + mask)
    assert vrk.inspect(data).bits_per_sample == np.dtype(dtype).itemsize * 8
    assert data == vrk.encode(unsigned, bits_per_sample=None if mask == 0x80 else 16, **options)


def test_near_lossless_bound_holds_across_zero():
    image = signed_image(3, (48, 48), np.int16) // 64
    decoded = vrk.decode(vrk.encode(image, signed=True, loss_factor=3, graphics=True), signed=True)
    assert np.abs(decoded.astype(np.int32) - image).max() <= 3


def test_decode_into_a_signed_out_array():
    image = signed_image(5, (40, 44), np.int16)
    data = vrk.encode(image, signed=True)
    out = np.zeros((40, 88), np.int16)[:, ::2]  # strided
    assert vrk.decode(data, signed=True, out=out) is out
    np.testing.assert_array_equal(out, image)
    with pytest.raises(ValueError):
        vrk.decode(data, signed=True, out=np.empty((40, 44), np.uint16))
    with pytest.raises(ValueError):
        vrk.decode(data, out=np.empty((40, 44), np.int16))


@pytest.mark.parametrize(
    "array, options",
    [
        (np.zeros((40, 40), np.int16), {}),  # the file would not say it was signed
        (np.zeros((40, 40), np.int8), {}),
        (np.zeros((40, 40), np.uint16), dict(signed=True)),
        (np.zeros((40, 40), np.int32), dict(signed=True)),
        (np.zeros((40, 40), np.int16), dict(signed=True, bits_per_sample=12)),
        (np.zeros((40, 40), np.int8), dict(signed=True, bits_per_sample=9)),
        (np.zeros((40, 40, 3), np.int16), dict(signed=True)),
    ],
    ids=["int16-unsigned", "int8-unsigned", "uint16-signed", "int32", "int16-12-bits", "int8-9-bits", "int16-colour"],
)
def test_encode_refuses_a_mismatch_of_dtype_and_signed(array, options):
    with pytest.raises(ValueError):
        vrk.encode(array, **options)


def test_signed_must_be_a_flag():
    with pytest.raises(TypeError):
        vrk.encode(np.zeros((40, 40), np.int16), signed=1)
    with pytest.raises(TypeError):
        vrk.decode(vrk.encode(np.zeros((40, 40), np.uint8)), signed="yes")
    with pytest.raises(TypeError):
        Vrk(signed=None)


def test_codec_config_has_signed_only_when_true():
    assert "signed" not in Vrk().get_config()
    assert "signed" not in Vrk(loss_factor=2, threads=2).get_config()
    config = Vrk(signed=True).get_config()
    assert config["signed"] is True
    rebuilt = numcodecs.get_codec(dict(config))
    assert rebuilt == Vrk(signed=True) and rebuilt != Vrk()


def test_codec_refuses_signed_chunks_unless_told():
    with pytest.raises(ValueError):
        Vrk().encode(np.zeros((40, 40), np.int16))
    with pytest.raises(ValueError):
        Vrk(signed=True).encode(np.zeros((40, 40), np.uint16))


@pytest.mark.parametrize(
    "dtype, frame",
    [(np.int16, (40, 48)), (np.int8, (36, 40)), (np.int8, (36, 40, 3))],
    ids=["int16", "int8", "int8-colour"],
)
def test_zarr_gives_back_the_signed_dtype(tmp_path, dtype, frame):
    stack = np.stack([signed_image(seed, frame, dtype) for seed in range(3)])
    array = zarr.open(
        str(tmp_path / "signed.zarr"),
        mode="w",
        shape=stack.shape,
        chunks=(1,) + frame,
        dtype=dtype,
        compressor=Vrk(signed=True),
    )
    array[:] = stack
    reopened = zarr.open(str(tmp_path / "signed.zarr"), mode="r")
    assert reopened.dtype == dtype and reopened.compressor == Vrk(signed=True)
    np.testing.assert_array_equal(reopened[:], stack)
    np.testing.assert_array_equal(reopened[1, 3:9], stack[1, 3:9])  # a partial read decodes without out


def test_codec_decode_fills_a_raw_buffer():
    image = signed_image(9, (40, 40), np.int16)
    codec = Vrk(signed=True)
    out = bytearray(image.nbytes)
    assert codec.decode(codec.encode(image), out=out) is out
    np.testing.assert_array_equal(np.frombuffer(out, np.int16).reshape(image.shape), image)
