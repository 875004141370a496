// TEXT and CSV files of extracted fields, and the gpv.log line.
#include "gpv/gpv.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace gpv {

Format format = Format::Fast;

namespace {

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

// The values of one file go out through this buffer in large writes.
constexpr std::size_t kOutBytes = 1 << 18;
char out_buffer[kOutBytes];

} // namespace

int format_value(float v, char* out) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    const unsigned expo = bits >> 23 & 0xff;
    // Infinities, NaN and values of 10^12 and above are rare: printf does them.
    if (expo == 0xff || std::fabs(v) >= 1e12f)
        return std::snprintf(out, 64, "%f", static_cast<double>(v));
    // v = m * 2^e exactly; q = v * 10^6 rounded to nearest, ties to even, as
    // printf rounds the exact binary value.
    const std::uint64_t m = expo ? (bits & 0x7fffff) | 0x800000 : bits & 0x7fffff;
    const int e = (expo ? static_cast<int>(expo) : 1) - 150;
    const std::uint64_t n = m * 1000000u; // below 2^44
    std::uint64_t q;
    if (e >= 0) {
        q = n << e; // below 10^18: v is below 10^12
    } else if (-e >= 46) {
        q = 0; // n is below half of 2^-e
    } else {
        const int s = -e;
        q = n >> s;
        const std::uint64_t rest = n & ((std::uint64_t{1} << s) - 1);
        const std::uint64_t half = std::uint64_t{1} << (s - 1);
        if (rest > half || (rest == half && (q & 1))) ++q;
    }
    char* p = out;
    if (bits >> 31) *p++ = '-';
    std::uint64_t whole = q / 1000000;
    unsigned frac = static_cast<unsigned>(q - whole * 1000000);
    char digits[20];
    int k = 20;
    while (whole >= 100) {
        unsigned two = static_cast<unsigned>(whole % 100);
        whole /= 100;
        k -= 2;
        std::memcpy(digits + k, kPairs + 2 * two, 2);
    }
    if (whole >= 10) {
        k -= 2;
        std::memcpy(digits + k, kPairs + 2 * whole, 2);
    } else {
        digits[--k] = static_cast<char>('0' + whole);
    }
    std::memcpy(p, digits + k, 20 - k);
    p += 20 - k;
    *p++ = '.';
    std::memcpy(p, kPairs + 2 * (frac / 10000), 2);
    std::memcpy(p + 2, kPairs + 2 * (frac / 100 % 100), 2);
    std::memcpy(p + 4, kPairs + 2 * (frac % 100), 2);
    return static_cast<int>(p + 6 - out);
}

std::string output_base_name(const char* save_dir, const FieldLabel& h, int item, int level,
                             int hour) {
    // Model and date fields at least two digits, item three, level four.
    char tail[96];
    std::snprintf(tail, sizeof tail, "MD%02d_ID%03d_P%04d_DT%02d%02d%02d%02d_TM%02d", h.model_code,
                  item, level, h.init_year, h.init_month, h.init_day, h.init_hour, hour);
    return std::string(save_dir) + tail;
}

FieldLabel header_label() {
    const GpvHeader& h = header;
    FieldLabel l;
    l.grid_cols = h.grid_cols;
    l.grid_rows = h.grid_rows;
    l.model_code = h.model_code;
    l.init_year = h.init_year, l.init_month = h.init_month, l.init_day = h.init_day;
    l.init_hour = h.init_hour;
    l.min_value = grid.min_value, l.max_value = grid.max_value;
    return l;
}

