"""N weather maps of one field in one process: 650 x 600 PNG, the field as
coloured cells over 119.5-150.5 E, 19.5-50.5 N, a colour bar, the coastline
of map.dat and a title line. Prints the seconds per map (after the imports)."""
import sys
import time

t0 = time.monotonic()
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

field_txt, map_dat, n, prefix = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
z = np.loadtxt(field_txt, skiprows=1)
coast = np.fromfile(map_dat, dtype="<f4")
lon, lat = coast[: len(coast) // 2], coast[len(coast) // 2 :]
lons = 120.0 + 0.25 * np.arange(121)
lats = 47.6 - 0.2 * np.arange(127)
segments, start = [], 0
for k in np.nonzero(lon < -990.0)[0]:
    if k - start > 5:
        segments.append((lon[start:k], lat[start:k]))
    start = k + 1
t1 = time.monotonic()
for k in range(n):
    fig = plt.figure(figsize=(6.5, 6.0), dpi=100)
    ax = fig.add_axes([0.18, 0.17, 0.6, 0.66])
    mesh = ax.pcolormesh(lons, lats, z, cmap="rainbow", shading="flat")
    for x, y in segments:
        ax.plot(x, y, color="black", linewidth=0.6)
    ax.set_xlim(119.5, 150.5)
    ax.set_ylim(19.5, 50.5)
    ax.set_xticks(range(120, 151, 5))
    ax.set_yticks(range(20, 51, 5))
    ax.set_xlabel("Longitude")
    ax.set_ylabel("Latitude")
    ax.set_title("Temperature (C)  P=850  DT=26120400 TM=6")
    fig.colorbar(mesh, ax=ax, fraction=0.05)
    fig.savefig(f"{prefix}{k:02d}.png")
    plt.close(fig)
print(f"{(time.monotonic() - t1) / n:.6f}")
