"""vrk.hdf5: the HDF5 filter plugin through h5py, found by importing vrk.hdf5."""

import os
import pathlib
import shutil
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import vrk
from conftest import synthetic_image

h5py = pytest.importorskip("h5py")
vrk_hdf5 = pytest.importorskip("vrk.hdf5")

if vrk_hdf5.plugin_dir is None or not h5py.h5z.filter_avail(vrk_hdf5.FILTER_ID):
    pytest.skip("the HDF5 plugin is not built (VRK_HDF5=OFF)", allow_module_level=True)

FLOWER = pathlib.Path("/usr/share/libjxl-testdata/jxl/flower/flower.pgm")


def stack(seed, frames, shape, bits):
    """`frames` synthetic images of `shape` (H, W) or (H, W, 3), stacked."""
    return np.stack([synthetic_image(seed + i, shape, bits) for i in range(frames)])


def signed(image, bits):
    """`image` (0 .. 2**bits - 1) shifted to the signed range of `bits`, as int8 or int16."""
    return (image.astype(np.int32) - (1 << (bits - 1))).astype(np.int8 if bits == 8 else np.int16)


@pytest.fixture
def h5file(tmp_path):
    # No chunk cache: every write codes its chunks and every read decodes them, then and there.
    with h5py.File(tmp_path / "test.h5", "w", rdcc_nbytes=0) as file:
        yield file


def read_pgm(path):
    data = path.read_bytes()
    magic, width, height, maxval, pixels = data.split(maxsplit=4)
    assert magic == b"P5" and int(maxval) == 255
    return np.frombuffer(pixels, np.uint8).reshape(int(height), int(width))


@pytest.mark.parametrize(
    "make, chunks, options",
    [
        (lambda: stack(1, 4, (40, 48), 8), (2, 40, 48), {}),
        (lambda: stack(2, 5, (64, 50), 12), (2, 64, 50), dict(bits=12, fast=True)),
        (lambda: stack(3, 3, (36, 40), 16), (3, 36, 40), dict(graphics=True)),
        (lambda: stack(4, 3, (36, 40), 16).astype(">u2"), (1, 36, 40), {}),
        (lambda: signed(stack(5, 3, (36, 40), 16), 16), (1, 36, 40), {}),
        (lambda: signed(stack(6, 2, (36, 40), 12), 12), (1, 36, 40), dict(bits=12)),
        (lambda: signed(stack(7, 2, (36, 40), 8), 8), (1, 36, 40), {}),
        (lambda: stack(8, 3, (40, 50, 3), 8), (1, 40, 50, 3), dict(colour=True)),
        (lambda: synthetic_image(9, (100, 90, 3), 8), (64, 64, 3), dict(colour=True, fast=True)),
    ],
    ids=["u8", "u16-12bit-edge", "u16-graphics", "u16-big-endian", "i16", "i16-12bit", "i8", "colour", "colour-edges"],
)
def test_lossless_round_trips(h5file, make, chunks, options):
    data = make()
    h5file.create_dataset("data", data=data, chunks=chunks, **vrk_hdf5.Vrk(**options))
    h5file.flush()
    dataset = h5file["data"]
    filter_id, flags, values, _ = dataset.id.get_create_plist().get_filter(0)
    assert filter_id == vrk_hdf5.FILTER_ID and flags == 0  # made mandatory when created
    assert len(values) == 13 and values[11] == (data.dtype.kind == "i")
    back = dataset[...]
    assert back.dtype == data.dtype and np.array_equal(back, data)
    # Extreme values of the type survive the signed and byte-order mappings.
    if data.dtype.kind == "i" and data.dtype.itemsize == 2 and "bits" not in options:
        assert data.min() == -32768 and data.max() == 32767


@pytest.mark.skipif(not FLOWER.exists(), reason="libjxl-testdata is not installed")
def test_photograph_in_padded_edge_chunks_is_lossless_and_smaller(h5file):
    flower = read_pgm(FLOWER)  # 1512 x 2268: chunks of 1000 x 1000 leave edge chunks on both axes
    dataset = h5file.create_dataset("flower", data=flower, chunks=(1000, 1000), **vrk_hdf5.Vrk(fast=True))
    h5file.flush()
    assert np.array_equal(dataset[...], flower)
    assert dataset.id.get_storage_size() < flower.nbytes * 0.5


@pytest.mark.parametrize("loss_factor", [1, 4])
def test_near_lossless_keeps_every_sample_within_the_loss_factor(h5file, loss_factor):
    data = signed(stack(11, 4, (48, 64), 12), 12)
    dataset = h5file.create_dataset(
        "data", data=data, chunks=(2, 48, 64), **vrk_hdf5.Vrk(loss_factor=loss_factor, graphics=True, bits=12)
    )
    h5file.flush()
    error = np.abs(dataset[...].astype(np.int32) - data)
    assert error.max() <= loss_factor and error.max() > 0


