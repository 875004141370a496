// PDF files: an xref and object walker that inflates the content streams,
// and pages read by qpdf, pdftoppm and pdftotext.
#include "plot/vector/vector.h"
#include "plot_test_util.h"

#include <cmath>
#include <map>

#include <zlib.h>

using namespace plot_test;
using namespace razidu;

namespace {

using PdfTest = PlotTest;

// What the walker found in a file.
struct PdfDoc {
    std::map<int, std::string> objects; // number -> text between "obj" and "endobj"
    std::map<int, std::string> streams; // number -> stream data, inflated
    int size = 0, info = 0;
    std::vector<int> contents; // content streams of the page, in order
    std::string page;          // the page object
    std::string operators;     // all content streams joined
};

int number_after(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + key.size());
}

std::string inflate_all(const std::string& in) {
    std::string out(1 << 22, '\0'); // a content stream holds at most 300,000 bytes
    uLongf size = uLongf(out.size());
    uLong used = uLong(in.size());
    EXPECT_EQ(uncompress2(reinterpret_cast<Bytef*>(out.data()), &size,
                          reinterpret_cast<const Bytef*>(in.data()), &used),
              Z_OK);
    EXPECT_EQ(used, in.size()); // nothing after the deflate stream
    return out.substr(0, size);
}

// Reads the trailer and the cross-reference table (whose offsets qpdf
// checks), then each object and stream.
void walk(const std::string& b, PdfDoc& doc) {
    ASSERT_TRUE(b.starts_with("%PDF-1.3\n") && b.ends_with("%%EOF\n"));
    const size_t sx = b.rfind("startxref\n");
    ASSERT_NE(sx, std::string::npos);
    const size_t xref = size_t(std::atol(b.c_str() + sx + 10));
    ASSERT_EQ(b.compare(std::min(xref, b.size()), 7, "xref\n0 "), 0);
    doc.size = std::atoi(b.c_str() + xref + 7);
    const size_t at = b.find('\n', xref + 5) + 1;
    const std::string tail = b.substr(std::min(at + 20 * size_t(doc.size), b.size()));
    ASSERT_TRUE(tail.starts_with("trailer\n"));
    EXPECT_NE(tail.find("/Root 1 0 R"), std::string::npos);
    doc.info = number_after(tail, "/Info ");
    for (int n = 1; n < doc.size; ++n) {
        const size_t off = size_t(std::atol(b.c_str() + at + 20 * size_t(n)));
        const std::string head = std::to_string(n) + " 0 obj\n";
        const size_t end = b.find("endobj\n", off);
        ASSERT_TRUE(b.compare(off, head.size(), head) == 0 && end != b.npos) << "object " << n;
        doc.objects[n] = b.substr(off + head.size(), end - off - head.size());
    }
    for (auto& [n, body] : doc.objects) {
        const size_t s = body.find(">>\nstream\n");
        if (s == std::string::npos) continue;
        int length = number_after(body, "/Length ");
        if (body.find("/Length " + std::to_string(length) + " 0 R") != std::string::npos)
            length = std::atoi(doc.objects[length].c_str());
        ASSERT_EQ(body.substr(s + 10 + size_t(length)), "endstream\n") << "stream " << n;
        const std::string raw = body.substr(s + 10, size_t(length));
        doc.streams[n] = body.find("/Filter /FlateDecode") != body.npos ? inflate_all(raw) : raw;
    }
    EXPECT_NE(doc.objects[1].find("<< /Type /Catalog /Pages 2 0 R\n>>"), std::string::npos);
    EXPECT_NE(doc.objects[2].find("] /Count 1\n"), std::string::npos);
    doc.page = doc.objects[number_after(doc.objects[2], "/Kids [\n")];
    EXPECT_TRUE(doc.page.starts_with("<<\n/Type /Page\n")) << doc.page;
    EXPECT_NE(doc.page.find("/Parent 2 0 R\n"), std::string::npos);
    if (int single = number_after(doc.page, "/Contents "); single > 0) {
        doc.contents.push_back(single);
    } else {
        std::istringstream refs(doc.page.substr(doc.page.find("/Contents [\n") + 12));
        for (int r, g; refs >> r >> g && refs.ignore(3);)
            doc.contents.push_back(r);
    }
    for (int n : doc.contents) {
        ASSERT_TRUE(doc.streams.count(n)) << n;
        doc.operators += doc.streams[n];
    }
}

// The status of a new page of w x h, compressed or not, written to file.
int opened(const std::string& file, int w, int h, int compress) {
    int status = 1;
    pdf_open(file.c_str(), w, h, compress, &status);
    return status;
}

