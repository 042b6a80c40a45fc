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
    "g12-photo.pgm": ([], "I;16"),
    "g16-noise.pgm": ([], "I;16"),
    "raw16.raw": (["33", "33", "2", "0"], "I;16"),
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

    # What the file restoring gives shows: for Sun rasters Pillow's own reader
    # says so (blue-green-red pixels, the colour map); for PNM files, the
    # samples after the header (Pillow's reader takes a CRLF header end for
    # a CR and a first pixel).
    restored = tmp_path / "restored" / name
    restored.parent.mkdir()
    restored.write_bytes(vrk.restore_image(data)[1])

    with Image.open(compressed) as image:
        assert (image.format, image.mode, image.size) == ("VRK", mode, (info.width, info.height))
        assert image.info["loss_factor"] == info.loss_factor
        shown = np.asarray(image)
        if original.suffix == ".ras":
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
    assert data == vrk.encode(samples.astype(np.uint16) if mode == "I" else samples, **options)
    with Image.open(tmp_path / "saved.vrk") as reopened:
        assert reopened.mode == ("I;16" if mode == "I" else mode)
        error = np.abs(np.asarray(reopened).astype(np.int64) - samples.astype(np.int64))
        assert error.max() <= options.get("loss_factor", 0)


def test_save_options_bits_per_sample_and_threads(tmp_path):
    image = _image_of_mode("I;16")
    image.save(tmp_path / "deep.vrk", bits_per_sample=16, threads=2)
    assert vrk.inspect((tmp_path / "deep.vrk").read_bytes()).bits_per_sample == 16


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


def test_damaged_pixels_raise_vrk_error_on_load(tmp_path):
    data = vrk.encode(synthetic_image(4, (40, 40), 8))
    (tmp_path / "cut.vrk").write_bytes(data[: len(data) // 2])
    with Image.open(tmp_path / "cut.vrk") as image:
        assert image.size == (40, 40)
        with pytest.raises(vrk.VrkError):
            image.load()


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


DAMAGED_HEADERS = {
    "bad-format-byte": lambda data: data[:2] + b"\xff" + data[3:],  # no such format or depth
    "bad-magic": lambda data: b"\xf5" + data[1:],
    "cut-in-the-image-header": lambda data: data[:16],
    "cut-in-the-container-header": lambda data: data[:7],
}


@pytest.mark.parametrize("change", DAMAGED_HEADERS.values(), ids=list(DAMAGED_HEADERS))
def test_a_damaged_header_is_not_recognised(change, tmp_path):
    (tmp_path / "bad.vrk").write_bytes(change(vrk.encode(synthetic_image(4, (40, 40), 8))))
    with pytest.raises(UnidentifiedImageError):
        Image.open(tmp_path / "bad.vrk")
