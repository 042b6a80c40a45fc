"""vrk.encode / decode / inspect / compress_file / restore_file, against the vrk command."""

import dataclasses
import importlib.metadata
import os
import pickle
import shutil
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
        (np.zeros((40, 40), np.uint8), dict(loss_factor=13), vrk.ErrorCode.INVALID_PARAMETERS),
        (np.zeros((40, 40), np.uint8), dict(loss_factor=-1), vrk.ErrorCode.INVALID_PARAMETERS),
        (np.zeros((40, 40), np.uint8), dict(threads=-1), vrk.ErrorCode.INVALID_ARGUMENT),
    ],
    ids=["too-few-rows", "too-few-columns", "empty", "sample-above-depth", "loss-13", "loss-negative", "threads-negative"],
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


def test_max_pixels_limits_width_times_height():
    image = synthetic_image(2, (48, 64), 8)
    data = vrk.encode(image)
    np.testing.assert_array_equal(vrk.decode(data, max_pixels=48 * 64), image)
    np.testing.assert_array_equal(vrk.decode(data, max_pixels=None), image)
    for out in (None, np.empty_like(image)):
        with pytest.raises(vrk.VrkError) as raised:
            vrk.decode(data, max_pixels=48 * 64 - 1, out=out)
        assert raised.value.code == vrk.ErrorCode.LIMIT_EXCEEDED
    with pytest.raises(ValueError):
        vrk.decode(data, max_pixels=0)


def test_default_limit_refuses_a_huge_declared_image_before_allocating():
    data = bytearray(vrk.encode(synthetic_image(2, (40, 40, 3), 8)))
    data[4:8] = b"\xff\xff\xff\xff"  # 65535 x 65535 colour: 12 GiB of samples
    assert vrk.inspect(data).shape == (65535, 65535, 3)
    started = time.monotonic()
    with pytest.raises(vrk.VrkError) as raised:
        vrk.decode(data)
    assert raised.value.code == vrk.ErrorCode.LIMIT_EXCEEDED
    assert time.monotonic() - started < 5


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
        out = np.empty_like(image)
        assert vrk.decode(data, out=out) is out
        np.testing.assert_array_equal(out, image)

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


def _calls_inside(call):
    """Runs `call` while another Python thread counts; returns how often it counted in the call's middle half."""
    stamps = []
    stop = threading.Event()

    def count():
        while not stop.is_set():
            for _ in range(1000):
                pass
            stamps.append(time.perf_counter())

    counter = threading.Thread(target=count)
    counter.start()
    try:
        time.sleep(0.05)
        started = time.perf_counter()
        call()
        finished = time.perf_counter()
    finally:
        stop.set()
        counter.join()
    quarter = (finished - started) / 4
    assert finished - started > 0.05, "the call was too short to tell"
    return sum(started + quarter < stamp < finished - quarter for stamp in stamps)


@pytest.mark.slow
@pytest.mark.parametrize("operation", ["encode", "decode"])
def test_coding_lets_other_python_threads_run(operation):
    image = synthetic_image(12, (1024, 1024, 3), 8)
    if operation == "encode":
        call = lambda: vrk.encode(image, threads=1)  # noqa: E731
    else:
        data = vrk.encode(image)
        call = lambda: vrk.decode(data, threads=1)  # noqa: E731
    assert _calls_inside(call) >= 10


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
        with pytest.raises(vrk.VrkError) as raised:
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

    @pytest.mark.parametrize(
        "name, code",
        [("missing.pgm", vrk.ErrorCode.CANNOT_OPEN_INPUT), ("image.png", vrk.ErrorCode.UNSUPPORTED_IMAGE)],
    )
    def test_failures_are_vrk_errors(self, tmp_path, name, code):
        (tmp_path / "image.png").write_bytes(b"\x89PNG")
        with pytest.raises(vrk.VrkError) as raised:
            vrk.compress_file(tmp_path / name)
        assert raised.value.code == code
