#!/bin/sh
# Installs, on Debian 12, the packages that building and testing vrk need, and
# returns at once when they are all there. Needs root (or sudo) only to install.
#   scripts/dependencies.sh          everything: the tool, the tests, the Python package, the HDF5 and GDAL plugins,
#                                    the WebAssembly package and the viewer page (with js/'s locked npm packages)
#   scripts/dependencies.sh tool     only what building the vrk tool needs
set -eu

tool="cmake ninja-build g++"
tests="clang-14 libclang-rt-14-dev clang-format-14 libgtest-dev libgmock-dev libbenchmark-dev libjxl-testdata netpbm
       pkgconf groff openjph-tools"
python="python3-dev pybind11-dev python3-numpy python3-pytest python3-zarr python3-numcodecs python3-pil
        python3-dask python3-distributed python3-h5py python3-hdf5plugin python3-tifffile python3-tqdm"
plugins="libhdf5-dev hdf5-tools libgdal-dev gdal-bin"
web="emscripten nodejs chromium"
# Debian's npm, unless node came with its own.
command -v npm >/dev/null || web="$web npm"

case "${1:-all}" in
tool) wanted="$tool" ;;
all) wanted="$tool $tests $python $plugins $web" ;;
*) echo "usage: $0 [tool|all]" >&2; exit 2 ;;
esac

# shellcheck disable=SC2086
installed=$(dpkg-query -W -f='${Package} ${Status}\n' $wanted 2>/dev/null | awk '/ installed$/ { print $1 }' || true)
missing=""
for package in $wanted; do
    echo "$installed" | grep -qx "$package" || missing="$missing $package"
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    run=""
    if [ "$(id -u)" != 0 ]; then
        command -v sudo >/dev/null || { echo "$0: run as root to install:$missing" >&2; exit 1; }
        run=sudo
    fi
    export DEBIAN_FRONTEND=noninteractive
    $run apt-get update
    # shellcheck disable=SC2086
    $run apt-get install -y --no-install-recommends $missing
fi

# The JavaScript tests' packages, exactly as js/package-lock.json pins them;
# the copy of the lock file in node_modules tells they are there.
if [ "${1:-all}" = all ]; then
    js="$(dirname "$0")/../js"
    if ! cmp -s "$js/package-lock.json" "$js/node_modules/.installed-lock.json"; then
        (cd "$js" && npm ci --no-audit --no-fund && cp package-lock.json node_modules/.installed-lock.json)
    fi
fi
