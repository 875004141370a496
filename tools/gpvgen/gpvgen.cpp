// The GPV writer: one linear emitter per unit (record, block, file).
#include "gpvgen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace gpvgen {

void put_u16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8 & 0xff));
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
}

void put_sm16(Bytes& out, int v) {
    unsigned m = static_cast<unsigned>(std::min(std::abs(v), 0x7fff));
    put_u16(out, (v < 0 ? 0x8000u : 0u) | m);
}

std::uint32_t ibm_float(double v, bool round_down) {
    if (v == 0.0) return 0;
    std::uint32_t sign = v < 0 ? 0x80000000u : 0u;
    double m = std::fabs(v);
    int e = 64;
    while (m >= 1.0 && e < 127)
        m /= 16.0, ++e;
    while (m < 1.0 / 16.0 && e > 0)
        m *= 16.0, --e;
    double scaled = m * 16777216.0;
    // Truncating the magnitude lowers positive values; a negative value that
    // must not rise has its magnitude rounded up instead.
    double f = (round_down && sign) ? std::ceil(scaled) : std::floor(scaled);
    if (f >= 16777216.0) {
        f /= 16.0;
        ++e;
    }
    return sign | static_cast<std::uint32_t>(e) << 24 | static_cast<std::uint32_t>(f);
}

bool model_grid(int model, int level, Grid& g) {
    if (model == 4)
        g = {60, 75, 240, 100, 120.0, 0.5, 50.0, 0.4};
    else if (model == 5)
        g = {120, 126, 480, 212, 120.0, 0.25, 47.6, 0.2};
    else
        return false;
    if (level == 0) {
        g.cols *= 2, g.rows *= 2, g.col_offset *= 2, g.row_offset *= 2;
        g.lon_step /= 2, g.lat_step /= 2;
    }
    return true;
}

Bytes record(const Record& r) {
    Grid g{};
    if (!model_grid(r.model, r.level, g)) g = {0, 0, 0, 0, 0, 0, 0, 0};
    const long long packed_bits = static_cast<long long>(r.x.size()) * r.bits;
    const std::size_t data_bytes = static_cast<std::size_t>((packed_bits + 7) / 8);
    const std::size_t size = std::max<std::size_t>(44 + data_bytes, r.pad_to);

    Bytes out;
    out.reserve(size);
    put_u16(out, static_cast<unsigned>(r.length_override >= 0 ? r.length_override : size));
    out.insert(out.end(), {0, 0, 0});
    out.push_back(static_cast<std::uint8_t>(r.model));
    out.insert(out.end(), {0, 0});
    out.push_back(static_cast<std::uint8_t>(r.item));
    out.push_back(0);
    put_u16(out, static_cast<unsigned>(r.level) & 0xffff);
    for (int v :
         {r.year, r.month, r.day, r.hour, r.minute, 0, r.first_hour, r.last_hour, r.step_byte})
        out.push_back(static_cast<std::uint8_t>(v));
    out.insert(out.end(), {0, 0, 0});
    put_u16(out, static_cast<unsigned>(r.col_first + g.col_offset));
    put_u16(out, static_cast<unsigned>(r.row_first + g.row_offset));
    put_u16(out, static_cast<unsigned>(r.col_last + g.col_offset));
    put_u16(out, static_cast<unsigned>(r.row_last + g.row_offset));
    put_u16(out, static_cast<unsigned>(r.bits));
    put_sm16(out, r.exponent);
    std::uint32_t ref = ibm_float(r.reference, true);
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>(ref >> s));
    out.insert(out.end(), {0, 0, 0, 0});

    // Values most significant bit first; a value of `bits` bits carries the
    // weights 512, 256, ... of the top bits of a 10-bit number.
    std::size_t start = out.size();
    out.resize(start + data_bytes, 0);
    long long pos = 0;
    for (int x : r.x) {
        unsigned v = static_cast<unsigned>(x) >> (10 - r.bits);
        for (int k = r.bits - 1; k >= 0; --k, ++pos)
            if (v >> k & 1) out[start + pos / 8] |= static_cast<std::uint8_t>(0x80 >> (pos % 8));
    }
    out.resize(size, 0);
    if (out.size() != size) std::fprintf(stderr, "gpvgen: record size mismatch\n");
    return out;
}

