#!/usr/bin/python3
"""The Python face side by side with cfgrib, and the archive mean on Dask.

    PYTHONPATH=build/python bench/python/bench_python.py [--build build] [--runs 3]
        [--files 100] [--grib FILE...] [--parts grib archive]

1. GRIB2 files (by default the large generated regional forecast, written
   by build/tools/gribgen_sample into a temporary folder): opening (the
   inventory as an xarray Dataset) and loading every field, xarray's kivar
   engine against cfgrib (no index files), and the values compared.
2. The mean of every field of one variable (12 steps, 10 levels) over
   --files generated MSM forecast runs
   (build/tools/gpvgen_series) on a dask.distributed LocalCluster with one
   and with two worker processes (set up as examples/archive_mean.py sets
   them up): runs per second, at least five runs of each.

Prints the minimum and maximum of --runs runs of each and the ratios, and
the medians of the archive means.
"""
import argparse
import glob
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import xarray as xr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "examples"))


def timed(f, runs):
    """(fastest, slowest, last result, every time) of runs calls of f."""
    times, result = [], None
    for _ in range(runs):
        start = time.perf_counter()
        result = f()
        times.append(time.perf_counter() - start)
    return min(times), max(times), result, times


def show(what, ours, theirs=None, peer="cfgrib"):
    line = "%-44s kivar %8.3f to %8.3f s" % (what, ours[0], ours[1])
    if theirs:
        line += "   %s %8.3f to %8.3f s   ratio %.1f to %.1f x" % (
            peer, theirs[0], theirs[1], theirs[0] / ours[1], theirs[1] / ours[0])
    print(line, flush=True)


def grib_part(files, runs):
    import cfgrib
    from kivar import xarray_backend

    def open_ours(path):
        xarray_backend._cache.clear()  # each run reads the file anew
        return xr.open_dataset(path, engine="kivar")

    def open_theirs(path):
        return cfgrib.open_datasets(path, backend_kwargs={"indexpath": ""}, cache=False)

    for path in files:
        size = os.path.getsize(path) / 1e6
        ours = timed(lambda: open_ours(path), runs)
        theirs = timed(lambda: open_theirs(path), runs)
        show("open %s (%.0f MB)" % (os.path.basename(path), size), ours, theirs)
        ours_load = timed(lambda: open_ours(path).load(), runs)
        theirs_load = timed(lambda: [d.load() for d in open_theirs(path)], runs)
        show("open and load every field", ours_load, theirs_load)
        # Values: every cfgrib variable against ours.
        mine, compared, fields = ours_load[2], 0, 0
        kinds = {"isobaricInhPa": "isobaric", "meanSea": "msl", "surface": "surface",
                 "heightAboveGround": "height"}
        for d in theirs_load[2]:
            for name, v in d.data_vars.items():
                if name == "unknown":  # parameters it has no name for
                    continue
                short = {"u10": "u", "v10": "v", "t2m": "t", "lcc": "p0_6_3"}.get(name, name)
                m = mine[short + "_" + kinds.get(v.attrs["GRIB_typeOfLevel"], "?")]
                a = np.asarray(v.transpose("step", ...).values, np.float32)
                if not np.array_equal(a.ravel(), m.values.ravel(), equal_nan=True):
                    print("  values differ:", name)
                    return False
                compared += 1
                fields += a.size // (a.shape[-1] * a.shape[-2])
        print("  values identical: %d variables, %d fields" % (compared, fields))
    return True


def archive_part(build, count, runs):
    from archive_mean import local_cluster, mean_fields, mean_map
    from dask.distributed import Client

    folder = tempfile.mkdtemp(prefix="kivar-archive-")
    subprocess.run([os.path.join(build, "tools", "gpvgen_series"), folder, str(count), "5"],
                   check=True)
    files = sorted(glob.glob(os.path.join(folder, "*.gpv")))
    times = {}
    for workers in (1, 2):
        with local_cluster(workers) as cluster, Client(cluster) as client:
            mean_map(files[:4], "t_isobaric", 850, 12, client)  # workers warm
            times[workers] = sorted(timed(lambda: mean_fields(files, "t_isobaric", client),
                                          runs)[3])
        t = times[workers]
        print("mean of t_isobaric (120 fields) over %d MSM runs, %d worker(s): %.3f to %.3f s "
              "(median %.3f), %.1f runs/s at the median" % (
                  len(files), workers, t[0], t[-1], t[len(t) // 2], len(files) / t[len(t) // 2]),
              flush=True)
    one, two = times[1], times[2]
    print("  two workers against one: %.2f x at the median (%.2f to %.2f x)" % (
        one[len(one) // 2] / two[len(two) // 2], one[0] / two[-1], one[-1] / two[0]))
    for f in files:
        os.unlink(f)
    os.rmdir(folder)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", default=os.path.join(HERE, "..", "..", "build"))
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--files", type=int, default=100)
    p.add_argument("--grib", nargs="*")
    p.add_argument("--parts", nargs="+", choices=("grib", "archive"), default=("grib", "archive"))
    a = p.parse_args()
    ok = True
    if "grib" in a.parts:
        ok = grib_part(a.grib or generated_grib(a.build), a.runs)
    if "archive" in a.parts:
        archive_part(a.build, a.files, max(a.runs, 5))
    return 0 if ok else 1


def generated_grib(build):
    """The large generated regional forecast (in a temporary folder) and the
    bundled MSM sample."""
    folder = tempfile.mkdtemp(prefix="kivar-grib-")
    subprocess.run([os.path.join(build, "tools", "gribgen_sample"), folder, "large"], check=True)
    return [os.path.join(folder, "large.grib2"), os.path.join(build, "data", "sample_msm.grib2")]


if __name__ == "__main__":
    sys.exit(main())
