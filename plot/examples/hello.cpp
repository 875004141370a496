// A page drawn with RAZIDU alone: a coloured frame, a colour ramp and two
// diagonals, written as hello.png (or the file named on the command line).
#include "razidu.h"

int main(int argc, char** argv) {
    const char* file = argc > 1 ? argv[1] : "hello.png";
    razidu::metafl("png");
    razidu::setfil(file);
    razidu::filmod("delete");
    razidu::winsiz(650, 600);
    razidu::page(2925, 2820);
    razidu::scrmod("revers"); // white background, black foreground
    razidu::disini();

    // A frame near the page edge in the foreground colour.
    razidu::color("fore");
    razidu::strtpt(100, 100);
    razidu::connpt(2824, 100);
    razidu::connpt(2824, 2719);
    razidu::connpt(100, 2719);
    razidu::connpt(100, 100);

    // Thirty bands through the rainbow table, one line each.
    for (int i = 0; i < 30; ++i) {
        razidu::setclr(1 + i * 253 / 29);
        for (int k = 0; k < 40; ++k) {
            const float x = 300.0f + i * 78.0f + k;
            razidu::strtpt(x, 900);
            razidu::connpt(x, 1900);
        }
    }

    // Diagonals in named colours.
    razidu::color("red");
    razidu::strtpt(100, 100);
    razidu::connpt(2824, 2719);
    razidu::color("blue");
    razidu::strtpt(2824, 100);
    razidu::connpt(100, 2719);

    razidu::disfin();
    return 0;
}
