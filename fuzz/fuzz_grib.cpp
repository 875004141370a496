// Fuzz target: a GRIB2 file indexed and every field decoded (grids of up to
// 4 M points) and the coordinates of its points found, then opened as File,
// Open does it, one field exported in one of the data layouts and drawn as a
// map through Execute when its grids are small.
#include "app/app.h"
#include "app/control_ids.h"
#include "engine/forecast.h"
#include "fuzz_util.h"
#include "gpv/gpv.h"
#include "grib/grib.h"
#include "platform/platform.h"
#include "plot/core/state.h"

#include <vector>

namespace {

fuzzutil::fs::path work_dir;

constexpr std::size_t kMaxDecodedPoints = std::size_t{1} << 22;
constexpr std::size_t kMaxAppPoints = std::size_t{1} << 18;
constexpr std::size_t kMaxFields = 64;

void quiet(const char*, const char*) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    work_dir = fuzzutil::make_work_dir("grib");
    platform::headless::set_echo(false);
    if (!std::freopen("/dev/null", "w", stdout)) std::abort(); // end-of-plot reports
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reader on its own, over the bytes in memory.
    grib::report = quiet;
    grib::File file;
    std::size_t largest = 0;
    if (grib::index_bytes(data, size, file)) {
        std::vector<float> values;
        std::vector<double> lat, lon;
        for (std::size_t k = 0; k < file.fields.size() && k < kMaxFields; ++k) {
            const grib::Field& f = file.fields[k];
            largest = std::max(largest, f.grid.count());
            if (f.grid.count() > kMaxDecodedPoints) continue;
            values.assign(f.grid.count(), 0.0f);
            grib::decode(file, f, values, k % 2 ? 0.01 : 1.0, k % 3 ? -273.15 : 0.0);
            if (f.grid.count() > kMaxAppPoints) continue;
            lat.assign(f.grid.count(), 0.0), lon.assign(f.grid.count(), 0.0);
            grib::grid_coordinates(f.grid, lat, lon);
        }
    }
    if (largest == 0 || largest > kMaxAppPoints) return 0;

    // The commands: open, the selected field as TEXT, then as a map.
    fuzzutil::InDir here(work_dir);
    using namespace platform;
    const auto path = work_dir / "in.grib2";
    const auto out = work_dir / "out";
    fuzzutil::write_bytes(path, data, size);
    fuzzutil::empty_dir(out);
    std::remove((work_dir / "gpv.log").c_str());
    gpv::grid = gpv::GpvGrid{};
    razidu::reset_library();
    headless::reset();
    app::dialog_init();
    set_text(app::IDC_SAVE_PATH, out.c_str());
    if (app::open_file(path.string())) {
        set_checked(app::IDC_MODE_DATA, true);
        set_checked(app::IDC_MODE_IMAGE, false);
        list_select(app::IDC_DATA_FORMAT, static_cast<int>(size % gpv::kLayoutCount));
        app::dialog_handlers.command(app::IDC_EXECUTE, Clicked);
        set_checked(app::IDC_MODE_DATA, false);
        set_checked(app::IDC_MODE_IMAGE, true);
        list_select(app::IDC_FORMAT_LIST, static_cast<int>(size % 7));
        app::dialog_handlers.command(app::IDC_EXECUTE, Clicked);
    }
    app::shutdown();
    return 0;
}