// A file that qpdf finds free of errors and warnings, walked. (Operators
// with wrong operand counts make pdftoppm below print errors.)
PdfDoc read_pdf(const std::string& file) {
    const RunResult r = run("qpdf --check " + file);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("WARNING"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("No syntax or stream encoding errors found"), std::string::npos);
    PdfDoc doc;
    [&] { ASSERT_NO_FATAL_FAILURE(walk(read_text(file), doc)); }();
    return doc;
}

// The page rendered by pdftoppm at dpi: a pixel at a plot point of the
// turned page (plot y across, plot x up).
template <class F> void render(const std::string& file, int dpi, F check) {
    const RunResult r = run("pdftoppm -r " + std::to_string(dpi) + " " + file + " " + file);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    Ppm image;
    ASSERT_TRUE(image.load(file + "-1.ppm"));
    const float s = 0.19608f * float(dpi) / 72;
    check(image, [&](float x, float y) { return image.at(int(y * s), int(image.h - x * s)); });
}

} // namespace

TEST_F(PdfTest, ApplicationPageWalksChecksAndRenders) {
    FixedDate date("1704164645"); // 2024-01-02 03:04:05 UTC
    const std::string f = path("map.pdf");
    const TestPage page;
    page.plot("pdf", f, "norevers"); // black background
    const PdfDoc doc = read_pdf(f);
    EXPECT_NE(doc.page.find("/MediaBox [0 0 553 574]\n"), std::string::npos);
    EXPECT_NE(doc.page.find("/Resources << /ProcSet [/PDF]\n>>\n"), std::string::npos);
    EXPECT_EQ(doc.contents, std::vector<int>{3});
    EXPECT_NE(doc.objects.at(doc.info).find("/CreationDate (D:20240102030405)\n"),
              std::string::npos);
    EXPECT_EQ(doc.size, 6); // free entry, catalog, pages, content, page, info
    EXPECT_TRUE(doc.operators.starts_with("0.709 w\n2 J\n2 j\n0 0 0 rg\n0.00 0.00 553.7"))
        << doc.operators.substr(0, 80);
    render(f, 144, [&](const Ppm& image, auto pixel) {
        EXPECT_EQ(image.w, (553 * 144 + 71) / 72);
        page.expect_cells(pixel);
        EXPECT_EQ(pixel(100, 100), 0u); // the black page outside the cells
    });
}

// Past 300,000 bytes of operators the page gets several content streams,
// listed in a /Contents array; readers see one page.
TEST_F(PdfTest, LargePageSplitsIntoContentStreams) {
    const std::string f = path("big.pdf");
    TestPage page;
    page.nx = 150, page.ny = 100, page.w = 15, page.h = 22;
    page.plot("pdf", f, "revers");
    const PdfDoc doc = read_pdf(f);
    ASSERT_GE(doc.contents.size(), 2u);
    for (int n : doc.contents) // each ends between two tokens
        EXPECT_TRUE(doc.streams.at(n).size() <= 300000u && isspace(doc.streams.at(n).back()));
    // No cell is lost.
    size_t cells = 0;
    for (size_t at = 0; (at = doc.operators.find(" re\nf\n", at)) != std::string::npos; ++at)
        ++cells;
    EXPECT_EQ(cells, size_t(page.nx * page.ny));
}

