// GRIB2 files through the kivar program: the inventory on the nine items in
// their units, other parameters by their names, grids larger than the map,
// and damaged files (a message naming the message, exit status 1).
#include "gribgen/gribgen.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace testfiles;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

gribgen::Field field(int category, int number, int level_type, long level, double value,
                     int hour = 0) {
    gribgen::Field f;
    f.category = category, f.number = number;
    f.level_type = level_type, f.level_value = level;
    f.forecast_hour = hour;
    f.cols = 4, f.rows = 3;
    f.decimal_scale = 2;
    f.bits = 16;
    for (int k = 0; k < 12; ++k)
        f.values.push_back(value + k);
    return f;
}

struct GribCli : ::testing::Test {
    TempDir tmp{"gribcli"};
    fs::path dir = tmp.path;
    std::string path = (dir / "fc.grib2").string();

    void SetUp() override {
        fs::create_directories(dir / "work");
        write_map(dir / "work" / "map.dat");
    }
    void write(const std::vector<gribgen::Field>& fields) {
        ASSERT_TRUE(gribgen::write_file(path, fields));
    }
    Outcome kivar(const std::string& args) {
        std::string cmd = "cd '" + (dir / "work").string() +
                          "' && env -u DISPLAY '" KIVAR_EXE "' " + args + " >'" +
                          (dir / "out.txt").string() + "' 2>'" + (dir / "err.txt").string() + "'";
        int raw = std::system(cmd.c_str());
        int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return {status, read_file(dir / "out.txt"), read_file(dir / "err.txt")};
    }
};

TEST_F(GribCli, InventoryAndValuesInTheItemsUnits) {
    gribgen::Field rain = field(1, 8, 1, 0, 6.0, 6);
    rain.interval_hours = 3; // 6 mm over 3 hours: 2 mm/h
    write({field(0, 0, 100, 85000, 288.15), field(3, 1, 101, 0, 101300),
           field(2, 8, 100, 85000, 1.0), rain, field(1, 0, 100, 85000, 0.5),
           field(0, 0, 105, 3, 280)});
    Outcome r = kivar("info " + path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "model: MSM (code 5)\n"
                     "initial: 26-12-04 00:00\n"
                     "levels: 850 0\n"
                     "items at 850: 4 (Temperature (C)), 42 (w-wind (hPa/h)), "
                     "256 (Specific humidity (kg/kg))\n"
                     "items at 0: 1 (Pressure (hPa)), 49 (Rain (mm/h))\n"
                     "hours: 0 6\n"
                     "not on pressure levels or the surface: 1 field(s)\n");

    struct Want {
        const char* args;
        const char* file;
        const char* first_row;
    } wants[] = {
        {"--level 850 --item 4", "MD05_ID004_P0850_DT26120400_TM00.csv",
         "15.000000,16.000000,17.000000,18.000000"},
        {"--level 0 --item 1", "MD05_ID001_P0000_DT26120400_TM00.csv",
         "1013.000000,1013.010010,1013.020020,1013.030029"},
        {"--level 850 --item 42", "MD05_ID042_P0850_DT26120400_TM00.csv",
         "36.000000,72.000000,108.000000,144.000000"},
        {"--level 0 --item 49 --hour 6", "MD05_ID049_P0000_DT26120400_TM06.csv",
         "2.000000,2.333333,2.666667,3.000000"},
        {"--level 850 --item 256", "MD05_ID256_P0850_DT26120400_TM00.csv",
         "0.500000,1.500000,2.500000,3.500000"},
    };
    for (const Want& w : wants) {
        SCOPED_TRACE(w.args);
        r = kivar("data " + path + " --csv --save out " + w.args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string text = read_file(dir / "work" / "out" / w.file);
        std::size_t row = text.find('\n') + 1;
        EXPECT_EQ(text.substr(row, text.find('\n', row) - row), w.first_row);
    }
    EXPECT_NE(read_file(dir / "work" / "gpv.log").find("ID: 256  ITEM: Specific humidity"),
              std::string::npos);
    // Every field of the inventory: 5 files.
    r = kivar("data " + path + " --all --save all");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "work" / "all"), {}), 5);
}

TEST_F(GribCli, GlobalGridDrawnOverTheMapAndExportedWhole) {
    gribgen::Field f;
    f.centre = 7;
    f.category = 0, f.number = 0;
    f.cols = 360, f.rows = 181;
    f.lon_west = 0, f.lat_north = 90, f.lon_step = 1, f.lat_step = 1;
    for (int j = 0; j < f.rows; ++j)
        for (int i = 0; i < f.cols; ++i)
            f.values.push_back(300 - std::abs(90 - j) * 0.5 + i * 0.01);
    write({f});
    Outcome r = kivar("info " + path);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "model: 1x1 (code 0)");
    r = kivar("image " + path + " --format png --save maps");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "work" / "maps" / "MD00_ID004_P0850_DT26120400_TM00.png"));
    r = kivar("data " + path + " --save data");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string text = read_file(dir / "work" / "data" / "MD00_ID004_P0850_DT26120400_TM00.txt");
    EXPECT_EQ(text.substr(0, text.find("  0  ")), "360  181");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 182);
}

