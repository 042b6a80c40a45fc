"""Folders of frames into compressed stacks and back, and .vrk files in batches: ``python3 -m vrk``.

    python3 -m vrk pack FRAMES... -o stack.zarr      # or stack.h5: one frame per chunk
    python3 -m vrk unpack stack.zarr -o folder       # every frame back into a file
    python3 -m vrk compress FILES... [-j N]          # photo.pgm -> photo.vrk, in parallel
    python3 -m vrk restore FILES... [-j N]           # photo.vrk -> photo.pgm
    python3 -m vrk verify FILES... [-j N]            # decode each .vrk file, report the damaged ones

FRAMES are files, folders (every frame file in them, in name order) or
glob patterns. Frames are read with tifffile (.tif, .tiff), this module's
own reader (binary .pgm, .ppm: the samples as stored), numpy (.raw, with
``--raw-shape`` and ``--raw-dtype``) and Pillow (anything else: PNG...).

Every output appears under its final name only once complete: it is
written under a hidden temporary name in the same folder and renamed.
Ctrl-C stops cleanly (exit status 130) and leaves no partial output.
Exit status: 0 all done, 1 some files failed (each reported on standard
error), 2 a usage error. A summary line ends each run.
"""

import argparse
import concurrent.futures
import glob
import os
import re
import shutil
import sys
import tempfile
import threading
import time

import numpy as np

import vrk

_TIFF = (".tif", ".tiff")
_PNM = (".pgm", ".ppm", ".pnm")
_RAW = (".raw",)
_PILLOW = (".png", ".bmp", ".gif", ".webp", ".jpg", ".jpeg", ".tga")
_FRAME_EXTENSIONS = _TIFF + _PNM + _RAW + _PILLOW
_DTYPES = {np.dtype(name) for name in ("uint8", "uint16", "int8", "int16")}
_HDF5 = (".h5", ".hdf5", ".hdf")


class Failure(Exception):
    """A refusal or failure to report by its message, with exit status 1."""


# Frame readers: header() gives (shape, dtype) without decoding the pixels; read() the array.


class _Frame:
    def __init__(self, path, raw_shape=None, raw_dtype=None):
        self.path = path
        self.extension = os.path.splitext(path)[1].lower()
        self.raw_shape = raw_shape
        self.raw_dtype = raw_dtype

    def header(self):
        if self.extension in _TIFF:
            import tifffile

            with tifffile.TiffFile(self.path) as tiff:
                series = tiff.series[0]
                return tuple(series.shape), np.dtype(series.dtype)
        if self.extension in _PNM:
            with open(self.path, "rb") as file:
                shape, dtype, _ = _pnm_header(file, self.path)
            return shape, dtype
        if self.extension in _RAW:
            if self.raw_shape is None:
                raise Failure(f"{self.path}: .raw frames need --raw-shape (and --raw-dtype)")
            size = int(np.prod(self.raw_shape)) * self.raw_dtype.itemsize
            status = os.stat(self.path)
            if os.path.isfile(self.path) and status.st_size != size:
                raise Failure(
                    f"{self.path}: holds {status.st_size} bytes, not the {size} of --raw-shape and --raw-dtype"
                )
            return tuple(self.raw_shape), self.raw_dtype.newbyteorder("=")
        import PIL.Image

        with PIL.Image.open(self.path) as image:
            return _pillow_layout(image, self.path)

    def read(self):
        if self.extension in _TIFF:
            import tifffile

            array = tifffile.imread(self.path)
        elif self.extension in _PNM:
            with open(self.path, "rb") as file:
                shape, dtype, stored = _pnm_header(file, self.path)
                array = _read_exactly(file, shape, stored, self.path)
        elif self.extension in _RAW:
            with open(self.path, "rb") as file:
                array = _read_exactly(file, self.raw_shape, self.raw_dtype, self.path)
        else:
            import PIL.Image

            with PIL.Image.open(self.path) as image:
                shape, dtype = _pillow_layout(image, self.path)
                array = np.asarray(image)
            if array.dtype != dtype:
                if array.min(initial=0) < 0 or array.max(initial=0) > 65535:
                    raise Failure(f"{self.path}: samples beyond 0..65535")
                array = array.astype(dtype)
        if not array.dtype.isnative:
            array = array.astype(array.dtype.newbyteorder("="))
        return array