// Without compression the stream length is an object of its own; text
// brings a font object and the /Text resources; colour components 0, 255
// and between, and the cache of the filling colour.
TEST_F(PdfTest, UncompressedPageWithText) {
    const std::string f = path("t.pdf");
    ASSERT_EQ(opened(f, 300, 100, 0), 0);
    pdf_colour(255, 0, 128, 1);
    pdf_colour(255, 0, 128, 1); // same filling colour: written once
    pdf_colour(255, 0, 128, 0);
    pdf_colour(255, 0, 128, 0); // the stroking colour every time
    pdf_path(10, 10, 3);
    pdf_path(290, 10, 2);
    pdf_path(NAN, 1e30f, 2); // written as numbers that readers accept
    const float m[6] = {1, 0, 0, 1, 10, 50};
    const float turned[6] = {0.5f, 0.866f, -0.866f, 0.5f, 200, 20};
    pdf_text('(', m, 0, 0, 12);
    pdf_text(127, m, 0, 0, 12);       // Adieresis
    pdf_text(200, m, 90, 0, 12);      // beyond the table: a blank
    pdf_text('x', turned, 60, 4, 10); // another font: a new BT block
    pdf_path(20, 20, 3);
    pdf_path(0, 0, 1);
    const PdfDoc doc = read_pdf(f);
    EXPECT_EQ(doc.operators,
              "0.709 w\n2 J\n2 j\n1 0 0.502 rg\n1 0 0.502 RG\n1 0 0.502 RG\n10.00 10.00 m\n"
              "290.00 10.00 l\n0.00 10000000.00 l\nS\nBT\n/F1 12 Tf\n1 0 0 1 10.00 50.00 Tm\n"
              "(\\50) Tj\n1 0 0 1 10.00 50.00 Tm\n(\\304) Tj\n0 1 -1 0 10.00 50.00 Tm\n(\\40) Tj\n"
              "ET\nBT\n/F5 10 Tf\n0.50 0.87 -0.87 0.50 200.00 20.00 Tm\n(x) Tj\nET\n"
              "20.00 20.00 m\nS\n");
    EXPECT_EQ(doc.size, 9); // contents, its length object, two fonts, page, info
    EXPECT_NE(doc.objects.at(3).find("<< /Length 4 0 R >>\nstream\n"), std::string::npos);
    EXPECT_EQ(doc.objects.at(5), "<< /Type /Font\n/Subtype /Type1\n/BaseFont /Times-Roman\n"
                                 "/Encoding /WinAnsiEncoding\n>>\n");
    EXPECT_NE(doc.objects.at(6).find("/BaseFont /Helvetica\n"), std::string::npos);
    EXPECT_NE(doc.page.find("/Resources << /ProcSet [/PDF /Text]\n/Font <<\n/F1 5 0 R\n/F5 6 0 "
                            "R\n>>\n>>\n/Contents 3 0 R\n"),
              std::string::npos)
        << doc.page;
}

// Codes 127 to 186 come out as the accented letters of the PostScript
// re-encoding vector, read back by pdftotext.
TEST_F(PdfTest, AccentedLettersReadBack) {
    const std::string f = path("a.pdf");
    ASSERT_EQ(opened(f, 800, 100, 1), 0);
    for (int code = 127; code <= 186; ++code) {
        const float m[6] = {1, 0, 0, 1, 10.0f + float(code - 127) * 12, 50};
        pdf_text(code, m, 0, 0, 10);
    }
    pdf_path(0, 0, 1);
    RunResult r = run("pdftotext -raw " + f + " -");
    ASSERT_EQ(r.status, 0) << r.output;
    std::erase_if(r.output, [](char c) { return isspace(c); });
    EXPECT_EQ(r.output, "ÄÖÜäöüßÅØÆåøæÑñÇçËÏëïÁÉÍÓÚáéíóúÀÈÌÒÙàèìòùÂÊÎÔÛâêîôûÃãÕõÝýÿ¡¿");
}

// Coordinates are written exactly as "%.2f" writes them, ties included; a
// file that cannot be opened stops the program.
TEST_F(PdfTest, CoordinatesAndBadFile) {
    const std::string f = path("n.pdf");
    ASSERT_EQ(opened(f, 100, 100, 0), 0);
    std::vector<float> values = {0.125f, 0.375f, 2.675f, -0.001f, -0.0f, 0.005f, 1e7f, 552.755f};
    uint32_t seed = 12345;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        values.push_back(float(int32_t(seed) / 256) / float(1 << (seed % 24))); // within 1e7
    }
    std::string want = "0.709 w\n2 J\n2 j\n";
    char line[96];
    for (size_t i = 0; i + 1 < values.size(); i += 2) {
        pdf_path(values[i], values[i + 1], 3);
        snprintf(line, sizeof line, "%s%.2f %.2f m\n", i ? "S\n" : "", double(values[i]),
                 double(values[i + 1]));
        want += line;
    }
    pdf_path(0, 0, 1);
    PdfDoc doc;
    ASSERT_NO_FATAL_FAILURE(walk(read_text(f), doc));
    want += "S\n";
    const auto [a, b] =
        std::mismatch(want.begin(), want.end(), doc.operators.begin(), doc.operators.end());
    EXPECT_TRUE(a == want.end() && b == doc.operators.end())
        << "differs at " << (a - want.begin()) << ": "
        << std::string(a, std::min(a + 40, want.end()));

    EXPECT_EQ(opened(path("no/such/folder/x.pdf"), 100, 100, 1), -1);
    pdf_path(1, 1, 3); // nothing open: nothing happens
    pdf_path(0, 0, 1);
    EXPECT_EXIT(
        {
            open_page("pdf", path("missing/x.pdf"));
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}
