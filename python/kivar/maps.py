"""Weather maps from Python, drawn by the `kivar image` command.

The plotting library ends its process on some failures (a file mode that
forbids overwriting, memory), so maps are drawn in a process of their own:
a failure raises kivar.Error with the command's message, and the
interpreter goes on.
"""
import os
import shutil
import subprocess
import time

from ._kivar import FileError, RequestError

_FORMATS = ("png", "pdf", "cgm", "tif", "ps", "bmp")


def program():
    """The kivar program: $KIVAR_PROGRAM, the one installed beside this
    package (PREFIX/bin/kivar), the build's, or the first on PATH."""
    if os.environ.get("KIVAR_PROGRAM"):
        return os.environ["KIVAR_PROGRAM"]
    here = os.path.dirname(os.path.abspath(__file__))
    for candidate in (os.path.join(here, "..", "..", "..", "..", "bin", "kivar"),
                      os.path.join(here, "..", "..", "app", "kivar")):
        if os.access(candidate, os.X_OK):
            return os.path.normpath(candidate)
    found = shutil.which("kivar")
    if not found:
        raise FileError("kivar: the kivar program was not found (set KIVAR_PROGRAM)")
    return found


def draw_map(path, save=".", *, level=None, item=None, hour=None, format="png", range=None,
             vector_scale=None, vector_density=None, contour=None, contour_only=False,
             area=None, all=False):
    """Draws the map of one field (or every field with all=True) of a GPV or
    GRIB file into the folder `save`, with the options of `kivar image`:
    level (hPa), item (code), hour, format (png, pdf, cgm, tif, ps, bmp),
    range (lo, hi), vector_scale, vector_density, contour (a step or
    "auto"), contour_only, area (lon0, lon1, lat0, lat1). Returns the paths
    of the files written, in the order written."""
    if format not in _FORMATS:
        raise RequestError("kivar: unknown format %s; formats: %s" % (format, " ".join(_FORMATS)))
    args = [program(), "image", os.fspath(path), "--format", format, "--save", os.fspath(save)]
    for flag, value in (("--level", level), ("--item", item), ("--hour", hour),
                        ("--vector-scale", vector_scale), ("--vector-density", vector_density),
                        ("--contour", contour)):
        if value is not None:
            args += [flag, str(value)]
    if range is not None:
        args += ["--range"] + [str(v) for v in range]
    if area is not None:
        args += ["--area"] + [str(v) for v in area]
    if contour_only:
        args.append("--contour-only")
    if all:
        args.append("--all")
    start = time.time() - 1
    run = subprocess.run(args, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    lines = [l for l in run.stderr.replace("\r", "\n").splitlines()
             if l and not l.startswith("field ")]
    if run.returncode != 0:
        message = lines[-1] if lines else "kivar: exit status %d" % run.returncode
        raise (RequestError if run.returncode == 2 else FileError)(message)
    written = []
    folder = os.fspath(save) or "."
    for name in os.listdir(folder):
        full = os.path.join(folder, name)
        if name.endswith("." + format) and not name.startswith(".") and \
                os.path.getmtime(full) >= start:
            written.append(full)
    return sorted(written, key=os.path.getmtime)
