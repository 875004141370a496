// Maps: cells of a grid tile the map in every projection, a grid round the
// globe is drawn on either side of the seam, strokes keep clear of contour
// labels, and the graticule is labelled where it meets the frame.
#include "plot_test_util.h"

#include <cmath>

namespace {

using namespace razidu;
using namespace plot_test;

class MapTest : public PlotTest {};

// A grid of nx x ny centres from (lon0, lat0) by step, row 0 northernmost,
// valued as a checkerboard of 0 and 1.
struct Grid {
    std::vector<float> lon, lat, z;
    int nx, ny;
    Grid(float lon0, float lat0, float step, int nx_, int ny_) : nx(nx_), ny(ny_) {
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                lon.push_back(lon0 + step * float(i));
                lat.push_back(lat0 - step * float(j));
                z.push_back(float((i + j) % 2));
            }
    }
};

// The pixel of map coordinates (x, y) on the raster page.
void map_pixel(float x, float y, int* px, int* py) {
    const float s = g_plot.device_scale;
    *px = int(std::floor(user_to_plot_x(x) * s));
    *py = int(std::floor(user_to_plot_y(y) * s));
}

TEST_F(MapTest, CellsTileTheMapInEveryProjection) {
    const char* projections[] = {"", "+proj=lcc +lat_1=30 +lat_2=50 +lon_0=140",
                                 "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=140",
                                 "+proj=merc +lon_0=140", "+proj=robin +lon_0=140"};
    // The grid reaches far beyond the area, so every pixel of the map lies in
    // some cell.
    const Grid g(80, 85, 1, 121, 96);
    for (const char* p : projections) {
        SCOPED_TRACE(p);
        open_page("virt", path("m.img"), 650, 600, 2925, 2820);
        ASSERT_EQ(mapprj(p, 140), 0);
        float xa = 0, xe = 0, ya = 0, ye = 0;
        ASSERT_EQ(mapext(120, 160, 25, 55, &xa, &xe, &ya, &ye), 0);
        grafmp3(xa, xe, ya, ye, 10, 10, 0, 1, 0, 1);
        ASSERT_EQ(g_plot.level, 3);
        geocel(g.lon.data(), g.lat.data(), g.z.data(), g.nx, g.ny);
        // No pixel inside the frame stays background.
        const AxisState& a = g_plot.axis;
        const float s = g_plot.device_scale;
        int gaps = 0;
        for (int y = int(float(a.top) * s) + 2; y < int(float(a.pos_y) * s) - 1; ++y)
            for (int x = int(float(a.pos_x) * s) + 2; x < int(float(a.right) * s) - 1; ++x)
                gaps += pixel_at(x, y) == 0;
        EXPECT_EQ(gaps, 0);
        // Each cell's centre has its own colour.
        int wrong = 0, seen = 0;
        for (int k = 0; k < g.nx * g.ny; ++k) {
            float x, y;
            mapxy(&g.lon[size_t(k)], &g.lat[size_t(k)], 1, &x, &y);
            if (!(x > xa && x < xe && y > ya && y < ye)) continue;
            int px, py;
            map_pixel(x, y, &px, &py);
            if (px < int(float(a.pos_x) * s) + 3 || px > int(float(a.right) * s) - 3 ||
                py < int(float(a.top) * s) + 3 || py > int(float(a.pos_y) * s) - 3)
                continue; // the frame
            ++seen;
            wrong += pixel_at(px, py) != (g.z[size_t(k)] > 0.5f ? 254 : 1);
        }
        EXPECT_GT(seen, 100);
        EXPECT_EQ(wrong, 0);
        close_axis_system();
        captured(disfin);
    }
}

