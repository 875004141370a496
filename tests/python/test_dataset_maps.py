"""Dataset.draw_map: maps drawn in-process by the engine, against the pages
`kivar image` writes for the same field and options, and its messages.

The plotting library turns every second tick line from page to page, so each
page compared is the first of a fresh interpreter, as it is of the command;
both take their creation dates from the same SOURCE_DATE_EPOCH.
"""
import json
import os
import subprocess
import sys

import pytest

import kivar
from conftest import KIVAR, MAP, SAMPLES, cli_message, with_map

GPV, GRIB = SAMPLES["sample_rsm.gpv"], SAMPLES["sample_msm.grib2"]
DATED = dict(os.environ, SOURCE_DATE_EPOCH="1733270400")

# (file, options of `kivar image`, variable, keywords of draw_map, format)
CASES = [
    (GPV, ["--level", "850", "--item", "4", "--hour", "24"], "t_isobaric",
     dict(level=1, hour=8), "png"),
    (GPV, ["--level", "850", "--item", "23", "--hour", "6", "--contour", "auto"], "u_isobaric",
     dict(level=1, hour=2, contour="auto"), "ps"),
    (GPV, ["--level", "500", "--item", "102", "--projection", "lambert", "--palette", "viridis"],
     "gh_isobaric", dict(level=2, projection="lambert", palette="viridis"), "bmp"),
    (GRIB, ["--level", "surface", "--item", "256", "--hour", "3"], "p0_6_3_surface",
     dict(hour=1), "png"),
    (GRIB, ["--level", "10 m above ground", "--item", "24", "--hour", "6", "--area", "125", "145",
            "25", "45"], "v_height", dict(hour=2, area=(125, 145, 25, 45)), "cgm"),
    (GRIB, ["--level", "surface", "--item", "256", "--contour-only", "--projection", "mercator"],
     "p0_6_3_surface", dict(contour_only=True, projection="mercator"), "pdf"),
]

CHILD = """
import json, sys, kivar
f, variable, kwargs, out = json.loads(sys.argv[1])
page = kivar.open(f).draw_map(variable, **kwargs)
if out:
    open(out, "wb").write(page)
"""


def first_page(f, variable, kwargs, path=None, out=None):
    """The page of a fresh interpreter, written to path or as bytes to out."""
    args = json.dumps([f, variable, dict(kwargs, coast=MAP, path=path), out])
    run = subprocess.run([sys.executable, "-c", CHILD, args], capture_output=True, env=DATED)
    assert run.returncode == 0, run.stderr


@pytest.mark.parametrize("f,args,variable,kwargs,fmt", CASES)
def test_pages_equal_kivar_image(tmp_path, f, args, variable, kwargs, fmt):
    with_map(str(tmp_path))
    subprocess.run([KIVAR, "image", f, "--save", str(tmp_path), "--format", fmt, *args],
                   cwd=str(tmp_path), check=True, capture_output=True, env=DATED)
    (name,) = [n for n in os.listdir(tmp_path) if n.endswith("." + fmt)]
    theirs = (tmp_path / name).read_bytes()
    # The same path: vector pages name their file.
    os.rename(tmp_path / name, tmp_path / "cli")
    first_page(f, variable, dict(kwargs, format=fmt), str(tmp_path / name))
    assert (tmp_path / name).read_bytes() == theirs
    if fmt in ("png", "bmp"):
        first_page(f, variable, dict(kwargs, format=fmt), out=str(tmp_path / "bytes"))
        assert (tmp_path / "bytes").read_bytes() == theirs


BAD = [
    (dict(area=(0, 10, 0, 10)), ["--area", "0", "10", "0", "10"], kivar.RequestError),
    (dict(area=(150, 120, 20, 50)), ["--area", "150", "120", "20", "50"], kivar.RequestError),
    (dict(contour="-2"), ["--contour", "-2"], kivar.RequestError),
    (dict(projection="conic"), ["--projection", "conic"], kivar.RequestError),
    (dict(palette="grey"), ["--palette", "grey"], kivar.RequestError),
    (dict(variable="p_isobaric"), ["--item", "1"], kivar.RequestError),
]


@pytest.mark.parametrize("kwargs,args,error", BAD)
def test_bad_requests_raise_the_cli_message(tmp_path, kwargs, args, error):
    _, message = cli_message("image", GPV, "--format", "png", "--level", "1000",
                                  "--hour", "0", "--save", str(tmp_path), *args,
                                  cwd=str(tmp_path))
    d = kivar.open(GPV)
    with pytest.raises(error) as e:
        d.draw_map(kwargs.pop("variable", "t_isobaric"), **kwargs)
    assert str(e.value) == message


def test_a_page_the_library_ends_raises_and_the_interpreter_goes_on(tmp_path, capfd):
    d = kivar.open(GPV)
    # A PDF file that cannot be created ends the page inside the library.
    with pytest.raises(kivar.FileError) as e:
        d.draw_map("t_isobaric", format="pdf", path=str(tmp_path / "none" / "t.pdf"))
    assert "No such file or directory" in str(e.value)
    assert d.draw_map("t_isobaric", format="pdf").startswith(b"%PDF")
    assert not os.path.exists(tmp_path / "none")
    # The outcome comes as the exception: the library prints nothing.
    assert capfd.readouterr() == ("", "")
