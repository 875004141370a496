"""xarray backend for GPV and GRIB files: xr.open_dataset(path, engine="kivar").

One variable per parameter and level kind ("t_isobaric", "u_height"), with
dimensions time (the run's initial time, of length 1, so that runs stack),
step (forecast hours as timedeltas), the level kind ("isobaric"
in hPa, "surface", "height" in metres...), "number" for ensemble members,
and the grid: latitude/longitude for regular lat/lon grids, y/x with 2-D
latitude/longitude coordinates (and a CF grid_mapping "crs" where the grid
has a projection) for others, "values" for reduced grids. The coordinate
"valid_time" (time, step) comes along.

Fields are decoded only when their values are asked for, one field per
read; the arrays reopen the file by its path in whichever process reads
them, so datasets can be pickled to Dask workers.
"""
import os
import threading
from collections import OrderedDict

import numpy as np
import xarray as xr
from xarray.backends import BackendArray, BackendEntrypoint
from xarray.core import indexing

from . import _kivar

_cache = OrderedDict()  # (path, size, mtime) -> kivar.Dataset, in this process
_cache_lock = threading.Lock()
_CACHE_SIZE = 128


def _dataset(path):
    """The open kivar.Dataset of a path, shared within the process while the
    file stays the same."""
    st = os.stat(path)
    key = (os.path.abspath(path), st.st_size, st.st_mtime_ns)
    with _cache_lock:
        d = _cache.get(key)
        if d is not None:
            _cache.move_to_end(key)
            return d
    d = _kivar.open(path)
    with _cache_lock:
        _cache[key] = d
        while len(_cache) > _CACHE_SIZE:
            _cache.popitem(last=False)
    return d


class KivarBackendArray(BackendArray):
    """The fields of one variable, (time, step, level, [member,] grid...), decoded
    on demand. Holds only the path and the variable's name."""

    def __init__(self, path, name, shape, grid_ndim, present):
        self.path = path
        self.name = name
        self.shape = tuple(shape)
        self.dtype = np.dtype(np.float32)
        self.grid_ndim = grid_ndim
        self.present = present  # (step, level, member): whether the file has the field

    def __getitem__(self, key):
        return indexing.explicit_indexing_adapter(
            key, self.shape, indexing.IndexingSupport.OUTER, self._read)

    def _read(self, key):
        d = _dataset(self.path)
        lead = len(self.shape) - self.grid_ndim
        ranges = []
        for k, n in zip(key[:lead], self.shape[:lead]):
            if isinstance(k, slice):
                ranges.append(np.arange(n)[k])
            else:
                ranges.append(np.atleast_1d(np.asarray(k)))
        grid_key = tuple(key[lead:])
        probe = np.empty(self.shape[lead:], dtype=np.float32)[grid_key]
        out = np.full(tuple(len(r) for r in ranges) + probe.shape, np.nan, dtype=np.float32)
        # Level by level: a GPV record holds every hour of its level and
        # item, so the hours of one level read the same bytes one after another.
        order = sorted(np.ndindex(*(len(r) for r in ranges)), key=lambda ix: (ix[2], ix[1]) + ix[3:])
        for index in order:
            pos = [int(r[i]) for r, i in zip(ranges, index)]
            h, l = pos[1], pos[2]  # pos[0]: the run, always 0
            m = pos[3] if len(pos) > 3 else 0
            if not self.present[h, l, m]:
                continue
            field = d.read(self.name, h, l, m)
            out[index] = field[grid_key]
        # Integer keys drop their dimension.
        squeeze = tuple(i for i, k in enumerate(key[:lead]) if not isinstance(k, slice)
                        and np.ndim(k) == 0)
        return out.squeeze(axis=squeeze) if squeeze else out


class _Dimensions:
    """Dimensions shared by name where their coordinate values agree, else
    numbered ("step_2")."""

    def __init__(self):
        self.made = {}
        self.coords = {}

    def get(self, base, values, attrs):
        values = np.asarray(values)
        versions = self.made.setdefault(base, [])
        for name, v in versions:
            if v.shape == values.shape and np.array_equal(v, values):
                return name
        name = base if not versions else "%s_%d" % (base, len(versions) + 1)
        versions.append((name, values))
        self.coords[name] = xr.Variable((name,), values, attrs)
        return name


