// The three drawing primitives (pen, colour, filled rectangle) routed to the
// device families, the device scale, and the output buffers that shape the
// files: the 80-byte record, the PostScript line buffer and the 50-point
// PostScript and CGM paths.
#include "plot/core/state.h"
#include "plot/vector/vector.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace razidu {

int trunc_int(float v) {
    if (std::isnan(v)) return 0;
    return int(std::clamp(v, -1.0e9f, 1.0e9f));
}

namespace {

// Integer device coordinate: truncation of v + 0.5, kept in int range.
int round_unit(float v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -1.0e9f, 1.0e9f);
    return int(v + 0.5f);
}

int16_t round_cgm(float v) {
    return int16_t(std::clamp(round_unit(v), -32768, 32767));
}

int wrap_colour(int n) {
    return ((n % 256) + 256) % 256;
}

void write_stream(const void* bytes, size_t n) {
    if (g_plot.plot_stream && n > 0) std::fwrite(bytes, 1, n, g_plot.plot_stream);
}

// Appends v as "%*d" writes it (right-aligned in width columns, wider when
// it needs more) and one blank; returns the new end. A page writes tens of
// thousands of these.
char* put_int(char* p, int v, int width) {
    char digits[12];
    int k = 12;
    unsigned u = v < 0 ? 0u - unsigned(v) : unsigned(v);
    do {
        digits[--k] = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0) digits[--k] = '-';
    for (int pad = width - (12 - k); pad > 0; --pad)
        *p++ = ' ';
    std::memcpy(p, digits + k, size_t(12 - k));
    p += 12 - k;
    *p++ = ' ';
    return p;
}

// Device point of a plot point on PostScript and PDF: turned for a
// landscape page, y flipped otherwise.
void ps_device_point(float x, float y, float* dx, float* dy) {
    const PlotState& g = g_plot;
    const float s = g.device_scale;
    if (g.page_xmax > g.page_ymax) {
        *dx = y * s;
        *dy = x * s;
    } else {
        *dx = x * s;
        *dy = (float(g.page_ymax) - y) * s;
    }
}

void put_be16(uint8_t* p, int v) {
    p[0] = uint8_t((v >> 8) & 0xFF);
    p[1] = uint8_t(v & 0xFF);
}

} // namespace

// ------------------------------------------------------------ GKSL metafile

void gksl_number(float v, bool opcode) {
    char field[32];
    const int n = std::snprintf(field, sizeof field, opcode ? "%10.7f" : "%10.3f", double(v));
    put_record_bytes(field, n);
}

// ------------------------------------------------------------ device scale

void open_device() {
    PlotState& g = g_plot;
    const int d = g.device;
    const bool turned = g.page_xmax > g.page_ymax;
    const float xmax = float(g.page_xmax), ymax = float(g.page_ymax);
    if (is_postscript(d)) {
        float f = turned ? std::min(5600.0f / xmax, 3900.0f / ymax)
                         : std::min(3900.0f / xmax, 5600.0f / ymax);
        f = std::min(f, 2.0f);
        g.device_scale = 1.8571428f;
        g.ps.page_factor = f / 1.8571428f;
        write_ps_prolog(g.plot_stream);
    } else if (is_pdf(d)) {
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
    } else if (is_cgm(d)) {
        g.device_scale = 2.0f;
        cgm_begin(1);
    } else if (draws_in_memory(d)) {
        int status = 0;
        raster_open(g.page_xmax + 1, g.page_ymax + 1, &g.window_w, &g.window_h, g.window_size_mode,
                    &status);
        if (status != 0) {
            warning_plain(53);
            end_process(53, g.file_name, "not enough memory for the raster image");
        }
        const float w1 = float(g.window_w - 1), h1 = float(g.window_h - 1);
        const float f = std::min(w1 / xmax, h1 / ymax);
        g.device_scale = std::min(f, (turned ? w1 : h1) / 2969.0f);
    } else {
        // GKSL writes plot units; the other text and plotter devices of
        // this system discard their drawing.
        g.device_scale = 1.0f;
        if (is_gksl(d)) {
            gksl_number(0, true);
            gksl_number(xmax + 1, false);
            gksl_number(ymax + 1, false);
        }
    }
}

// ------------------------------------------------------------ primitives

void plot_pen(float x, float y, int pen) {
    PlotState& g = g_plot;
    const int d = g.device;
    ++g.vector_count;
    const float s = g.device_scale;
    if (draws_in_memory(d)) {
        const int px = round_unit(x * s), py = round_unit(y * s);
        if (pen == 2) raster_line(g.dev.raster_pen_x, g.dev.raster_pen_y, px, py);
        g.dev.raster_pen_x = px;
        g.dev.raster_pen_y = py;
    } else if (is_ps_or_pdf(d)) {
        float dx, dy;
        ps_device_point(x, y, &dx, &dy);
        if (is_pdf(d))
            pdf_path(dx, dy, pen);
        else
            ps_path_point(dx, dy, pen);
    } else if (is_cgm(d)) {
        cgm_path_point(x * s, (float(g.page_ymax) - y) * s, pen);
    } else if (is_gksl(d)) {
        gksl_number(pen == 2 ? 2 : 3, true);
        gksl_number(x * s, false);
        gksl_number(y * s, false);
    }
}

