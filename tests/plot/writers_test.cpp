// Image files byte by byte against their layouts, and read back by the
// system's image tools.
#include "plot_test_util.h"

#include <zlib.h>

#include <cstdlib>

using namespace plot_test;
using namespace razidu;

using WriterTest = PlotTest;

namespace {
// A 650 x 600 page with a red band at the top row and a blue one at the
// bottom row.
void draw_page(const char* device, const std::string& file, const char* table = nullptr) {
    captured([&] {
        filmod("delete");
        open_page(device, file, 650, 600, 2925, 2820, "revers");
        if (table) setvlt(table);
        raster_fill_rect(0, 0, 649, 0, 254);
        raster_fill_rect(0, 599, 649, 599, 30);
        raster_fill_rect(10, 10, 10, 10, 7);
        disfin();
    });
}
} // namespace

TEST_F(WriterTest, BmpLayout) {
    const std::string f = path("a.bmp");
    draw_page("bmp", f);
    const auto b = read_bytes(f);
    ASSERT_EQ(b.size(), 392278u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), 392278u);
    EXPECT_EQ(le32(b, 10), 54u + 1024u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 650u);
    EXPECT_EQ(le32(b, 22), 600u);
    EXPECT_EQ(le16(b, 26), 1u);
    EXPECT_EQ(le16(b, 28), 8u);
    EXPECT_EQ(le32(b, 34), 652u * 600u);
    EXPECT_EQ(le32(b, 38), 2500u);
    EXPECT_EQ(le32(b, 46), 256u);
    // Palette entry 0 is white in reversed mode: blue, green, red, 0.
    EXPECT_EQ(le32(b, 54), 0x00FFFFFFu);
    EXPECT_EQ(le32(b, 54 + 4 * 254), 0x00FF0000u); // red as B G R 0
    // The first row in the file is the bottom row of the picture.
    EXPECT_EQ(b[1078], 30);
    EXPECT_EQ(b[1078 + 649], 30);
    EXPECT_EQ(b[1078 + 650], 0); // padding
    EXPECT_EQ(b[1078 + 599 * 652], 254);
    EXPECT_EQ(b[1078 + (599 - 10) * 652 + 10], 7);

    draw_page("bmp", f, "vga");
    const auto v = read_bytes(f);
    EXPECT_EQ(v.size(), 54u + 64u + 652u * 600u);
    EXPECT_EQ(le32(v, 46), 16u);
    EXPECT_EQ(le32(v, 50), 16u);
}

TEST_F(WriterTest, TiffLayout) {
    const std::string f = path("a.tif");
    draw_page("tiff", f, "vga");
    const auto b = read_bytes(f);
    const uint32_t H = 600, W = 650;
    ASSERT_EQ(b.size(), 1682 + 6 * H + W * H);
    EXPECT_EQ(le32(b, 0), 0x002A4949u);
    EXPECT_EQ(le32(b, 4), 8u);
    EXPECT_EQ(le16(b, 8), 11u);
    const uint32_t tags[11] = {254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 320};
    const uint32_t values[11] = {0, W, H, 8, 1, 3, 146, 1, 1, 146 + 4 * H, 146 + 6 * H};
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(le16(b, 10 + 12 * i), tags[i]);
        EXPECT_EQ(le32(b, 18 + 12 * i), values[i]) << tags[i];
    }
    EXPECT_EQ(le32(b, 10 + 12 * 10 + 4), 768u);
    EXPECT_EQ(le32(b, 142), 0u);
    EXPECT_EQ(le32(b, 146 + 4 * 599), 1682 + 6 * H + 599 * W);
    EXPECT_EQ(le16(b, 146 + 4 * H), W);
    // The colour map holds all 256 entries whatever the table; VGA entry 12
    // is 255, 85, 85.
    const size_t map = 146 + 6 * H;
    EXPECT_EQ(le16(b, map + 2 * 12), 65535u);
    EXPECT_EQ(le16(b, map + 512 + 2 * 12), 85u * 257u);
    EXPECT_EQ(le16(b, map + 1024 + 2 * 12), 85u * 257u);
    EXPECT_EQ(b[1682 + 6 * H + 10 * W + 10], 7);
    EXPECT_EQ(b[1682 + 6 * H + 599 * W], 30);
}

