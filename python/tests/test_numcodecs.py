"""vrk.numcodecs.Vrk: the codec alone, in zarr arrays, and found by its entry point."""

import os
import subprocess
import sys
import textwrap

import numcodecs
import numpy as np
import pytest
import zarr

import vrk
from conftest import synthetic_image
from vrk.numcodecs import Vrk


def test_config_round_trips_through_the_registry():
    codec = Vrk(loss_factor=3, graphics=True, fast=True, bits_per_sample=12)
    config = codec.get_config()
    assert config == dict(id="vrk", loss_factor=3, graphics=True, fast=True, bits_per_sample=12)
    assert numcodecs.get_codec(config) == codec
    assert numcodecs.get_codec({"id": "vrk"}) == Vrk()


def test_threads_are_in_the_config_unless_automatic():
    codec = Vrk(loss_factor=np.int64(2), fast=np.True_, threads=3)
    config = codec.get_config()
    assert config == dict(id="vrk", loss_factor=2, graphics=False, fast=True, bits_per_sample=None, threads=3)
    assert type(config["loss_factor"]) is int and type(config["fast"]) is bool  # JSON for zarr's metadata
    rebuilt = numcodecs.get_codec(dict(config))
    assert rebuilt == codec and rebuilt.threads == 3
    image = synthetic_image(2, (40, 40), 8)
    assert codec.encode(image) == Vrk(loss_factor=2, fast=True).encode(image)


@pytest.mark.parametrize(
    "options, error",
    [
        (dict(loss_factor=1.7), TypeError),
        (dict(loss_factor=20), ValueError),
        (dict(fast="no"), TypeError),
        (dict(graphics=1), TypeError),
        (dict(bits_per_sample=17), ValueError),
        (dict(threads=-1), ValueError),
    ],
    ids=["loss-float", "loss-20", "fast-str", "graphics-int", "bits-17", "threads-negative"],
)
def test_options_are_checked_in_the_constructor(options, error):
    with pytest.raises(error, match=next(iter(options))):
        Vrk(**options)


@pytest.mark.parametrize(
    "chunk_shape, image_shape, bits",
    [
        ((40, 50), (40, 50), 8),
        ((1, 40, 50), (40, 50), 12),
        ((1, 1, 33, 40), (33, 40), 16),
        ((36, 40, 3), (36, 40, 3), 8),
        ((1, 36, 40, 3), (36, 40, 3), 8),
        ((40, 50, 1), (40, 50), 8),
    ],
    ids=["grey8", "stack-of-one-grey12", "two-leading-axes", "rgb", "stack-of-one-rgb", "one-channel-axis"],
)
def test_a_chunk_is_one_image_with_leading_unit_axes_dropped(chunk_shape, image_shape, bits):
    image = synthetic_image(1, image_shape, bits)
    codec = Vrk(fast=True)
    data = codec.encode(image.reshape(chunk_shape))
    assert data == vrk.encode(image, fast=True)
    np.testing.assert_array_equal(codec.decode(data), image)


def test_options_reach_the_encoder():
    image = synthetic_image(2, (40, 40), 12)
    codec = Vrk(loss_factor=2, graphics=True, fast=True, bits_per_sample=14)
    data = codec.encode(image)
    assert data == vrk.encode(image, loss_factor=2, graphics=True, fast=True, bits_per_sample=14)
    info = vrk.inspect(data)
    assert (info.loss_factor, info.graphics, info.fast, info.bits_per_sample) == (2, True, True, 14)


class TestDecodeIntoOut:
    IMAGE = synthetic_image(3, (40, 48), 12)

    @pytest.mark.parametrize(
        "make_out",
        [
            lambda image: np.empty((1,) + image.shape, image.dtype),
            lambda image: np.empty(image.shape + (1,), image.dtype),
            lambda image: np.empty(image.size, image.dtype),
            lambda image: np.empty((image.shape[1], image.shape[0]), image.dtype),
            lambda image: bytearray(image.nbytes),
            lambda image: np.empty(image.nbytes, np.uint8),
        ],
        ids=["stack-of-one", "one-channel-axis", "flat", "other-shape", "bytearray", "bytes-as-uint8"],
    )
    def test_fills_any_buffer_of_the_images_size(self, make_out):
        out = make_out(self.IMAGE)
        codec = Vrk()
        assert codec.decode(codec.encode(self.IMAGE), out=out) is out
        filled = np.frombuffer(out, np.uint8) if isinstance(out, bytearray) else out
        np.testing.assert_array_equal(filled.reshape(-1).view(np.uint16).reshape(self.IMAGE.shape), self.IMAGE)

    @pytest.mark.parametrize(
        "out", [np.empty(40 * 48 - 1, np.uint16), np.empty(40 * 48, np.uint32), bytearray(40 * 48)], ids=["short", "wide", "half"]
    )
    def test_refuses_a_buffer_of_another_size(self, out):
        codec = Vrk()
        with pytest.raises(ValueError):
            codec.decode(codec.encode(self.IMAGE), out=out)