def _read_exactly(file, shape, dtype, path):
    size = int(np.prod(shape)) * dtype.itemsize
    data = bytearray()
    while len(data) < size:  # a pipe may give its bytes in pieces
        piece = file.read(size - len(data))
        if not piece:
            raise Failure(f"{path}: ends before its {size} bytes of samples")
        data += piece
    return np.frombuffer(bytes(data), dtype).reshape(shape)


_PILLOW_MODES = {"L": "uint8", "RGB": "uint8", "I;16": "uint16", "I;16B": "uint16", "I": "uint16"}


def _pillow_layout(image, path):
    if image.mode not in _PILLOW_MODES:
        raise Failure(f"{path}: Pillow mode {image.mode} is not a vrk frame (grey or RGB, 8 or 16 bits)")
    width, height = image.size
    shape = (height, width, 3) if image.mode == "RGB" else (height, width)
    return shape, np.dtype(_PILLOW_MODES[image.mode])


def _pnm_header(file, path):
    """(shape, dtype, stored dtype) of a binary PGM or PPM, the file left at its samples."""
    magic = file.read(2)
    if magic not in (b"P5", b"P6"):
        raise Failure(f"{path}: not a binary PGM or PPM file")
    fields = []
    while len(fields) < 3:
        character = file.read(1)
        if not character:
            raise Failure(f"{path}: its header is cut short")
        if character == b"#":
            while character not in (b"\n", b"\r", b""):
                character = file.read(1)
        elif character.isdigit():
            digits = character
            while True:
                character = file.read(1)
                if not character.isdigit():
                    break
                digits += character
            fields.append(int(digits))
            if len(fields) == 3 and not character.isspace():
                raise Failure(f"{path}: its header does not end with white space")
        elif not character.isspace():
            raise Failure(f"{path}: its header is not a PGM or PPM header")
    width, height, maxval = fields
    if not 0 < maxval < 65536:
        raise Failure(f"{path}: maxval {maxval} is not from 1 to 65535")
    dtype = np.dtype(np.uint8 if maxval < 256 else np.uint16)
    shape = (height, width, 3) if magic == b"P6" else (height, width)
    return shape, dtype, dtype.newbyteorder(">")


def _write_frame(path, array):
    """Writes `array` to `path` in the format of its extension."""
    extension = os.path.splitext(path)[1].lower()
    if extension in _TIFF:
        import tifffile

        tifffile.imwrite(path, array, photometric="rgb" if array.ndim == 3 else "minisblack")
    elif extension in _PNM:
        if array.dtype.kind != "u":
            raise Failure(f"{path}: PGM and PPM hold unsigned samples, not {array.dtype}: unpack to .tif")
        maxval = 255 if array.dtype.itemsize == 1 else 65535
        magic = b"P6" if array.ndim == 3 else b"P5"
        with open(path, "wb") as file:
            file.write(b"%s\n%d %d\n%d\n" % (magic, array.shape[1], array.shape[0], maxval))
            file.write(array.astype(array.dtype.newbyteorder(">")).tobytes())
    elif extension in _RAW:
        with open(path, "wb") as file:
            file.write(array.astype(array.dtype.newbyteorder(">")).tobytes())
    else:
        import PIL.Image

        if array.dtype.kind != "u":
            raise Failure(f"{path}: this format holds unsigned samples, not {array.dtype}: unpack to .tif")
        if array.dtype.itemsize == 2:
            image = PIL.Image.fromarray(array.astype(np.int32), "I")
        else:
            image = PIL.Image.fromarray(array)
        image.save(path)


# Temporary names, renamed into place when complete.


def _temporary_name(final):
    folder, name = os.path.split(os.path.abspath(final))
    return os.path.join(folder, f".{name}.partial-{os.getpid()}-{threading.get_ident()}")


