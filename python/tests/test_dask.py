"""vrk on a Dask cluster of worker processes: folders of files, zarr image stacks, errors sent back.

The workers import vrk through PYTHONPATH (inherited from this process's
environment) and rebuild the zarr codec from its config through the
numcodecs entry point.
"""

import os
import shutil
import sys

import numpy as np
import pytest

import vrk
from conftest import command_line_arguments, pnm_bytes, run_vrk, synthetic_image

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
import dask.array as da  # noqa: E402
import zarr  # noqa: E402

from vrk.numcodecs import Vrk  # noqa: E402

pytestmark = pytest.mark.slow

TIMEOUT = 120  # seconds for any one wait on the cluster


@pytest.fixture(scope="module")
def client():
    assert os.environ.get("PYTHONPATH"), "the workers find vrk through PYTHONPATH"
    cluster = distributed.LocalCluster(
        n_workers=2,
        processes=True,
        threads_per_worker=1,
        host="127.0.0.1",
        dashboard_address=None,
        timeout=TIMEOUT,
    )
    client = distributed.Client(cluster, timeout=TIMEOUT)
    try:
        client.wait_for_workers(2, timeout=TIMEOUT)
        yield client
    finally:
        client.close(timeout=TIMEOUT)
        cluster.close(timeout=TIMEOUT)


def test_a_folder_compressed_on_the_workers(client, vrk_binary, tmp_path):
    folder, reference = tmp_path / "folder", tmp_path / "reference"
    folder.mkdir(), reference.mkdir()
    paths = []
    for index in range(8):
        colour = index % 2 == 1
        image = synthetic_image(index, (48 + index, 40, 3) if colour else (40, 48 + index), 8)
        name = f"image{index}.{'ppm' if colour else 'pgm'}"
        (folder / name).write_bytes(pnm_bytes(image))
        shutil.copy(folder / name, reference / name)
        run_vrk(vrk_binary, command_line_arguments(name, graphics=True, loss_factor=1), reference)
        paths.append(str(folder / name))

    futures = client.map(vrk.compress_file, paths, graphics=True, loss_factor=1)
    outputs = client.gather(futures, errors="raise")
    for path, output in zip(paths, outputs):
        assert output == os.path.splitext(path)[0] + ".vrk"
        assert open(output, "rb").read() == (reference / os.path.basename(output)).read_bytes()

    # A failure on a worker comes back as the same VrkError.
    with pytest.raises(vrk.VrkError) as raised:
        client.submit(vrk.compress_file, paths[0], pure=False).result(timeout=TIMEOUT)
    assert raised.value.code == vrk.ErrorCode.OUTPUT_EXISTS


def test_a_zarr_image_stack_written_and_read_on_the_workers(client, tmp_path):
    stack = np.stack([synthetic_image(seed, (96, 80), 12) for seed in range(8)])
    store = str(tmp_path / "stack.zarr")
    source = da.from_array(stack, chunks=(1, 96, 80))
    da.to_zarr(source, store, compressor=Vrk(fast=True), overwrite=True)

    written = zarr.open(store, mode="r")
    assert written.compressor == Vrk(fast=True)
    assert vrk.inspect(open(os.path.join(store, "5.0.0"), "rb").read()).shape == (96, 80)

    read = da.from_zarr(store)
    assert read.chunks == ((1,) * 8, (96,), (80,))
    largest_error = client.compute(abs(read.astype(np.int64) - stack).max())
    assert largest_error.result(timeout=TIMEOUT) == 0
    np.testing.assert_array_equal(client.compute(read).result(timeout=TIMEOUT), stack)

    # The workers rebuilt the codec from the array's stored config, which loads vrk.numcodecs.
    loaded = client.run(lambda: "vrk.numcodecs" in sys.modules)
    assert any(loaded.values()), loaded
