// GRIB2 files through the kivar program: the inventory on the nine items in
// their units, other parameters by their names, grids larger than the map,
// and damaged files (a message naming the message, exit status 1).
#include "grib/grib.h"
#include "gribgen/gribgen.h"
#include "cli_run.h"
#include "image_files.h"
#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testfiles;

namespace {

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

struct GribCli : KivarCli {
    std::string path = (dir / "fc.grib2").string();

    void write(const std::vector<gribgen::Field>& fields) {
        ASSERT_TRUE(gribgen::write_file(path, fields));
    }
};

TEST_F(GribCli, InventoryAndValuesInTheItemsUnits) {
    gribgen::Field rain = field(1, 8, 1, 0, 6.0, 6);
    rain.interval_hours = 3; // 6 mm over 3 hours: 2 mm/h
    gribgen::Field rain6 = field(1, 8, 1, 0, 6.0, 6);
    rain6.interval_hours = 6; // the same rain over another interval: an item of its own
    write({field(0, 0, 100, 85000, 288.15), field(3, 1, 101, 0, 101300),
           field(2, 8, 100, 85000, 1.0), rain, field(1, 0, 100, 85000, 0.5),
           field(0, 0, 105, 3, 280), rain6});
    Outcome r = kivar_ok("info " + path);
    EXPECT_EQ(r.out, "model: MSM (code 5)\n"
                     "initial: 26-12-04 00:00\n"
                     "levels: 850 hPa, surface, mean sea level, hybrid level 3\n"
                     "items at 850 hPa: 4 (Temperature (C)), 42 (w-wind (hPa/h)), 256 (Specific "
                     "humidity (kg/kg))\n"
                     "items at surface: 49 (Rain (mm/h)), 257 (Rain (mm/h), over 6 h)\n"
                     "items at mean sea level: 1 (Pressure (hPa))\n"
                     "items at hybrid level 3: 4 (Temperature (C))\nhours: 0 6\n");

    struct Want {
        const char* args;
        const char* file;
        const char* first_row;
    } wants[] = {
        {"--level 850 --item 4", "MD05_ID004_P0850_DT26120400_TM00.csv", "15,16,17,18"},
        {"--level '850 hPa' --item 4", "MD05_ID004_P0850_DT26120400_TM00.csv", "15,16,17,18"},
        {"--level 'mean sea level' --item 1", "MD05_ID001_Lmean-sea-level_DT26120400_TM00.csv",
         "1013,1013.01,1013.02,1013.03"},
        {"--level 850 --item 42", "MD05_ID042_P0850_DT26120400_TM00.csv", "36,72,108,144"},
        {"--level Surface --item 49 --hour 6", "MD05_ID049_Lsurface_DT26120400_TM06.csv",
         "2,2.333333,2.666667,3"},
        {"--level 850 --item 256", "MD05_ID256_P0850_DT26120400_TM00.csv", "0.5,1.5,2.5,3.5"},
        {"--level surface --item 257 --hour 6", "MD05_ID257_Lsurface_DT26120400_TM06.csv",
         "1,1.166667,1.333333,1.5"},
        {"--level hybridlevel3", "MD05_ID004_Lhybrid-level-3_DT26120400_TM00.csv",
         "6.85,7.85,8.85,9.85"},
    };
    for (const Want& w : wants) {
        SCOPED_TRACE(w.args);
        r = kivar_ok("data " + path + " --csv --save out " + w.args);
        std::string text = read_file(dir / "work" / "out" / w.file);
        std::size_t row = text.find('\n') + 1;
        EXPECT_EQ(text.substr(row, text.find('\n', row) - row), w.first_row);
    }
    EXPECT_NE(read_file(dir / "work" / "gpv.log").find("ID: 256  ITEM: Specific humidity"),
              std::string::npos);
    // Every field of the inventory: 7 files.
    r = kivar_ok("data " + path + " --all --save all");
    EXPECT_EQ(files_in("all"), 7);
    // A level the file does not have is a usage error that lists the names.
    r = kivar("data " + path + " --level '3 m above ground'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("levels: 850 hPa, surface, mean sea level, hybrid level 3"),
              std::string::npos)
        << r.err;
}

// (Maps of global grids: MapsOfAnyAreaAndProjection.)
TEST_F(GribCli, GlobalGridNamedAndExportedWhole) {
    write({lat_lon_field(0, 90, 360, 181)});
    Outcome r = kivar("info " + path);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "model: 1x1 (code 0)");
    r = kivar_ok("data " + path + " --save data");
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
         "message 2: grid definition template 3.101 (general unstructured grid) is not supported"},
        {"spectral packing", patched(sec5 + 9, {0, 50}),
         "message 2: data representation template 5.50 (spectral simple packing) is not supported"},
        // Found when decoding: the inventory lists it.
        {"broken JPEG 2000 data", patched(sec5 + 9, {0, 40}),
         "message 2: section 7 is not a JPEG 2000 code stream"},
        {"broken CCSDS data", patched(sec5 + 9, {0, 42}), "message 2: "},
        {"absurd grid", patched(sec3 + 30, {0x7f, 0xff, 0xff, 0xff}), "message 2: absurd grid"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        write_file(path, d.bytes);
        for (const char* args :
             {"info ", "data --all --save out ", "image --all --format png --save out "}) {
            std::string a = args;
            if (a == "info " && std::string(d.name).find("broken") == 0) continue;
            Outcome r = kivar(a.substr(0, a.find(' ')) + " " + path + a.substr(a.find(' ')));
            EXPECT_EQ(r.status, 1) << args;
            EXPECT_NE(r.err.find(d.text), std::string::npos) << args << ": " << r.err;
        }
        // The undamaged first message is still there.
        EXPECT_NE(kivar("info " + path).out.find("levels: 850 hPa"), std::string::npos);
    }
}

