// The index of a GRIB2 file: one pass over its messages and sections,
// reading their headers only, and the mapping of the file.
#include "grib/bytes.h"
#include "grib/edition1.h"
#include "grib/grib.h"
#include "grib/grid.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace grib {

namespace {

void print_report(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text);
}

// State of the message being indexed: the sections a field is made of, as
// met so far. Sections 3 to 6 may repeat inside a message for further fields.
struct Pending {
    std::uint64_t sec[7] = {};     // offset of section k (3 to 6) in the file
    std::uint32_t len[7] = {};     // and its length
    std::uint64_t last_bitmap = 0; // a section 6 that carried a bit-map
    std::uint32_t last_bitmap_length = 0;
};

// Units of the time range (code table 4.4) in minutes; 0 for an unknown unit.
long unit_minutes(int unit) {
    switch (unit) {
    case 0:
        return 1;
    case 1:
        return 60;
    case 2:
        return 1440;
    case 10:
        return 180;
    case 11:
        return 360;
    case 12:
        return 720;
    default:
        return 0;
    }
}

// The hours of a time in the given unit, rounded down; false for an unknown
// unit.
bool to_hours(int unit, long long value, int& hours) {
    if (unit == 13) { // seconds
        hours = static_cast<int>(value / 3600);
        return true;
    }
    long m = unit_minutes(unit);
    if (m == 0) return false;
    long long h = value * m / 60;
    if (h > 1000000 || h < -1000000) return false;
    hours = static_cast<int>(h);
    return true;
}

// The minutes of a time in the given unit (seconds rounded down); false for
// an unknown unit.
bool to_minutes(int unit, long long value, long long& minutes) {
    if (unit == 13) {
        minutes = value / 60;
        return true;
    }
    long m = unit_minutes(unit);
    if (m == 0 || value > 100000000 || value < -100000000) return false;
    minutes = value * m;
    return true;
}

// value x 10^-scale, as near as doubles go (0.1 rather than 0.1000...01).
double scaled(int scale, long long value) {
    const double v = static_cast<double>(value);
    return scale > 0 ? v / std::pow(10.0, scale) : v * std::pow(10.0, -scale);
}

// A fixed surface's value from its scale factor and scaled value (octets
// at p): 0 when the value is missing, unscaled when the factor is.
double surface_value(const std::uint8_t* p) {
    if (u32(p + 1) == 0xffffffffu) return 0;
    return scaled(p[0] == 0xff ? 0 : sm8(p[0]), sm32(p + 1));
}

struct Indexer {
    const std::uint8_t* b;
    std::size_t size;
    File& file;
    int message = 0;
    std::uint64_t msg_start = 0, msg_end = 0;
    int discipline = 0, centre = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    bool have_sec1 = false;

    void problem(const char* fmt, auto... args) {
        ++file.skipped;
        if (!file.first_problem.empty()) return;
        char text[256];
        std::snprintf(text, sizeof text, fmt, message, args...);
        file.first_problem = text;
    }

