// Fuzz target: the GPV record reader alone. The input is a GPV file in
// memory; the level and item scans read its headers, and every field they
// list (bounded) is unpacked by the indexed walk, and one of them also by the
// reference walk, which must agree with it on the result and on every
// value. No export and no drawing, so that many inputs run each second.
#include "gpv/gpv.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

std::FILE* file = nullptr; // an anonymous file in memory, rewritten per input

// Unpackings per input: a file announcing 32 levels x 256 items stays quick.
constexpr int kMaxFields = 8;

int extract(gpv::Walk w, int item, int level, int t, std::vector<float>& field) {
    gpv::walk = w;
    gpv::header = gpv::GpvHeader{};
    return gpv::get_GPV_dat(file, item, level, t, field);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    int fd = memfd_create("fuzz-records", MFD_CLOEXEC);
    file = fd >= 0 ? fdopen(fd, "w+b") : nullptr;
    if (!file) std::abort();
    gpv::report = [](const char*, const char*) {}; // failures are expected
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fd = fileno(file);
    if (ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != ssize_t(size))) std::abort();
    // The stream's buffer still holds the last input: a seek inside it
    // would be served from there.
    std::fflush(file);
    std::rewind(file);
    // Each input starts as a new process would.
    gpv::forget_index();
    gpv::header = gpv::GpvHeader{};
    gpv::RecordBuffer.fill(0);
    gpv::index = gpv::GpvIndex{};

    gpv::GpvIndex& ix = gpv::index;
    int levels[gpv::kMaxLevels];
    int level_count = gpv::check_GPV_p(file, levels, gpv::kMaxLevels);
    // The work arrays as ini_vars sizes them, with a byte more to spare.
    std::vector<float> a(static_cast<std::size_t>(ix.largest_grid_count) + 1);
    std::vector<float> b(a.size());
    int budget = kMaxFields;
    for (int l = 0; l < level_count && budget > 0; ++l) {
        int items[gpv::kMaxItems];
        int item_count = gpv::check_GPV_p(file, levels[l], items, gpv::kMaxItems);
        int hours = gpv::header.forecast_count;
        for (int i = 0; i < item_count && budget > 0; ++i)
            for (int t : {0, hours}) {
                if (--budget < 0) break;
                // The reference walk unpacks bit by bit: it checks one field
                // of each input, chosen by the input's length.
                const bool compare = budget == static_cast<int>(size % kMaxFields);
                if (compare) std::fill(a.begin(), a.end(), -1.0f);
                int ra = extract(gpv::Walk::Indexed, items[i], levels[l], t, a);
                if (!compare) continue;
                std::fill(b.begin(), b.end(), -1.0f);
                int rb = extract(gpv::Walk::Reference, items[i], levels[l], t, b);
                if (ra != rb) std::abort();
                if (ra == 1 && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) != 0)
                    std::abort();
            }
    }
    gpv::walk = gpv::Walk::Indexed;
    return 0;
}
