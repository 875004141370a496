// The 50-point path buffer shared by PostScript and CGM: a path collects the
// pen's points in device units until it is full, moved away from or ended,
// and is then written out as one path by the family's own encoder.
#pragma once

namespace razidu {

constexpr int kPathMax = 50; // points of a PostScript or CGM path

struct PathBuffer {
    int x[kPathMax] = {}, y[kPathMax] = {};
    int count = 0;              // points in the pending path
    int last_x = 0, last_y = 0; // end of the last path ended with pen 999
};

// Writes the points of one path (count >= 1).
using PathWriter = void (*)(const int* x, const int* y, int count);

// Pen 2 draws to (x, y): an empty path first takes the end of the last path
// as its start. A full path (50 points), pen 3 (move) and pen 999 (end)
// write the pending path; pen 999 then empties it and remembers its end, the
// others start the next path at (x, y).
inline void path_point(PathBuffer& b, int x, int y, int pen, PathWriter write) {
    if (pen == 2) {
        if (b.count == 0) {
            b.x[0] = b.last_x;
            b.y[0] = b.last_y;
            b.count = 1;
        }
        b.x[b.count] = x;
        b.y[b.count] = y;
        if (++b.count < kPathMax) return;
    }
    const int written = b.count;
    if (written > 0) write(b.x, b.y, written);
    if (pen == 999) {
        if (written > 0) {
            b.last_x = b.x[written - 1];
            b.last_y = b.y[written - 1];
        }
        b.count = 0;
    } else {
        b.x[0] = x;
        b.y[0] = y;
        b.count = 1;
    }
}

} // namespace razidu