    // Reads section 4 into the field's parameter, level, time and kind; false
    // after a problem.
    bool read_product(const Pending& p, Field& f) {
        const std::uint8_t* s4 = b + p.sec[4];
        const std::uint32_t len = p.len[4];
        if (len < 9) return problem("message %d: product section too short."), false;
        int pt = static_cast<int>(u16(s4 + 7));
        f.product_template = pt;
        // Octets before the template's statistics block (end of the time
        // range, its count, then one 12-octet range), or 0 without one; and
        // the octets the template needs.
        std::uint32_t stats = 0, need = 34;
        // Atmospheric chemical constituents (4.40 to 4.43): the templates of
        // 4.0, 4.1, 4.8 and 4.11 with the constituent's type behind the
        // parameter, the octets after it two further on.
        const int shift = pt >= 40 && pt <= 43 ? 2 : 0;
        const int kind = shift ? (pt == 40 ? 0 : pt == 41 ? 1 : pt == 42 ? 8 : 11) : pt;
        switch (kind) {
        case 0:
            break;
        case 1:
            need = 37;
            break;
        case 2:
            need = 36;
            break;
        case 5:
            need = 47;
            break;
        case 6:
            need = 35;
            break;
        case 8:
            stats = 34;
            break;
        case 9:
            stats = 47;
            break;
        case 10:
            stats = 35;
            break;
        case 11:
            stats = 37;
            break;
        case 12:
            stats = 36;
            break;
        case 15:
            need = 37;
            break;
        default: {
            const char* name = template_name(4, pt);
            return problem("message %d: product definition template 4.%d%s%s%s is not "
                           "supported; skipped.",
                           pt, *name ? " (" : "", name, *name ? ")" : ""),
                   false;
        }
        }
        if (stats) need = stats + 24;
        need += shift;
        if (len < need) return problem("message %d: product section too short."), false;
        f.category = s4[9];
        f.number = s4[10];
        if (shift) f.constituent = static_cast<int>(u16(s4 + 11));
        const std::uint8_t* t = s4 + shift;
        int time_unit = t[17];
        long long ft = static_cast<long long>(sm32(t + 18));
        long long minutes = 0;
        if (!to_hours(time_unit, ft, f.forecast_hour) || !to_minutes(time_unit, ft, minutes))
            return problem("message %d: unknown unit %d of the forecast time.", time_unit), false;
        f.level_type = t[22];
        f.level_value = surface_value(t + 23);
        f.level2_type = t[28];
        f.level2_value = f.level2_type == 255 ? 0 : surface_value(t + 29);
        switch (kind) {
        case 1:
        case 11:
            f.ensemble_type = t[34];
            f.perturbation = t[35];
            f.ensemble_size = t[36];
            break;
        case 2:
        case 12:
            f.derived = t[34];
            f.ensemble_size = t[35];
            break;
        case 5:
        case 9:
            f.probability_type = t[36];
            if (u32(t + 38) != 0xffffffffu)
                f.lower_limit = scaled(t[37] == 0xff ? 0 : sm8(t[37]), sm32(t + 38));
            if (u32(t + 43) != 0xffffffffu)
                f.upper_limit = scaled(t[42] == 0xff ? 0 : sm8(t[42]), sm32(t + 43));
            break;
        case 6:
        case 10:
            f.percentile = t[34];
            break;
        case 15:
            f.statistical_process = t[34] == 255 ? -1 : t[34];
            f.spatial_process = t[35];
            break;
        default:
            break;
        }
        if (stats) {
            // The first time range: its process, and its length (in its
            // unit) ends the interval.
            const std::uint8_t* r = t + stats + 12;
            f.statistical_process = r[0] == 255 ? -1 : r[0]; // 255: not given
            int range_unit = r[2];
            int hours = 0;
            long long range = 0;
            const long long length = static_cast<long long>(u32(r + 3));
            if (!to_hours(range_unit, length, hours) || !to_minutes(range_unit, length, range))
                return problem("message %d: unknown unit %d of the time range.", range_unit), false;
            f.interval_hours = hours;
            f.forecast_hour += hours;
            minutes += range;
        }
        f.forecast_minutes = minutes;
        return true;
    }

