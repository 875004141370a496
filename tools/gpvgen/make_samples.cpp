// Writes the bundled sample forecasts: sample_rsm.gpv and sample_msm.gpv,
// four levels (1000, 850, 500 hPa and the surface) with all nine items for
// hours 0 to 51 every 3 hours, into the folder given. With "full" it writes
// instead the full-size MSM forecast of the speed measurements, msm_full.gpv
// (16 levels, nine items, 18 hours: 2,592 fields), and msm_t850.gpv (the
// 850 hPa temperature of the same forecast only: 18 fields).
#include "gpvgen.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 3 && std::strcmp(argv[2], "full") == 0)) {
        std::fprintf(stderr, "usage: gpvgen_samples FOLDER [full]\n");
        return 2;
    }
    std::string dir = argv[1];
    if (argc == 3) {
        gpvgen::Forecast full;
        full.model = 5;
        full.levels = {1000, 975, 950, 925, 900, 850, 800, 700,
                       600,  500, 400, 300, 250, 200, 150, 100};
        full.tile_cols = 4, full.tile_rows = 4; // the 144 first tiles share the first block
        gpvgen::Forecast t850 = full;
        t850.levels = {850};
        t850.items = {4};
        bool ok = gpvgen::write_forecast(dir + "/msm_full.gpv", full) &&
                  gpvgen::write_forecast(dir + "/msm_t850.gpv", t850);
        return ok ? 0 : 1;
    }
    gpvgen::Forecast rsm;
    rsm.model = 4;
    gpvgen::Forecast msm;
    msm.model = 5;
    bool ok = gpvgen::write_forecast(dir + "/sample_rsm.gpv", rsm) &&
              gpvgen::write_forecast(dir + "/sample_msm.gpv", msm);
    return ok ? 0 : 1;
}