TEST_F(MapTest, GridRoundTheGlobeOnEitherSideOfTheSeam) {
    // Columns 0 .. 359 E; on maps centred at 0 and at 180 both edges are drawn.
    Grid g(0, 89.5f, 1, 360, 180);
    for (size_t k = 0; k < g.z.size(); ++k)
        g.z[k] = g.lon[k] < 180 ? 1.0f : 0.0f; // east half high, west half low
    for (float centre : {0.0f, 180.0f}) {
        SCOPED_TRACE(centre);
        open_page("virt", path("m.img"), 650, 600, 2925, 2820);
        ASSERT_EQ(mapprj("", centre), 0);
        grafmp3(centre - 180, centre + 180, -90, 90, 30, 30, 0, 1, 0, 1);
        geocel(g.lon.data(), g.lat.data(), g.z.data(), g.nx, g.ny);
        int px, py;
        for (float lon : {centre - 170, centre - 10, centre + 10, centre + 170}) {
            map_pixel(lon, 0, &px, &py);
            const float east = std::fmod(lon + 720.0f, 360.0f);
            EXPECT_EQ(pixel_at(px, py), east < 180 ? 254 : 1) << lon;
        }
        close_axis_system();
        captured(disfin);
    }
}

TEST_F(MapTest, StrokesKeepClearOfContourLabels) {
    // Labelled isolines of a field rising north-eastwards, then parallels
    // every half degree across the map in another colour: none of them runs
    // through a label's box (filled in a third colour by isohal).
    const Grid g(120, 50, 0.5f, 81, 61);
    std::vector<float> z(g.z.size());
    for (size_t k = 0; k < z.size(); ++k)
        z[k] = g.lon[k] + 2 * g.lat[k];
    const float levels[] = {200, 210, 220, 230, 240, 250, 260};
    open_page("virt", path("m.img"), 650, 600, 2925, 2820);
    ASSERT_EQ(mapprj("+proj=lcc +lat_1=30 +lat_2=50 +lon_0=140", 140), 0);
    float xa, xe, ya, ye;
    ASSERT_EQ(mapext(120, 160, 20, 50, &xa, &xe, &ya, &ye), 0);
    grafmp(xa, xe, ya, ye, 0, 0);
    setclr(50);
    isolab(500, -1);
    isohal(100);
    geoiso(g.lon.data(), g.lat.data(), g.nx, g.ny, z.data(), levels, 7);
    // The page before the parallels: which pixels lie inside a box.
    const RasterImage& r = g_plot.raster;
    const std::vector<uint8_t> before(r.pixels.get(), r.pixels.get() + r.stride * r.height);
    const auto was_box = [&](int x, int y) { return before[size_t(y * r.stride + x)] == 100; };
    setclr(200);
    for (float lat = 20; lat <= 50; lat += 0.5f) {
        const float lon[2] = {110, 170}, la[2] = {lat, lat};
        geocrv(lon, la, 2);
    }
    close_axis_system();
    int boxes = 0, crossed = 0;
    for (int y = 1; y + 1 < r.height; ++y)
        for (int x = 1; x + 1 < r.width; ++x) {
            boxes += was_box(x, y);
            // A stroke on a box pixel away from its edge (a line may end
            // on the edge) crosses the label.
            bool inner = true;
            for (int d = 0; d < 9; ++d)
                inner = inner && was_box(x + d % 3 - 1, y + d / 3 - 1);
            crossed += inner && pixel_at(x, y) == 200;
        }
    EXPECT_GT(boxes, 500);
    EXPECT_EQ(crossed, 0);
    EXPECT_GT(count_colour(200), 1000); // the parallels were drawn
    captured(disfin);
}

// Foreground pixels in the pixel box x0..x1, y0..y1.
int ink(int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = std::max(0, y0); y <= y1 && y < g_plot.raster.height; ++y)
        for (int x = std::max(0, x0); x <= x1 && x < g_plot.raster.width; ++x)
            n += pixel_at(x, y) == 255;
    return n;
}

