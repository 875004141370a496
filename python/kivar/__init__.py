"""KIVAR's forecast files in Python.

kivar.open(path) reads the inventory of a GPV or GRIB file (the file's first
bytes decide); Dataset.read() gives one field as a NumPy array,
Dataset.coordinates() its grid's latitudes and longitudes, and
Dataset.write_netcdf() writes fields as a NetCDF-CF file. xarray opens the
same files with engine="kivar" (see kivar.xarray_backend). Dataset.draw_map()
draws one field's weather map in-process (to a file or as bytes);
kivar.draw_map() runs `kivar image` with its options.

Failures raise kivar.Error: kivar.FileError (also an OSError) for a file
that cannot be read or written, kivar.RequestError (also a ValueError) for a
variable or position the file does not have. The message is the one the
command line prints for the same fault.
"""
from ._kivar import Dataset, Error, FileError, Grid, RequestError, Variable, open
from .maps import draw_map

__all__ = ["open", "draw_map", "Dataset", "Variable", "Grid", "Error", "FileError", "RequestError"]