def _remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path, ignore_errors=True)
    elif os.path.lexists(path):
        os.unlink(path)


def _move_into_place(temporary, final, overwrite):
    if os.path.lexists(final):
        if not overwrite:
            raise Failure(f"{final}: exists (--overwrite replaces it)")
        if os.path.isdir(final) and not os.path.isdir(temporary):
            raise Failure(f"{final}: is a folder")
        if os.path.isdir(final):
            _remove(final)
    if os.path.isdir(temporary):
        os.rename(temporary, final)
    elif overwrite:
        os.replace(temporary, final)
    else:
        try:
            os.link(temporary, final)  # fails if another run made it meanwhile
        except FileExistsError:
            raise Failure(f"{final}: exists (--overwrite replaces it)") from None
        except OSError:  # a file system without hard links
            os.rename(temporary, final)
            return
        os.unlink(temporary)


# Progress: a tqdm bar on a terminal, one line a file otherwise.


class _Progress:
    def __init__(self, total, description, quiet):
        self.bar = None
        self.quiet = quiet
        if not quiet and sys.stderr.isatty():
            try:
                import tqdm

                self.bar = tqdm.tqdm(total=total, desc=description, unit="file")
            except ImportError:
                pass

    def done(self, line):
        if self.bar is not None:
            self.bar.update(1)
        elif not self.quiet:
            print(line, flush=True)

    def close(self):
        if self.bar is not None:
            self.bar.close()


class _Summary:
    def __init__(self):
        self.start = time.monotonic()
        self.files = 0
        self.failed = 0
        self.bytes_in = 0
        self.bytes_out = 0

    def line(self):
        ratio = self.bytes_in / self.bytes_out if self.bytes_out else 0.0
        failed = f", {self.failed} failed" if self.failed else ""
        return (
            f"{self.files} files{failed}, {self.bytes_in} bytes in, {self.bytes_out} bytes out, "
            f"ratio {ratio:.3f}, {time.monotonic() - self.start:.2f} s"
        )


def _size(path):
    if os.path.isdir(path):
        return sum(os.path.getsize(os.path.join(root, name)) for root, _, names in os.walk(path) for name in names)
    return os.path.getsize(path)


def _report(path, error):
    print(f"vrk: {path}: {error}" if not str(error).startswith(str(path)) else f"vrk: {error}", file=sys.stderr)


# Source lists.


def _expand(sources, extensions):
    paths = []
    for source in sources:
        if os.path.isdir(source) and not source.endswith((".zarr", ".zarr" + os.sep)):
            names = sorted(name for name in os.listdir(source) if name.lower().endswith(extensions))
            paths += [os.path.join(source, name) for name in names if not name.startswith(".")]
        elif os.path.lexists(source):
            paths.append(source)
        elif glob.has_magic(source):
            matches = sorted(glob.glob(source))
            if not matches:
                raise Failure(f"{source}: matches no file")
            paths += matches
        else:
            raise Failure(f"{source}: no such file or folder")
    return paths


# pack / unpack.


