// Draws KIVAR's start-up picture (323 x 246) and window icon (48 x 48) and
// writes them as PNG files: a weather-map-like colour field over the model
// area with a stylised coastline, and the program's name in stroke letters.
//
//   make_artwork OUTDIR [MAP_DAT]
//       writes OUTDIR/startup.png and OUTDIR/kivar.png; with MAP_DAT (the
//       program's coastline file) the start-up picture draws that coastline
//       the way the program's maps do, else hand-simplified outlines.
//
// No fonts are used, so the pictures are the same on every machine.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Pt {
    double x, y;
};
struct Rgb {
    double r, g, b;
};
Rgb mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// ------------------------------------------------------------------ map data
// Hand-simplified outlines (longitude, latitude) of the land in the area.
const std::vector<std::vector<Pt>> land = {
    // Hokkaido
    {{141.2, 45.4},
     {142.0, 45.5},
     {143.5, 44.2},
     {145.3, 44.3},
     {145.6, 43.3},
     {144.3, 42.9},
     {143.3, 42.0},
     {141.8, 42.6},
     {140.9, 42.0},
     {140.0, 41.4},
     {140.1, 42.3},
     {139.8, 42.6},
     {140.4, 43.3},
     {141.4, 43.4},
     {141.6, 44.3}},
    // Honshu
    {{140.9, 41.5}, {141.5, 41.4}, {141.5, 40.5}, {142.0, 39.6}, {141.6, 38.3}, {141.0, 37.9},
     {140.9, 36.9}, {140.6, 36.2}, {140.8, 35.7}, {140.3, 35.1}, {139.8, 35.0}, {139.6, 35.3},
     {139.1, 35.1}, {138.8, 34.6}, {138.2, 34.6}, {137.0, 34.6}, {136.8, 34.3}, {136.2, 33.9},
     {135.8, 33.5}, {135.1, 33.9}, {135.3, 34.6}, {134.2, 34.7}, {133.0, 34.4}, {132.4, 34.2},
     {131.4, 34.0}, {131.0, 34.3}, {131.4, 34.5}, {132.6, 35.4}, {133.3, 35.5}, {134.5, 35.6},
     {135.5, 35.5}, {136.0, 35.7}, {136.7, 36.8}, {137.3, 36.8}, {137.0, 37.1}, {137.4, 37.4},
     {138.5, 37.3}, {139.4, 38.1}, {139.8, 39.0}, {140.0, 39.9}, {139.9, 40.6}, {140.3, 41.2}},
    // Shikoku
    {{132.5, 33.0},
     {132.9, 33.9},
     {133.6, 34.4},
     {134.6, 34.2},
     {134.7, 33.8},
     {134.2, 33.4},
     {133.6, 33.4},
     {133.0, 32.7}},
    // Kyushu
    {{129.7, 33.2},
     {130.3, 33.6},
     {130.9, 33.9},
     {131.6, 33.6},
     {131.9, 33.0},
     {131.7, 32.5},
     {131.4, 31.5},
     {131.0, 31.1},
     {130.6, 31.2},
     {130.2, 31.3},
     {130.3, 31.9},
     {130.6, 32.6},
     {129.9, 32.8}},
    // Okinawa
    {{127.6, 26.1}, {127.9, 26.4}, {128.3, 26.9}, {128.1, 26.9}, {127.7, 26.5}},
    // Taiwan
    {{120.1, 23.0},
     {120.7, 22.0},
     {121.0, 22.5},
     {121.5, 23.5},
     {121.9, 25.0},
     {121.5, 25.3},
     {120.8, 24.7},
     {120.2, 23.6}},
    // Sakhalin
    {{141.9, 46.0},
     {142.7, 46.7},
     {143.5, 46.3},
     {143.2, 47.5},
     {143.0, 49.2},
     {144.5, 49.0},
     {143.3, 50.6},
     {142.1, 50.6},
     {142.2, 48.5},
     {142.0, 47.0}},
    // the continent: China, Korea and the Russian Far East
    {{119.0, 27.0}, {120.0, 27.5}, {121.0, 28.5}, {121.9, 29.9}, {121.0, 30.6}, {121.9, 31.0},
     {120.9, 32.5}, {120.3, 34.3}, {119.6, 35.0}, {120.3, 36.0}, {121.0, 36.6}, {122.5, 36.9},
     {121.5, 37.5}, {120.7, 37.8}, {119.0, 37.3}, {119.0, 39.0}, {121.2, 38.8}, {122.2, 39.5},
     {121.5, 40.8}, {122.3, 40.5}, {124.3, 39.9}, {125.0, 39.5}, {125.4, 38.7}, {124.7, 38.1},
     {126.1, 37.7}, {126.6, 37.0}, {126.2, 36.0}, {126.5, 35.0}, {126.3, 34.5}, {127.5, 34.7},
     {128.5, 34.9}, {129.3, 35.3}, {129.5, 36.0}, {129.4, 37.0}, {128.9, 37.7}, {128.3, 38.6},
     {127.5, 39.6}, {128.4, 40.0}, {129.7, 40.9}, {129.9, 42.4}, {130.7, 42.3}, {131.8, 43.0},
     {133.1, 42.8}, {135.0, 43.6}, {137.3, 45.3}, {138.5, 46.6}, {139.5, 48.0}, {140.4, 49.5},
     {140.6, 51.0}, {119.0, 51.0}},
};

