"""Shared helpers of the Python tests: the build's samples and programs, and
the values `kivar data` writes for a field."""
import glob
import os
import subprocess

import numpy as np
import pytest

BUILD = os.environ.get("KIVAR_BUILD") or os.path.join(os.path.dirname(__file__), "..", "..",
                                                      "build")
KIVAR = os.path.join(BUILD, "app", "kivar")
DATA = os.path.join(BUILD, "data")
MAP = os.path.join(os.path.dirname(__file__), "..", "..", "data", "map.dat")
SAMPLES = {name: os.path.join(DATA, name)
           for name in ("sample_rsm.gpv", "sample_msm.gpv", "sample_msm.grib2")}


def with_map(folder):
    """Puts the coastline beside the runs of kivar in folder."""
    if not os.path.exists(os.path.join(folder, "map.dat")):
        os.symlink(os.path.abspath(MAP), os.path.join(folder, "map.dat"))


def run_kivar(*args, cwd):
    """kivar run in cwd beside the coastline; its outputs as text."""
    with_map(cwd)
    return subprocess.run([KIVAR, *args], capture_output=True, text=True, cwd=cwd)


def kivar_data(path, level, item, hour, folder):
    """The values of one field as `kivar data` writes them (TEXT), flat."""
    before = set(glob.glob(os.path.join(folder, "*.txt")))
    run = run_kivar("data", path, "--level", str(level), "--item", str(item), "--hour", str(hour),
                    "--save", folder, cwd=folder)
    assert run.returncode == 0, run.stderr
    (written,) = set(glob.glob(os.path.join(folder, "*.txt"))) - before
    with open(written) as f:
        f.readline()
        values = np.array(f.read().split(), dtype=np.float64)
    os.unlink(written)
    return values


def cli_message(*args, cwd):
    """The exit status and the last line the command line prints on standard error."""
    run = run_kivar(*args, cwd=cwd)
    return run.returncode, run.stderr.strip().splitlines()[-1]


@pytest.fixture(scope="session")
def series(tmp_path_factory):
    """Twelve generated forecast runs (RSM)."""
    folder = tmp_path_factory.mktemp("series")
    subprocess.run([os.path.join(BUILD, "tools", "gpvgen_series"), str(folder), "12"], check=True)
    return sorted(glob.glob(os.path.join(folder, "*.gpv")))
