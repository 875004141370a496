// The index of an open GPV file's records and the extraction from it.
//
// The reference walk of get_GPV_dat reads the file from its start at every
// call: marker by marker, header by header, until the field is complete. What
// it reads depends only on the file and on one number it starts from: the
// data length of the most recent header, which decides whether the records of
// the first blocks are read at all. So the walk is done once per such start,
// over large reads of the file, and remembered as a plan: every record it
// reads in order (offset, block, level, item) and how it ends (the end of the
// file, a record whose data is cut short, or a header that is refused). An
// extraction then goes through the plan's records of its field only, reads
// those records through a few large windows of the file, and stops where the
// walk would: at the end of the first block after which the field is
// complete. The header the walk would have read last is decoded again at the
// end, so that `header` is left exactly as the walk leaves it.
#include "gpv/gpv.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace gpv {

namespace {

// ---------------------------------------------------------------- reading

constexpr std::size_t kRegionBytes = 2 << 20; // both windows
constexpr std::size_t kSlack = 8;             // zero bytes behind a window for 64-bit loads
constexpr std::size_t kWindowBytes = kRegionBytes / 2 - kSlack; // holds any record (< 64 KiB)

// A piece of the file read by pread, with zeros behind it.
struct Window {
    std::uint8_t* bytes = nullptr; // in the region
    std::uint64_t start = 0;
    std::size_t size = 0;
    bool to_end = false; // the read stopped at the end of the file
    unsigned used = 0;   // for replacing the least recently used window
};

// One record of a field that the walk reads; a field's records are kept in
// the order the walk reads them.
struct RecordRef {
    std::uint64_t offset; // of the 44-byte header
    std::uint32_t block;  // ordinal of the block among those the walk met
    std::int32_t tile_count;
};

// The records of one level and item, and the grid size of the first one.
struct FieldRecords {
    int grid_count = 0;
    std::vector<RecordRef> records;
};

// How a walk ends behind its last whole record.
enum class End {
    Quiet,     // no further marker, or a header or block length cut by the end of the file
    ShortData, // a header decoded, its data cut by the end of the file
    Refused,   // a header refused by the decoder (a box titled "get_GPV_def")
};

constexpr std::uint32_t kNoBlock = UINT32_MAX;
constexpr std::uint64_t kNoRecord = UINT64_MAX;

// The walk from the start of the file for the first-header data lengths
// lo..hi, as far as it has been taken: it goes on block by block only as far
// as the fields asked for need it.
struct Plan {
    int lo = 0, hi = INT_MAX;
    std::unordered_map<std::uint32_t, FieldRecords> fields; // by level and item
    // For each block met, the offset of the last record read up to its end
    // (kNoRecord while none has been read).
    std::vector<std::uint64_t> last_record;
    End end = End::Quiet;
    std::uint64_t end_offset = 0;       // header of a ShortData or Refused end
    std::uint32_t end_block = kNoBlock; // block in which the walk ends, kNoBlock after the last one
    // Where the walk stands: the next marker search, the data length of the
    // last header, the next block's ordinal.
    bool complete = false, started = false;
    int d0 = 0, data_length = 0;
    std::uint64_t pos = 0;
    std::uint32_t blocks = 0;
};

constexpr std::size_t kMaxPlans = 3;

// The indexed file and what is known of it.
struct FileIndex {
    int fd = -1;
    struct stat st {};
    std::vector<std::unique_ptr<Plan>> plans; // newest last
    Window windows[2];
    std::uint8_t* region = nullptr; // the windows' bytes, kept for the next file
    unsigned clock = 0;
    // The last header decoded in full and its first 24 bytes.
    std::uint8_t last_bytes[24];
    GpvHeader last;
    bool have_last = false;
};
FileIndex file_index;

std::uint32_t field_key(int level, int item) {
    return static_cast<std::uint32_t>(static_cast<std::uint16_t>(level)) << 8 |
           static_cast<std::uint32_t>(item);
}

// Points at n bytes of the file from offset a; *got is n, or fewer at the end
// of the file. The bytes stay valid until the next fetch, and at least 8
// readable bytes follow them.
const std::uint8_t* fetch(std::uint64_t a, std::size_t n, std::size_t* got) {
    FileIndex& fx = file_index;
    ++fx.clock;
    for (Window& w : fx.windows) {
        if (!w.size || a < w.start) continue;
        std::uint64_t end = w.start + w.size;
        if (a + n <= end || (w.to_end && a <= end)) {
            w.used = fx.clock;
            *got = static_cast<std::size_t>(std::min<std::uint64_t>(n, end - a));
            return w.bytes + (a - w.start);
        }
    }
    Window& w = fx.windows[0].used <= fx.windows[1].used ? fx.windows[0] : fx.windows[1];
    w.start = a & ~static_cast<std::uint64_t>(4095);
    w.size = 0;
    while (w.size < kWindowBytes) {
        ssize_t r = pread(fx.fd, w.bytes + w.size, kWindowBytes - w.size,
                          static_cast<off_t>(w.start + w.size));
        if (r <= 0) break; // the end of the file, or a read error that the walk sees as one
        w.size += static_cast<std::size_t>(r);
    }
    w.to_end = w.size < kWindowBytes;
    std::memset(w.bytes + w.size, 0, kSlack);
    w.used = fx.clock;
    std::uint64_t end = w.start + w.size;
    *got = a >= end ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(n, end - a));
    return w.bytes + (a - w.start);
}

