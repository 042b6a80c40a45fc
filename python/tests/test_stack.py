"""python3 -m vrk: frames into zarr and HDF5 stacks and back, and .vrk files in batches."""

import errno
import os
import signal
import subprocess
import sys
import time

import numpy as np
import PIL.Image
import pytest
import tifffile
import zarr

import vrk
from conftest import pnm_bytes, synthetic_image


def run_tool(*arguments, cwd=None, **options):
    return subprocess.run(
        [sys.executable, "-m", "vrk", *map(str, arguments)],
        cwd=cwd,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        text=True,
        timeout=120,
        **options,
    )


def hdf5_available():
    try:
        import vrk.hdf5

        vrk.hdf5.Vrk()
    except (ImportError, RuntimeError):
        return False
    return True


def write_frame(path, image):
    """`image` in the format of `path`'s extension, samples as they are."""
    if path.suffix == ".tif":
        tifffile.imwrite(path, image)
    elif path.suffix in (".pgm", ".ppm"):
        bits = 8 if image.dtype == np.uint8 else 16
        path.write_bytes(pnm_bytes(image, bits))
    elif image.dtype == np.uint16:
        PIL.Image.fromarray(image.astype(np.int32), "I").save(path)
    else:
        PIL.Image.fromarray(image).save(path)


# name: (frame shape, bits, signed, extensions of the frames in turn)
STACKS = {
    "grey8": ((40, 48), 8, False, [".png", ".pgm", ".tif", ".png"]),
    "grey12": ((36, 52), 12, False, [".tif", ".png", ".pgm"]),
    "grey16": ((40, 40), 16, False, [".pgm", ".tif", ".png"]),
    "signed16": ((40, 44), 16, True, [".tif", ".tif", ".tif"]),
    "signed8": ((33, 40), 8, True, [".tif", ".tif"]),
    "colour": ((34, 40, 3), 8, False, [".ppm", ".png", ".tif"]),
}


def make_frames(folder, case):
    shape, bits, signed, extensions = STACKS[case]
    folder.mkdir()
    frames = []
    for index, extension in enumerate(extensions):
        image = synthetic_image(index + 10 * bits, shape, bits)
        if signed:
            image = (image.astype(np.int32) - (1 << (bits - 1))).astype(np.int8 if bits == 8 else np.int16)
        write_frame(folder / f"frame{index:02d}{extension}", image)
        frames.append(image)
    return np.stack(frames)


def read_stack(path):
    if path.suffix == ".h5":
        import h5py

        with h5py.File(path, "r") as file:
            return file["frames"][...]
    return zarr.open(str(path), mode="r")[:]


@pytest.mark.parametrize("case", STACKS)
@pytest.mark.parametrize(
    "container",
    ["zarr", pytest.param("h5", marks=pytest.mark.skipif(not hdf5_available(), reason="no vrk HDF5 plugin"))],
)
def test_frames_to_stack_and_back(tmp_path, case, container):
    frames = make_frames(tmp_path / "frames", case)
    stack = tmp_path / f"stack.{container}"
    result = run_tool("pack", tmp_path / "frames", "-o", stack)
    assert result.returncode == 0, result.stderr
    assert f"{len(frames)} files" in result.stdout.splitlines()[-1]  # plain lines, then the summary
    stored = read_stack(stack)
    assert stored.dtype == frames.dtype
    np.testing.assert_array_equal(stored, frames)
    if container == "zarr":
        signed = frames.dtype.kind == "i"
        assert zarr.open(str(stack), mode="r").compressor.get_config().get("signed", False) is signed

    result = run_tool("unpack", stack, "-o", tmp_path / "back")
    assert result.returncode == 0, result.stderr
    names = sorted(os.listdir(tmp_path / "back"))
    assert names == [f"frame-{index:05d}.tif" for index in range(len(frames))]
    for name, frame in zip(names, frames):
        np.testing.assert_array_equal(tifffile.imread(tmp_path / "back" / name), frame)


