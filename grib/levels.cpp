// Readable names of levels (code table 4.5) and of what sets a field apart
// among the products of one parameter (code tables 4.6, 4.7, 4.9 and 4.10).
#include "grib/grib.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace grib {

namespace {

// A level type: its text, with "%s" where its value goes (empty for a
// surface without a value), and the factor from the file's unit to the
// shown one.
struct LevelType {
    int type;
    const char* text;
    double factor;
};

constexpr LevelType kLevelTypes[] = {
    {1, "surface", 1},
    {2, "cloud base", 1},
    {3, "cloud top", 1},
    {4, "0 C isotherm", 1},
    {5, "adiabatic condensation level", 1},
    {6, "maximum wind level", 1},
    {7, "tropopause", 1},
    {8, "top of atmosphere", 1},
    {9, "sea bottom", 1},
    {10, "entire atmosphere", 1},
    {11, "cumulonimbus base", 1},
    {12, "cumulonimbus top", 1},
    {14, "level of free convection", 1},
    {15, "convective condensation level", 1},
    {16, "level of neutral buoyancy", 1},
    {20, "%s K isotherm", 1},
    {101, "mean sea level", 1},
    {102, "%s m above sea level", 1},
    {103, "%s m above ground", 1},
    {104, "sigma level %s", 1},
    {105, "hybrid level %s", 1},
    {106, "%s m below ground", 1},
    {107, "%s K isentropic level", 1},
    {109, "PV %s units", 1e6},
    {111, "eta level %s", 1},
    {114, "snow level %s", 1},
    {117, "mixed layer depth", 1},
    {118, "hybrid height level %s", 1},
    {119, "hybrid pressure level %s", 1},
    {150, "generalized height level %s", 1},
    {151, "soil level %s", 1},
    {152, "sea ice level %s", 1},
    {160, "%s m below sea level", 1},
    {161, "%s m below water surface", 1},
    {162, "lake or river bottom", 1},
    {163, "bottom of sediment layer", 1},
    {164, "bottom of thermally active sediment layer", 1},
    {168, "ocean model level %s", 1},
    {174, "top of ice on sea or lake", 1},
    {175, "top of ice under snow", 1},
    {176, "bottom of ice", 1},
    {177, "deep soil", 1},
    // Types of the local range as the US centre's files use them.
    {200, "entire atmosphere as one layer", 1},
    {201, "entire ocean", 1},
    {204, "highest freezing level", 1},
    {206, "grid-scale cloud bottom", 1},
    {207, "grid-scale cloud top", 1},
    {209, "boundary-layer cloud bottom", 1},
    {210, "boundary-layer cloud top", 1},
    {211, "boundary-layer cloud layer", 1},
    {212, "low cloud bottom", 1},
    {213, "low cloud top", 1},
    {214, "low cloud layer", 1},
    {215, "cloud ceiling", 1},
    {220, "planetary boundary layer", 1},
    {221, "layer between two hybrid levels", 1},
    {222, "middle cloud bottom", 1},
    {223, "middle cloud top", 1},
    {224, "middle cloud layer", 1},
    {232, "high cloud bottom", 1},
    {233, "high cloud top", 1},
    {234, "high cloud layer", 1},
    {242, "convective cloud bottom", 1},
    {243, "convective cloud top", 1},
    {244, "convective cloud layer", 1},
    {246, "maximum equivalent potential temperature level", 1},
    {247, "equilibrium level", 1},
    {248, "shallow convective cloud bottom", 1},
    {249, "shallow convective cloud top", 1},
    {251, "deep convective cloud bottom", 1},
    {252, "deep convective cloud top", 1},
};

const LevelType* find_type(int type) {
    for (const LevelType& t : kLevelTypes)
        if (t.type == type) return &t;
    return nullptr;
}

std::string number(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.10g", v == 0 ? 0.0 : v);
    return text;
}

// The text of a level type with its value text put in (types without a
// value get it behind their name when it is not 0).
std::string with_value(int type, const std::string& value, bool zero) {
    const LevelType* t = find_type(type);
    if (!t) return "level type " + std::to_string(type) + " " + value;
    const char* mark = std::strstr(t->text, "%s");
    if (!mark) return zero ? t->text : std::string(t->text) + " " + value;
    return std::string(t->text, mark) + value + (mark + 2);
}

// Pressures (Pa) in hPa from 1 hPa up, else in Pa.
std::string pressure(double lo, double hi, bool layer) {
    const bool hpa = std::fmin(lo, hi) >= 100;
    const double f = hpa ? 0.01 : 1;
    std::string s = number(lo * f);
    if (layer) s += "-" + number(hi * f);
    return s + (hpa ? " hPa" : " Pa");
}

double factor(int type) {
    const LevelType* t = find_type(type);
    return t ? t->factor : 1;
}

std::string single(int type, double value) {
    if (type == 100) return pressure(value, value, false);
    if (type == 108) return pressure(value, value, false) + " above ground";
    return with_value(type, number(value * factor(type)), value == 0);
}

std::string ordinal(int n) {
    const char* suffix = "th";
    if (n % 100 < 11 || n % 100 > 13) {
        if (n % 10 == 1) suffix = "st";
        if (n % 10 == 2) suffix = "nd";
        if (n % 10 == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

const char* process_name(int process) {
    switch (process) {
    case 0:
        return "average";
    case 1:
        return "accumulation";
    case 2:
        return "maximum";
    case 3:
        return "minimum";
    case 4:
        return "difference (end minus start)";
    case 5:
        return "root mean square";
    case 6:
        return "standard deviation";
    case 7:
        return "covariance";
    case 8:
        return "difference (start minus end)";
    case 9:
        return "ratio";
    case 10:
        return "standardized anomaly";
    case 11:
        return "summation";
    default:
        return nullptr;
    }
}

const char* derived_name(int derived) {
    switch (derived) {
    case 0:
        return "ensemble mean";
    case 1:
        return "weighted ensemble mean";
    case 2:
        return "ensemble standard deviation";
    case 3:
        return "ensemble standard deviation (cluster)";
    case 4:
        return "ensemble spread";
    case 5:
        return "ensemble large anomaly index";
    case 6:
        return "cluster mean";
    case 7:
        return "ensemble interquartile range";
    case 8:
        return "ensemble minimum";
    case 9:
        return "ensemble maximum";
    default:
        return nullptr;
    }
}

} // namespace

std::string level_name(int type, double value, int type2, double value2) {
    if (type2 == 255 || (type2 == type && value2 == value)) return single(type, value);
    if (type2 != type) return single(type, value) + " to " + single(type2, value2);
    if (type == 100) return pressure(value, value2, true);
    if (type == 108) return pressure(value, value2, true) + " above ground";
    const double f = factor(type);
    return with_value(type, number(value * f) + "-" + number(value2 * f), false);
}

std::string product_kind(const Field& f) {
    std::string s;
    auto add = [&s](const std::string& part) {
        if (part.empty()) return;
        if (!s.empty()) s += ", ";
        s += part;
    };
    if (f.constituent >= 0) add("constituent " + std::to_string(f.constituent));
    if (f.perturbation >= 0 || f.ensemble_type >= 0) {
        if ((f.ensemble_type == 0 || f.ensemble_type == 1) && f.perturbation <= 0)
            add(f.ensemble_type == 1 ? "low-resolution control" : "control");
        else
            add("member " + std::to_string(f.perturbation));
    }
    if (f.derived >= 0) {
        const char* name = derived_name(f.derived);
        add(name ? name : "derived kind " + std::to_string(f.derived));
    }
    if (f.probability_type >= 0) {
        const std::string lo = number(f.lower_limit), hi = number(f.upper_limit);
        switch (f.probability_type) {
        case 0:
            add("probability < " + lo);
            break;
        case 1:
            add("probability > " + hi);
            break;
        case 2:
            add("probability " + lo + " to " + hi);
            break;
        case 3:
            add("probability > " + lo);
            break;
        case 4:
            add("probability < " + hi);
            break;
        default:
            add("probability kind " + std::to_string(f.probability_type) + " " + lo + " " + hi);
        }
    }
    if (f.percentile >= 0) add(ordinal(f.percentile) + " percentile");
    if (f.spatial_process >= 0 && f.statistical_process < 0) {
        add("area statistics");
    } else if (f.statistical_process >= 0 &&
               (f.statistical_process != 1 || f.spatial_process >= 0)) {
        const char* name = process_name(f.statistical_process);
        std::string text = name ? name : "process " + std::to_string(f.statistical_process);
        add(f.spatial_process >= 0 ? "area " + text : text);
    }
    return s;
}

} // namespace grib
