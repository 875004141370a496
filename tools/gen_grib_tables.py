#!/usr/bin/python3
"""Generate the names and units of GRIB parameters.

Reads the code tables and parameter concepts of the Debian package
libeccodes-data and writes grib/generated/parameter_tables.cpp, the tables
only (the types and the lookups are hand-written in grib/parameter_tables.h
and grib/names.cpp):

  - GRIB edition 2: code table 4.2 of every discipline and category of the
    newest WMO version (grib2/tables/N/4.2.D.C.table, "Name (unit)"), entries
    192 to 254 (local use) left out; then the local entries of the US centre
    (7) from its parameter concepts (grib2/localConcepts/kwbc/{name,units}.def).
    Key: centre << 24 | discipline << 16 | category << 8 | number, centre 0
    for the WMO table.
  - GRIB edition 1: the WMO table 2 of versions 1 to 3 (grib1/{name,units}.def),
    and the local tables of the centres 7 (US), 34 (Japan), 78 (Germany) and 98
    (European centre) from their parameter concepts
    (grib1/localConcepts/CENTRE/{name,units}.def, only the entries that depend
    on the table and the parameter alone), completed by the centre's own
    table files (grib1/2.CENTRE.TABLE.table, "Name (unit)").
    Key: centre << 16 | table << 8 | number, centre 0 for the WMO table.

Units are written as the tables write them, "**" dropped ("m**2 s**-2" is
"m2 s-2", "((0 - 1))" is "(0 - 1)"); a unit of "~" (none) is left out. Both lists are sorted by key.

Usage: tools/gen_grib_tables.py [definitions-dir] [output-dir]
"""

import os
import re
import sys

DEFINITIONS = "/usr/share/eccodes/definitions"
GRIB1_CENTRES = [(7, "kwbc"), (34, "rjtd"), (78, "edzw"), (98, "ecmf")]
GRIB2_CENTRES = [(7, "kwbc")]

CONCEPT = re.compile(r"'((?:[^'\\]|\\.)*)'\s*=\s*\{([^}]*)\}")
CONCEPT_KEY = re.compile(r"(\w+)\s*=\s*([^;]+?)\s*;")


def unit_text(unit):
    unit = unit.strip().replace("**", "")
    if unit.startswith("(") and unit.endswith(")"):
        unit = unit[1:-1].strip()
    return "" if unit in ("", "~") else unit


def with_unit(name, unit):
    name = " ".join(name.split())
    unit = unit_text(unit)
    return "%s (%s)" % (name, unit) if unit else name


def concepts(path):
    """(frozenset of (key, value)) -> text, in file order, first one kept."""
    out = []
    if not os.path.exists(path):
        return out
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    for m in CONCEPT.finditer(text):
        keys = tuple(sorted((k, v.strip()) for k, v in CONCEPT_KEY.findall(m.group(2))))
        out.append((keys, m.group(1)))
    return out


def named_concepts(directory, wanted):
    """{tuple of values of `wanted` keys: "Name (unit)"} of the entries that
    have exactly the keys `wanted`, the first entry of a key kept."""
    units = {}
    for keys, unit in concepts(os.path.join(directory, "units.def")):
        units.setdefault(keys, unit)
    out = {}
    for keys, name in concepts(os.path.join(directory, "name.def")):
        if sorted(k for k, _ in keys) != sorted(wanted):
            continue
        values = dict(keys)
        try:
            key = tuple(int(values[k]) for k in wanted)
        except ValueError:
            continue
        if key not in out:
            out[key] = with_unit(name, units.get(keys, ""))
    return out


def newest_grib2_tables(root):
    versions = [int(d) for d in os.listdir(os.path.join(root, "grib2", "tables")) if d.isdigit()]
    return os.path.join(root, "grib2", "tables", str(max(versions)))