    // Reads one field from its sections; false after a problem (skipped).
    bool add_field(const Pending& p, std::uint64_t sec7, std::uint32_t len7) {
        Field f;
        f.message = message;
        f.offset = msg_start;
        f.centre = centre;
        f.discipline = discipline;
        f.year = year, f.month = month, f.day = day, f.hour = hour, f.minute = minute;

        // Section 3: grid definition.
        std::string why;
        if (!parse_grid_section(b + p.sec[3], p.len[3], f.grid, why))
            return problem("message %d: %s", why.c_str()), false;
        const Grid& g = f.grid;

        // Section 4: product definition.
        if (!read_product(p, f)) return false;

        // Section 5: data representation.
        const std::uint8_t* s5 = b + p.sec[5];
        if (p.len[5] < 11)
            return problem("message %d: data representation section too short."), false;
        int dt = static_cast<int>(u16(s5 + 9));
        f.data_template = dt;
        std::uint32_t need = 0;
        switch (dt) {
        case 0:
        case 41:
        case 40:
            need = 21;
            break;
        case 4:
            need = 12;
            break;
        case 42:
            need = 25;
            break;
        case 200:
            need = 17;
            break;
        case 2:
            need = 47;
            break;
        case 3:
            need = 49;
            break;
        default: {
            const char* name = template_name(5, dt);
            return problem("message %d: data representation template 5.%d%s%s%s is not "
                           "supported; skipped.",
                           dt, *name ? " (" : "", name, *name ? ")" : ""),
                   false;
        }
        }
        if (p.len[5] < need || (dt == 200 && p.len[5] < 17 + 2 * u16(s5 + 14)))
            return problem("message %d: data representation section too short."), false;
        f.value_count = u32(s5 + 5);
        f.sec5 = p.sec[5], f.len5 = p.len[5];

        // Section 6: bit-map.
        if (p.len[6] < 6) return problem("message %d: bit-map section too short."), false;
        int indicator = b[p.sec[6] + 5];
        if (indicator == 0) {
            f.bitmap = p.sec[6], f.bitmap_length = p.len[6];
        } else if (indicator == 254) {
            if (!p.last_bitmap)
                return problem("message %d: bit-map refers to none defined before."), false;
            f.bitmap = p.last_bitmap, f.bitmap_length = p.last_bitmap_length;
        } else if (indicator != 255) {
            return problem("message %d: predefined bit-map %d is not supported; skipped.",
                           indicator),
                   false;
        }
        if (f.bitmap && (f.bitmap_length - 6ull) * 8 < g.count())
            return problem("message %d: bit-map shorter than the grid."), false;
        if (!f.bitmap && f.value_count != g.count())
            return problem("message %d: %u values for a grid of %llu points.", f.value_count,
                           static_cast<unsigned long long>(g.count())),
                   false;
        if (f.value_count > g.count())
            return problem("message %d: more values than grid points."), false;
        f.sec7 = sec7, f.len7 = len7;
        if ((dt == 0 || dt == 40 || dt == 41 || dt == 42) && s5[19] > 32)
            return problem("message %d: more than 32 bits per value."), false;
        if (dt == 200 && (s5[11] == 0 || s5[11] > 16))
            return problem("message %d: run-length packing of %d bits per value.", s5[11]), false;
        if (dt == 4 && s5[11] != 1 && s5[11] != 2)
            return problem("message %d: IEEE precision %d is not supported; skipped.", s5[11]),
                   false;
        if (dt == 0 && static_cast<std::uint64_t>(f.value_count) * s5[19] > 8ull * (len7 - 5))
            return problem("message %d: packed data shorter than its values."), false;
        file.fields.push_back(f);
        return true;
    }