TEST_F(WriterTest, PngLayoutAndData) {
    const std::string f = path("a.png");
    draw_page("png", f, "vga");
    const auto b = read_bytes(f);
    const std::vector<uint8_t> sig = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    ASSERT_GT(b.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 8), sig);
    std::vector<std::string> types;
    std::vector<uint8_t> idat;
    size_t at = 8;
    while (at + 12 <= b.size()) {
        const uint32_t len = be32(b, at);
        ASSERT_LE(at + 12 + len, b.size());
        const std::string type(b.begin() + long(at) + 4, b.begin() + long(at) + 8);
        types.push_back(type);
        const uint32_t crc = uint32_t(crc32(0, b.data() + at + 4, uInt(len + 4)));
        EXPECT_EQ(be32(b, at + 8 + len), crc) << type;
        if (type == "IHDR") {
            EXPECT_EQ(be32(b, at + 8), 650u);
            EXPECT_EQ(be32(b, at + 12), 600u);
            EXPECT_EQ(std::vector<uint8_t>(b.begin() + long(at) + 16, b.begin() + long(at) + 21),
                      (std::vector<uint8_t>{8, 3, 0, 0, 0}));
        }
        if (type == "PLTE") {
            EXPECT_EQ(len, 48u);
        }
        if (type == "IDAT") idat.assign(b.begin() + long(at) + 8, b.begin() + long(at) + 8 + len);
        at += 12 + len;
    }
    EXPECT_EQ(at, b.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
    std::vector<uint8_t> raw(600 * 651 + 1);
    uLongf raw_len = uLongf(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &raw_len, idat.data(), uLong(idat.size())), Z_OK);
    ASSERT_EQ(raw_len, 600u * 651u);
    EXPECT_EQ(raw[0], 0);   // filter byte
    EXPECT_EQ(raw[1], 254); // top row
    EXPECT_EQ(raw[10 * 651 + 11], 7);
    EXPECT_EQ(raw[599 * 651 + 1], 30);
    const uint8_t iend[8] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(std::vector<uint8_t>(b.end() - 8, b.end()), std::vector<uint8_t>(iend, iend + 8));
    EXPECT_EQ(png_crc(iend, 4), 0xAE426082u);
}

TEST_F(WriterTest, PpmAndRawDump) {
    const std::string f = path("a.ppm");
    captured([&] {
        open_page("ppm", f, 2, 1);
        raster_fill_rect(1, 0, 1, 0, 254);
        disfin();
    });
    const auto p = read_bytes(f);
    EXPECT_EQ(p, (std::vector<uint8_t>{0x50, 0x36, 0x0A, 0x32, 0x20, 0x31, 0x0A, 0x32, 0x35, 0x35,
                                       0x0A, 0, 0, 0, 255, 0, 0}));

    const std::string r = path("a.img");
    draw_page("imag", r);
    const auto b = read_bytes(r);
    ASSERT_EQ(b.size(), 80u + 652u * 600u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 80),
              "!Bitmap RAZIDU VIRT   650   600     8   652     8    32     0     1     0       ");
    EXPECT_EQ(b[80], 254);
    EXPECT_EQ(b[80 + 650], 0);
    EXPECT_EQ(b[80 + 599 * 652], 30);
}

TEST_F(WriterTest, UnwritableFileWarnsAndThePlotFinishes) {
    const std::string f = path("missing/a.png");
    const std::string out = captured([&] {
        open_page("png", f, 20, 20);
        disfin();
    });
    EXPECT_EQ(out.substr(0, 40), " <<<< Warning  36: File error in disfin!");
    EXPECT_EQ(g_plot.level, 0);
    EXPECT_EQ(g_plot.raster.pixels, nullptr);
    EXPECT_NE(out.find("END OF RAZIDU"), std::string::npos);
}

// The files are read by pngcheck, tiffinfo and ImageMagick without complaint
// (scripts/install-deps.sh installs them).
TEST_F(WriterTest, ImageToolsReadTheFiles) {
    const std::string png = path("t.png"), tif = path("t.tif"), bmp = path("t.bmp"),
                      ppm = path("t.ppm");
    draw_page("png", png);
    draw_page("tiff", tif);
    draw_page("bmp", bmp);
    draw_page("ppm", ppm);
    const std::string log = path("tools.txt");
    auto run = [&](const std::string& cmd) {
        const int rc = std::system((cmd + " > " + log + " 2>&1").c_str());
        return std::make_pair(rc, read_text(log));
    };
    auto [rc, text] = run("pngcheck " + png);
    EXPECT_EQ(rc, 0) << text;
    EXPECT_NE(text.find("OK"), std::string::npos) << text;
    std::tie(rc, text) = run("tiffinfo " + tif);
    EXPECT_EQ(rc, 0) << text;
    EXPECT_NE(text.find("Image Width: 650 Image Length: 600"), std::string::npos) << text;
    EXPECT_EQ(text.find("arning"), std::string::npos) << text;
    EXPECT_EQ(text.find("rror"), std::string::npos) << text;
    for (const std::string& f : {png, tif, bmp, ppm}) {
        std::tie(rc, text) = run("identify -format '%w %h\\n' " + f);
        EXPECT_EQ(rc, 0) << f << text;
        EXPECT_EQ(text, "650 600\n") << f;
    }
    // All four show the same picture.
    std::tie(rc, text) = run("compare -metric AE " + png + " " + bmp + " null:");
    EXPECT_EQ(text, "0") << "png/bmp";
    std::tie(rc, text) = run("compare -metric AE " + tif + " " + ppm + " null:");
    EXPECT_EQ(text, "0") << "tif/ppm";
}