// Files as the main centres publish them, written by the independent tool:
// packings, levels, members, probabilities and tiny values, with WMO
// bulletin headers around each message. Every exported value is the one the
// tool decodes, in the significant digits it carries.
TEST_F(GribCli, ToolWrittenFilesWithHeadersMembersAndProbabilities) {
    if (!oracle::have_tools()) GTEST_SKIP() << "ecCodes tools are missing";
    struct Message {
        const char* packing;
        const char* keys;
        const char* file;                   // exported by data --all
        double factor = 1, offset = 273.15; // written values x factor; exported - offset
    } messages[] = {
        {"grid_jpeg", "typeOfFirstFixedSurface=103; scaledValueOfFirstFixedSurface=2;",
         "MD00_ID004_L2-m-above-ground_DT07032312_TM00.txt"},
        {"grid_ccsds", "typeOfFirstFixedSurface=1;", "MD00_ID004_Lsurface_DT07032312_TM00.txt"},
        {"grid_ccsds",
         "typeOfFirstFixedSurface=106; typeOfSecondFixedSurface=106; "
         "scaleFactorOfSecondFixedSurface=1; scaledValueOfSecondFixedSurface=4; "
         "scaleFactorOfFirstFixedSurface=1; scaledValueOfFirstFixedSurface=1;",
         "MD00_ID004_L0.1-0.4-m-below-ground_DT07032312_TM00.txt"},
        {"grid_simple",
         "productDefinitionTemplateNumber=1; typeOfEnsembleForecast=3; perturbationNumber=1; "
         "typeOfFirstFixedSurface=103; scaledValueOfFirstFixedSurface=2;",
         "MD00_ID256_L2-m-above-ground_DT07032312_TM00.txt"},
        {"grid_complex_spatial_differencing",
         "productDefinitionTemplateNumber=1; typeOfEnsembleForecast=3; perturbationNumber=2; "
         "typeOfFirstFixedSurface=103; scaledValueOfFirstFixedSurface=2;",
         "MD00_ID257_L2-m-above-ground_DT07032312_TM00.txt"},
        {"grid_simple",
         "productDefinitionTemplateNumber=9; parameterCategory=1; parameterNumber=8; "
         "probabilityType=3; scaleFactorOfLowerLimit=0; scaledValueOfLowerLimit=10; "
         "typeOfStatisticalProcessing=1; lengthOfTimeRange=3; typeOfFirstFixedSurface=1;",
         "MD00_ID258_Lsurface_DT07032312_TM03.txt", 1e-2 / 3, 0},
        {"grid_ieee", "parameterCategory=20; parameterNumber=0; typeOfFirstFixedSurface=1;",
         "MD00_ID259_Lsurface_DT07032312_TM00.txt", 1e-9, 0},
        {"grid_simple",
         "parameterCategory=20; parameterNumber=0; typeOfFirstFixedSurface=103; "
         "scaledValueOfFirstFixedSurface=10;",
         "MD00_ID259_L10-m-above-ground_DT07032312_TM00.txt", 1e-9, 0},
    };
    gribgen::Bytes file;
    const std::string header = "\x01\r\r\n123\r\r\nYTRA98 RJTD 071200\r\r\n";
    int n = 0;
    for (const Message& m : messages) {
        const fs::path out = dir / ("m" + std::to_string(n++) + ".grib2");
        const std::string values = oracle::values(61 * 41, [&](std::size_t k) {
            return m.factor * (280 + 15 * std::sin(k % 61 / 9.0) * std::cos(k / 61 / 7.0));
        });
        ASSERT_TRUE(oracle::filter(dir,
                                   std::string("Ni=61; Nj=41; centre=34;\n") +
                                       "latitudeOfFirstGridPointInDegrees=45;\n"
                                       "latitudeOfLastGridPointInDegrees=25;\n"
                                       "longitudeOfFirstGridPointInDegrees=120;\n"
                                       "longitudeOfLastGridPointInDegrees=150;\n"
                                       "iDirectionIncrementInDegrees=0.5;\n"
                                       "jDirectionIncrementInDegrees=0.5;\n"
                                       "bitsPerValue=16;\ndecimalScaleFactor=" +
                                       (m.factor < 1e-6 ? "12" : "3") + ";\nvalues={" + values +
                                       "};\npackingType=\"" + m.packing + "\";\nset " + m.keys +
                                       "\nwrite \"" + out.string() + "\";\n",
                                   "regular_ll_sfc_grib2.tmpl"))
            << m.keys;
        const std::string bytes = read_file(out);
        file.insert(file.end(), header.begin(), header.end());
        file.insert(file.end(), bytes.begin(), bytes.end());
        file.insert(file.end(), {'\r', '\r', '\n', '\x03'});
    }
    write_file(path, file);
    Outcome r = kivar_ok("info " + path);
    const std::string dust = grib::parameter_name(0, 20, 0);
    EXPECT_EQ(r.out,
              "model: 0.5x0.5 (code 0)\ninitial: 07-03-23 12:00\n"
              "levels: surface, 2 m above ground, 10 m above ground, 0.1-0.4 m below ground\n"
              "items at surface: 4 (Temperature (C)), 258 (" +
                  grib::parameter_name(0, 1, 8) + ", probability > 10 (%)), 259 (" + dust +
                  ")\n"
                  "items at 2 m above ground: 4 (Temperature (C)), 256 (Temperature (C), member "
                  "1), 257 (Temperature (C), member 2)\n"
                  "items at 10 m above ground: 259 (" +
                  dust + ")\nitems at 0.1-0.4 m below ground: 4 (Temperature (C))\nhours: 0 3\n");
    r = kivar_ok("data " + path + " --all --save all");
    n = 0;
    for (const Message& m : messages) {
        SCOPED_TRACE(m.file);
        const fs::path one = dir / ("m" + std::to_string(n++) + ".grib2");
        const std::vector<oracle::Point> ref = oracle::points(one.string());
        std::istringstream ours(read_file(dir / "work" / "all" / m.file));
        std::string line;
        std::getline(ours, line);
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(ref.size(), 61u * 41u);
        for (std::size_t k = 0; k < ref.size(); ++k) {
            double got;
            ASSERT_TRUE(ours >> got) << k;
            EXPECT_NEAR(got + m.offset, ref[k].value, 2e-6 * std::fabs(ref[k].value)) << k;
        }
    }
    r = kivar_ok("image " + path + " --all --format png --save maps");
    EXPECT_EQ(files_in("maps"), 8);
}