def grib2_entries(root):
    entries = {}
    tables = newest_grib2_tables(root)
    pattern = re.compile(r"^4\.2\.(\d+)\.(\d+)\.table$")
    for name in sorted(os.listdir(tables)):
        m = pattern.match(name)
        if not m:
            continue
        discipline, category = int(m.group(1)), int(m.group(2))
        with open(os.path.join(tables, name), encoding="utf-8", errors="replace") as f:
            for line in f:
                parts = line.strip().split(None, 2)
                if len(parts) < 3 or not parts[0].isdigit():
                    continue
                number = int(parts[0])
                text = " ".join(parts[2].split())
                if number > 255 or 192 <= number <= 254 or text.startswith(("Reserved", "Missing")):
                    continue
                text = re.sub(r"\(([^()]*)\)$", lambda u: "(%s)" % u.group(1).replace("**", ""), text)
                entries.setdefault((0, discipline, category, number), text)
    for centre, directory in GRIB2_CENTRES:
        local = named_concepts(os.path.join(root, "grib2", "localConcepts", directory),
                               ["discipline", "parameterCategory", "parameterNumber"])
        for (d, c, n), text in local.items():
            if d < 256 and c < 256 and n < 256:
                entries.setdefault((centre, d, c, n), text)
    return {(k[0] << 24) | (k[1] << 16) | (k[2] << 8) | k[3]: v for k, v in entries.items()}


TABLE_LINE = re.compile(r"^(\d+)\s+(.*)$")


def grib1_table_file(path):
    """{number: "Name (unit)"} of a table file "N [N] SHORT Name (unit)"."""
    out = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = TABLE_LINE.match(line.strip())
            if not m:
                continue
            number = int(m.group(1))
            rest = m.group(2).split()
            if rest and rest[0] == m.group(1):
                rest = rest[1:]
            rest = rest[1:]  # the short name
            text = " ".join(rest)
            u = re.match(r"^(.*?)\s*\(([^()]*)\)$", text)
            if u:
                text = with_unit(u.group(1), u.group(2))
            if text and number < 256:
                out.setdefault(number, text)
    return out


def grib1_entries(root):
    entries = {}
    wmo = named_concepts(os.path.join(root, "grib1"), ["table2Version", "indicatorOfParameter"])
    for (table, number), text in wmo.items():
        if 1 <= table <= 3 and number < 256:
            entries[(0, table, number)] = text
    for centre, directory in GRIB1_CENTRES:
        local = named_concepts(os.path.join(root, "grib1", "localConcepts", directory),
                               ["table2Version", "indicatorOfParameter"])
        for (table, number), text in local.items():
            if table < 256 and number < 256:
                entries.setdefault((centre, table, number), text)
        pattern = re.compile(r"^2\.%d\.(\d+)\.table$" % centre)
        for name in sorted(os.listdir(os.path.join(root, "grib1"))):
            m = pattern.match(name)
            if not m or int(m.group(1)) > 255:
                continue
            for number, text in grib1_table_file(os.path.join(root, "grib1", name)).items():
                entries.setdefault((centre, int(m.group(1)), number), text)
    return {(k[0] << 16) | (k[1] << 8) | k[2]: v for k, v in entries.items()}


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def written_out(text):
    """A name with the local tables' abbreviation of "specific" written out,
    as the WMO's own names have it."""
    return re.sub(r"\bspec\.", "specific", text)


def write(out_dir, grib2, grib1):
    lines = [
        "// Generated by tools/gen_grib_tables.py from the code tables and parameter",
        "// concepts of libeccodes-data; do not edit.",
        '#include "grib/parameter_tables.h"',
        "",
        "namespace grib::tables {",
        "",
    ]
    for name, table in (("kParameters2", grib2), ("kParameters1", grib1)):
        lines.append("const Parameter %s[] = {" % name)
        for key in sorted(table):
            lines.append("    {0x%08x, %s}," % (key, c_string(written_out(table[key]))))
        lines.append("};")
        lines.append("const std::size_t %sCount = sizeof %s / sizeof %s[0];" % (name, name, name))
        lines.append("")
    lines.append("} // namespace grib::tables")
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "parameter_tables.cpp"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else DEFINITIONS
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "grib", "generated")
    grib2, grib1 = grib2_entries(root), grib1_entries(root)
    write(out, grib2, grib1)
    print("GRIB2: %d parameters, GRIB1: %d parameters" % (len(grib2), len(grib1)))


if __name__ == "__main__":
    main()