def test_zarr_image_stack_round_trips(tmp_path):
    stack = np.stack([synthetic_image(seed, (70, 90), 12) for seed in range(5)])
    array = zarr.open(
        str(tmp_path / "stack.zarr"), mode="w", shape=stack.shape, chunks=(1, 64, 64), dtype=stack.dtype, compressor=Vrk()
    )
    array[:] = stack  # edge chunks reach zarr padded to 64 x 64
    reopened = zarr.open(str(tmp_path / "stack.zarr"), mode="r")
    assert reopened.compressor == Vrk()
    np.testing.assert_array_equal(reopened[:], stack)  # whole chunks: decoded straight into the result
    np.testing.assert_array_equal(reopened[2, 10:50, 30:80], stack[2, 10:50, 30:80])
    chunk = (tmp_path / "stack.zarr" / "3.1.0").read_bytes()
    assert vrk.inspect(chunk).shape == (64, 64)
    np.testing.assert_array_equal(vrk.decode(chunk)[:6], stack[3, 64:, :64])


@pytest.mark.parametrize(
    "shape, chunks, dtype, order, options",
    [
        ((3, 40, 50, 3), (1, 40, 50, 3), np.uint8, "C", dict(fast=True)),
        ((80, 96), (40, 48), np.uint16, "F", dict()),
        ((2, 64, 64), (1, 64, 64), np.uint8, "C", dict(graphics=True, loss_factor=2)),
        ((3, 40, 50, 1), (1, 40, 50, 1), np.uint8, "C", dict()),
        ((2, 36, 40, 1), (1, 36, 40, 1), np.uint16, "C", dict(threads=2)),
    ],
    ids=["colour-stack", "fortran-order", "near-lossless", "one-channel-stack", "one-channel-stack-uint16"],
)
def test_zarr_arrays_of_every_kind(tmp_path, shape, chunks, dtype, order, options):
    codec = Vrk(**options)
    rng = np.random.default_rng(4)
    data = rng.integers(0, 1000 if dtype == np.uint16 else 256, size=shape).astype(dtype)
    array = zarr.open(str(tmp_path / "a.zarr"), mode="w", shape=shape, chunks=chunks, dtype=dtype, order=order, compressor=codec)
    array[:] = data
    read = zarr.open(str(tmp_path / "a.zarr"), mode="r")
    assert read.compressor == codec
    # Whole chunks (decoded into the result), one chunk alone, and parts of chunks.
    for selection in (np.s_[:], np.s_[1], np.s_[1:, 5:33]):
        assert read[selection].shape == data[selection].shape
        error = np.abs(read[selection].astype(np.int64) - data[selection].astype(np.int64))
        assert error.max() <= codec.loss_factor


def test_a_chunk_below_32_pixels_fails_at_write_time(tmp_path):
    array = zarr.open(str(tmp_path / "small.zarr"), mode="w", shape=(64, 64), chunks=(16, 64), dtype=np.uint8, compressor=Vrk())
    with pytest.raises(vrk.VrkError) as raised:
        array[:] = 1
    assert raised.value.code == vrk.ErrorCode.INVALID_DIMENSION


def test_a_fresh_interpreter_finds_the_codec_by_its_entry_point(tmp_path):
    stack = np.stack([synthetic_image(seed, (40, 36), 8) for seed in range(3)])
    array = zarr.open(str(tmp_path / "s.zarr"), mode="w", shape=stack.shape, chunks=(1, 40, 36), dtype=np.uint8, compressor=Vrk(fast=True))
    array[:] = stack
    np.save(tmp_path / "expected.npy", stack)
    script = textwrap.dedent(
        """
        import sys
        import numcodecs, numpy, zarr
        assert "vrk" not in sys.modules
        codec = numcodecs.get_codec({"id": "vrk", "loss_factor": 3})
        assert type(codec).__module__ == "vrk.numcodecs" and codec.loss_factor == 3, codec
        array = zarr.open(sys.argv[1], mode="r")
        numpy.testing.assert_array_equal(array[:], numpy.load(sys.argv[2]))
        print("found", type(array.compressor).__qualname__)
        """
    )
    environment = dict(os.environ)
    environment.pop("PYTHONSTARTUP", None)
    result = subprocess.run(
        [sys.executable, "-c", script, str(tmp_path / "s.zarr"), str(tmp_path / "expected.npy")],
        capture_output=True,
        env=environment,
        timeout=120,
    )
    assert result.returncode == 0, result.stderr.decode()
    assert result.stdout.split() == [b"found", b"Vrk"]
