"""The xarray backend: structure, laziness, values against cfgrib and the
engine, NetCDF files from Python and from `kivar data --netcdf`."""
import os
import pickle
import subprocess

import numpy as np
import pytest
import xarray as xr

import kivar
from kivar import xarray_backend
from conftest import SAMPLES, run_kivar


@pytest.mark.parametrize("sample,name,dims,units", [
    ("sample_rsm.gpv", "t_isobaric", ("time", "step", "isobaric", "latitude", "longitude"),
     "degree_Celsius"),
    ("sample_msm.gpv", "u_surface", ("time", "step", "surface", "latitude_2", "longitude_2"), "m s-1"),
    ("sample_msm.grib2", "t_isobaric", ("time", "step", "isobaric", "latitude", "longitude"), "K"),
])
def test_dataset_structure(sample, name, dims, units):
    for engine in ("kivar", xarray_backend.KivarBackendEntrypoint):
        ds = xr.open_dataset(SAMPLES[sample], engine=engine)
        v = ds[name]
        assert v.dims == dims
        assert v.attrs["units"] == units and v.attrs["long_name"]
        assert v.dtype == np.float32
        assert ds["step"].dtype.kind == "m" and ds["valid_time"].dtype.kind == "M"
        assert ds["isobaric"].attrs["units"] == "hPa"


@pytest.mark.parametrize("chunks", [None, {}])
def test_only_the_fields_asked_for_are_decoded(monkeypatch, chunks):
    reads = []

    class Counting:
        def __init__(self, d):
            self.d = d

        def __getattr__(self, name):
            return getattr(self.d, name)

        def read(self, *args):
            reads.append(args)
            return self.d.read(*args)

    real = xarray_backend._dataset
    monkeypatch.setattr(xarray_backend, "_dataset", lambda path: Counting(real(path)))
    ds = xr.open_dataset(SAMPLES["sample_rsm.gpv"], engine="kivar", chunks=chunks)
    assert reads == []
    ds["t_isobaric"].isel(step=slice(2, 6, 3), isobaric=1).values
    assert sorted(reads) == [("t_isobaric", 2, 1, 0), ("t_isobaric", 5, 1, 0)]
    reads.clear()
    ds["u_isobaric"][0, -1, 0, 10:20, 5].values
    assert reads == [("u_isobaric", 17, 0, 0)]


def test_values_and_pickling_agree_with_the_engine():
    ds = xr.open_dataset(SAMPLES["sample_msm.gpv"], engine="kivar")
    d = kivar.open(SAMPLES["sample_msm.gpv"])
    np.testing.assert_array_equal(ds["gh_isobaric"][0, 3, 2].values, d.read("gh_isobaric", 3, 2))
    again = pickle.loads(pickle.dumps(ds))
    xr.testing.assert_identical(again.load(), ds.load())


def test_grib_values_identical_to_cfgrib():
    cfgrib = pytest.importorskip("cfgrib")
    ours = xr.open_dataset(SAMPLES["sample_msm.grib2"], engine="kivar")
    theirs = cfgrib.open_datasets(SAMPLES["sample_msm.grib2"], backend_kwargs={"indexpath": ""})
    compared = 0
    for t in theirs:
        for name, v in t.data_vars.items():
            if name == "unknown":  # parameters it has no name for
                continue
            level_kind = {"isobaricInhPa": "isobaric", "meanSea": "msl", "surface": "surface",
                          "heightAboveGround": "height"}[v.attrs["GRIB_typeOfLevel"]]
            short = {"u10": "u", "v10": "v", "t2m": "t", "lcc": "p0_6_3"}.get(name, name)
            mine = ours[short + "_" + level_kind]
            a = v.transpose("step", ...).values
            np.testing.assert_array_equal(np.asarray(a, np.float32).ravel(), mine.values.ravel())
            compared += 1
    assert compared >= 5


def test_netcdf_from_python_and_from_the_command_line(tmp_path):
    sample = SAMPLES["sample_rsm.gpv"]
    path = str(tmp_path / "all.nc")
    kivar.open(sample).write_netcdf(path, ["t_isobaric", "tcc_surface"])
    ours = xr.open_dataset(sample, engine="kivar")[["t_isobaric", "tcc_surface"]]
    with xr.open_dataset(path) as written:
        for name in ("t_isobaric", "tcc_surface"):
            np.testing.assert_array_equal(written[name].values, ours[name].values)
            assert written[name].attrs["units"] == ours[name].attrs["units"]
        np.testing.assert_array_equal(written["latitude"], ours["latitude"])
        assert written["valid_time"].dtype.kind == "M"

    run = run_kivar("data", sample, "--all", "--netcdf", "--save", "out", cwd=str(tmp_path))
    assert run.returncode == 0, run.stderr
    (name,) = os.listdir(tmp_path / "out")
    assert name == "MD04_ID001_P1000_DT26120400_TM00.nc"
    with xr.open_dataset(tmp_path / "out" / name) as cli:
        full = xr.open_dataset(sample, engine="kivar")
        for v in full.data_vars:
            np.testing.assert_array_equal(cli[v].values, full[v].values)
    assert subprocess.run(["ncdump", "-h", str(tmp_path / "out" / name)],
                          capture_output=True).returncode == 0
    log = (tmp_path / "gpv.log").read_text().splitlines()
    fields = sum(len(v.hours) * len(v.levels) for v in kivar.open(sample).variables)
    assert len(log) == fields


def test_netcdf_write_failures_leave_nothing(tmp_path):
    d = kivar.open(SAMPLES["sample_rsm.gpv"])
    with pytest.raises(kivar.FileError) as e:
        d.write_netcdf(str(tmp_path / "no" / "such" / "x.nc"))
    assert str(e.value).startswith("save_GPV: " + str(tmp_path / "no" / "such" / "x.nc") + ": ")
    with pytest.raises(kivar.RequestError):
        d.write_netcdf(str(tmp_path / "x.nc"), ["nothing"])
    assert os.listdir(tmp_path) == []


def test_netcdf_run_that_cannot_be_written_leaves_nothing(tmp_path):
    args = ["data", SAMPLES["sample_msm.grib2"], "--all", "--netcdf", "--save", "out"]
    assert run_kivar(*args, cwd=str(tmp_path)).returncode == 0
    (name,) = os.listdir(tmp_path / "out")
    os.unlink(tmp_path / "out" / name)
    (tmp_path / "out" / name).mkdir()  # the name taken by a folder
    run = run_kivar(*args, cwd=str(tmp_path))
    assert run.returncode == 1
    assert run.stderr.splitlines()[-1] == "save_GPV: out/%s: Is a directory" % name
    assert os.listdir(tmp_path / "out") == [name]