def _grid_mapping(grid):
    p = {}
    for word in grid.proj.split():
        if word.startswith("+") and "=" in word:
            k, v = word[1:].split("=", 1)
            try:
                p[k] = float(v)
            except ValueError:
                pass
    attrs = {}
    if grid.kind == "lambert":
        attrs = {"grid_mapping_name": "lambert_conformal_conic",
                 "standard_parallel": [p.get("lat_1", 0.0), p.get("lat_2", p.get("lat_1", 0.0))],
                 "longitude_of_central_meridian": p.get("lon_0", 0.0),
                 "latitude_of_projection_origin": p.get("lat_0", 0.0)}
    elif grid.kind == "polar_stereographic":
        attrs = {"grid_mapping_name": "polar_stereographic",
                 "straight_vertical_longitude_from_pole": p.get("lon_0", 0.0),
                 "latitude_of_projection_origin": p.get("lat_0", 90.0),
                 "standard_parallel": p.get("lat_ts", p.get("lat_0", 90.0))}
    elif grid.kind == "mercator":
        attrs = {"grid_mapping_name": "mercator",
                 "longitude_of_projection_origin": p.get("lon_0", 0.0),
                 "standard_parallel": p.get("lat_ts", 0.0)}
    attrs.update({"false_easting": 0.0, "false_northing": 0.0,
                  "semi_major_axis": p.get("a", 6371229.0),
                  "semi_minor_axis": p.get("b", p.get("a", 6371229.0)),
                  "proj4_params": grid.proj})
    return attrs


def _level_attrs(v):
    attrs = {"long_name": v.level_kind + " level", "axis": "Z"}
    if v.level_units:
        attrs["units"] = v.level_units
    if v.level_kind == "isobaric":
        attrs.update(standard_name="air_pressure", positive="down")
    elif v.level_kind == "height":
        attrs.update(standard_name="height", positive="up")
    return attrs