bool inside(const std::vector<Pt>& poly, Pt p) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Pt &a = poly[i], &b = poly[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

double seg_dist(Pt p, Pt a, Pt b) {
    double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0.0;
    double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
    return std::sqrt(ex * ex + ey * ey);
}

// The coastline file: 8535 longitudes, then 8535 latitudes, little-endian
// floats; a longitude below -990 ends a polyline, which is drawn when it has
// more than five points.
std::vector<std::vector<Pt>> read_coastline(const char* path) {
    constexpr int kPoints = 8535;
    std::vector<float> v(2 * kPoints);
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return {};
    std::vector<uint8_t> raw(v.size() * 4);
    size_t got = std::fread(raw.data(), 1, raw.size(), f);
    std::fclose(f);
    if (got != raw.size()) return {};
    for (size_t i = 0; i < v.size(); ++i) {
        uint32_t u = raw[4 * i] | raw[4 * i + 1] << 8 | raw[4 * i + 2] << 16 |
                     static_cast<uint32_t>(raw[4 * i + 3]) << 24;
        std::memcpy(&v[i], &u, 4);
    }
    std::vector<std::vector<Pt>> lines;
    std::vector<Pt> run;
    for (int k = 0; k < kPoints; ++k) {
        if (v[k] < -990.0f) {
            if (run.size() > 5) lines.push_back(run);
            run.clear();
        } else {
            run.push_back({v[k], v[kPoints + k]});
        }
    }
    return lines;
}

// ------------------------------------------------------------------ letters
// Stroke letters on a 4 x 6 grid (x right, y down), polylines per letter.
using Stroke = std::vector<Pt>;
std::vector<Stroke> letter(char c) {
    switch (c) {
    case 'K':
        return {{{0, 0}, {0, 6}}, {{4, 0}, {0, 3.6}}, {{1.3, 2.6}, {4, 6}}};
    case 'I':
        return {{{2, 0}, {2, 6}}};
    case 'V':
        return {{{0, 0}, {2, 6}, {4, 0}}};
    case 'A':
        return {{{0, 6}, {2, 0}, {4, 6}}, {{0.7, 4}, {3.3, 4}}};
    case 'R':
        return {{{0, 6}, {0, 0}, {3, 0}, {4, 0.8}, {4, 2.2}, {3, 3}, {0, 3}}, {{2.2, 3}, {4, 6}}};
    case 'G':
        return {
            {{4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 3.3}, {2.4, 3.3}}};
    case 'P':
        return {{{0, 6}, {0, 0}, {3, 0}, {4, 0.8}, {4, 2.2}, {3, 3}, {0, 3}}};
    case 'E':
        return {{{4, 0}, {0, 0}, {0, 6}, {4, 6}}, {{0, 3}, {3, 3}}};
    case 'W':
        return {{{0, 0}, {1, 6}, {2, 2.2}, {3, 6}, {4, 0}}};
    default:
        return {};
    }
}

struct Text {
    std::vector<std::pair<Pt, Pt>> segs;
    double width; // stroke width in pixels
};

// Lays out a word at (x, y) (top left) with letters `h` pixels high.
Text layout(const std::string& word, double x, double y, double h, double width) {
    Text t{{}, width};
    double s = h / 6, advance = 4 * s + 1.6 * s;
    for (char c : word) {
        for (const Stroke& st : letter(c))
            for (size_t i = 1; i < st.size(); ++i)
                t.segs.push_back({{x + st[i - 1].x * s, y + st[i - 1].y * s},
                                  {x + st[i].x * s, y + st[i].y * s}});
        x += c == ' ' ? 3 * s : advance;
    }
    return t;
}

double text_dist(const Text& t, Pt p) {
    double d = 1e9;
    for (const auto& [a, b] : t.segs)
        d = std::min(d, seg_dist(p, a, b));
    return d;
}

// ------------------------------------------------------------------ colours
// A temperature-like field: warm in the south, cold in the north, with waves.
double field(double lon, double lat) {
    return 1.0 - (lat - 20) / 32 + 0.10 * std::sin(lon * 0.35 + lat * 0.12) +
           0.06 * std::cos(lon * 0.9 - lat * 0.5);
}

Rgb palette(double v) {
    static const std::array<Rgb, 6> stops = {{{0.16, 0.28, 0.62},
                                              {0.20, 0.55, 0.80},
                                              {0.36, 0.76, 0.74},
                                              {0.62, 0.84, 0.50},
                                              {0.96, 0.84, 0.38},
                                              {0.94, 0.52, 0.30}}};
    v = std::clamp(v, 0.0, 1.0) * (stops.size() - 1);
    size_t i = std::min(static_cast<size_t>(v), stops.size() - 2);
    return mix(stops[i], stops[i + 1], v - i);
}

// ------------------------------------------------------------------ images
struct Image {
    int w, h;
    bool alpha;
    std::vector<uint8_t> px;
};

struct View {
    double lon0, lon1, lat0, lat1; // the map area shown
    int w, h;
    Pt geo(double x, double y) const {
        return {lon0 + (lon1 - lon0) * x / w, lat1 - (lat1 - lat0) * y / h};
    }
};

// The colour of one sample of the map: field, land and coastline, and the
// grid lines every five degrees.
Rgb map_colour(const View& v, double x, double y, double coast_px, bool outlines = true) {
    Pt g = v.geo(x, y);
    // Colour cells of half a degree, like the program's maps.
    double clon = std::floor(g.x * 2) / 2 + 0.25, clat = std::floor(g.y * 2) / 2 + 0.25;
    Rgb c = palette(field(clon, clat));
    bool on_land = false;
    double coast = 1e9;
    double deg_per_px = (v.lon1 - v.lon0) / v.w;
    for (const auto& poly : outlines ? land : std::vector<std::vector<Pt>>{}) {
        if (inside(poly, g)) on_land = true;
        for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
            coast = std::min(coast, seg_dist(g, poly[j], poly[i]) / deg_per_px);
    }
    if (on_land) c = mix(c, {1, 1, 1}, 0.55);
    double gx = std::fabs(std::remainder(g.x, 5.0)) / deg_per_px;
    double gy = std::fabs(std::remainder(g.y, 5.0)) / deg_per_px;
    if (std::min(gx, gy) < 0.5) c = mix(c, {1, 1, 1}, 0.35);
    if (coast < coast_px) c = mix(c, {0.08, 0.12, 0.25}, 0.9);
    return c;
}

void put(Image& im, int x, int y, Rgb c, double a = 1) {
    int n = im.alpha ? 4 : 3;
    uint8_t* p = &im.px[(static_cast<size_t>(y) * im.w + x) * n];
    p[0] = static_cast<uint8_t>(std::lround(std::clamp(c.r, 0.0, 1.0) * 255));
    p[1] = static_cast<uint8_t>(std::lround(std::clamp(c.g, 0.0, 1.0) * 255));
    p[2] = static_cast<uint8_t>(std::lround(std::clamp(c.b, 0.0, 1.0) * 255));
    if (im.alpha) p[3] = static_cast<uint8_t>(std::lround(std::clamp(a, 0.0, 1.0) * 255));
}

constexpr int kSamples = 4; // per axis, for smooth edges

// Marks the samples (kSamples per pixel and axis) that lie within `radius`
// pixels of the coastline.
std::vector<uint8_t> coast_mask(const View& v, const std::vector<std::vector<Pt>>& lines,
                                double radius) {
    int sw = v.w * kSamples, sh = v.h * kSamples;
    std::vector<uint8_t> mask(static_cast<size_t>(sw) * sh);
    double r = radius * kSamples;
    auto to_sample = [&](Pt g) {
        return Pt{(g.x - v.lon0) / (v.lon1 - v.lon0) * sw, (v.lat1 - g.y) / (v.lat1 - v.lat0) * sh};
    };
    for (const auto& line : lines)
        for (size_t i = 1; i < line.size(); ++i) {
            Pt a = to_sample(line[i - 1]), b = to_sample(line[i]);
            int x0 = static_cast<int>(std::floor(std::min(a.x, b.x) - r)),
                x1 = static_cast<int>(std::ceil(std::max(a.x, b.x) + r));
            int y0 = static_cast<int>(std::floor(std::min(a.y, b.y) - r)),
                y1 = static_cast<int>(std::ceil(std::max(a.y, b.y) + r));
            for (int y = std::max(y0, 0); y <= std::min(y1, sh - 1); ++y)
                for (int x = std::max(x0, 0); x <= std::min(x1, sw - 1); ++x)
                    if (seg_dist({x + 0.5, y + 0.5}, a, b) <= r)
                        mask[static_cast<size_t>(y) * sw + x] = 1;
        }
    return mask;
}

Image startup_picture(const std::vector<std::vector<Pt>>& coast) {
    Image im{323, 246, false, std::vector<uint8_t>(323 * 246 * 3)};
    View v{120, 150, 22, 50, im.w, im.h};
    bool real_coast = !coast.empty();
    std::vector<uint8_t> mask = real_coast ? coast_mask(v, coast, 0.55) : std::vector<uint8_t>{};
    Text title = layout("KIVAR", 146, 158, 36, 6);
    Text sub = layout("GPV VIEWER", 150, 206, 12, 2.2);
    for (int y = 0; y < im.h; ++y)
        for (int x = 0; x < im.w; ++x) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    double fx = x + (sx + 0.5) / kSamples, fy = y + (sy + 0.5) / kSamples;
                    Rgb c = map_colour(v, fx, fy, 0.7, !real_coast);
                    if (real_coast &&
                        mask[static_cast<size_t>(y * kSamples + sy) * im.w * kSamples +
                             x * kSamples + sx])
                        c = {0.08, 0.12, 0.25};
                    Pt p{fx, fy};
                    // Letters: a soft shadow, then white strokes.
                    if (text_dist(title, {p.x - 2, p.y - 2}) < title.width / 2 + 1)
                        c = mix(c, {0.05, 0.08, 0.2}, 0.55);
                    if (text_dist(title, p) < title.width / 2) c = {1, 1, 1};
                    if (text_dist(sub, p) < sub.width / 2) c = {0.05, 0.1, 0.3};
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            double n = kSamples * kSamples;
            put(im, x, y, {sum.r / n, sum.g / n, sum.b / n});
        }
    return im;
}

