"""Every conformance vector (tests/data/conformance/cases.tsv), through every way in and out of the package.

A row gives an input image file, the vrk command line that compressed it, the
compressed file it made, and the image file that restoring gives back.
"""

import os
import pathlib
import shutil

import numpy as np
import pytest

import vrk

FORMATS = {".pgm": "pgm", ".ppm": "ppm", ".ras": "sun_raster", ".raw": "raw"}


def _cases():
    directory = pathlib.Path(os.environ.get("VRK_CONFORMANCE_DIR", "."))
    table = directory / "cases.tsv"
    if not table.exists():
        return [pytest.param(None, marks=pytest.mark.skip(reason=f"no conformance table at {table}"))]
    rows = table.read_text().splitlines()[1:]
    cases = []
    for row in rows:
        input_name, command, compressed, decoded = row.split("\t")
        words = command.split()[1:]
        switch = words.pop(0)[1:] if words[0].startswith("-") else ""
        name, numbers = words[0], [int(word) for word in words[1:]]
        case = dict(
            input=directory / input_name,
            compressed=directory / compressed,
            decoded=directory / input_name if decoded.startswith("(") else directory / decoded,
            format=FORMATS[pathlib.Path(name).suffix],
            fast="f" in switch,
            graphics="g" in switch,
            layout={},
        )
        if case["format"] == "raw":
            width, height, bytes_per_pixel, loss_factor = numbers
            case["layout"] = dict(width=width, height=height, bytes_per_pixel=bytes_per_pixel)
        else:
            loss_factor = numbers[0] if numbers else 0
        case["loss_factor"] = loss_factor
        cases.append(pytest.param(case, id=pathlib.Path(compressed).name))
    return cases


CASES = _cases()


@pytest.mark.parametrize("case", CASES)
def test_compress_image_gives_the_vector(case):
    compressed = vrk.compress_image(
        case["input"].read_bytes(),
        case["format"],
        fast=case["fast"],
        graphics=case["graphics"],
        loss_factor=case["loss_factor"],
        **case["layout"],
    )
    assert compressed == case["compressed"].read_bytes()


@pytest.mark.parametrize("case", CASES)
def test_restore_image_gives_the_vectors_image(case):
    assert vrk.restore_image(case["compressed"].read_bytes()) == (case["format"], case["decoded"].read_bytes())


@pytest.mark.parametrize("case", CASES)
def test_inspect_and_decode_read_the_vector(case):
    data = case["compressed"].read_bytes()
    restored = case["decoded"].read_bytes()
    info = vrk.inspect(data)
    assert (info.format, info.fast, info.graphics, info.loss_factor) == (
        case["format"],
        case["fast"],
        case["graphics"],
        case["loss_factor"],
    )
    assert restored.startswith(info.header)
    if case["format"] == "raw":
        assert info.header == b""
        assert (info.width, info.height, info.bytes_per_sample * info.channels) == tuple(case["layout"].values())
    if case["format"] in ("pgm", "ppm"):
        maxval = int(restored[: len(info.header)].split(b"\n")[-2].split()[-1])
        assert info.bits_per_sample == max(8, maxval.bit_length())

    file_samples = np.frombuffer(restored[len(info.header) :], np.uint8 if info.bytes_per_sample == 1 else ">u2")
    expected = file_samples.reshape(info.shape)
    decoded = vrk.decode(data)
    assert decoded.dtype == info.dtype
    np.testing.assert_array_equal(decoded, expected)
    into = np.empty(info.shape, info.dtype)
    vrk.decode(data, out=into)
    np.testing.assert_array_equal(into, expected)


@pytest.mark.parametrize("case", CASES)
def test_compress_file_and_restore_file_give_the_vectors(case, tmp_path):
    name = "image" + case["input"].suffix
    shutil.copy(case["input"], tmp_path / name)
    output = vrk.compress_file(
        tmp_path / name,
        fast=case["fast"],
        graphics=case["graphics"],
        loss_factor=case["loss_factor"],
        **case["layout"],
    )
    assert pathlib.Path(output).read_bytes() == case["compressed"].read_bytes()
    (tmp_path / name).unlink()
    assert vrk.restore_file(output) == os.fspath(tmp_path / name)
    assert (tmp_path / name).read_bytes() == case["decoded"].read_bytes()