void device_colour(int n) {
    PlotState& g = g_plot;
    const int d = g.device;
    const uint32_t e = colour_entry(n);
    const int r = int((e >> 16) & 0xFF), gr = int((e >> 8) & 0xFF), b = int(e & 0xFF);
    if (draws_in_memory(d)) {
        raster_set_colour(wrap_colour(n));
    } else if (is_cgm(d)) {
        if (n == g.colour.current) return;
        cgm_path_point(0, 0, 999);
        const uint8_t bytes[6] = {0x50, 0x83, uint8_t(r), uint8_t(gr), uint8_t(b), 0x00};
        put_record_bytes(bytes, 6);
    } else if (is_postscript(d)) {
        ps_path_point(0, 0, 999);
        char words[64];
        char* w = put_int(put_int(put_int(words, r, 3), gr, 3), b, 3);
        *w++ = 'f', *w++ = ' ';
        put_ps_words(words, int(w - words));
    } else if (is_pdf(d)) {
        pdf_colour(r, gr, b, 0);
        pdf_colour(r, gr, b, 1);
    } else if (is_gksl(d)) {
        gksl_number(1, true);
        gksl_number(float(n), false);
        gksl_number(float(r), false);
        gksl_number(float(gr), false);
        gksl_number(float(b), false);
    }
    g.colour.current = n;
}

void fill_rect(float x1, float y1, float x2, float y2, int c) {
    PlotState& g = g_plot;
    const int d = g.device;
    x1 += float(g.line.origin_shift_x);
    x2 += float(g.line.origin_shift_x);
    y1 += float(g.line.origin_shift_y);
    y2 += float(g.line.origin_shift_y);
    const int* clip = g.line.clip_rect;
    x1 = std::max(x1, float(clip[0]));
    y1 = std::max(y1, float(clip[1]));
    x2 = std::min(x2, float(clip[2]));
    y2 = std::min(y2, float(clip[3]));
    if (x2 < x1 || y2 < y1) return;
    const float s = g.device_scale;
    if (is_ps_or_pdf(d)) {
        const uint32_t e = colour_entry(c);
        const int r = int((e >> 16) & 0xFF), gr = int((e >> 8) & 0xFF), b = int(e & 0xFF);
        float ax, ay, bx, by;
        if (g.page_xmax > g.page_ymax) {
            ax = y1, ay = x1, bx = y2, by = x2;
        } else {
            ax = x1, ay = float(g.page_ymax) - y1, bx = x2, by = float(g.page_ymax) - y2;
        }
        if (is_pdf(d)) {
            flush_polyline();
            pdf_colour(r, gr, b, 1);
            pdf_rect(ax * s, ay * s, (bx - ax + 1) * s, (by - ay + 1) * s);
        } else {
            char words[128];
            char* w = put_int(words, round_unit(ax * s), 5);
            w = put_int(w, round_unit(ay * s), 5);
            w = put_int(w, round_unit(bx * s), 5);
            w = put_int(w, round_unit(by * s), 5);
            w = put_int(put_int(put_int(w, r, 3), gr, 3), b, 3);
            *w++ = 'e', *w++ = ' ';
            put_ps_words(words, int(w - words));
        }
    } else if (is_cgm(d)) {
        // Filled by one serpentine stroke, lines 1.4 plot units apart: the
        // pen moves of plot_pen, without its device dispatch at every point.
        select_colour(wrap_colour(c));
        const float ymax = float(g.page_ymax);
        auto pen = [&](float x, float y, int p) {
            ++g.vector_count;
            cgm_path_point(x * s, (ymax - y) * s, p);
        };
        pen(x1, y1, 3);
        pen(x2, y1, 2);
        bool at_right = true;
        // Strokes outside the clip window draw nothing: a rectangle reaching
        // far above it starts near it, and the strokes end below it (also
        // where the step no longer changes a huge y).
        const float top = float(g_plot.line.clip_rect[1]), bottom = float(g_plot.line.clip_rect[3]);
        float y = y1 + 1.4f;
        if (top - y > 100000.0f) {
            const double k = std::floor((double(top) - y1) / 1.4) - 1;
            y = float(y1 + k * 1.4);
            at_right = std::fmod(k, 2.0) == 1.0;
        }
        for (; y <= y2 && y <= bottom + 1.4f && y + 1.4f > y; y += 1.4f) {
            const float near = at_right ? x2 : x1, far = at_right ? x1 : x2;
            pen(near, y, 2);
            pen(far, y, 2);
            at_right = !at_right;
        }
    } else if (draws_in_memory(d)) {
        flush_polyline();
        raster_fill_rect(round_unit(x1 * s), round_unit(y1 * s), round_unit(x2 * s),
                         round_unit(y2 * s), wrap_colour(c));
    } else if (is_gksl(d)) {
        flush_polyline();
        gksl_number(4, true);
        gksl_number(x1 * s, false);
        gksl_number(y1 * s, false);
        gksl_number(x2 * s, false);
        gksl_number(y2 * s, false);
        gksl_number(float(wrap_colour(c)), false);
    }
}

