// Block marker search, big-endian number decoders, record header decoding and
// the item table.
#include "gpv/gpv.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace gpv {

namespace {
void print_report(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text);
}
} // namespace

Report report = print_report;
GpvHeader header;
std::array<std::uint8_t, 65536> RecordBuffer;

namespace {

struct ItemName {
    int code;
    const char* text;
};
constexpr ItemName kItems[] = {
    {1, "Pressure (hPa)"}, {4, "Temperature (C)"},    {13, "Humidity (%)"},
    {23, "u-wind (m/s)"},  {24, "v-wind (m/s)"},      {42, "w-wind (hPa/h)"},
    {49, "Rain (mm/h)"},   {102, "Geopotential (m)"}, {225, "Cloud (ref: DGRB)"},
};

int fail(const char* text) {
    report("get_GPV_def", text);
    return 0;
}

} // namespace

int find_record_marker(std::FILE* f) {
    static const char marker[] = "DGRB";
    for (;;) {
        int c = std::fgetc(f);
        if (c == EOF) return 0;
        if (c != 'D') continue;
        // Partial match: on a mismatch at position k, step back k - 1 bytes so
        // that the mismatching byte is examined again as a possible 'D'.
        int k = 1;
        for (; k < 4; ++k) {
            c = std::fgetc(f);
            if (c == EOF) return 0;
            if (c != marker[k]) break;
        }
        if (k == 4) return 1;
        std::fseek(f, -1, SEEK_CUR);
    }
}

unsigned read_u16be(const std::uint8_t* p) {
    return p[0] * 256u + p[1];
}

unsigned read_u24be(const std::uint8_t* p) {
    return p[0] * 65536u + p[1] * 256u + p[2];
}

int read_sm16(const std::uint8_t* p) {
    int magnitude = (p[0] & 0x7f) * 256 + p[1];
    return (p[0] & 0x80) ? -magnitude : magnitude;
}

double read_ibm_float(const std::uint8_t* p) {
    double fraction = read_u24be(p + 1) / 16777216.0;
    double value = fraction * int_power(16.0, (p[0] & 0x7f) - 64);
    return (p[0] & 0x80) ? -value : value;
}

double int_power(double x, int n) {
    long long e = n;
    if (e < 0) {
        x = 1.0 / x;
        e = -e;
    }
    double result = 1.0;
    while (e > 0) {
        if (e & 1) result *= x;
        x *= x;
        e >>= 1;
    }
    return result;
}

bool set_model_grid(GpvHeader& h, int modelCode, int level) {
    if (modelCode == 4) {
        h.lonMin = 120.0f, h.lonMax = 150.0f, h.lonStep = 0.5f;
        h.latMin = 20.0f, h.latMax = 50.0f, h.latStep = 0.4f;
        h.gridCols = 60, h.gridRows = 75, h.colOffset = 240, h.rowOffset = 100;
        std::strcpy(h.modelName, "RSM");
    } else if (modelCode == 5) {
        h.lonMin = 120.0f, h.lonMax = 150.0f, h.lonStep = 0.25f;
        h.latMin = 22.4f, h.latMax = 47.6f, h.latStep = 0.2f;
        h.gridCols = 120, h.gridRows = 126, h.colOffset = 480, h.rowOffset = 212;
        std::strcpy(h.modelName, "MSM");
    } else {
        return false;
    }
    if (level == 0) {
        h.colOffset *= 2, h.rowOffset *= 2;
        h.lonStep /= 2, h.latStep /= 2;
        h.gridCols *= 2, h.gridRows *= 2;
    }
    h.gridCount = h.gridCols * h.gridRows;
    return true;
}

int get_GPV_def(std::FILE* f) {
    std::uint8_t* b = RecordBuffer.data();
    if (std::fread(b, 1, 44, f) != 44) return kEndOfFile;
    const char* error = nullptr;
    if (decode_header(b, header, &error)) return 1;
    return fail(error);
}

void decode_tile_bounds(const std::uint8_t* b, GpvHeader& h) {
    h.colFirst = static_cast<int>(read_u16be(b + 24)) - h.colOffset;
    h.rowFirst = static_cast<int>(read_u16be(b + 26)) - h.rowOffset;
    h.colLast = static_cast<int>(read_u16be(b + 28)) - h.colOffset;
    h.rowLast = static_cast<int>(read_u16be(b + 30)) - h.rowOffset;
    h.tileCols = h.colLast - h.colFirst + 1;
    h.tileRows = h.rowLast - h.rowFirst + 1;
    // Broken bounds may give a product beyond int; such a tile is refused
    // before it is unpacked, so the count is only kept finite here.
    long long count = static_cast<long long>(h.tileCols) * h.tileRows;
    h.tileCount = static_cast<int>(std::clamp<long long>(count, INT_MIN, INT_MAX));
}

int decode_header(const std::uint8_t* b, GpvHeader& h, const char** error) {
    auto refuse = [&](const char* text) {
        *error = text;
        return 0;
    };
    int recordLength = static_cast<int>(read_u16be(b));
    if (recordLength < 44) return refuse("Error: record length below 44 bytes.");
    h.dataLength = recordLength - 44;

    h.modelCode = b[5];
    // The level decides the grid; it is applied below, after the item check.
    if (!set_model_grid(h, h.modelCode, 1)) return refuse("Error: unknown model.");
    h.itemCode = b[8];
    if (!item_text(h.itemCode)) return refuse("Error: item unknown.");
    h.level = static_cast<std::int16_t>(read_u16be(b + 10));
    if (h.level == 0) set_model_grid(h, h.modelCode, 0);

    h.initYear = b[12], h.initMonth = b[13], h.initDay = b[14];
    h.initHour = b[15], h.initMinute = b[16];
    h.firstForecastHour = b[18], h.lastForecastHour = b[19];
    h.forecastStep = static_cast<std::uint8_t>(b[20] - 200);
    if (h.forecastStep == 0) return refuse("Error: forecast step is 0.");
    h.forecastCount = (h.lastForecastHour - h.firstForecastHour) / h.forecastStep + 1;

    decode_tile_bounds(b, h);
    return decode_packing(b, h, error);
}

int decode_packing(const std::uint8_t* b, GpvHeader& h, const char** error) {
    h.bitsPerValue = b[33];
    if (h.bitsPerValue > 10) {
        *error = "Error: more than 10 bits per value.";
        return 0;
    }
    h.scaleFactor = int_power(2.0, read_sm16(b + 34));
    h.referenceValue = read_ibm_float(b + 36);
    return 1;
}

const char* item_text(int itemCode) {
    for (const ItemName& it : kItems)
        if (it.code == itemCode) return it.text;
    return nullptr;
}

int id2str(int itemCode, char* text) {
    const char* t = item_text(itemCode);
    if (!t) {
        report("id2str", "Error: item unknown.");
        return 0;
    }
    std::strcpy(text, t);
    return 1;
}

} // namespace gpv