Image icon_picture() {
    const int size = 48;
    Image im{size, size, true, std::vector<uint8_t>(size * size * 4)};
    View v{128, 146, 29, 47, size, size}; // Japan fills the icon
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Rgb sum{0, 0, 0};
            double cover = 0;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    double fx = x + (sx + 0.5) / kSamples, fy = y + (sy + 0.5) / kSamples;
                    // A rounded square with corners of radius 9.
                    double r = 9, cx = std::clamp(fx, r, size - r),
                           cy = std::clamp(fy, r, size - r);
                    if (std::hypot(fx - cx, fy - cy) > r) continue;
                    Rgb c = map_colour(v, fx, fy, 0.9);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    cover += 1;
                }
            if (cover > 0)
                put(im, x, y, {sum.r / cover, sum.g / cover, sum.b / cover},
                    cover / (kSamples * kSamples));
            else
                put(im, x, y, {0, 0, 0}, 0);
        }
    return im;
}

// ------------------------------------------------------------------ PNG
void be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<uint8_t>(v >> s));
}

void chunk(std::vector<uint8_t>& out, const char* tag, const std::vector<uint8_t>& data) {
    be32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), tag, tag + 4);
    out.insert(out.end(), data.begin(), data.end());
    uint32_t crc = crc32(0, &out[start], static_cast<uInt>(out.size() - start));
    be32(out, crc);
}

