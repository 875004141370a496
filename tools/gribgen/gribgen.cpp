// GRIB2 writer: sections 0, 1, 3 (template 3.0), 4 (4.0 or 4.8), 5 (5.0),
// 6 (no bit-map), 7 and the end marker, each of its size computed before it
// is written.
#include "gribgen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace gribgen {

namespace {

void put(Bytes& b, std::uint64_t v, int n) {
    for (int k = n - 1; k >= 0; --k)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}
// Sign and magnitude of n octets.
void put_sm(Bytes& b, long long v, int n) {
    std::uint64_t m = static_cast<std::uint64_t>(v < 0 ? -v : v);
    if (v < 0) m |= std::uint64_t{1} << (8 * n - 1);
    put(b, m, n);
}
void put_float(Bytes& b, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    put(b, u, 4);
}
long long micro(double degrees) {
    return std::llround(degrees * 1e6);
}

} // namespace

Bytes message(const Field& f) {
    const std::size_t n = static_cast<std::size_t>(f.cols) * f.rows;
    // Packing: integers of the values at 10^-D, less their minimum, over `bits`.
    std::vector<long long> ints(n);
    long long lo = 0, hi = 0;
    for (std::size_t k = 0; k < n; ++k) {
        ints[k] = std::llround(f.values[k] * std::pow(10.0, f.decimal_scale));
        if (k == 0 || ints[k] < lo) lo = ints[k];
        if (k == 0 || ints[k] > hi) hi = ints[k];
    }
    int e = 0;
    while (f.bits < 63 &&
           static_cast<double>(hi - lo) / std::ldexp(1.0, e) >= std::ldexp(1.0, f.bits))
        ++e;
    const float ref = static_cast<float>(lo);
    const bool statistics = f.interval_hours > 0;
    const std::size_t len1 = 21, len3 = 72, len4 = statistics ? 58 : 34, len5 = 21, len6 = 6;
    const std::size_t len7 = 5 + (n * f.bits + 7) / 8;
    const std::size_t total = 16 + len1 + len3 + len4 + len5 + len6 + len7 + 4;
    Bytes b;
    b.reserve(total);
    // Section 0.
    b.insert(b.end(), {'G', 'R', 'I', 'B', 0, 0});
    put(b, f.discipline, 1);
    put(b, 2, 1);
    put(b, total, 8);
    // Section 1: centre, reference time of the forecast.
    put(b, len1, 4), put(b, 1, 1), put(b, f.centre, 2), put(b, 0, 2), put(b, 4, 1), put(b, 0, 1);
    put(b, 1, 1), put(b, f.year, 2), put(b, f.month, 1), put(b, f.day, 1), put(b, f.hour, 1);
    put(b, 0, 1), put(b, 0, 1), put(b, 0, 1), put(b, 1, 1);
    // Section 3: regular latitude/longitude grid, scanning mode 0.
    put(b, len3, 4), put(b, 3, 1), put(b, 0, 1), put(b, n, 4), put(b, 0, 1), put(b, 0, 1);
    put(b, 0, 2);
    put(b, 6, 1), put(b, 0, 1), put(b, 0, 4), put(b, 0, 1), put(b, 0, 4), put(b, 0, 1),
        put(b, 0, 4);
    put(b, f.cols, 4), put(b, f.rows, 4), put(b, 0, 4), put(b, 0xffffffffu, 4);
    put_sm(b, micro(f.lat_north), 4), put_sm(b, micro(f.lon_west), 4), put(b, 0x30, 1);
    put_sm(b, micro(f.lat_north - (f.rows - 1) * f.lat_step), 4);
    put_sm(b, micro(f.lon_west + (f.cols - 1) * f.lon_step), 4);
    put(b, micro(f.lon_step), 4), put(b, micro(f.lat_step), 4), put(b, 0, 1);
    // Section 4: parameter, level, forecast time (hours).
    put(b, len4, 4), put(b, 4, 1), put(b, 0, 2), put(b, statistics ? 8 : 0, 2);
    put(b, f.category, 1), put(b, f.number, 1), put(b, 2, 1), put(b, 0, 1), put(b, 0, 1);
    put(b, 0, 2), put(b, 0, 1), put(b, 1, 1);
    put(b, f.forecast_hour - f.interval_hours, 4);
    put(b, f.level_type, 1), put(b, 0, 1), put(b, f.level_value, 4);
    put(b, 255, 1), put(b, 0, 1), put(b, 0, 4);
    if (statistics) {
        // End of the interval as a date: the reference time plus its hours.
        int hours = f.hour + f.forecast_hour;
        put(b, f.year, 2), put(b, f.month, 1), put(b, f.day + hours / 24, 1);
        put(b, hours % 24, 1), put(b, 0, 1), put(b, 0, 1);
        put(b, 1, 1), put(b, 0, 4);
        put(b, 1, 1), put(b, 2, 1), put(b, 1, 1), put(b, f.interval_hours, 4);
        put(b, 1, 1), put(b, 0, 4);
    }
    // Section 5: simple packing.
    put(b, len5, 4), put(b, 5, 1), put(b, n, 4), put(b, 0, 2);
    put_float(b, ref), put_sm(b, e, 2), put_sm(b, f.decimal_scale, 2), put(b, f.bits, 1);
    put(b, 0, 1);
    // Section 6: no bit-map.
    put(b, len6, 4), put(b, 6, 1), put(b, 255, 1);
    // Section 7: the packed values, most significant bit first.
    put(b, len7, 4), put(b, 7, 1);
    std::size_t start = b.size();
    b.resize(start + len7 - 5, 0);
    std::uint64_t bit = 0;
    for (std::size_t k = 0; k < n; ++k, bit += f.bits) {
        std::uint64_t x =
            static_cast<std::uint64_t>(std::llround((ints[k] - lo) / std::ldexp(1.0, e)));
        x = std::min<std::uint64_t>(x, (std::uint64_t{1} << f.bits) - 1);
        for (int i = 0; i < f.bits; ++i)
            if (x >> (f.bits - 1 - i) & 1) {
                std::uint64_t p = bit + i;
                b[start + (p >> 3)] |= static_cast<std::uint8_t>(0x80 >> (p & 7));
            }
    }
    b.insert(b.end(), {'7', '7', '7', '7'});
    if (b.size() != total)
        std::fprintf(stderr, "gribgen: message of %zu bytes, %zu expected\n", b.size(), total);
    return b;
}

