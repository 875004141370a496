// Fuzz target: map.dat loading, and the coastline it gives drawn as the
// weather map draws it (polylines of more than 5 points between end marks)
// on the in-memory raster device.
#include "fuzz_util.h"
#include "gpv/gpv.h"
#include "plot/razidu.h"

namespace {
fuzzutil::fs::path workDir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    workDir = fuzzutil::make_work_dir("map");
    if (!std::freopen("/dev/null", "w", stdout)) std::abort(); // end-of-plot reports
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = workDir / "map.dat";
    fuzzutil::write_bytes(path, data, size);
    if (!gpv::load_map(path.c_str())) return 0;
    const std::vector<float>& x = gpv::grid.CoastX;
    const std::vector<float>& y = gpv::grid.CoastY;
    if (x.size() != gpv::kCoastPoints || y.size() != gpv::kCoastPoints) std::abort();

    razidu::metafl("VIRT");
    razidu::winsiz(130, 120);
    razidu::page(2925, 2820);
    razidu::disini();
    razidu::graf(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f);
    int n = 0;
    for (int k = 0; k < gpv::kCoastPoints; ++k) {
        if (x[k] < -990.0f) {
            if (n > 5) razidu::curve(&x[k - n], &y[k - n], n);
            n = 0;
        } else {
            ++n;
        }
    }
    razidu::close_axis_system();
    razidu::disfin();
    return 0;
}