// Offset of the first "DGRB" at or after pos, or -1. The reference search
// steps back over partial matches, so it finds exactly the first occurrence.
long long find_marker(std::uint64_t pos) {
    // The first one of the file is known once any walk has searched for it.
    if (pos == 0) {
        const long long first = first_marker_offset(file_index.fd);
        if (first != kNotRegular) return first;
    }
    constexpr std::size_t kChunk = kWindowBytes / 2;
    for (;;) {
        std::size_t got = 0;
        const std::uint8_t* p = fetch(pos, kChunk, &got);
        if (got < 4) return -1;
        const void* hit = memmem(p, got, "DGRB", 4);
        if (hit) return static_cast<long long>(pos + (static_cast<const std::uint8_t*>(hit) - p));
        pos += got - 3;
    }
}

// decode_header, shortened when b begins as the last header decoded: the
// records of a field differ only in their tile bounds and packing, and a
// decoded header depends on nothing but its bytes.
bool decode_like_last(const std::uint8_t* b, GpvHeader& h, const char** error) {
    FileIndex& fx = file_index;
    if (fx.have_last && std::memcmp(b, fx.last_bytes, 24) == 0) {
        h = fx.last;
        decode_tile_bounds(b, h);
        return decode_packing(b, h, error);
    }
    fx.have_last = false;
    if (!decode_header(b, h, error)) return false;
    std::memcpy(fx.last_bytes, b, 24);
    fx.last = h;
    fx.have_last = true;
    return true;
}

// ---------------------------------------------------------------- plans

// Takes the walk over one more block (or to its end).
void extend(Plan& plan) {
    if (plan.complete) return;
    const std::uint64_t file_bytes = static_cast<std::uint64_t>(file_index.st.st_size);
    const std::uint32_t block = plan.blocks;
    long long m = find_marker(plan.pos);
    std::size_t got = 0;
    const std::uint8_t* b = m < 0 ? nullptr : fetch(static_cast<std::uint64_t>(m) + 4, 4, &got);
    if (got < 4) {
        plan.complete = true;
        return;
    }
    int remaining = static_cast<int>(read_u16be(b));
    // Until a record is read, whether one is depends on the first data length.
    if (!plan.started) {
        if (remaining < plan.data_length + 44)
            plan.lo = std::max(plan.lo, remaining - 43);
        else
            plan.hi = remaining - 44;
    }
    std::uint64_t cur = static_cast<std::uint64_t>(m) + 8;
    std::uint64_t last = plan.last_record.empty() ? kNoRecord : plan.last_record.back();
    GpvHeader h{};
    while (remaining >= plan.data_length + 44) {
        plan.started = true;
        b = fetch(cur, 44, &got);
        if (got < 44) {
            plan.end_block = block;
            break;
        }
        const char* error = nullptr;
        if (!decode_like_last(b, h, &error)) {
            plan.end = End::Refused;
            plan.end_offset = cur, plan.end_block = block;
            break;
        }
        plan.data_length = h.data_length;
        if (cur + 44 + static_cast<std::uint64_t>(h.data_length) > file_bytes) {
            plan.end = End::ShortData;
            plan.end_offset = cur, plan.end_block = block;
            break;
        }
        FieldRecords& field = plan.fields[field_key(h.level, h.item_code)];
        if (field.records.empty()) {
            // Room for the tiles that cover the grid once, and a quarter
            // more for tiles cut by the grid's edges.
            field.grid_count = h.grid_count;
            int tiles = h.grid_count / std::max(h.tile_count, 1);
            field.records.reserve(std::min(tiles + tiles / 4 + 16, 1 << 16));
        }
        field.records.push_back({cur, block, h.tile_count});
        last = cur;
        remaining -= h.data_length + 44;
        cur += 44 + static_cast<std::uint64_t>(h.data_length);
    }
    plan.last_record.push_back(last);
    plan.blocks = block + 1;
    plan.pos = cur;
    if (plan.end_block != kNoBlock) plan.complete = true;
}

