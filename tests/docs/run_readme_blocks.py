"""Runs every code block of a README as the reader would, and fails on the first that fails.

A fence's language says what the block is:
  sh      shell commands, run with bash -e in a scratch folder of sample images (python3 there
          is Debian's /usr/bin/python3, whatever comes first on the caller's PATH)
  python  a complete program, run there by /usr/bin/python3
  c, cpp  a complete program, compiled against the installed package (pkg-config) and run there
  js      a complete ES module, run there by node with the npm package (npm pack of js/, installed
          offline into the folder) importable as 'vrk'; only with --javascript, which runs these
          blocks alone, from the WebAssembly build (the other builds leave them out)
  text    not a program: usage, console output, lists
A block preceded by the line `<!-- run by .ci/run -->` runs in the repository root instead (it
builds or tests the repository itself); it must then appear in .ci/run word for word (where a
`|| exit 1` may follow it, since a failing && list does not stop a `set -e` script).

The package is installed first into a fresh prefix, whose bin/ leads PATH and whose Python site
is on PYTHONPATH; when it holds the HDF5 plugin, HDF5_PLUGIN_PATH names its folder, then
Debian's, as README asks of HDF5 programs, and C programs that include <hdf5.h> are built with
HDF5's flags too. Every sh and python block runs twice in the same folder: a recipe must survive
being run again. Usage: run_readme_blocks.py --build DIR --source DIR [--cmake PATH] README...
"""

import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

CI_MARK = "<!-- run by .ci/run -->"
LANGUAGES = ("sh", "python", "c", "cpp", "js", "text")
PYTHON = "/usr/bin/python3"


def blocks_of(path):
    """(line number, language, text, run by CI) for each fenced block of a Markdown file."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found, i = [], 0
    while i < len(lines):
        opening = re.match(r"^```(\S*)\s*$", lines[i])
        if not opening:
            i += 1
            continue
        start = i
        i += 1
        while i < len(lines) and lines[i] != "```":
            i += 1
        if i == len(lines):
            raise SystemExit(f"{path}:{start + 1}: a code block never closes")
        previous = next((line for line in reversed(lines[:start]) if line.strip()), "")
        found.append((start + 1, opening.group(1), "\n".join(lines[start + 1 : i]) + "\n", previous == CI_MARK))
        i += 1
    return found


def make_samples(folder, source, env):
    """The images the READMEs name, from the repository's own samples and a fixed recipe."""
    inputs = os.path.join(source, "tests", "data", "conformance", "inputs")
    for name, sample in {
        "photo.pgm": "g8-photo96.pgm",
        "photo.ppm": "rgb-photo128.ppm",
        "camera.ppm": "rgb-photo128.ppm",
        "scan.pgm": "g12-photo.pgm",
        "chart.pgm": "g8-shapes.pgm",
        "screenshot.ppm": "rgb-photo.ppm",
    }.items():
        shutil.copy(os.path.join(inputs, sample), os.path.join(folder, name))
    # 640 x 480 samples of 16 bits, high byte first: a smooth ramp with a fixed pattern of noise.
    with open(os.path.join(folder, "scan.raw"), "wb") as raw:
        state = 12345
        for y in range(480):
            row = bytearray()
            for x in range(640):
                state = (state * 1103515245 + 12345) & 0x7FFFFFFF
                value = (x * 37 + y * 61 + (state >> 20)) & 0xFFFF
                row += value.to_bytes(2, "big")
            raw.write(row)
    for command, image, output in (
        ("pnmtopng", "photo.ppm", "photo.png"),
        ("pnmtotiff", "scan.pgm", "scan.tif"),
        ("pnmtojpeg", "camera.ppm", "camera.jpg"),
    ):
        with open(os.path.join(folder, image), "rb") as stdin, open(os.path.join(folder, output), "wb") as stdout:
            subprocess.run([command], stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL, check=True)
    # An HDF5 file of eight 12-bit frames in gzip, as a detector might have written it.
    import h5py  # only here: the other samples need no Python package
    import numpy as np

    rows, cols = np.mgrid[0:256, 0:320]
    frames = np.stack([(rows * 7 + cols * 5 + 97 * k) % 4096 for k in range(8)]).astype(np.uint16)
    with h5py.File(os.path.join(folder, "frames.h5"), "w") as f:
        f.create_dataset("frames", data=frames, chunks=(2, 256, 320), compression="gzip", shuffle=True)
    # A zarr stack of four 12-bit frames, written with the installed package's codec.
    zarr_recipe = (
        "import numpy as np, zarr\n"
        "from vrk.numcodecs import Vrk\n"
        "y, x = np.mgrid[0:64, 0:80]\n"
        "frames = np.stack([(x * 40 + y * 20 + i * 300) % 4096 for i in range(4)]).astype(np.uint16)\n"
        "zarr.open('stack.zarr', mode='w', shape=frames.shape, chunks=(1, 64, 80), dtype='uint16',\n"
        "          compressor=Vrk())[:] = frames\n"
    )
    subprocess.run([PYTHON, "-c", zarr_recipe], cwd=folder, env=env, check=True)
    # Four 12-bit frames of one size, and a folder of images to compress.
    os.mkdir(os.path.join(folder, "frames"))
    for k in range(4):
        frame = ((rows[:96, :80] * 11 + cols[:96, :80] * 3 + 211 * k) % 4096).astype(">u2")
        with open(os.path.join(folder, "frames", f"frame{k}.pgm"), "wb") as f:
            f.write(b"P5\n80 96\n4095\n" + frame.tobytes())
    os.mkdir(os.path.join(folder, "scans"))
    for name in ("photo.pgm", "scan.pgm", "chart.pgm"):
        shutil.copy(os.path.join(folder, name), os.path.join(folder, "scans", name))
    os.mkdir(os.path.join(folder, "folder"))
    for i, sample in enumerate(("g8-photo.pgm", "g8-photo96.pgm", "g12-photo.pgm", "g16-noise.pgm")):
        shutil.copy(os.path.join(inputs, sample), os.path.join(folder, "folder", f"frame{i}.pgm"))


