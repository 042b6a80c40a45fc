"""vrk.encode / decode / inspect / compress_file / restore_file, against the vrk command."""

import dataclasses
import errno
import importlib.metadata
import json
import os
import pickle
import shutil
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import vrk
from conftest import command_line_arguments, pnm_bytes, run_vrk, synthetic_image

MODES = [
    pytest.param(dict(fast=False, graphics=False), id="wavelet-arith"),
    pytest.param(dict(fast=True, graphics=False), id="wavelet-fast"),
    pytest.param(dict(fast=False, graphics=True), id="graphics-arith"),
    pytest.param(dict(fast=True, graphics=True), id="graphics-fast"),
]

# (shape, bits, kind, fast, graphics, loss_factor, explicit bits_per_sample)
COMMAND_LINE_CASES = {
    "grey8-smallest": ((32, 32), 8, "photo", False, False, 0, False),
    "grey8-odd-fast": ((37, 45), 8, "photo", True, False, 0, False),
    "grey8-graphics": ((40, 64), 8, "graphics", False, True, 0, False),
    "grey8-lossy": ((64, 50), 8, "photo", False, False, 5, False),
    "grey8-lossy-fast-max": ((50, 33), 8, "photo", True, False, 12, False),
    "grey8-near-lossless": ((48, 33), 8, "graphics", True, True, 3, False),
    "grey8-one-channel-axis": ((41, 35, 1), 8, "photo", False, False, 0, False),
    "grey8-tall": ((300, 40), 8, "photo", False, False, 1, False),
    "grey8-wide": ((32, 301), 8, "graphics", True, True, 0, False),
    "grey9": ((33, 40), 9, "photo", False, False, 0, False),
    "grey12-fast": ((45, 38), 12, "photo", True, False, 0, False),
    "grey12-lossy": ((64, 64), 12, "photo", False, False, 4, False),
    "grey12-near-lossless": ((36, 52), 12, "graphics", False, True, 2, False),
    "grey16": ((40, 40), 16, "photo", False, False, 0, False),
    "grey16-fast-graphics-near": ((35, 47), 16, "graphics", True, True, 1, False),
    "grey16-explicit-depth-small-values": ((40, 40), 10, "photo", False, False, 0, True),
    "rgb": ((40, 52, 3), 8, "photo", False, False, 0, False),
    "rgb-fast-lossy": ((33, 64, 3), 8, "photo", True, False, 6, False),
    "rgb-graphics": ((48, 40, 3), 8, "graphics", False, True, 0, False),
    "rgb-fast-graphics-near": ((40, 33, 3), 8, "graphics", True, True, 2, False),
}


@pytest.mark.parametrize("case", COMMAND_LINE_CASES, ids=list(COMMAND_LINE_CASES))
def test_encode_gives_the_command_lines_bytes(case, vrk_binary, tmp_path):
    shape, bits, kind, fast, graphics, loss_factor, explicit = COMMAND_LINE_CASES[case]
    image = synthetic_image(sum(map(ord, case)), shape, bits, kind)
    file_bits = 16 if explicit else bits
    name = "image.ppm" if len(shape) == 3 and shape[2] == 3 else "image.pgm"
    (tmp_path / name).write_bytes(pnm_bytes(image, file_bits))
    run_vrk(vrk_binary, command_line_arguments(name, fast, graphics, loss_factor), tmp_path)

    encoded = vrk.encode(
        image,
        fast=fast,
        graphics=graphics,
        loss_factor=loss_factor,
        bits_per_sample=16 if explicit else None,
    )
    assert encoded == (tmp_path / "image.vrk").read_bytes()


def _unaligned(image):
    """A copy of `image` one byte past an aligned address (odd, for uint16 samples)."""
    memory = np.zeros(image.nbytes + 1, np.uint8)
    copy = np.ndarray(image.shape, image.dtype, buffer=memory, offset=1)
    copy[...] = image
    return copy


def _strided_variants(image):
    """Views and copies of `image` that hold the same samples in other memory layouts."""
    grey = image.ndim == 2
    padded = np.zeros((image.shape[0] * 2 + 3, image.shape[1] + 5) + image.shape[2:], image.dtype)
    padded[3::2, 2 : 2 + image.shape[1]] = image
    variants = {
        "rows-apart": padded[3::2, 2 : 2 + image.shape[1]],
        "fortran-order": np.asfortranarray(image),
        "negative-strides": np.flipud(np.flipud(image).copy()),
        "every-other-column": np.repeat(image, 2, axis=1)[:, ::2],
        "unaligned": _unaligned(image),
    }
    if grey:
        variants["one-channel-axis"] = image[:, :, np.newaxis]
        if image.dtype == np.uint16:
            variants["big-endian"] = image.astype(">u2")
    else:
        variants["planar-memory"] = np.moveaxis(np.ascontiguousarray(np.moveaxis(image, 2, 0)), 0, 2)
    return variants


