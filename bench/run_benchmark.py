#!/usr/bin/env python3
"""Side-by-side speed and size benchmark of vrk against standard lossless image codecs.

Run from anywhere:  python3 bench/run_benchmark.py [--quick] [--runs N] [--one-thread-modes LIST] ...

What it does:
  1. checks that the tools of the chosen rows are installed and names the missing Debian packages
     (installs nothing);
  2. builds the CharLS driver (bench/charls_bench.cpp) with g++ into build/bench/bin/charls_bench;
  3. builds a corpus of PNM images from /usr/share/libjxl-testdata and netpbm's pbmtext under
     build/bench/corpus;
  4. runs vrk in every mode with automatic threads (VRK_THREADS removed from its environment: two stages
     on two threads when the machine has two or more cores), vrk again with VRK_THREADS=1 in some modes
     (the "vrk 1 thread" rows), and each peer single-threaded, N times per image (median), timing every
     encode and decode process with /usr/bin/time (wall clock, user + system CPU, peak RSS);
  5. checks every lossless round trip pixel for pixel (vrk's byte for byte);
  6. prints a table per image group and which peers are both smaller and faster than each vrk row, and
     writes them as Markdown (bench/results.md by default), with the raw measurements and the per-group
     figures of every row as JSON beside the scratch files (build/bench/results.json);
  7. draws bits per sample against decode and against encode speed (bench/plot_results.py, run with
     /usr/bin/python3 when it has matplotlib) as two PNG files beside the Markdown file.

The benchmark itself uses only the Python standard library.
"""

import argparse
import array
import datetime
import hashlib
import json
import math
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTDATA = "/usr/share/libjxl-testdata"
TIME = "/usr/bin/time"
SYSTEM_PYTHON = "/usr/bin/python3"  # Debian's, which has python3-matplotlib for the pictures
PLOT_SCRIPT = os.path.join(ROOT, "bench/plot_results.py")
THREADS_VARIABLE = "VRK_THREADS"
REFERENCE = "CharLS (JPEG-LS)"

GROUPS = [
    ("grey8", "8-bit grey photos"),
    ("grey16", "16-bit grey photos (9..16-bit)"),
    ("colour", "colour photos (24-bit)"),
    ("synthetic", "synthetic (patches, colour bars, text)"),
]

# Tool or file -> Debian package that provides it: what every run needs (the corpus); each peer names its own.
REQUIREMENTS = [
    (TIME, "time"),
    ("pnmtopng", "netpbm"),
    ("pngtopnm", "netpbm"),
    ("pbmtext", "netpbm"),
    ("pnmdepth", "netpbm"),
    ("pamtopnm", "netpbm"),
    ("ppmtopgm", "netpbm"),
    (TESTDATA + "/jxl/flower/flower.pgm", "libjxl-testdata"),
]

TEXT = """\
vrk compresses still images that you cannot afford to lose: medical scans,
scientific frames, photographs and screenshots. One command turns a .raw, .ras,
.pgm or .ppm image into a .vrk file, and the .vrk file back into the exact image
file it came from, header and all. Lossless by default; a loss factor from 1 to
12 makes it lossy. Two engines: the wavelet engine, a reversible wavelet
transform for natural images, and the graphics engine, prediction for synthetic
images such as text, charts and screenshots. Two entropy coders: the arithmetic
coder and the prefix coder, faster and a little larger. 8-bit grey, 9- to 16-bit grey and 24-bit
colour; both dimensions from 32 to 65,535 pixels.
THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG -- 0123456789 !@#$%^&*()[]{}<>?/|
the quick brown fox jumps over the lazy dog ++ pack my box with five dozen jugs
"""