Bytes block(const std::vector<Bytes>& records) {
    std::size_t length = 4;
    for (const Bytes& r : records)
        length += r.size();
    if (length > 0xffff) std::fprintf(stderr, "gpvgen: block of %zu bytes is too long\n", length);
    Bytes out;
    out.reserve(4 + length);
    out.insert(out.end(), {'D', 'G', 'R', 'B'});
    put_u16(out, static_cast<unsigned>(std::min<std::size_t>(length, 0xffff)));
    out.insert(out.end(), {0, 0});
    for (const Bytes& r : records)
        out.insert(out.end(), r.begin(), r.end());
    if (out.size() != 4 + length) std::fprintf(stderr, "gpvgen: block size mismatch\n");
    return out;
}

namespace {

// What the decoder makes of a reference value: IBM, then single precision.
double decoded_reference(double v) {
    std::uint32_t u = ibm_float(v, true);
    double f = (u & 0xffffff) / 16777216.0 * std::pow(16.0, static_cast<int>(u >> 24 & 0x7f) - 64);
    return static_cast<float>((u & 0x80000000u) ? -f : f);
}

} // namespace

void quantise(const std::vector<double>& values, int bits, Record& r) {
    double lo = values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
    double hi = values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
    r.bits = bits;
    double source = lo;
    double ref = decoded_reference(source);
    // float rounding may lift the reference a hair above the minimum
    if (ref > lo) {
        source = lo - std::fabs(lo) * 1e-6 - 1e-30;
        ref = decoded_reference(source);
    }
    r.reference = source;
    const int unit = 1 << (10 - bits);
    const int max_x = ((1 << bits) - 1) * unit;
    int e = 0;
    if (hi - ref > 0) e = static_cast<int>(std::ceil(std::log2((hi - ref) / max_x)));
    e = std::clamp(e, -60, 60);
    while (e < 60 && ref + std::ldexp(max_x, e) < hi)
        ++e;
    r.exponent = e;
    const double scale = std::ldexp(1.0, e);
    r.x.resize(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
        long q = std::lround((values[k] - ref) / scale / unit);
        r.x[k] = static_cast<int>(std::clamp<long>(q, 0, (1 << bits) - 1)) * unit;
    }
}

double plausible_value(int item, int level, double lon, double lat, int hour) {
    const double pi = 3.14159265358979;
    const double p = level == 0 ? 1000.0 : level;
    // Standard atmosphere height of the pressure level, metres.
    const double z0 = 44330.8 * (1.0 - std::pow(p / 1013.25, 0.190263));
    // A travelling wave of the westerlies, and a low moving east.
    const double wave = std::sin(2 * pi * (lon - 120.0) / 25.0 - 0.04 * hour) *
                        std::cos(2 * pi * (lat - 35.0) / 40.0);
    const double low_lon = 122.0 + 0.35 * hour, low_lat = 30.0 + 0.1 * hour;
    const double dist2 = (lon - low_lon) * (lon - low_lon) + (lat - low_lat) * (lat - low_lat);
    const double low = std::exp(-dist2 / 18.0);
    const double jet = std::exp(-std::pow((lat - 36.0) / 5.0, 2)) *
                       std::exp(-std::pow(std::log(p / 250.0) / 0.7, 2));
    switch (item) {
    case 1: // pressure: sea-level pressure at the surface, the level elsewhere
        return level == 0 ? 1012.0 + 0.4 * (lat - 35.0) - 14.0 * low + 3.0 * wave : p;
    case 4: { // temperature falls with height and latitude, stops at the tropopause
        double t = 28.0 - 0.75 * (lat - 20.0) - 6.5 * z0 / 1000.0 + 2.0 * wave +
                   3.0 * std::sin(2 * pi * (hour + 9) / 24.0) * (level == 0 ? 1.0 : 0.2);
        return std::max(t, -58.0 + 0.1 * (lat - 35.0));
    }
    case 13: { // humidity, moist near the low and in the south, drier aloft
        double h = 55.0 + 35.0 * low + 15.0 * wave + 0.6 * (35.0 - lat) - z0 / 400.0;
        return std::clamp(h, 2.0, 100.0);
    }
    case 23: // u-wind: westerlies with a jet near 36 N and 250 hPa
        return 8.0 + 55.0 * jet + 6.0 * wave - 10.0 * low * (lat - low_lat) / 3.0;
    case 24: // v-wind: meridional wave and the circulation of the low
        return 10.0 * std::sin(2 * pi * (lon - 120.0) / 25.0 - 0.04 * hour) * (0.3 + jet) +
               10.0 * low * (lon - low_lon) / 3.0;
    case 42: // w-wind, hPa/h: rising (negative) ahead of the low
        return -12.0 * low * std::max(0.0, 1.0 - std::fabs(p - 600.0) / 500.0) + 1.5 * wave;
    case 49: // rain, mm/h, near the low
        return std::max(0.0, 14.0 * low - 2.0);
    case 102: // geopotential height rises with height, lower toward the pole
        return z0 - 6.0 * (lat - 35.0) * (1000.0 / p) - 180.0 * low * (p / 1000.0) +
               40.0 * wave * std::sqrt(1000.0 / p);
    case 225: // cloud amount, percent
        return std::clamp(110.0 * low + 20.0 * wave + 10.0, 0.0, 100.0);
    default:
        return 0.0;
    }
}

