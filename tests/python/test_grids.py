"""Grids other than regular latitude/longitude through the xarray backend
and NetCDF: 2-D coordinates (with a CF grid mapping for projections) or a
list of points, their positions checked against ecCodes' grib_get_data.
A grid the reader does not take yet is skipped with the reader's message."""
import os
import shutil
import subprocess

import numpy as np
import pytest
import xarray as xr

import kivar

SAMPLES = "/usr/share/eccodes/samples"

# (name, how the file is made, layout, grid_mapping_name or None)
GRIDS = [
    ("lambert", ["grib_set", "-s", "gridType=lambert,Nx=31,Ny=16,LoVInDegrees=135,LaDInDegrees=35,"
                 "latitudeOfFirstGridPointInDegrees=30,longitudeOfFirstGridPointInDegrees=130,"
                 "Latin1InDegrees=30,Latin2InDegrees=60,DxInMetres=20000,DyInMetres=20000,"
                 "jScansPositively=1",
                 SAMPLES + "/GRIB2.tmpl"], "projected", "lambert_conformal_conic"),
    ("polar", ["grib_set", "-s", "gridType=polar_stereographic,Nx=31,Ny=16,LaDInDegrees=60,"
               "latitudeOfFirstGridPointInDegrees=60,longitudeOfFirstGridPointInDegrees=10,"
               "orientationOfTheGridInDegrees=0,DxInMetres=50000,DyInMetres=50000,"
               "jScansPositively=1", SAMPLES + "/GRIB2.tmpl"], "projected",
     "polar_stereographic"),
    ("rotated", ["cp", SAMPLES + "/rotated_ll_sfc_grib2.tmpl"], "projected", None),
    ("gaussian", ["cp", SAMPLES + "/regular_gg_sfc_grib2.tmpl"], "projected", None),
    ("reduced", ["cp", SAMPLES + "/reduced_gg_pl_32_grib2.tmpl"], "points", None),
]


def eccodes_points(path):
    out = subprocess.run(["grib_get_data", "-w", "count=1", path], capture_output=True,
                         text=True, check=True).stdout.split("\n")[1:]
    rows = np.array([line.split()[:2] for line in out if line.strip()], dtype=float)
    return rows[:, 0], rows[:, 1] % 360


@pytest.mark.skipif(not shutil.which("grib_get_data"), reason="no ecCodes tools")
@pytest.mark.parametrize("name,make,layout,mapping", GRIDS)
def test_grid_coordinates_and_mapping(tmp_path, name, make, layout, mapping):
    path = str(tmp_path / (name + ".grib2"))
    subprocess.run(make + [path], check=True, capture_output=True)
    try:
        d = kivar.open(path)
    except kivar.FileError as e:
        pytest.skip(str(e))
    assert d.grids[0].layout == layout
    ds = xr.open_dataset(path, engine="kivar")
    (var,) = ds.data_vars
    lat, lon = ds["latitude"], ds["longitude"]
    assert lat.dims == ds[var].dims[-lat.ndim:] and lat.size == d.grids[0].points
    if mapping:
        assert ds[ds[var].attrs["grid_mapping"]].attrs["grid_mapping_name"] == mapping
    want_lat, want_lon = eccodes_points(path)
    np.testing.assert_allclose(np.sort(lat.values.ravel()), np.sort(want_lat), atol=2e-3)
    np.testing.assert_allclose(np.sort(lon.values.ravel() % 360), np.sort(want_lon), atol=2e-3)

    nc = str(tmp_path / (name + ".nc"))
    d.write_netcdf(nc)
    with xr.open_dataset(nc) as written:
        np.testing.assert_array_equal(written[var].values, ds[var].values)
        np.testing.assert_array_equal(written["latitude"].values, lat.values)
        if mapping:
            assert written[written[var].attrs["grid_mapping"]].attrs["grid_mapping_name"] \
                == mapping