@pytest.mark.parametrize(
    "shape, bits", [((40, 36), 8), ((40, 36, 3), 8), ((36, 41), 12)], ids=["grey8", "rgb", "grey12"]
)
def test_any_memory_layout_gives_the_same_bytes(shape, bits):
    image = synthetic_image(7, shape, bits)
    expected = vrk.encode(image, fast=True)
    for name, variant in _strided_variants(image).items():
        np.testing.assert_array_equal(variant.reshape(image.shape), image, err_msg=name)
        assert vrk.encode(variant, fast=True) == expected, name


def test_output_larger_than_its_first_room_keeps_the_files_bytes():
    noise = np.random.default_rng(5).integers(0, 65536, size=(300, 280), dtype=np.uint16)
    data = vrk.encode(noise)
    assert len(data) > noise.nbytes  # incompressible: the output outgrew every first guess
    assert data == vrk.compress_image(pnm_bytes(noise, 16), "pgm")


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize(
    "shape, bits",
    [((33, 47), 8), ((40, 38, 1), 8), ((34, 40, 3), 8), ((45, 32), 9), ((40, 40), 12), ((32, 36), 16)],
    ids=["grey8", "grey8-axis", "rgb", "grey9", "grey12", "grey16"],
)
def test_lossless_round_trip_is_exact(mode, shape, bits):
    image = synthetic_image(11, shape, bits, "graphics" if mode["graphics"] else "photo")
    decoded = vrk.decode(vrk.encode(image, **mode))
    expected = image.reshape(shape[:2]) if len(shape) == 3 and shape[2] == 1 else image
    assert decoded.dtype == expected.dtype and decoded.shape == expected.shape
    np.testing.assert_array_equal(decoded, expected)


@pytest.mark.parametrize("fast", [False, True], ids=["arith", "fast"])
@pytest.mark.parametrize("loss_factor", [1, 3, 12])
@pytest.mark.parametrize("shape, bits", [((48, 40), 8), ((40, 44, 3), 8), ((36, 50), 12)], ids=["grey8", "rgb", "grey12"])
def test_graphics_loss_factor_bounds_every_sample(fast, loss_factor, shape, bits):
    image = synthetic_image(loss_factor, shape, bits, "photo")
    decoded = vrk.decode(vrk.encode(image, graphics=True, fast=fast, loss_factor=loss_factor))
    error = np.abs(decoded.astype(np.int64) - image.astype(np.int64))
    assert 0 < error.max() <= loss_factor


@pytest.mark.parametrize(
    "shape, bits, mode, loss_factor, header",
    [
        ((48, 64), 8, dict(), 0, b"P5\n64 48\n255\n"),
        ((40, 33), 12, dict(fast=True), 7, b"P5\n33 40\n4095\n"),
        ((32, 35), 16, dict(graphics=True), 2, b"P5\n35 32\n65535\n"),
        ((36, 40, 3), 8, dict(fast=True, graphics=True), 12, b"P6\n40 36\n255\n"),
    ],
    ids=["grey8", "grey12-fast-lossy", "grey16-graphics", "rgb-fast-graphics"],
)
def test_inspect_reads_every_field(shape, bits, mode, loss_factor, header):
    data = vrk.encode(synthetic_image(3, shape, bits), loss_factor=loss_factor, **mode)
    info = vrk.inspect(data)
    colour = len(shape) == 3
    assert (info.height, info.width) == shape[:2]
    assert info.channels == (3 if colour else 1)
    assert info.bits_per_sample == bits
    assert info.bytes_per_sample == (1 if bits == 8 else 2)
    assert info.loss_factor == loss_factor
    assert info.fast == mode.get("fast", False) and info.graphics == mode.get("graphics", False)
    assert info.format == ("ppm" if colour else "pgm")
    assert info.header == header
    decoded = vrk.decode(data)
    assert info.shape == decoded.shape and info.dtype == decoded.dtype
    with pytest.raises(dataclasses.FrozenInstanceError):
        info.width = 1


