"""kivar.draw_map: the maps and messages of `kivar image` with the same
options."""
import os
import subprocess

import pytest

import kivar
from conftest import KIVAR, SAMPLES, cli_message, with_map

CASES = [
    (dict(level=850, item=4, hour=24), ["--level", "850", "--item", "4", "--hour", "24"]),
    (dict(level=500, item=102, contour="auto", area=(125, 145, 25, 45), format="bmp"),
     ["--level", "500", "--item", "102", "--contour", "auto", "--area", "125", "145", "25",
      "45", "--format", "bmp"]),
]


@pytest.mark.parametrize("kwargs,args", CASES)
def test_maps_equal_kivar_image(tmp_path, monkeypatch, kwargs, args):
    with_map(str(tmp_path))
    monkeypatch.chdir(tmp_path)
    (ours,) = kivar.draw_map(SAMPLES["sample_rsm.gpv"], "py", **kwargs)
    if "format" not in kwargs:
        args = args + ["--format", "png"]
    subprocess.run([KIVAR, "image", SAMPLES["sample_rsm.gpv"], "--save", "cli", *args],
                   cwd=str(tmp_path), check=True, capture_output=True)
    (theirs,) = os.listdir(tmp_path / "cli")
    assert os.path.basename(ours) == theirs
    with open(ours, "rb") as a, open(tmp_path / "cli" / theirs, "rb") as b:
        assert a.read() == b.read()


@pytest.mark.parametrize("kwargs,args,error", [
    (dict(level=123), ["--level", "123"], kivar.RequestError),
    (dict(area=(150, 120, 20, 50)), ["--area", "150", "120", "20", "50"], kivar.FileError),
    (dict(save="afile", level=850, item=4), ["--save", "afile", "--level", "850", "--item", "4"],
     kivar.FileError),
])
def test_map_failures_raise_the_cli_message(tmp_path, monkeypatch, kwargs, args, error):
    with_map(str(tmp_path))
    monkeypatch.chdir(tmp_path)
    (tmp_path / "afile").write_text("")  # a save folder that is a file
    status, message = cli_message("image", SAMPLES["sample_rsm.gpv"], "--format", "png",
                                  "--save", "out", *args, cwd=str(tmp_path))
    with pytest.raises(error) as e:
        kivar.draw_map(SAMPLES["sample_rsm.gpv"], **dict(dict(save="out"), **kwargs))
    assert str(e.value) == message and status != 0