def install(build, cmake, prefix):
    subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
    sites = glob.glob(os.path.join(prefix, "lib", "python3*", "*-packages"))
    if len(sites) != 1:
        raise SystemExit(f"no single Python site under {prefix}: {sites}")
    return sites[0]


def run_block(language, text, folder, env, prefix):
    """Runs one block in `folder`; returns (status, output)."""
    if language in ("sh", "python", "js"):
        script = os.path.join(folder, {"sh": "block.sh", "python": "block.py", "js": "block.mjs"}[language])
        with open(script, "w", encoding="utf-8") as out:
            out.write(text)
        command = {"sh": ["bash", "-e", script], "python": [PYTHON, script], "js": ["node", script]}[language]
        outputs, status = [], 0
        for _ in range(2):
            done = subprocess.run(command, cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, text=True, errors="replace", timeout=600)
            outputs.append(done.stdout)
            status = done.returncode
            if status != 0:
                break
        os.remove(script)
        return status, "\n--- run again ---\n".join(outputs)
    source = os.path.join(folder, "program." + language)
    with open(source, "w", encoding="utf-8") as out:
        out.write(text)
    program = os.path.join(folder, "program")
    pkg = ["pkg-config", "--cflags", "--libs", "--static", "vrk"] + (["hdf5"] if "#include <hdf5.h>" in text else [])
    flags = subprocess.run(pkg, env=env, stdout=subprocess.PIPE, text=True, check=True).stdout.split()
    compiler = ["cc", "-std=c99"] if language == "c" else ["g++", "-std=c++20"]
    built = subprocess.run(compiler + ["-Wall", "-Wextra", "-Werror", "-o", program, source] + flags, env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if built.returncode != 0:
        return built.returncode, built.stdout
    done = subprocess.run([program], cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, errors="replace", timeout=600)
    return done.returncode, done.stdout


def copy_name(readme, number):
    """The folder of a README's block number `number`: named after the README's folder."""
    return f"{os.path.basename(os.path.dirname(readme)) or 'root'}-{number}"


def run_in_copy(samples, folder, where, language, text, env, prefix, failures):
    """Runs one block in `folder`, a fresh copy of the samples, adding to `failures` if it fails."""
    shutil.copytree(samples, folder, symlinks=True)  # node_modules holds links
    status, output = run_block(language, text, folder, env, prefix)
    print(f"{where}: {language} block: {'ok' if status == 0 else f'status {status}'}", flush=True)
    if status != 0:
        failures.append(f"{where}: the {language} block ends with status {status}:\n{text}\n{output}")


def reported(failures):
    """Prints the failures; the exit status."""
    for failure in failures:
        print("FAILED " + failure, file=sys.stderr)
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--javascript", action="store_true", help="run the js blocks alone")
    parser.add_argument("readmes", nargs="+")
    args = parser.parse_args()
    if args.javascript:
        return run_javascript_blocks(args)

    ci_script = open(os.path.join(args.source, ".ci", "run"), encoding="utf-8").read()
    failures = []
    with tempfile.TemporaryDirectory(prefix="vrk-readme-") as scratch:
        prefix = os.path.join(scratch, "prefix")
        site = install(args.build, args.cmake, prefix)
        env = dict(os.environ)
        debian = os.path.join(scratch, "debian-python")
        os.mkdir(debian)
        os.symlink(PYTHON, os.path.join(debian, "python3"))
        env["PATH"] = os.pathsep.join([os.path.join(prefix, "bin"), debian, env.get("PATH", "")])
        env["PYTHONPATH"] = site
        env["PKG_CONFIG_PATH"] = os.path.join(prefix, "lib", "pkgconfig")
        env["PYTHONNOUSERSITE"] = "1"
        plugins = os.path.join(prefix, "lib", "hdf5", "plugin")
        if os.path.isdir(plugins):
            env["HDF5_PLUGIN_PATH"] = plugins + os.pathsep + "/usr/lib/x86_64-linux-gnu/hdf5/serial/plugins"
        env.pop("VRK_THREADS", None)
        samples = os.path.join(scratch, "samples")
        os.mkdir(samples)
        make_samples(samples, args.source, env)
        for readme in args.readmes:
            name = os.path.relpath(readme, args.source)
            for number, (line, language, text, by_ci) in enumerate(blocks_of(readme)):
                where = f"{name}:{line}"
                if language not in LANGUAGES:
                    failures.append(f"{where}: a block needs one of the languages {', '.join(LANGUAGES)}")
                    continue
                if by_ci:
                    if text.rstrip("\n") not in ci_script:
                        failures.append(f"{where}: marked as run by .ci/run, which does not hold it word for word")
                    continue
                if language in ("text", "js"):
                    continue
                run_in_copy(samples, os.path.join(scratch, copy_name(readme, number)), where, language, text, env,
                            prefix, failures)
    return reported(failures)


def run_javascript_blocks(args):
    """The js blocks, each in a fresh copy of the samples with the npm package installed."""
    failures = []
    with tempfile.TemporaryDirectory(prefix="vrk-readme-js-") as scratch:
        samples = os.path.join(scratch, "samples")
        os.mkdir(samples)
        env = dict(os.environ)
        env["PYTHONPATH"] = env.get("VRK_PYTHON_SITE", "")  # the Python package writes the zarr sample
        make_samples(samples, args.source, env)
        shutil.copy(os.path.join(args.source, "tests", "data", "conformance", "expected", "g8-photo96.n0.vrk"),
                    os.path.join(samples, "photo.vrk"))
        js = os.path.join(args.source, "js")
        packed = subprocess.run(["npm", "pack", "--pack-destination", scratch], cwd=js, stdout=subprocess.PIPE,
                                text=True, check=True).stdout.split()[-1]
        with open(os.path.join(samples, "package.json"), "w", encoding="utf-8") as out:
            out.write('{ "private": true, "type": "module" }\n')
        # zarrita as js/ pins it, from npm's cache (the dependency script filled it).
        lock = json.load(open(os.path.join(js, "package-lock.json"), encoding="utf-8"))
        zarrita = "zarrita@" + lock["packages"]["node_modules/zarrita"]["version"]
        subprocess.run(["npm", "install", "--offline", "--no-audit", "--no-fund", os.path.join(scratch, packed),
                        zarrita], cwd=samples, check=True, stdout=subprocess.DEVNULL)
        for readme in args.readmes:
            name = os.path.relpath(readme, args.source)
            for number, (line, language, text, _) in enumerate(blocks_of(readme)):
                if language != "js":
                    continue
                run_in_copy(samples, os.path.join(scratch, copy_name(readme, number)), f"{name}:{line}", language,
                            text, env, None, failures)
    return reported(failures)


if __name__ == "__main__":
    sys.exit(main())