std::vector<Field> regional_forecast(const std::vector<int>& hours, int cols, int rows) {
    std::vector<Field> out;
    struct Param {
        int category, number, level_type;
        long level;
        int bits, decimals;
    };
    // Values in the file's units: K, %, m/s, Pa/s, gpm, Pa, kg/m2.
    const Param params[] = {
        {0, 0, 100, 100000, 12, 1}, {1, 1, 100, 100000, 10, 0}, {2, 2, 100, 100000, 12, 1},
        {2, 3, 100, 100000, 12, 1}, {2, 8, 100, 100000, 12, 2}, {3, 5, 100, 100000, 14, 0},
        {0, 0, 100, 85000, 12, 1},  {1, 1, 100, 85000, 10, 0},  {2, 2, 100, 85000, 12, 1},
        {2, 3, 100, 85000, 12, 1},  {2, 8, 100, 85000, 12, 2},  {3, 5, 100, 85000, 14, 0},
        {0, 0, 100, 50000, 12, 1},  {1, 1, 100, 50000, 10, 0},  {2, 2, 100, 50000, 12, 1},
        {2, 3, 100, 50000, 12, 1},  {2, 8, 100, 50000, 12, 2},  {3, 5, 100, 50000, 14, 0},
        {3, 1, 101, 0, 16, 0},      {0, 0, 103, 2, 12, 1},      {2, 2, 103, 10, 12, 1},
        {2, 3, 103, 10, 12, 1},     {1, 8, 1, 0, 12, 1},        {6, 1, 1, 0, 8, 0},
        {6, 3, 1, 0, 8, 0},
    };
    for (int hour : hours)
        for (const Param& p : params) {
            Field f;
            f.category = p.category, f.number = p.number;
            f.level_type = p.level_type, f.level_value = p.level;
            f.forecast_hour = hour;
            f.bits = p.bits, f.decimal_scale = p.decimals;
            f.cols = cols, f.rows = rows;
            f.lon_step = 30.0 / (cols - 1), f.lat_step = 25.2 / (rows - 1);
            if (p.category == 1 && p.number == 8) {
                if (hour == 0) continue; // rain over the hour before
                f.interval_hours = 1;
            }
            const double hPa = p.level_type == 100 ? p.level / 100.0 : 1013.0;
            const double t = hour / 24.0;
            f.values.resize(static_cast<std::size_t>(cols) * rows);
            for (int j = 0; j < rows; ++j)
                for (int i = 0; i < cols; ++i) {
                    const double lon = f.lon_west + i * f.lon_step,
                                 lat = f.lat_north - j * f.lat_step;
                    const double wave = std::sin((lon - 8 * t) / 5.0) * std::cos((lat - 35) / 6.0);
                    const double gust = std::sin(lon / 2.3 + t) * std::cos(lat / 1.7);
                    double v = 0;
                    switch (p.category * 100 + p.number) {
                    case 0:
                        v = 288.0 - 0.9 * (lat - 20) - 45.0 * std::log(1013.0 / hPa) + 4 * wave;
                        break;
                    case 101:
                        v = std::clamp(60 + 35 * wave + 10 * gust, 0.0, 100.0);
                        break;
                    case 202:
                        v = (hPa < 600 ? 30 : 8) + 12 * wave;
                        break;
                    case 203:
                        v = 10 * std::cos((lon - 6 * t) / 4.0) + 4 * gust;
                        break;
                    case 208:
                        v = 0.4 * wave + 0.2 * gust;
                        break;
                    case 305:
                        v = 44330.0 * (1 - std::pow(hPa / 1013.25, 0.19)) + 60 * wave;
                        break;
                    case 301:
                        v = 101300 + 1500 * wave + 300 * gust;
                        break;
                    case 108:
                        v = std::max(0.0, 6 * wave + 3 * gust - 2);
                        break;
                    default:
                        v = std::clamp(50 + 60 * wave + 20 * gust, 0.0, 100.0);
                        break;
                    }
                    f.values[static_cast<std::size_t>(j) * cols + i] = v;
                }
            out.push_back(std::move(f));
        }
    return out;
}

