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

// Pen moves of a GKSL file (10-character numbers in 80-character lines);
// other operations are skipped.
inline std::vector<PenMove> gksl_pen_moves(const std::string& file) {
    std::string text = read_text(file);
    std::erase(text, '\n');
    std::vector<float> f;
    for (size_t i = 0; i + 10 <= text.size(); i += 10)
        f.push_back(std::strtof(text.substr(i, 10).c_str(), nullptr));
    std::vector<PenMove> moves;
    static const int kOperands[10] = {2, 4, 2, 2, 5, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < f.size() && f[i] >= 0 && f[i] < 10;
         i += 1 + size_t(kOperands[int(f[i])])) {
        const int op = int(f[i]);
        if ((op == 2 || op == 3) && i + 2 < f.size()) moves.push_back({op, f[i + 1], f[i + 2]});
    }
    return moves;
}

inline void expect_moves(const std::vector<PenMove>& got, const std::vector<PenMove>& want,
                         float tolerance = 0.002f) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].pen, want[i].pen) << i;
        EXPECT_NEAR(got[i].x, want[i].x, tolerance) << i;
        EXPECT_NEAR(got[i].y, want[i].y, tolerance) << i;
    }
}

// Opens a GKSL page of w x h plot units.
inline void open_gksl(const std::string& file, int w = 3000, int h = 2000) {
    open_page("gksl", file, 0, 0, w, h);
}

} // namespace plot_test