def _pack(arguments):
    raw_dtype = None
    if arguments.raw_dtype is not None:
        raw_dtype = np.dtype(arguments.raw_dtype)
        if raw_dtype.byteorder == "=" and raw_dtype.itemsize > 1:
            raw_dtype = raw_dtype.newbyteorder(">")  # high byte first, as the vrk command's raw samples
    frames = [_Frame(path, arguments.raw_shape, raw_dtype) for path in _expand(arguments.frames, _FRAME_EXTENSIONS)]
    if not frames:
        raise Failure("no frames to pack")
    output = arguments.output
    if os.path.lexists(output) and not arguments.overwrite:
        raise Failure(f"{output}: exists (--overwrite replaces it)")
    # Every frame's shape and dtype, checked before anything is written.
    shape = dtype = None
    for frame in frames:
        frame_shape, frame_dtype = frame.header()
        if frame_dtype not in _DTYPES:
            raise Failure(f"{frame.path}: {frame_dtype} samples; vrk takes uint8, uint16, int8 and int16")
        if len(frame_shape) == 3 and frame_shape[2] == 1:
            frame_shape = frame_shape[:2]
        if len(frame_shape) not in (2, 3) or (len(frame_shape) == 3 and frame_shape[2] != 3):
            raise Failure(f"{frame.path}: shape {frame_shape} is not an (H, W) or (H, W, 3) image")
        if len(frame_shape) == 3 and frame_dtype.itemsize != 1:
            raise Failure(f"{frame.path}: colour frames hold 8-bit samples, not {frame_dtype}")
        if shape is None:
            shape, dtype = frame_shape, frame_dtype
        elif (frame_shape, frame_dtype) != (shape, dtype):
            raise Failure(
                f"{frame.path}: shape {frame_shape} and {frame_dtype}, unlike the first frame "
                f"{frames[0].path} ({shape} and {dtype}): a stack holds frames of one shape and type"
            )
    stack_shape = (len(frames),) + tuple(shape)
    chunks = (1,) + tuple(shape)
    hdf5 = output.lower().endswith(_HDF5)
    temporary = _temporary_name(output)
    summary = _Summary()
    progress = _Progress(len(frames), "pack", arguments.quiet)
    try:
        if hdf5:
            import h5py

            from vrk import hdf5

            options = hdf5.Vrk(
                loss_factor=arguments.loss_factor,
                fast=arguments.fast,
                graphics=arguments.graphics,
                bits=arguments.bits,
                colour=len(shape) == 3,
            )
            with h5py.File(temporary, "w") as file:
                dataset = file.create_dataset(
                    arguments.dataset, shape=stack_shape, dtype=dtype, chunks=chunks, **options
                )
                _fill(dataset, frames, summary, progress)
        else:
            import zarr

            from vrk.numcodecs import Vrk

            compressor = Vrk(
                loss_factor=arguments.loss_factor,
                fast=arguments.fast,
                graphics=arguments.graphics,
                bits_per_sample=arguments.bits,
                signed=dtype.kind == "i",
            )
            array = zarr.open(
                zarr.DirectoryStore(temporary),
                mode="w",
                shape=stack_shape,
                chunks=chunks,
                dtype=dtype,
                compressor=compressor,
            )
            _fill(array, frames, summary, progress)
        _move_into_place(temporary, output, arguments.overwrite)
    finally:
        progress.close()
        _remove(temporary)
    summary.bytes_out = _size(output)
    print(summary.line())
    return 0


def _fill(array, frames, summary, progress):
    for index, frame in enumerate(frames):
        image = frame.read()
        array[index] = image.reshape(array.shape[1:])
        summary.files += 1
        summary.bytes_in += image.nbytes
        progress.done(f"{frame.path} -> frame {index}")


def _open_stack(path, dataset):
    if path.lower().endswith(_HDF5):
        import h5py

        from vrk import hdf5  # noqa: F401  (registers the filter)

        file = h5py.File(path, "r")
        return file, file[dataset]
    import zarr

    from vrk import numcodecs  # noqa: F401  (registers the codec)

    return None, zarr.open(path, mode="r")


def _unpack(arguments):
    file, array = _open_stack(arguments.stack, arguments.dataset)
    try:
        os.makedirs(arguments.output, exist_ok=True)
        names = [
            os.path.join(arguments.output, f"{arguments.prefix}{index:05d}.{arguments.format}")
            for index in range(array.shape[0])
        ]
        if not arguments.overwrite:
            for name in names:
                if os.path.lexists(name):
                    raise Failure(f"{name}: exists (--overwrite replaces it)")
        summary = _Summary()
        progress = _Progress(len(names), "unpack", arguments.quiet)
        try:
            for index, name in enumerate(names):
                image = np.asarray(array[index])
                temporary = _temporary_name(name) + os.path.splitext(name)[1]
                try:
                    _write_frame(temporary, image)
                    _move_into_place(temporary, name, arguments.overwrite)
                finally:
                    _remove(temporary)
                summary.files += 1
                summary.bytes_out += os.path.getsize(name)
                progress.done(f"frame {index} -> {name}")
        finally:
            progress.close()
        summary.bytes_in = _size(arguments.stack)
        print(summary.line())
    finally:
        if file is not None:
            file.close()
    return 0


