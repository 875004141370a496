// The index of GRIB edition 1 messages: sections 0 to 4 of one message read
// into the Field of both editions, with its grid, level and time range given
// the numbers of the edition 2 code tables where the kinds agree.
#include "grib/bytes.h"
#include "grib/edition1.h"
#include "grib/grid.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace grib {

namespace {

constexpr std::uint64_t kMaxPoints = std::uint64_t{1} << 29;

std::uint32_t u24(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}
// Sign-and-magnitude number of 3 octets, in thousandths of a degree.
double degrees(const std::uint8_t* p) {
    return static_cast<double>(smn(p, 3)) / 1000.0;
}

std::string format(const char* fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// Units of time (GRIB1 code table 4) in seconds; 0 for those without a
// fixed length (month, year and longer).
long unit_seconds(int unit) {
    switch (unit) {
    case 0:
        return 60;
    case 1:
        return 3600;
    case 2:
        return 86400;
    case 10:
        return 3 * 3600;
    case 11:
        return 6 * 3600;
    case 12:
        return 12 * 3600;
    case 13:
        return 15 * 60;
    case 14:
        return 30 * 60;
    case 254:
        return 1;
    default:
        return 0;
    }
}

// The level of octets 10 to 12 as a type of code table 4.5 with its value in
// that type's unit (and the second surface of layers). Types without an
// edition 2 equivalent keep 1000 + their GRIB1 number and the octets' value.
void set_level(Field& f, int type, const std::uint8_t* o) {
    const double v = u16(o), top = o[0], bottom = o[1];
    auto one = [&](int t, double value) { f.level_type = t, f.level_value = value; };
    auto layer = [&](int t, double a, double b) {
        f.level_type = f.level2_type = t;
        f.level_value = a, f.level2_value = b;
    };
    switch (type) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
        return one(type, 0);
    case 20:
        return one(20, v / 100); // K
    case 100:
        return one(100, v * 100); // hPa to Pa
    case 101:
        return layer(100, top * 1000, bottom * 1000); // kPa
    case 102:
        return one(101, 0);
    case 103:
        return one(102, v); // m above mean sea level
    case 104:
        return layer(102, top * 100, bottom * 100); // hm
    case 105:
        return one(103, v); // m above ground
    case 106:
        return layer(103, top * 100, bottom * 100);
    case 107:
        return one(104, v / 10000); // sigma
    case 108:
        return layer(104, top / 100, bottom / 100);
    case 109:
        return one(105, v); // hybrid level number
    case 110:
        return layer(105, top, bottom);
    case 111:
        return one(106, v / 100); // cm below land to m
    case 112:
        return layer(106, top / 100, bottom / 100);
    case 113:
        return one(107, v); // K
    case 114:
        return layer(107, 475 - top, 475 - bottom);
    case 115:
        return one(108, v * 100); // hPa above ground to Pa
    case 116:
        return layer(108, top * 100, bottom * 100);
    case 117:
        return one(109, v * 1e-9); // K m2 / kg / s
    case 119:
        return one(111, v / 10000); // eta
    case 120:
        return layer(111, top / 100, bottom / 100);
    case 121:
        return layer(100, (1100 - top) * 100, (1100 - bottom) * 100);
    case 125:
        return one(103, v / 100); // cm above ground to m
    case 128:
        return layer(104, 1.1 - top / 1000, 1.1 - bottom / 1000);
    case 141:
        return layer(100, top * 1000, (1100 - bottom) * 100);
    case 160:
        return one(160, v); // m below sea level
    case 200:
        return one(10, 0);
    default:
        return one(1000 + type, v);
    }
}

// The time range of octets 18 to 21 (and 22, 25 for P1 of indicator 10).
bool set_time(Field& f, const std::uint8_t* pds, std::string& problem) {
    const int unit = pds[17], tri = pds[20];
    long long p1 = pds[18], p2 = pds[19];
    if (tri == 10) p1 = u16(pds + 18), p2 = 0;
    long s = unit_seconds(unit);
    if (s == 0)
        return problem = format("unit %d of the forecast time is not supported; skipped.", unit),
               false;
    auto hours = [&](long long v) { return static_cast<int>(v * s / 3600); };
    switch (tri) {
    case 0:
    case 1:
    case 10:
        f.product_template = 0;
        f.forecast_hour = tri == 1 ? 0 : hours(p1);
        return true;
    case 2: // valid between P1 and P2 (maximum, minimum)
    case 3: // average
    case 4: // accumulation
    case 5: // difference
        if (p2 < p1)
            return problem = format("time range from %lld to %lld ends before it begins; skipped.",
                                    p1, p2),
                   false;
        f.product_template = 8;
        f.forecast_hour = hours(p2);
        f.interval_hours = hours(p2) - hours(p1);
        return true;
    default:
        problem = format("time range indicator %d (%s) is not supported; skipped.", tri,
                         tri >= 113 && tri <= 137 ? "statistics over several forecasts or analyses"
                         : tri >= 51 && tri <= 52 ? "climatological statistics"
                                                  : "other time range");
        return false;
    }
}

// The grid of the grid description section (GDS) s of len octets.
bool set_grid(Field& f, const std::uint8_t* s, std::uint32_t len, std::string& problem) {
    Grid& g = f.grid;
    const int given_type = s[5];
    // Stretched grids (20, 24, 30, 34) are those of type - 20 followed by the
    // pole and factor of their stretching; unstretched (factor 1, or 0 where
    // it was never set) they are those grids.
    const bool stretched =
        given_type == 20 || given_type == 24 || given_type == 30 || given_type == 34;
    const int type = stretched ? given_type - 20 : given_type;
    auto refuse = [&](const char* name) {
        problem = format("grid type %d (%s) is not supported; skipped.", given_type, name);
        return false;
    };
    if (stretched) {
        const std::uint32_t at = type >= 10 ? 42 : 32; // behind the rotation, if any
        if (len < at + 10) return problem = "grid description section too short.", false;
        const double factor = ibm32(s + at + 6);
        if (factor != 0 && factor != 1) {
            problem = format("grid type %d (stretched grid, factor %g) is not supported; skipped.",
                             given_type, factor);
            return false;
        }
    }
    switch (type) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 5:
    case 10:
    case 14:
        break;
    case 2:
        return refuse("gnomonic");
    case 13:
        return refuse("oblique Lambert conformal");
    case 50:
    case 60:
    case 70:
    case 80:
        return refuse("spherical harmonic coefficients");
    case 90:
        return refuse("space view perspective");
    default:
        return refuse("unknown");
    }
    if (len < 32) return problem = "grid description section too short.", false;
    const std::uint32_t nx = u16(s + 6), ny = u16(s + 8);
    const int flags = s[16];
    g.winds_grid_relative = flags & 0x08;
    if (flags & 0x40)
        g.earth_a = 6378160, g.earth_b = 6356775;
    else
        g.earth_a = g.earth_b = 6367470;
    const double la1 = degrees(s + 10), lo1 = degrees(s + 13);

