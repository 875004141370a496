// CGM writer, binary encoding: the metafile and picture header. LINE COLOUR
// and POLYLINE come from the dispatch, END PICTURE and END METAFILE from
// disfin; every byte goes through the 80-byte record buffer.
#include "plot/core/state.h"
#include "plot/vector/vector.h"

#include <algorithm>
#include <cmath>
#include <cassert>
#include <cstring>

namespace razidu {

namespace {

// Bytes handed to the record buffer by this header.
int g_written = 0;

void put_bytes(const uint8_t* b, int n) {
    put_record_bytes(b, n);
    g_written += n;
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
    g_written = 0;
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
    assert(g_written == expected);
    (void)expected;
}

} // namespace razidu
