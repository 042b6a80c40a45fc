#!/usr/bin/env python3
"""vrk in WebAssembly against native: decode and encode speed on one thread, in one run.

Run from the repository root, after building the release preset (the Python package) and the wasm
preset (js/dist):

    PYTHONPATH=build/release/python/site /usr/bin/python3 bench/wasm_benchmark.py [--runs N | --quick]

The photographs are the side-by-side benchmark's (bench/run_benchmark.py builds them from Debian's
libjxl-testdata): 8-bit grey, 9..16-bit grey and colour. For each image and mode, native is the
Python module's vrk.encode and vrk.decode with threads=1, and WebAssembly is the package's encode and
decode in node (bench/wasm_bench.mjs, the module loaded once); both run in their own process and only
the library call is timed. The runs alternate native and WebAssembly, the median counts, and
WebAssembly's compressed bytes must equal native's (decoded samples too), or the run stops.
Writes bench/wasm_results.md, with the sizes of the package's files.
"""

import argparse
import datetime
import gzip
import hashlib
import json
import os
import statistics
import subprocess
import sys
import time

try:
    import numpy as np
    import vrk
except ImportError:  # the summary and the tests of it need neither; main() says what is missing
    np = vrk = None

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
sys.path.insert(0, BENCH)
import run_benchmark  # noqa: E402  (the corpus and its groups)

NODE_SCRIPT = os.path.join(BENCH, "wasm_bench.mjs")
# V8 runs new WebAssembly code from its baseline compiler until a function has run enough to be
# optimised, and a long call never switches mid-way: without this, some medians time baseline code.
# The optimised code is what a page runs after its first calls, and what native is compared with.
NODE_FLAGS = ["--no-liftoff"]
PHOTO_GROUPS = [(group, title) for group, title in run_benchmark.GROUPS if group != "synthetic"]
# (label, loss factor, fast): lossless arithmetic coding, the prefix coder, and a lossy setting.
MODES = [("default", 0, False), ("-f", 0, True), ("default loss 5", 5, False)]
DECODE_GOAL = 0.7  # WebAssembly decode MB/s over native's, one thread each
SIZE_GOAL = 250_000  # bytes of .wasm, loader and package JavaScript together, before compression


class Mismatch(RuntimeError):
    """WebAssembly and native disagree on an image's bytes or samples."""


def log(*parts):
    print(*parts, file=sys.stderr, flush=True)


class Node:
    """bench/wasm_bench.mjs as a child process: one JSON request and one JSON answer per line."""

    def __init__(self, node="node"):
        self.process = subprocess.Popen([node] + NODE_FLAGS + [NODE_SCRIPT], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1)

    def ask(self, **request):
        self.process.stdin.write(json.dumps(request) + "\n")
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError("node stopped (rc %s)" % self.process.wait())
        answer = json.loads(line)
        if "error" in answer:
            raise RuntimeError("WebAssembly side: " + answer["error"])
        return answer

    def close(self):
        self.process.stdin.close()
        self.process.wait()
        self.process.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def read_pixels(image):
    """The PNM image's samples as the array vrk.encode takes: uint8 (H, W) or (H, W, 3), uint16 (H, W)."""
    with open(image["path"], "rb") as f:
        data = f.read()
    channels, width, height, maxval, offset = run_benchmark.parse_pnm(data)
    wide = maxval > 255
    pixels = np.frombuffer(data, np.dtype(">u2") if wide else np.uint8, width * height * channels, offset)
    pixels = pixels.astype(np.uint16 if wide else np.uint8)
    return pixels.reshape((height, width) if channels == 1 else (height, width, 3))


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


def seconds(call):
    """(wall clock, CPU time of the process) of one call, in seconds."""
    wall, cpu = time.perf_counter(), time.process_time()
    call()
    return time.perf_counter() - wall, time.process_time() - cpu