    // One message from msg_start; returns the offset behind it, or 0 to stop.
    std::uint64_t message_at(std::uint64_t at) {
        ++message;
        ++file.messages;
        msg_start = at;
        if (size - at < 16) return problem("message %d: truncated at the end of the file."), 0;
        const std::uint8_t* s0 = b + at;
        if (s0[7] == 1) {
            Field f;
            bool ok = false;
            std::string text;
            std::uint64_t end = index_message1(b, size, at, message, f, ok, text);
            if (ok)
                file.fields.push_back(f);
            else
                problem("message %d: %s", text.c_str());
            return end ? end : next_marker(at + 4);
        }
        if (s0[7] != 2) {
            problem("message %d: GRIB edition %d is not supported; skipped.", s0[7]);
            return next_marker(at + 4);
        }
        std::uint64_t total = u64(s0 + 8);
        if (total < 16 + 4 || total > size - at) {
            if (total > size - at)
                problem("message %d: truncated: %llu bytes announced, %llu in the file.",
                        static_cast<unsigned long long>(total),
                        static_cast<unsigned long long>(size - at));
            else
                problem("message %d: wrong length %llu.", static_cast<unsigned long long>(total));
            return next_marker(at + 4);
        }
        msg_end = at + total;
        if (std::memcmp(b + msg_end - 4, "7777", 4) != 0) {
            problem("message %d: no end marker where its length says.");
            return next_marker(at + 4);
        }
        discipline = s0[6];
        have_sec1 = false;
        Pending p;
        std::uint64_t pos = at + 16;
        bool have[8] = {};
        while (pos + 4 <= msg_end - 4) {
            std::uint32_t len = u32(b + pos);
            if (len < 5 || len > msg_end - 4 - pos) {
                problem("message %d: section at byte %llu has a wrong length %u.",
                        static_cast<unsigned long long>(pos - at), len);
                return msg_end;
            }
            int num = b[pos + 4];
            switch (num) {
            case 1:
                if (len < 21)
                    return problem("message %d: identification section too short."), msg_end;
                centre = static_cast<int>(u16(b + pos + 5));
                year = static_cast<int>(u16(b + pos + 12));
                month = b[pos + 14], day = b[pos + 15], hour = b[pos + 16];
                minute = b[pos + 17];
                have_sec1 = true;
                break;
            case 2:
                break;
            case 3:
            case 4:
            case 5:
            case 6:
                p.sec[num] = pos, p.len[num] = len;
                if (num == 6 && len >= 6 && b[pos + 5] == 0)
                    p.last_bitmap = pos, p.last_bitmap_length = len;
                break;
            case 7:
                if (!have_sec1 || !have[3] || !have[4] || !have[5] || !have[6]) {
                    problem("message %d: data section before the sections describing it.");
                    return msg_end;
                }
                add_field(p, pos, len);
                break;
            default:
                problem("message %d: unknown section %d.", num);
                return msg_end;
            }
            if (num < 8) have[num] = true;
            pos += len;
        }
        if (pos != msg_end - 4) problem("message %d: sections do not fill the message.");
        return msg_end;
    }

    // The next "GRIB" at or behind from; size when there is none.
    std::uint64_t next_marker(std::uint64_t from) {
        if (from >= size) return size;
        const void* hit = memmem(b + from, size - from, "GRIB", 4);
        return hit ? static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - b) : size;
    }
};

} // namespace

Report report = print_report;

bool is_grib2(const std::uint8_t* bytes, std::size_t size) {
    return size >= 8 && std::memcmp(bytes, "GRIB", 4) == 0 && bytes[7] == 2;
}

bool is_grib(const std::uint8_t* bytes, std::size_t size) {
    return size >= 8 && std::memcmp(bytes, "GRIB", 4) == 0 && (bytes[7] == 1 || bytes[7] == 2);
}

namespace {

// The offset of the first "GRIB" starting before `starts` that is followed
// by a consistent indicator section, with its edition; -1 when there is none.
long long grib_start(const std::uint8_t* bytes, std::size_t size, std::size_t starts,
                     int& edition) {
    const std::size_t end = std::min(size, starts + 3);
    for (std::size_t at = 0; at < starts && at + 4 <= end;) {
        const void* hit = memmem(bytes + at, end - at, "GRIB", 4);
        if (!hit) return -1;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes);
        const std::uint8_t* m = bytes + at;
        const std::size_t left = size - at;
        // Edition 2: a 16-octet indicator, then section 1 (at least 21
        // octets) inside the announced length.
        if (left >= 21 && m[7] == 2) {
            const std::uint64_t total = u64(m + 8), len1 = u32(m + 16);
            if (total >= 16 + 21 + 4 && m[20] == 1 && len1 >= 21 && len1 <= total - 20)
                return edition = 2, static_cast<long long>(at);
        }
        // Edition 1: a 3-octet length, then section 1 (at least 28 octets).
        if (left >= 12 && m[7] == 1) {
            const std::uint32_t total = u32(m + 3) & 0xffffff, len1 = u32(m + 7) & 0xffffff;
            if (total >= 8 + 28 + 4 && len1 >= 28 && len1 <= total - 12)
                return edition = 1, static_cast<long long>(at);
        }
        at += 4;
    }
    return -1;
}

} // namespace

