#!/usr/bin/env python3
"""Generate the character widths of the 35 standard PostScript fonts.

Reads the AFM metric files of the Debian package fonts-urw-base35, whose fonts
are metric-compatible with the standard 35, and writes the tables only,
plot/text/generated/ps_width_tables.cpp (the types and the lookups that use
them are hand-written in plot/text/ps_widths.{h,cpp}):

  - the 35 font names in their fixed order with the number of their width set;
  - 25 width sets (1..25) of 102 widths each, for the character codes 32..133,
    in 1/40 of the font size as the text layout applies it (plot units =
    width * font size / 40): 140 units to the em, round(AFM width / 1000 * 140),
    the scale at which Courier's 600/1000 em is the 84 of the fixed set 0 and
    the laid-out advance matches the glyph that the PostScript "font" command
    draws. Packed two to a 16-bit word, high byte first (51 words per set).
    Set 0, every glyph 84 wide, is computed and not stored.

Codes 32..126 take the glyph that the font's own encoding puts at that code
(what the printer shows: for the text fonts ASCII, except quoteright at 39 and
quoteleft at 96); codes 127..133 take the glyphs that the re-encoding vector of
the PostScript prolog puts there (Adieresis .. germandbls). A glyph the font
does not have is 0 wide.

Usage: tools/gen_ps_widths.py [afm-dir] [output-dir]
"""

import os
import sys

AFM_DIR = "/usr/share/fonts/type1/urw-base35"

# Width units per em: Courier, 600/1000 em wide, is 84 units.
UNITS_PER_EM = 140

# Position order, standard name, width set, URW metric file.
FONTS = [
    ("Times-Roman", 1, "NimbusRoman-Regular"),
    ("Times-Bold", 2, "NimbusRoman-Bold"),
    ("Times-Italic", 3, "NimbusRoman-Italic"),
    ("Times-BoldItalic", 4, "NimbusRoman-BoldItalic"),
    ("Helvetica", 5, "NimbusSans-Regular"),
    ("Helvetica-Bold", 6, "NimbusSans-Bold"),
    ("Helvetica-Oblique", 5, "NimbusSans-Italic"),
    ("Helvetica-BoldOblique", 6, "NimbusSans-BoldItalic"),
    ("Helvetica-Narrow", 7, "NimbusSansNarrow-Regular"),
    ("Helvetica-Narrow-Bold", 8, "NimbusSansNarrow-Bold"),
    ("Helvetica-Narrow-Oblique", 7, "NimbusSansNarrow-Oblique"),
    ("Helvetica-Narrow-BoldOblique", 8, "NimbusSansNarrow-BoldOblique"),
    ("NewCenturySchlbk-Roman", 9, "C059-Roman"),
    ("NewCenturySchlbk-Italic", 10, "C059-Italic"),
    ("NewCenturySchlbk-Bold", 11, "C059-Bold"),
    ("NewCenturySchlbk-BoldItalic", 12, "C059-BdIta"),
    ("ZapfChancery-MediumItalic", 13, "Z003-MediumItalic"),
    ("ZapfDingbats", 14, "D050000L"),
    ("Courier", 0, "NimbusMonoPS-Regular"),
    ("Courier-Bold", 0, "NimbusMonoPS-Bold"),
    ("Courier-Oblique", 0, "NimbusMonoPS-Italic"),
    ("Courier-BoldOblique", 0, "NimbusMonoPS-BoldItalic"),
    ("AvantGarde-Book", 15, "URWGothic-Book"),
    ("AvantGarde-Demi", 16, "URWGothic-Demi"),
    ("AvantGarde-BookOblique", 15, "URWGothic-BookOblique"),
    ("AvantGarde-DemiOblique", 16, "URWGothic-DemiOblique"),
    ("Bookman-Light", 22, "URWBookman-Light"),
    ("Bookman-LightItalic", 23, "URWBookman-LightItalic"),
    ("Bookman-Demi", 24, "URWBookman-Demi"),
    ("Bookman-DemiItalic", 25, "URWBookman-DemiItalic"),
    ("Palatino-Roman", 17, "P052-Roman"),
    ("Palatino-Italic", 18, "P052-Italic"),
    ("Palatino-Bold", 19, "P052-Bold"),
    ("Palatino-BoldItalic", 20, "P052-BoldItalic"),
    ("Symbol", 21, "StandardSymbolsPS"),
]

# Glyph names the re-encoding vector puts at codes 127..133.
REENCODED = ["Adieresis", "Odieresis", "Udieresis", "adieresis", "odieresis", "udieresis",
             "germandbls"]


def read_afm(path):
    """Returns (code -> width, name -> width) of an AFM file."""
    by_code, by_name = {}, {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            if not line.startswith("C "):
                continue
            fields = {}
            for part in line.split(";"):
                words = part.split()
                if len(words) >= 2:
                    fields[words[0]] = words[1]
            code, width, name = int(fields["C"]), float(fields["WX"]), fields.get("N")
            if code >= 0:
                by_code[code] = width
            if name:
                by_name[name] = width
    return by_code, by_name


def width_set(path):
    by_code, by_name = read_afm(path)
    raw = [by_code.get(c, 0.0) for c in range(32, 127)] + [by_name.get(n, 0.0) for n in REENCODED]
    widths = [int(w / 1000 * UNITS_PER_EM + 0.5) for w in raw]
    for w in widths:
        if not 0 <= w <= 255:
            sys.exit(f"{path}: width {w} outside 0..255")
    return widths


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else AFM_DIR
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "plot", "text", "generated")
    sets = {}
    for name, number, afm in FONTS:
        if number == 0:
            continue
        widths = width_set(os.path.join(src, afm + ".afm"))
        if number in sets and sets[number] != widths:
            # Oblique variants share the set of their upright font; keep the first.
            print(f"note: {name} differs slightly from width set {number}; using the first")
        sets.setdefault(number, widths)
    if sorted(sets) != list(range(1, 26)):
        sys.exit(f"width sets found: {sorted(sets)}")
    body = ["// Generated by tools/gen_ps_widths.py from the AFM metric files of the Debian",
            "// package fonts-urw-base35. Do not edit; run the script again.",
            '#include "plot/text/ps_widths.h"', "", "namespace razidu::fonts {", "",
            "// clang-format off", "const PsFont kPsFonts[kPsFontCount] = {"]
    for name, number, _ in FONTS:
        body.append(f'    {{"{name}", {number}}},')
    body += ["};", "", "const uint16_t kPsWidthWords[kWidthSetCount][kSetWordCount] = {"]
    for number in range(1, 26):
        w = sets[number]
        words = [(w[2 * k] << 8) | w[2 * k + 1] for k in range(51)]
        body.append(f"    // set {number}: " + ", ".join(n for n, s, _ in FONTS if s == number))
        body.append("    {")
        for r in range(0, 51, 10):
            body.append("        " + ", ".join(f"0x{x:04X}" for x in words[r:r + 10]) + ",")
        body.append("    },")
    body += ["};", "// clang-format on", "", "} // namespace razidu::fonts", ""]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "ps_width_tables.cpp"), "w") as fh:
        fh.write("\n".join(body))
    print(f"{len(sets)} width sets, {len(FONTS)} fonts")


if __name__ == "__main__":
    main()