def open_kivar_dataset(path, drop_variables=None):
    """The xarray Dataset of a GPV or GRIB file (see the module's text)."""
    path = os.fspath(path)
    d = _dataset(path)
    drop = set([drop_variables] if isinstance(drop_variables, str) else drop_variables or ())
    dims = _Dimensions()
    coords = {}
    y, mo, da, h, mi = d.reference_time
    reference = np.datetime64("%04d-%02d-%02dT%02d:%02d" % (y, mo, da, h, mi), "ns")
    # The run is a dimension of one, so that the datasets of many runs stack
    # (xr.open_mfdataset orders them by it).
    coords["time"] = xr.Variable(("time",), np.array([reference]),
                                 {"standard_name": "forecast_reference_time",
                                  "long_name": "initial time of forecast"})
    grid_dims = {}
    counts = {}
    data_vars = {}
    for v in d.variables:
        if v.name in drop:
            continue
        grid = d.grids[v.grid]
        if v.grid not in grid_dims:
            lat, lon = d.coordinates(v.grid)
            mapping = None
            if grid.layout == "latlon":
                gd = (dims.get("latitude", lat, {"units": "degrees_north",
                                                 "standard_name": "latitude",
                                                 "long_name": "latitude"}),
                      dims.get("longitude", lon, {"units": "degrees_east",
                                                  "standard_name": "longitude",
                                                  "long_name": "longitude"}))
                extra = []
            else:
                n = counts.get(grid.kind, 0)
                counts[grid.kind] = n + 1
                suffix = "_%d" % (n + 1) if n else ""
                if grid.layout == "points":
                    gd = ("values" + suffix,)
                else:
                    metres = {"units": "m"} if grid.proj else {}
                    ys = grid.y0 - np.arange(grid.rows) * grid.dy
                    xs = grid.x0 + np.arange(grid.cols) * grid.dx
                    gd = (dims.get("y" + suffix, ys, dict(metres, standard_name="projection_y_coordinate") if grid.proj else {}),
                          dims.get("x" + suffix, xs, dict(metres, standard_name="projection_x_coordinate") if grid.proj else {}))
                    if grid.proj:
                        mapping = "crs" + suffix
                        coords[mapping] = xr.Variable((), np.int32(0), _grid_mapping(grid))
                coords["latitude" + suffix] = xr.Variable(gd, lat, {"units": "degrees_north",
                                                                    "standard_name": "latitude"})
                coords["longitude" + suffix] = xr.Variable(gd, lon, {"units": "degrees_east",
                                                                     "standard_name": "longitude"})
                extra = ["latitude" + suffix, "longitude" + suffix]
            grid_dims[v.grid] = (gd, mapping, extra)
        gd, mapping, extra = grid_dims[v.grid]
        hours = np.asarray(v.hours, dtype="int64")
        step = dims.get("step", hours.astype("timedelta64[h]").astype("timedelta64[ns]"),
                        {"standard_name": "forecast_period",
                         "long_name": "time since forecast_reference_time"})
        valid = "valid_time" + step[4:]
        if valid not in coords:
            coords[valid] = xr.Variable(("time", step),
                                        (reference + hours.astype("timedelta64[h]"))[None, :],
                                        {"standard_name": "time", "long_name": "time"})
        level = dims.get(v.level_kind, np.asarray(v.levels, dtype="float64"), _level_attrs(v))
        lead = ["time", step, level]
        if len(v.members):
            lead.append(dims.get("number", np.asarray(v.members), {
                "standard_name": "realization", "long_name": "ensemble member numerical id"}))
        all_dims = tuple(lead) + gd
        shape = [1, len(v.hours), len(v.levels)] + ([len(v.members)] if len(v.members) else [])
        shape += [grid.points] if grid.layout == "points" else [grid.rows, grid.cols]
        present = np.array(v.present, dtype=bool).reshape(
            len(v.hours), len(v.levels), max(1, len(v.members)))
        array = KivarBackendArray(path, v.name, shape, len(gd), present)
        attrs = {"long_name": v.long_name, "units": v.units, "grid_type": grid.kind}
        if v.standard_name:
            attrs["standard_name"] = v.standard_name
        if mapping:
            attrs["grid_mapping"] = mapping
        if v.item:
            attrs["kivar_item"] = v.item
        else:
            attrs["grib_parameter"] = "%d.%d.%d" % (v.discipline, v.category, v.number)
        if extra:
            attrs["coordinates"] = " ".join(extra)
        var = xr.Variable(all_dims, indexing.LazilyIndexedArray(array), attrs)
        # One chunk per variable of a run: a task reads its fields one after
        # another from one file (the GPV reader keeps the record index of one
        # file at a time); slices of it still decode only their fields.
        var.encoding["preferred_chunks"] = dict(zip(all_dims, shape))
        var.encoding["dtype"] = np.dtype(np.float32)
        data_vars[v.name] = var
    coords.update(dims.coords)
    # "coordinates" names 2-D coordinates for files; in memory they are coords.
    for var in data_vars.values():
        var.attrs.pop("coordinates", None)
    ds = xr.Dataset(data_vars, coords=coords,
                    attrs={"Conventions": "CF-1.8", "source": "KIVAR", "model": d.model,
                           "kivar_format": d.kind})
    ds.set_close(None)
    return ds


class KivarBackendEntrypoint(BackendEntrypoint):
    """xarray's entry to GPV and GRIB files through KIVAR's engine."""

    description = "GPV and GRIB forecast files through KIVAR's engine"
    url = ""
    open_dataset_parameters = ("filename_or_obj", "drop_variables")

    def open_dataset(self, filename_or_obj, *, drop_variables=None):
        return open_kivar_dataset(filename_or_obj, drop_variables=drop_variables)

    def guess_can_open(self, filename_or_obj):
        try:
            path = os.fspath(filename_or_obj)
        except TypeError:
            return False
        if os.path.splitext(path)[1].lower() in (".gpv", ".grib", ".grib2", ".grb", ".grb2"):
            return True
        try:
            with open(path, "rb") as f:
                return f.read(4) == b"GRIB"
        except OSError:
            return False