    if (type == 1 || type == 3 || type == 5) { // projected grids
        if (nx == 0 || ny == 0 || nx == 0xffff || static_cast<std::uint64_t>(nx) * ny > kMaxPoints)
            return problem = format("absurd grid of %u x %u points.", nx, ny), false;
        g.cols = static_cast<int>(nx), g.rows = static_cast<int>(ny);
        if (type == 1) {
            g.template_number = 10;
            g.scan_mode = s[27];
            g.dx = static_cast<double>(smn(s + 28, 3));
            g.dy = static_cast<double>(smn(s + 31, 3));
            g.proj = mercator_proj(degrees(s + 23), g.earth_a, g.earth_b);
        } else if (type == 5) {
            g.template_number = 20;
            g.scan_mode = s[27];
            g.dx = u24(s + 20), g.dy = u24(s + 23);
            g.proj = polar_proj(s[26] & 0x80, (s[26] & 0x80) ? -60 : 60, degrees(s + 17), g.earth_a,
                                g.earth_b);
        } else {
            if (len < 40) return problem = "grid description section too short.", false;
            g.template_number = 30;
            g.scan_mode = s[27];
            g.dx = u24(s + 20), g.dy = u24(s + 23);
            const double latin1 = degrees(s + 28), latin2 = degrees(s + 31);
            g.proj = lambert_proj(latin1, degrees(s + 17), latin1, latin2, g.earth_a, g.earth_b);
        }
        if (!(g.dx > 0 && g.dy > 0)) return problem = "grid without a spacing.", false;
        if (std::fabs(la1) > 90 || std::fabs(lo1) > 360)
            return problem = "absurd grid geometry.", false;
        return place_projected_grid(g, la1, lo1, problem) ||
               (problem = "grid: " + problem + ".", false);
    }

