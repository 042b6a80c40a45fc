"""vrk.pillow: opening .vrk files made by the vrk command, and saving."""

import io
import shutil
import struct

import numpy as np
import pytest
from PIL import Image, UnidentifiedImageError

import vrk
import vrk.pillow  # noqa: F401  (registers the plugin)
from conftest import run_vrk, synthetic_image

# (input in tests/data/conformance/inputs, vrk command arguments after the name, mode shown)
OPENED = {
    "g8-photo.pgm": ([], "L"),
    "g8-comment-crlf.pgm": (["5"], "L"),
    "rgb-photo.ppm": ([], "RGB"),
    "ras24.ras": ([], "RGB"),
    "ras8-cmap.ras": ([], "P"),
    "g12-photo.pgm": ([], "I"),
    "g16-noise.pgm": ([], "I"),
    "raw16.raw": (["33", "33", "2", "0"], "I"),
}


@pytest.mark.parametrize("name", OPENED)
def test_opens_what_the_command_made_as_the_original_showed(name, vrk_binary, conformance_dir, tmp_path):
    arguments, mode = OPENED[name]
    original = conformance_dir / "inputs" / name
    shutil.copy(original, tmp_path / name)
    run_vrk(vrk_binary, [name, *arguments], tmp_path)
    compressed = tmp_path / (original.stem + ".vrk")
    data = compressed.read_bytes()
    info = vrk.inspect(data)

    # What the file restoring gives shows, as Pillow's own reader shows it
    # (blue-green-red pixels, the colour map, PGM samples scaled to their
    # mode's range); but Pillow's reader takes a CRLF header end for a CR and
    # a first pixel, and has none for raw samples: there, the samples after
    # the header (all 16 bits of raw16, so unscaled).
    restored = tmp_path / "restored" / name
    restored.parent.mkdir()
    restored.write_bytes(vrk.restore_image(data)[1])

    with Image.open(compressed) as image:
        assert (image.format, image.mode, image.size) == ("VRK", mode, (info.width, info.height))
        assert image.info["loss_factor"] == info.loss_factor
        shown = np.asarray(image)
        if original.suffix != ".raw" and not info.header.endswith(b"\r\n"):
            with Image.open(restored) as reference:
                assert reference.mode == mode
                np.testing.assert_array_equal(shown, np.asarray(reference))
                if mode == "P":
                    assert image.getpalette() == reference.getpalette()
                    np.testing.assert_array_equal(np.asarray(image.convert("RGB")), np.asarray(reference.convert("RGB")))
        else:
            dtype = np.uint8 if mode in ("L", "RGB") else ">u2"
            stored = np.frombuffer(restored.read_bytes()[len(info.header) :], dtype).reshape(shown.shape)
            np.testing.assert_array_equal(shown, stored)


def _pnm(samples, maxval):
    """The PGM or PPM file of `samples` with the given maxval."""
    magic = b"P6" if samples.ndim == 3 else b"P5"
    body = samples.astype(np.uint8 if maxval < 256 else ">u2").tobytes()
    return magic + b"\n%d %d\n%d\n" % (samples.shape[1], samples.shape[0], maxval) + body


@pytest.mark.parametrize(
    "shape, maxval, options",
    [
        ((41, 35), 4095, {}),
        ((40, 36), 4095, dict(loss_factor=5)),
        ((36, 40), 1000, dict(graphics=True, loss_factor=3)),
        ((33, 40), 511, {}),
        ((40, 33), 300, dict(fast=True, loss_factor=2)),
        ((40, 40), 65535, {}),
        ((40, 36), 200, dict(loss_factor=4)),
        ((36, 40, 3), 100, dict(graphics=True, loss_factor=2)),
    ],
    ids=["12-bit", "12-bit-lossy", "maxval-1000-near", "9-bit", "maxval-300-fast-lossy", "16-bit", "maxval-200", "rgb-maxval-100"],
)
def test_pnm_files_show_as_pillows_reader_shows_them(shape, maxval, options):
    # Samples up to maxval (a lossy file may also hold a few above it, which Pillow clips).
    bits = max(8, maxval.bit_length())
    samples = synthetic_image(maxval, shape, bits).astype(np.int64) * maxval // ((1 << bits) - 1)
    data = vrk.compress_image(_pnm(samples, maxval), "ppm" if len(shape) == 3 else "pgm", **options)
    with Image.open(io.BytesIO(data)) as image, Image.open(io.BytesIO(vrk.restore_image(data)[1])) as reference:
        assert (image.mode, image.size) == (reference.mode, reference.size)
        np.testing.assert_array_equal(np.asarray(image), np.asarray(reference))
        if maxval > 255:
            assert image.mode == "I" and np.asarray(image).max() > 60000  # the full range, not the raw samples


