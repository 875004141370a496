// Coordinates of the points of a grid, in the order the decoder delivers its
// values, and the placing of projected grids through PROJ.
#include "grib/grid.h"

#include "grib/bytes.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace grib {

namespace {

std::string format(const char* fmt, auto... args) {
    char text[320];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// A PROJ transformation from longitude/latitude (degrees, east/north order)
// to a grid's projected metres, freed with its context.
struct Projection {
    PJ_CONTEXT* ctx = nullptr;
    PJ* pj = nullptr;
    explicit Projection(const std::string& definition) {
        ctx = proj_context_create();
        if (!ctx) return;
        proj_log_level(ctx, PJ_LOG_NONE);
        pj = proj_create(ctx, definition.c_str());
    }
    ~Projection() {
        if (pj) proj_destroy(pj);
        if (ctx) proj_context_destroy(ctx);
    }
    Projection(const Projection&) = delete;
    Projection& operator=(const Projection&) = delete;
};

// The projection of the definition met last, kept: the fields of a file
// share their grid. nullptr when PROJ refuses the definition.
PJ* projection(const std::string& definition) {
    thread_local std::unique_ptr<Projection> kept;
    thread_local std::string kept_definition;
    if (!kept || kept_definition != definition) {
        kept = std::make_unique<Projection>(definition);
        kept_definition = definition;
    }
    return kept->pj;
}

} // namespace

std::string lambert_proj(double lad, double lov, double latin1, double latin2, double a, double b) {
    return format("+proj=lcc +lat_0=%.10g +lon_0=%.10g +lat_1=%.10g +lat_2=%.10g +a=%.10g +b=%.10g",
                  lad, lov, latin1, latin2, a, b);
}

std::string polar_proj(bool south, double lad, double lov, double a, double b) {
    return format("+proj=stere +lat_0=%d +lat_ts=%.10g +lon_0=%.10g +a=%.10g +b=%.10g",
                  south ? -90 : 90, lad, lov, a, b);
}

std::string mercator_proj(double lad, double a, double b) {
    return format("+proj=merc +lat_ts=%.10g +lon_0=0 +a=%.10g +b=%.10g", lad, a, b);
}

bool place_projected_grid(Grid& grid, double first_lat, double first_lon, std::string& problem) {
    PJ* pj = projection(grid.proj);
    if (!pj) {
        problem = "PROJ refuses the grid's projection " + grid.proj;
        return false;
    }
    // A bare projection definition maps geodetic radians to metres.
    PJ_COORD c = proj_coord(first_lon * M_PI / 180, first_lat * M_PI / 180, 0, 0);
    proj_errno_reset(pj);
    PJ_COORD xy = proj_trans(pj, PJ_FWD, c);
    if (!std::isfinite(xy.xy.x) || !std::isfinite(xy.xy.y) || proj_errno(pj) != 0) {
        problem = format("PROJ cannot place the first point (%g N, %g E) of the grid", first_lat,
                         first_lon);
        return false;
    }
    // The first point is where the scan starts; delivered rows run from the
    // largest y to the smallest and columns from the smallest x.
    int s = grid.scan_mode;
    grid.x0 = (s & 0x80) ? xy.xy.x - (grid.cols - 1) * grid.dx : xy.xy.x;
    grid.y0 = (s & 0x40) ? xy.xy.y + (grid.rows - 1) * grid.dy : xy.xy.y;
    return true;
}

namespace {

// Largest grid accepted: beyond it a grid is taken as garbage rather than
// allocated (a global 0.01 degree grid has 6.5e8 points).
constexpr std::uint64_t kMaxPoints = std::uint64_t{1} << 29;
constexpr std::uint32_t kMissing4 = 0xffffffffu;

// Most parallels between a pole and the equator of a Gaussian grid (the
// finest global models use 1280 to 2560): their latitudes cost n^2 steps.
constexpr std::uint32_t kMaxGaussianN = 8192;

// The latitudes of the Gaussian grid met last, from the north: the fields
// of a file share their grid.
const std::vector<double>& gaussian_cached(int n) {
    thread_local int cached_n = 0;
    thread_local std::vector<double> lat;
    if (cached_n != n) {
        lat.resize(2 * static_cast<std::size_t>(n));
        gaussian_latitudes(n, lat.data());
        cached_n = n;
    }
    return lat;
}

// The row of a Gaussian grid's latitudes nearest to lat.
std::size_t nearest_row(const std::vector<double>& lats, double lat) {
    std::size_t k0 = 0;
    for (std::size_t k = 1; k < lats.size(); ++k)
        if (std::fabs(lats[k] - lat) < std::fabs(lats[k0] - lat)) k0 = k;
    return k0;
}

// Octets of section 3 (0-based) up to the end of each template.
int template_length(int number) {
    switch (number) {
    case 0:
    case 40:
    case 10:
        return 72;
    case 1:
    case 41:
        return 84;
    case 20:
        return 65;
    case 30:
        return 81;
    default:
        return 0;
    }
}

std::string refused(int number) {
    const char* name = template_name(3, number);
    std::string text = format("grid definition template 3.%d%s%s%s is not supported", number,
                              *name ? " (" : "", name, *name ? ")" : "");
    if (number == 101)
        text += ": its points are defined in a separate grid file";
    else if (number >= 50 && number <= 53)
        text += ": spectral coefficients are not values at points";
    return text + "; skipped.";
}

// Longitudes and latitudes of lat/lon, rotated and Gaussian grids (3.0, 3.1,
// 3.40), regular or reduced.
bool parse_latlon(const std::uint8_t* s3, std::uint32_t len, int tlen, Grid& g,
                  std::string& problem) {
    const std::uint32_t points = u32(s3 + 6);
    const int list_octets = s3[10];
    const std::uint64_t ni = u32(s3 + 30), nj = u32(s3 + 34);
    const std::uint32_t angle = u32(s3 + 38), subdiv = u32(s3 + 42);
    double unit = 1e-6;
    if (angle != 0 && angle != kMissing4) {
        if (subdiv == 0 || subdiv == kMissing4)
            return problem = "grid angle without subdivisions.", false;
        unit = static_cast<double>(angle) / subdiv;
    }
    const double la1 = sm32(s3 + 46) * unit, lo1 = sm32(s3 + 50) * unit;
    const double la2 = sm32(s3 + 55) * unit, lo2 = sm32(s3 + 59) * unit;
    const std::uint32_t rdi = u32(s3 + 63), rdj = u32(s3 + 67);
    const int scan = g.scan_mode;
    g.winds_grid_relative = s3[54] & 0x08;
    if (std::fabs(la1) > 90.001 || std::fabs(la2) > 90.001 || std::fabs(lo1) > 3600 ||
        std::fabs(lo2) > 3600)
        return problem = "absurd grid geometry.", false;

    if (list_octets) {
        // Reduced grid: a number of points for each row.
        if (list_octets > 4 || s3[11] != 1)
            return problem = format("list of points of kind %d with %d octets per number is not "
                                    "supported.",
                                    s3[11], list_octets),
                   false;
        if (scan & 0x20)
            return problem = "reduced grid with consecutive points along meridians is not "
                             "supported.",
                   false;
        if (nj == 0 || nj > 1u << 20 || nj * list_octets > len - tlen)
            return problem = format("reduced grid of %llu rows without its list of points.",
                                    static_cast<unsigned long long>(nj)),
                   false;
        g.row_points.resize(nj);
        std::uint64_t sum = 0;
        int longest = 0;
        for (std::size_t r = 0; r < nj; ++r) {
            std::uint32_t v = 0;
            for (int k = 0; k < list_octets; ++k)
                v = v << 8 | s3[tlen + r * list_octets + k];
            if (v > 1u << 24) return problem = "absurd row of a reduced grid.", false;
            // The list runs in the file's order of rows; delivered rows go from the north.
            g.row_points[(scan & 0x40) ? nj - 1 - r : r] = static_cast<int>(v);
            sum += v;
            longest = std::max(longest, static_cast<int>(v));
        }
        // (The map spreads every row over the longest one.)
        if (sum != points || sum == 0 || nj * static_cast<std::uint64_t>(longest) > kMaxPoints)
            return problem = format("reduced grid rows hold %llu points, the grid %u.",
                                    static_cast<unsigned long long>(sum), points),
                   false;
        g.points = sum;
        g.cols = longest;
        g.rows = static_cast<int>(nj);
        g.lon_west = (scan & 0x80) ? lo2 : lo1;
        g.lon_east = (scan & 0x80) ? lo1 : lo2;
        if (g.lon_east < g.lon_west) g.lon_east += 360;
        g.lon_step = longest > 1 ? (g.lon_east - g.lon_west) / (longest - 1) : 1;
        if (!(g.lon_step > 0)) g.lon_step = 360.0 / longest;
    } else {
        if (ni == 0 || nj == 0 || ni * nj > kMaxPoints || ni * nj != points)
            return problem = format("absurd grid of %llu x %llu points.",
                                    static_cast<unsigned long long>(ni),
                                    static_cast<unsigned long long>(nj)),
                   false;
        g.cols = static_cast<int>(ni);
        g.rows = static_cast<int>(nj);
        // The increment: from the first and last points, unless the one
        // given differs by more than its rounding to a thousandth of a degree
        // (which global Gaussian grids need: 360 / 4 N seldom has 3 decimals).
        double di = rdi != kMissing4 ? rdi * unit : 0;
        if (ni > 1) {
            double span = (scan & 0x80) ? lo1 - lo2 : lo2 - lo1;
            if (span < 0) span += 360;
            if (span > 360) span = std::fmod(span, 360.0);
            const double from_span = span / static_cast<double>(ni - 1);
            const double gap = std::fabs(from_span - di);
            if (di == 0 || (gap > 1e-9 && gap < 1.5e-3)) di = from_span;
        }
        if (ni == 1 && di == 0) di = 1;
        if (!(di > 0 && di <= 360)) return problem = "absurd grid geometry.", false;
        g.lon_step = di;
        g.lon_west = (scan & 0x80) ? lo1 - static_cast<double>(ni - 1) * di : lo1;
        g.lon_east = g.lon_west + static_cast<double>(ni - 1) * di;
    }

    const double north = std::max(la1, la2), south = std::min(la1, la2);
    if (g.template_number == 40 || g.template_number == 41) {
        const std::uint32_t n = rdj;
        if (n == 0 || n > kMaxGaussianN || static_cast<std::uint64_t>(g.rows) > 2ull * n)
            return problem = format("Gaussian grid of %u parallels from pole to equator with %d "
                                    "rows.",
                                    n, g.rows),
                   false;
        // Row 0 is the parallel nearest to the northernmost latitude given:
        // one of the three around the first guess of its root.
        const int m = 2 * static_cast<int>(n);
        const long guess = std::lround((90 - north) * (m + 0.5) / 180 - 0.75);
        int k0 = -1;
        double first = NAN;
        for (long k = guess - 1; k <= guess + 1; ++k) {
            const double lat = gaussian_latitude(static_cast<int>(n), static_cast<int>(k));
            if (!std::isnan(lat) && !(std::fabs(lat - north) >= std::fabs(first - north)))
                k0 = static_cast<int>(k), first = lat;
        }
        if (k0 < 0 || k0 + g.rows > m || std::fabs(first - north) > 90.0 / n)
            return problem = "Gaussian grid's first row is not one of its parallels.", false;
        g.gaussian_n = static_cast<int>(n);
        g.lat_north = first;
        g.lat_step = 90.0 / n;
    } else {
        double dj = rdj != kMissing4 ? rdj * unit : 0;
        if (dj == 0 && nj > 1) dj = (north - south) / static_cast<double>(nj - 1);
        if (nj == 1 && dj == 0) dj = 1;
        if (!(dj > 0 && dj <= 180)) return problem = "absurd grid geometry.", false;
        g.lat_step = dj;
        g.lat_north = (scan & 0x40) ? la1 + static_cast<double>(nj - 1) * dj : la1;
    }
    if (g.template_number == 1 || g.template_number == 41) {
        g.south_pole_lat = sm32(s3 + 72) * unit;
        g.south_pole_lon = u32(s3 + 76) * unit;
        g.rotation = ieee32(s3 + 80);
        if (std::fabs(g.south_pole_lat) > 90 || !(std::fabs(g.rotation) <= 360))
            return problem = "absurd pole of a rotated grid.", false;
    }
    return true;
}

// Mercator, polar stereographic and Lambert conformal grids (3.10, 3.20, 3.30).
bool parse_projected(const std::uint8_t* s3, Grid& g, std::string& problem) {
    const std::uint64_t nx = u32(s3 + 30), ny = u32(s3 + 34);
    if (nx == 0 || ny == 0 || nx * ny > kMaxPoints || nx * ny != u32(s3 + 6))
        return problem =
                   format("absurd grid of %llu x %llu points.", static_cast<unsigned long long>(nx),
                          static_cast<unsigned long long>(ny)),
               false;
    g.cols = static_cast<int>(nx);
    g.rows = static_cast<int>(ny);
    const double la1 = sm32(s3 + 38) * 1e-6;
    const double lo1 = (g.template_number == 10 ? sm32(s3 + 42) : u32(s3 + 42)) * 1e-6;
    g.winds_grid_relative = s3[46] & 0x08;
    const double lad = sm32(s3 + 47) * 1e-6;
    std::uint32_t rdx, rdy;
    if (g.template_number == 10) {
        rdx = u32(s3 + 64), rdy = u32(s3 + 68);
    } else {
        rdx = u32(s3 + 55), rdy = u32(s3 + 59);
    }
    if (rdx == 0 || rdy == 0 || rdx == kMissing4 || rdy == kMissing4 || std::fabs(la1) > 90 ||
        std::fabs(lad) > 90)
        return problem = "absurd grid geometry.", false;
    g.dx = rdx * 1e-3, g.dy = rdy * 1e-3;
    const double a = g.earth_a, b = g.earth_b;
    if (g.template_number == 10) {
        g.proj = mercator_proj(lad, a, b);
    } else if (g.template_number == 20) {
        const double lov = sm32(s3 + 51) * 1e-6;
        g.proj = polar_proj(s3[63] & 0x80, lad, lov, a, b);
    } else {
        const double lov = u32(s3 + 51) * 1e-6;
        const double latin1 = sm32(s3 + 65) * 1e-6, latin2 = sm32(s3 + 69) * 1e-6;
        if (std::fabs(latin1) > 90 || std::fabs(latin2) > 90)
            return problem = "absurd grid geometry.", false;
        g.proj = lambert_proj(lad, lov, latin1, latin2, a, b);
    }
    return place_projected_grid(g, la1, lo1, problem);
}

} // namespace

bool earth_shape(int shape, const std::uint8_t* e, double& a, double& b) {
    // A scaled value of octets off (scale factor) and off + 1 (value).
    auto scaled = [&](int off, double& v) {
        const std::uint32_t x = u32(e + off + 1);
        if (e[off] == 0xff || x == kMissing4 || x == 0) return false;
        v = x / std::pow(10.0, e[off]);
        return true;
    };
    switch (shape) {
    case 0:
        a = b = 6367470;
        return true;
    case 1:
        if (!scaled(0, a)) return false;
        b = a;
        break;
    case 2:
        a = 6378160, b = 6356775;
        return true;
    case 3:
    case 7:
        if (!scaled(5, a) || !scaled(10, b)) return false;
        if (shape == 3) a *= 1000, b *= 1000;
        break;
    case 4:
    case 5:
    case 10:
        a = 6378137, b = 6356752.314;
        return true;
    case 6:
        a = b = 6371229;
        return true;
    case 8:
        a = b = 6371200;
        return true;
    case 9:
        a = 6377563.396, b = 6356256.909;
        return true;
    case 11:
        a = b = 695990000;
        return true;
    default:
        return false;
    }
    return a >= 1000 && a <= 1e10 && b >= 1000 && b <= 1e10;
}

bool parse_grid_section(const std::uint8_t* s3, std::uint32_t len, Grid& g, std::string& problem) {
    g = Grid{};
    if (len < 14) return problem = "grid section too short.", false;
    if (s3[5] != 0) return problem = "grid not defined by a template.", false;
    const int number = static_cast<int>(u16(s3 + 12));
    const int tlen = template_length(number);
    if (tlen == 0) return problem = refused(number), false;
    if (len < static_cast<std::uint32_t>(tlen)) return problem = "grid section too short.", false;
    g.template_number = number;
    if (!earth_shape(s3[14], s3 + 15, g.earth_a, g.earth_b))
        return problem = format("shape of the earth %d is unknown or has no size.", s3[14]), false;
    const bool projected = number == 10 || number == 20 || number == 30;
    g.scan_mode = s3[projected ? (number == 10 ? 59 : 64) : 71];
    if (g.scan_mode & 0x0f)
        return problem = format("scanning mode 0x%02x (shifted rows or columns) is not supported.",
                                g.scan_mode),
               false;
    if (projected) {
        if (s3[10]) return problem = "reduced projected grid is not supported.", false;
        return parse_projected(s3, g, problem);
    }
    return parse_latlon(s3, len, tlen, g, problem);
}

namespace {

// The root i (0 for the one nearest to 1) of the Legendre polynomial P_m, by
// Newton's method from the usual first guess, as a latitude in degrees.
// coef holds (2k - 1) / k and (k - 1) / k for k = 2 .. m, or is empty.
double legendre_root(int m, int i, const std::vector<double>& coef) {
    double z = std::cos(M_PI * (i + 0.75) / (m + 0.5));
    for (int iter = 0; iter < 100; ++iter) {
        double p0 = 1, p1 = z;
        if (coef.empty()) {
            for (int k = 2; k <= m; ++k) {
                const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
                p0 = p1, p1 = p2;
            }
        } else {
            for (int k = 2; k <= m; ++k) {
                const double p2 = coef[2 * k] * z * p1 - coef[2 * k + 1] * p0;
                p0 = p1, p1 = p2;
            }
        }
        const double dz = p1 / (m * (z * p1 - p0) / (z * z - 1));
        z -= dz;
        if (std::fabs(dz) < 1e-15) break;
    }
    return std::asin(z) * 180 / M_PI;
}

} // namespace

void gaussian_latitudes(int n, double* lat) {
    // The roots are symmetric about the equator.
    const int m = 2 * n;
    std::vector<double> coef(2 * static_cast<std::size_t>(m) + 2);
    for (int k = 2; k <= m; ++k) {
        coef[2 * k] = (2.0 * k - 1) / k;
        coef[2 * k + 1] = (k - 1.0) / k;
    }
    for (int i = 0; i < n; ++i) {
        lat[i] = legendre_root(m, i, coef);
        lat[m - 1 - i] = -lat[i];
    }
}

double gaussian_latitude(int n, int row) {
    const int m = 2 * n;
    if (row < 0 || row >= m) return NAN;
    const std::vector<double> none;
    return row < n ? legendre_root(m, row, none) : -legendre_root(m, m - 1 - row, none);
}

void to_grid_order(const Grid& g, const float* in, float* values) {
    const int scan = g.scan_mode;
    if (!g.row_points.empty()) {
        // Rows from the north (the file's last row first when it scans
        // northward), each from the west.
        const std::size_t rows = g.row_points.size();
        std::vector<std::size_t> start(rows + 1, 0);
        for (std::size_t r = 0; r < rows; ++r)
            start[r + 1] = start[r] + static_cast<std::size_t>(g.row_points[r]);
        std::size_t p = 0;
        for (std::size_t j = 0; j < rows; ++j) {
            const std::size_t row = (scan & 0x40) ? rows - 1 - j : j;
            const std::size_t n = static_cast<std::size_t>(g.row_points[row]);
            const bool reverse = ((scan & 0x80) != 0) != ((scan & 0x10) && (j & 1));
            for (std::size_t i = 0; i < n; ++i, ++p)
                values[start[row] + (reverse ? n - 1 - i : i)] = in[p];
        }
        return;
    }
    const std::size_t ni = g.cols, nj = g.rows, total = ni * nj;
    const bool j_first = scan & 0x20;
    const std::size_t inner = j_first ? nj : ni;
    for (std::size_t p = 0; p < total; ++p) {
        const std::size_t outer = p / inner;
        std::size_t in_row = p % inner;
        if ((scan & 0x10) && (outer & 1)) in_row = inner - 1 - in_row;
        const std::size_t i = j_first ? outer : in_row, j = j_first ? in_row : outer;
        const std::size_t col = (scan & 0x80) ? ni - 1 - i : i;
        const std::size_t row = (scan & 0x40) ? nj - 1 - j : j;
        values[row * ni + col] = in[p];
    }
}

int grid_coordinates(const Grid& g, std::span<double> lat, std::span<double> lon) {
    const std::size_t n = g.count();
    if (lat.size() < n || lon.size() < n) {
        report("grid", "Error: coordinate arrays smaller than the grid.");
        return 0;
    }
    if (!g.proj.empty()) {
        // Projected grids: the inverse of the projection at every point.
        std::size_t k = 0;
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.cols; ++c, ++k) {
                lon[k] = g.x0 + c * g.dx;
                lat[k] = g.y0 - r * g.dy;
            }
        PJ* pj = projection(g.proj);
        if (!pj) {
            report("grid", ("Error: PROJ refuses the grid's projection " + g.proj + ".").c_str());
            return 0;
        }
        proj_trans_generic(pj, PJ_INV, lon.data(), sizeof(double), n, lat.data(), sizeof(double), n,
                           nullptr, 0, 0, nullptr, 0, 0);
        for (std::size_t q = 0; q < n; ++q) {
            lon[q] *= 180 / M_PI;
            lat[q] *= 180 / M_PI;
        }
        return 1;
    }
    const bool gaussian = g.template_number == 40 || g.template_number == 41;
    const bool rotated = g.template_number == 1 || g.template_number == 41;
    if (g.template_number != 0 && !gaussian && !rotated) {
        report("grid",
               format("Error: no coordinates for grid template 3.%d.", g.template_number).c_str());
        return 0;
    }
    // Latitudes of the rows.
    std::vector<double> row_lat(static_cast<std::size_t>(g.rows));
    if (gaussian) {
        if (g.gaussian_n <= 0 || g.gaussian_n > static_cast<int>(kMaxGaussianN)) {
            report("grid", format("Error: Gaussian grid of %d parallels from pole to equator.",
                                  g.gaussian_n)
                               .c_str());
            return 0;
        }
        const std::vector<double>& gl = gaussian_cached(g.gaussian_n);
        const std::size_t k0 = nearest_row(gl, g.lat_north);
        for (std::size_t r = 0; r < row_lat.size(); ++r)
            row_lat[r] = k0 + r < gl.size() ? gl[k0 + r] : NAN;
    } else {
        for (std::size_t r = 0; r < row_lat.size(); ++r)
            row_lat[r] = g.lat_north - static_cast<double>(r) * g.lat_step;
    }
    std::size_t k = 0;
    if (g.row_points.empty()) {
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.cols; ++c, ++k) {
                lat[k] = row_lat[static_cast<std::size_t>(r)];
                lon[k] = g.lon_west + c * g.lon_step;
            }
    } else {
        // Rows that go round the earth (the last point a step short of the
        // first one again) share 360 degrees; others run from the west to
        // the east longitude.
        const double span = g.lon_east - g.lon_west;
        const bool global = !(span > 0) || span + 360.0 / g.cols >= 360 - 1e-3;
        for (int r = 0; r < g.rows; ++r) {
            const int m = g.row_points[static_cast<std::size_t>(r)];
            const double step = global ? 360.0 / std::max(m, 1) : m > 1 ? span / (m - 1) : 0;
            for (int c = 0; c < m; ++c, ++k) {
                lat[k] = row_lat[static_cast<std::size_t>(r)];
                lon[k] = g.lon_west + c * step;
            }
        }
    }
    if (rotated) {
        // Rotated grids: from the rotated frame to the earth's latitudes and
        // longitudes; the frame's north pole is opposite the south pole given,
        // and the angle of rotation turns the result westward about the
        // earth's axis, as the operational decoders read it.
        const std::string def =
            format("+proj=ob_tran +o_proj=longlat +o_lat_p=%.10g +o_lon_p=0 +lon_0=%.10g "
                   "+a=%.10g +b=%.10g",
                   -g.south_pole_lat, g.south_pole_lon, g.earth_a, g.earth_a);
        PJ* pj = projection(def);
        if (!pj) {
            report("grid", ("Error: PROJ refuses the rotation " + def + ".").c_str());
            return 0;
        }
        for (std::size_t q = 0; q < n; ++q) {
            lon[q] *= M_PI / 180;
            lat[q] *= M_PI / 180;
        }
        proj_trans_generic(pj, PJ_INV, lon.data(), sizeof(double), n, lat.data(), sizeof(double), n,
                           nullptr, 0, 0, nullptr, 0, 0);
        for (std::size_t q = 0; q < n; ++q) {
            lon[q] = lon[q] * 180 / M_PI - g.rotation;
            lat[q] *= 180 / M_PI;
        }
    }
    return 1;
}

