#!/usr/bin/env python3
"""Writes map.dat, the coastline drawn over every weather map.

Source: the Natural Earth 1:10m land polygons (public domain), as TopoJSON in
the npm package world-atlas. The land outlines are cut to the map area
(119.5 to 150.5 E, 19.5 to 50.5 N), simplified just enough to fit the file's
fixed size, and written as 8535 little-endian float32 longitudes followed by
8535 latitudes. A longitude of -999 ends a polyline; the unused tail of the
file is all end marks. Polylines of 5 points or fewer are never drawn by the
map, so they are dropped here instead of spending points on them.

Usage: gen_map_dat.py LAND_TOPOJSON OUTPUT
"""
import json
import struct
import sys

POINTS = 8535
END = -999.0
LON0, LON1, LAT0, LAT1 = 119.5, 150.5, 19.5, 50.5


def decode_arcs(topo):
    sx, sy = topo["transform"]["scale"]
    tx, ty = topo["transform"]["translate"]
    arcs = []
    for arc in topo["arcs"]:
        x = y = 0
        pts = []
        for dx, dy in arc:
            x += dx
            y += dy
            pts.append((x * sx + tx, y * sy + ty))
        arcs.append(pts)
    return arcs


def rings(topo, arcs):
    def ring_points(indices):
        out = []
        for i in indices:
            a = arcs[i] if i >= 0 else arcs[~i][::-1]
            out.extend(a if not out else a[1:])
        return out

    for geom in topo["objects"]["land"]["geometries"]:
        polys = geom["arcs"] if geom["type"] == "MultiPolygon" else [geom["arcs"]]
        for poly in polys:
            for ring in poly:
                yield ring_points(ring)


def inside(p):
    return LON0 <= p[0] <= LON1 and LAT0 <= p[1] <= LAT1


def clip_segment(p, q):
    """Liang-Barsky: the part of segment p-q inside the map area, or None."""
    t0, t1 = 0.0, 1.0
    dx, dy = q[0] - p[0], q[1] - p[1]
    for pk, qk in ((-dx, p[0] - LON0), (dx, LON1 - p[0]), (-dy, p[1] - LAT0), (dy, LAT1 - p[1])):
        if pk == 0:
            if qk < 0:
                return None
            continue
        t = qk / pk
        if pk < 0:
            t0 = max(t0, t)
        else:
            t1 = min(t1, t)
        if t0 > t1:
            return None
    return (p[0] + t0 * dx, p[1] + t0 * dy), (p[0] + t1 * dx, p[1] + t1 * dy)


def clip(ring):
    """Splits a ring into the polylines that lie inside the map area."""
    lines, cur = [], []
    for p, q in zip(ring, ring[1:]):
        seg = clip_segment(p, q)
        if seg is None:
            if cur:
                lines.append(cur)
                cur = []
            continue
        a, b = seg
        if not cur:
            cur = [a]
        cur.append(b)
        if not inside(q):
            lines.append(cur)
            cur = []
    if cur:
        lines.append(cur)
    return lines


def simplify(line, tol):
    """Douglas-Peucker with an explicit stack."""
    if len(line) < 3:
        return line
    keep = [False] * len(line)
    keep[0] = keep[-1] = True
    stack = [(0, len(line) - 1)]
    tol2 = tol * tol
    while stack:
        i, j = stack.pop()
        (x0, y0), (x1, y1) = line[i], line[j]
        dx, dy = x1 - x0, y1 - y0
        d2 = dx * dx + dy * dy
        best, at = -1.0, -1
        for k in range(i + 1, j):
            px, py = line[k]
            if d2 == 0:
                e = (px - x0) ** 2 + (py - y0) ** 2
            else:
                c = (px - x0) * dy - (py - y0) * dx
                e = c * c / d2
            if e > best:
                best, at = e, k
        if at >= 0 and best > tol2:
            keep[at] = True
            stack.append((i, at))
            stack.append((at, j))
    return [p for p, k in zip(line, keep) if k]


def fit(lines):
    """The least simplification whose drawable polylines fit the file."""
    def attempt(tol):
        out = [s for s in (simplify(l, tol) for l in lines) if len(s) > 5]
        return out, sum(len(s) + 1 for s in out)

    lo, hi = 0.0, 1.0
    best, size = attempt(hi)
    if size > POINTS:
        sys.exit("the coastline does not fit even at the coarsest simplification")
    for _ in range(30):
        mid = (lo + hi) / 2
        out, n = attempt(mid)
        if n <= POINTS:
            best, hi = out, mid
        else:
            lo = mid
    return best, hi


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    topo = json.load(open(sys.argv[1]))
    arcs = decode_arcs(topo)
    lines = [l for r in rings(topo, arcs) for l in clip(r)]
    lines.sort(key=len, reverse=True)
    best, tol = fit(lines)
    lon, lat = [], []
    for line in best:
        for x, y in line:
            lon.append(x)
            lat.append(y)
        lon.append(END)
        lat.append(END)
    used = len(lon)
    lon += [END] * (POINTS - used)
    lat += [END] * (POINTS - used)
    with open(sys.argv[2], "wb") as f:
        f.write(struct.pack("<%df" % POINTS, *lon))
        f.write(struct.pack("<%df" % POINTS, *lat))
    print(f"{len(best)} polylines, {used} of {POINTS} points used, tolerance {tol:.5f} degrees")


if __name__ == "__main__":
    main()
