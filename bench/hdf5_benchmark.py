#!/usr/bin/env python3
"""Frame stacks in HDF5: vrk's filter beside the filters HDF5 users pick, in one run.

Run from the repository root, after building the release preset:

    PYTHONPATH=build/release/python/site VRK_HDF5_PLUGIN_DIR=build/release/plugins/hdf5 \
        /usr/bin/python3 bench/hdf5_benchmark.py [--runs N]

The corpus is the side-by-side benchmark's (bench/run_benchmark.py builds it from Debian's
libjxl-testdata and netpbm's pbmtext), cut into square frames: each image group becomes one stack of
frames, chunked one frame per chunk, as detectors and microscopes write them. Each filter writes the
whole stack to a new file and reads it back (wall clock, median of the runs, in one process with the
file in the page cache); every read must give back the stack exactly. Sizes are the dataset's stored
bytes. Writes the table to bench/hdf5_results.md and a picture beside it.

Needs python3-h5py, python3-hdf5plugin, hdf5-filter-plugin and hdf5-filter-plugin-blosc-serial (the
filters behind hdf5plugin's LZ4 and Blosc on Debian) and, for the picture, python3-matplotlib.
"""

import argparse
import datetime
import os
import re
import shutil
import statistics
import sys
import time

import h5py
import hdf5plugin
import numpy as np

import vrk
import vrk.hdf5

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
sys.path.insert(0, BENCH)
import run_benchmark  # noqa: E402  (the corpus and its image groups)

# The frames' side: whole-frame chunks of a size detectors write, and as many as the images give.
FRAME_SIDE = 256

FILTERS = [
    ("vrk", lambda colour: vrk.hdf5.Vrk(colour=colour)),
    ("vrk fast", lambda colour: vrk.hdf5.Vrk(fast=True, colour=colour)),
    ("vrk graphics", lambda colour: vrk.hdf5.Vrk(graphics=True, colour=colour)),
    ("gzip 4 + shuffle", lambda colour: dict(compression="gzip", compression_opts=4, shuffle=True)),
    ("lz4", lambda colour: dict(hdf5plugin.LZ4())),
    ("blosc zstd 5 + bitshuffle", lambda colour: dict(hdf5plugin.Blosc("zstd", 5, hdf5plugin.Blosc.BITSHUFFLE))),
    ("blosc lz4 5 + bitshuffle", lambda colour: dict(hdf5plugin.Blosc("lz4", 5, hdf5plugin.Blosc.BITSHUFFLE))),
]
# Debian's hdf5plugin carries no filters of its own: they come from hdf5-filter-plugin (lz4) and
# hdf5-filter-plugin-blosc-serial (blosc, with zstd and lz4 inside and its own bitshuffle).
NEEDED = {32004: "hdf5-filter-plugin", 32001: "hdf5-filter-plugin-blosc-serial"}


def read_frames(image, side):
    """The image's pixels cut into side x side frames, left to right, top to bottom."""
    with open(image["path"], "rb") as f:
        data = f.read()
    channels, width, height, maxval, offset = run_benchmark.parse_pnm(data)
    dtype = np.uint8 if maxval < 256 else np.dtype(">u2")
    pixels = np.frombuffer(data, dtype=dtype, offset=offset, count=width * height * channels)
    pixels = pixels.astype(np.uint8 if maxval < 256 else np.uint16).reshape(height, width, channels)
    if channels == 1:
        pixels = pixels[:, :, 0]
    return [pixels[r:r + side, c:c + side] for r in range(0, height - side + 1, side)
            for c in range(0, width - side + 1, side)]


def stacks(corpus_dir):
    """One stack per image group and number of channels."""
    images, _ = run_benchmark.build_corpus(corpus_dir)
    result = []
    for group, title in run_benchmark.GROUPS:
        for channels, name in ((1, "grey"), (3, "colour")):
            frames = [frame for image in images if image["group"] == group and image["channels"] == channels
                      for frame in read_frames(image, FRAME_SIDE)]
            if frames:
                shown = title if group in ("grey8", "grey16", "colour") else "%s, %s" % (title, name)
                result.append((shown, np.stack(frames)))
    return result


