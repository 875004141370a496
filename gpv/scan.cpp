// Walks over the blocks and records of a GPV file: the level and item scans,
// the extraction of one field, the field sequence of an Execute run, the work
// arrays and the coastline.
#include "gpv/gpv.h"

#include "platform/platform.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace gpv {

GpvIndex index;
GpvGrid grid;
Walk walk = Walk::Indexed;

namespace {

// Reads the block length behind a marker; false at the end of the file.
bool read_block_length(std::FILE* f, int& remaining) {
    std::uint8_t b[4];
    if (std::fread(b, 1, 4, f) != 4) return false;
    remaining = static_cast<int>(read_u16be(b));
    return true;
}

// Skips the data of the record whose header was just read.
bool skip_data(std::FILE* f) {
    return std::fseek(f, header.dataLength, SEEK_CUR) == 0;
}

// The walk over the first block shared by both scans: calls visit for every
// record header read. Returns 1 when the walk ended normally, 0 after a failure.
template <class Visit> int walk_first_block(std::FILE* f, Visit visit) {
    std::rewind(f);
    if (!find_record_marker(f)) return 1;
    int remaining = 0;
    if (!read_block_length(f, remaining)) return 1;
    while (remaining - (header.dataLength + 44) > 0) {
        int r = get_GPV_def(f);
        if (r == kEndOfFile) return 1;
        if (r == 0) return 0;
        if (!visit()) return 0;
        if (!skip_data(f)) return 1;
        remaining -= header.dataLength + 44;
    }
    return 1;
}

int dat_fail(const char* text) {
    platform::message_box(text, "get_GPV_dat", false);
    return 0;
}

// Cursors of an "All items" run.
int levelCursor = 0, itemCursor = 0, timeCursor = 0;

} // namespace

int check_GPV_p(std::FILE* f, int* levels, int capacity) {
    int count = 0;
    index.largestGridCount = 0;
    int ok = walk_first_block(f, [&] {
        if (header.gridCount > index.largestGridCount) index.largestGridCount = header.gridCount;
        for (int k = 0; k < count; ++k)
            if (levels[k] == header.level) return true;
        if (count >= capacity) {
            platform::message_box("Error: too many pressure largers.", "check_GPV_p", false);
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
            if (items[k] == header.itemCode) return true;
        if (count >= capacity) {
            platform::message_box("Error: too many pressure layers.", "check_GPV_p", false);
            return false;
        }
        items[count++] = header.itemCode;
        return true;
    });
    return ok ? count : 0;
}

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

int load_map(const char* mapPath) {
    std::FILE* f = std::fopen(mapPath, "rb");
    if (!f) return 0;
    grid.CoastX.assign(kCoastPoints, kCoastEndMark);
    grid.CoastY.assign(kCoastPoints, 0.0f);
    std::vector<std::uint8_t> bytes(8 * kCoastPoints, 0);
    std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    // Little-endian single-precision floats: longitudes, then latitudes.
    auto le_float = [&](std::size_t k) {
        const std::uint8_t* p = &bytes[4 * k];
        std::uint32_t u = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    };
    for (int k = 0; k < kCoastPoints; ++k) {
        bool lonRead = 4 * (k + 1) <= static_cast<int>(got);
        bool latRead = 4 * (kCoastPoints + k + 1) <= static_cast<int>(got);
        if (lonRead && latRead) {
            grid.CoastX[k] = le_float(k);
            grid.CoastY[k] = le_float(kCoastPoints + k);
        }
    }
    return 1;
}

int ini_vars(const char* mapPath, int gridCount) {
    GpvGrid& g = grid;
    for (auto* v : {&g.SpeedBuffer, &g.FieldBuffer[0], &g.FieldBuffer[1], &g.LonArray, &g.LatArray,
                    &g.CoastX, &g.CoastY})
        std::vector<float>().swap(*v);
    g.allocatedCount = 0;
    g.filledCols = g.filledRows = 0;
    if (gridCount <= 0) {
        platform::message_box("Not enough memory.", "ini_vars", false);
        return 0;
    }
    try {
        g.FieldBuffer[0].assign(gridCount, 0.0f);
        g.FieldBuffer[1].assign(gridCount, 0.0f);
        g.SpeedBuffer.assign(gridCount, 0.0f);
        g.LonArray.assign(gridCount + 3, 0.0f);
        g.LatArray.assign(gridCount + 3, 0.0f);
    } catch (const std::bad_alloc&) {
        platform::message_box("Not enough memory.", "ini_vars", false);
        return 0;
    }
    g.allocatedCount = gridCount;
    if (!load_map(mapPath)) {
        // The arrays stay usable; the coastline is all end marks and draws nothing.
        g.CoastX.assign(kCoastPoints, kCoastEndMark);
        g.CoastY.assign(kCoastPoints, 0.0f);
        platform::message_box("Error: can't read map.", "initializeApp", false);
        return 0;
    }
    return 1;
}

void fill_cell_centres() {
    const GpvHeader& h = header;
    if (h.gridCols == grid.filledCols && h.gridRows == grid.filledRows) return;
    if (h.gridCount > grid.allocatedCount) return;
    for (int j = 0; j < h.gridRows; ++j)
        for (int i = 0; i < h.gridCols; ++i) {
            grid.LonArray[j * h.gridCols + i] = h.lonMin + (i + 0.5f) * h.lonStep;
            grid.LatArray[j * h.gridCols + i] = h.latMax - (j + 0.5f) * h.latStep;
        }
    grid.filledCols = h.gridCols;
    grid.filledRows = h.gridRows;
}

} // namespace gpv