// Takes the walk as far as the extraction of a field needs it: to the end of
// the first whole block after which the field's matching tiles are complete,
// or to the walk's end.
void extend_for(Plan& plan, std::uint32_t key) {
    std::size_t k = 0;
    long long collected = 0, grid_count = 0;
    bool matched = false;
    std::uint32_t last_block = 0;
    for (;;) {
        auto it = plan.fields.find(key);
        if (it != plan.fields.end()) {
            const std::vector<RecordRef>& list = it->second.records;
            for (; k < list.size(); ++k) {
                const RecordRef& r = list[k];
                if (matched && collected >= grid_count && r.block > last_block) return;
                if (!matched) matched = true, grid_count = it->second.grid_count;
                collected += r.tile_count;
                last_block = r.block;
            }
        }
        if (matched && collected >= grid_count && last_block != plan.end_block) return;
        if (plan.complete) return;
        extend(plan);
    }
}

// The plan of the walk that starts from the data length d0. A plan that has
// read a record serves every d0 of its range; before that, only its own.
Plan& plan_for(int d0) {
    FileIndex& fx = file_index;
    for (auto& p : fx.plans)
        if (p->started ? p->lo <= d0 && d0 <= p->hi : p->d0 == d0) return *p;
    if (fx.plans.size() == kMaxPlans) fx.plans.erase(fx.plans.begin());
    auto plan = std::make_unique<Plan>();
    plan->d0 = plan->data_length = d0;
    fx.plans.push_back(std::move(plan));
    return *fx.plans.back();
}

bool same_time(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Makes the index describe the file behind f: kept while it is the same file
// with the same size and times, else started afresh. False when f is not a
// regular file that can be indexed.
bool refresh(std::FILE* f) {
    FileIndex& fx = file_index;
    int fd = f ? fileno(f) : -1;
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (!fx.region) {
        // One region for both windows, aligned and advised so that the system
        // may back it by one large page: each fresh 4 KiB page costs a fault.
        void* p = nullptr;
        if (posix_memalign(&p, kRegionBytes, kRegionBytes) != 0) return false;
        madvise(p, kRegionBytes, MADV_HUGEPAGE);
        fx.region = static_cast<std::uint8_t*>(p);
        fx.windows[0].bytes = fx.region;
        fx.windows[1].bytes = fx.region + kRegionBytes / 2;
    }
    if (fd == fx.fd && st.st_dev == fx.st.st_dev && st.st_ino == fx.st.st_ino &&
        st.st_size == fx.st.st_size && same_time(st.st_mtim, fx.st.st_mtim) &&
        same_time(st.st_ctim, fx.st.st_ctim))
        return true;
    forget_index();
    fx.fd = fd;
    fx.st = st;
    return true;
}

// Decodes the header at offset into h; false when it is refused or cut.
bool decode_at(std::uint64_t offset, GpvHeader& h, const char** error) {
    std::size_t got = 0;
    const std::uint8_t* b = fetch(offset, 44, &got);
    *error = "Error: file changed while read.";
    return got == 44 && decode_like_last(b, h, error);
}

} // namespace

void unpack_values(const std::uint8_t* data, long long bit_pos, int bits, int count, int* x) {
    const std::uint8_t* base = data + (bit_pos >> 3);
    std::uint64_t bit = static_cast<std::uint64_t>(bit_pos & 7);
    for (int q = 0; q < count; ++q, bit += static_cast<unsigned>(bits))
        x[q] = unpack_one(base, bit, bits);
}

bool index_file(std::FILE* f) {
    if (!refresh(f)) return false;
    Plan& plan = plan_for(header.data_length);
    while (!plan.complete)
        extend(plan);
    return true;
}

