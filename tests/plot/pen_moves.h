// Reads the pen moves back from a GKSL metafile (plot/GKSL.md): the drawing
// as the device received it.
#pragma once

#include "plot_test_util.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace plot_test {

struct PenMove {
    int pen; // 3 move, 2 draw
    float x, y;
};

// Pen moves of a GKSL file; other operations are skipped.
inline std::vector<PenMove> gksl_pen_moves(const std::string& file) {
    std::string text;
    for (char c : read_text(file))
        if (c != '\n') text.push_back(c);
    std::vector<float> f;
    for (size_t i = 0; i + 10 <= text.size(); i += 10)
        f.push_back(std::strtof(text.substr(i, 10).c_str(), nullptr));
    std::vector<PenMove> moves;
    static const int kOperands[10] = {2, 4, 2, 2, 5, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < f.size();) {
        const int op = int(f[i]);
        if (op < 0 || op > 9) break;
        if ((op == 2 || op == 3) && i + 2 < f.size()) moves.push_back({op, f[i + 1], f[i + 2]});
        i += 1 + size_t(kOperands[op]);
    }
    return moves;
}

// Opens a GKSL page of w x h plot units.
inline void open_gksl(const std::string& file, int w = 3000, int h = 2000) {
    razidu::metafl("gksl");
    razidu::setfil(file.c_str());
    razidu::page(w, h);
    razidu::disini();
}

} // namespace plot_test