TEST_F(MapTest, GraticuleLabelledWhereItMeetsTheFrame) {
    // Where a parallel meets the left edge of the frame a label stands left
    // of it, where a meridian meets the lower edge one stands below it.
    const struct {
        const char* proj;
        std::vector<float> parallels, meridians;
    } cases[] = {
        {"", {30, 40, 50}, {130, 140, 150}},
        {"+proj=lcc +lat_1=30 +lat_2=50 +lon_0=140", {40, 50}, {130, 140, 150}},
        {"+proj=merc +lon_0=140", {30, 40, 50}, {130, 140, 150}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proj);
        open_page("virt", path("m.img"), 650, 600, 2925, 2820, "revers");
        ASSERT_EQ(mapprj(c.proj, 140), 0);
        float xa, xe, ya, ye;
        ASSERT_EQ(mapext(120, 160, 25, 55, &xa, &xe, &ya, &ye), 0);
        height(40);
        grafmp(xa, xe, ya, ye, 10, 10);
        const AxisState& a = g_plot.axis;
        const float s = g_plot.device_scale;
        const int h = int(40 * s) + 1, left = int(float(a.pos_x) * s),
                  bottom = int(float(a.pos_y) * s);
        // The map coordinate where a line first passes a value of x (or y).
        const auto crossing = [&](bool parallel, float v, float at) {
            float prev = NAN, prev_other = NAN;
            for (float t = -89; t <= 89; t += 0.01f) {
                const float lon = parallel ? 140 + t : v, lat = parallel ? v : t;
                float x, y;
                mapxy(&lon, &lat, 1, &x, &y);
                const float along = parallel ? x : y, other = parallel ? y : x;
                if (prev == prev && (prev - at) * (along - at) <= 0)
                    return 0.5f * (other + prev_other);
                prev = along, prev_other = other;
            }
            return NAN;
        };
        for (float lat : c.parallels) {
            const float y = crossing(true, lat, xa);
            ASSERT_TRUE(y == y) << lat;
            const int py = int(user_to_plot_y(y) * s);
            EXPECT_GT(ink(left - 4 * h, py - h / 2, left - 2, py + h / 2), 5) << lat;
        }
        for (float lon : c.meridians) {
            const float x = crossing(false, lon, ya);
            ASSERT_TRUE(x == x) << lon;
            const int px = int(user_to_plot_x(x) * s);
            EXPECT_GT(ink(px - h, bottom + 2, px + h, bottom + 2 * h), 5) << lon;
        }
        // And nothing beside the frame between two labelled parallels.
        if (c.proj[0] == '\0') {
            const int py = int(user_to_plot_y(35) * s);
            EXPECT_EQ(ink(left - 4 * h, py - h / 3, left - 2, py + h / 3), 0);
        }
        close_axis_system();
        captured(disfin);
    }
}

TEST_F(MapTest, RefusedSettingsWarn) {
    const std::string out = captured([&] {
        open_page("virt", path("m.img"), 650, 600, 2925, 2820);
        EXPECT_EQ(mapprj("+proj=nosuchthing", 0), 1);
        float xa = 0, xe = 0, ya = 0, ye = 0;
        EXPECT_EQ(mapext(10, 5, 0, 10, &xa, &xe, &ya, &ye), 1); // reversed
        grafmp(0, 0, 0, 1, 10, 10);                             // empty frame
        EXPECT_EQ(g_plot.level, 1);
        disfin();
    });
    EXPECT_NE(out.find("Warning   2"), std::string::npos);
    EXPECT_NE(out.find("nosuchthing"), std::string::npos);
}