TEST_F(GribCli, DamagedFilesNameTheMessage) {
    gribgen::Bytes one = gribgen::message(field(0, 0, 100, 85000, 288.15));
    gribgen::Bytes two = gribgen::message(field(0, 0, 100, 50000, 250.0));
    const std::size_t sec3 = 16 + 21, sec5 = sec3 + 72 + 34;
    auto patched = [&](std::size_t at, std::initializer_list<std::uint8_t> bytes) {
        gribgen::Bytes b = two;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
        return concat({one, b});
    };
    struct Damage {
        const char* name;
        gribgen::Bytes bytes;
        const char* text; // in the message on standard error
    } damages[] = {
        {"cut in the second message", concat({one, gribgen::Bytes(two.begin(), two.end() - 9)}),
         "message 2: truncated"},
        {"length beyond the message", patched(sec3, {0, 0, 0x7f, 0}), "message 2: section"},
        {"unstructured grid", patched(sec3 + 12, {0, 101}),
         "message 2: grid definition template 3.101 (general unstructured grid) is not "
         "supported"},
        {"JPEG packing", patched(sec5 + 9, {0, 40}),
         "message 2: data representation template 5.40 (JPEG 2000) is not supported"},
        {"absurd grid", patched(sec3 + 30, {0x7f, 0xff, 0xff, 0xff}), "message 2: absurd grid"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        write_file(path, d.bytes);
        for (const char* args :
             {"info ", "data --all --save out ", "image --all --format png --save out "}) {
            std::string a = args;
            Outcome r = kivar(a.substr(0, a.find(' ')) + " " + path + a.substr(a.find(' ')));
            EXPECT_EQ(r.status, 1) << args;
            EXPECT_NE(r.err.find(d.text), std::string::npos) << args << ": " << r.err;
        }
        // The undamaged first message is still there.
        EXPECT_NE(kivar("info " + path).out.find("levels: 850"), std::string::npos);
    }
}

} // namespace

namespace {

// The colour (0xRRGGBB) at (x, y) of an 8-bit BMP file, row 0 at the top;
// 0xff000000 when the file is missing or malformed.
uint32_t bmp_pixel(const std::string& file, int x, int y) {
    const std::string b = read_file(file);
    const auto u32 = [&](std::size_t at) {
        return at + 4 > b.size()
                   ? 0u
                   : uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
                         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
    };
    const uint32_t data = u32(10), w = u32(18), h = u32(22);
    if (b.size() < 54 || b[28] != 8 || x < 0 || y < 0 || uint32_t(x) >= w || uint32_t(y) >= h)
        return 0xff000000u;
    const std::size_t at = data + std::size_t(h - 1 - uint32_t(y)) * ((w + 3) / 4 * 4) + x;
    if (at >= b.size()) return 0xff000000u;
    return u32(54 + 4 * std::size_t(uint8_t(b[at]))) & 0xffffffu;
}

gribgen::Field lat_lon_field(double west, double north, int cols, int rows) {
    gribgen::Field f;
    f.centre = 7;
    f.cols = cols, f.rows = rows;
    f.lon_west = west, f.lat_north = north, f.lon_step = 1, f.lat_step = 1;
    f.bits = 16;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i)
            f.values.push_back(300 - std::abs(north - j) * 0.5 + std::sin(i * 0.1) * 3);
    return f;
}

TEST_F(GribCli, MapsOfAnyAreaAndProjection) {
    // A global and a European grid; each run draws one BMP map (or refuses).
    const struct {
        bool global;
        std::string options;
        int status;
        std::string err; // what standard error must hold
    } cases[] = {
        {true, "", 0, ""},
        {true, "--area 150 -120 20 60", 0, ""},
        {true, "--area 10.1 10.15 45.1 45.15", 0, ""}, // inside one cell
        {true, "--projection robinson --contour auto --palette diverging", 0, ""},
        {true, "--projection polar-north --palette viridis", 0, ""},
        {true, "--projection equalearth --contour 5", 0, ""},
        {true, "--projection nope", 2, "--projection wants one of: grid platecarree"},
        {true, "--palette nope", 2, "--palette wants one of: rainbow viridis"},
        {false, "", 0, ""},
        {false, "--projection lambert --contour auto", 0, ""},
        {false, "--projection mercator", 0, ""},
        {false, "--area 100 120 10 20", 1, "plot_field: The area lies outside the field's grid."},
    };
    const std::string map =
        (dir / "work" / "maps" / "MD00_ID004_P0850_DT26120400_TM00.bmp").string();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        write({c.global ? lat_lon_field(0, 90, 360, 181) : lat_lon_field(350, 70, 51, 41)});
        fs::remove_all(dir / "work" / "maps");
        const Outcome r = kivar("image " + path + " --format bmp --save maps " + c.options);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(fs::exists(map), c.status == 0);
        // The middle of the map is covered by cells.
        if (c.status == 0) {
            EXPECT_NE(bmp_pixel(map, 319, 298) & 0xffffffu, 0xffffffu);
        }
    }
}

} // namespace

namespace {

TEST_F(GribCli, ContourMapsBandTheColourBarAtTheLevels) {
    // A global field from about -21 to 30 C with lines every 5: the colour
    // range runs from -25 to 30 and the bar shows one colour per band.
    write({lat_lon_field(0, 90, 360, 181)});
    const Outcome r = kivar("image " + path + " --format bmp --save maps --contour 5");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string map =
        (dir / "work" / "maps" / "MD00_ID004_P0850_DT26120400_TM00.bmp").string();
    // The bar of the global map (1951 x 975 plot units, centred in the fixed
    // map's axes) stands 85 units right of it, 50 wide.
    const double k = 599.0 / 2819.0;
    const int x = int((526 + 1951 + 85 + 25) * k), top = int((1893 - 975) * k) + 3,
              bottom = int(1893 * k) - 3;
    std::vector<uint32_t> bands;
    for (int y = top; y <= bottom; ++y) {
        const uint32_t c = bmp_pixel(map, x, y);
        if (bands.empty() || bands.back() != c) bands.push_back(c);
    }
    EXPECT_EQ(bands.size(), 11u);
}

} // namespace
