// Fuzz target: a GPV file opened as File, Open does it (level scan, item
// scan, work arrays, cell centres), then every field the lists offer
// extracted, a few of them exported as TEXT and CSV through Execute, and the
// selected field drawn as a weather map (the format chosen by the file size).
#include "app/app.h"
#include "app/control_ids.h"
#include "fuzz_util.h"
#include "gpv/gpv.h"
#include "platform/platform.h"
#include "plot/core/state.h"
#include "plot/core/state.h"

namespace {

using namespace app;

fuzzutil::fs::path work_dir;

// Extractions per input: enough for every field of a small file, bounded so
// that a file announcing 32 levels x 256 items x 256 hours stays quick.
constexpr int kMaxExtractions = 400;

void execute(bool data, bool all, int layout) {
    using namespace platform;
    set_checked(IDC_MODE_DATA, data);
    set_checked(IDC_MODE_IMAGE, !data);
    set_checked(IDC_SELECTED_ONLY, !all);
    set_checked(IDC_ALL_ITEMS, all);
    list_select(IDC_DATA_FORMAT, layout);
    app::dialog_handlers.command(IDC_EXECUTE, Clicked);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    work_dir = fuzzutil::make_work_dir("gpv");
    platform::headless::set_echo(false);
    if (!std::freopen("/dev/null", "w", stdout)) std::abort(); // end-of-plot reports
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzutil::InDir here(work_dir);
    using namespace platform;
    const auto path = work_dir / "in.gpv";
    const auto out = work_dir / "out";
    fuzzutil::write_bytes(path, data, size);
    fuzzutil::empty_dir(out);
    std::remove((work_dir / "gpv.log").c_str());
    // Each input starts as a new process would: the decoder's single
    // instances (the last header read decides how the next scan begins)
    // and the plotting library's state are reset.
    gpv::header = gpv::GpvHeader{};
    gpv::index = gpv::GpvIndex{};
    gpv::grid = gpv::GpvGrid{};
    razidu::reset_library();
    headless::reset();
    app::dialog_init();
    set_text(IDC_SAVE_PATH, out.c_str());

    if (app::open_file(path.string())) {
        // Every level, item and forecast time the lists offer, and one time
        // beyond the last.
        gpv::GpvIndex& ix = gpv::index;
        int budget = kMaxExtractions;
        for (int l = 0; l < ix.level_count && budget > 0; ++l) {
            list_select(IDC_LEVEL_LIST, l);
            app::dialog_handlers.command(IDC_LEVEL_LIST, SelectionChanged);
            for (int i = 0; i < ix.item_count && budget > 0; ++i) {
                int hours = gpv::header.forecast_count;
                for (int t = 0; t <= hours && budget > 0; ++t, --budget)
                    gpv::get_GPV_dat(app::state.gpv_file, ix.items[i], ix.levels[l], t,
                                     gpv::grid.FieldBuffer[0]);
            }
        }
        // Execute with the first level selected again: the selected field as
        // TEXT, then the whole file as CSV when it is small.
        list_select(IDC_LEVEL_LIST, 0);
        app::dialog_handlers.command(IDC_LEVEL_LIST, SelectionChanged);
        list_select(IDC_HOUR_LIST, 0);
        execute(true, false, 0);
        gpv::Selection all;
        all.selected_only = false;
        long long fields = gpv::field_count(all);
        if (fields > 0 && fields <= 8) execute(true, true, 1);
        list_select(IDC_FORMAT_LIST, static_cast<int>(size % 7));
        execute(false, false, 0);
    }
    app::shutdown();
    return 0;
}