def test_partial_writes_and_reads_across_chunk_edges(h5file):
    # 3 frames of 70 x 90 in chunks of 2 x 40 x 48 (80 x 48 images): edge chunks on every axis.
    shape, chunks = (3, 70, 90), (2, 40, 48)
    mirror = np.zeros(shape, np.uint16)
    dataset = h5file.create_dataset("data", shape=shape, dtype=np.uint16, chunks=chunks, **vrk_hdf5.Vrk())
    rng = np.random.default_rng(12)
    windows = [np.s_[0:2, 30:50, 40:60], np.s_[1:3, 0:70, 45:90], np.s_[2, 39:41, :], np.s_[:, 5, 47:49]]
    for window in windows:
        values = rng.integers(0, 65536, size=mirror[window].shape, dtype=np.uint16)
        dataset[window] = values
        mirror[window] = values
    h5file.flush()
    assert np.array_equal(dataset[...], mirror)
    for window in windows + [np.s_[1, 35:45, 40:56], np.s_[2:, 60:, 80:]]:
        assert np.array_equal(dataset[window], mirror[window])


def test_samples_beyond_the_coded_bits_fail_the_write(h5file):
    dataset = h5file.create_dataset("data", shape=(64, 64), dtype=np.uint16, chunks=(64, 64), **vrk_hdf5.Vrk(bits=10))
    dataset[:] = 1023
    with pytest.raises(OSError, match="a sample outside the 10 bits"):
        dataset[0, 0] = 1024
    assert np.all(dataset[...] == 1023)  # the chunk as it was


@pytest.mark.parametrize(
    "dtype, chunks, options, message",
    [
        (np.float32, (64, 64), {}, "floating-point numbers"),
        (np.int32, (64, 64), {}, "32-bit integers"),
        (np.uint64, (64, 64), {}, "64-bit integers"),
        (np.dtype([("a", np.uint8), ("b", np.uint8)]), (64, 64), {}, "compound elements"),
        (np.uint8, (64, 31), {}, "width is 31"),
        (np.uint8, (1, 64, 70000), {}, "width is 70000"),
        (np.uint16, (2, 8, 64), {}, r"stacked height \(its rows\) is 16"),
        (np.uint8, (64,), {}, "stacked height"),
        (np.uint16, (64, 64, 3), dict(colour=True), "colour is for 8-bit elements only"),
        (np.uint8, (64, 64, 4), dict(colour=True), "dimension of 3"),
        (np.uint16, (64, 64), dict(bits=8), "9 to 16"),
        (np.uint8, (64, 64), dict(bits=12), "coded with 8 bits"),
    ],
    ids=[
        "float32",
        "int32",
        "uint64",
        "compound",
        "narrow",
        "wide",
        "short-stack",
        "one-dimension",
        "colour-16bit",
        "colour-4-channels",
        "bits-8-for-16",
        "bits-12-for-8",
    ],
)
def test_creation_refuses_what_the_filter_cannot_code(h5file, dtype, chunks, options, message):
    # h5py adds the filter as optional, which HDF5 would skip silently: creation must fail instead.
    shape = tuple(max(side, 1) for side in chunks)
    with pytest.raises(ValueError, match="vrk: .*" + message):
        h5file.create_dataset("data", shape=shape, dtype=dtype, chunks=chunks, **vrk_hdf5.Vrk(**options))
    assert "data" not in h5file


def test_cd_values_given_by_hand_are_checked_and_completed(h5file):
    # As another program (or h5repack) would give them: without vrk.hdf5.Vrk's checks.
    def create(name, values, data=None):
        image = synthetic_image(13, (64, 64)) if data is None else data
        return h5file.create_dataset(
            name, data=image, chunks=(64, 64), compression=vrk_hdf5.FILTER_ID, compression_opts=values
        )

    with pytest.raises(ValueError, match="layout version 2"):
        create("version-2", (2, 0, 0, 0, 0, 0))
    with pytest.raises(ValueError, match="loss factor must be 0 to 12, not 13"):
        create("loss-13", (1, 13))
    # Fewer slots than a caller may give: the rest are the defaults.
    assert create("no-values", ()).id.get_create_plist().get_filter(0)[2][:6] == (1, 0, 0, 0, 0, 0)
    # All of them, as copied from an existing dataset: the layout is worked out again for the new chunks.
    copied = create("copied", (1, 0, 0, 0, 12, 0, 999, 999, 3, 1, 1, 1, 8), data=synthetic_image(18, (64, 64), 12))
    assert copied.id.get_create_plist().get_filter(0)[2] == (1, 0, 0, 0, 12, 0, 64, 64, 1, 2, 0, 0, 12)
    assert np.array_equal(copied[...], synthetic_image(18, (64, 64), 12))


def test_a_stored_chunk_is_a_vrk_file_of_the_stacked_image(h5file):
    # What another implementation relies on: chunk bytes are vrk.encode's for the stacked frames, and back.
    data = stack(19, 4, (40, 64), 12)
    dataset = h5file.create_dataset("data", data=data, chunks=(2, 40, 64), **vrk_hdf5.Vrk(bits=12))
    _, chunk = dataset.id.read_direct_chunk((2, 0, 0))
    assert chunk == vrk.encode(data[2:4].reshape(80, 64), bits_per_sample=12)
    replacement = synthetic_image(20, (80, 64), 12)
    dataset.id.write_direct_chunk((0, 0, 0), vrk.encode(replacement, bits_per_sample=12))
    assert np.array_equal(dataset[:2], replacement.reshape(2, 40, 64))


