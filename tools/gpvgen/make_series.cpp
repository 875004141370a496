// Writes a series of N forecasts of one model, as an archive of runs holds
// them: run k starts 6 k hours after 26-12-01 00:00, and its weather is
// shifted by as many hours, so that the runs differ. Files are named
// rsm_NNNNN.gpv (model 4, the default) or msm_NNNNN.gpv (model 5), N from 0.
// RSM runs are small (three levels to 24 hours); MSM runs hold what a
// pressure-level file of that model holds: ten levels to 33 hours.
// Used by the Python tests and benchmarks of archive statistics.
#include "gpvgen.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: gpvgen_series FOLDER N [MODEL]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int n = std::atoi(argv[2]);
    const int model = argc == 4 ? std::atoi(argv[3]) : 4;
    if (n < 1 || n > 10000 || (model != 4 && model != 5)) {
        std::fprintf(stderr, "gpvgen_series: N from 1 to 10000, MODEL 4 or 5\n");
        return 2;
    }
    for (int k = 0; k < n; ++k) {
        gpvgen::Forecast f;
        f.model = model;
        f.levels = {1000, 850, 500};
        f.items = {4, 23, 24, 102};
        f.last_hour = 24;
        if (model == 5) {
            f.levels = {1000, 925, 850, 700, 500, 400, 300, 250, 200, 100};
            f.last_hour = 33;
        }
        const int hours = 6 * k;
        // Days past the 28th wrap; the shift keeps such runs apart.
        f.year = 26, f.month = 12, f.day = 1 + hours / 24 % 28, f.hour = hours % 24;
        f.weather_shift = hours;
        char name[64];
        std::snprintf(name, sizeof name, "/%s_%05d.gpv", model == 4 ? "rsm" : "msm", k);
        if (!gpvgen::write_forecast(dir + name, f)) return 1;
    }
    return 0;
}
