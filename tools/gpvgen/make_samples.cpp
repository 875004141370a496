// Writes the bundled sample forecasts: sample_rsm.gpv and sample_msm.gpv,
// four levels (1000, 850, 500 hPa and the surface) with all nine items for
// hours 0 to 51 every 3 hours, into the folder given.
#include "gpvgen.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gpvgen_samples FOLDER\n");
        return 2;
    }
    std::string dir = argv[1];
    gpvgen::Forecast rsm;
    rsm.model = 4;
    gpvgen::Forecast msm;
    msm.model = 5;
    bool ok = gpvgen::write_forecast(dir + "/sample_rsm.gpv", rsm) &&
              gpvgen::write_forecast(dir + "/sample_msm.gpv", msm);
    return ok ? 0 : 1;
}