int grid_nearest(const Grid& g, std::span<const double> lat, std::span<const double> lon,
                 std::span<long long> index) {
    const std::size_t n = std::min({lat.size(), lon.size(), index.size()});
    if (n == 0) return 1;
    const bool reduced = !g.row_points.empty();
    const bool rotated = g.template_number == 1 || g.template_number == 41;
    if (!g.proj.empty() || rotated) {
        // Into the grid's own plane or rotated frame first.
        std::vector<double> x(n), y(n);
        std::string def = g.proj;
        if (def.empty())
            def = format("+proj=ob_tran +o_proj=longlat +o_lat_p=%.10g +o_lon_p=0 +lon_0=%.10g "
                         "+a=%.10g +b=%.10g",
                         -g.south_pole_lat, g.south_pole_lon, g.earth_a, g.earth_a);
        PJ* pj = projection(def);
        if (!pj) {
            report("grid", ("Error: PROJ refuses the grid's projection " + def + ".").c_str());
            return 0;
        }
        for (std::size_t k = 0; k < n; ++k) {
            x[k] = (lon[k] + (g.proj.empty() ? g.rotation : 0)) * M_PI / 180;
            y[k] = lat[k] * M_PI / 180;
        }
        proj_trans_generic(pj, PJ_FWD, x.data(), sizeof(double), n, y.data(), sizeof(double), n,
                           nullptr, 0, 0, nullptr, 0, 0);
        if (!g.proj.empty()) {
            for (std::size_t k = 0; k < n; ++k) {
                const double i = std::round((x[k] - g.x0) / g.dx);
                const double j = std::round((g.y0 - y[k]) / g.dy);
                index[k] = i >= 0 && i < g.cols && j >= 0 && j < g.rows
                               ? static_cast<long long>(j) * g.cols + static_cast<long long>(i)
                               : -1;
            }
            return 1;
        }
        Grid plain = g;
        plain.template_number = g.template_number == 41 ? 40 : 0;
        for (std::size_t k = 0; k < n; ++k) {
            x[k] *= 180 / M_PI;
            y[k] *= 180 / M_PI;
        }
        return grid_nearest(plain, y, x, index);
    }
    if (g.template_number != 0 && g.template_number != 40) {
        report("grid",
               format("Error: no coordinates for grid template 3.%d.", g.template_number).c_str());
        return 0;
    }
    // Latitudes of the rows, from the north.
    std::vector<double> row_lat(static_cast<std::size_t>(std::max(g.rows, 0)));
    if (g.template_number == 40) {
        if (g.gaussian_n <= 0 || g.gaussian_n > static_cast<int>(kMaxGaussianN)) {
            report("grid", "Error: Gaussian grid of an absurd number of parallels.");
            return 0;
        }
        const std::vector<double>& gl = gaussian_cached(g.gaussian_n);
        const std::size_t k0 = nearest_row(gl, g.lat_north);
        for (std::size_t r = 0; r < row_lat.size(); ++r)
            row_lat[r] = k0 + r < gl.size() ? gl[k0 + r] : -1000;
    } else {
        for (std::size_t r = 0; r < row_lat.size(); ++r)
            row_lat[r] = g.lat_north - static_cast<double>(r) * g.lat_step;
    }
    std::vector<std::size_t> row_start;
    if (reduced) {
        row_start.assign(row_lat.size() + 1, 0);
        for (std::size_t r = 0; r < row_lat.size(); ++r)
            row_start[r + 1] = row_start[r] + static_cast<std::size_t>(g.row_points[r]);
    }
    const double span = g.lon_east - g.lon_west;
    const bool round_earth = !(span > 0) || span + 360.0 / std::max(g.cols, 1) >= 360 - 1e-3;
    // The column of a longitude along a row of m points `step` apart.
    auto column = [&](double l, int m, double step, bool global) -> long long {
        double d = std::fmod(l - g.lon_west, 360.0);
        if (d < 0) d += 360;
        long long i = std::llround(d / step);
        if (global) return m > 0 ? i % m : -1;
        if (i < m) return i;
        // A place a little west of the first column.
        i = std::llround((d - 360) / step);
        return i == 0 ? 0 : -1;
    };
    const bool regular_global = g.cols * g.lon_step >= 360 - 1e-6;
    for (std::size_t k = 0; k < n; ++k) {
        index[k] = -1;
        if (row_lat.empty()) continue;
        // The nearest row: rows fall from the north.
        auto it = std::lower_bound(row_lat.begin(), row_lat.end(), lat[k],
                                   [](double a, double b) { return a > b; });
        std::size_t j = static_cast<std::size_t>(it - row_lat.begin());
        if (j == row_lat.size() ||
            (j > 0 && std::fabs(row_lat[j - 1] - lat[k]) < std::fabs(row_lat[j] - lat[k])))
            --j;
        const double half =
            0.5 * (g.template_number == 40 ? 180.0 / (2 * g.gaussian_n) : g.lat_step);
        if (std::fabs(row_lat[j] - lat[k]) > half + 1e-9) continue;
        if (!reduced) {
            const long long i = column(lon[k], g.cols, g.lon_step, regular_global);
            if (i >= 0) index[k] = static_cast<long long>(j) * g.cols + i;
        } else {
            const int m = g.row_points[j];
            if (m <= 0) continue;
            const double step = round_earth ? 360.0 / m : m > 1 ? span / (m - 1) : 360;
            const long long i = column(lon[k], m, step, round_earth);
            if (i >= 0) index[k] = static_cast<long long>(row_start[j]) + i;
        }
    }
    return 1;
}

} // namespace grib