    // Latitude/longitude and Gaussian grids, regular, rotated or reduced.
    const bool gaussian = type == 4 || type == 14, rotated = type == 10 || type == 14;
    g.template_number = gaussian ? (rotated ? 41 : 40) : (rotated ? 1 : 0);
    g.scan_mode = s[27];
    if (ny == 0 || ny == 0xffff || nx == 0)
        return problem = format("absurd grid of %u x %u points.", nx, ny), false;
    if (rotated) {
        if (len < 42) return problem = "grid description section too short.", false;
        g.south_pole_lat = degrees(s + 32), g.south_pole_lon = degrees(s + 35);
        g.rotation = ibm32(s + 38);
    }
    g.rows = static_cast<int>(ny);
    if (nx == 0xffff) { // reduced: the number of points of each row follows the coordinates
        const int nv = s[3], pvl = s[4];
        const std::uint64_t at = (pvl == 255 || pvl == 0 ? 32 : pvl - 1) + 4ull * nv;
        if (at + 2ull * ny > len)
            return problem = "reduced grid without the number of points of its rows.", false;
        g.row_points.resize(ny);
        std::uint64_t total = 0;
        int longest = 0;
        for (std::uint32_t j = 0; j < ny; ++j) {
            int n = static_cast<int>(u16(s + at + 2 * j));
            // Rows are delivered from the north.
            g.row_points[(g.scan_mode & 0x40) ? ny - 1 - j : j] = n;
            total += n;
            if (n > longest) longest = n;
        }
        // (A map spreads every row over the longest one.)
        if (total == 0 || static_cast<std::uint64_t>(ny) * longest > kMaxPoints ||
            (g.scan_mode & 0x20))
            return problem = "absurd reduced grid.", false;
        g.cols = longest;
        g.points = total;
    } else {
        if (static_cast<std::uint64_t>(nx) * ny > kMaxPoints)
            return problem = format("absurd grid of %u x %u points.", nx, ny), false;
        g.cols = static_cast<int>(nx);
    }
    const double la2 = degrees(s + 17), lo2 = degrees(s + 20);
    const std::uint32_t di_raw = u16(s + 23), dj_raw = u16(s + 25);
    const bool given = flags & 0x80;
    // Longitudes: the span over the columns, more precise than the increment
    // in thousandths of a degree; an increment that does not fit is taken.
    double span = lo2 - lo1;
    if (g.scan_mode & 0x80) span = -span;
    if (span < 0) span += 360;
    double di = g.cols > 1 ? span / (g.cols - 1) : 1;
    if (given && di_raw != 0xffff && g.row_points.empty() &&
        std::fabs(di - di_raw / 1000.0) > 0.001)
        di = di_raw / 1000.0;
    double dj = g.rows > 1 ? std::fabs(la2 - la1) / (g.rows - 1) : 1;
    if (!gaussian && given && dj_raw != 0xffff && std::fabs(dj - dj_raw / 1000.0) > 0.001)
        dj = dj_raw / 1000.0;
    if (!(di > 0 && di <= 360 && dj > 0 && dj <= 180) || std::fabs(la1) > 90.001 ||
        std::fabs(la2) > 90.001 || std::fabs(lo1) > 360)
        return problem = "absurd grid geometry.", false;
    if (gaussian) {
        g.gaussian_n = static_cast<int>(dj_raw);
        if (g.gaussian_n == 0 || g.gaussian_n == 0xffff)
            return problem = "Gaussian grid without its number of parallels.", false;
    }
    g.lon_step = di, g.lat_step = dj;
    g.lon_west = (g.scan_mode & 0x80) && g.row_points.empty() ? lo1 - (g.cols - 1) * di : lo1;
    if (!g.row_points.empty()) {
        if (g.scan_mode & 0x80) g.lon_west = lo2;
        g.lon_east = (g.scan_mode & 0x80) ? lo1 : lo2;
        if (g.lon_east < g.lon_west) g.lon_east += 360;
    }
    g.lat_north = (g.scan_mode & 0x40) ? la2 : la1;
    if (g.lat_north < ((g.scan_mode & 0x40) ? la1 : la2))
        return problem = "absurd grid geometry.", false;
    return true;
}

} // namespace

