// Image files byte by byte against their layouts, and read back by the
// system's image tools. Failures injected into every writer: a sink that
// fails at its k-th write for the image writers, and a file-size limit of k
// bytes for the files of every device family. Each time the failure is
// reported and no file that was cut short takes the output name.
#include "plot_test_util.h"
#include "file_limit.h"

#include <zlib.h>
#include <map>
#include <cstring>
#include <functional>

using namespace plot_test;
using namespace razidu;

using WriterTest = PlotTest;

namespace {
// A 650 x 600 page with a red band at the top row, a blue one at the
// bottom row and one pixel of colour 7 at (10, 10).
std::vector<uint8_t> draw_page(const char* device, const std::string& file,
                               const char* table = nullptr) {
    captured([&] {
        filmod("delete");
        open_page(device, file, 650, 600, 2925, 2820, "revers");
        if (table) setvlt(table);
        raster_fill_rect(0, 0, 649, 0, 254);
        raster_fill_rect(0, 599, 649, 599, 30);
        raster_fill_rect(10, 10, 10, 10, 7);
        disfin();
    });
    return read_bytes(file);
}
} // namespace

TEST_F(WriterTest, BmpLayout) {
    const std::string f = path("a.bmp");
    const auto b = draw_page("bmp", f);
    ASSERT_EQ(b.size(), 392278u);
    EXPECT_EQ(le16(b, 0), 'B' | 'M' << 8);
    // Offset and value of the 32-bit fields, then of the 16-bit ones.
    // Entry 0 of the palette is white in reversed mode, 254 red as B G R 0.
    const std::pair<size_t, uint32_t> fields[] = {
        {2, 392278},     {10, 54 + 1024}, {14, 40},  {18, 650},        {22, 600},
        {34, 652 * 600}, {38, 2500},      {46, 256}, {54, 0x00FFFFFF}, {54 + 4 * 254, 0x00FF0000}};
    for (auto [at, value] : fields)
        EXPECT_EQ(le32(b, at), value) << at;
    EXPECT_EQ(le16(b, 26), 1u);
    EXPECT_EQ(le16(b, 28), 8u);
    // The first row in the file is the bottom row of the picture, then padding.
    EXPECT_EQ(std::vector<int>({b[1078], b[1078 + 649], b[1078 + 650], b[1078 + 599 * 652],
                                b[1078 + (599 - 10) * 652 + 10]}),
              std::vector<int>({30, 30, 0, 254, 7}));
    // The VGA table gives a palette of 16 entries.
    const auto v = draw_page("bmp", f, "vga");
    EXPECT_EQ(v.size(), 54u + 64u + 652u * 600u);
    EXPECT_EQ(le32(v, 46), 16u);
    EXPECT_EQ(le32(v, 50), 16u);
}

