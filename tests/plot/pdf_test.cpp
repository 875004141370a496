// PDF files: an xref and object walker that inflates the content streams
// and checks their operators, and pages read by qpdf, pdftoppm and
// pdftotext.
#include "plot/vector/vector.h"
#include "vector_test_util.h"

#include <cmath>
#include <map>
#include <regex>
#include <sstream>

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
    std::string out(in.size() * 4 + 1024, '\0');
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.total_out == out.size()) out.resize(out.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + z.total_out);
        z.avail_out = uInt(out.size() - z.total_out);
        rc = inflate(&z, Z_NO_FLUSH);
    }
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u); // nothing after the deflate stream
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// Reads the trailer and the cross-reference table, checks that every
// offset points at its "n 0 obj" line and that the objects follow each
// other without gaps up to the table, then reads each object and stream.
void walk(const std::string& b, PdfDoc& doc) {
    ASSERT_EQ(b.substr(0, 9), "%PDF-1.3\n");
    ASSERT_GT(b.size(), 30u);
    ASSERT_EQ(b.substr(b.size() - 6), "%%EOF\n");
    const size_t sx = b.rfind("startxref\n");
    ASSERT_NE(sx, std::string::npos);
    const size_t xref = size_t(std::atol(b.c_str() + sx + 10));
    ASSERT_LT(xref, b.size());
    ASSERT_EQ(b.substr(xref, 7), "xref\n0 ");
    doc.size = std::atoi(b.c_str() + xref + 7);
    size_t at = b.find('\n', xref + 5) + 1;
    ASSERT_EQ(b.substr(at, 20), "0000000000 65535 f \n");
    std::vector<std::pair<size_t, int>> order;
    for (int n = 1; n < doc.size; ++n) {
        const std::string entry = b.substr(at + 20 * size_t(n), 20);
        ASSERT_TRUE(std::regex_match(entry, std::regex("[0-9]{10} 00000 n \n"))) << entry;
        const size_t off = size_t(std::atol(entry.c_str()));
        const std::string head = std::to_string(n) + " 0 obj\n";
        ASSERT_EQ(b.compare(off, head.size(), head), 0) << "object " << n << " at " << off;
        order.emplace_back(off, n);
    }
    const size_t trailer = at + 20 * size_t(doc.size);
    ASSERT_EQ(b.substr(trailer, 8), "trailer\n");
    const std::string tail = b.substr(trailer);
    EXPECT_EQ(number_after(tail, "/Size "), doc.size);
    EXPECT_NE(tail.find("/Root 1 0 R"), std::string::npos);
    doc.info = number_after(tail, "/Info ");
    EXPECT_TRUE(tail.ends_with(">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n"));
    std::sort(order.begin(), order.end());
    ASSERT_EQ(order.front().first, 9u); // right after the header
    for (size_t k = 0; k < order.size(); ++k) {
        const auto [off, n] = order[k];
        const size_t end = k + 1 < order.size() ? order[k + 1].first : xref;
        const std::string head = std::to_string(n) + " 0 obj\n";
        const std::string body = b.substr(off + head.size(), end - off - head.size());
        ASSERT_TRUE(body.ends_with("endobj\n")) << "object " << n;
        doc.objects[n] = body.substr(0, body.size() - 7);
    }
    for (auto& [n, body] : doc.objects) {
        const size_t s = body.find(">>\nstream\n");
        if (s == std::string::npos) continue;
        int length = number_after(body, "/Length ");
        if (body.find("/Length " + std::to_string(length) + " 0 R") != std::string::npos)
            length = std::atoi(doc.objects[length].c_str());
        const size_t data = s + 10;
        ASSERT_EQ(body.substr(data + size_t(length)), "endstream\n") << "stream " << n;
        const std::string raw = body.substr(data, size_t(length));
        doc.streams[n] =
            body.find("/Filter /FlateDecode") != std::string::npos ? inflate_all(raw) : raw;
    }
    EXPECT_NE(doc.objects[1].find("<< /Type /Catalog /Pages 2 0 R\n>>"), std::string::npos);
    const int kid = number_after(doc.objects[2], "/Kids [\n");
    EXPECT_NE(doc.objects[2].find("] /Count 1\n"), std::string::npos);
    doc.page = doc.objects[kid];
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

// Checks each operator of the content against its operand count; text
// operators only inside BT ... ET, path operators only outside.
void check_operators(const std::string& ops) {
    static const std::map<std::string, int> operands = {
        {"w", 1},  {"J", 1}, {"j", 1},  {"m", 2},  {"l", 2},  {"S", 0},  {"rg", 3}, {"RG", 3},
        {"re", 4}, {"f", 0}, {"BT", 0}, {"ET", 0}, {"Tf", 2}, {"Tm", 6}, {"Tj", 1}};
    int stack = 0;
    bool in_text = false;
    size_t i = 0;
    while (i < ops.size()) {
        const char c = ops[i];
        if (isspace(c)) {
            ++i;
        } else if (c == '(') { // string with escapes
            for (++i; i < ops.size() && ops[i] != ')'; ++i)
                if (ops[i] == '\\') ++i;
            ++i;
            ++stack;
        } else {
            const size_t end = ops.find_first_of(" \n", i);
            const std::string w = ops.substr(i, end - i);
            i = end;
            if (w[0] == '/' || w.find_first_not_of("-.0123456789") == std::string::npos) {
                ++stack;
                continue;
            }
            const auto op = operands.find(w);
            ASSERT_NE(op, operands.end()) << w;
            EXPECT_EQ(stack, op->second) << w;
            const bool text_op = w[0] == 'T';
            if (w == "BT" || w == "ET") {
                EXPECT_EQ(in_text, w == "ET") << w;
                in_text = w == "BT";
            } else if (text_op) {
                EXPECT_TRUE(in_text) << w;
            } else if (w != "rg" && w != "RG") {
                EXPECT_FALSE(in_text) << w;
            }
            stack = 0;
        }
    }
    EXPECT_EQ(stack, 0);
}

void check_with_qpdf(const std::string& file) {
    const RunResult r = run("qpdf --check " + file);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("WARNING"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("No syntax or stream encoding errors found"), std::string::npos)
        << r.output;
}

} // namespace

