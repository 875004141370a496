// PENDING placeholders for the vector writers (see vector.h). They keep the
// library linkable and the dispatch testable until the writer module lands;
// none of them produces a valid PostScript, PDF or CGM file.
#include "plot/core/state.h"
#include "plot/vector/vector.h"

namespace razidu {

void write_ps_prolog(FILE*) {
    // PENDING: header, prolog, page scaling and background come with the
    // PostScript writer.
}

void cgm_begin(int) {
    // PENDING: metafile and picture descriptor elements come with the CGM
    // writer.
}

void pdf_open(const char*, int w, int h, int, int* status) {
    // PENDING: the PDF writer creates the file; until then no file is made.
    g_plot.pdf.page_w = w;
    g_plot.pdf.page_h = h;
    g_plot.pdf.open = 0;
    *status = 0;
}

void pdf_path(float, float, int) {
    // PENDING: content stream operators come with the PDF writer.
}

void pdf_colour(int, int, int, int) {
    // PENDING: colour operators come with the PDF writer.
}

void pdf_text(int, const float*, int, int, float) {}

void pdf_rect(float, float, float, float) {
    // PENDING: rectangle operators come with the PDF writer.
}

} // namespace razidu
