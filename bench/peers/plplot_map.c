/* N weather maps of one field in one process: 650 x 600 PNG, the field as
 * coloured cells over 119.5-150.5 E, 19.5-50.5 N, a colour bar, the
 * coastline of map.dat and a title line. Prints the seconds per map. */
#include <plplot.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

enum { COLS = 120, ROWS = 126, COAST = 8535 };

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: plplot_map FIELD.txt map.dat N OUTPREFIX\n");
        return 2;
    }
    double t0 = now();
    static float lonlat[2 * COAST];
    FILE* m = fopen(argv[2], "rb");
    if (!m || fread(lonlat, 4, 2 * COAST, m) != 2 * COAST) return 1;
    fclose(m);
    FILE* in = fopen(argv[1], "r");
    if (!in) return 1;
    char line[512];
    if (!fgets(line, sizeof line, in)) return 1;
    PLFLT** z;
    plAlloc2dGrid(&z, COLS, ROWS);
    PLFLT zmin = 1e30, zmax = -1e30;
    for (int j = 0; j < ROWS; ++j)
        for (int i = 0; i < COLS; ++i) {
            double v;
            if (fscanf(in, "%lf", &v) != 1) return 1;
            z[i][ROWS - 1 - j] = v; /* row 0 is north */
            if (v < zmin) zmin = v;
            if (v > zmax) zmax = v;
        }
    fclose(in);
    static PLFLT x[COAST], y[COAST];
    int n = atoi(argv[3]);
    for (int k = 0; k < n; ++k) {
        char name[512];
        snprintf(name, sizeof name, "%s%02d.png", argv[4], k);
        plsdev("pngcairo");
        plsfnam(name);
        plspage(0, 0, 650, 600, 0, 0);
        plscolbg(255, 255, 255);
        plscol0(1, 0, 0, 0);
        plinit();
        pladv(0);
        plvpor(0.18, 0.78, 0.17, 0.83);
        plwind(119.5, 150.5, 19.5, 50.5);
        plcol0(1);
        plbox("bcnst", 5.0, 0, "bcnstv", 5.0, 0);
        pllab("Longitude", "Latitude", "Temperature (C)  P=850  DT=26120400 TM=6");
        plimage((const PLFLT* const*)z, COLS, ROWS, 120.0, 150.0, 22.4, 47.6, zmin, zmax, 120.0,
                150.0, 22.4, 47.6);
        int seg = 0;
        for (int p = 0; p < COAST; ++p) {
            if (lonlat[p] < -990.0f) {
                if (seg > 5) plline(seg, x, y);
                seg = 0;
            } else {
                x[seg] = lonlat[p], y[seg] = lonlat[COAST + p], ++seg;
            }
        }
        PLFLT w, hgt;
        PLINT labelOpts[] = {PL_COLORBAR_LABEL_BOTTOM};
        const char* labels[] = {""};
        const char* axis[] = {"bcmtv"};
        PLFLT ticks[] = {(zmax - zmin) / 9};
        PLINT sub[] = {0};
        PLINT nv[] = {2};
        PLFLT vals[] = {zmin, zmax};
        const PLFLT* vp[] = {vals};
        plcolorbar(&w, &hgt, PL_COLORBAR_GRADIENT, PL_POSITION_RIGHT, 0.03, 0.0, 0.04, 0.66, 0, 1,
                   1, 0.0, 0.0, 0, 0.0, 0, labelOpts, labels, 1, axis, ticks, sub, nv, vp);
        plend1();
    }
    plFree2dGrid(z, COLS, ROWS);
    printf("%.6f\n", (now() - t0) / n);
    plend();
    return 0;
}
