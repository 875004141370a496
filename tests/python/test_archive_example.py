"""The archive example on a two-worker LocalCluster against a plain loop
over `kivar data`."""
import os
import subprocess
import sys

import numpy as np
import pytest
import xarray as xr

from conftest import kivar_data

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "archive_mean.py")


def run_example(*args):
    return subprocess.run([sys.executable, EXAMPLE, *args], capture_output=True, text=True,
                          env=dict(os.environ))


def test_mean_over_runs_equals_the_loop_over_kivar_data(series, tmp_path):
    out = str(tmp_path / "mean.nc")
    (tmp_path / "mean.nc").write_text("an earlier mean")
    run = run_example("--workers", "2", "--variable", "t_isobaric", "--level", "850", "--step",
                      "12", "--out", out, *series)
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


@pytest.mark.parametrize("args, message", [
    (["--variable", "rh_isobaric"], "the files have no variable rh_isobaric; they have "),
    (["--level", "925"], "t_isobaric has no isobaric level 925; its levels are 1000, 850, 500"),
    (["--step", "7"], "t_isobaric has no hour 7; its hours are 0, 3, 6,"),
    (["--out", "/nonexistent-folder/mean.nc"], "/nonexistent-folder/mean.nc: No such file"),
])
def test_bad_requests_are_told_by_name(series, args, message):
    run = run_example("--workers", "1", *args, *series[:2])
    assert run.returncode == 1 and "archive_mean.py: " + message in run.stderr, run.stderr
    assert "Traceback" not in run.stderr
