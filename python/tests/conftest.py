"""Shared helpers for the vrk package tests.

CTest runs these with PYTHONPATH set to the build tree's package, VRK_BINARY
set to the vrk command and VRK_CONFORMANCE_DIR to tests/data/conformance.
"""

import os
import pathlib
import subprocess

import numpy as np
import pytest


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: takes seconds (worker processes, large images); runs by default")


def _required_environment(name):
    value = os.environ.get(name)
    if not value:
        raise RuntimeError(f"{name} is not set: run these tests through CTest, or set it by hand")
    return value


@pytest.fixture(scope="session")
def vrk_binary():
    return pathlib.Path(_required_environment("VRK_BINARY"))


@pytest.fixture(scope="session")
def conformance_dir():
    return pathlib.Path(_required_environment("VRK_CONFORMANCE_DIR"))


def run_vrk(binary, arguments, cwd):
    """Runs the vrk command in `cwd`; it must succeed (no prompt: outputs must not exist)."""
    result = subprocess.run(
        [str(binary), *arguments], cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=120
    )
    assert result.returncode == 0 and b"Error" not in result.stderr, result.stderr.decode(errors="replace")


def command_line_arguments(name, fast=False, graphics=False, loss_factor=0):
    switch = "-" + ("f" if fast else "") + ("g" if graphics else "")
    return ([switch] if switch != "-" else []) + [name] + ([str(loss_factor)] if loss_factor else [])


def pnm_bytes(image, bits_per_sample=8):
    """The PGM or PPM file of `image`, as vrk.encode describes it."""
    image = np.asarray(image)
    if image.ndim == 3 and image.shape[2] == 3:
        return b"P6\n%d %d\n255\n" % (image.shape[1], image.shape[0]) + image.astype(np.uint8).tobytes()
    grey = image.reshape(image.shape[0], image.shape[1])
    if bits_per_sample == 8:
        return b"P5\n%d %d\n255\n" % (grey.shape[1], grey.shape[0]) + grey.astype(np.uint8).tobytes()
    maxval = (1 << bits_per_sample) - 1
    return b"P5\n%d %d\n%d\n" % (grey.shape[1], grey.shape[0], maxval) + grey.astype(">u2").tobytes()


def synthetic_image(seed, shape, bits=8, kind="photo"):
    """A reproducible test image: "photo" (smooth shading plus noise) or "graphics" (flat shapes, text-like strokes).

    uint8 for 8 bits, uint16 above; the largest sample is 2**bits - 1, so that
    vrk.encode's default depth is `bits`.
    """
    rng = np.random.default_rng(seed)
    top = (1 << bits) - 1
    height, width = shape[0], shape[1]
    y, x = np.mgrid[0:height, 0:width].astype(np.float64)
    planes = []
    for _ in range(shape[2] if len(shape) == 3 else 1):
        if kind == "photo":
            phase = rng.uniform(0, 2 * np.pi, size=3)
            smooth = (
                0.5
                + 0.2 * np.sin(x / rng.uniform(5, 15) + phase[0])
                + 0.2 * np.cos(y / rng.uniform(5, 15) + phase[1])
                + 0.1 * np.sin((x + y) / rng.uniform(3, 9) + phase[2])
            )
            plane = smooth * top + rng.normal(0, top * 0.03, size=(height, width))
        else:
            plane = np.full((height, width), rng.uniform(0, top))
            for _ in range(6):
                y0, x0 = rng.integers(0, height), rng.integers(0, width)
                plane[y0 : y0 + rng.integers(4, 20), x0 : x0 + rng.integers(4, 30)] = rng.uniform(0, top)
            plane[rng.integers(0, height), :] = 0
        planes.append(np.clip(np.rint(plane), 0, top))
    image = np.stack(planes, axis=-1) if len(shape) == 3 else planes[0]
    image = image.astype(np.uint8 if bits == 8 else np.uint16)
    image.reshape(-1)[rng.integers(0, image.size)] = top
    return image