// A nowcast: run-length packed fields every 5 minutes. Each time is its own
// entry, listed as H:MM and named HHMM in the output files.
TEST_F(GribCli, NowcastTimesInMinutes) {
    gribgen::Bytes all;
    for (int minutes = 0; minutes <= 15; minutes += 5) {
        gribgen::Field f = field(1, 52, 1, 0, 0);
        std::vector<int> levels(12);
        for (int k = 0; k < 12; ++k)
            levels[k] = (k + minutes / 5) % 4;
        gribgen::Bytes b = gribgen::run_length_message(f, 4, {1, 2, 3}, 1, levels);
        const std::size_t sec4 = 16 + 21 + 72;
        b[sec4 + 17] = 0; // unit: minute
        b[sec4 + 21] = static_cast<std::uint8_t>(minutes);
        all.insert(all.end(), b.begin(), b.end());
    }
    write_file(path, all);
    Outcome r = kivar_ok("info " + path);
    EXPECT_NE(r.out.find("hours: 0:00 0:05 0:10 0:15\n"), std::string::npos) << r.out;
    r = kivar_ok("data " + path + " --all --csv --save all");
    EXPECT_EQ(files_in("all"), 4);
    // Levels 1 2 3 0 at 0:05 (0 missing), of 0.1, 0.2, 0.3 mm/s, in mm/h.
    std::string text =
        read_file(dir / "work" / "all" / "MD05_ID049_Lsurface_DT26120400_TM0005.csv");
    EXPECT_EQ(text.substr(text.find('\n') + 1, 17), "360,720,1080,nan\n") << text;
    r = kivar_ok("data " + path + " --hour 0:15 --save one");
    EXPECT_TRUE(fs::exists(dir / "work" / "one" / "MD05_ID049_Lsurface_DT26120400_TM0015.txt"));
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
            const Image im = read_image(map);
            EXPECT_EQ(im.w * 1000 + im.h, 650600);
            EXPECT_NE(im.at(319, 298), 0xffffffu);
        }
    }
}

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
    const Image im = read_image(map);
    std::vector<uint32_t> bands;
    for (int y = top; y <= bottom; ++y) {
        const uint32_t c = im.at(x, y);
        if (bands.empty() || bands.back() != c) bands.push_back(c);
    }
    EXPECT_EQ(bands.size(), 11u);
}

} // namespace