@pytest.mark.parametrize(
    "largest, bits", [(0, 9), (255, 9), (511, 9), (512, 10), (4095, 12), (4096, 13), (65535, 16)]
)
def test_uint16_depth_defaults_to_the_fewest_bits_that_hold_the_largest_sample(largest, bits):
    image = np.zeros((32, 32), np.uint16)
    image[5, 7] = largest
    assert vrk.inspect(vrk.encode(image)).bits_per_sample == bits


@pytest.mark.parametrize(
    "array, options",
    [
        (np.zeros((40, 40), np.float32), {}),
        (np.zeros((40, 40), np.int16), {}),
        (np.zeros((40, 40), np.int8), {}),
        (np.zeros((40, 40), np.uint32), {}),
        (np.zeros((40, 40), bool), {}),
        (np.zeros(1600, np.uint8), {}),
        (np.zeros((40, 40, 2), np.uint8), {}),
        (np.zeros((40, 40, 4), np.uint8), {}),
        (np.zeros((1, 40, 40, 3), np.uint8), {}),
        (np.zeros((40, 40, 3), np.uint16), {}),
        (np.zeros((40, 40), np.uint8), dict(bits_per_sample=12)),
        (np.zeros((40, 40), np.uint16), dict(bits_per_sample=8)),
        (np.zeros((40, 40), np.uint16), dict(bits_per_sample=17)),
    ],
    ids=[
        "float32", "int16", "int8", "uint32", "bool", "1-D", "two-channels", "four-channels", "4-D",
        "uint16-colour", "uint8-at-12-bits", "uint16-at-8-bits", "uint16-at-17-bits",
    ],
)
def test_encode_refuses_wrong_dtype_shape_or_depth_with_value_error(array, options):
    with pytest.raises(ValueError):
        vrk.encode(array, **options)


@pytest.mark.parametrize(
    "array, options, code",
    [
        (np.zeros((31, 40), np.uint8), {}, vrk.ErrorCode.INVALID_DIMENSION),
        (np.zeros((40, 31, 3), np.uint8), {}, vrk.ErrorCode.INVALID_DIMENSION),
        (np.zeros((0, 0), np.uint16), {}, vrk.ErrorCode.INVALID_DIMENSION),
        (np.full((40, 40), 4096, np.uint16), dict(bits_per_sample=12), vrk.ErrorCode.INVALID_PARAMETERS),
    ],
    ids=["too-few-rows", "too-few-columns", "empty", "sample-above-depth"],
)
def test_encode_reports_library_refusals_as_vrk_error(array, options, code):
    with pytest.raises(vrk.VrkError) as raised:
        vrk.encode(array, **options)
    assert raised.value.code == code


@pytest.fixture(scope="module", params=[m.values[0] for m in MODES], ids=[m.id for m in MODES])
def small_file(request):
    """A small compressed colour photo in each mode, and its decoded samples."""
    image = synthetic_image(5, (36, 40, 3), 8)
    data = vrk.encode(image, loss_factor=2 if request.param["graphics"] else 0, **request.param)
    return data, vrk.decode(data)


def test_every_truncation_raises_vrk_error(small_file):
    data, _ = small_file
    for length in range(len(data)):
        with pytest.raises(vrk.VrkError):
            vrk.decode(data[:length])


def test_every_bit_flip_raises_vrk_error_or_gives_the_same_image(small_file):
    data, expected = small_file
    damaged = bytearray(data)
    for position in range(len(data)):
        for bit in (0x01, 0x80):
            damaged[position] ^= bit
            try:
                decoded = vrk.decode(damaged)
            except vrk.VrkError:
                pass
            else:
                np.testing.assert_array_equal(decoded, expected, err_msg=f"byte {position} bit {bit:#x}")
            damaged[position] ^= bit


