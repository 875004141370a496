#!/usr/bin/python3
"""The mean map of one field over an archive of forecast runs, on Dask.

    archive_mean.py [--workers N] [--variable t_isobaric] [--level 850]
                    [--step 12] [--out mean.nc] FILE...

Opens every GPV or GRIB file with xarray's kivar engine on a
dask.distributed LocalCluster of N worker processes (the files are opened
in the workers, and each worker decodes only the fields of the chosen
level and step), averages the field over the runs, and writes the mean
map as NetCDF (--out) and prints its smallest, mean and largest value.
"""
import argparse
import os
import sys
import tempfile
import time

import dask
import numpy as np
import xarray as xr


def local_cluster(workers):
    """A LocalCluster of single-threaded worker processes, set up for means
    over many runs: the scheduler hands each worker a contiguous share of the
    runs, so that the tree that sums them stays within a worker until its
    last steps instead of moving partial sums and counts (14 MB a variable
    and run) between workers."""
    from dask.distributed import LocalCluster
    with dask.config.set({"distributed.scheduler.worker-saturation": "inf"}):
        return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                            dashboard_address=None)


def open_runs(files, parallel, whole_chunks=False):
    """The files as one Dataset along "time" (each file one run, each
    variable of a run one chunk), opened in the workers when parallel.

    whole_chunks: every field of the chunks will be used. Each chunk's reader
    then goes into the task that reads it (inline_array), which the scheduler
    spreads better; a selection of a few fields would however be read whole,
    as the reader is no longer told which fields are wanted."""
    return xr.open_mfdataset(files, engine="kivar", parallel=parallel, data_vars="minimal",
                             coords="minimal", compat="override", inline_array=whole_chunks)


def mean_map(files, variable, level, step_hours, client=None):
    """The mean over the files' runs of one field (level in the variable's
    level units, step in hours) as a DataArray (lat, lon)."""
    runs = open_runs(files, parallel=client is not None)
    if variable not in runs.data_vars:
        raise ValueError("the files have no variable %s; they have %s" % (
            variable, ", ".join(sorted(runs.data_vars))))
    field = runs[variable]
    level_dim = field.dims[2]
    step = np.timedelta64(step_hours, "h")
    if level not in field[level_dim].values:
        raise ValueError("%s has no %s level %g; its levels are %s" % (
            variable, level_dim, level, ", ".join("%g" % v for v in field[level_dim].values)))
    if step not in field["step"].values:
        raise ValueError("%s has no hour %d; its hours are %s" % (variable, step_hours, ", ".join(
            str(h) for h in field["step"].values.astype("timedelta64[h]").astype(int))))
    # The selection leaves a task only the fields of the chosen level and step.
    field = field.sel({level_dim: level, "step": step})
    return field.mean("time").compute()


def write_netcdf(mean, path):
    """Writes the mean map as NetCDF under a temporary name in the same
    folder and renames it onto path once complete, so that a failure leaves
    any earlier file of that name as it was."""
    folder = os.path.dirname(os.path.abspath(path))
    try:
        fd, part = tempfile.mkstemp(prefix=".archive_mean-", suffix=".nc", dir=folder)
    except OSError as e:
        raise OSError("%s: %s" % (path, e.strerror)) from None
    os.close(fd)
    umask = os.umask(0)
    os.umask(umask)
    try:
        os.chmod(part, 0o666 & ~umask)  # as a file made anew would be
        mean.to_netcdf(part)
        os.replace(part, path)
    except BaseException:
        os.unlink(part)
        raise


def mean_fields(files, variable, client=None):
    """The mean over the files' runs of every field of a variable (each
    step and level) as a DataArray."""
    runs = open_runs(files, parallel=client is not None, whole_chunks=True)
    return runs[variable].mean("time").compute()


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("files", nargs="+")
    p.add_argument("--workers", type=int, default=2)
    p.add_argument("--variable", default="t_isobaric")
    p.add_argument("--level", type=float, default=850)
    p.add_argument("--step", type=int, default=12, help="forecast hour")
    p.add_argument("--out", help="write the mean map to this NetCDF file")
    a = p.parse_args(argv)

    if a.workers < 1:
        p.error("--workers must be at least 1")
    from dask.distributed import Client
    try:
        with local_cluster(a.workers) as cluster, Client(cluster) as client:
            start = time.perf_counter()
            mean = mean_map(sorted(a.files), a.variable, a.level, a.step, client)
            seconds = time.perf_counter() - start
        if a.out:
            write_netcdf(mean, a.out)
    except (OSError, ValueError) as e:  # kivar.Error is one of them
        print("archive_mean.py: %s" % e, file=sys.stderr)
        return 1
    values = mean.values
    print("%s at %g, hour %d over %d runs: min %.6f mean %.6f max %.6f (%.2f s, %d workers)" % (
        a.variable, a.level, a.step, len(a.files), np.nanmin(values), np.nanmean(values),
        np.nanmax(values), seconds, a.workers))
    return 0


if __name__ == "__main__":
    sys.exit(main())