namespace {

int row_length(const FieldLabel& h, int row) {
    return h.row_points ? h.row_points[row] : h.grid_cols;
}

long long point_count(const FieldLabel& h) {
    if (!h.row_points) return static_cast<long long>(h.grid_cols) * h.grid_rows;
    long long n = 0;
    for (int j = 0; j < h.grid_rows; ++j)
        n += h.row_points[j];
    return n;
}

// The rows of a TEXT (layout 0) or CSV (layout 1) file, after its first line,
// formatted into large buffers. Stops at the first failed write.
void write_rows_fast(std::FILE* out, int layout, const FieldLabel& h, const float* v, int item,
                     int level, int hour) {
    // The first line goes into the buffer too: one write for a small file.
    char* buf = out_buffer;
    int first;
    if (layout == 0)
        first =
            std::snprintf(buf, kOutBytes, "%d  %d  %d  %d  %d  %02d %02d %02d %02d %02d  %f  %f\n",
                          h.grid_cols, h.grid_rows, h.model_code, item, level, h.init_year,
                          h.init_month, h.init_day, h.init_hour, hour, h.min_value, h.max_value);
    else
        first =
            std::snprintf(buf, kOutBytes, "%d,%d,%d,%d,%d,%2d,%2d,%2d,%2d,%2d,%f,%f\n", h.grid_cols,
                          h.grid_rows, h.model_code, item, level, h.init_year, h.init_month,
                          h.init_day, h.init_hour, hour, h.min_value, h.max_value);
    std::size_t n = static_cast<std::size_t>(first);
    const float* row = v;
    for (int j = 0; j < h.grid_rows; ++j) {
        const int cols = row_length(h, j);
        for (int i = 0; i < cols; ++i) {
            if (n > kOutBytes - 72) {
                if (std::fwrite(buf, 1, n, out) != n) return;
                n = 0;
            }
            if (layout == 0) {
                buf[n++] = ' ', buf[n++] = ' ';
                n += format_value(row[i], buf + n);
            } else {
                n += format_value(row[i], buf + n);
                buf[n++] = i + 1 < cols ? ',' : '\n';
            }
        }
        if (layout == 0) buf[n++] = '\n';
        row += cols;
    }
    std::fwrite(buf, 1, n, out);
}

} // namespace

int save_GPV(const char* save_dir, int layout, std::span<const float> field, int item, int level,
             int hour) {
    return save_field(save_dir, layout, header_label(), field, item, level, hour);
}

int save_field(const char* save_dir, int layout, const FieldLabel& h, std::span<const float> field,
               int item, int level, int hour) {
    if (layout != 0 && layout != 1) return 0;
    const long long grid_count = point_count(h);
    std::string name = output_base_name(save_dir, h, item, level, hour);
    name += layout == 0 ? ".txt" : ".csv";
    if (grid_count > static_cast<long long>(field.size())) {
        report("save_GPV", "Error: grid larger than the work arrays.");
        return 0;
    }
    OutputFile file;
    if (!open_output(file, name, "w")) {
        if (layout == 0) report("save_GPV", name.c_str());
        report("save_GPV", "Error: can't open output file.");
        return 0;
    }
    std::FILE* out = file.stream;
    const float* v = field.data();
    if (format == Format::Fast) {
        write_rows_fast(out, layout, h, v, item, level, hour);
    } else if (layout == 0) {
        std::fprintf(out, "%d  %d  %d  %d  %d  %02d %02d %02d %02d %02d  %f  %f\n", h.grid_cols,
                     h.grid_rows, h.model_code, item, level, h.init_year, h.init_month, h.init_day,
                     h.init_hour, hour, h.min_value, h.max_value);
        for (int j = 0; j < h.grid_rows; ++j) {
            for (int i = 0; i < row_length(h, j); ++i)
                std::fprintf(out, "  %f", *v++);
            std::fputc('\n', out);
        }
    } else {
        std::fprintf(out, "%d,%d,%d,%d,%d,%2d,%2d,%2d,%2d,%2d,%f,%f\n", h.grid_cols, h.grid_rows,
                     h.model_code, item, level, h.init_year, h.init_month, h.init_day, h.init_hour,
                     hour, h.min_value, h.max_value);
        for (int j = 0; j < h.grid_rows; ++j) {
            const int cols = row_length(h, j);
            for (int i = 0; i < cols; ++i)
                std::fprintf(out, i + 1 < cols ? "%f," : "%f\n", *v++);
        }
    }
    if (!commit_output(file)) {
        report("save_GPV", (name + ": " + std::strerror(errno)).c_str());
        return kWriteFailed;
    }
    return 1;
}

