// Block marker search, big-endian number decoders, record header decoding and
// the item table.
#include "gpv/gpv.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

long long first_marker_offset(int fd) {
    // The offset found last, while the file is the same.
    static struct {
        bool known = false;
        dev_t dev;
        ino_t ino;
        off_t size;
        timespec mtime, ctime;
        long long offset;
    } last;
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kNotRegular;
    auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    if (last.known && last.dev == st.st_dev && last.ino == st.st_ino && last.size == st.st_size &&
        same(last.mtime, st.st_mtim) && same(last.ctime, st.st_ctim))
        return last.offset;

    constexpr std::size_t kBlock = 1 << 20, kKeep = 3; // a marker's first bytes cut by a block
    std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[kBlock + kKeep]);
    // The search moves the descriptor's position (holes are skipped); the
    // stream that reads through it finds it where it was.
    const off_t saved = lseek(fd, 0, SEEK_CUR);
    long long found = -1;
    off_t pos = 0;
    std::size_t kept = 0; // bytes before pos, at the start of buf
    while (pos < st.st_size) {
        // A hole reads as zeros and holds no marker.
        const off_t data = lseek(fd, pos, SEEK_DATA);
        if (data < 0 && errno == ENXIO) break; // nothing but a hole to the end
        if (data > pos) pos = data, kept = 0;
        const ssize_t r = pread(fd, buf.get() + kept, kBlock, pos);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break; // the end, or a read error that ends the search as the end would
        const std::size_t n = kept + static_cast<std::size_t>(r);
        if (const void* hit = memmem(buf.get(), n, "DGRB", 4)) {
            found = pos - static_cast<off_t>(kept) +
                    (static_cast<const std::uint8_t*>(hit) - buf.get());
            break;
        }
        kept = std::min(kKeep, n);
        std::memmove(buf.get(), buf.get() + n - kept, kept);
        pos += r;
    }
    if (saved >= 0) lseek(fd, saved, SEEK_SET);
    last = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, found};
    return found;
}

int find_first_marker(std::FILE* f) {
    const long long at = first_marker_offset(fileno(f));
    if (at == kNotRegular) {
        std::rewind(f);
        return find_record_marker(f);
    }
    if (at < 0) {
        std::fseek(f, 0, SEEK_END);
        return 0;
    }
    return std::fseek(f, static_cast<long>(at + 4), SEEK_SET) == 0;
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

bool set_model_grid(GpvHeader& h, int model_code, int level) {
    if (model_code == 4) {
        h.lon_min = 120.0f, h.lon_max = 150.0f, h.lon_step = 0.5f;
        h.lat_min = 20.0f, h.lat_max = 50.0f, h.lat_step = 0.4f;
        h.grid_cols = 60, h.grid_rows = 75, h.col_offset = 240, h.row_offset = 100;
        std::strcpy(h.model_name, "RSM");
    } else if (model_code == 5) {
        h.lon_min = 120.0f, h.lon_max = 150.0f, h.lon_step = 0.25f;
        h.lat_min = 22.4f, h.lat_max = 47.6f, h.lat_step = 0.2f;
        h.grid_cols = 120, h.grid_rows = 126, h.col_offset = 480, h.row_offset = 212;
        std::strcpy(h.model_name, "MSM");
    } else {
        return false;
    }
    if (level == 0) {
        h.col_offset *= 2, h.row_offset *= 2;
        h.lon_step /= 2, h.lat_step /= 2;
        h.grid_cols *= 2, h.grid_rows *= 2;
    }
    h.grid_count = h.grid_cols * h.grid_rows;
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
    h.col_first = static_cast<int>(read_u16be(b + 24)) - h.col_offset;
    h.row_first = static_cast<int>(read_u16be(b + 26)) - h.row_offset;
    h.col_last = static_cast<int>(read_u16be(b + 28)) - h.col_offset;
    h.row_last = static_cast<int>(read_u16be(b + 30)) - h.row_offset;
    h.tile_cols = h.col_last - h.col_first + 1;
    h.tile_rows = h.row_last - h.row_first + 1;
    // Broken bounds may give a product beyond int; such a tile is refused
    // before it is unpacked, so the count is only kept finite here.
    long long count = static_cast<long long>(h.tile_cols) * h.tile_rows;
    h.tile_count = static_cast<int>(std::clamp<long long>(count, INT_MIN, INT_MAX));
}

int decode_header(const std::uint8_t* b, GpvHeader& h, const char** error) {
    auto refuse = [&](const char* text) {
        *error = text;
        return 0;
    };
    int record_length = static_cast<int>(read_u16be(b));
    if (record_length < 44) return refuse("Error: record length below 44 bytes.");
    h.data_length = record_length - 44;

    h.model_code = b[5];
    // The level decides the grid; it is applied below, after the item check.
    if (!set_model_grid(h, h.model_code, 1)) return refuse("Error: unknown model.");
    h.item_code = b[8];
    if (!item_text(h.item_code)) return refuse("Error: item unknown.");
    h.level = static_cast<std::int16_t>(read_u16be(b + 10));
    if (h.level == 0) set_model_grid(h, h.model_code, 0);

    h.init_year = b[12], h.init_month = b[13], h.init_day = b[14];
    h.init_hour = b[15], h.init_minute = b[16];
    h.first_forecast_hour = b[18], h.last_forecast_hour = b[19];
    h.forecast_step = static_cast<std::uint8_t>(b[20] - 200);
    if (h.forecast_step == 0) return refuse("Error: forecast step is 0.");
    h.forecast_count = (h.last_forecast_hour - h.first_forecast_hour) / h.forecast_step + 1;

    decode_tile_bounds(b, h);
    return decode_packing(b, h, error);
}

int decode_packing(const std::uint8_t* b, GpvHeader& h, const char** error) {
    h.bits_per_value = b[33];
    if (h.bits_per_value > 10) {
        *error = "Error: more than 10 bits per value.";
        return 0;
    }
    h.scale_factor = int_power(2.0, read_sm16(b + 34));
    h.reference_value = read_ibm_float(b + 36);
    return 1;
}

const char* item_text(int item_code) {
    for (const ItemName& it : kItems)
        if (it.code == item_code) return it.text;
    return nullptr;
}

int id2str(int item_code, char* text) {
    const char* t = item_text(item_code);
    if (!t) {
        report("id2str", "Error: item unknown.");
        return 0;
    }
    std::strcpy(text, t);
    return 1;
}

} // namespace gpv