int item_bits(int item) {
    return (item == 49 || item == 225) ? 8 : 10;
}

bool write_forecast(const std::string& path, const Forecast& s) {
    const int times = (s.last_hour - s.first_hour) / s.step + 1;
    std::size_t pairs = s.levels.size() * s.items.size();
    // Every record of the file has the length of a full tile at 10 bits.
    const int pad_to = 44 + (s.tile_cols * s.tile_rows * times * 10 + 7) / 8;
    if (pairs == 0 || 4 + pairs * pad_to > 0xffff || pad_to > 0xffff) {
        std::fprintf(stderr, "gpvgen: %zu records of %d bytes do not fit one block\n", pairs,
                     pad_to);
        return false;
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "gpvgen: cannot write %s\n", path.c_str());
        return false;
    }

    // The records of one (level, item) pair, tile by tile.
    auto tiles_of = [&](int level, int item, bool first_only) {
        std::vector<Bytes> recs;
        Grid g{};
        model_grid(s.model, level, g);
        for (int r0 = 0; r0 < g.rows; r0 += s.tile_rows)
            for (int c0 = 0; c0 < g.cols; c0 += s.tile_cols) {
                bool first = r0 == 0 && c0 == 0;
                if (first != first_only) continue;
                Record r;
                r.model = s.model, r.item = item, r.level = level;
                r.year = s.year, r.month = s.month, r.day = s.day, r.hour = s.hour,
                r.minute = s.minute;
                r.first_hour = s.first_hour, r.last_hour = s.last_hour, r.step_byte = 200 + s.step;
                r.col_first = c0, r.row_first = r0;
                r.col_last = std::min(c0 + s.tile_cols, g.cols) - 1;
                r.row_last = std::min(r0 + s.tile_rows, g.rows) - 1;
                std::vector<double> values;
                for (int t = 0; t < times; ++t)
                    for (int j = r.row_first; j <= r.row_last; ++j)
                        for (int i = r.col_first; i <= r.col_last; ++i)
                            values.push_back(plausible_value(
                                item, level, g.lon_min + (i + 0.5) * g.lon_step,
                                g.lat_max - (j + 0.5) * g.lat_step,
                                s.first_hour + t * s.step + s.weather_shift));
                quantise(values, item_bits(item), r);
                r.pad_to = pad_to;
                recs.push_back(record(r));
            }
        return recs;
    };

    static const std::uint8_t junk[][5] = {
        {'D', 'G', 'R', 'x', 0}, {'D', 'D', 'G', 0, 0}, {'x', 'D', 'G', 'D', 'G'}};
    std::size_t written = 0;
    auto emit = [&](const Bytes& b) { written += std::fwrite(b.data(), 1, b.size(), out); };
    std::size_t expected = 0;
    int block_no = 0;
    auto emit_block = [&](const std::vector<Bytes>& recs) {
        Bytes j(junk[block_no % 3], junk[block_no % 3] + 5);
        emit(j);
        Bytes b = block(recs);
        emit(b);
        expected += j.size() + b.size();
        ++block_no;
    };

    std::vector<Bytes> first;
    for (int level : s.levels)
        for (int item : s.items)
            for (Bytes& r : tiles_of(level, item, true))
                first.push_back(std::move(r));
    emit_block(first);

    const std::size_t per_block = (0xffff - 4) / pad_to;
    std::vector<Bytes> pending;
    for (int level : s.levels)
        for (int item : s.items)
            for (Bytes& r : tiles_of(level, item, false)) {
                pending.push_back(std::move(r));
                if (pending.size() == per_block) {
                    emit_block(pending);
                    pending.clear();
                }
            }
    if (!pending.empty()) emit_block(pending);
    bool ok = std::fclose(out) == 0 && written == expected;
    if (!ok) std::fprintf(stderr, "gpvgen: writing %s failed\n", path.c_str());
    return ok;
}

} // namespace gpvgen