TEST_F(PdfTest, ApplicationPageWalksChecksAndRenders) {
    FixedDate date("1704164645"); // 2024-01-02 03:04:05 UTC
    const std::string f = path("map.pdf");
    TestPage page;
    captured([&] {
        open_page("pdf", f, 0, 0, 2925, 2820, "norevers"); // black background
        page.draw();
        disfin();
    });
    PdfDoc doc;
    ASSERT_NO_FATAL_FAILURE(walk(read_text(f), doc));
    EXPECT_NE(doc.page.find("/MediaBox [0 0 553 574]\n"), std::string::npos);
    EXPECT_NE(doc.page.find("/Resources << /ProcSet [/PDF]\n>>\n"), std::string::npos);
    EXPECT_EQ(doc.contents, std::vector<int>{3});
    EXPECT_NE(doc.objects[doc.info].find("/CreationDate (D:20240102030405)\n"), std::string::npos);
    EXPECT_EQ(doc.size, 6); // free entry, catalog, pages, content, page, info
    EXPECT_TRUE(doc.operators.starts_with("0.709 w\n2 J\n2 j\n0 0 0 rg\n0.00 0.00 553.7"))
        << doc.operators.substr(0, 80);
    check_operators(doc.operators);
    check_with_qpdf(f);

    const int dpi = 144;
    const RunResult r = run("pdftoppm -r 144 " + f + " " + path("map"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    Ppm image;
    ASSERT_TRUE(image.load(path("map-1.ppm")));
    EXPECT_EQ(image.w, (553 * dpi + 71) / 72);
    const float s = 0.19608f;
    auto pixel = [&](float x, float y) { // turned page: plot y across, plot x up
        return image.at(int(y * s * dpi / 72), int(image.h - x * s * dpi / 72));
    };
    for (int i = 0; i < page.nx; i += 3)
        for (int j = 1; j < page.ny; j += 4)
            if (i != j) {
                EXPECT_EQ(pixel(page.cx(i), page.cy(j)), g_plot.colour.table[page.colour_of(i, j)])
                    << i << " " << j;
            }
    EXPECT_EQ(pixel(100, 100), 0u); // the black page outside the cells
}

// Past 300,000 bytes of operators the page gets several content streams,
// listed in a /Contents array; readers see one page.
TEST_F(PdfTest, LargePageSplitsIntoContentStreams) {
    const std::string f = path("big.pdf");
    TestPage page;
    page.nx = 150;
    page.ny = 100;
    page.w = 15;
    page.h = 22;
    captured([&] {
        open_page("pdf", f, 0, 0, 2925, 2820, "revers");
        page.draw();
        disfin();
    });
    PdfDoc doc;
    ASSERT_NO_FATAL_FAILURE(walk(read_text(f), doc));
    ASSERT_GE(doc.contents.size(), 2u);
    EXPECT_NE(doc.page.find("/Contents [\n"), std::string::npos);
    for (int n : doc.contents)
        EXPECT_LE(doc.streams[n].size(), 300000u);
    EXPECT_GT(doc.operators.size(), 300000u);
    check_operators(doc.operators);
    check_with_qpdf(f);
    const RunResult r = run("pdftoppm -r 72 " + f + " " + path("big"));
    ASSERT_EQ(r.status, 0) << r.output;
    Ppm image;
    ASSERT_TRUE(image.load(path("big-1.ppm")));
    const float s = 0.19608f;
    // The last cell was drawn in the last content stream.
    const int i = page.nx - 1, j = 0;
    EXPECT_EQ(image.at(int(page.cy(j) * s), int(image.h - page.cx(i) * s)),
              g_plot.colour.table[page.colour_of(i, j)]);
}

// Without compression the stream length is an object of its own; text
// brings a font object and the /Text resources; colour components 0, 255
// and between, and the cache of the filling colour.
TEST_F(PdfTest, UncompressedPageWithText) {
    const std::string f = path("t.pdf");
    int status = 1;
    pdf_open(f.c_str(), 300, 100, 0, &status);
    ASSERT_EQ(status, 0);
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
    PdfDoc doc;
    ASSERT_NO_FATAL_FAILURE(walk(read_text(f), doc));
    const std::string& ops = doc.operators;
    EXPECT_TRUE(ops.starts_with("0.709 w\n2 J\n2 j\n1 0 0.502 rg\n1 0 0.502 RG\n1 0 0.502 RG\n"
                                "10.00 10.00 m\n290.00 10.00 l\n0.00 10000000.00 l\nS\nBT"))
        << ops;
    EXPECT_NE(ops.find("BT\n/F1 12 Tf\n1 0 0 1 10.00 50.00 Tm\n(\\50) Tj\n1 0 0 1 10.00 50.00 "
                       "Tm\n(\\304) Tj\n0 1 -1 0 10.00 50.00 Tm\n( ) Tj\nET\nBT\n/F5 10 Tf\n"
                       "0.50 0.87 -0.87 0.50 200.00 20.00 Tm\n(x) Tj\nET\n20.00 20.00 m\nS\n"),
              std::string::npos)
        << ops;
    check_operators(ops);
    // Contents, its length object, two fonts, page, info.
    EXPECT_EQ(doc.size, 9);
    EXPECT_NE(doc.objects[3].find("<< /Length 4 0 R >>\nstream\n"), std::string::npos);
    EXPECT_EQ(doc.objects[5], "<< /Type /Font\n/Subtype /Type1\n/BaseFont /Times-Roman\n"
                              "/Encoding /WinAnsiEncoding\n>>\n");
    EXPECT_NE(doc.objects[6].find("/BaseFont /Helvetica\n"), std::string::npos);
    EXPECT_NE(doc.page.find("/Resources << /ProcSet [/PDF /Text]\n/Font <<\n/F1 5 0 R\n/F5 6 0 "
                            "R\n>>\n>>\n/Contents 3 0 R\n"),
              std::string::npos)
        << doc.page;
    check_with_qpdf(f);
}

// Codes 127 to 186 come out as the accented letters of the PostScript
// re-encoding vector, read back by pdftotext.
TEST_F(PdfTest, AccentedLettersReadBack) {
    const std::string f = path("a.pdf");
    int status = 1;
    pdf_open(f.c_str(), 800, 100, 1, &status);
    ASSERT_EQ(status, 0);
    for (int code = 127; code <= 186; ++code) {
        const float m[6] = {1, 0, 0, 1, 10.0f + float(code - 127) * 12, 50};
        pdf_text(code, m, 0, 0, 10);
    }
    pdf_path(0, 0, 1);
    const RunResult r = run("pdftotext -raw " + f + " -");
    ASSERT_EQ(r.status, 0) << r.output;
    std::string text = r.output;
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return isspace(c); }),
               text.end());
    EXPECT_EQ(text, "ÄÖÜäöüßÅØÆåøæÑñÇçËÏëïÁÉÍÓÚáéíóúÀÈÌÒÙàèìòùÂÊÎÔÛâêîôûÃãÕõÝýÿ¡¿");
    check_with_qpdf(f);
}

