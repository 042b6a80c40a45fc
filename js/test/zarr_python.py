"""Python's side of the zarr codec tests (run by zarr.test.mjs).

    zarr_python.py write DIR < cases.json   stores DIR/py/NAME with vrk.numcodecs.Vrk, the
                                            synthetic samples as DIR/NAME.source.bin and
                                            what Python reads back as DIR/NAME.expected.bin
    zarr_python.py read DIR < names.json    reads DIR/js/NAME into DIR/NAME.read.bin and
                                            prints {NAME: [dtype, shape]}

Binary files hold the samples in C order, little-endian.
"""

import json
import os
import sys

import numpy as np
import zarr

from vrk.numcodecs import Vrk


def synthetic(case):
    """The case's samples, the same on every run: noise, or flat 8 x 8 blocks for graphics."""
    rng = np.random.default_rng(case["seed"])
    dtype = np.dtype(case["dtype"])
    shape = tuple(case["shape"])
    info = np.iinfo(dtype)
    if case.get("blocks"):
        height, width = shape
        blocks = rng.integers(0, 4, size=(-(-height // 8), -(-width // 8)), dtype=dtype) * 60
        return np.ascontiguousarray(np.kron(blocks, np.ones((8, 8), dtype))[:height, :width])
    frames = case.get("bits")
    if frames is None:
        return rng.integers(info.min, info.max, size=shape, dtype=dtype, endpoint=True)
    if isinstance(frames, int):
        frames = [frames]
    data = np.empty((len(frames),) + shape[len(shape) - 2:], dtype)
    for frame, bits in zip(data, frames):
        frame[...] = rng.integers(0, 2**bits - 1, size=frame.shape, dtype=dtype, endpoint=True)
        frame.flat[0] = 2**bits - 1  # the largest sample needs exactly `bits` bits
    return data.reshape(shape)


def write(folder, cases):
    for case in cases:
        data = synthetic(case)
        array = zarr.open(
            os.path.join(folder, "py", case["name"]),
            mode="w",
            shape=data.shape,
            chunks=tuple(case["chunks"]),
            dtype=data.dtype,
            order=case.get("order", "C"),
            fill_value=0,
            compressor=Vrk(**case["config"]),
        )
        array[...] = data
        with open(os.path.join(folder, case["name"] + ".source.bin"), "wb") as file:
            file.write(data.astype(data.dtype.newbyteorder("<")).tobytes())
        with open(os.path.join(folder, case["name"] + ".expected.bin"), "wb") as file:
            file.write(array[...].astype(data.dtype.newbyteorder("<")).tobytes())


def read(folder, names):
    found = {}
    for name in names:
        data = zarr.open(os.path.join(folder, "js", name), mode="r")[...]
        with open(os.path.join(folder, name + ".read.bin"), "wb") as file:
            file.write(data.astype(data.dtype.newbyteorder("<")).tobytes())
        found[name] = [data.dtype.name, list(data.shape)]
    json.dump(found, sys.stdout)


if __name__ == "__main__":
    mode, folder = sys.argv[1:]
    {"write": write, "read": read}[mode](folder, json.load(sys.stdin))
