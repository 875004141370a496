// Failures injected into every writer: a sink that fails at its k-th write
// for the image writers, and a file-size limit of k bytes for the files of
// every device family. Each time the failure is reported and no file that
// was cut short takes the output name.
#include "file_limit.h"
#include "plot_test_util.h"

#include <cstring>
#include <functional>

using namespace plot_test;
using namespace razidu;
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

// A file that cannot be created: outcome 1 with the reason, and the run of
// pages goes on; after a written page the outcome is 0.
TEST_F(FaultTest, FilesThatCannotBeCreated) {
    for (const char* device : {"png", "ps", "cgm"}) {
        const std::string file = path(std::string("dir.") + device);
        fs::create_directories(file);
        captured([&] { draw(device, file, 0); });
        EXPECT_EQ(page_outcome().status, 1) << device;
        EXPECT_STREQ(page_outcome().reason, "Is a directory") << device;
        captured([&] { draw(device, file + ".x", 0); });
        EXPECT_EQ(page_outcome().status, 0) << device;
        EXPECT_EQ(partial_file(), nullptr);
    }
}
