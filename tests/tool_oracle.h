// The independent GRIB tool (ecCodes' command-line programs) as the tests'
// oracle: files written by grib_filter from its own samples, keys read by
// grib_get and every point's place and value printed by grib_get_data.
#pragma once

#include "test_files.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace oracle {

namespace fs = std::filesystem;

inline const std::string kSamples = "/usr/share/eccodes/samples/";

// True when grib_filter, grib_get_data and the samples are installed
// (scripts/install-deps.sh installs them); the tests that need them skip.
inline bool have_tools() {
    return std::system("command -v grib_filter > /dev/null 2>&1 && command -v grib_get_data > "
                       "/dev/null 2>&1") == 0 &&
           fs::exists(kSamples + "GRIB2.tmpl");
}

// The rules with "set " before every statement that has no keyword of its
// own, so that tests may write "Ni=31; Nj=17;" for "set Ni=31; set Nj=17;".
inline std::string expand(const std::string& rules) {
    std::string out;
    std::size_t at = 0;
    for (std::size_t end; (end = rules.find(';', at)) != std::string::npos; at = end + 1) {
        std::string st = rules.substr(at, end - at);
        st.erase(0, st.find_first_not_of(" \n"));
        if (st.empty()) continue;
        const bool keyword = st.starts_with("set ") || st.starts_with("write ");
        out += (keyword ? "" : "set ") + st + ";\n";
    }
    return out + rules.substr(at);
}

// Runs grib_filter with `rules` (expanded) on `input` (a sample's name is
// taken from kSamples); false when the tool failed, its output in
// dir/filter.log.
inline bool filter(const fs::path& dir, const std::string& rules, const std::string& input) {
    std::ofstream(dir / "rules") << expand(rules);
    const std::string in = input.find('/') == std::string::npos ? kSamples + input : input;
    const std::string cmd = "grib_filter '" + (dir / "rules").string() + "' '" + in + "' > '" +
                            (dir / "filter.log").string() + "' 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// What grib_get prints for the keys (comma-separated) of a file's messages,
// trailing blanks cut; "" when the tool failed.
inline std::string get(const std::string& file, const std::string& keys) {
    const std::string out = file + ".keys";
    const std::string cmd = "grib_get -p " + keys + " '" + file + "' > '" + out + "' 2>&1";
    if (std::system(cmd.c_str()) != 0) return "";
    std::string s = testfiles::read_file(out);
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

struct Point {
    double lat, lon, value; // NaN for a missing value
};

// grib_get_data's points in the file's order, with missing values as NaN;
// `format` gives the places' and values' formats. Empty when the tool failed.
inline std::vector<Point> points(const std::string& file,
                                 const std::string& format = "-L '%.8f %.8f' -F %.10e") {
    const std::string dump = file + ".points";
    const std::string cmd = "grib_get_data -m nan " + format + " '" + file + "' > '" + dump + "'";
    std::vector<Point> out;
    if (std::system(cmd.c_str()) != 0) return out;
    std::istringstream in(testfiles::read_file(dump));
    std::string line, value;
    std::getline(in, line); // the column names
    double lat, lon;
    while (in >> lat >> lon >> value)
        out.push_back({lat, lon, std::strtod(value.c_str(), nullptr)});
    return out;
}

// "v0,v1,..." of n values f(k), for the rules' "set values = {...};".
template <class F> std::string values(std::size_t n, F f) {
    std::ostringstream s;
    s.precision(10);
    for (std::size_t k = 0; k < n; ++k)
        s << (k ? "," : "") << f(k);
    return s.str();
}

} // namespace oracle
