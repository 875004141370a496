// The level and item scans of a GPV file's first block.
#include "gpv/gpv.h"

namespace gpv {

GpvIndex index;

namespace {

// Skips the data of the record whose header was just read.
bool skip_data(std::FILE* f) {
    return std::fseek(f, header.data_length, SEEK_CUR) == 0;
}

// The walk over the first block shared by both scans: calls visit for every
// record header read. Returns 1 when the walk ended normally, 0 after a failure.
template <class Visit> int walk_first_block(std::FILE* f, Visit visit) {
    if (!find_first_marker(f)) return 1;
    int remaining = 0;
    if (!read_block_length(f, remaining)) return 1;
    while (remaining - (header.data_length + 44) > 0) {
        int r = get_GPV_def(f);
        if (r == kEndOfFile) return 1;
        if (r == 0) return 0;
        if (!visit()) return 0;
        if (!skip_data(f)) return 1;
        remaining -= header.data_length + 44;
    }
    return 1;
}

} // namespace

int check_GPV_p(std::FILE* f, int* levels, int capacity) {
    int count = 0;
    index.largest_grid_count = 0;
    int ok = walk_first_block(f, [&] {
        if (header.grid_count > index.largest_grid_count)
            index.largest_grid_count = header.grid_count;
        for (int k = 0; k < count; ++k)
            if (levels[k] == header.level) return true;
        if (count >= capacity) {
            report("check_GPV_p", "Error: too many pressure largers.");
            return false;
        }
        levels[count++] = header.level;
        return true;
    });
    return ok ? count : 0;
}

int check_GPV_p(std::FILE* f, int level, int* items, int capacity) {
    int count = 0;
    int ok = walk_first_block(f, [&] {
        if (header.level != level) return true;
        for (int k = 0; k < count; ++k)
            if (items[k] == header.item_code) return true;
        if (count >= capacity) {
            report("check_GPV_p", "Error: too many pressure layers.");
            return false;
        }
        items[count++] = header.item_code;
        return true;
    });
    return ok ? count : 0;
}

} // namespace gpv