bool write_file(const std::string& path, const std::vector<Field>& fields) {
    std::string part = path + ".part";
    std::FILE* out = std::fopen(part.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "gribgen: cannot write %s\n", part.c_str());
        return false;
    }
    bool ok = true;
    for (const Field& f : fields) {
        Bytes m = message(f);
        ok = ok && std::fwrite(m.data(), 1, m.size(), out) == m.size();
    }
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(part.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "gribgen: cannot write %s\n", path.c_str());
        std::remove(part.c_str());
        return false;
    }
    return true;
}

Bytes run_length_message(const Field& field, int bits, const std::vector<int>& level_values,
                         int decimal, const std::vector<int>& levels) {
    Field f = field;
    f.values.assign(static_cast<std::size_t>(f.cols) * f.rows, 0.0);
    f.bits = 1;
    Bytes b = message(f);
    const std::size_t sec5 = 16 + 21 + 72 + (f.interval_hours > 0 ? 58 : 34);
    b.resize(sec5);
    const int max_level = levels.empty() ? 0 : *std::max_element(levels.begin(), levels.end());
    const std::uint64_t radix = (std::uint64_t{1} << bits) - 1 - max_level;
    // The numbers: each run's level, then its length less one in base
    // radix, least significant digit first, each digit above max_level.
    std::vector<std::uint32_t> numbers;
    for (std::size_t k = 0; k < levels.size();) {
        std::size_t end = k;
        while (end < levels.size() && levels[end] == levels[k])
            ++end;
        numbers.push_back(static_cast<std::uint32_t>(levels[k]));
        for (std::uint64_t rest = end - k - 1; rest > 0; rest /= radix)
            numbers.push_back(static_cast<std::uint32_t>(max_level + 1 + rest % radix));
        k = end;
    }
    const std::size_t len5 = 17 + 2 * level_values.size(), len6 = 6;
    const std::size_t len7 = 5 + (numbers.size() * bits + 7) / 8;
    put(b, len5, 4), put(b, 5, 1), put(b, levels.size(), 4), put(b, 200, 2);
    put(b, bits, 1), put(b, max_level, 2), put(b, level_values.size(), 2), put(b, decimal, 1);
    for (int v : level_values)
        put(b, static_cast<std::uint64_t>(v), 2);
    put(b, len6, 4), put(b, 6, 1), put(b, 255, 1);
    put(b, len7, 4), put(b, 7, 1);
    const std::size_t start = b.size();
    b.resize(start + len7 - 5, 0);
    std::uint64_t bit = 0;
    for (std::uint32_t x : numbers)
        for (int i = 0; i < bits; ++i, ++bit)
            if (x >> (bits - 1 - i) & 1)
                b[start + (bit >> 3)] |= static_cast<std::uint8_t>(0x80 >> (bit & 7));
    b.insert(b.end(), {'7', '7', '7', '7'});
    for (int k = 0; k < 8; ++k)
        b[8 + k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(b.size()) >> (56 - 8 * k));
    return b;
}

} // namespace gribgen
