// Fuzz target: map.dat loaded as opening a file loads it, and the
// coastline it gives drawn on a weather map of a plain RSM field.
#include "app/app.h"
#include "fuzz_util.h"
#include "gpv/gpv.h"
#include "platform/platform.h"
#include "plot/core/state.h"

namespace {
fuzzutil::fs::path work_dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    work_dir = fuzzutil::make_work_dir("map");
    platform::headless::set_echo(false);
    if (!std::freopen("/dev/null", "w", stdout)) std::abort(); // end-of-plot reports
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzutil::InDir here(work_dir);
    fuzzutil::write_bytes(work_dir / "map.dat", data, size);
    // Each input starts as a new process would: the decoder's single
    // instances (the last header read decides how the next scan begins)
    // and the plotting library's state are reset.
    gpv::header = gpv::GpvHeader{};
    gpv::index = gpv::GpvIndex{};
    gpv::grid = gpv::GpvGrid{};
    razidu::reset_library();
    platform::headless::reset();
    app::dialog_init();
    gpv::set_model_grid(gpv::header, 4, 850);
    if (!gpv::ini_vars("map.dat", gpv::header.grid_count)) std::abort();
    if (gpv::grid.CoastX.size() != gpv::kCoastPoints) std::abort();
    std::vector<float>& field = gpv::grid.FieldBuffer[0];
    for (std::size_t k = 0; k < field.size(); ++k)
        field[k] = static_cast<float>(k % 60);
    gpv::grid.min_value = 0.0f;
    gpv::grid.max_value = 59.0f;
    app::plot_field(field.data(), nullptr, 4, 850, 0, 1);
    app::shutdown();
    return 0;
}