int find_grib(const std::uint8_t* bytes, std::size_t size, std::size_t limit) {
    int edition = 0;
    const std::size_t end = size < limit ? size : limit;
    return end >= 4 && grib_start(bytes, size, end - 3, edition) >= 0 ? edition : 0;
}

long long find_grib_in_file(int fd, long long stop) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    if (stop > st.st_size) stop = st.st_size;
    // A block keeps the bytes of its last possible start for the next one,
    // where the indicator behind them can be checked.
    constexpr std::size_t kBlock = 1 << 20, kKeep = 21;
    std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[kBlock + kKeep]);
    const off_t saved = lseek(fd, 0, SEEK_CUR); // moved by the skips of holes
    long long found = -1;
    off_t pos = 0;
    std::size_t kept = 0; // bytes before pos, at the start of buf
    while (pos < stop) {
        // A hole reads as zeros and holds no message.
        const off_t data = lseek(fd, pos, SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;
        if (data > pos) pos = data, kept = 0;
        if (pos >= stop) break;
        const ssize_t r = pread(fd, buf.get() + kept, kBlock, pos);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        const std::size_t n = kept + static_cast<std::size_t>(r);
        const long long base = pos - static_cast<off_t>(kept);
        // Starts in the last kKeep bytes wait for the bytes behind them,
        // unless the file ends there.
        std::size_t starts = pos + r >= st.st_size ? n : n - std::min(n, kKeep);
        const bool final = stop - base <= static_cast<long long>(starts);
        if (final) starts = static_cast<std::size_t>(stop - base);
        int edition = 0;
        const long long at = grib_start(buf.get(), n, starts, edition);
        if (at >= 0) {
            found = base + at;
            break;
        }
        if (final) break;
        kept = n - starts;
        std::memmove(buf.get(), buf.get() + starts, kept);
        pos += r;
    }
    if (saved >= 0) lseek(fd, saved, SEEK_SET);
    return found;
}

int index_bytes(const std::uint8_t* bytes, std::size_t size, File& file) {
    file.bytes = bytes;
    file.size = size;
    file.fields.clear();
    file.messages = file.skipped = 0;
    file.first_problem.clear();
    Indexer ix{bytes, size, file};
    std::uint64_t at = ix.next_marker(0);
    while (at < size) {
        std::uint64_t next = ix.message_at(at);
        if (next == 0) break;
        // Junk between messages is passed over up to the next marker.
        at = next + 4 <= size && std::memcmp(bytes + next, "GRIB", 4) == 0 ? next
                                                                           : ix.next_marker(next);
    }
    return file.fields.empty() ? 0 : 1;
}

int open_fd(int fd, File& file) {
    close(file);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        report("open_GRIB", "Error: the file cannot be read.");
        return 0;
    }
    auto size = static_cast<std::size_t>(st.st_size);
    void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
        report("open_GRIB", "Error: the file cannot be mapped.");
        return 0;
    }
    madvise(p, size, MADV_WILLNEED);
    file.bytes = static_cast<const std::uint8_t*>(p);
    file.size = size;
    file.mapped = true;
    int ok = index_bytes(file.bytes, file.size, file);
    if (!file.first_problem.empty()) {
        std::string text = "Error: " + file.first_problem;
        if (file.skipped > 1)
            text += " (" + std::to_string(file.skipped - 1) + " more field(s) skipped.)";
        report("open_GRIB", text.c_str());
    } else if (!ok) {
        report("open_GRIB", "Error: no GRIB2 field found.");
    }
    return ok;
}

void close(File& file) {
    if (file.mapped) munmap(const_cast<std::uint8_t*>(file.bytes), file.size);
    file = File{};
}

} // namespace grib