bool write_png(const Image& im, const std::string& path) {
    int n = im.alpha ? 4 : 3;
    std::vector<uint8_t> raw;
    for (int y = 0; y < im.h; ++y) {
        raw.push_back(0); // no filter
        auto row = im.px.begin() + static_cast<long>(y) * im.w * n;
        raw.insert(raw.end(), row, row + im.w * n);
    }
    uLongf zsize = compressBound(raw.size());
    std::vector<uint8_t> z(zsize);
    if (compress2(z.data(), &zsize, raw.data(), raw.size(), 9) != Z_OK) return false;
    z.resize(zsize);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> ihdr;
    be32(ihdr, im.w);
    be32(ihdr, im.h);
    ihdr.insert(ihdr.end(), {8, static_cast<uint8_t>(im.alpha ? 6 : 2), 0, 0, 0});
    chunk(out, "IHDR", ihdr);
    chunk(out, "IDAT", z);
    chunk(out, "IEND", {});
    size_t expected = 8 + (12 + 13) + (12 + z.size()) + 12;
    if (out.size() != expected) return false;

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_artwork OUTDIR [MAP_DAT]\n");
        return 2;
    }
    std::string dir = argv[1];
    std::vector<std::vector<Pt>> coast;
    if (argc == 3) {
        coast = read_coastline(argv[2]);
        if (coast.empty()) {
            std::fprintf(stderr, "make_artwork: cannot read the coastline %s\n", argv[2]);
            return 1;
        }
    }
    if (!write_png(startup_picture(coast), dir + "/startup.png") ||
        !write_png(icon_picture(), dir + "/kivar.png")) {
        std::fprintf(stderr, "make_artwork: cannot write the pictures into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
