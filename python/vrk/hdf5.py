"""vrk in HDF5 files through h5py: each chunk of a dataset is one vrk image.

    import h5py
    import vrk.hdf5

    with h5py.File("stack.h5", "w") as file:
        file.create_dataset("frames", data=frames, chunks=(1, 512, 512), **vrk.hdf5.Vrk())

Importing this module puts the HDF5 filter plugin (libvrk_hdf5.so) first in
h5py's plugin search path, so no HDF5_PLUGIN_PATH is needed in Python: the
plugin is looked for in the folder that VRK_HDF5_PLUGIN_DIR names when it is
set, otherwise in the install layout (``<prefix>/lib/hdf5/plugin``, or its
multiarch or lib64 form, above this package). Any other HDF5 program finds
the plugin through HDF5_PLUGIN_PATH.

Chunks: the last dimension is the width (with ``colour=True`` and a last
dimension of 3, the last two are width x 3 channels), and all leading
dimensions stack as rows, so a chunk of n frames of h x w is one image of
n*h rows. Width and stacked height must be 32 to 65535. Element types:
8- and 16-bit integers, signed or not, either byte order (colour: 8 bits).
Anything else is refused when the dataset is created, with an error saying
why; a chunk the filter cannot code (a sample beyond `bits`) fails its write.
"""

import os
import pathlib
import sysconfig

import h5py

import vrk

__all__ = ["FILTER_ID", "Vrk", "plugin_dir"]

# As VRK_HDF5_FILTER_ID in <vrk/hdf5_filter.h>: provisional, from the range
# HDF5 leaves to unregistered filters.
FILTER_ID = 48001
_LAYOUT_VERSION = 1
_PLUGIN_NAME = "libvrk_hdf5.so"


def _find_plugin_dir():
    """The folder holding the plugin, or None."""
    configured = os.environ.get("VRK_HDF5_PLUGIN_DIR")
    if configured:
        return os.path.abspath(configured)
    libdirs = ["lib", "lib64"]
    multiarch = sysconfig.get_config_var("MULTIARCH")
    if multiarch:
        libdirs.insert(1, f"lib/{multiarch}")
    # The package lies somewhere under the install prefix (lib/python3.X/dist-packages/vrk, say).
    for prefix in pathlib.Path(__file__).resolve().parent.parents:
        for libdir in libdirs:
            folder = prefix / libdir / "hdf5" / "plugin"
            if (folder / _PLUGIN_NAME).is_file():
                return str(folder)
    return None


plugin_dir = _find_plugin_dir()
if plugin_dir is not None and h5py.h5z.filter_avail(FILTER_ID) == 0:
    h5py.h5pl.prepend(os.fsencode(plugin_dir))


class Vrk(dict):
    """The keyword arguments of ``h5py.Group.create_dataset`` for the vrk filter.

    `loss_factor` (0 lossless, up to 12), `fast` (prefix codes) and `graphics`
    (the graphics engine; lossy, every sample stays within `loss_factor`) as
    for :func:`vrk.encode`. `bits` codes 16-bit elements with 9 to 16 bits
    (None: 16; a sample outside that range fails its write); for 8-bit
    elements it may only be None or 8. `colour` reads a last dimension of 3
    as the channels of 8-bit colour. Checked here as vrk.encode checks them:
    TypeError or ValueError naming the argument.

    A dict of ``compression`` (the filter id) and ``compression_opts`` (the
    cd_values slots a caller gives, <vrk/hdf5_filter.h>), so ``**Vrk()``
    passes it; the chunk shape is yours to give.
    """

    def __init__(self, loss_factor=0, fast=False, graphics=False, bits=None, colour=False):
        options = vrk._encode_options(loss_factor, graphics, fast)
        bits = None if bits is None else vrk._integer("bits", bits, 8, 16)
        colour = vrk._flag("colour", colour)
        if h5py.h5z.filter_avail(FILTER_ID) == 0:
            raise RuntimeError(
                f"the vrk HDF5 plugin ({_PLUGIN_NAME}) was not found: set VRK_HDF5_PLUGIN_DIR to its folder"
            )
        super().__init__(
            compression=FILTER_ID,
            compression_opts=(
                _LAYOUT_VERSION,
                options["loss_factor"],
                int(options["fast"]),
                int(options["graphics"]),
                bits or 0,
                int(colour),
            ),
        )
        self.loss_factor = options["loss_factor"]
        self.fast = options["fast"]
        self.graphics = options["graphics"]
        self.bits = bits
        self.colour = colour

    def __repr__(self):
        return (
            f"Vrk(loss_factor={self.loss_factor}, fast={self.fast}, graphics={self.graphics}, "
            f"bits={self.bits}, colour={self.colour})"
        )
