// PDF writer: one page as a PDF 1.3 file. Drawing operators are collected
// in content streams (deflated when compression is on, several streams when
// a page exceeds the buffer); at the end come the font objects, the page,
// the page tree, the catalog, the information object, the cross-reference
// table and the trailer. Every byte goes through pdf_write, which counts
// the file offset that the cross-reference table lists.
//
// A full compressed stream is deflated on a thread of its own while the
// page goes on; the streams reach the file whole and in their order, so the
// bytes are those of deflating each one in turn.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"
#include "plot/text/text.h"
#include "plot/axes/axes.h"
#include "plot/vector/vector.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <initializer_list>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <future>
#include <new>
#include <system_error>

#include <zlib.h>

namespace razidu {

namespace {

constexpr const char* kFontNames[kPdfFonts] = {
    "Times-Roman",
    "Times-Bold",
    "Times-Italic",
    "Times-BoldItalic",
    "Helvetica",
    "Helvetica-Bold",
    "Helvetica-Oblique",
    "Helvetica-BoldOblique",
    "Helvetica-Narrow",
    "Helvetica-Narrow-Bold",
    "Helvetica-Narrow-Oblique",
    "Helvetica-Narrow-BoldOblique",
    "NewCenturySchlbk-Roman",
    "NewCenturySchlbk-Italic",
    "NewCenturySchlbk-Bold",
    "NewCenturySchlbk-BoldItalic",
    "ZapfChancery-MediumItalic",
    "ZapfDingbats",
    "Courier",
    "Courier-Bold",
    "Courier-Oblique",
    "Courier-BoldOblique",
    "AvantGarde-Book",
    "AvantGarde-Demi",
    "AvantGarde-BookOblique",
    "AvantGarde-DemiOblique",
    "Bookman-Light",
    "Bookman-LightItalic",
    "Bookman-Demi",
    "Bookman-DemiItalic",
    "Palatino-Roman",
    "Palatino-Italic",
    "Palatino-Bold",
    "Palatino-BoldItalic",
    "Symbol",
};

// WinAnsi codes of the accented letters 127..186 of the hardware fonts, in
// the order of the PostScript re-encoding vector.
constexpr uint8_t kWinAnsi[60] = {
    196, 214, 220, 228, 246, 252, 223, 197, 216, 198, // 127 Adieresis .. 136 AE
    229, 248, 230, 209, 241, 199, 231, 203, 207, 235, // aring .. edieresis
    239, 193, 201, 205, 211, 218, 225, 233, 237, 243, // idieresis .. oacute
    250, 192, 200, 204, 210, 217, 224, 232, 236, 242, // uacute .. ograve
    249, 194, 202, 206, 212, 219, 226, 234, 238, 244, // ugrave .. ocircumflex
    251, 195, 227, 213, 245, 221, 253, 255, 161, 191, // ucircumflex .. questiondown
};

// Formatted text through pdf_write.
void put(const char* format, ...) __attribute__((format(printf, 1, 2)));
void put(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) pdf_write(text, std::min(n, int(sizeof text) - 1));
}

// A coordinate as written: finite and within what readers accept.
float coord(float v) {
    return std::isfinite(v) ? std::clamp(v, -1.0e7f, 1.0e7f) : 0.0f;
}

// Writes v as printf's "%.2f" does, without its cost: a float times 100 is
// exact in a double, so rint rounds as printf does (half to even on ties).
char* fixed2(char* out, float v) {
    const uint64_t m = uint64_t(std::rint(std::fabs(double(coord(v))) * 100.0));
    if (std::signbit(v) && std::isfinite(v)) *out++ = '-';
    out = std::to_chars(out, out + 12, m / 100).ptr;
    *out++ = '.';
    *out++ = char('0' + m / 10 % 10);
    *out++ = char('0' + m % 10);
    return out;
}

// One operator line: the numbers as "%.2f", blank-separated, then op.
void put_op(const char* prefix, std::initializer_list<float> numbers, const char* op) {
    char line[160];
    char* at = line;
    for (const char* c = prefix; *c;)
        *at++ = *c++;
    for (float v : numbers) {
        at = fixed2(at, v);
        *at++ = ' ';
    }
    for (const char* c = op; *c;)
        *at++ = *c++;
    *at++ = '\n';
    pdf_write(line, int(at - line));
}

// A colour component: "0 ", "1 " or "%5.3f " of c / 255.
const char* component(int c) {
    static char table[256][8];
    static bool ready = false;
    if (!ready) {
        for (int i = 0; i < 256; ++i)
            std::snprintf(table[i], sizeof table[i], "%5.3f ", i / 255.0);
        std::strcpy(table[0], "0 ");
        std::strcpy(table[255], "1 ");
        ready = true;
    }
    return table[std::clamp(c, 0, 255)];
}

// Memory for the writer's tables ran out in the middle of a page.
[[noreturn]] void out_of_memory() {
    warning_plain(53);
    end_process(53, g_plot.out.name.c_str(), "not enough memory for the PDF tables");
}

void grow_tables(int n) {
    PdfState& p = g_plot.pdf;
    if (n < int(p.object_offset.size())) return;
    try {
        const size_t size =
            p.object_offset.size() + 100 * size_t(1 + (n - p.object_offset.size()) / 100);
        p.object_offset.resize(size, 0);
        p.object_kind.resize(size, 0);
    } catch (const std::bad_alloc&) {
        out_of_memory();
    }
}

// The deflated bytes of n bytes at in; empty when zlib fails.
std::vector<uint8_t> deflate_content(const uint8_t* in, size_t n) {
    std::vector<uint8_t> out;
    try {
        out.resize(n + n / 100 + 13);
    } catch (const std::bad_alloc&) {
        return {};
    }
    z_stream z{};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return {};
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = uInt(n);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(rc == Z_STREAM_END ? z.total_out : 0);
    deflateEnd(&z);
    return out;
}

constexpr size_t kMaxPending = 4; // streams deflating at once (300,000 bytes each)

// Writes the oldest pending streams, waiting for their deflate, until at
// most `keep` remain. A stream whose deflate failed is written as it is.
void write_pending(size_t keep) {
    PdfState& p = g_plot.pdf;
    while (p.pending.size() > keep) {
        PdfPendingStream& s = p.pending.front();
        const std::vector<uint8_t> packed = s.packed.get();
        p.object_offset[size_t(s.object)] = p.offset;
        put("%d 0 obj\n", s.object);
        if (!packed.empty()) {
            put("<< /Length %d\n", int(packed.size()));
            pdf_write("/Filter /FlateDecode\n>>\nstream\n", -1);
            pdf_write(packed.data(), int(packed.size()));
        } else {
            put("<< /Length %d >>\n", int(s.content.size()));
            pdf_write("stream\n", -1);
            pdf_write(s.content.data(), int(s.content.size()));
        }
        pdf_write("endstream\nendobj\n", -1);
        p.pending.pop_front();
    }
}

// Object numbers of the tables: kind, the content-stream count, the next number.
void number_object(int n, int kind) {
    PdfState& p = g_plot.pdf;
    grow_tables(n);
    p.object_kind[size_t(n)] = uint8_t(kind);
    if (kind == 1) {
        ++p.content_count;
        p.last_content = n;
    }
    ++p.next_object;
}

void begin_content() {
    PdfState& p = g_plot.pdf;
    if (p.compress) {
        try {
            p.content.reserve(kPdfContentMax);
        } catch (const std::bad_alloc&) {
            write_pending(0);
            p.compress = 0; // written uncompressed with a length object
        }
    }
    if (p.compress) {
        // The object is written whole once its bytes are deflated.
        p.content_object = p.next_object;
        number_object(p.next_object, 1);
    } else {
        pdf_begin_object(p.next_object, 1);
        put("<< /Length %d 0 R >>\n", p.next_object);
        pdf_write("stream\n", -1);
        p.stream_start = p.offset;
    }
    p.content.clear();
    p.in_stream = 1;
}

void end_content() {
    PdfState& p = g_plot.pdf;
    p.in_stream = 0;
    if (p.compress) {
        write_pending(kMaxPending - 1);
        PdfPendingStream s{p.content_object, std::move(p.content), {}};
        p.content = {};
        const uint8_t* bytes = s.content.data(); // stays put when s is moved
        const size_t n = s.content.size();
        auto job = [bytes, n] { return deflate_content(bytes, n); };
        try {
            s.packed = std::async(std::launch::async, job);
        } catch (const std::system_error&) { // no thread: deflated when written
            s.packed = std::async(std::launch::deferred, job);
        }
        p.pending.push_back(std::move(s));
    } else {
        const int length = p.offset - p.stream_start;
        pdf_write("endstream\nendobj\n", -1);
        pdf_begin_object(p.next_object, 0);
        put("%d\nendobj\n", length);
    }
}

void close_path() {
    PdfState& p = g_plot.pdf;
    if (p.path_open) {
        pdf_write("S\n", 2);
        p.path_open = 0;
    }
}

void close_text() {
    PdfState& p = g_plot.pdf;
    if (p.text_open) {
        pdf_write("ET\n", 3);
        p.text_open = 0;
    }
}

void write_fonts() {
    PdfState& p = g_plot.pdf;
    for (int i = 0; i < kPdfFonts; ++i) {
        if (p.font_used[i] != 1) continue;
        pdf_begin_object(p.next_object, 10 + i);
        pdf_write("<< /Type /Font\n/Subtype /Type1\n", -1);
        put("/BaseFont /%s\n", kFontNames[i]);
        pdf_write("/Encoding /WinAnsiEncoding\n>>\nendobj\n", -1);
        p.font_used[i] = 2;
    }
}

void write_page() {
    PdfState& p = g_plot.pdf;
    pdf_begin_object(p.next_object, 2);
    pdf_write("<<\n/Type /Page\n", -1);
    put("/MediaBox [0 0 %d %d]\n", p.page_w, p.page_h);
    pdf_write("/Parent 2 0 R\n", -1);
    if (p.text_used) {
        pdf_write("/Resources << /ProcSet [/PDF /Text]\n/Font <<\n", -1);
        for (int n = 3; n < p.next_object; ++n)
            if (p.object_kind[size_t(n)] >= 10 && p.object_kind[size_t(n)] < 10 + kPdfFonts)
                put("/F%d %d 0 R\n", p.object_kind[size_t(n)] - 10 + 1, n);
        pdf_write(">>\n", -1);
    } else {
        pdf_write("/Resources << /ProcSet [/PDF]\n", -1);
    }
    pdf_write(">>\n", -1);
    if (p.content_count == 1) {
        put("/Contents %d 0 R\n", p.last_content);
    } else {
        pdf_write("/Contents [\n", -1);
        for (int n = p.first_content; n < p.next_object; ++n)
            if (p.object_kind[size_t(n)] == 1) put("%d 0 R\n", n);
        pdf_write("]\n", -1);
    }
    pdf_write(">>\nendobj\n", -1);
}

// Page tree, catalog, information object, cross-reference table, trailer.
void write_final_part() {
    PdfState& p = g_plot.pdf;
    p.object_offset[2] = p.offset;
    pdf_write("2 0 obj\n<< /Type /Pages /Kids [\n", -1);
    int pages = 0;
    for (int n = 3; n < p.next_object; ++n)
        if (p.object_kind[size_t(n)] == 2) {
            put("%d 0 R\n", n);
            ++pages;
        }
    put("] /Count %d\n>>\nendobj\n", pages);

    p.object_offset[1] = p.offset;
    pdf_write("1 0 obj\n<< /Type /Catalog /Pages 2 0 R\n>>\nendobj\n", -1);

    const int info = p.next_object;
    pdf_begin_object(info, 0);
    std::tm t{};
    file_date_time(&t);
    put("<< /CreationDate (D:%04d%02d%02d%02d%02d%02d)\n", t.tm_year + 1900, t.tm_mon + 1,
        t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    pdf_write("/Producer (RAZIDU 7.6)\n>>\nendobj\n", -1);

    const int xref = p.offset;
    put("xref\n0 %d\n", p.next_object);
    pdf_write("0000000000 65535 f \n", 20);
    for (int n = 1; n < p.next_object; ++n)
        put("%010d 00000 n \n", p.object_offset[size_t(n)]);
    pdf_write("trailer\n", -1);
    put("<< /Size %d /Root 1 0 R /Info %d 0 R\n", p.next_object, info);
    put(">>\nstartxref\n%d\n%%%%EOF\n", xref);
}

} // namespace

void pdf_write(const void* bytes, int n) {
    PdfState& p = g_plot.pdf;
    if (n < 0) n = int(std::strlen(static_cast<const char*>(bytes)));
    if (n == 0 || !p.stream) return;
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    if (p.compress && p.in_stream) {
        if (p.content.size() + size_t(n) > size_t(kPdfContentMax) && !p.content.empty()) {
            end_content();
            begin_content();
        }
        if (p.compress) { // the new stream may have fallen back to the file
            p.content.insert(p.content.end(), b, b + n);
            return;
        }
    }
    std::fwrite(b, 1, size_t(n), p.stream);
    p.offset += n;
}

void pdf_begin_object(int n, int kind) {
    PdfState& p = g_plot.pdf;
    number_object(n, kind);
    p.object_offset[size_t(n)] = p.offset;
    put("%d 0 obj\n", n);
}

void pdf_open(const char* file, int w, int h, int mode, int* status) {
    PdfState& p = g_plot.pdf;
    p.pending.clear();
    p = PdfState{};
    p.compress = mode % 2;
    try {
        p.object_offset.assign(100, 0);
        p.object_kind.assign(100, 0);
    } catch (const std::bad_alloc&) {
        *status = -2;
        return;
    }
    p.stream = output_open(file, "wb");
    if (!p.stream) {
        *status = -1;
        return;
    }
    p.page_w = w;
    p.page_h = h;
    p.open = 1;
    pdf_write("%PDF-1.3\n", -1);
    begin_content();
    pdf_write("0.709 w\n2 J\n2 j\n", -1);
    *status = 0;
}

void pdf_path(float x, float y, int op) {
    PdfState& p = g_plot.pdf;
    if (!p.open) return;
    close_text();
    if (op != 2) close_path();
    if (op == 2 || op == 3) {
        put_op("", {x, y}, op == 2 ? "l" : "m");
        p.path_open = 1;
    } else if (op == 1) {
        end_content();
        write_pending(0);
        write_fonts();
        write_page();
        write_final_part();
        // The cross-reference table is only right if every byte reached
        // the file; otherwise the file does not take its name (warning 36).
        errno = 0;
        if (std::fflush(p.stream) != 0 || std::ftell(p.stream) != long(p.offset))
            output_failed(errno ? errno : EIO);
        finish_output();
        const int w = p.page_w, h = p.page_h;
        p = PdfState{}; // frees the tables; the media box stays readable
        p.page_w = w;
        p.page_h = h;
    }
}

void pdf_colour(int r, int g, int b, int which) {
    PdfState& p = g_plot.pdf;
    if (!p.open) return;
    close_path();
    close_text();
    if (which == 1) {
        if (r == p.fill_rgb[0] && g == p.fill_rgb[1] && b == p.fill_rgb[2]) return;
        p.fill_rgb[0] = r;
        p.fill_rgb[1] = g;
        p.fill_rgb[2] = b;
    }
    for (int c : {r, g, b})
        pdf_write(component(c), -1);
    pdf_write(which == 1 ? "rg\n" : "RG\n", 3);
}

void pdf_rect(float x, float y, float w, float h) {
    if (!g_plot.pdf.open) return;
    put_op("", {x, y, w, h}, "re\nf");
}

void pdf_text(int code, const float m[6], int angle, int slot, float size) {
    PdfState& p = g_plot.pdf;
    if (!p.open || slot < 0 || slot >= kPdfFonts) return;
    const int points = int(size + 0.5f);
    close_path();
    if (p.text_open && (slot != p.text_slot || points != p.text_size)) close_text();
    p.text_slot = slot;
    p.text_size = points;
    p.text_used = 1;
    if (p.font_used[slot] == 0) p.font_used[slot] = 1;
    if (!p.text_open) {
        put("BT\n/F%d %d Tf\n", slot + 1, points);
        p.text_open = 1;
    }
    if (angle == 0)
        put_op("1 0 0 1 ", {m[4], m[5]}, "Tm");
    else if (angle == 90)
        put_op("0 1 -1 0 ", {m[4], m[5]}, "Tm");
    else
        put_op("", {m[0], m[1], m[2], m[3], m[4], m[5]}, "Tm");
    int c = code & 0xFF;
    const bool mapped = c >= 127; // written in octal, a blank for codes above 186 too
    if (c >= 127 && c <= 186)
        c = kWinAnsi[c - 127];
    else if (c > 186)
        c = 32;
    if (mapped || c < 32 || c == '(' || c == ')' || c == '\\')
        put("(\\%o) Tj\n", c);
    else
        put("(%c) Tj\n", c);
}

// ------------------------------------------------------------ device operations

namespace {

// The PDF page: the plot fitted into the printable area in points, never
// larger than 0.1 mm per plot unit; black unless the background is reversed.
void pdf_device_open() {
    PlotState& g = g_plot;
    const bool turned = page_turned();
    const float xmax = float(g.page_xmax), ymax = float(g.page_ymax);
    const float w_pt = 3900.0f * 72.0f * 0.5f / 254.0f, h_pt = 5600.0f * 72.0f * 0.5f / 254.0f;
    float f = turned ? std::min(h_pt / xmax, w_pt / ymax) : std::min(w_pt / xmax, h_pt / ymax);
    f = std::min(f, 72.0f / 254.0f);
    g.device_scale = f;
    const float w = (turned ? ymax : xmax) * f + 1, h = (turned ? xmax : ymax) * f + 1;
    int status = 0;
    pdf_open(g.file_name, int(w), int(h), 1, &status);
    if (status == -1) {
        const int err = errno;
        warning_plain(36);
        end_process(36, g.file_name, std::strerror(err));
    }
    if (status == -2) {
        warning_plain(53);
        end_process(53, g.file_name, "not enough memory for the PDF tables");
    }
    if (g.screen_mode != 2) {
        pdf_colour(0, 0, 0, 1);
        pdf_rect(0, 0, w, h);
    }
}

void pdf_pen(float x, float y, int pen) {
    pdf_path(x, y, pen);
}

void pdf_device_colour(int, int r, int g, int b) {
    pdf_colour(r, g, b, 0);
    pdf_colour(r, g, b, 1);
}

void pdf_fill(float ax, float ay, float bx, float by, int c) {
    const float s = g_plot.device_scale;
    const uint32_t e = colour_entry(c);
    flush_polyline();
    pdf_colour(int((e >> 16) & 0xFF), int((e >> 8) & 0xFF), int(e & 0xFF), 1);
    pdf_rect(ax * s, ay * s, (bx - ax + 1) * s, (by - ay + 1) * s);
}

void pdf_polygon(const float* x, const float* y, int n, int c) {
    const float s = g_plot.device_scale;
    const uint32_t e = colour_entry(c);
    flush_polyline();
    pdf_colour(int((e >> 16) & 0xFF), int((e >> 8) & 0xFF), int(e & 0xFF), 1);
    for (int k = 0; k < n; ++k)
        put_op("", {x[k] * s, y[k] * s}, k == 0 ? "m" : k + 1 < n ? "l" : "l\nh f");
}

// One character at the text position, turned with the page.
void pdf_character(int k, float, int size) {
    const PlotState& g = g_plot;
    const TextState& t = g.text;
    float dx, dy;
    device_point(t.x, t.y, &dx, &dy);
    const int degrees = device_text_angle();
    const float r = float(degrees) * 0.017453292f;
    const float c = std::cos(r), s = std::sin(r);
    const float m[6] = {c, s, -s, c, dx, dy};
    // The same em as PostScript, whose prolog scales the font to `size`
    // of its units, 1.857143 * 0.14226378 of them to the plot unit; the
    // PDF font size is that em in points.
    const float em_points = float(size) / (1.857143f * 0.14226378f) * g.device_scale;
    pdf_text(k, m, degrees, t.ps_font_index, em_points);
}

int pdf_finish() {
    pdf_path(0, 0, 1);
    return 1;
}

} // namespace

// The font size of the hardware fonts is taken at PostScript's device scale.
const DeviceOps kPdfOps = {
    PageAxes::TurnLandscape, nullptr,    pdf_device_open, pdf_pen,
    pdf_device_colour,       pdf_fill,   1.857143f,       nullptr,
    pdf_character,           pdf_finish, nullptr,         pdf_polygon,
};

} // namespace razidu