# compress / restore / verify: one file a task, on worker threads (the library releases the GIL).


def _code_beside(path, code, arguments, stop):
    """Runs code(link) on a link to `path` in a hidden scratch folder beside it, so that its output
    appears under its final name only once complete (and not at all once stopped)."""
    folder = os.path.dirname(os.path.abspath(path))
    work = tempfile.mkdtemp(prefix=".vrk-", dir=folder)
    try:
        link = os.path.join(work, os.path.basename(path))
        os.symlink(os.path.abspath(path), link)
        made = code(link)
        final = os.path.join(folder, os.path.basename(made))
        if not stop.is_set():
            _move_into_place(made, final, arguments.overwrite)
        return os.path.getsize(path), os.path.getsize(final), final
    finally:
        shutil.rmtree(work, ignore_errors=True)


def _compress_one(path, arguments, stop):
    def code(link):
        return vrk.compress_file(
            link,
            loss_factor=arguments.loss_factor,
            graphics=arguments.graphics,
            fast=arguments.fast,
            threads=1,
            width=arguments.width,
            height=arguments.height,
            bytes_per_pixel=arguments.bytes_per_pixel,
        )

    return _code_beside(path, code, arguments, stop)


def _restore_one(path, arguments, stop):
    return _code_beside(path, lambda link: vrk.restore_file(link, max_pixels=None, threads=1), arguments, stop)


def _verify_one(path, arguments, stop):
    with open(path, "rb") as file:
        data = file.read()
    if not vrk.check(data):
        raise Failure(f"{path}: not a .vrk file")
    image = vrk.decode(data, max_pixels=None, threads=1)  # checks the CRC; damage raises
    return len(data), image.nbytes, "ok"


def _batch(arguments, work, extensions, description):
    paths = _expand(arguments.files, extensions)
    summary = _Summary()
    progress = _Progress(len(paths), description, arguments.quiet)
    stop = threading.Event()
    executor = concurrent.futures.ThreadPoolExecutor(max_workers=arguments.jobs or os.cpu_count() or 1)
    try:
        futures = {executor.submit(work, path, arguments, stop): path for path in paths}
        for future in concurrent.futures.as_completed(futures):
            path = futures[future]
            summary.files += 1
            try:
                size_in, size_out, result = future.result()
            except (Failure, vrk.VrkError, OSError, ValueError) as error:
                summary.failed += 1
                progress.done(f"FAILED {path}")
                _report(path, error)
                continue
            summary.bytes_in += size_in
            summary.bytes_out += size_out
            progress.done(f"{path} -> {result}")
    except KeyboardInterrupt:
        stop.set()  # the files being coded are not moved into place, and their scratch folders go
        executor.shutdown(wait=True, cancel_futures=True)
        raise
    finally:
        executor.shutdown(wait=True, cancel_futures=True)
        progress.close()
    print(summary.line())
    return 1 if summary.failed else 0


def _shape(text):
    try:
        numbers = tuple(int(part) for part in re.split(r"[x,]", text))
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not HxW or HxWx3") from None
    if len(numbers) not in (2, 3) or min(numbers) < 1:
        raise argparse.ArgumentTypeError(f"{text!r} is not HxW or HxWx3")
    return numbers


def _dtype(text):
    try:
        dtype = np.dtype(text)
    except TypeError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a numpy dtype") from None
    if dtype.newbyteorder("=") not in _DTYPES:
        raise argparse.ArgumentTypeError(f"{text!r}: frames are uint8, uint16, int8 or int16")
    return text