@pytest.mark.parametrize("extension", [".png", ".pgm", ".raw"])
def test_unpack_to_other_formats(tmp_path, extension):
    frames = make_frames(tmp_path / "frames", "grey12")
    assert run_tool("pack", tmp_path / "frames", "-o", tmp_path / "s.zarr").returncode == 0
    result = run_tool("unpack", tmp_path / "s.zarr", "-o", tmp_path / "back", "--format", extension[1:])
    assert result.returncode == 0, result.stderr
    # and in again: a glob, .raw frames with their layout
    pattern = str(tmp_path / "back" / f"*{extension}")
    raw = ["--raw-shape", "36x52", "--raw-dtype", "uint16"] if extension == ".raw" else []
    result = run_tool("pack", pattern, "-o", tmp_path / "again.zarr", *raw)
    assert result.returncode == 0, result.stderr
    np.testing.assert_array_equal(read_stack(tmp_path / "again.zarr"), frames)


def test_signed_frames_refuse_unsigned_formats(tmp_path):
    make_frames(tmp_path / "frames", "signed16")
    assert run_tool("pack", tmp_path / "frames", "-o", tmp_path / "s.zarr").returncode == 0
    result = run_tool("unpack", tmp_path / "s.zarr", "-o", tmp_path / "back", "--format", "pgm")
    assert result.returncode == 1 and "int16" in result.stderr
    assert not [name for name in os.listdir(tmp_path / "back") if name.endswith(".pgm")]


@pytest.mark.parametrize(
    "odd_one, message",
    [
        (np.zeros((40, 46), np.uint8), "(40, 46)"),
        (np.zeros((40, 48), np.uint16), "uint16"),
        (np.zeros((40, 48, 3), np.uint8), "(40, 48, 3)"),
    ],
    ids=["shape", "dtype", "colour"],
)
def test_mismatched_frames_are_refused_before_writing(tmp_path, odd_one, message):
    make_frames(tmp_path / "frames", "grey8")
    tifffile.imwrite(tmp_path / "frames" / "frame02b.tif", odd_one)
    result = run_tool("pack", tmp_path / "frames", "-o", tmp_path / "stack.zarr")
    assert result.returncode == 1
    assert "frame02b.tif" in result.stderr and message in result.stderr
    assert os.listdir(tmp_path) == ["frames"]


@pytest.mark.parametrize(
    "arguments, status",
    [
        ([], 2),
        (["pack", "x.tif"], 2),  # -o is required
        (["frobnicate"], 2),
        (["pack", "frames", "-o", "s.zarr", "--raw-dtype", "float32"], 2),
        (["compress", "missing.pgm"], 1),
        (["pack", "missing/*.tif", "-o", "s.zarr"], 1),
        (["unpack", "missing.zarr", "-o", "back"], 1),
    ],
    ids=["nothing", "no-output", "unknown-command", "bad-raw-dtype", "missing-file", "empty-glob", "missing-stack"],
)
def test_exit_status(tmp_path, arguments, status):
    result = run_tool(*arguments, cwd=tmp_path)
    assert result.returncode == status, result.stderr
    assert result.stderr


def test_an_existing_stack_needs_overwrite(tmp_path):
    frames = make_frames(tmp_path / "frames", "grey8")
    (tmp_path / "stack.h5").write_bytes(b"mine")
    result = run_tool("pack", tmp_path / "frames", "-o", tmp_path / "stack.h5")
    assert result.returncode == 1 and (tmp_path / "stack.h5").read_bytes() == b"mine"
    assert run_tool("pack", tmp_path / "frames", "-o", tmp_path / "s.zarr").returncode == 0
    assert run_tool("pack", tmp_path / "frames", "-o", tmp_path / "s.zarr").returncode == 1
    result = run_tool("pack", tmp_path / "frames", "-o", tmp_path / "s.zarr", "--overwrite", "--fast")
    assert result.returncode == 0, result.stderr
    assert zarr.open(str(tmp_path / "s.zarr"), mode="r").compressor.fast
    np.testing.assert_array_equal(read_stack(tmp_path / "s.zarr"), frames)


