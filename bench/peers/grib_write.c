/* Writes the TEXT fields named on the command line (120 x 126 values, row 0
 * north, as kivar writes them) as GRIB2 messages of 10-bit simple packing on
 * the MSM latitude/longitude grid, all into one file. */
#include <eccodes.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: grib_write OUT.grib2 FIELD.txt...\n");
        return 2;
    }
    FILE* out = fopen(argv[1], "wb");
    if (!out) return 1;
    double* values = malloc(sizeof(double) * 120 * 126);
    for (int a = 2; a < argc; ++a) {
        FILE* in = fopen(argv[a], "r");
        if (!in) return 1;
        int cols, rows;
        char line[512];
        if (!fgets(line, sizeof line, in) || sscanf(line, "%d %d", &cols, &rows) != 2 ||
            cols * rows != 120 * 126)
            return 1;
        for (int k = 0; k < cols * rows; ++k)
            if (fscanf(in, "%lf", &values[k]) != 1) return 1;
        fclose(in);
        codes_handle* h = codes_grib_handle_new_from_samples(NULL, "GRIB2");
        if (!h) return 1;
        codes_set_long(h, "Ni", 120);
        codes_set_long(h, "Nj", 126);
        codes_set_double(h, "latitudeOfFirstGridPointInDegrees", 47.5);
        codes_set_double(h, "longitudeOfFirstGridPointInDegrees", 120.125);
        codes_set_double(h, "latitudeOfLastGridPointInDegrees", 22.5);
        codes_set_double(h, "longitudeOfLastGridPointInDegrees", 149.875);
        codes_set_double(h, "iDirectionIncrementInDegrees", 0.25);
        codes_set_double(h, "jDirectionIncrementInDegrees", 0.2);
        size_t len = 11;
        codes_set_string(h, "packingType", "grid_simple", &len);
        codes_set_long(h, "bitsPerValue", 10);
        codes_set_double_array(h, "values", values, 120 * 126);
        const void* msg;
        size_t size;
        codes_get_message(h, &msg, &size);
        fwrite(msg, 1, size, out);
        codes_handle_delete(h);
    }
    free(values);
    return fclose(out) == 0 ? 0 : 1;
}