TEST_F(MapTest, PolygonsSharingEdgesCoverEachPixelOnce) {
    // A rectangle cut into triangles around an inner point, and each
    // triangle's row into two: every pixel centre inside it is covered by
    // exactly one of them, edges and shared corners included.
    open_page("virt", path("p.img"), 200, 200, 2000, 2000);
    const float cx = 83.5f, cy = 70.5f; // on pixel centres, as some corners below
    const float ring[][2] = {{10.5f, 10.25f},  {60.3f, 10.25f},   {150.75f, 10.25f},
                             {150.75f, 90.5f}, {150.75f, 170.5f}, {40.1f, 170.5f},
                             {10.5f, 170.5f},  {10.5f, 99.5f}};
    std::vector<int> count(size_t(200 * 200), 0);
    for (int k = 0; k < 8; ++k) {
        const float x[3] = {cx, ring[k][0], ring[(k + 1) % 8][0]};
        const float y[3] = {cy, ring[k][1], ring[(k + 1) % 8][1]};
        raster_clear();
        raster_fill_polygon(x, y, 3, 7, 0, 0, 199, 199);
        for (int py = 0; py < 200; ++py)
            for (int px = 0; px < 200; ++px)
                count[size_t(py * 200 + px)] += pixel_at(px, py) == 7;
    }
    int wrong = 0;
    for (int py = 0; py < 200; ++py)
        for (int px = 0; px < 200; ++px) {
            const float x = float(px) + 0.5f, y = float(py) + 0.5f;
            const bool inside = x >= 10.5f && x < 150.75f && y >= 10.25f && y < 170.5f;
            wrong += count[size_t(py * 200 + px)] != (inside ? 1 : 0);
        }
    EXPECT_EQ(wrong, 0);
    captured(disfin);
}

TEST_F(MapTest, ArrowsFollowTheMapsNorthAndEast) {
    // An arrow's ink lies from its point towards where a step along the
    // wind takes the point on the map.
    const struct {
        const char* proj;
        float lon, lat, u, v;
    } cases[] = {
        {"+proj=stere +lat_0=90 +lat_ts=60 +lon_0=0", 90, 60, 0, 10},  // towards the pole
        {"+proj=stere +lat_0=90 +lat_ts=60 +lon_0=0", 200, 55, 10, 0}, // along the parallel
        {"+proj=lcc +lat_1=30 +lat_2=50 +lon_0=140", 165, 45, 7, 7},
        {"", 140, 40, -10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proj);
        open_page("virt", path("a.img"), 650, 600, 2925, 2820);
        ASSERT_EQ(mapprj(c.proj, c.proj[0] ? 0 : 140), 0);
        float xa, xe, ya, ye;
        if (c.proj[0] == '+' && c.lat > 50)
            ASSERT_EQ(mapext(-180, 180, 40, 90, &xa, &xe, &ya, &ye), 0);
        else
            ASSERT_EQ(mapext(110, 180, 20, 60, &xa, &xe, &ya, &ye), 0);
        grafmp(xa, xe, ya, ye, 0, 0);
        setclr(9);
        geovec(c.lon, c.lat, c.u, c.v, 20, 1121);
        // Where a small step along the wind leads, on the page.
        const float s = 0.2f / std::hypot(c.u, c.v);
        const float lon[2] = {c.lon, c.lon + c.u * s / std::cos(c.lat * 0.0174533f)};
        const float lat[2] = {c.lat, c.lat + c.v * s};
        float x[2], y[2];
        mapxy(lon, lat, 2, x, y);
        const float dx = user_to_plot_x(x[1]) - user_to_plot_x(x[0]),
                    dy = user_to_plot_y(y[1]) - user_to_plot_y(y[0]);
        double sx = 0, sy = 0;
        int n = 0;
        const RasterImage& r = g_plot.raster;
        for (int py = 0; py < r.height; ++py)
            for (int px = 0; px < r.width; ++px)
                if (pixel_at(px, py) == 9) sx += px, sy += py, ++n;
        ASSERT_GT(n, 10);
        const float ink_x = float(sx / n) / g_plot.device_scale - user_to_plot_x(x[0]),
                    ink_y = float(sy / n) / g_plot.device_scale - user_to_plot_y(y[0]);
        const float cosine =
            (ink_x * dx + ink_y * dy) / (std::hypot(ink_x, ink_y) * std::hypot(dx, dy));
        EXPECT_GT(cosine, 0.97f);
        close_axis_system();
        captured(disfin);
    }
}

} // namespace
