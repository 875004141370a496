// The weather map's 650 x 600 page on the in-memory device, for the
// benchmarks of the plotting library (disini prints nothing; the page is
// never finished, so no report either).
#pragma once

#include "plot/core/state.h"
#include "plot/razidu.h"

namespace bench_page {

inline void open_map_page() {
    razidu::reset_library();
    razidu::metafl("virt");
    razidu::winsiz(650, 600);
    razidu::page(2925, 2820);
    razidu::scrmod("revers");
    razidu::disini();
}

} // namespace bench_page
