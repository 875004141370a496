// Writes the bundled GRIB2 sample, sample_msm.grib2 (the regional-model-like
// forecast of gribgen on a grid of 121 x 127 points, hours 0 to 12 every 3
// hours), into the folder given; with "large" instead large.grib2 on the
// full 241 x 253 grid for hours 0 to 51 (about 100 MB, for the benchmarks).
#include "gribgen.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 3 && std::strcmp(argv[2], "large") == 0)) {
        std::fprintf(stderr, "usage: gribgen_sample FOLDER [large]\n");
        return 2;
    }
    std::string dir = argv[1];
    if (argc == 3) {
        std::vector<int> hours;
        for (int h = 0; h <= 51; ++h) hours.push_back(h);
        return gribgen::write_file(dir + "/large.grib2", gribgen::regional_forecast(hours)) ? 0 : 1;
    }
    return gribgen::write_file(dir + "/sample_msm.grib2",
                               gribgen::regional_forecast({0, 3, 6, 9, 12}, 121, 127))
               ? 0
               : 1;
}
