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
int levelCursor = 0, itemCursor = 0, timeCursor = 0;

} // namespace

const char* tile_error(const GpvHeader& h, int timeIndex, std::size_t fieldSize) {
    if (h.colLast >= h.gridCols || h.rowLast >= h.gridRows) return "Error: v-dimension too small.";
    if (h.colFirst < 0 || h.rowFirst < 0 || h.colFirst > h.colLast || h.rowFirst > h.rowLast)
        return "Error: tile outside the grid.";
    if (h.gridCount > static_cast<long long>(fieldSize))
        return "Error: grid larger than the work arrays.";
    // A time beyond the record's data is refused just below.
    if (timeIndex < 0) return "Error: forecast time not in the record.";
    long long bitsPerTime = static_cast<long long>(h.tileCount) * h.bitsPerValue;
    long long p = timeIndex * bitsPerTime;
    if (p + bitsPerTime > 8LL * h.dataLength) return "Error: packed data longer than the record.";
    return nullptr;
}

int get_GPV_dat(std::FILE* f, int item, int level, int timeIndex, std::span<float> field) {
    if (walk == Walk::Indexed) {
        int r = get_GPV_dat_indexed(f, item, level, timeIndex, field);
        if (r != kIndexUnavailable) return r;
    }
    return get_GPV_dat_walk(f, item, level, timeIndex, field);
}

int get_GPV_dat_walk(std::FILE* f, int item, int level, int timeIndex, std::span<float> field) {
    std::rewind(f);
    float minValue = 1.0e32f, maxValue = -1.0e32f;
    long long collected = 0;
    // The grid to fill is that of the matching records; until one is met, that
    // of the most recent header.
    GpvHeader target = header;
    bool matched = false;
    bool atEnd = false;
    while (!atEnd && (!matched || collected < target.gridCount) && find_record_marker(f)) {
        int remaining = 0;
        if (!read_block_length(f, remaining)) break;
        while (remaining >= header.dataLength + 44) {
            int r = get_GPV_def(f);
            if (r == kEndOfFile) {
                atEnd = true;
                break;
            }
            if (r == 0) return 0;
            const GpvHeader& h = header;
            if (std::fread(RecordBuffer.data(), 1, h.dataLength, f) !=
                static_cast<std::size_t>(h.dataLength)) {
                atEnd = true;
                break;
            }
            remaining -= h.dataLength + 44;
            if (h.level != static_cast<std::int16_t>(level) || h.itemCode != item) continue;

            if (!matched) {
                target = h;
                matched = true;
            }
            if (const char* error = tile_error(h, timeIndex, field.size())) return dat_fail(error);
            long long p = timeIndex * (static_cast<long long>(h.tileCount) * h.bitsPerValue);

            const std::uint8_t* data = RecordBuffer.data();
            long long byte = p / 8;
            int bit = static_cast<int>(p % 8);
            float ref = to_float(h.referenceValue);
            for (int j = h.rowFirst; j <= h.rowLast; ++j) {
                for (int i = h.colFirst; i <= h.colLast; ++i) {
                    int x = 0;
                    for (int k = 0; k < h.bitsPerValue; ++k) {
                        if (bit > 7) {
                            bit = 0;
                            ++byte;
                        }
                        if (data[byte] & (0x80 >> bit)) x += 512 >> k;
                        ++bit;
                    }
                    float v = to_float(ref + h.scaleFactor * x);
                    field[static_cast<std::size_t>(j) * h.gridCols + i] = v;
                    if (v < minValue) minValue = v;
                    if (v > maxValue) maxValue = v;
                }
            }
            collected += h.tileCount;
        }
    }
    grid.minValue = minValue;
    grid.maxValue = maxValue;
    if (matched) {
        // Leave the geometry of the extracted field for the writers and plots.
        set_model_grid(header, target.modelCode, target.level);
    }
    if (matched && collected == target.gridCount) return 1;
    return dat_fail("Error: number of data not matched.");
}

int field_count(const Selection& sel) {
    if (sel.selectedOnly) return 1;
    return index.levelCount * index.itemCount * header.forecastCount;
}

int extract_next(std::FILE* f, const Selection& sel, std::span<float> field, int& level, int& item,
                 int& hour, int& pass) {
    if (pass > 0) {
        if (header.forecastStep == 0) return 0;
        int timeIndex = (hour - header.firstForecastHour) / header.forecastStep;
        return get_GPV_dat(f, item, level, timeIndex, field) ? 1 : 0;
    }
    if (sel.selectedOnly) {
        // The positions are those of the lists as the dialog shows them, which
        // an open that found nothing leaves as they were. A list with nothing
        // selected names item 0, which no record has: get_GPV_dat reports it.
        bool levelShown = sel.levelPos >= 0 && sel.levelPos < kMaxLevels;
        bool itemShown = sel.itemPos >= 0 && sel.itemPos < kMaxItems;
        level = levelShown ? index.levels[sel.levelPos] : 0;
        item = levelShown && itemShown ? index.items[sel.itemPos] : 0;
        int timeIndex = sel.hourPos;
        hour = header.firstForecastHour + timeIndex * header.forecastStep;
        return get_GPV_dat(f, item, level, timeIndex, field) ? 1 : 0;
    }
    if (pass < 0) {
        pass = 0;
        levelCursor = itemCursor = timeCursor = 0;
    }
    if (levelCursor >= index.levelCount || index.itemCount <= 0) return 0;
    level = index.levels[levelCursor];
    item = index.items[itemCursor];
    hour = header.firstForecastHour + timeCursor * header.forecastStep;
    if (!get_GPV_dat(f, item, level, timeCursor, field)) return 0;
    if (++timeCursor >= header.forecastCount) {
        timeCursor = 0;
        if (++itemCursor >= index.itemCount) {
            itemCursor = 0;
            ++levelCursor;
        }
    }
    return levelCursor < index.levelCount ? 2 : 1;
}

} // namespace gpv