@pytest.mark.parametrize("arguments", [[], ["-g", "2"]], ids=["lossless", "graphics-near"])
def test_a_24_bit_sun_raster_shows_red_green_blue(arguments, vrk_binary, tmp_path):
    # The conformance raster has blue equal to red; this one's channels all differ.
    rgb = synthetic_image(6, (40, 46, 3), 8)
    header = struct.pack(">8I", 0x59A66A95, 46, 40, 24, rgb.nbytes, 1, 0, 0)
    (tmp_path / "colour.ras").write_bytes(header + rgb[:, :, ::-1].tobytes())
    run_vrk(vrk_binary, [*arguments[:1], "colour.ras", *arguments[1:]], tmp_path)
    with Image.open(tmp_path / "colour.vrk") as image:
        assert image.mode == "RGB"
        error = np.abs(np.asarray(image).astype(int) - rgb.astype(int))
        assert error.max() <= (int(arguments[1]) if arguments else 0)


def _image_of_mode(mode):
    if mode == "RGB":
        return Image.fromarray(synthetic_image(1, (40, 44, 3), 8), "RGB")
    if mode == "L":
        return Image.fromarray(synthetic_image(2, (40, 44), 8), "L")
    samples = synthetic_image(3, (40, 44), 12)
    if mode == "I;16":
        return Image.fromarray(samples, "I;16")
    return Image.fromarray(samples.astype(np.int32), "I")


@pytest.mark.parametrize("mode", ["L", "RGB", "I;16", "I"])
@pytest.mark.parametrize(
    "options", [dict(), dict(fast=True, graphics=True, loss_factor=2)], ids=["lossless", "fast-graphics-near"]
)
def test_save_writes_what_encode_writes(mode, options, tmp_path):
    image = _image_of_mode(mode)
    samples = np.asarray(image)
    image.save(tmp_path / "saved.vrk", **options)
    data = (tmp_path / "saved.vrk").read_bytes()
    wide = mode in ("I", "I;16")  # 16 bits, the values as they are: as Pillow's PGM writer keeps them
    assert data == vrk.encode(samples.astype(np.uint16) if wide else samples, bits_per_sample=16 if wide else None, **options)
    with Image.open(tmp_path / "saved.vrk") as reopened:
        assert reopened.mode == ("I" if wide else mode)
        error = np.abs(np.asarray(reopened).astype(np.int64) - samples.astype(np.int64))
        assert error.max() <= options.get("loss_factor", 0)


@pytest.mark.parametrize("bits", [9, 12, 15])
def test_saving_at_the_files_depth_gives_its_samples_back(bits, tmp_path):
    samples = synthetic_image(bits, (40, 44), bits)
    data = vrk.encode(samples)
    with Image.open(io.BytesIO(data)) as opened:
        assert opened.info["bits_per_sample"] == bits
        opened.save(tmp_path / "same.vrk", bits_per_sample=opened.info["bits_per_sample"], threads=2)
        opened.save(tmp_path / "wide.vrk")
        shown = np.asarray(opened)
    assert (tmp_path / "same.vrk").read_bytes() == data
    assert vrk.inspect((tmp_path / "wide.vrk").read_bytes()).bits_per_sample == 16
    with Image.open(tmp_path / "wide.vrk") as reopened:
        np.testing.assert_array_equal(np.asarray(reopened), shown)


@pytest.mark.parametrize(
    "image, error",
    [
        (Image.fromarray(np.full((40, 40), 70000, np.int32), "I"), ValueError),
        (Image.fromarray(np.full((40, 40), -1, np.int32), "I"), ValueError),
        (Image.new("P", (40, 40)), OSError),
        (Image.new("CMYK", (40, 40)), OSError),
    ],
    ids=["I-above-65535", "I-negative", "P", "CMYK"],
)
def test_save_refuses_what_it_cannot_store(image, error, tmp_path):
    with pytest.raises(error):
        image.save(tmp_path / "refused.vrk")