def measure(node, image, mode, runs, scratch):
    """Checks one image in one mode both ways, then times it: the medians of `runs` alternating runs."""
    label, loss, fast = mode
    pixels = read_pixels(image)
    # The file's bit depth, not the fewest bits that hold the samples (vrk.encode's default).
    bits = image["bits"] if pixels.dtype == np.uint16 else None
    samples_path = os.path.join(scratch, image["name"] + ".raw")
    with open(samples_path, "wb") as f:
        f.write(pixels.tobytes())  # native order, as the typed arrays read it
    vrk_path = os.path.join(scratch, "wasm.vrk")
    case = node.ask(op="case", samples=samples_path, width=image["width"], height=image["height"],
                    channels=image["channels"], bitsPerSample=image["bits"], lossFactor=loss, fast=fast,
                    out=vrk_path)
    native = vrk.encode(pixels, loss_factor=loss, fast=fast, bits_per_sample=bits, threads=1)
    with open(vrk_path, "rb") as f:
        wasm = f.read()
    where = "%s, %s" % (image["name"], label)
    if wasm != native:
        raise Mismatch("%s: WebAssembly's %d compressed bytes differ from native's %d, first at byte %d"
                       % (where, len(wasm), len(native), first_difference(wasm, native)))
    decoded = vrk.decode(native, threads=1)
    if loss == 0 and not np.array_equal(decoded, pixels):
        raise Mismatch("%s: native decode does not give back the image" % where)
    if hashlib.sha1(decoded.tobytes()).hexdigest() != case["decodedSha1"]:
        raise Mismatch("%s: WebAssembly decodes other samples than native" % where)

    native_calls = dict(enc=lambda: vrk.encode(pixels, loss_factor=loss, fast=fast, bits_per_sample=bits, threads=1),
                        dec=lambda: vrk.decode(native, threads=1))
    times = {side + "_" + step + kind: [] for side in ("native", "wasm") for step in ("enc", "dec")
             for kind in ("", "_cpu")}
    for run in range(runs):
        # Each side goes first every other run, so neither always follows the other's cache damage.
        sides = ("native", "wasm") if run % 2 == 0 else ("wasm", "native")
        for step in ("enc", "dec"):
            for side in sides:
                if side == "native":
                    wall, cpu = seconds(native_calls[step])
                else:
                    answer = node.ask(op=step + "ode")
                    wall, cpu = answer["ms"] / 1000, answer["cpuMs"] / 1000
                times[side + "_" + step].append(wall)
                times[side + "_" + step + "_cpu"].append(cpu)
    result = {key: statistics.median(values) for key, values in times.items()}
    result["size"] = len(native)
    return result


def summarise(images, results):
    """One row per photo group and mode: totals over the group's images, MB/s of raw samples."""
    rows = []
    for group, title in PHOTO_GROUPS:
        members = [im for im in images if im["group"] == group]
        if not members:
            continue
        raw = sum(im["raw_bytes"] for im in members)
        for label, _, _ in MODES:
            measured = [results[label][im["name"]] for im in members]
            speed = {key: raw / 1e6 / sum(m[key] for m in measured) for key in measured[0] if key != "size"}
            ratios = {step + "_" + kind: speed["wasm_" + step + suffix] / speed["native_" + step + suffix]
                      for step in ("enc", "dec") for kind, suffix in (("ratio", ""), ("cpu_ratio", "_cpu"))}
            rows.append(dict(group=group, title=title, mode=label, images=len(members), raw_bytes=raw,
                             bps=8 * sum(m["size"] for m in measured) / sum(im["samples"] for im in members),
                             **speed, **ratios))
    return rows


def package_files():
    """(path from the root, bytes, gzip -9 bytes) of what the package ships for the browser."""
    paths = ["js/dist/vrk_wasm.wasm", "js/dist/vrk_wasm.js"]
    paths += sorted("js/src/" + name for name in os.listdir(os.path.join(ROOT, "js/src"))
                    if name.endswith(".js") and not name.endswith(".d.ts"))
    files = []
    for path in paths:
        with open(os.path.join(ROOT, path), "rb") as f:
            data = f.read()
        files.append((path, len(data), len(gzip.compress(data, 9, mtime=0))))
    return files


def goals(rows, files):
    """[(goal, what was measured, met)]."""
    worst = min(rows, key=lambda r: r["dec_ratio"])
    below = ["%s %s (%.3f×)" % (r["title"], r["mode"], r["dec_ratio"]) for r in rows if r["dec_ratio"] < DECODE_GOAL]
    decode = "lowest %.3f× (%s, %s)" % (worst["dec_ratio"], worst["title"], worst["mode"])
    if below:
        decode += "; below the goal: " + ", ".join(below)
    total = sum(size for _, size, _ in files)
    return [("WebAssembly decode at least %.1f× native, one thread, every row" % DECODE_GOAL, decode, not below),
            ("package files under %d KB (%s bytes) together, before compression" % (SIZE_GOAL // 1000,
                                                                                   format(SIZE_GOAL, ",")),
             "%s bytes (%.1f KB)" % (format(total, ","), total / 1000), total < SIZE_GOAL)]


