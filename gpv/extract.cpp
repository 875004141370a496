// The extraction of one field (the reference walk over the whole file) and
// the field sequence of an Execute run.
#include "gpv/gpv.h"

namespace gpv {

Walk walk = Walk::Indexed;

bool read_block_length(std::FILE* f, int& remaining) {
    std::uint8_t b[4];
    if (std::fread(b, 1, 4, f) != 4) return false;
    remaining = static_cast<int>(read_u16be(b));
    return true;
}

namespace {

int dat_fail(const char* text) {
    report("get_GPV_dat", text);
    return 0;
}

// Cursors of an "All items" run.
int level_cursor = 0, item_cursor = 0, time_cursor = 0;

} // namespace

const char* tile_error(const GpvHeader& h, int time_index, std::size_t field_size) {
    if (h.col_last >= h.grid_cols || h.row_last >= h.grid_rows)
        return "Error: v-dimension too small.";
    if (h.col_first < 0 || h.row_first < 0 || h.col_first > h.col_last || h.row_first > h.row_last)
        return "Error: tile outside the grid.";
    if (h.grid_count > static_cast<long long>(field_size))
        return "Error: grid larger than the work arrays.";
    // A time beyond the record's data is refused just below.
    if (time_index < 0) return "Error: forecast time not in the record.";
    long long bits_per_time = static_cast<long long>(h.tile_count) * h.bits_per_value;
    long long p = time_index * bits_per_time;
    if (p + bits_per_time > 8LL * h.data_length)
        return "Error: packed data longer than the record.";
    return nullptr;
}

int get_GPV_dat(std::FILE* f, int item, int level, int time_index, std::span<float> field) {
    if (walk == Walk::Indexed) {
        int r = get_GPV_dat_indexed(f, item, level, time_index, field);
        if (r != kIndexUnavailable) return r;
    }
    return get_GPV_dat_walk(f, item, level, time_index, field);
}

int get_GPV_dat_walk(std::FILE* f, int item, int level, int time_index, std::span<float> field) {
    std::rewind(f);
    float min_value = 1.0e32f, max_value = -1.0e32f;
    long long collected = 0;
    // The grid to fill is that of the matching records; until one is met, that
    // of the most recent header.
    GpvHeader target = header;
    bool matched = false;
    bool at_end = false;
    while (!at_end && (!matched || collected < target.grid_count) && find_record_marker(f)) {
        int remaining = 0;
        if (!read_block_length(f, remaining)) break;
        while (remaining >= header.data_length + 44) {
            int r = get_GPV_def(f);
            if (r == kEndOfFile) {
                at_end = true;
                break;
            }
            if (r == 0) return 0;
            const GpvHeader& h = header;
            if (std::fread(RecordBuffer.data(), 1, h.data_length, f) !=
                static_cast<std::size_t>(h.data_length)) {
                at_end = true;
                break;
            }
            remaining -= h.data_length + 44;
            if (h.level != static_cast<std::int16_t>(level) || h.item_code != item) continue;

            if (!matched) {
                target = h;
                matched = true;
            }
            if (const char* error = tile_error(h, time_index, field.size())) return dat_fail(error);
            long long p = time_index * (static_cast<long long>(h.tile_count) * h.bits_per_value);

            const std::uint8_t* data = RecordBuffer.data();
            long long byte = p / 8;
            int bit = static_cast<int>(p % 8);
            float ref = to_float(h.reference_value);
            for (int j = h.row_first; j <= h.row_last; ++j) {
                for (int i = h.col_first; i <= h.col_last; ++i) {
                    int x = 0;
                    for (int k = 0; k < h.bits_per_value; ++k) {
                        if (bit > 7) {
                            bit = 0;
                            ++byte;
                        }
                        if (data[byte] & (0x80 >> bit)) x += 512 >> k;
                        ++bit;
                    }
                    float v = to_float(ref + h.scale_factor * x);
                    field[static_cast<std::size_t>(j) * h.grid_cols + i] = v;
                    if (v < min_value) min_value = v;
                    if (v > max_value) max_value = v;
                }
            }
            collected += h.tile_count;
        }
    }
    grid.min_value = min_value;
    grid.max_value = max_value;
    if (matched) {
        // Leave the geometry of the extracted field for the writers and plots.
        set_model_grid(header, target.model_code, target.level);
    }
    if (matched && collected == target.grid_count) return 1;
    return dat_fail("Error: number of data not matched.");
}

int field_count(const Selection& sel) {
    if (sel.selected_only) return 1;
    return index.level_count * index.item_count * header.forecast_count;
}

int extract_next(std::FILE* f, const Selection& sel, std::span<float> field, int& level, int& item,
                 int& hour, int& pass) {
    if (pass > 0) {
        if (header.forecast_step == 0) return 0;
        int time_index = (hour - header.first_forecast_hour) / header.forecast_step;
        return get_GPV_dat(f, item, level, time_index, field) ? 1 : 0;
    }
    if (sel.selected_only) {
        // The positions are those of the lists as the dialog shows them, which
        // an open that found nothing leaves as they were. A list with nothing
        // selected names item 0, which no record has: get_GPV_dat reports it.
        bool level_shown = sel.level_pos >= 0 && sel.level_pos < kMaxLevels;
        bool item_shown = sel.item_pos >= 0 && sel.item_pos < kMaxItems;
        level = level_shown ? index.levels[sel.level_pos] : 0;
        item = level_shown && item_shown ? index.items[sel.item_pos] : 0;
        int time_index = sel.hour_pos;
        hour = header.first_forecast_hour + time_index * header.forecast_step;
        return get_GPV_dat(f, item, level, time_index, field) ? 1 : 0;
    }
    if (pass < 0) {
        pass = 0;
        level_cursor = item_cursor = time_cursor = 0;
    }
    if (level_cursor >= index.level_count || index.item_count <= 0) return 0;
    level = index.levels[level_cursor];
    item = index.items[item_cursor];
    hour = header.first_forecast_hour + time_cursor * header.forecast_step;
    if (!get_GPV_dat(f, item, level, time_cursor, field)) return 0;
    if (++time_cursor >= header.forecast_count) {
        time_cursor = 0;
        if (++item_cursor >= index.item_count) {
            item_cursor = 0;
            ++level_cursor;
        }
    }
    return level_cursor < index.level_count ? 2 : 1;
}

} // namespace gpv
