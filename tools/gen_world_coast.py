#!/usr/bin/env python3
"""Writes the world coastline that maps outside the fixed Japan frame draw.

Source: the GSHHG shorelines (LGPL) as the binned netCDF files of the Debian
package gmt-gshhg-low: crude, low and intermediate resolution. The shoreline
of each 10 or 20 degree bin comes as segments of points relative to the bin's
south-west corner; the segments of land (level 1), lakes (level 2) and the
Antarctic grounding line (level 6) are kept, islands in lakes and ponds are
left out. A lake that closes inside its bin and spans less than MIN_LAKE
degrees at that resolution is left out too: at the map scales the resolution
serves it would be a speck.

Output, one file per resolution (coast_c.bin, coast_l.bin, coast_i.bin),
little-endian:
    8 bytes  "KVCOAST1"
    uint32   number of polylines
    uint32   number of points
    then per polyline:
        uint32  number of points (at least 2)
        int16   longitude of the bin's south-west corner, degrees east (0..359)
        int16   latitude of that corner, degrees north (-90..89)
        uint16  size of the bin, minutes
        then per point uint16 x, uint16 y: the offset from the corner in
        1/65535 of the bin's size

Usage: tools/gen_world_coast.py [gshhg-dir] [output-dir]
"""
import os
import struct
import sys

from netCDF4 import Dataset

KEPT_LEVELS = (1, 2, 6)
LAKE = 2
MIN_LAKE = {"c": 2.0, "l": 0.75, "i": 0.2}  # degrees, the larger side of its box


def convert(src, dst, min_lake):
    d = Dataset(src)
    d.set_auto_mask(False)
    v = d.variables
    size = int(v["Bin_size_in_minutes"][0])
    nx = int(v["N_bins_in_360_longitude_range"][0])
    first_seg = v["Id_of_first_segment_in_a_bin"][:].tolist()
    nseg = v["N_segments_in_a_bin"][:].tolist()
    info = v["Embedded_npts_levels_exit_entry_for_a_segment"][:].tolist()
    first_pt = v["Id_of_first_point_in_a_segment"][:].tolist()
    rx = [int(x) & 0xFFFF for x in v["Relative_longitude_from_SW_corner_of_bin"][:].tolist()]
    ry = [int(y) & 0xFFFF for y in v["Relative_latitude_from_SW_corner_of_bin"][:].tolist()]
    d.close()
    lines = []
    points = 0
    for b in range(len(first_seg)):
        lon0 = (b % nx) * size // 60
        lat0 = 90 - (b // nx + 1) * size // 60
        for s in range(first_seg[b], first_seg[b] + nseg[b]):
            n = info[s] >> 9
            level = (info[s] >> 6) & 7
            if level not in KEPT_LEVELS or n < 2:
                continue
            p = first_pt[s]
            if level == LAKE and (rx[p], ry[p]) == (rx[p + n - 1], ry[p + n - 1]):
                xs, ys = rx[p:p + n], ry[p:p + n]
                extent = max(max(xs) - min(xs), max(ys) - min(ys)) / 65535 * size / 60
                if extent < min_lake:
                    continue
            body = bytearray(struct.pack("<IhhH", n, lon0, lat0, size))
            for k in range(p, p + n):
                body += struct.pack("<HH", rx[k], ry[k])
            lines.append(bytes(body))
            points += n
    tmp = dst + ".tmp"
    with open(tmp, "wb") as f:
        f.write(b"KVCOAST1")
        f.write(struct.pack("<II", len(lines), points))
        for body in lines:
            f.write(body)
    os.replace(tmp, dst)
    return len(lines), points


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/gmt-gshhg"
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "engine", "generated")
    for r in "cli":
        n, p = convert(os.path.join(src, "binned_GSHHS_%s.nc" % r),
                       os.path.join(out, "coast_%s.bin" % r), MIN_LAKE[r])
        print("coast_%s.bin: %d polylines, %d points" % (r, n, p))


if __name__ == "__main__":
    main()