// The layouts byte by byte, then read by tiffinfo and pngcheck without
// complaint (scripts/install-deps.sh installs them).
TEST_F(WriterTest, TiffLayout) {
    const auto b = draw_page("tiff", path("a.tif"), "vga");
    const RunResult r = run("tiffinfo " + path("a.tif"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Image Width: 650 Image Length: 600"), std::string::npos);
    EXPECT_EQ(r.output.find("arning"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("rror"), std::string::npos) << r.output;
    const uint32_t H = 600, W = 650;
    ASSERT_EQ(b.size(), 1682 + 6 * H + W * H);
    EXPECT_TRUE(le32(b, 0) == 0x002A4949u && le32(b, 4) == 8u && le16(b, 8) == 11u);
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

// Chunks walked with their lengths and CRCs, the image data inflated.
TEST_F(WriterTest, PngLayoutAndData) {
    const auto b = draw_page("png", path("a.png"), "vga");
    const RunResult r = run("pngcheck " + path("a.png"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("OK"), std::string::npos) << r.output;
    ASSERT_GT(b.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', 13, 10, 26, 10}));
    std::string types;
    std::map<std::string, std::vector<uint8_t>> chunks;
    size_t at = 8;
    for (uint32_t len; at + 12 <= b.size(); at += 12 + len) {
        len = be32(b, at);
        ASSERT_LE(at + 12 + len, b.size());
        const std::string type(b.begin() + long(at) + 4, b.begin() + long(at) + 8);
        types += type + " ";
        EXPECT_EQ(be32(b, at + 8 + len), crc32(0, b.data() + at + 4, uInt(len + 4))) << type;
        const std::vector<uint8_t> data(b.begin() + long(at) + 8, b.begin() + long(at + 8 + len));
        chunks[type] = data;
    }
    EXPECT_EQ(at, b.size());
    EXPECT_EQ(types, "IHDR PLTE IDAT IEND ");
    EXPECT_EQ(chunks["IHDR"], (std::vector<uint8_t>{0, 0, 2, 138, 0, 0, 2, 88, 8, 3, 0, 0, 0}));
    EXPECT_EQ(chunks["PLTE"].size(), 48u); // the 16 colours of VGA
    const std::vector<uint8_t>& idat = chunks["IDAT"];
    std::vector<uint8_t> raw(600 * 651 + 1);
    uLongf raw_len = uLongf(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &raw_len, idat.data(), uLong(idat.size())), Z_OK);
    ASSERT_EQ(raw_len, 600u * 651u);
    // Filter byte 0, the top row, the pixel at (10, 10), the bottom row.
    EXPECT_EQ(std::vector<int>({raw[0], raw[1], raw[10 * 651 + 11], raw[599 * 651 + 1]}),
              std::vector<int>({0, 254, 7, 30}));
}

TEST_F(WriterTest, PpmAndRawDump) {
    const std::string f = path("a.ppm");
    captured([&] {
        open_page("ppm", f, 2, 1);
        raster_fill_rect(1, 0, 1, 0, 254);
        disfin();
    });
    EXPECT_EQ(read_text(f), std::string("P6\n2 1\n255\n\0\0\0\xff\0\0", 17));
    const auto b = draw_page("imag", path("a.img"));
    ASSERT_EQ(b.size(), 80u + 652u * 600u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 80),
              "!Bitmap RAZIDU VIRT   650   600     8   652     8    32     0     1     0       ");
    EXPECT_EQ(std::vector<int>({b[80], b[80 + 650], b[80 + 599 * 652]}),
              std::vector<int>({254, 0, 30}));
}

// Pages of one and two rows hold their strip offset and byte counts in the
// directory entries themselves, where TIFF readers look for them.
TEST_F(WriterTest, TiffOfOneOrTwoRowsReadsBackWithItsColours) {
    for (int h : {1, 2}) {
        const std::string f = path("s" + std::to_string(h) + ".tif");
        captured([&] {
            open_page("tiff", f, 3, h, 100, 100, "revers");
            raster_fill_rect(0, 0, 2, 0, 254); // red top row, white below
            disfin();
        });
        const auto b = read_bytes(f);
        const uint32_t H = uint32_t(h);
        EXPECT_EQ(le32(b, 18 + 12 * 6), H == 1 ? 1682 + 6 * H : 146u);
        EXPECT_EQ(le32(b, 18 + 12 * 9), H == 1 ? 3u : 3u | 3u << 16);
        RunResult r = run("tiffinfo " + f + " 2>&1 && convert " + f + " -depth 8 txt:-");
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output.find("rror"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("2,0: (255,0,0)"), std::string::npos) << r.output;
        if (h == 2) {
            EXPECT_NE(r.output.find("1,1: (255,255,255)"), std::string::npos) << r.output;
        }
    }
}

using testfiles::lift_file_limit;
using testfiles::with_file_limit;

using FaultTest = PlotTest;

namespace {

// Keeps the bytes of its writes and fails the write numbered `fail_at`.
struct TestSink : Sink {
    long fail_at = -1;
    long writes = 0;
    std::vector<uint8_t> bytes;
    bool write(const void* p, size_t n) override {
        if (writes++ == fail_at) return false;
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(p),
                     static_cast<const uint8_t*>(p) + n);
        return true;
    }
};

// A small image of every colour with a table of distinct entries.
struct Picture {
    RasterImage image;
    uint32_t colours[256];
    Picture() {
        image.width = 13, image.height = 5, image.stride = 16;
        image.pixels.reset(new uint8_t[16 * 5]);
        for (int k = 0; k < 16 * 5; ++k)
            image.pixels[size_t(k)] = uint8_t(k * 7);
        for (uint32_t k = 0; k < 256; ++k)
            colours[k] = k * 0x010203u;
    }
};

} // namespace

// Each image writer stops at a failed write, whichever it is, and says so;
// what reached the sink before is exactly what a whole file begins with.
TEST_F(FaultTest, ImageWritersStopAtAFailedWrite) {
    Picture pic;
    const std::pair<const char*, std::function<int(Sink&)>> writers[] = {
        {"tiff", [&](Sink& s) { return write_tiff(s, pic.image, pic.colours); }},
        {"raw", [&](Sink& s) { return write_raw_image(s, pic.image); }},
        {"png", [&](Sink& s) { return write_png(s, pic.image, 16, pic.colours); }},
        {"ppm", [&](Sink& s) { return write_ppm(s, pic.image, pic.colours); }},
        {"bmp", [&](Sink& s) { return write_bmp(s, pic.image, 9, pic.colours); }},
    };
    for (const auto& [name, writer] : writers) {
        TestSink whole;
        ASSERT_EQ(writer(whole), 0) << name;
        ASSERT_GT(whole.writes, 3) << name;
        const int failed = std::strcmp(name, "raw") == 0 ? 1 : -1;
        for (long k = 0; k < whole.writes; ++k) {
            TestSink cut;
            cut.fail_at = k;
            EXPECT_EQ(writer(cut), failed) << name << " " << k;
            EXPECT_EQ(cut.writes, k + 1) << name << " " << k; // no write after the failure
            EXPECT_TRUE(std::equal(cut.bytes.begin(), cut.bytes.end(), whole.bytes.begin()))
                << name << " " << k;
        }
    }
}

namespace {

// One page on a device into `file`; `variant` changes a line so that a new
// file differs from an earlier one.
void draw(const char* device, const std::string& file, int variant) {
    filmod("delete");
    open_page(device, file, 60, 40, 600, 400, "revers");
    hwfont();
    messag("Page", 100, 100);
    strtpt(10, 10);
    connpt(float(500 + variant), 300);
    disfin();
}

} // namespace

// Every device family under file-size limits from nothing to one byte short:
// warning 36, the outcome "not written whole" with the system's reason, the
// earlier file of the name as it was and no temporary file left.
TEST_F(FaultTest, FilesCutShortNeverTakeTheirName) {
    const char* const devices[] = {"png", "bmp", "tiff", "ppm", "imag",
                                   "ps",  "eps", "pdf",  "cgm", "gksl"};
    for (const char* device : devices) {
        const std::string file = path(std::string("page.") + device);
        captured([&] { draw(device, file, 0); });
        const std::vector<uint8_t> good = read_bytes(file);
        ASSERT_GT(good.size(), 8u) << device;
        const rlim_t size = good.size();
        for (rlim_t limit : {rlim_t{0}, rlim_t{1}, size / 3, size / 2, size - 1}) {
            const int status = with_file_limit(limit, [&] {
                // Standard output into a pipe: a file would meet the limit.
                int p[2];
                if (pipe(p) != 0 || dup2(p[1], 1) < 0) return 2;
                draw(device, file, 1);
                std::fflush(stdout);
                close(1);
                close(p[1]);
                std::string out(1 << 16, '\0');
                out.resize(size_t(std::max<ssize_t>(read(p[0], out.data(), out.size()), 0)));
                const PageOutcome o = page_outcome();
                return out.find("Warning  36: File error") != std::string::npos && o.status == 2 &&
                               o.warning == 36 && file == o.file &&
                               std::strcmp(o.reason, "File too large") == 0
                           ? 0
                           : 1;
            });
            EXPECT_EQ(status, 0) << device << " " << limit;
            EXPECT_TRUE(read_bytes(file) == good) << device << " " << limit;
            EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1) << device << " " << limit;
        }
        fs::remove(file);
    }
}

// A write that fails keeps its reason, even when the writes after it would
// succeed (another process freed the disk): the file-size limit is raised
// while the page goes on.
TEST_F(FaultTest, FailedWritesKeepTheSystemsReason) {
    for (const char* device : {"ps", "cgm", "gksl"}) { // the devices that write as they draw
        const std::string file = path(std::string("late.") + device);
        const int status = with_file_limit(100, [&] {
            if (!freopen("/dev/null", "w", stdout)) return 2;
            filmod("delete");
            open_page(device, file, 60, 40, 600, 400, "revers");
            for (int k = 0; k < 20000; ++k)
                k % 2 ? connpt(float(k % 590), float(k % 390)) : strtpt(float(k % 500), 10);
            lift_file_limit();
            disfin();
            return page_outcome().status == 2 &&
                           std::strcmp(page_outcome().reason, "File too large") == 0
                       ? 0
                       : 1;
        });
        EXPECT_EQ(status, 0) << device;
        EXPECT_FALSE(fs::exists(file)) << device;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 0) << device;
    }
}

// A file that cannot be created: outcome 1 with the reason (on a raster
// device warning 36 too), the plot finishes and frees its page, and the run
// of pages goes on; after a written page the outcome is 0.
TEST_F(FaultTest, FilesThatCannotBeCreated) {
    for (const char* device : {"png", "ps", "cgm"}) {
        const std::string file = path(std::string("dir.") + device);
        fs::create_directories(file);
        const std::string out = captured([&] { draw(device, file, 0); });
        if (device[1] == 'n') { // the raster devices warn
            EXPECT_TRUE(out.starts_with(" <<<< Warning  36: File error in disfin!")) << out;
        }
        EXPECT_NE(out.find("END OF RAZIDU"), std::string::npos) << out;
        EXPECT_TRUE(g_plot.level == 0 && g_plot.raster.pixels == nullptr) << device;
        EXPECT_EQ(page_outcome().status, 1) << device;
        EXPECT_STREQ(page_outcome().reason, "Is a directory") << device;
        captured([&] { draw(device, file + ".x", 0); });
        EXPECT_EQ(page_outcome().status, 0) << device;
        EXPECT_EQ(partial_file(), nullptr);
    }
}