double ibm32(const std::uint8_t* p) {
    const std::uint32_t mantissa = u24(p + 1);
    if (mantissa == 0) return 0;
    const int exponent = (p[0] & 0x7f) - 64;
    const double v = std::ldexp(static_cast<double>(mantissa), 4 * exponent - 24);
    return p[0] & 0x80 ? -v : v;
}

std::uint64_t index_message1(const std::uint8_t* b, std::size_t size, std::uint64_t at, int message,
                             Field& f, bool& ok, std::string& problem) {
    ok = false;
    const std::uint8_t* m = b + at;
    std::uint64_t total = u24(m + 4);
    auto ends = [&](std::uint64_t t) {
        return t >= 8 && t <= size - at && std::memcmp(m + t - 4, "7777", 4) == 0;
    };
    // Messages beyond 16 MB give their length in units of 120 octets with
    // the top bit set; the length of section 4 then holds the difference to
    // the true length, plus 4.
    bool large = false;
    if ((total & 0x800000) && !ends(total)) {
        std::uint64_t pos = 8;
        for (int bit : {0, 0x80, 0x40})
            if (pos + 3 <= size - at && (bit == 0 || (pos > 8 && (m[15] & bit))))
                pos += u24(m + pos);
        if (pos + 3 <= size - at) {
            const std::uint64_t padded = (total & 0x7fffff) * 120, excess = u24(m + pos);
            if (excess >= 4 && excess - 4 < padded && ends(padded - excess + 4))
                total = padded - excess + 4, large = true;
        }
    }
    if (total < 8 + 28 + 11 + 4 || total > size - at) {
        problem = total > size - at
                      ? format("truncated: %llu bytes announced, %llu in the file.",
                               static_cast<unsigned long long>(total),
                               static_cast<unsigned long long>(size - at))
                      : format("wrong length %llu.", static_cast<unsigned long long>(total));
        return 0;
    }
    const std::uint64_t end = at + total;
    if (std::memcmp(b + end - 4, "7777", 4) != 0) {
        problem = "no end marker where its length says.";
        return 0;
    }
    f.message = message;
    f.offset = at;
    f.edition = 1;
    f.discipline = f.category = 0;

    // Section 1: product definition.
    std::uint64_t pos = at + 8;
    const std::uint8_t* pds = b + pos;
    const std::uint32_t len1 = u24(pds);
    if (len1 < 28 || len1 > end - 4 - pos)
        return problem = "product definition section too short.", end;
    f.table_version = pds[3];
    f.centre = pds[4];
    f.number = pds[8];
    f.subcentre = pds[25];
    const int year_of_century = pds[12], century = pds[24];
    f.year = (century - 1) * 100 + year_of_century;
    f.month = pds[13], f.day = pds[14], f.hour = pds[15], f.minute = pds[16];
    set_level(f, pds[9], pds + 10);
    if (!set_time(f, pds, problem)) return end;
    const bool have_gds = pds[7] & 0x80, have_bms = pds[7] & 0x40;
    f.sec5 = pos, f.len5 = len1;
    pos += len1;

    // Section 2: grid description.
    if (!have_gds)
        return problem = format("predefined grid %d (no grid description) is not supported; "
                                "skipped.",
                                pds[6]),
               end;
    if (end - 4 - pos < 6) return problem = "grid description section too short.", end;
    const std::uint32_t len2 = u24(b + pos);
    if (len2 < 32 || len2 > end - 4 - pos)
        return problem = "grid description section too short.", end;
    if (!set_grid(f, b + pos, len2, problem)) return end;
    pos += len2;

    // Section 3: bit-map.
    if (have_bms) {
        if (end - 4 - pos < 6) return problem = "bit-map section too short.", end;
        const std::uint32_t len3 = u24(b + pos);
        if (len3 < 6 || len3 > end - 4 - pos) return problem = "bit-map section too short.", end;
        const int table = static_cast<int>(u16(b + pos + 4));
        if (table != 0)
            return problem = format("predefined bit-map %d is not supported; skipped.", table), end;
        if ((len3 - 6ull) * 8 < f.grid.count())
            return problem = "bit-map shorter than the grid.", end;
        f.bitmap = pos, f.bitmap_length = len3;
        pos += len3;
    }

    // Section 4: binary data.
    if (end - 4 - pos < 11) return problem = "binary data section too short.", end;
    std::uint64_t len4 = u24(b + pos);
    if (large) len4 = end - 4 - pos; // the section fills the message
    if (len4 < 11 || len4 > end - 4 - pos) return problem = "binary data section too short.", end;
    const std::uint8_t* bds = b + pos;
    const int flag = bds[3] >> 4;
    f.sec7 = pos, f.len7 = static_cast<std::uint32_t>(len4);
    if (flag & 0x8)
        return problem = "spherical harmonic coefficients are not supported; skipped.", end;
    std::uint64_t marked = f.grid.count();
    if (f.bitmap) {
        const std::uint8_t* bm = b + f.bitmap + 6;
        marked = 0;
        const std::size_t words = f.grid.count() / 64;
        for (std::size_t k = 0; k < words; ++k) {
            std::uint64_t w;
            std::memcpy(&w, bm + 8 * k, 8);
            marked += __builtin_popcountll(w);
        }
        for (std::size_t p = words * 64; p < f.grid.count(); ++p)
            marked += (bm[p >> 3] >> (7 - (p & 7))) & 1;
    }
    f.value_count = static_cast<std::uint32_t>(marked);
    if (flag & 0x4) {
        // Second-order packing: only its general extended form (groups of
        // any length and width, spatial differencing of order 0 to 3).
        if (len4 < 26) return problem = "second-order packing header too short.", end;
        const int ext = bds[13];
        if ((ext & 0x40) || !(ext & 0x08))
            return problem = format("second-order packing of extended flags 0x%02x (%s) is not "
                                    "supported; skipped.",
                                    ext,
                                    (ext & 0x40) ? "matrix of values"
                                                 : "row by row or "
                                                   "constant width"),
                   end;
        f.data_template = (ext & 0x03) ? 3 : 2;
    } else {
        if ((flag & 0x3) == 0x3) { // IEEE floating point values of octet 12's precision
            const int precision = len4 >= 12 ? bds[11] : 0;
            if (precision != 1 && precision != 2)
                return problem = format("IEEE values of precision %d are not supported; "
                                        "skipped.",
                                        precision),
                       end;
            if (marked * (precision == 1 ? 4 : 8) > len4 - 12)
                return problem = "packed data shorter than its values.", end;
            f.data_template = 4;
            ok = true;
            return end;
        }
        if (flag & 0x1)
            return problem = "packing of matrices of values is not supported; skipped.", end;
        const int bits = bds[10];
        if (bits > 32) return problem = "more than 32 bits per value.", end;
        const std::uint64_t room = (len4 - 11) * 8;
        if (marked * bits > room) return problem = "packed data shorter than its values.", end;
        f.data_template = 0;
    }
    ok = true;
    return end;
}

} // namespace grib
