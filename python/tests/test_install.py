"""`cmake --install` of the python component: a package that works from where it lands."""

import os
import pathlib
import subprocess
import sys
import textwrap

import pytest


def _environment_without_pythonpath():
    environment = dict(os.environ)
    environment.pop("PYTHONPATH", None)
    return environment


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    cmake, build = os.environ.get("VRK_CMAKE"), os.environ.get("VRK_BUILD_DIR")
    if not cmake or not build:
        raise RuntimeError("VRK_CMAKE and VRK_BUILD_DIR are not set: run these tests through CTest")
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run(
        [cmake, "--install", build, "--prefix", str(prefix), "--component", "python"],
        check=True,
        capture_output=True,
        timeout=120,
    )
    dist_infos = list(prefix.rglob("vrk-*.dist-info"))
    assert len(dist_infos) == 1, dist_infos
    return prefix, dist_infos[0].parent


def test_lands_where_the_interpreter_looks(installed):
    prefix, site = installed
    relative = site.relative_to(prefix)
    default_path = subprocess.run(
        [sys.executable, "-c", "import sys; print('\\n'.join(sys.path))"],
        env=_environment_without_pythonpath(),
        capture_output=True,
        text=True,
        check=True,
    ).stdout.split("\n")
    # Debian's interpreter looks under /usr/local; others under their own prefix.
    candidates = {os.path.join("/usr/local", relative), os.path.join(sys.prefix, relative)}
    assert candidates & set(default_path), (relative, default_path)


def test_record_lists_exactly_the_installed_files(installed):
    _, site = installed
    files = {path.relative_to(site).as_posix() for path in site.rglob("*") if path.is_file()}
    record = next(site.glob("vrk-*.dist-info")) / "RECORD"
    listed = {line.split(",")[0] for line in record.read_text().splitlines() if line}
    assert files == listed


def test_works_from_the_install_alone(installed, tmp_path):
    _, site = installed
    script = textwrap.dedent(
        """
        import importlib.metadata, sys
        import numcodecs, numpy
        import vrk
        assert vrk.__file__.startswith(sys.argv[1]), vrk.__file__
        assert importlib.metadata.version("vrk") == vrk.__version__
        codec = numcodecs.get_codec({"id": "vrk", "fast": True})
        image = numpy.arange(40 * 36, dtype=numpy.uint16).reshape(40, 36)
        numpy.testing.assert_array_equal(codec.decode(codec.encode(image)), image)
        print("ok")
        """
    )
    environment = _environment_without_pythonpath()
    environment["PYTHONPATH"] = str(site)
    environment["PYTHONPYCACHEPREFIX"] = str(tmp_path / "pycache")
    result = subprocess.run(
        [sys.executable, "-c", script, str(site)], cwd=tmp_path, env=environment, capture_output=True, timeout=120
    )
    assert result.returncode == 0, result.stderr.decode()
    assert result.stdout.strip() == b"ok"