def _parser():
    parser = argparse.ArgumentParser(
        prog="python3 -m vrk",
        description="Pack frames into vrk-compressed zarr or HDF5 stacks, and compress, restore or verify .vrk files.",
    )
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    def common(sub, jobs=True):
        if jobs:
            sub.add_argument("-j", "--jobs", type=int, default=None, help="worker threads (default: the cores)")
        sub.add_argument("-q", "--quiet", action="store_true", help="only failures and the summary")

    def coding(sub):
        sub.add_argument("-l", "--loss-factor", type=int, default=0, help="0 lossless (default), 1 to 12 lossy")
        sub.add_argument("-f", "--fast", action="store_true", help="prefix codes instead of arithmetic coding")
        sub.add_argument("-g", "--graphics", action="store_true", help="the graphics engine (synthetic images)")

    pack = commands.add_parser("pack", help="frames into a .zarr or .h5 stack, one frame per chunk")
    pack.add_argument("frames", nargs="+", help="frame files, folders or glob patterns")
    pack.add_argument("-o", "--output", required=True, help="NAME.zarr or NAME.h5")
    pack.add_argument("--dataset", default="frames", help="the HDF5 dataset (default: frames)")
    pack.add_argument("--bits", type=int, default=None, help="bits per sample of 16-bit frames, 9 to 16")
    pack.add_argument("--raw-shape", type=_shape, default=None, help=".raw frames: HxW or HxWx3")
    pack.add_argument("--raw-dtype", type=_dtype, default=None, help=".raw frames: uint8 (default), uint16, int16...")
    pack.add_argument("--overwrite", action="store_true")
    coding(pack)
    common(pack, jobs=False)

    unpack = commands.add_parser("unpack", help="a .zarr or .h5 stack back into frame files")
    unpack.add_argument("stack")
    unpack.add_argument("-o", "--output", required=True, help="the folder")
    unpack.add_argument("--format", default="tif", choices=["tif", "png", "pgm", "ppm", "raw"])
    unpack.add_argument("--prefix", default="frame-", help="file names: PREFIX00000.FORMAT...")
    unpack.add_argument("--dataset", default="frames", help="the HDF5 dataset (default: frames)")
    unpack.add_argument("--overwrite", action="store_true")
    common(unpack, jobs=False)

    compress = commands.add_parser("compress", help="image files into .vrk files beside them")
    compress.add_argument("files", nargs="+", help=".pgm, .ppm, .ras, .raw files, folders or glob patterns")
    compress.add_argument("--width", type=int, default=None, help=".raw files: width")
    compress.add_argument("--height", type=int, default=None, help=".raw files: height (default: width)")
    compress.add_argument("--bytes-per-pixel", type=int, default=None, help=".raw files: 1, 2 or 3")
    compress.add_argument("--overwrite", action="store_true")
    coding(compress)
    common(compress)

    restore = commands.add_parser("restore", help=".vrk files into the image files they were made from")
    restore.add_argument("files", nargs="+", help=".vrk files, folders or glob patterns")
    restore.add_argument("--overwrite", action="store_true")
    common(restore)

    verify = commands.add_parser("verify", help="decode .vrk files and report the damaged ones")
    verify.add_argument("files", nargs="+", help=".vrk files, folders or glob patterns")
    common(verify)
    return parser


def main(argv=None):
    parser = _parser()
    arguments = parser.parse_args(argv)
    if arguments.command == "pack" and arguments.raw_dtype is None:
        arguments.raw_dtype = "uint8"
    if arguments.command == "pack" and arguments.raw_shape is not None and len(arguments.raw_shape) == 3:
        if arguments.raw_shape[2] != 3:
            parser.error("--raw-shape: HxW or HxWx3")
    try:
        if arguments.command == "pack":
            return _pack(arguments)
        if arguments.command == "unpack":
            return _unpack(arguments)
        if arguments.command == "compress":
            return _batch(arguments, _compress_one, (".pgm", ".ppm", ".ras", ".raw"), "compress")
        if arguments.command == "restore":
            return _batch(arguments, _restore_one, (".vrk",), "restore")
        return _batch(arguments, _verify_one, (".vrk",), "verify")
    except KeyboardInterrupt:
        print("vrk: interrupted", file=sys.stderr)
        return 130
    except (Failure, vrk.VrkError, OSError, ValueError, TypeError, KeyError) as error:
        print(f"vrk: {error}", file=sys.stderr)
        return 1
