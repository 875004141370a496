// Speed of the data path on a full-size MSM forecast (16 levels, nine items,
// hours 0 to 51 every 3 hours: 2,592 fields of 120 x 126 values), written to a
// temporary folder at start: extracting one field, decoding every field, and
// an "All items" data run of the Execute command. Argument 0 runs the
// reference walk and printf, 1 the indexed extraction and fast formatting,
// so that one run measures both.
#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "bench/bench_app.h"
#include "gpvgen/gpvgen.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using bench_app::folder;
std::string gpv_path;

// Writes the forecast and a map.dat, starts the dialog there and opens the file.
bool prepare() {
    if (!gpv_path.empty()) return app::state.file_ready;
    folder = fs::temp_directory_path() / ("kivar_bench_" + std::to_string(getpid()));
    fs::create_directories(folder);
    gpv_path = (folder / "msm_full.gpv").string();
    gpvgen::Forecast fc;
    fc.model = 5;
    fc.levels = {1000, 975, 950, 925, 900, 850, 800, 700, 600, 500, 400, 300, 250, 200, 150, 100};
    // 144 first tiles must share the first block: 4 x 4 cells per record
    fc.tile_cols = 4, fc.tile_rows = 4;
    if (!gpvgen::write_forecast(gpv_path, fc)) return false;
    std::vector<float> map(2 * gpv::kCoastPoints, gpv::kCoastEndMark);
    std::ofstream(folder / "map.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(map.data()), 4 * map.size());
    fs::current_path(folder);
    platform::headless::set_echo(true);
    app::dialog_handlers.init();
    return app::open_file(gpv_path) == 1;
}

void select_path(benchmark::State& st) {
    bool fast = st.range(0) == 1;
    gpv::walk = fast ? gpv::Walk::Indexed : gpv::Walk::Reference;
    gpv::format = fast ? gpv::Format::Fast : gpv::Format::Reference;
    st.SetLabel(fast ? "indexed" : "reference");
}

void BM_ExtractOneField(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the forecast file");
    select_path(st);
    for (auto _ : st) {
        int ok = gpv::get_GPV_dat(app::state.gpv_file, 4, 500, 6, gpv::grid.FieldBuffer[0]);
        if (!ok) return st.SkipWithError("extraction failed");
        benchmark::DoNotOptimize(gpv::grid.FieldBuffer[0].data());
    }
    st.SetItemsProcessed(st.iterations() * 120 * 126);
}
BENCHMARK(BM_ExtractOneField)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The first extraction from a newly opened file: the walk over its records
// that builds the index, then the field. This is what a single map or data
// file in its own process pays.
void BM_FirstExtraction(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the forecast file");
    gpv::walk = gpv::Walk::Indexed;
    for (auto _ : st) {
        gpv::forget_index();
        int ok = gpv::get_GPV_dat(app::state.gpv_file, 4, 850, 2, gpv::grid.FieldBuffer[0]);
        if (!ok) return st.SkipWithError("extraction failed");
    }
}
BENCHMARK(BM_FirstExtraction)->Unit(benchmark::kMillisecond);

// Every field of the file decoded into the field array, nothing written.
void BM_DecodeAllFields(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the forecast file");
    gpv::walk = gpv::Walk::Indexed;
    const gpv::GpvIndex& ix = gpv::index;
    long long values = 0;
    for (auto _ : st) {
        int times = gpv::header.forecast_count;
        for (int l = 0; l < ix.level_count; ++l)
            for (int k = 0; k < ix.item_count; ++k)
                for (int t = 0; t < times; ++t) {
                    if (!gpv::get_GPV_dat(app::state.gpv_file, ix.items[k], ix.levels[l], t,
                                          gpv::grid.FieldBuffer[0]))
                        return st.SkipWithError("extraction failed");
                    values += gpv::header.grid_count;
                }
    }
    st.SetItemsProcessed(values);
    st.counters["fields"] = static_cast<double>(values / (120 * 126) / st.iterations());
}
BENCHMARK(BM_DecodeAllFields)->Unit(benchmark::kMillisecond);

// "All items" with "Data": 2,592 TEXT files; values/s counts the values written.
void BM_AllItemsDataRun(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the forecast file");
    select_path(st);
    fs::remove_all(folder / "out");
    fs::create_directories(folder / "out");
    platform::set_text(app::IDC_SAVE_PATH, (folder / "out").c_str());
    platform::set_checked(app::IDC_SELECTED_ONLY, false);
    platform::set_checked(app::IDC_ALL_ITEMS, true);
    platform::set_checked(app::IDC_MODE_DATA, true);
    platform::set_checked(app::IDC_MODE_IMAGE, false);
    for (auto _ : st)
        app::dialog_handlers.command(app::IDC_EXECUTE, platform::Clicked);
    double fields = static_cast<double>(std::distance(fs::directory_iterator(folder / "out"), {}));
    st.counters["fields"] = fields;
    st.SetItemsProcessed(static_cast<long long>(fields) * 120 * 126 * st.iterations());
    fs::remove_all(folder / "out");
}
BENCHMARK(BM_AllItemsDataRun)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_AllItemsDataRun)->Arg(1)->Iterations(3)->Repetitions(5)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return bench_app::run(argc, argv);
}
