"""GDAL's Zarr driver with the vrk plugin, on zarr stores the Python codec writes.

Run with GDAL_DRIVER_PATH naming the folder of the built gdal_vrk.so and
PYTHONPATH the build tree's vrk package (CTest sets both).
"""

import json
import os
import shutil
import subprocess

import numpy as np
import pytest
import tifffile
import zarr

import vrk
from vrk.numcodecs import Vrk

# name: (dtype, largest sample, samples a pixel, codec, memory order). Frames of 40 x 48: a stack chunked one
# frame per chunk. An F-order chunk is stored as its transpose, which GDAL turns back itself.
STORES = {
    "grey8": (np.uint8, 255, 1, Vrk(graphics=True), "C"),
    "grey12": (np.uint16, 4095, 1, Vrk(fast=True, bits_per_sample=12), "C"),
    "grey16": (np.uint16, 65535, 1, Vrk(), "C"),
    "near8": (np.uint8, 255, 1, Vrk(graphics=True, loss_factor=2), "C"),
    "colour": (np.uint8, 255, 3, Vrk(fast=True), "C"),
    "fortran16": (np.uint16, 1023, 1, Vrk(), "F"),
}
GREY = [name for name, store in STORES.items() if store[2] == 1]
FRAMES, HEIGHT, WIDTH = 3, 40, 48


def make_frames(dtype, top, channels, seed):
    """Smooth ramps with noise, from a fixed seed: (FRAMES, HEIGHT, WIDTH), with a last axis for colour."""
    rng = np.random.default_rng(seed)
    y, x, c = np.mgrid[0:HEIGHT, 0:WIDTH, 0:channels]
    ramps = [(x * (i + 3) + y * 5 + c * 40) * (top // 200 + 1) for i in range(FRAMES)]
    frames = (np.stack(ramps) + rng.integers(0, 16, size=(FRAMES,) + x.shape)) % (top + 1)
    return (frames if channels == 3 else frames[..., 0]).astype(dtype)


@pytest.fixture(scope="module")
def stores(tmp_path_factory):
    """name: (path, frames as Python decodes them); lossless stores hold the frames exactly."""
    folder = tmp_path_factory.mktemp("stores")
    made = {}
    for seed, (name, (dtype, top, channels, codec, order)) in enumerate(STORES.items()):
        frames = make_frames(dtype, top, channels, seed)
        path = str(folder / f"{name}.zarr")
        chunks = (1, HEIGHT, WIDTH) + frames.shape[3:]
        array = zarr.open(path, mode="w", shape=frames.shape, chunks=chunks, dtype=dtype, compressor=codec, order=order)
        array[:] = frames
        decoded = zarr.open(path, mode="r")[:]
        assert np.array_equal(decoded, frames) == (codec.loss_factor == 0)
        made[name] = (path, decoded)
    return made


def gdal(*args, plugin=True):
    env = dict(os.environ)
    if not plugin:
        env["GDAL_DRIVER_PATH"] = os.devnull  # no folder: no plugins
    else:
        assert env.get("GDAL_DRIVER_PATH"), "GDAL_DRIVER_PATH must name the folder of gdal_vrk.so"
    return subprocess.run(args, capture_output=True, text=True, env=env, timeout=120)


def frame_name(path, index):
    """GDAL's name of one frame of the store's one array, as a 2-D raster."""
    return f'ZARR:"{path}":/{os.path.basename(path)[:-5]}:{index}'


def translate(path, index, output):
    return gdal("gdal_translate", "-q", "-of", "GTiff", frame_name(path, index), str(output))


@pytest.mark.parametrize("name", STORES)
def test_gdalmdiminfo_lists_and_decodes_the_array(stores, name):
    path, frames = stores[name]
    result = gdal("gdalmdiminfo", "-detailed", path)
    assert result.returncode == 0, result.stderr
    array = json.loads(result.stdout)["arrays"][name]
    assert array["datatype"] == {np.uint8: "Byte", np.uint16: "UInt16"}[frames.dtype.type]
    assert array["dimension_size"] == list(frames.shape)
    assert array["block_size"] == [1, HEIGHT, WIDTH] + list(frames.shape[3:])
    assert np.array_equal(np.array(array["values"]), frames)  # every chunk, decoded by the plugin as by Python


def test_without_the_plugin_gdal_names_the_missing_codec(stores):
    result = gdal("gdalmdiminfo", stores["grey8"][0], plugin=False)
    assert result.returncode != 0
    assert "vrk" in result.stderr


@pytest.mark.parametrize("name", GREY)
def test_gdal_translate_gives_a_frame_as_geotiff(stores, name, tmp_path):
    path, frames = stores[name]
    for index in (0, FRAMES - 1):
        output = tmp_path / f"{name}-{index}.tif"
        result = translate(path, index, output)
        assert result.returncode == 0, result.stderr
        image = tifffile.imread(output)
        assert image.dtype == frames.dtype and np.array_equal(image, frames[index])


def test_writing_through_gdal_is_refused_with_a_reason(stores, tmp_path):
    """GDAL's Zarr driver gives a compressor no chunk shape, so the plugin cannot write vrk chunks."""
    path, _ = stores["grey12"]
    output = tmp_path / "written.zarr"
    result = gdal("gdalmdimtranslate", "-q", "-of", "Zarr", "-co", "ARRAY:COMPRESS=vrk", path, str(output))
    assert "vrk: cannot compress a chunk without its shape" in result.stderr
    assert "vrk.numcodecs.Vrk" in result.stderr
    # The metadata GDAL wrote names a codec Python can build (loss_factor alone: GDAL would store the
    # flags as "YES" or "NO"); the chunk GDAL tried to write is left empty, which Python refuses.
    written = zarr.open(str(output / "grey12"), mode="r")
    assert written.compressor.get_config() == Vrk().get_config()
    with pytest.raises(vrk.VrkError):
        written[0]


def cut(data):
    return data[: len(data) // 2]


def changed(data):
    damaged = bytearray(data)
    damaged[len(damaged) // 2] ^= 0x5A
    return bytes(damaged)


# (damage, what GDAL reports): an empty chunk file GDAL refuses itself, before any codec sees it.
DAMAGES = {
    "cut": (cut, "vrk: cannot decode the chunk"),
    "changed": (changed, "vrk: cannot decode the chunk"),
    "header-only": (lambda data: data[:12], "vrk: cannot decode the chunk"),
    "empty": (lambda data: b"", "Could not read tile"),
}


@pytest.mark.parametrize("damage, message", DAMAGES.values(), ids=DAMAGES.keys())
def test_a_damaged_chunk_is_a_gdal_error_and_the_others_still_read(stores, tmp_path, damage, message):
    source, frames = stores["grey16"]
    path = str(tmp_path / "grey16.zarr")
    shutil.copytree(source, path)
    chunk = os.path.join(path, "1.0.0")
    with open(chunk, "rb") as file:
        data = file.read()
    with open(chunk, "wb") as file:
        file.write(damage(data))

    result = translate(path, 1, tmp_path / "damaged.tif")
    assert result.returncode != 0
    assert "ERROR" in result.stderr and message in result.stderr, result.stderr
    for index in (0, 2):
        output = tmp_path / f"intact-{index}.tif"
        result = translate(path, index, output)
        assert result.returncode == 0, result.stderr
        assert np.array_equal(tifffile.imread(output), frames[index])