const char* layout_name(int layout) {
    static const char* const names[kLayoutCount] = {"TEXT", "CSV", "points"};
    return layout >= 0 && layout < kLayoutCount ? names[layout] : nullptr;
}

const char* layout_extension(int layout) {
    static const char* const extensions[kLayoutCount] = {".txt", ".csv", ".points.csv"};
    return layout >= 0 && layout < kLayoutCount ? extensions[layout] : nullptr;
}

int save_points(const char* save_dir, const FieldLabel& h, std::span<const float> field,
                std::span<const double> lat, std::span<const double> lon, int item, int level,
                int hour) {
    const std::size_t n = static_cast<std::size_t>(point_count(h));
    const std::string name =
        output_base_name(save_dir, h, item, level, hour) + layout_extension(kLayoutPoints);
    if (n > field.size() || n > lat.size() || n > lon.size()) {
        report("save_GPV", "Error: grid larger than the work arrays.");
        return 0;
    }
    OutputFile file;
    if (!open_output(file, name, "w")) {
        report("save_GPV", "Error: can't open output file.");
        return 0;
    }
    char* buf = out_buffer;
    std::size_t used =
        static_cast<std::size_t>(std::snprintf(buf, kOutBytes, "latitude,longitude,value\n"));
    bool ok = true;
    for (std::size_t k = 0; k < n && ok; ++k) {
        if (used > kOutBytes - 128) {
            ok = std::fwrite(buf, 1, used, file.stream) == used;
            used = 0;
        }
        // The coordinates as "%.6f" writes them, the value in its shortest form.
        char* p = buf + used;
        char* const end = buf + kOutBytes;
        for (double c : {lat[k], lon[k]}) {
            // (Degrees are short; anything else would not fit the reserve.)
            p = std::to_chars(p, end, std::fabs(c) < 1e6 ? c : NAN, std::chars_format::fixed, 6)
                    .ptr;
            *p++ = ',';
        }
        const float v = field[k];
        if (std::isnan(v)) {
            std::memcpy(p, "nan", 3);
            p += 3;
        } else {
            p = std::to_chars(p, end, v).ptr;
        }
        *p++ = '\n';
        used = static_cast<std::size_t>(p - buf);
    }
    if (ok) std::fwrite(buf, 1, used, file.stream);
    if (!commit_output(file)) {
        report("save_GPV", (name + ": " + std::strerror(errno)).c_str());
        return kWriteFailed;
    }
    return 1;
}

void cell_centres(std::vector<double>& lat, std::vector<double>& lon) {
    const GpvHeader& g = header;
    const std::size_t n = static_cast<std::size_t>(std::max(0, g.grid_cols)) *
                          static_cast<std::size_t>(std::max(0, g.grid_rows));
    lat.resize(n), lon.resize(n);
    std::size_t k = 0;
    for (int j = 0; j < g.grid_rows; ++j)
        for (int i = 0; i < g.grid_cols; ++i, ++k) {
            lat[k] = static_cast<double>(g.lat_max) - (j + 0.5) * static_cast<double>(g.lat_step);
            lon[k] = static_cast<double>(g.lon_min) + (i + 0.5) * static_cast<double>(g.lon_step);
        }
}

int write_log_line(std::FILE* log, const LogTime& t, int level, int hour, int item,
                   const char* text) {
    if (!text) text = item_text(item);
    if (!log || !text) return 0;
    const char* format = "%d-%d-%d %d:%d:%d  P: %d  TM: %d  ID: %d  ITEM: %s\n";
    const int n = std::snprintf(nullptr, 0, format, t.year, t.month, t.day, t.hour, t.minute,
                                t.second, level, hour, item, text);
    if (n <= 0) return 0;
    std::string line(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(line.data(), line.size(), format, t.year, t.month, t.day, t.hour, t.minute,
                  t.second, level, hour, item, text);
    return append_line(log, line.data(), static_cast<std::size_t>(n)) ? 1 : kWriteFailed;
}

} // namespace gpv