void forget_index() {
    FileIndex& fx = file_index;
    fx.fd = -1;
    fx.plans.clear();
    fx.have_last = false;
    for (Window& w : fx.windows) // the buffers are kept for the next file
        w.size = 0, w.start = 0, w.to_end = false;
}

int get_GPV_dat_indexed(std::FILE* f, int item, int level, int time_index, std::span<float> field) {
    if (!refresh(f)) return kIndexUnavailable;
    Plan& plan = plan_for(header.data_length);
    const bool named = item >= 0 && item <= 255;
    const std::uint32_t key = field_key(static_cast<std::int16_t>(level), named ? item : 0);
    if (named)
        extend_for(plan, key);
    else
        while (!plan.complete)
            extend(plan);
    float min_value = 1.0e32f, max_value = -1.0e32f;
    long long collected = 0;
    bool matched = false;
    GpvHeader target{}, h = header;
    const char* error = nullptr;

    static const std::vector<RecordRef> none;
    const std::vector<RecordRef>* list = &none;
    if (named) {
        auto it = plan.fields.find(key);
        if (it != plan.fields.end()) list = &it->second.records;
    }
    // The walk stops at the end of the first whole block after which the
    // field is complete; matching records of that block still count.
    std::uint32_t last_block = 0, stop_block = kNoBlock;
    for (const RecordRef& r : *list) {
        if (matched && collected >= target.grid_count && r.block > last_block) {
            stop_block = last_block;
            break;
        }
        std::size_t got = 0;
        const std::uint8_t* b = fetch(r.offset, 44, &got);
        std::size_t length = got == 44 ? read_u16be(b) : 0;
        b = fetch(r.offset, length, &got);
        if (length < 44 || got != length || !decode_like_last(b, h, &error)) {
            // The file changed between the check and the read: walk it as it is now.
            forget_index();
            return get_GPV_dat_walk(f, item, level, time_index, field);
        }
        if (!matched) {
            target = h;
            matched = true;
        }
        if (const char* e = tile_error(h, time_index, field.size())) {
            header = h;
            report("get_GPV_dat", e);
            return 0;
        }
        const long long p = time_index * (static_cast<long long>(h.tile_count) * h.bits_per_value);
        const std::uint8_t* base = b + 44 + (p >> 3);
        std::uint64_t bit = static_cast<std::uint64_t>(p & 7);
        const int bits = h.bits_per_value;
        const float ref = to_float(h.reference_value);
        const double scale = h.scale_factor;
        for (int j = h.row_first; j <= h.row_last; ++j) {
            float* row = field.data() + static_cast<std::size_t>(j) * h.grid_cols;
            for (int i = h.col_first; i <= h.col_last; ++i, bit += static_cast<unsigned>(bits)) {
                float v = to_float(ref + scale * unpack_one(base, bit, bits));
                row[i] = v;
                if (v < min_value) min_value = v;
                if (v > max_value) max_value = v;
            }
        }
        collected += h.tile_count;
        last_block = r.block;
    }
    if (stop_block == kNoBlock && matched && collected >= target.grid_count &&
        last_block < plan.end_block)
        stop_block = last_block;

    // Leave `header` as the last header the walk reads.
    bool readable = true;
    GpvHeader last = header;
    if (stop_block != kNoBlock) {
        readable = decode_at(plan.last_record[stop_block], last, &error);
    } else {
        if (!plan.last_record.empty() && plan.last_record.back() != kNoRecord)
            readable = decode_at(plan.last_record.back(), last, &error);
        if (readable && plan.end == End::ShortData)
            readable = decode_at(plan.end_offset, last, &error);
        if (readable && plan.end == End::Refused) {
            std::size_t got = 0;
            const std::uint8_t* b = fetch(plan.end_offset, 44, &got);
            if (got == 44 && !decode_header(b, last, &error)) {
                header = last;
                report("get_GPV_def", error);
                return 0;
            }
            readable = false;
        }
    }
    if (!readable) {
        forget_index();
        return get_GPV_dat_walk(f, item, level, time_index, field);
    }
    header = last;
    grid.min_value = min_value;
    grid.max_value = max_value;
    if (matched) set_model_grid(header, target.model_code, target.level);
    if (matched && collected == target.grid_count) return 1;
    report("get_GPV_dat", "Error: number of data not matched.");
    return 0;
}

} // namespace gpv