TEST_F(PdfTest, FileThatCannotBeOpened) {
    int status = 0;
    pdf_open(path("no/such/folder/x.pdf").c_str(), 100, 100, 1, &status);
    EXPECT_EQ(status, -1);
    pdf_path(1, 1, 3); // nothing open: nothing happens
    pdf_path(0, 0, 1);
    const std::string f = path("missing/x.pdf");
    EXPECT_EXIT(
        {
            open_page("pdf", f);
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

// Coordinates are written exactly as "%.2f" writes them, ties included.
TEST_F(PdfTest, CoordinatesAsPrintfWritesThem) {
    const std::string f = path("n.pdf");
    int status = 1;
    pdf_open(f.c_str(), 100, 100, 0, &status);
    ASSERT_EQ(status, 0);
    std::vector<float> values = {0.125f, 0.375f, 2.675f, -0.001f, -0.0f, 0.005f, 1e7f, 552.755f};
    uint32_t seed = 12345;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        values.push_back(float(int32_t(seed) / 256) / float(1 << (seed % 24))); // within 1e7
    }
    std::string expect;
    char line[96];
    for (size_t i = 0; i + 1 < values.size(); i += 2) {
        pdf_path(values[i], values[i + 1], 3);
        snprintf(line, sizeof line, "%.2f %.2f m\n", double(values[i]), double(values[i + 1]));
        expect += line;
        if (i > 0) expect = expect.substr(0, expect.size() - strlen(line)) + "S\n" + line;
    }
    pdf_path(0, 0, 1);
    PdfDoc doc;
    ASSERT_NO_FATAL_FAILURE(walk(read_text(f), doc));
    const std::string want = "0.709 w\n2 J\n2 j\n" + expect + "S\n";
    const auto [a, b] =
        std::mismatch(want.begin(), want.end(), doc.operators.begin(), doc.operators.end());
    EXPECT_TRUE(a == want.end() && b == doc.operators.end())
        << "differs at " << (a - want.begin()) << ": "
        << std::string(a, std::min(a + 40, want.end()));
}
