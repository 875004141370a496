"""kivar.open and Dataset.read against `kivar data`, and the errors Python
sees against the command line's messages."""
import os
import pathlib

import numpy as np
import pytest

import kivar
from conftest import SAMPLES, cli_message, kivar_data

# (sample, variable, level, hour, item, conversion of kivar data's units)
FIELDS = [
    ("sample_rsm.gpv", "t_isobaric", 850, 24, 4, None),
    ("sample_rsm.gpv", "u_isobaric", 500, 51, 23, None),
    ("sample_msm.gpv", "p_surface", 0, 3, 1, None),
    ("sample_msm.gpv", "rain_surface", 0, 12, 49, None),
    ("sample_msm.grib2", "t_isobaric", 850, 6, 4, lambda k: k - 273.15),
    ("sample_msm.grib2", "gh_isobaric", 500, 12, 102, lambda m: m),
    ("sample_msm.grib2", "prmsl_msl", 0, 6, 1, lambda pa: pa * 0.01),
]


@pytest.mark.parametrize("sample,name,level,hour,item,convert", FIELDS)
def test_fields_equal_kivar_data(tmp_path, sample, name, level, hour, item, convert):
    d = kivar.open(SAMPLES[sample])
    (v,) = [v for v in d.variables if v.name == name]
    values = d.read(name, v.hours.index(hour), list(v.levels).index(level))
    grid = d.grids[v.grid]
    assert values.shape == (grid.rows, grid.cols) and values.dtype == np.float32
    assert values.base is not None  # handed over, not copied
    # The command line names a GRIB file's levels other than isobaric ones.
    cli_level = "mean sea level" if name.endswith("_msl") else level
    expected = kivar_data(SAMPLES[sample], cli_level, item, hour, str(tmp_path))
    got = values.ravel().astype(np.float64)
    if convert is None:
        # TEXT holds six decimals of the same single-precision values.
        np.testing.assert_allclose(got, expected, rtol=0, atol=5.1e-7)
    else:
        np.testing.assert_allclose(convert(got), expected, rtol=1e-6, atol=1e-4)


def test_inventory_and_coordinates():
    d = kivar.open(SAMPLES["sample_rsm.gpv"])
    assert (d.kind, d.model, d.reference_time) == ("gpv", "RSM", (2026, 12, 4, 0, 0))
    names = {v.name for v in d.variables}
    assert {"t_isobaric", "u_isobaric", "p_surface", "tcc_surface"} <= names
    t = d.variables[[v.name for v in d.variables].index("t_isobaric")]
    assert list(t.levels) == [1000, 850, 500] and t.hours == list(range(0, 52, 3))
    assert (t.units, t.standard_name) == ("degree_Celsius", "air_temperature")
    lat, lon = d.coordinates(t.grid)
    assert lat.shape == (75,) and lon.shape == (60,)
    assert lat[0] > lat[-1] and lon[0] < lon[-1]
    np.testing.assert_allclose([lat[0], lon[0]], [49.8, 120.25], atol=1e-5)

    g = kivar.open(SAMPLES["sample_msm.grib2"])
    assert g.kind == "grib" and g.grids[0].layout == "latlon"
    lat, lon = g.coordinates(0)
    assert (lat.size, lon.size) == (g.grids[0].rows, g.grids[0].cols)


def test_grib_behind_long_bulletin_headers_reads_the_same(tmp_path):
    header = b"\x01\r\r\n123\r\r\nYTRA98 RJTD 071200\r\r\n" * 4000  # 128 KB
    source = pathlib.Path(SAMPLES["sample_msm.grib2"]).read_bytes()
    path = written(str(tmp_path), "headed.grib2", header + source)
    a, b = kivar.open(SAMPLES["sample_msm.grib2"]), kivar.open(path)
    assert b.kind == "grib" and [v.name for v in b.variables] == [v.name for v in a.variables]
    np.testing.assert_array_equal(b.read("t_isobaric", 1, 0), a.read("t_isobaric", 1, 0))


def written(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


@pytest.mark.parametrize("make", [
    lambda folder: os.path.join(folder, "missing.gpv"),
    lambda folder: folder,
    lambda folder: written(folder, "broken.grib2", pathlib.Path(SAMPLES["sample_msm.grib2"])
                           .read_bytes()[:200]),
    lambda folder: written(folder, "junk.gpv", b"not a forecast\n" * 10),
])
def test_unreadable_files_raise_the_cli_message(tmp_path, make):
    path = make(str(tmp_path))
    status, message = cli_message("info", path, cwd=str(tmp_path))
    assert status == 1
    with pytest.raises(kivar.FileError) as e:
        kivar.open(path)
    assert str(e.value) == message
    assert isinstance(e.value, OSError) and isinstance(e.value, kivar.Error)


@pytest.mark.parametrize("args", [
    ("t_isobaric", 99, 0), ("t_isobaric", 0, 3), ("t_isobaric", -1, 0), ("nothing", 0, 0),
    (1000, 0, 0),
])
def test_positions_out_of_range_raise(args):
    d = kivar.open(SAMPLES["sample_rsm.gpv"])
    with pytest.raises(kivar.RequestError):
        d.read(*args)
    with pytest.raises(ValueError):
        d.read(args[0], args[1], args[2], 5)


@pytest.mark.parametrize("sample", sorted(SAMPLES))
def test_reads_from_threads_equal_serial_reads(sample):
    from concurrent.futures import ThreadPoolExecutor
    d = kivar.open(SAMPLES[sample])
    other = kivar.open(SAMPLES["sample_rsm.gpv"])  # GPV reads of two files interleave
    jobs = [(ds, v.name, h, l) for ds in (d, other) for v in ds.variables
            for h in range(0, len(v.hours), 3) for l in range(len(v.levels))]
    serial = [ds.read(name, h, l) for ds, name, h, l in jobs]
    with ThreadPoolExecutor(4) as pool:
        threaded = list(pool.map(lambda j: j[0].read(*j[1:]), jobs))
    for a, b in zip(serial, threaded):
        np.testing.assert_array_equal(a, b)