def markdown(rows, files, header):
    lines = ["# vrk in WebAssembly against native, one thread", ""] + ["- " + line for line in header]
    lines += ["", "## Goals", "", "| goal | measured | met |", "|---|---|---|"]
    lines += ["| %s | %s | %s |" % (goal, measured, "yes" if met else "**no**")
              for goal, measured, met in goals(rows, files)]
    lines += ["", "## Speed", "",
              "MB/s of raw samples (10^6 bytes; 1 byte per sample at 8 bits, 2 above), totals over the group; "
              "ratio: WebAssembly's MB/s over native's, over wall clock (the goal's) and over CPU time (the "
              "process's, each side's median; it leaves out time spent waiting for a core). Compressed bytes: "
              "WebAssembly's equal native's for every image and mode (checked before timing).", "",
              "| group | mode | images | bits/sample | native encode MB/s | wasm encode MB/s | encode wasm/native "
              "| encode CPU wasm/native | native decode MB/s | wasm decode MB/s | decode wasm/native "
              "| decode CPU wasm/native |",
              "|---|---|---|---|---|---|---|---|---|---|---|---|"]
    for r in rows:
        lines.append("| %s | %s | %d | %.3f | %.1f | %.1f | %.2f× | %.2f× | %.1f | %.1f | %.2f× | %.2f× |"
                     % (r["title"], r["mode"], r["images"], r["bps"], r["native_enc"], r["wasm_enc"], r["enc_ratio"],
                        r["enc_cpu_ratio"], r["native_dec"], r["wasm_dec"], r["dec_ratio"], r["dec_cpu_ratio"]))
    lines += ["", "## Package size", "", "| file | bytes | gzip -9 bytes |", "|---|---|---|"]
    lines += ["| `%s` | %s | %s |" % (path, format(size, ","), format(packed, ",")) for path, size, packed in files]
    lines.append("| total | %s | %s |" % (format(sum(f[1] for f in files), ","), format(sum(f[2] for f in files), ",")))
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=9, help="runs per image and mode; the median counts (9)")
    parser.add_argument("--quick", action="store_true", help="one run per image and mode")
    parser.add_argument("--groups", default="", help="only these comma-separated groups: "
                                                     + ",".join(g for g, _ in PHOTO_GROUPS))
    parser.add_argument("--node", default="node", help="the node binary (default: node on PATH)")
    parser.add_argument("--work", default=os.path.join(ROOT, "build/bench/wasm"),
                        help="scratch folder: corpus, samples, results.json (build/bench/wasm)")
    parser.add_argument("--out", default=os.path.join(BENCH, "wasm_results.md"), help="Markdown file")
    args = parser.parse_args()
    runs = 1 if args.quick else args.runs
    if runs < 1:
        parser.error("--runs must be at least 1")
    if vrk is None:
        log("needs numpy and the vrk package: PYTHONPATH=build/release/python/site /usr/bin/python3 %s" % sys.argv[0])
        return 2
    if not os.path.exists(os.path.join(ROOT, "js/dist/vrk_wasm.wasm")):
        log("no js/dist/vrk_wasm.wasm: build it with  cmake --preset wasm && cmake --build --preset wasm")
        return 2
    missing = run_benchmark.missing_packages([])
    if missing:
        log("Missing Debian packages: %s\nInstall them with:  apt-get install %s" % ((" ".join(missing),) * 2))
        return 2

    work = os.path.abspath(args.work)
    scratch = os.path.join(work, "samples")
    os.makedirs(scratch, exist_ok=True)
    log("building the corpus ...")
    images, _ = run_benchmark.build_corpus(os.path.join(work, "corpus"))
    wanted = set(args.groups.split(",")) if args.groups else {g for g, _ in PHOTO_GROUPS}
    images = [im for im in images if im["group"] in wanted]
    log("  %d images, %.1f MB of raw samples" % (len(images), sum(im["raw_bytes"] for im in images) / 1e6))

    load = " ".join("%.2f" % x for x in os.getloadavg())
    started = time.time()
    results = {label: {} for label, _, _ in MODES}
    with Node(args.node) as node:
        info = node.ask(op="info")
        for mode in MODES:
            for image in images:
                log("%s: %s" % (mode[0], image["name"]))
                results[mode[0]][image["name"]] = measure(node, image, mode, runs, scratch)
    elapsed = time.time() - started

    rows = summarise(images, results)
    files = package_files()
    command = "PYTHONPATH=build/release/python/site /usr/bin/python3 bench/wasm_benchmark.py" + \
        "".join(" " + a for a in sys.argv[1:])
    header = [
        "Date: %s; %d run(s) per image, mode and side, alternating, median; benchmark time %.0f s."
        % (datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"), runs, elapsed),
        "Command: `%s`" % command,
        "Machine: %s." % run_benchmark.machine_description(),
        "Load average when the benchmark started: %s (other work on the machine skews the figures; "
        "the alternating runs share it out)." % load,
        "vrk %s, source revision %s. Native: the Python module (`build/release/python/site`), `vrk.encode` and "
        "`vrk.decode` with `threads=1`. WebAssembly: `js/src/index.js` over `js/dist/vrk_wasm.wasm` in node %s "
        "(V8 %s, `%s`: optimised code from the first call), `encode` and `decode` (one thread, as WebAssembly "
        "runs here)." % (vrk.__version__, run_benchmark.vrk_revision(), info["node"], info["v8"], " ".join(NODE_FLAGS)),
        "Timed: the library call alone, in process (Python's `time.perf_counter`, node's `performance.now`), after "
        "an untimed call that checks the bytes; each side copies its input and returns a new output, as callers "
        "see it. The photographs of `bench/run_benchmark.py`'s corpus; modes: default (lossless, arithmetic "
        "coder), `-f` (prefix coder), default with loss factor 5.",
    ]
    text = markdown(rows, files, header)
    with open(args.out, "w") as f:
        f.write(text)
    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump(dict(images=images, results=results, rows=rows, files=files), f, indent=1)
    print(text)
    log("wrote %s" % args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