def log(*parts):
    print(*parts, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------------------------------
# PNM files


def parse_pnm(data):
    """Returns (channels, width, height, maxval, offset of the samples) of a binary PBM/PGM/PPM; a PBM
    has maxval 1."""
    if data[:2] not in (b"P4", b"P5", b"P6"):
        raise ValueError("not a binary PBM/PGM/PPM file (magic %r)" % data[:2])
    channels = 3 if data[:2] == b"P6" else 1
    pos, numbers = 2, []
    while len(numbers) < (2 if data[:2] == b"P4" else 3):
        while pos < len(data) and data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while pos < len(data) and data[pos:pos + 1] not in (b"\n", b"\r"):
                pos += 1
            continue
        end = pos
        while end < len(data) and data[end:end + 1].isdigit():
            end += 1
        if end == pos:
            raise ValueError("bad PNM header")
        numbers.append(int(data[pos:end]))
        pos = end
    if len(numbers) == 2:
        numbers.append(1)
    width, height, maxval = numbers
    return channels, width, height, maxval, pos + 1


def pnm_samples(data):
    """Returns (channels, width, height, maxval, samples) with samples as bytes (8-bit) or array('H')."""
    channels, width, height, maxval, offset = parse_pnm(data)
    count = channels * width * height
    if data[:2] == b"P4":
        # Packed bits, rows padded to whole bytes, 1 = black: expand to grey samples with maxval 1.
        row_bytes = (width + 7) // 8
        if len(data) - offset < row_bytes * height:
            raise ValueError("PBM file too short")
        samples = bytearray()
        for y in range(height):
            row = data[offset + y * row_bytes:offset + (y + 1) * row_bytes]
            samples += bytes(1 - ((row[x >> 3] >> (7 - (x & 7))) & 1) for x in range(width))
        return channels, width, height, maxval, bytes(samples)
    if maxval < 256:
        raw = data[offset:offset + count]
        if len(raw) != count:
            raise ValueError("PNM file too short")
        return channels, width, height, maxval, raw
    raw = data[offset:offset + 2 * count]
    if len(raw) != 2 * count:
        raise ValueError("PNM file too short")
    samples = array.array("H")
    samples.frombytes(raw)
    if sys.byteorder == "little":
        samples.byteswap()
    return channels, width, height, maxval, samples


def compare_pixels(original_path, decoded_path):
    """Lossless check of decoded against original, ignoring header formatting. A decoder may write grey
    as RGB with equal components, or a 9..15-bit image at another maxval as long as rescaling the
    decoded samples to the original maxval gives back every sample exactly. Returns None when equal,
    otherwise a short description of the difference."""
    with open(original_path, "rb") as f:
        a_ch, a_w, a_h, a_max, a = pnm_samples(f.read())
    with open(decoded_path, "rb") as f:
        b_ch, b_w, b_h, b_max, b = pnm_samples(f.read())
    if (a_w, a_h) != (b_w, b_h):
        return "size %dx%d decoded as %dx%d" % (a_w, a_h, b_w, b_h)
    if a_ch == 1 and b_ch == 3:
        planes = [b[i::3] for i in range(3)]
        if not planes[0] == planes[1] == planes[2]:
            return "grey decoded as colour with unequal components"
        b, b_ch = planes[0], 1
    if a_ch != b_ch:
        return "%d channels decoded as %d" % (a_ch, b_ch)
    if a_max == b_max:
        if a == b:
            return None
        differing = sum(1 for x, y in zip(a, b) if x != y)
        return "%d of %d samples differ" % (differing, len(a))
    differing = sum(1 for x, y in zip(a, b) if x != (y * a_max + b_max // 2) // b_max)
    if differing == 0:
        return None
    return "%d of %d samples differ (maxval %d decoded as %d)" % (differing, len(a), a_max, b_max)


def error_stats(original_path, decoded_path):
    """(PSNR in dB, largest absolute error) of a lossy decode; the two files have the same layout."""
    with open(original_path, "rb") as f:
        _, _, _, maxval, a = pnm_samples(f.read())
    with open(decoded_path, "rb") as f:
        _, _, _, _, b = pnm_samples(f.read())
    if len(a) != len(b):
        return None, None
    squares, largest = 0, 0
    for x, y in zip(a, b):
        d = x - y
        if d:
            squares += d * d
            if abs(d) > largest:
                largest = abs(d)
    if squares == 0:
        return float("inf"), 0
    return 10 * math.log10(maxval * maxval * len(a) / squares), largest


# ---------------------------------------------------------------------------------------------------
# Requirements and corpus


def missing_packages(codecs):
    """The Debian packages, in order, of what the corpus and the given codecs need and this machine lacks."""
    missing = []
    for thing, package in REQUIREMENTS + [need for codec in codecs for need in codec.needs]:
        present = os.path.exists(thing) if thing.startswith("/") else shutil.which(thing) is not None
        if not present and package not in missing:
            missing.append(package)
    return missing


def pipeline(commands, output_path):
    """Runs commands as a shell-free pipeline writing to output_path."""
    with open(output_path, "wb") as out:
        processes, stdin = [], None
        for i, command in enumerate(commands):
            last = i == len(commands) - 1
            p = subprocess.Popen(command, stdin=stdin if stdin is not None else subprocess.DEVNULL,
                                 stdout=out if last else subprocess.PIPE, stderr=subprocess.DEVNULL)
            if stdin is not None:
                stdin.close()
            stdin = p.stdout
            processes.append(p)
        codes = [p.wait() for p in processes]
    if any(codes):
        raise RuntimeError("%s failed (%s)" % (" | ".join(c[0] for c in commands), codes))


def build_corpus(corpus_dir):
    """Converts the test images into PNM files. Returns a list of image records."""
    shutil.rmtree(corpus_dir, ignore_errors=True)
    os.makedirs(corpus_dir)
    sources = []  # (group, name, kind, source path or text, note)
    flower = TESTDATA + "/jxl/flower/"
    sources.append(("grey8", "flower_grey", "copy", flower + "flower.pgm", ""))
    sources.append(("colour", "flower_rgb", "copy", flower + "flower.pnm", ""))
    for depth in (10, 12, 16):
        sources.append(("grey16", "flower_small_d%d" % depth, "copy", flower + "flower_small.g.depth%d.pgm" % depth, ""))
    for directory in ("external/wesaturate/500px", "external/raw.pixls"):
        path = os.path.join(TESTDATA, directory)
        # Sorted with the alpha variants last, so a duplicate of a plain file is the one skipped.
        for name in sorted(os.listdir(path) if os.path.isdir(path) else [], key=lambda n: ("alpha" in n, n)):
            if name.endswith(".png"):
                sources.append(("photo", name[:-4], "png", os.path.join(path, name), ""))
    sources.append(("synthetic", "grayscale_patches", "png", TESTDATA + "/jxl/grayscale_patches.png", ""))
    bars = os.path.join(TESTDATA, "external/wide-gamut-tests")
    for name in sorted(os.listdir(bars)) if os.path.isdir(bars) else []:
        if name.endswith("color-bars.png"):
            sources.append(("synthetic", name[:-4], "png", os.path.join(bars, name), ""))
    sources.append(("synthetic", "text_bdf", "text", [], ""))
    sources.append(("synthetic", "text_fixed", "text", ["-builtin", "fixed"], ""))

    images, seen, skipped = [], {}, []
    for group, name, kind, source, note in sources:
        if kind in ("copy", "png") and not os.path.exists(source):
            skipped.append("%s (not found)" % source)
            continue
        tmp = os.path.join(corpus_dir, "tmp.pnm")
        if kind == "copy":
            shutil.copyfile(source, tmp)
        elif kind == "png":
            pipeline([["pngtopnm", source]], tmp)  # drops any alpha channel
        else:
            # pbmtext reads the text from standard input when given no words.
            text = subprocess.run(["pbmtext"] + source, input=(TEXT * 3).encode(), stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, check=True).stdout
            bitmap = os.path.join(corpus_dir, "text.pbm")
            with open(bitmap, "wb") as f:
                f.write(text)
            pipeline([["pnmdepth", "255", bitmap], ["pamtopnm"]], tmp)
            os.remove(bitmap)
        with open(tmp, "rb") as f:
            data = f.read()
        channels, width, height, maxval, offset = parse_pnm(data)
        if group == "photo":
            group = "colour" if channels == 3 else ("grey8" if maxval < 256 else "grey16")
        if channels == 3 and maxval > 255:
            # vrk takes no 16-bit colour: keep the camera crop as 16-bit grey (luma) instead.
            grey = os.path.join(corpus_dir, "grey.pnm")
            pipeline([["ppmtopgm", tmp]], grey)
            os.replace(grey, tmp)
            with open(tmp, "rb") as f:
                data = f.read()
            channels, width, height, maxval, offset = parse_pnm(data)
            group, name, note = "grey16", name + "_luma", "16-bit colour crop as grey (ppmtopgm)"
        if not (32 <= width <= 65535 and 32 <= height <= 65535):
            skipped.append("%s (%dx%d: vrk takes 32..65535 each way)" % (name, width, height))
            os.remove(tmp)
            continue
        digest = hashlib.sha1(data[offset:]).hexdigest()
        if digest in seen:
            skipped.append("%s (same pixels as %s)" % (name, seen[digest]))
            os.remove(tmp)
            continue
        seen[digest] = name
        if any(im["name"] == name for im in images):
            raise RuntimeError("two corpus images named %s" % name)
        ext = ".pgm" if channels == 1 else ".ppm"
        # Write a canonical header, so vrk, which restores files byte for byte, sees plain PNM.
        path = os.path.join(corpus_dir, name + ext)
        with open(path, "wb") as f:
            f.write(b"P%d\n%d %d\n%d\n" % (5 if channels == 1 else 6, width, height, maxval))
            f.write(data[offset:])
        os.remove(tmp)
        bytes_per_sample = 1 if maxval < 256 else 2
        if bytes_per_sample == 2:
            _, _, _, _, samples = pnm_samples(data)
            levels = len(set(samples))
            if levels <= 256:
                # e.g. the flower_small depth files: 8-bit data scaled up, which some codecs notice.
                note = (note + "; " if note else "") + "only %d distinct levels" % levels
        record = dict(name=name, group=group, path=path, width=width, height=height, channels=channels,
                      maxval=maxval, bits=maxval.bit_length(), note=note,
                      raw_bytes=width * height * channels * bytes_per_sample, samples=width * height * channels)
        if maxval not in (255, 65535):
            # libjxl 0.7's PNM reader and writer mangle maxvals other than 255 and 65535: cjxl gets a PNG
            # with an sBIT chunk for these instead (made here, untimed).
            record["png"] = os.path.join(corpus_dir, name + ".png")
            pipeline([["pnmtopng", path]], record["png"])
        images.append(record)
    return images, skipped


# ---------------------------------------------------------------------------------------------------
# Codecs: each has encode and decode steps, each step one timed process.


class Codec:
    """label; kind ("vrk" or "peer"); family (the row's kind in results.json and the pictures: "vrk",
    "vrk 1 thread", "vrk extra" or the peer's label); threads (how it is run, in words); lossless;
    env (the environment of its processes, None for the caller's); needs ([(tool or file, Debian package)]);
    version (() -> the tool's version for the results, None for vrk);
    encode(image, work) -> (command, cwd, stdout path or None, encoded path);
    decode(image, work, encoded) -> (command, cwd, stdout path or None, decoded path)."""

    def __init__(self, label, kind, lossless=True, applies=lambda image: True):
        self.label, self.kind, self.lossless, self.applies = label, kind, lossless, applies
        self.family, self.threads, self.env, self.mode = label, "single-threaded", None, ""
        self.needs, self.version = [], None

    def prepare(self, image, work):
        pass


def vrk_environment(threads):
    """The environment of a vrk process: the caller's without VRK_THREADS (automatic threads), or with
    VRK_THREADS set to threads."""
    env = {k: v for k, v in os.environ.items() if k != THREADS_VARIABLE}
    if threads is not None:
        env[THREADS_VARIABLE] = str(threads)
    return env


class VrkCodec(Codec):
    def __init__(self, label, binary, switch, loss, family="vrk", threads=None):
        """threads: None for automatic (VRK_THREADS removed from the environment) or the VRK_THREADS value."""
        super().__init__(label, "vrk", lossless=(loss == 0))
        self.binary, self.switch, self.loss = binary, switch, loss
        self.family, self.env = family, vrk_environment(threads)
        self.threads = "automatic threads" if threads is None else "%s=%s" % (THREADS_VARIABLE, threads)
        self.mode = (switch or "default") + (" loss %d" % loss if loss else "")

    def prepare(self, image, work):
        # vrk writes name.vrk beside its input and restores name.pgm/ppm beside the .vrk: give it a copy.
        shutil.copyfile(image["path"], os.path.join(work, "img" + os.path.splitext(image["path"])[1]))

    def encode(self, image, work):
        ext = os.path.splitext(image["path"])[1]
        command = [self.binary] + ([self.switch] if self.switch else []) + ["img" + ext]
        if self.loss:
            command.append(str(self.loss))
        return command, work, None, os.path.join(work, "img.vrk")

    def decode(self, image, work, encoded):
        ext = os.path.splitext(image["path"])[1]
        os.remove(os.path.join(work, "img" + ext))  # else vrk would ask whether to overwrite it
        return [self.binary, "img.vrk"], work, None, os.path.join(work, "img" + ext)


def simple_codec(label, encoded_ext, encode, decode, needs, version, applies=lambda image: True):
    codec = Codec(label, "peer", applies=applies)
    codec.needs, codec.version = needs, version

    def enc(image, work):
        out = os.path.join(work, "enc" + encoded_ext)
        command, stdout = encode(image, out)
        return command, work, stdout, out

    def dec(image, work, encoded):
        out = os.path.join(work, "dec" + (".pgm" if image["channels"] == 1 else ".ppm"))
        command, stdout = decode(image, encoded, out)
        return command, work, stdout, out

    codec.encode, codec.decode = enc, dec
    return codec


def package_version(package):
    try:
        p = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=20)
        return p.stdout.decode().strip() or "?"
    except (OSError, subprocess.TimeoutExpired):
        return "?"


def first_line(command, pattern=None):
    """The first line of command's output that matches pattern, "?" if none does."""
    try:
        p = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=20)
    except (OSError, subprocess.TimeoutExpired):
        return "?"
    for line in p.stdout.decode(errors="replace").splitlines():
        if pattern is None or re.search(pattern, line):
            return line.strip()
    return "?"


def peer_codecs(charls_binary):
    codecs = [
        simple_codec("CharLS (JPEG-LS)", ".jls",
                     lambda im, out: ([charls_binary, "encode", im["path"], out], None),
                     lambda im, enc, out: ([charls_binary, "decode", enc, out], None),
                     [("g++", "g++"), ("/usr/include/charls/charls.h", "libcharls-dev")],
                     lambda: "CharLS %s (libcharls-dev)" % package_version("libcharls-dev")),
        simple_codec("OpenJPEG (JPEG 2000)", ".j2k",
                     lambda im, out: (["opj_compress", "-threads", "1", "-i", im["path"], "-o", out], None),
                     lambda im, enc, out: (["opj_decompress", "-threads", "1", "-i", enc, "-o", out], None),
                     [("opj_compress", "libopenjp2-tools"), ("opj_decompress", "libopenjp2-tools")],
                     lambda: "OpenJPEG %s" % package_version("libopenjp2-tools")),
        # OpenJPH reads and writes PGM/PPM at any maxval up to 65535 (the bit depth follows it) and has no
        # threads. Reversible: the 5/3 wavelet, and for colour the reversible colour transform (its default).
        simple_codec("HTJ2K (OpenJPH)", ".j2c",
                     lambda im, out: (["ojph_compress", "-i", im["path"], "-o", out, "-reversible", "true"], None),
                     lambda im, enc, out: (["ojph_expand", "-i", enc, "-o", out], None),
                     [("ojph_compress", "openjph-tools"), ("ojph_expand", "openjph-tools")],
                     lambda: "OpenJPH %s (openjph-tools)" % package_version("openjph-tools")),
    ]
    for effort in (1, 3):
        codecs.append(simple_codec(
            "cjxl -d 0 -e %d (JPEG XL)" % effort, ".jxl",
            lambda im, out, e=effort: (["cjxl", im.get("png", im["path"]), out, "-d", "0", "-e", str(e),
                                        "--num_threads=1", "--quiet"], None),
            lambda im, enc, out: (["djxl", enc, out, "--num_threads=1", "--quiet"]
                                  + (["--bits_per_sample=16"] if "png" in im else []), None),
            [("cjxl", "libjxl-tools"), ("djxl", "libjxl-tools")],
            lambda: first_line(["cjxl", "--version"], "cjxl")))
    codecs.append(simple_codec(
        "cwebp -lossless (WebP)", ".webp",
        lambda im, out: (["cwebp", "-lossless", "-quiet", im["path"], "-o", out], None),
        lambda im, enc, out: (["dwebp", "-quiet", "-ppm", enc, "-o", out], None),
        [("cwebp", "webp"), ("dwebp", "webp")],
        lambda: "cwebp %s" % first_line(["cwebp", "-version"]),
        applies=lambda im: im["maxval"] <= 255))
    codecs.append(simple_codec(
        "pnmtopng (PNG)", ".png",
        lambda im, out: (["pnmtopng", im["path"]], out),
        lambda im, enc, out: (["pngtopnm", enc], out),
        [("pnmtopng", "netpbm"), ("pngtopnm", "netpbm")],
        lambda: "netpbm %s" % package_version("netpbm")))
    return codecs


def select_codecs(codecs, words, reference_word):
    """The codecs whose label contains one of words (all when there are none), and the reference: the
    first codec whose label contains reference_word ("none": no reference). Words are case-insensitive.
    Returns (codecs, reference label or None); raises ValueError when no label holds reference_word."""
    words = [w.strip().lower() for w in words if w.strip()]
    reference_word = reference_word.strip().lower()
    reference = None
    if reference_word != "none":
        reference = next((c.label for c in codecs if reference_word in c.label.lower()), None)
        if reference is None:
            raise ValueError("no row is labelled with %r" % reference_word)
    chosen = [c for c in codecs if not words or any(w in c.label.lower() for w in words) or c.label == reference]
    return chosen, reference


def parse_vrk_mode(text):
    """'default', '-f', '-g', '-fg', optionally followed by a loss factor: '-g 4', 'default 4'."""
    parts = text.split()
    switch = "" if not parts or parts[0] == "default" else parts[0]
    if switch and not re.fullmatch(r"-[fg]{1,2}", switch):
        raise ValueError("bad vrk mode %r" % text)
    loss = int(parts[1]) if len(parts) > 1 else 0
    return switch, loss


def shown_path(path):
    """path relative to the repository when it lies inside it, else absolute."""
    path = os.path.abspath(path)
    return os.path.relpath(path, ROOT) if path.startswith(ROOT + os.sep) else path


def split_modes(text):
    return [mode.strip() for mode in text.split(",") if mode.strip()]


def vrk_label(name, switch, loss):
    return "%s %s%s" % (name, switch or "default", " loss %d" % loss if loss else "")


# ---------------------------------------------------------------------------------------------------
# Measuring


def timed(command, cwd, stdout_path, scratch, env=None):
    """Runs command under /usr/bin/time -f '%e %U %S %M' with the environment env (None: the caller's;
    /usr/bin/time hands it on to the command). Returns dict(rc, err, wall, cpu, rss_kib, time_e,
    time_cpu): peak RSS from /usr/bin/time; wall clock from perf_counter around the process and CPU (user +
    system) from the rusage that wait4 returns for /usr/bin/time and the command it waited for, both in
    microseconds where /usr/bin/time prints hundredths (its own figures are kept as time_e and time_cpu;
    the process of /usr/bin/time itself adds well under a millisecond)."""
    time_file = os.path.join(scratch, "time.txt")
    err_file = os.path.join(scratch, "stderr.txt")
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    with open(err_file, "wb") as err:
        try:
            start = time.perf_counter()
            p = subprocess.Popen([TIME, "-f", "%e %U %S %M", "-o", time_file] + command, cwd=cwd, env=env,
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            watchdog = threading.Timer(600, p.kill)  # a hung process fails its run instead of the benchmark
            watchdog.start()
            try:
                _, status, usage = os.wait4(p.pid, 0)
            finally:
                watchdog.cancel()
            wall = time.perf_counter() - start
            p.returncode = os.waitstatus_to_exitcode(status)
        finally:
            if stdout_path:
                out.close()
    with open(err_file, "rb") as f:
        messages = f.read().decode(errors="replace").strip().splitlines()
    os.remove(err_file)
    result = dict(rc=p.returncode, err=(messages[-1] if messages else "")[:200], wall=wall,
                  cpu=usage.ru_utime + usage.ru_stime, rss_kib=0, time_e=None, time_cpu=None)
    if os.path.exists(time_file):
        with open(time_file) as f:
            lines = [line for line in f.read().splitlines() if line.strip()]
        os.remove(time_file)
        fields = lines[-1].split() if lines else []
        if len(fields) == 4:
            result.update(time_e=float(fields[0]), time_cpu=float(fields[1]) + float(fields[2]),
                          rss_kib=int(fields[3]))
    return result


def run_codec_on_image(codec, image, runs, scratch):
    """Median figures of runs encodes and decodes, and the round trip check of the first run."""
    work = os.path.join(scratch, "work")
    encs, decs, size, check, failure = [], [], None, None, None
    for run in range(runs):
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        codec.prepare(image, work)
        command, cwd, stdout, encoded = codec.encode(image, work)
        e = timed(command, cwd, stdout, scratch, codec.env)
        if e["rc"] != 0 or not os.path.exists(encoded):
            failure = "encode failed (rc %d): %s" % (e["rc"], e["err"])
            break
        this_size = os.path.getsize(encoded)
        if size is not None and this_size != size:
            failure = "encoded size changed between runs (%d, %d)" % (size, this_size)
            break
        size = this_size
        command, cwd, stdout, decoded = codec.decode(image, work, encoded)
        d = timed(command, cwd, stdout, scratch, codec.env)
        if d["rc"] != 0 or not os.path.exists(decoded):
            failure = "decode failed (rc %d): %s" % (d["rc"], d["err"])
            break
        if run == 0:
            if codec.lossless:
                if codec.kind == "vrk":
                    with open(image["path"], "rb") as a, open(decoded, "rb") as b:
                        same = a.read() == b.read()
                    check = "ok" if same else "NOT byte for byte"
                else:
                    try:
                        difference = compare_pixels(image["path"], decoded)
                    except ValueError as error:
                        difference = "decoded file unreadable: %s" % error
                    check = "ok" if difference is None else "NOT LOSSLESS: " + difference
            else:
                try:
                    psnr, largest = error_stats(image["path"], decoded)
                    check = "psnr=%s max_err=%s" % ("inf" if psnr == float("inf") else "%.2f" % psnr, largest)
                except ValueError as error:
                    check = "decoded file unreadable: %s" % error
        encs.append(e)
        decs.append(d)
    shutil.rmtree(work, ignore_errors=True)
    if failure:
        return dict(failure=failure)

    def median(items, key):
        return statistics.median(item[key] for item in items)

    return dict(size=size, check=check,
                enc_wall=median(encs, "wall"), enc_cpu=median(encs, "cpu"), enc_rss=median(encs, "rss_kib"),
                dec_wall=median(decs, "wall"), dec_cpu=median(decs, "cpu"), dec_rss=median(decs, "rss_kib"))


# ---------------------------------------------------------------------------------------------------
# Tables


def aggregate(images, results, label, names):
    """Group figures of one codec over the images in names: totals of raw bytes over totals of times."""
    rows = [(im, results[label][im["name"]]) for im in images if im["name"] in names]
    if not rows:
        return None
    raw = sum(im["raw_bytes"] for im, _ in rows)
    samples = sum(im["samples"] for im, _ in rows)

    def rate(total_seconds):
        return raw / 1e6 / total_seconds if total_seconds > 0 else float("inf")

    return dict(
        bps=8.0 * sum(r["size"] for _, r in rows) / samples,
        enc=rate(sum(r["enc_wall"] for _, r in rows)), enc_cpu=rate(sum(r["enc_cpu"] for _, r in rows)),
        dec=rate(sum(r["dec_wall"] for _, r in rows)), dec_cpu=rate(sum(r["dec_cpu"] for _, r in rows)),
        enc_rss=max(r["enc_rss"] for _, r in rows) / 1024.0, dec_rss=max(r["dec_rss"] for _, r in rows) / 1024.0)


def cell(value, reference, digits):
    text = ("%%.%df" % digits) % value
    if reference is None:
        return text
    if reference == 0 or math.isinf(value) or math.isinf(reference):
        return text + " (–)"
    return "%s (%.2f×)" % (text, value / reference)


def row_summary(group_images, results, label, reference_label):
    """One row of a group table: dict(applicable, good, images, note, lossless, figures, reference), where
    figures are aggregate()'s over the images the row went through (None if none did) and reference are
    the reference codec's figures over the same images (None if it did not go through all of them).
    Returns None when the codec applies to none of the group's images."""
    applicable = [im for im in group_images if im["name"] in results[label]]
    if not applicable:
        return None
    good = [im["name"] for im in applicable if "failure" not in results[label][im["name"]]]
    failures = [(im["name"], results[label][im["name"]]["failure"]) for im in applicable
                if "failure" in results[label][im["name"]]]
    checks = [results[label][name]["check"] for name in good]
    bad = [c for c in checks if not (c == "ok" or c.startswith("psnr"))]
    lossless = not (checks and checks[0].startswith("psnr"))
    if failures:
        note = "FAILED on %d: %s" % (len(failures), failures[0][1])
    elif bad:
        note = "%d not lossless: %s" % (len(bad), bad[0])
    elif not lossless:
        worst = min(float(c.split()[0].split("=")[1]) for c in checks)
        largest = max(int(c.split()[1].split("=")[1]) for c in checks)
        note = "lossy: PSNR ≥ %.1f dB, max error %d" % (worst, largest)
    else:
        note = "byte exact" if label.startswith("vrk") else "pixel exact"
    figures = aggregate(group_images, results, label, set(good))
    reference = None
    if label != reference_label and reference_label in results:
        ref_names = set(good) & {n for n, r in results[reference_label].items() if "failure" not in r}
        reference = aggregate(group_images, results, reference_label, ref_names) if ref_names == set(good) else None
    return dict(applicable=len(applicable), good=len(good), images=len(group_images), note=note,
                lossless=lossless, problems=len(failures) + len(bad), figures=figures, reference=reference)


def group_summaries(images, results, labels, reference_label):
    """Per image group, the row_summary of every label: [(group, title, group images, {label: summary})]
    for the groups that have images, in GROUPS order."""
    summaries = []
    for group, title in GROUPS:
        group_images = [im for im in images if im["group"] == group]
        if not group_images:
            continue
        rows = {}
        for label in labels:
            summary = row_summary(group_images, results, label, reference_label)
            if summary is not None:
                rows[label] = summary
        summaries.append((group, title, group_images, rows))
    return summaries


def group_table(rows, labels):
    lines = ["| codec | images | bits/sample | encode MB/s | encode CPU MB/s | decode MB/s | decode CPU MB/s "
             "| peak RSS encode MiB | peak RSS decode MiB | round trip |",
             "|---|---|---|---|---|---|---|---|---|---|"]
    for label in labels:
        row = rows.get(label)
        if row is None:
            continue
        figures, reference = row["figures"], row["reference"]
        if figures is None:
            lines.append("| %s | 0/%d | | | | | | | | %s |" % (label, row["applicable"], row["note"]))
            continue

        def c(key, digits):
            return cell(figures[key], reference[key] if reference else None, digits)

        lines.append("| %s | %d/%d | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            label, row["good"], row["images"], c("bps", 3), c("enc", 1), c("enc_cpu", 1), c("dec", 1),
            c("dec_cpu", 1), c("enc_rss", 1), c("dec_rss", 1), row["note"]))
    return lines


def passed_images(group_images, results, label):
    """Names of the group's images that the row went through and whose round trip passed its check."""
    names = set()
    for im in group_images:
        r = results[label].get(im["name"])
        if r and "failure" not in r and (r["check"] == "ok" or r["check"].startswith("psnr")):
            names.add(im["name"])
    return names


def beaten_points(summaries, results, codecs, key):
    """Per image group and vrk row (the shipped and the 1 thread rows), the peers that are both smaller and
    faster (key: "dec" or "enc", wall clock) than it. Each pair is compared over the images both passed, so a
    peer that skipped or failed an image is not judged on a different set. Returns a list of dict(group,
    title, label, bps, speed, images, beaten_by), beaten_by a list of dict(label, bps, speed, images, vrk_bps,
    vrk_speed) with the pair's figures over their common images."""
    vrk_labels = [c.label for c in codecs if c.family in ("vrk", "vrk 1 thread")]
    peer_labels = [c.label for c in codecs if c.kind == "peer"]
    points = []
    for group, title, group_images, rows in summaries:
        for label in vrk_labels:
            mine = passed_images(group_images, results, label) if label in rows else set()
            if not mine:
                continue
            own = aggregate(group_images, results, label, mine)
            beaten_by = []
            for peer in peer_labels:
                common = mine & passed_images(group_images, results, peer) if peer in rows else set()
                if not common:
                    continue
                v = aggregate(group_images, results, label, common)
                p = aggregate(group_images, results, peer, common)
                if p["bps"] < v["bps"] and p[key] > v[key]:
                    beaten_by.append(dict(label=peer, bps=p["bps"], speed=p[key], images=len(common),
                                          vrk_bps=v["bps"], vrk_speed=v[key]))
            points.append(dict(group=group, title=title, label=label, bps=own["bps"], speed=own[key],
                               images=len(mine), beaten_by=beaten_by))
    return points


def beaten_section(decode_points, encode_points):
    """The Markdown section of who beats vrk: a table of every point for decoding, of the beaten ones for
    encoding. Returns (lines, the two summary sentences)."""

    def summary(points, what):
        beaten = sum(1 for p in points if p["beaten_by"])
        return "%d of %d vrk points (image group × vrk row) are beaten on both counts: some peer is smaller " \
               "and faster to %s." % (beaten, len(points), what)

    def table(points, what, every):
        lines = ["| group | vrk row | bits/sample | %s MB/s | peers smaller and faster to %s (bits/sample, MB/s) |"
                 % (what, what),
                 "|---|---|---|---|---|"]
        for point in points:
            if not (every or point["beaten_by"]):
                continue
            cells = []
            for peer in point["beaten_by"]:
                text = "%s: %.3f, %.1f" % (peer["label"], peer["bps"], peer["speed"])
                if peer["images"] != point["images"]:
                    text += " (on the %d of %d images both passed, where vrk has %.3f, %.1f)" % (
                        peer["images"], point["images"], peer["vrk_bps"], peer["vrk_speed"])
                cells.append(text)
            lines.append("| %s | %s | %.3f | %.1f | %s |" % (point["title"], point["label"], point["bps"],
                                                               point["speed"], "; ".join(cells) or "none"))
        return lines

    summaries = [summary(decode_points, "decode"), summary(encode_points, "encode")]
    lines = ["## Who beats vrk", "",
             "Per image group and vrk row (the shipped rows and the `vrk 1 thread` rows): every peer that is both "
             "smaller (fewer bits per sample) and faster (MB/s, wall clock) in this run, compared over the images "
             "both passed. Lossy vrk rows are set against the lossless peers as they are.", "",
             "**Decode: %s**" % summaries[0], ""] + table(decode_points, "decode", True)
    lines += ["", "**Encode: %s**" % summaries[1]]
    if any(p["beaten_by"] for p in encode_points):
        lines += ["", "The beaten points:", ""] + table(encode_points, "encode", False)
    return lines, summaries


def per_image_table(images, results, labels):
    short = [label.split(" (")[0] for label in labels]
    lines = ["| image | size | bits | " + " | ".join(short) + " |", "|---|---|---|" + "---|" * len(labels)]
    for im in images:
        cells = []
        for label in labels:
            r = results[label].get(im["name"])
            if r is None:
                cells.append("–")
            elif "failure" in r:
                cells.append("fail")
            else:
                bad = not (r["check"] == "ok" or r["check"].startswith("psnr"))
                cells.append("%.3f%s" % (8.0 * r["size"] / im["samples"], " ✗" if bad else ""))
        lines.append("| %s (%s) | %dx%d%s | %d | %s |" % (im["name"], im["group"], im["width"], im["height"],
                                                        "x3" if im["channels"] == 3 else "", im["bits"],
                                                        " | ".join(cells)))
    return lines


def machine_description():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = ""
    try:
        with open("/proc/meminfo") as f:
            kib = int(f.readline().split()[1])
        memory = ", %.0f GiB memory" % (kib / 1024.0 / 1024.0)
    except (OSError, ValueError, IndexError):
        pass
    return "%s, nproc %d%s, Linux %s" % (model, os.cpu_count() or 0, memory, platform.release())


def tool_versions(codecs):
    return [codec.version() for codec in codecs if codec.version is not None]


def vrk_revision():
    try:
        head = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=20).stdout.decode().strip()
        dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=20).stdout.strip()
        return head + (" with uncommitted changes" if dirty else "") if head else "unknown"
    except (OSError, subprocess.TimeoutExpired):
        return "unknown"