def test_damage_into_out_raises_vrk_error(small_file):
    data, expected = small_file
    damaged = bytearray(data)
    damaged[len(damaged) // 2] ^= 0x10
    with pytest.raises(vrk.VrkError):
        vrk.decode(damaged, out=np.empty_like(expected))


# Every function that decodes, called on compressed bytes: the file ones through a file beside `tmp_path`.
DECODERS = {
    "decode": lambda data, tmp_path, **options: vrk.decode(data, **options),
    "restore_image": lambda data, tmp_path, **options: vrk.restore_image(data, **options),
    "restore_file": lambda data, tmp_path, **options: (
        (tmp_path / "image.vrk").write_bytes(data),
        vrk.restore_file(tmp_path / "image.vrk", overwrite=True, **options),
    ),
}


@pytest.mark.parametrize("decoder", DECODERS.values(), ids=list(DECODERS))
def test_max_pixels_limits_width_times_height(decoder, tmp_path):
    data = vrk.encode(synthetic_image(2, (48, 64), 8))
    decoder(data, tmp_path, max_pixels=48 * 64)
    decoder(data, tmp_path, max_pixels=None)
    with pytest.raises(vrk.VrkError) as raised:
        decoder(data, tmp_path, max_pixels=48 * 64 - 1)
    error = raised.value
    assert error.code == vrk.ErrorCode.LIMIT_EXCEEDED
    # The fixed message first, then what was declared, the limit, and the way out.
    assert str(error).startswith("Image exceeds the decoding limit")
    for part in ("64 x 48", "max_pixels=3071", "max_pixels=None"):
        assert part in str(error)
    copy = pickle.loads(pickle.dumps(error))
    assert (copy.code, str(copy)) == (error.code, str(error))


def test_max_pixels_also_limits_decoding_into_out():
    image = synthetic_image(2, (48, 64), 8)
    with pytest.raises(vrk.VrkError) as raised:
        vrk.decode(vrk.encode(image), max_pixels=48 * 64 - 1, out=np.empty_like(image))
    assert raised.value.code == vrk.ErrorCode.LIMIT_EXCEEDED


@pytest.mark.parametrize("decoder", DECODERS.values(), ids=list(DECODERS))
def test_default_limit_refuses_a_huge_declared_image(decoder, tmp_path):
    data = bytearray(vrk.encode(synthetic_image(2, (40, 40, 3), 8)))
    data[4:8] = b"\xff\xff\xff\xff"  # 65535 x 65535 colour: 12 GiB of samples
    assert vrk.inspect(data).shape == (65535, 65535, 3)
    with pytest.raises(vrk.VrkError) as raised:
        decoder(bytes(data), tmp_path)
    assert raised.value.code == vrk.ErrorCode.LIMIT_EXCEEDED
    assert f"65535 x 65535 = {65535 * 65535} pixels, more than max_pixels={vrk.DEFAULT_MAX_PIXELS}" in str(raised.value)


# Every function that takes coding options, called so that only an option can be wrong (the file is
# missing: the options are checked first).
ENCODERS = {
    "encode": lambda tmp_path, **options: vrk.encode(np.zeros((40, 40), np.uint8), **options),
    "compress_image": lambda tmp_path, **options: vrk.compress_image(
        pnm_bytes(np.zeros((40, 40), np.uint8)), "pgm", **options
    ),
    "compress_file": lambda tmp_path, **options: vrk.compress_file(tmp_path / "missing.pgm", **options),
}

BAD_CODING_OPTIONS = [
    ("loss_factor", 1.7, TypeError),
    ("loss_factor", "3", TypeError),
    ("loss_factor", True, TypeError),
    ("loss_factor", 2**40, ValueError),
    ("loss_factor", 20, ValueError),
    ("loss_factor", -1, ValueError),
    ("fast", "no", TypeError),
    ("fast", 1, TypeError),
    ("graphics", None, TypeError),
    ("threads", -1, ValueError),
    ("threads", 2**40, ValueError),
    ("threads", 2.0, TypeError),
]


@pytest.mark.parametrize("name, value, error", BAD_CODING_OPTIONS)
@pytest.mark.parametrize("function", ENCODERS.values(), ids=list(ENCODERS))
def test_coding_options_are_checked_when_given(function, name, value, error, tmp_path):
    with pytest.raises(error, match=name):
        function(tmp_path, **{name: value})


BAD_DECODING_OPTIONS = [
    ("max_pixels", 0, ValueError),
    ("max_pixels", -5, ValueError),
    ("max_pixels", 1.5, TypeError),
    ("max_pixels", True, TypeError),
    ("threads", -1, ValueError),
    ("threads", "2", TypeError),
]


@pytest.mark.parametrize("name, value, error", BAD_DECODING_OPTIONS)
@pytest.mark.parametrize("decoder", DECODERS.values(), ids=list(DECODERS))
def test_decoding_options_are_checked_when_given(decoder, name, value, error, tmp_path):
    data = vrk.encode(np.zeros((40, 40), np.uint8))
    with pytest.raises(error, match=name):
        decoder(data, tmp_path, **{name: value})


@pytest.mark.parametrize(
    "call, name, error",
    [
        (lambda path: vrk.encode(np.zeros((40, 40), np.uint16), bits_per_sample=17), "bits_per_sample", ValueError),
        (lambda path: vrk.encode(np.zeros((40, 40), np.uint16), bits_per_sample=12.0), "bits_per_sample", TypeError),
        (lambda path: vrk.compress_file(path / "a.pgm", overwrite="yes"), "overwrite", TypeError),
        (lambda path: vrk.restore_file(path / "a.vrk", overwrite=1), "overwrite", TypeError),
        (lambda path: vrk.compress_image(b"", "raw", width=2**40), "width", ValueError),
        (lambda path: vrk.compress_image(b"", "raw", width=40, height=1.5), "height", TypeError),
        (lambda path: vrk.compress_image(b"", "raw", width=40, bytes_per_pixel=4), "bytes_per_pixel", ValueError),
    ],
    ids=["bits-17", "bits-float", "compress-overwrite", "restore-overwrite", "raw-width", "raw-height", "raw-bytes"],
)
def test_other_arguments_are_checked_when_given(call, name, error, tmp_path):
    with pytest.raises(error, match=name):
        call(tmp_path)


def test_numpy_integers_and_bools_are_options_too():
    image = synthetic_image(3, (40, 44), 8)
    data = vrk.encode(image, loss_factor=np.int64(3), fast=np.True_, graphics=np.bool_(False), threads=np.uint8(1))
    assert data == vrk.encode(image, loss_factor=3, fast=True, graphics=False, threads=1)
    assert vrk.decode(data, max_pixels=np.int32(40 * 44), threads=np.int8(2)).shape == image.shape


def test_threads_reach_the_image_and_file_functions(tmp_path):
    pgm = pnm_bytes(synthetic_image(3, (300, 200), 12), 12)
    (tmp_path / "image.pgm").write_bytes(pgm)
    compressed = {threads: vrk.compress_image(pgm, "pgm", threads=threads) for threads in (1, 3)}
    assert compressed[1] == compressed[3]
    for threads in (1, 3):
        assert vrk.restore_image(compressed[1], threads=threads) == ("pgm", pgm)
        output = vrk.compress_file(tmp_path / "image.pgm", threads=threads, overwrite=True)
        assert open(output, "rb").read() == compressed[1]
        vrk.restore_file(output, threads=threads, overwrite=True)
        assert (tmp_path / "image.pgm").read_bytes() == pgm


@pytest.mark.slow
@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("shape, bits", [((520, 600, 3), 8), ((700, 480), 12)], ids=["rgb", "grey12"])
def test_thread_count_never_changes_the_result(mode, shape, bits):
    image = synthetic_image(9, shape, bits)
    loss_factor = 2
    encoded = {threads: vrk.encode(image, threads=threads, loss_factor=loss_factor, **mode) for threads in (0, 1, 2, 3, 8)}
    assert len(set(encoded.values())) == 1
    data = encoded[1]
    reference = vrk.decode(data, threads=1)
    for threads in (0, 2, 3, 8):
        np.testing.assert_array_equal(vrk.decode(data, threads=threads), reference)
        np.testing.assert_array_equal(vrk.decode(data, threads=threads, out=np.empty_like(reference)), reference)


class TestDecodeOut:
    @pytest.fixture(scope="class", params=[((40, 50), 8), ((40, 50, 3), 8), ((44, 36), 12)], ids=["grey8", "rgb", "grey12"])
    def encoded(self, request):
        shape, bits = request.param
        image = synthetic_image(4, shape, bits)
        return vrk.encode(image), image

    def test_fills_and_returns_out(self, encoded):
        data, image = encoded
        planes = np.empty(image.shape[:2] + (image.size // image.shape[0] // image.shape[1],), image.dtype)
        for out in (np.empty_like(image), planes):  # grey: (H, W, 1) too
            assert vrk.decode(data, out=out) is out
            np.testing.assert_array_equal(out, image.reshape(out.shape))

    def test_writes_only_the_view_it_is_given(self, encoded):
        data, image = encoded
        sentinel = np.iinfo(image.dtype).max
        canvas = np.full((image.shape[0] * 2 + 1, image.shape[1] + 7) + image.shape[2:], sentinel, image.dtype)
        view = canvas[1::2, 3 : 3 + image.shape[1]]
        vrk.decode(data, out=view)
        np.testing.assert_array_equal(view, image)
        untouched = np.ones(canvas.shape[:2], bool)
        untouched[1::2, 3 : 3 + image.shape[1]] = False
        assert (canvas[untouched] == sentinel).all()

    @pytest.mark.parametrize("layout", ["fortran", "reversed-columns", "unaligned"])
    def test_fills_views_the_library_cannot_write_in_place(self, encoded, layout):
        data, image = encoded
        out = {
            "fortran": lambda: np.zeros_like(image, order="F"),
            "reversed-columns": lambda: np.zeros_like(image)[:, ::-1],
            "unaligned": lambda: _unaligned(np.zeros_like(image)),
        }[layout]()
        assert vrk.decode(data, out=out) is out
        np.testing.assert_array_equal(out, image)

    def test_refuses_the_wrong_shape_dtype_or_a_read_only_array(self, encoded):
        data, image = encoded
        wrong_dtype = np.uint16 if image.dtype == np.uint8 else np.uint8
        read_only = np.empty_like(image)
        read_only.flags.writeable = False
        for out in (
            np.empty(image.shape[:1] + (image.shape[1] + 1,) + image.shape[2:], image.dtype),
            np.empty(image.shape, wrong_dtype),
            np.empty(image.size, image.dtype),
            read_only,
            bytearray(image.nbytes),
        ):
            with pytest.raises(ValueError):
                vrk.decode(data, out=out)


def test_every_bytes_like_input_decodes():
    image = synthetic_image(8, (40, 40), 8)
    data = vrk.encode(image)
    spread = np.zeros(len(data) * 2, np.uint8)
    spread[::2] = np.frombuffer(data, np.uint8)
    for source in (data, bytearray(data), memoryview(data), np.frombuffer(data, np.uint8), memoryview(spread)[::2]):
        np.testing.assert_array_equal(vrk.decode(source), image)
        assert vrk.inspect(source).shape == image.shape
    with pytest.raises(TypeError):
        vrk.decode(data.decode("latin-1"))


def _ran_during(call):
    """How often another Python thread ran while `call` ran.

    With a switch interval far longer than the test, a thread gives up the GIL only where it blocks
    or the C code releases it: the other thread can see `inside` set only if `call` released it.
    """
    inside = False
    seen = 0
    stop = threading.Event()

    def watch():
        nonlocal seen
        while not stop.is_set():
            seen += inside
            time.sleep(0)  # lets the GIL go, so the caller can finish

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        inside = True
        call()
        inside = False
    finally:
        stop.set()
        sys.setswitchinterval(interval)
        watcher.join()
    return seen


@pytest.mark.slow
@pytest.mark.parametrize("operation", ["encode", "decode"])
def test_coding_lets_other_python_threads_run(operation):
    image = synthetic_image(12, (1024, 1024, 3), 8)
    if operation == "encode":
        call = lambda: vrk.encode(image, threads=1)  # noqa: E731
    else:
        data = vrk.encode(image)
        call = lambda: vrk.decode(data, threads=1)  # noqa: E731
    assert _ran_during(call) > 0


# The names users write: the library's table, upper-cased.
ERROR_NAMES = [
    "OK",
    "UNSUPPORTED_IMAGE",
    "CANNOT_OPEN_INPUT",
    "CANNOT_OPEN_OUTPUT",
    "CANNOT_READ",
    "CANNOT_WRITE",
    "INVALID_COMPRESSED_FILE",
    "INVALID_DIMENSION",
    "INVALID_PARAMETERS",
    "INCORRECT_CRC",
    "IMAGE_TOO_LARGE",
    "CANNOT_CLOSE_IMAGE",
    "OUT_OF_MEMORY",
    "LIMIT_EXCEEDED",
    "OUTPUT_EXISTS",
    "INVALID_ARGUMENT",
    "BUFFER_TOO_SMALL",
]


class TestVrkError:
    def test_codes_and_messages_are_the_librarys(self):
        assert [(code.name, code.value) for code in vrk.ErrorCode] == list(zip(ERROR_NAMES, range(17)))
        assert str(vrk.VrkError(vrk.ErrorCode.INCORRECT_CRC)) == "Incorrect image CRC"
        assert str(vrk.VrkError(6)) == "Invalid compressed file"
        assert str(vrk.VrkError(13)) == "Image exceeds the decoding limit"
        assert vrk.VrkError(16).code is vrk.ErrorCode.BUFFER_TOO_SMALL

    def test_pickles_with_its_code_and_message(self):
        with pytest.raises(RuntimeError) as raised:  # as codec errors are
            vrk.decode(b"\xf4\x1b")
        error = raised.value
        copy = pickle.loads(pickle.dumps(error))
        assert type(copy) is vrk.VrkError
        assert copy.code == error.code == vrk.ErrorCode.CANNOT_READ
        assert str(copy) == str(error) == "Cannot read from file"
        assert pickle.loads(pickle.dumps(error.code)) is vrk.ErrorCode.CANNOT_READ

    def test_public_functions_pickle_by_reference(self):
        for name in vrk.__all__:
            value = getattr(vrk, name)
            assert pickle.loads(pickle.dumps(value)) is value


def test_version_is_the_librarys_and_the_distributions():
    assert vrk.__version__.count(".") == 2
    assert importlib.metadata.version("vrk") == vrk.__version__


class TestImagesInMemory:
    def test_raw_layout_defaults(self):
        samples = synthetic_image(6, (40, 40), 8).tobytes()
        square = vrk.compress_image(samples, "raw", width=40)
        assert square == vrk.compress_image(samples, "raw", width=40, height=40, bytes_per_pixel=1)
        assert vrk.inspect(square).format == "raw" and vrk.inspect(square).shape == (40, 40)
        assert vrk.restore_image(square) == ("raw", samples)

    @pytest.mark.parametrize(
        "format, options",
        [("png", {}), (3, {}), ("pgm", dict(width=40)), ("ppm", dict(bytes_per_pixel=3))],
        ids=["unknown-name", "number", "layout-for-pgm", "layout-for-ppm"],
    )
    def test_refuses_bad_arguments_with_value_error(self, format, options):
        with pytest.raises(ValueError):
            vrk.compress_image(pnm_bytes(np.zeros((40, 40), np.uint8)), format, **options)

    def test_refuses_an_unsupported_file_with_vrk_error(self):
        with pytest.raises(vrk.VrkError) as raised:
            vrk.compress_image(b"P3\n40 40\n255\n" + b"0 " * 1600, "pgm")
        assert raised.value.code == vrk.ErrorCode.UNSUPPORTED_IMAGE


class TestFiles:
    def test_compress_and_restore_like_the_command(self, vrk_binary, conformance_dir, tmp_path):
        name = "photo é.pgm"
        source = conformance_dir / "inputs" / "g8-photo.pgm"
        mine, theirs = tmp_path / "mine", tmp_path / "theirs"
        mine.mkdir(), theirs.mkdir()
        shutil.copy(source, mine / name)
        shutil.copy(source, theirs / name)
        run_vrk(vrk_binary, ["-f", name, "4"], theirs)

        output = vrk.compress_file(mine / name, fast=True, loss_factor=4)
        assert output == os.fspath(mine / "photo é.vrk")
        assert (mine / "photo é.vrk").read_bytes() == (theirs / "photo é.vrk").read_bytes()

        (mine / name).unlink()
        (theirs / name).unlink()
        run_vrk(vrk_binary, ["photo é.vrk"], theirs)
        assert vrk.restore_file(output) == os.fspath(mine / name)
        assert (mine / name).read_bytes() == (theirs / name).read_bytes()

    def test_existing_output_needs_overwrite(self, conformance_dir, tmp_path):
        shutil.copy(conformance_dir / "inputs" / "g8-shapes.pgm", tmp_path / "shapes.pgm")
        first = vrk.compress_file(tmp_path / "shapes.pgm")
        with pytest.raises(vrk.VrkError) as raised:
            vrk.compress_file(tmp_path / "shapes.pgm", graphics=True)
        assert raised.value.code == vrk.ErrorCode.OUTPUT_EXISTS
        assert not vrk.inspect((tmp_path / "shapes.vrk").read_bytes()).graphics
        vrk.compress_file(tmp_path / "shapes.pgm", graphics=True, overwrite=True)
        assert vrk.inspect((tmp_path / "shapes.vrk").read_bytes()).graphics

        with pytest.raises(vrk.VrkError) as raised:
            vrk.restore_file(first)
        assert raised.value.code == vrk.ErrorCode.OUTPUT_EXISTS
        original = (tmp_path / "shapes.pgm").read_bytes()
        vrk.restore_file(first, overwrite=True)
        assert (tmp_path / "shapes.pgm").read_bytes() == original

    def test_raw_layout_reaches_the_file(self, conformance_dir, tmp_path):
        shutil.copy(conformance_dir / "inputs" / "raw16.raw", tmp_path / "scan.raw")
        output = vrk.compress_file(tmp_path / "scan.raw", width=33, height=33, bytes_per_pixel=2, loss_factor=5)
        expected = (conformance_dir / "expected" / "raw16.n5.vrk").read_bytes()
        assert open(output, "rb").read() == expected

    def test_an_unsupported_file_is_a_vrk_error(self, tmp_path):
        (tmp_path / "image.png").write_bytes(b"\x89PNG")
        with pytest.raises(vrk.VrkError) as raised:
            vrk.compress_file(tmp_path / "image.png")
        assert raised.value.code == vrk.ErrorCode.UNSUPPORTED_IMAGE

    @pytest.mark.parametrize("function, name", [(vrk.compress_file, "missing.pgm"), (vrk.restore_file, "missing.vrk")])
    def test_a_missing_input_is_file_not_found(self, tmp_path, function, name):
        with pytest.raises(FileNotFoundError) as raised:
            function(tmp_path / name)
        error = raised.value
        assert error.errno == errno.ENOENT and error.filename == os.fspath(tmp_path / name)
        assert isinstance(error.__cause__, vrk.VrkError) and error.__cause__.code == vrk.ErrorCode.CANNOT_OPEN_INPUT


class TestCheck:
    DATA = vrk.encode(synthetic_image(1, (32, 32), 8))

    @staticmethod
    def _every_other_byte(data):
        spread = np.zeros(len(data) * 2, np.uint8)
        spread[::2] = np.frombuffer(data, np.uint8)
        return memoryview(spread)[::2]

    @pytest.mark.parametrize(
        "make, expected",
        [
            (lambda data: data, True),
            (lambda data: bytearray(data), True),
            (lambda data: memoryview(data), True),
            (lambda data: np.frombuffer(data[: len(data) // 2 * 2], np.uint16), True),
            (_every_other_byte.__func__, True),
            (lambda data: data[:2], True),
            (lambda data: data[:2] + b"\xff" * 10, True),  # damaged past the magic: check does not read on
            (lambda data: data[:1], False),
            (lambda data: b"", False),
            (lambda data: bytearray(), False),
            (lambda data: data[1::-1] + data[2:], False),
            (lambda data: b"\x89PNG\r\n\x1a\n", False),
            (lambda data: b"P5\n32 32\n255\n", False),
        ],
        ids=[
            "bytes", "bytearray", "memoryview", "uint16-array", "strided-view", "magic-alone", "damaged-after-magic",
            "one-byte", "empty", "empty-bytearray", "magic-reversed", "png", "pgm",
        ],
    )
    def test_says_whether_bytes_start_like_a_vrk_file(self, make, expected):
        assert vrk.check(make(self.DATA)) is expected

    @pytest.mark.parametrize("value", ["\xf4\x1b", 0xF41B, None], ids=["str", "int", "None"])
    def test_refuses_what_is_not_bytes_like(self, value):
        with pytest.raises(TypeError):
            vrk.check(value)


# A fresh interpreter makes or reads a large image and reports how far its peak resident memory rose
# above what it held just before the call, and the size of the call's result.
MEMORY_SCRIPT = textwrap.dedent(
    """
    import json, resource, sys
    import numpy as np
    import vrk

    def resident():
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * resource.getpagesize()

    operation, path, height, width = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    if operation == "encode":
        # 12-bit noise over a ramp, made a block of rows at a time (no image-sized temporaries).
        image = np.empty((height, width), np.uint16)
        rng = np.random.default_rng(20)
        ramp = (np.arange(width, dtype=np.uint16) * 3) % 2048
        for y in range(0, height, 256):
            rows = image[y : y + 256]
            rows[...] = rng.integers(0, 2048, size=rows.shape, dtype=np.uint16)
            rows += ramp
        before = resident()
        result = vrk.encode(image)
        size = len(result)
        open(path, "wb").write(result)
    else:
        data = open(path, "rb").read()
        before = resident()
        if operation == "decode":
            size = vrk.decode(data).nbytes
        else:
            size = len(vrk.restore_image(data)[1])
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print(json.dumps(dict(growth=peak - before, size=size)))
    """
)


@pytest.mark.slow
@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="reads the resident size from /proc")
def test_large_images_need_the_output_and_a_few_strips_beside_the_input(tmp_path):
    height, width = 4096, 8192  # 64 MiB of samples
    slack = 16 << 20
    path = tmp_path / "large.vrk"
    measured = {}
    for operation in ("encode", "decode", "restore_image"):
        result = subprocess.run(
            [sys.executable, "-c", MEMORY_SCRIPT, operation, str(path), str(height), str(width)],
            capture_output=True,
            timeout=300,
        )
        assert result.returncode == 0, result.stderr.decode()
        measured[operation] = json.loads(result.stdout)
    assert measured["decode"]["size"] == height * width * 2
    assert measured["restore_image"]["size"] == height * width * 2 + len(b"P5\n8192 4096\n4095\n")
    for operation, numbers in measured.items():
        # At least the output itself (so the measure sees the call), at most a few strips more.
        assert numbers["size"] * 0.9 < numbers["growth"] <= numbers["size"] + slack, (operation, measured)