def _damaged(chunk):
    """Ways to damage a compressed chunk, each with what a reader must not trust."""
    middle = len(chunk) // 2
    other_shape = vrk.encode(synthetic_image(14, (48, 64), 12), bits_per_sample=12)  # a valid image, wrong shape
    other_depth = vrk.encode(synthetic_image(15, (96, 64), 10))  # the right shape, 10 bits instead of 12
    return {
        "flipped": chunk[:middle] + bytes([chunk[middle] ^ 0x5A]) + chunk[middle + 1 :],
        "cut": chunk[: len(chunk) - 20],
        "header-only": chunk[:12],
        "one-byte": chunk[:1],
        "other-shape": other_shape,
        "other-depth": other_depth,
        "garbage": bytes(np.random.default_rng(16).integers(0, 256, size=len(chunk), dtype=np.uint8)),
    }


@pytest.mark.parametrize(
    "damage", ["flipped", "cut", "header-only", "one-byte", "other-shape", "other-depth", "garbage"]
)
def test_a_damaged_chunk_fails_its_read_and_the_others_still_read(h5file, damage):
    data = stack(17, 6, (48, 64), 12)  # three chunks of two frames: 96 x 64 images
    dataset = h5file.create_dataset("data", data=data, chunks=(2, 48, 64), **vrk_hdf5.Vrk(bits=12))
    h5file.flush()
    mask, chunk = dataset.id.read_direct_chunk((2, 0, 0))
    dataset.id.write_direct_chunk((2, 0, 0), _damaged(chunk)[damage], mask)
    h5file.flush()
    with pytest.raises(OSError, match="Can't read data"):
        dataset[2]
    with pytest.raises(OSError):
        dataset[...]
    assert np.array_equal(dataset[:2], data[:2]) and np.array_equal(dataset[4:], data[4:])


@pytest.mark.parametrize(
    "options, error",
    [
        (dict(loss_factor=1.5), TypeError),
        (dict(loss_factor=13), ValueError),
        (dict(fast=1), TypeError),
        (dict(graphics="yes"), TypeError),
        (dict(bits=17), ValueError),
        (dict(bits=7), ValueError),
        (dict(colour=None), TypeError),
    ],
    ids=["loss-float", "loss-13", "fast-int", "graphics-str", "bits-17", "bits-7", "colour-none"],
)
def test_options_are_checked_when_given(options, error):
    with pytest.raises(error, match=next(iter(options))):
        vrk_hdf5.Vrk(**options)


def test_options_become_the_callers_cd_values():
    assert dict(vrk_hdf5.Vrk()) == dict(compression=vrk_hdf5.FILTER_ID, compression_opts=(1, 0, 0, 0, 0, 0))
    options = vrk_hdf5.Vrk(loss_factor=np.int64(3), fast=True, graphics=np.True_, bits=12, colour=False)
    assert options["compression_opts"] == (1, 3, 1, 1, 12, 0)
    assert all(type(value) is int for value in options["compression_opts"])


def test_an_installed_package_finds_the_installed_plugin(tmp_path):
    # The install layout: <prefix>/lib/python3/dist-packages/vrk beside <prefix>/lib/hdf5/plugin.
    site = tmp_path / "lib" / "python3" / "dist-packages"
    shutil.copytree(pathlib.Path(vrk.__file__).parent, site / "vrk", ignore=shutil.ignore_patterns("__pycache__"))
    plugins = tmp_path / "lib" / "hdf5" / "plugin"
    plugins.mkdir(parents=True)
    shutil.copy(pathlib.Path(vrk_hdf5.plugin_dir) / "libvrk_hdf5.so", plugins)
    script = textwrap.dedent(
        f"""
        import h5py, numpy as np
        import vrk.hdf5
        assert vrk.hdf5.plugin_dir == {str(plugins)!r}, vrk.hdf5.plugin_dir
        data = (np.arange(64 * 64) % 251).astype(np.uint8).reshape(64, 64)
        with h5py.File({str(tmp_path / "x.h5")!r}, "w") as file:
            file.create_dataset("x", data=data, chunks=(64, 64), **vrk.hdf5.Vrk())
        with h5py.File({str(tmp_path / "x.h5")!r}, "r") as file:
            assert np.array_equal(file["x"][...], data)
        """
    )
    environment = {
        key: value for key, value in os.environ.items() if key not in ("VRK_HDF5_PLUGIN_DIR", "HDF5_PLUGIN_PATH")
    }
    environment["PYTHONPATH"] = str(site)
    result = subprocess.run([sys.executable, "-c", script], env=environment, capture_output=True, timeout=120)
    assert result.returncode == 0, result.stderr.decode(errors="replace")
