"""The archive example on a two-worker LocalCluster against a plain loop
over `kivar data`."""
import os
import subprocess
import sys

import numpy as np
import xarray as xr

from conftest import kivar_data

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "archive_mean.py")


def test_mean_over_runs_equals_the_loop_over_kivar_data(series, tmp_path):
    out = str(tmp_path / "mean.nc")
    run = subprocess.run([sys.executable, EXAMPLE, "--workers", "2", "--variable", "t_isobaric",
                          "--level", "850", "--step", "12", "--out", out, *series],
                         capture_output=True, text=True, env=dict(os.environ))
    assert run.returncode == 0, run.stderr
    assert "over %d runs" % len(series) in run.stdout
    loop = np.mean([kivar_data(f, 850, 4, 12, str(tmp_path)) for f in series], axis=0)
    with xr.open_dataset(out) as ds:
        mean = ds["t_isobaric"].values.ravel()
    # Fields are single precision, kivar data writes six decimals.
    np.testing.assert_allclose(mean, loop, rtol=0, atol=2e-6)
    # The runs differ, so the mean is no copy of one of them.
    first = kivar_data(series[0], 850, 4, 12, str(tmp_path))
    assert np.abs(mean - first).max() > 0.1
