/* Decodes every message of a GRIB2 file into an array of doubles and prints
 * the number of values and the seconds taken (reading and decoding). */
#include <eccodes.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    double t0 = now();
    FILE* in = fopen(argv[1], "rb");
    if (!in) return 1;
    double* values = malloc(sizeof(double) * 240 * 252);
    long long total = 0;
    int err = 0, fields = 0;
    codes_handle* h;
    while ((h = codes_handle_new_from_file(NULL, in, PRODUCT_GRIB, &err))) {
        size_t n = 240 * 252;
        codes_get_double_array(h, "values", values, &n);
        total += (long long)n;
        ++fields;
        codes_handle_delete(h);
    }
    fclose(in);
    printf("%d %lld %.6f\n", fields, total, now() - t0);
    free(values);
    return 0;
}