class TestBatch:
    @staticmethod
    def make_files(folder):
        folder.mkdir()
        files = {}
        for index, (shape, bits) in enumerate([((40, 48), 8), ((36, 50), 12), ((40, 40, 3), 8), ((33, 64), 16)]):
            name = f"image{index}.ppm" if len(shape) == 3 else f"image{index}.pgm"
            files[name] = pnm_bytes(synthetic_image(index, shape, bits), bits)
            (folder / name).write_bytes(files[name])
        return files

    def test_compress_restore_verify(self, tmp_path):
        folder = tmp_path / "images"
        files = self.make_files(folder)
        result = run_tool("compress", folder, "-j", 2, "-f", "-l", 2)
        assert result.returncode == 0, result.stderr
        assert result.stdout.splitlines()[-1].startswith(f"{len(files)} files, ")
        for name, pnm in files.items():
            stored = (folder / name).with_suffix(".vrk").read_bytes()
            assert stored == vrk.compress_image(pnm, name[-3:], fast=True, loss_factor=2)
        assert not [name for name in os.listdir(folder) if name.startswith(".")]  # no scratch left

        result = run_tool("verify", folder)
        assert result.returncode == 0, result.stderr

        for name in files:
            (folder / name).unlink()
        result = run_tool("restore", str(folder / "*.vrk"), "-j", 3)
        assert result.returncode == 0, result.stderr
        for name in files:  # lossy: the library's restored file
            expected = vrk.restore_image((folder / name).with_suffix(".vrk").read_bytes())[1]
            assert (folder / name).read_bytes() == expected

    def test_failures_are_reported_and_the_rest_done(self, tmp_path):
        folder = tmp_path / "images"
        files = self.make_files(folder)
        (folder / "image1.vrk").write_bytes(b"not mine to replace")
        result = run_tool("compress", folder)
        assert result.returncode == 1
        assert "image1" in result.stderr and "1 failed" in result.stdout
        assert (folder / "image1.vrk").read_bytes() == b"not mine to replace"
        assert all((folder / name).with_suffix(".vrk").exists() for name in files)

        damaged = bytearray((folder / "image2.vrk").read_bytes())
        damaged[len(damaged) // 2] ^= 0xFF
        (folder / "image2.vrk").write_bytes(bytes(damaged))
        (folder / "image3.vrk").write_bytes((folder / "image3.vrk").read_bytes()[:-20])
        result = run_tool("verify", folder, "-j", 2)
        assert result.returncode == 1
        failed = {line.split(":")[1].strip() for line in result.stderr.splitlines() if line.startswith("vrk:")}
        assert failed == {str(folder / name) for name in ("image1.vrk", "image2.vrk", "image3.vrk")}

        result = run_tool("compress", folder / "image1.pgm", "--overwrite")
        assert result.returncode == 0, result.stderr
        assert vrk.check((folder / "image1.vrk").read_bytes())


def test_interrupt_leaves_no_partial_output(tmp_path):
    """A frame read from a named pipe holds the tool after it has written the frames before it."""
    folder = tmp_path / "frames"
    folder.mkdir()
    for index in range(3):
        (folder / f"frame{index}.raw").write_bytes(synthetic_image(index, (40, 48), 16).astype(">u2").tobytes())
    os.mkfifo(folder / "frame3.raw")
    command = [sys.executable, "-m", "vrk", "pack", str(folder), "-o", str(tmp_path / "stack.zarr")]
    command += ["--raw-shape", "40x48", "--raw-dtype", "uint16"]
    process = subprocess.Popen(
        command,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL),  # even if the runner ignores Ctrl-C
    )
    pipe, stderr = None, b""
    try:
        # The pipe opens for writing once the tool has opened it to read: frames 0 to 2 are written then,
        # and the tool waits for frame 3's bytes, which never come.
        while pipe is None:
            try:
                pipe = os.open(folder / "frame3.raw", os.O_WRONLY | os.O_NONBLOCK)
            except OSError as error:
                assert error.errno == errno.ENXIO  # no reader yet
                assert process.poll() is None, process.communicate()[1].decode()
                time.sleep(0.01)
        partial = [name for name in os.listdir(tmp_path) if name.startswith(".stack.zarr")]
        assert partial and os.listdir(tmp_path / partial[0])  # writing has started, under a temporary name
        # A signal that lands just before the blocking read is only seen by the next one, as a second
        # Ctrl-C would be: send it again while the tool still waits.
        for _ in range(12):
            process.send_signal(signal.SIGINT)
            try:
                stderr = process.communicate(timeout=5)[1]
                break
            except subprocess.TimeoutExpired:
                pass
    finally:
        if pipe is not None:
            os.close(pipe)
        if process.poll() is None:
            process.kill()
            process.wait()
    assert process.returncode == 130, stderr
    assert sorted(os.listdir(tmp_path)) == ["frames"]  # neither the stack nor its temporary