// ------------------------------------------------------------ output buffers

void put_record_bytes(const void* bytes, int n) {
    PlotState& g = g_plot;
    const char* p = static_cast<const char*>(bytes);
    if (n <= 0) return;
    if (int(g.record.size()) + n > g.record_length) {
        if (is_cgm(g.device)) {
            while (int(g.record.size()) + n > g.record_length) {
                const int room = g.record_length - int(g.record.size());
                g.record.append(p, size_t(room));
                write_stream(g.record.data(), g.record.size());
                g.record.clear();
                p += room;
                n -= room;
            }
        } else {
            g.record.push_back('\n');
            write_stream(g.record.data(), g.record.size());
            g.record.clear();
        }
    }
    g.record.append(p, size_t(n));
}

void write_pending_record() {
    PlotState& g = g_plot;
    if (g.record.empty()) return;
    if (is_cgm(g.device))
        g.record.resize(size_t(std::max(g.record_length, int(g.record.size()))), ' ');
    else
        g.record.push_back('\n');
    write_stream(g.record.data(), g.record.size());
    g.record.clear();
}

void put_ps_words(const char* text, int n) {
    PlotState& g = g_plot;
    if (n == -1) {
        g.record.push_back('\n');
        write_stream(g.record.data(), g.record.size());
        g.record.clear();
        return;
    }
    int start = 0;
    while (start < n) {
        int end = start;
        while (end < n && text[end] != ' ')
            ++end;
        if (end < n) ++end; // the piece ends with its blank
        const int len = end - start;
        const bool last = end >= n;
        if (!(len == 1 && text[start] == ' ' && !last)) {
            if (int(g.record.size()) + len > kRecordLength) {
                g.record.push_back('\n');
                write_stream(g.record.data(), g.record.size());
                g.record.clear();
            }
            g.record.append(text + start, size_t(len));
        }
        start = end;
    }
}

void ps_path_point(float x, float y, int pen) {
    DeviceBuffers& b = g_plot.dev;
    if (pen == 2) {
        if (b.ps_count == 0) {
            b.ps_x[0] = b.ps_last_x;
            b.ps_y[0] = b.ps_last_y;
            b.ps_count = 1;
        }
        b.ps_x[b.ps_count] = round_unit(x);
        b.ps_y[b.ps_count] = round_unit(y);
        if (++b.ps_count < kPathMax) return;
    }
    const int written = b.ps_count;
    if (written > 0) {
        char words[64];
        for (int i = 0; i < written; ++i) {
            char* w = put_int(put_int(words, b.ps_x[i], 5), b.ps_y[i], 5);
            *w++ = i == 0 ? 'u' : 'd', *w++ = ' ';
            put_ps_words(words, int(w - words));
        }
        put_ps_words("p ", 2);
    }
    if (pen == 999) {
        if (written > 0) {
            b.ps_last_x = b.ps_x[written - 1];
            b.ps_last_y = b.ps_y[written - 1];
        }
        b.ps_count = 0;
    } else {
        b.ps_x[0] = round_unit(x);
        b.ps_y[0] = round_unit(y);
        b.ps_count = 1;
    }
}

void cgm_path_point(float x, float y, int pen) {
    DeviceBuffers& b = g_plot.dev;
    if (pen == 2) {
        if (b.cgm_count == 0) {
            b.cgm_x[0] = b.cgm_last_x;
            b.cgm_y[0] = b.cgm_last_y;
            b.cgm_count = 1;
        }
        b.cgm_x[b.cgm_count] = round_cgm(x);
        b.cgm_y[b.cgm_count] = round_cgm(y);
        if (++b.cgm_count < kPathMax) return;
    }
    const int written = b.cgm_count;
    if (written > 0) {
        // POLYLINE, class 4 id 1, long form: header, length, points.
        uint8_t element[4 + 4 * kPathMax];
        element[0] = 0x40;
        element[1] = 0x3F;
        put_be16(element + 2, 4 * written);
        for (int i = 0; i < written; ++i) {
            put_be16(element + 4 + 4 * i, b.cgm_x[i]);
            put_be16(element + 6 + 4 * i, b.cgm_y[i]);
        }
        put_record_bytes(element, 4 + 4 * written);
    }
    if (pen == 999) {
        if (written > 0) {
            b.cgm_last_x = b.cgm_x[written - 1];
            b.cgm_last_y = b.cgm_y[written - 1];
        }
        b.cgm_count = 0;
    } else {
        b.cgm_x[0] = round_cgm(x);
        b.cgm_y[0] = round_cgm(y);
        b.cgm_count = 1;
    }
}

} // namespace razidu
