// CGM writer, binary encoding: the metafile and picture header, LINE COLOUR,
// POLYLINE through the 50-point path buffer, END PICTURE and END METAFILE;
// every byte goes through the 80-byte record buffer, and the file is the
// element stream cut into 80-byte blocks, the last one padded with blanks.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"
#include "plot/vector/path_buffer.h"
#include "plot/vector/vector.h"

#include <algorithm>
#include <cmath>
#include <cassert>
#include <cstring>

namespace razidu {

namespace {

void put_bytes(const uint8_t* b, int n) {
    cgm_put_bytes(b, n);
    g_plot.cgm.written += n;
}

// 16-bit values go out high byte first whatever the machine's order.
void be16(int v) {
    const uint8_t b[2] = {uint8_t((v >> 8) & 0xFF), uint8_t(v & 0xFF)};
    put_bytes(b, 2);
}

// Element header word: class (4 bits), id (7 bits), length (5 bits).
void header(int cls, int id, int length) {
    be16(cls << 12 | id << 5 | length);
}

// Element with one string parameter, in long form: length word, count
// byte, characters, and a pad byte when the length is odd. Returns the
// element's size in bytes.
int string_element(int cls, int id, const char* text) {
    const int n = std::min(int(std::strlen(text)), 254);
    const int length = 1 + n;
    header(cls, id, 31);
    be16(length);
    const uint8_t count = uint8_t(n);
    put_bytes(&count, 1);
    put_bytes(reinterpret_cast<const uint8_t*>(text), n);
    if (length % 2) {
        const uint8_t pad = 0;
        put_bytes(&pad, 1);
    }
    return 4 + length + length % 2;
}

// VDC: 16-bit signed integers (a page too large for them is cut to their
// range).
int round_vdc(float v) {
    if (std::isnan(v)) return 0;
    return int(std::clamp(v + 0.5f, -32768.0f, 32767.0f));
}

} // namespace

void cgm_begin(int) {
    const PlotState& g = g_plot;
    g_plot.cgm.written = 0;
    int expected = 0;
    expected += string_element(0, 1, g.file_name); // BEGIN METAFILE

    header(1, 1, 2); // METAFILE VERSION
    be16(1);
    expected += 4;

    std::tm t{};
    file_date_time(&t);
    char source[16], date[48], description[192];
    std::snprintf(source, sizeof source, "%4.1f", double(kVersion));
    std::snprintf(date, sizeof date, "%04d%02d%02d", (t.tm_year + 1900) % 10000, t.tm_mon + 1,
                  t.tm_mday);
    const char q = '"';
    std::snprintf(description, sizeof description, "%c%s%c,%c%s%c,%c%s %s%c,%c%s%s%c,%c%s%c", q,
                  "ProfileId:CALS", q, q, "ProfileEd:1.0", q, q, "Source:RAZIDU", source, q, q,
                  "Date:", date, q, q, "ColourClass:colour", q);
    expected += string_element(1, 2, description); // METAFILE DESCRIPTION

    static const uint8_t kElementList[8] = {0x11, 0x66, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0x01};
    put_bytes(kElementList, 8);
    expected += 8;

    char picture[32];
    std::snprintf(picture, sizeof picture, "Picture %d", g.cgm.picture);
    expected += string_element(0, 3, picture); // BEGIN PICTURE

    header(2, 2, 2); // COLOUR SELECTION MODE: direct
    be16(1);
    header(2, 6, 8); // VDC EXTENT
    be16(0);
    be16(0);
    be16(round_vdc(float(g.page_xmax) * 2.0f));
    be16(round_vdc(float(g.page_ymax) * 2.0f));
    static const uint8_t kBackground[6] = {0x20, 0xE4, 0xFF, 0xFF, 0xFF, 0x00}; // white
    put_bytes(kBackground, 6);
    header(0, 4, 0); // BEGIN PICTURE BODY
    expected += 4 + 10 + 6 + 2;
    assert(g_plot.cgm.written == expected);
    (void)expected;
}

void cgm_put_bytes(const void* bytes, int n) {
    PlotState& g = g_plot;
    const char* p = static_cast<const char*>(bytes);
    if (n <= 0) return;
    while (int(g.record.size()) + n > g.record_length) {
        const int room = g.record_length - int(g.record.size());
        g.record.append(p, size_t(room));
        write_plot_stream(g.record.data(), g.record.size());
        g.record.clear();
        p += room;
        n -= room;
    }
    g.record.append(p, size_t(n));
}

namespace {

void put_be16(uint8_t* p, int v) {
    p[0] = uint8_t((v >> 8) & 0xFF);
    p[1] = uint8_t(v & 0xFF);
}

int16_t round_cgm(float v) {
    return int16_t(std::clamp(round_unit(v), -32768, 32767));
}

// POLYLINE, class 4 id 1, long form: header, length, points.
void write_polyline(const int* x, const int* y, int count) {
    uint8_t element[4 + 4 * kPathMax];
    element[0] = 0x40;
    element[1] = 0x3F;
    put_be16(element + 2, 4 * count);
    for (int i = 0; i < count; ++i) {
        put_be16(element + 4 + 4 * i, x[i]);
        put_be16(element + 6 + 4 * i, y[i]);
    }
    cgm_put_bytes(element, 4 + 4 * count);
}

// ------------------------------------------------------------ device operations

void cgm_open() {
    g_plot.device_scale = 2.0f;
    g_plot.cgm = CgmState{};
    cgm_begin(1);
}

void cgm_pen(float x, float y, int pen) {
    cgm_path_point(x, y, pen);
}

// LINE COLOUR, class 5 id 4, for a colour other than the one in force.
void cgm_colour(int n, int r, int g, int b) {
    if (n == g_plot.colour.current) return;
    cgm_path_point(0, 0, 999);
    const uint8_t bytes[6] = {0x50, 0x83, uint8_t(r), uint8_t(g), uint8_t(b), 0x00};
    cgm_put_bytes(bytes, 6);
}

// END PICTURE, END METAFILE, and the last record padded with blanks.
int cgm_finish() {
    PlotState& g = g_plot;
    pen_move_to(0, 0);
    cgm_path_point(0, 0, 999);
    static const uint8_t kEnd[4] = {0x00, 0xA0, 0x00, 0x40};
    cgm_put_bytes(kEnd, 4);
    g.line.pending_count = 0;
    if (!g.record.empty()) {
        g.record.resize(size_t(std::max(g.record_length, int(g.record.size()))), ' ');
        write_plot_stream(g.record.data(), g.record.size());
        g.record.clear();
    }
    return 1;
}

} // namespace

void cgm_path_point(float x, float y, int pen) {
    path_point(g_plot.cgm.path, round_cgm(x), round_cgm(y), pen, write_polyline);
}

// Rectangles are filled with strokes (null fill).
const DeviceOps kCgmOps = {
    PageAxes::FlipY, "wb",    cgm_open,   cgm_pen, cgm_colour, nullptr, 0,
    nullptr,         nullptr, cgm_finish, nullptr,
};

} // namespace razidu