# ---------------------------------------------------------------------------------------------------
# Pictures


def draw_pictures(json_path, directory):
    """Runs bench/plot_results.py with Debian's Python, which has matplotlib when python3-matplotlib is
    installed. Returns the paths of the pictures drawn; a missing matplotlib or a failed plot only logs."""
    decode = os.path.join(directory, "decode_speed.png")
    encode = os.path.join(directory, "encode_speed.png")
    command = [SYSTEM_PYTHON, PLOT_SCRIPT, "--results", json_path, "--decode-out", decode, "--encode-out", encode]
    has_matplotlib = os.path.exists(SYSTEM_PYTHON) and subprocess.run(
        [SYSTEM_PYTHON, "-c", "import matplotlib"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    if not has_matplotlib:
        log("no pictures: %s has no matplotlib. Install it with:  apt-get install python3-matplotlib\n"
            "then draw them with:  %s" % (SYSTEM_PYTHON, " ".join(command)))
        return []
    log("drawing the pictures ...")
    p = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if p.returncode != 0:
        log(p.stdout.decode(errors="replace").rstrip())
        log("no pictures: bench/plot_results.py failed (rc %d)" % p.returncode)
        return []
    return [decode, encode]


# ---------------------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5, help="runs per image and codec; the median counts (5)")
    parser.add_argument("--quick", action="store_true", help="one run per image and codec")
    parser.add_argument("--vrk", default=os.path.join(ROOT, "build/release/vrk"),
                        help="the vrk binary (default build/release/vrk)")
    parser.add_argument("--vrk-modes", default="default,-f,-g,-fg,default 4",
                        help="comma-separated vrk modes: a switch or 'default', optionally with a loss factor "
                             "('-g 4'); default: %(default)s")
    parser.add_argument("--one-thread-modes", default="default,-f,-g,-fg",
                        help="vrk modes, as --vrk-modes, to run once more with VRK_THREADS=1 as the 'vrk 1 thread' "
                             "rows; empty for none (default: %(default)s)")
    parser.add_argument("--extra-vrk", action="append", default=[], metavar="LABEL=PATH",
                        help="another vrk binary (e.g. an older build) to run, with automatic threads like the "
                             "shipped rows, as extra rows labelled vrk[LABEL]; may be repeated")
    parser.add_argument("--extra-modes", default="default",
                        help="modes for the --extra-vrk binaries, as --vrk-modes (default: %(default)s)")
    parser.add_argument("--no-vrk", action="store_true", help="run the peers only")
    parser.add_argument("--codecs", default="", help="only rows whose label contains one of these "
                                                     "comma-separated words (e.g. 'vrk -f,cjxl,htj2k'); the "
                                                     "reference always runs")
    parser.add_argument("--reference", default="CharLS", metavar="WORD",
                        help="the row the figures in brackets are ratios to: the first whose label contains WORD "
                             "(default %(default)s); 'none' for no ratios")
    parser.add_argument("--groups", default="", help="only these comma-separated groups: "
                                                     + ",".join(g for g, _ in GROUPS))
    parser.add_argument("--work", default=os.path.join(ROOT, "build/bench"), help="scratch folder (build/bench)")
    parser.add_argument("--out", default=os.path.join(ROOT, "bench/results.md"), help="Markdown table file")
    parser.add_argument("--pictures", default=None, metavar="DIR",
                        help="folder for decode_speed.png and encode_speed.png (default: the folder of --out)")
    parser.add_argument("--no-pictures", action="store_true", help="draw no pictures")
    args = parser.parse_args()
    runs = 1 if args.quick else args.runs
    if runs < 1:
        parser.error("--runs must be at least 1")

    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    charls_binary = os.path.join(bin_dir, "charls_bench")

    codecs = peer_codecs(charls_binary)
    vrk_note = ""
    # (name, path, modes with automatic threads, modes with VRK_THREADS=1, family of the automatic rows)
    binaries = [] if args.no_vrk else [("vrk", args.vrk, args.vrk_modes, args.one_thread_modes, "vrk")]
    for extra in args.extra_vrk:
        label, _, path = extra.rpartition("=")
        binaries.append(("vrk[%s]" % (label or os.path.basename(path)), path, args.extra_modes, "", "vrk extra"))
    if binaries and THREADS_VARIABLE in os.environ:
        log("note: %s=%s is set here; the vrk rows run without it (automatic threads), the '1 thread' rows with "
            "%s=1" % (THREADS_VARIABLE, os.environ[THREADS_VARIABLE], THREADS_VARIABLE))
    vrk_codecs = []
    for name, path, modes, one_thread_modes, family in binaries:
        if not (os.path.isfile(path) and os.access(path, os.X_OK)):
            log("no vrk binary at %s: skipping the %s rows (build it with: cmake --preset release && "
                "cmake --build --preset release --target vrk)" % (path, name))
            vrk_note += "\n- %s: no binary at `%s`, rows skipped." % (name, path)
            continue
        # Run a frozen copy, so a rebuild during the benchmark changes nothing.
        frozen = os.path.join(bin_dir, re.sub(r"[^A-Za-z0-9_.-]", "_", name))
        shutil.copyfile(path, frozen)
        os.chmod(frozen, 0o755)
        for mode in split_modes(modes):
            switch, loss = parse_vrk_mode(mode)
            vrk_codecs.append(VrkCodec(vrk_label(name, switch, loss), frozen, switch, loss, family=family))
        if split_modes(one_thread_modes):
            with open(frozen, "rb") as f:
                reads_threads = THREADS_VARIABLE.encode() in f.read()
            if not reads_threads:
                log("note: %s does not read %s (built before the two stages?): its '1 thread' rows will time "
                    "the same thing as its other rows" % (path, THREADS_VARIABLE))
                vrk_note += "\n- %s: the binary does not read %s, so its '1 thread' rows run it as its other " \
                            "rows do." % (name, THREADS_VARIABLE)
        for mode in split_modes(one_thread_modes):
            switch, loss = parse_vrk_mode(mode)
            vrk_codecs.append(VrkCodec(vrk_label(name + " 1 thread", switch, loss), frozen, switch, loss,
                                       family=family + " 1 thread", threads=1))
    try:
        codecs, reference = select_codecs(vrk_codecs + codecs, args.codecs.split(","), args.reference)
    except ValueError as error:
        parser.error("--reference: %s" % error)

    missing = missing_packages(codecs)
    if missing:
        log("Missing Debian packages: %s\nInstall them with:  apt-get install %s" % (" ".join(missing), " ".join(missing)))
        return 2

    if any(c.label == REFERENCE for c in codecs):
        source = os.path.join(ROOT, "bench/charls_bench.cpp")
        log("building the CharLS driver ...")
        build = subprocess.run(["g++", "-O2", "-std=c++20", "-o", charls_binary, source, "-lcharls"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if build.returncode != 0:
            log(build.stdout.decode(errors="replace"))
            log("could not build %s" % source)
            return 2

    log("building the corpus ...")
    images, skipped = build_corpus(os.path.join(work, "corpus"))
    if args.groups:
        wanted = set(args.groups.split(","))
        images = [im for im in images if im["group"] in wanted]
    for reason in skipped:
        log("  skipped " + reason)
    log("  %d images, %.1f MB of raw samples" % (len(images), sum(im["raw_bytes"] for im in images) / 1e6))

    scratch = os.path.join(work, "scratch")
    os.makedirs(scratch, exist_ok=True)
    results = {c.label: {} for c in codecs}
    load = " ".join("%.2f" % x for x in os.getloadavg())
    if os.getloadavg()[0] > 0.5:
        log("note: load average %s: something else is running, the timings will suffer" % load)
    started = time.time()
    for index, image in enumerate(images):
        log("[%d/%d] %s (%dx%d, %d channel(s), maxval %d)" % (index + 1, len(images), image["name"], image["width"],
                                                             image["height"], image["channels"], image["maxval"]))
        for codec in codecs:
            if not codec.applies(image):
                continue
            r = run_codec_on_image(codec, image, runs, scratch)
            results[codec.label][image["name"]] = r
            if "failure" in r:
                log("    %-32s %s" % (codec.label, r["failure"]))
            else:
                log("    %-32s %8.3f bits/sample  enc %7.3f s  dec %7.3f s  %s" % (
                    codec.label, 8.0 * r["size"] / image["samples"], r["enc_wall"], r["dec_wall"], r["check"]))
    elapsed = time.time() - started

    labels = [c.label for c in codecs]
    cores = os.cpu_count() or 0
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    out = ["# vrk benchmark", "",
           "- Date: %s; %d run(s) per image and codec, median; benchmark time %.0f s." % (now, runs, elapsed),
           "- Machine: %s." % machine_description(),
           "- vrk: `%s`, source revision %s." % (shown_path(args.vrk) if not args.no_vrk else "not run",
                                                 vrk_revision()),
           "- Peers: %s." % ("; ".join(tool_versions(codecs)) or "none"),
           "- Load average when the benchmark started: %s (other work on the machine skews the figures)." % load,
           "- Threads: the peers run single-threaded (OpenJPEG with `-threads 1`, cjxl and djxl with "
           "`--num_threads=1`; CharLS, OpenJPH, cwebp/dwebp without `-mt` and netpbm use one thread anyway).%s" % ((
               " vrk's shipped rows (`vrk default`, `vrk -f`, ...) use automatic threads: %s is removed from their "
               "environment, so vrk runs its pixel stage and its entropy stage on two threads when the machine has "
               "two or more cores (this one has %d: %s). %sThe compressed files are the same either way; CPU time "
               "counts every thread." % (
                   THREADS_VARIABLE, cores, "two stages" if cores >= 2 else "one thread",
                   "The `vrk 1 thread` rows run the same binary with %s=1. " % THREADS_VARIABLE
                   if any(c.family == "vrk 1 thread" for c in codecs) else ""))
               if any(c.kind == "vrk" for c in codecs) else ""),
           "- Each encode and each decode is one process, timed whole (reading the "
           "input file and writing the output included) under `/usr/bin/time -f '%e %U %S %M'`: peak RSS from it, "
           "wall clock and user + system CPU time to the microsecond from the parent's clock and `wait4`.",
           "- MB/s = megabytes (10^6) of raw samples (1 byte per sample up to 8 bits, 2 above) per second of wall "
           "clock, or of user + system CPU time; totals over the group's images. Peak RSS is the largest over the "
           "group. %s" % ("In brackets: the ratio to %s's figure over the same images." % reference if reference
                          else "No ratios (`--reference none`)."),
           "- Round trip: vrk's restored file must equal the original byte for byte; the peers' decoded "
           "pixels must equal the original's.", ]
    if any("png" in im for im in images) and any(c.label.startswith("cjxl") for c in codecs):
        out.append("- cjxl gets 9..15-bit grey images as PNG with an sBIT chunk and djxl writes them as 16-bit "
                   "PGM (libjxl 0.7 mis-reads and mis-writes PNM with those maxvals); the check rescales.")
    if any(c.family == "vrk extra" for c in codecs):
        out.append("- `vrk[LABEL]` rows: another vrk binary (`--extra-vrk`), run like the shipped rows (%s "
                   "removed)." % THREADS_VARIABLE)
    if vrk_note:
        out.append(vrk_note.strip())
    summaries = group_summaries(images, results, labels, reference)
    for group, title, group_images, rows in summaries:
        out += ["", "## %s" % title, ""] + group_table(rows, labels)
    beaten = dict(dec=beaten_points(summaries, results, codecs, "dec"),
                  enc=beaten_points(summaries, results, codecs, "enc"))
    beaten_summaries = []
    if beaten["dec"]:
        lines, beaten_summaries = beaten_section(beaten["dec"], beaten["enc"])
        out += [""] + lines

    # The raw figures and every row's group figures, which bench/plot_results.py draws.
    json_path = os.path.join(work, "results.json")
    with open(json_path, "w") as f:
        json.dump(dict(
            date=now, runs=runs, machine=machine_description(), cores=cores, load=load, revision=vrk_revision(),
            reference=reference, images=images, results=results,
            codecs=[dict(label=c.label, kind=c.kind, family=c.family, threads=c.threads, mode=c.mode,
                         lossless=c.lossless) for c in codecs],
            groups=[dict(group=group, title=title, images=[im["name"] for im in group_images],
                         raw_bytes=sum(im["raw_bytes"] for im in group_images), rows=rows)
                    for group, title, group_images, rows in summaries],
            beaten=beaten), f, indent=1)

    pictures = []
    if not args.no_pictures and summaries:
        directory = os.path.abspath(args.pictures or os.path.dirname(os.path.abspath(args.out)))
        pictures = draw_pictures(json_path, directory)
    if pictures:
        base = os.path.dirname(os.path.abspath(args.out))
        out += ["", "## Pictures", "",
                "Bits per sample against decode and encode MB/s per group (wall clock, whole process; peers "
                "single-threaded; `bench/plot_results.py`):", ""]
        out += ["![%s](%s)" % (os.path.splitext(os.path.basename(p))[0].replace("_", " "), os.path.relpath(p, base))
                for p in pictures]
    out += ["", "## Bits per sample per image", ""] + per_image_table(images, results, labels)
    out += ["", "Corpus (%s): " % shown_path(os.path.join(work, "corpus")) + ", ".join(
        "%s%s" % (im["name"], " [%s]" % im["note"] if im["note"] else "") for im in images) + "."]
    if skipped:
        out.append("Skipped: " + "; ".join(skipped) + ".")
    text = "\n".join(out) + "\n"
    print(text)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as f:
        f.write(text)
    for line in beaten_summaries:
        log("who beats vrk: " + line)
    log("wrote %s" % ", ".join([args.out, json_path] + pictures))
    failed = any("failure" in r or not (r["check"] == "ok" or r["check"].startswith("psnr"))
                 for per_image in results.values() for r in per_image.values())
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