def measure(path, stack, options, runs):
    writes, reads = [], []
    size = 0
    for _ in range(runs):
        if os.path.exists(path):
            os.remove(path)
        start = time.perf_counter()
        with h5py.File(path, "w") as f:
            dataset = f.create_dataset("frames", data=stack, chunks=(1,) + stack.shape[1:], **options)
            size = dataset.id.get_storage_size()
        writes.append(time.perf_counter() - start)
        start = time.perf_counter()
        with h5py.File(path, "r") as f:
            back = f["frames"][...]
        reads.append(time.perf_counter() - start)
        if not np.array_equal(back, stack):
            raise RuntimeError("%s: the stack read back differs" % path)
    return size, statistics.median(writes), statistics.median(reads)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3, help="writes and reads per filter and stack (median)")
    parser.add_argument("--out", default=os.path.join(BENCH, "hdf5_results.md"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "bench-hdf5"))
    args = parser.parse_args()

    missing = sorted({package for number, package in NEEDED.items() if not h5py.h5z.filter_avail(number)})
    if missing:
        sys.exit("missing HDF5 filters: apt-get install " + " ".join(missing))
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    rows = []
    started = time.time()
    for title, stack in stacks(os.path.join(args.work, "corpus")):
        raw = stack.nbytes
        samples = stack.size
        for name, options in FILTERS:
            size, write, read = measure(os.path.join(args.work, "stack.h5"), stack, options(stack.ndim == 4), args.runs)
            rows.append(dict(group=title, filter=name, frames=stack.shape[0], frame=stack.shape[1:],
                             bits=8.0 * size / samples, ratio=raw / size, write=raw / write / 1e6,
                             read=raw / read / 1e6))
            print("%-40s %-30s %6.3f bits/sample  write %7.1f MB/s  read %7.1f MB/s" %
                  (title, name, rows[-1]["bits"], rows[-1]["write"], rows[-1]["read"]))

    lines = ["# Frame stacks in HDF5", "",
             "- Date: %s UTC; %d run(s) per stack and filter, median; %.0f s in all." %
             (datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M"), args.runs, time.time() - started),
             "- Load average at the end: %s (other work on the machine skews the speeds)." %
             " ".join("%.2f" % x for x in os.getloadavg()),
             "- HDF5 %s, h5py %s, hdf5plugin %s; vrk %s." %
             (h5py.version.hdf5_version, h5py.version.version, hdf5plugin.version, vrk.__version__),
             "- Stacks: each image group of the side-by-side benchmark's corpus cut into %d x %d frames, one "
             "frame per chunk. MB/s: megabytes of raw samples per second of wall clock, the whole stack written "
             "to a new file or read back. Every read gave back the stack exactly." % (FRAME_SIDE, FRAME_SIDE),
             "- The 16-bit frames are the corpus's 10-, 12- and 16-bit versions of one photograph, made from "
             "8-bit data (256 levels each): byte and bit shuffling find the low bits that never change, vrk "
             "codes every sample as a 16-bit one.",
             "- vrk's filter codes each chunk with the library's automatic threads; the other filters run "
             "on one thread.", "",
             "| stack | filter | bits/sample | ratio | write MB/s | read MB/s |", "|---|---|---|---|---|---|"]
    for r in rows:
        shape = " x ".join(str(n) for n in r["frame"])
        lines.append("| %s (%d frames of %s) | %s | %.3f | %.2f | %.1f | %.1f |" %
                     (r["group"], r["frames"], shape, r["filter"], r["bits"], r["ratio"], r["write"], r["read"]))
    with open(args.out, "w") as f:
        f.write("\n".join(lines) + "\n\n![bits per sample and read speed of each filter](hdf5_sizes.png)\n")
    draw(rows, os.path.join(os.path.dirname(os.path.abspath(args.out)), "hdf5_sizes.png"))
    print("wrote %s" % args.out)


def draw(rows, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("no matplotlib: no picture")
        return
    groups = list(dict.fromkeys(r["group"] for r in rows))
    columns = min(3, len(groups))
    lines = (len(groups) + columns - 1) // columns
    figure, axes = plt.subplots(lines, columns, figsize=(4.6 * columns, 3.8 * lines), squeeze=False)
    for ax in axes.flat[len(groups):]:
        ax.set_visible(False)
    for ax, group in zip(axes.flat, groups):
        for r in (r for r in rows if r["group"] == group):
            ax.scatter(r["read"], r["bits"], marker="*" if r["filter"].startswith("vrk") else "o", s=80)
            ax.annotate(r["filter"], (r["read"], r["bits"]), fontsize=7,
                        xytext=(4, 3), textcoords="offset points")
        ax.set_title(re.sub(r" \([^)]*\)", "", group), fontsize=10)
        ax.set_xlabel("read MB/s")
        ax.set_ylabel("bits per sample (lower is better)")
        ax.grid(alpha=0.3)
    figure.tight_layout()
    figure.savefig(path, dpi=90)


if __name__ == "__main__":
    main()