@pytest.mark.parametrize(
    "mode, options, error",
    [
        ("L", dict(quality=90), ValueError),
        ("RGB", dict(lossless=True), ValueError),
        ("L", dict(optimize=True, loss_factor=1), ValueError),
        ("L", dict(loss_factor=20), ValueError),
        ("L", dict(fast="no"), TypeError),
        ("L", dict(bits_per_sample=12), ValueError),
        ("I", dict(bits_per_sample=8), ValueError),
        ("I;16", dict(threads=-1), ValueError),
    ],
    ids=["quality", "lossless", "optimize", "loss-20", "fast-str", "bits-for-L", "bits-8-for-I", "threads-negative"],
)
def test_save_refuses_options_it_does_not_take(mode, options, error, tmp_path):
    with pytest.raises(error, match=next(iter(options))):
        _image_of_mode(mode).save(tmp_path / "refused.vrk", **options)
    assert not (tmp_path / "refused.vrk").exists()


def _cut_pixels(data):
    return data[: len(data) // 2]


def _wrong_crc(data):
    return data[:-1] + bytes([data[-1] ^ 0x01])


@pytest.mark.parametrize("damage", [_cut_pixels, _wrong_crc], ids=["cut", "wrong-crc"])
def test_damaged_pixels_raise_os_error_on_load_and_verify(damage, tmp_path):
    data = vrk.encode(synthetic_image(4, (40, 40), 8))
    (tmp_path / "good.vrk").write_bytes(data)
    (tmp_path / "bad.vrk").write_bytes(damage(data))
    with Image.open(tmp_path / "good.vrk") as image:
        image.verify()
    for check in ("load", "verify"):
        with Image.open(tmp_path / "bad.vrk") as image:
            assert image.size == (40, 40)
            with pytest.raises(OSError) as raised:
                getattr(image, check)()
        assert isinstance(raised.value.__cause__, vrk.VrkError), check


class _ShortReads(io.BytesIO):
    """A stream that hands out a few bytes a read, as a pipe or socket may."""

    def read(self, size=-1):
        return super().read(size if size is None or size < 0 else min(size, 7))


@pytest.mark.parametrize("stream", [io.BytesIO, _ShortReads], ids=["whole-reads", "short-reads"])
def test_opens_a_header_longer_than_one_read(stream):
    samples = synthetic_image(5, (40, 36), 8)
    comment = b"#" + b"c" * 10000 + b"\n"
    data = vrk.compress_image(b"P5\n" + comment + b"36 40\n255\n" + samples.tobytes(), "pgm")
    assert len(vrk.inspect(data).header) > 10000
    with Image.open(stream(data)) as image:
        assert (image.format, image.mode, image.size) == ("VRK", "L", (36, 40))
        np.testing.assert_array_equal(np.asarray(image), samples)


def test_what_is_no_vrk_file_is_not_recognised(tmp_path):
    data = vrk.encode(synthetic_image(4, (40, 40), 8))
    (tmp_path / "bad.vrk").write_bytes(b"\xf5" + data[1:])
    with pytest.raises(UnidentifiedImageError):
        Image.open(tmp_path / "bad.vrk")


DAMAGED_HEADERS = {
    "bad-format-byte": lambda data: data[:2] + b"\xff" + data[3:],  # no such format or depth
    "cut-in-the-image-header": lambda data: data[:16],
    "cut-in-the-container-header": lambda data: data[:7],
}


@pytest.mark.parametrize("change", DAMAGED_HEADERS.values(), ids=list(DAMAGED_HEADERS))
def test_a_damaged_header_raises_os_error_on_open(change, tmp_path):
    (tmp_path / "bad.vrk").write_bytes(change(vrk.encode(synthetic_image(4, (40, 40), 8))))
    with pytest.raises(OSError) as raised:
        Image.open(tmp_path / "bad.vrk")
    assert isinstance(raised.value.__cause__, vrk.VrkError)
