// Output file names: the setfil name or a default, and the file modes
// COUN (count up a version), DELE (delete the old file) and BREA (stop).
#include "plot/core/state.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>

namespace razidu {

namespace {
bool file_exists(const char* name) {
    FILE* f = std::fopen(name, "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void copy_name(char* dest, const char* src) {
    const size_t n = strnlen(src, kNameMax + 7);
    std::memmove(dest, src, n);
    dest[n] = '\0';
}
} // namespace

const char* default_extension_of(int device) {
    if (device == DEV_JAVA) return "java";
    switch (device) {
    case DEV_GKSL:
        return "met";
    case DEV_CGM:
        return "cgm";
    case DEV_KYOC:
        return "kyo";
    case DEV_TEKT:
        return "tek";
    case DEV_LN03:
        return "ln3";
    case DEV_POST:
    case DEV_PSCL:
        return "psc";
    case DEV_TIFF:
        return "tif";
    case DEV_IMAG:
        return "img";
    case DEV_PNG:
        return "png";
    case DEV_WMF:
        return "wmf";
    case DEV_PPM:
        return "ppm";
    case DEV_PDF:
        return "pdf";
    case DEV_EPS:
        return "eps";
    case DEV_BMP:
        return "bmp";
    case DEV_PS:
        return "ps";
    default:
        break;
    }
    if (device >= 401 && device <= 405) return "hpg";
    return "   ";
}

void version_file_name(char* name) {
    if (!file_exists(name)) return;
    // DELE: the new file replaces the old one once it is complete.
    if (g_plot.file_mode == 1) return;
    if (g_plot.file_mode == 2) {
        file_exists_message(name);
        end_process(0, name, "the file exists (file mode BREA)");
    }
    // COUN: the base name starts after the last separator (slash or backslash); the
    // extension point is the last '.' of the base name, or its end.
    const size_t len = std::strlen(name);
    size_t start = 0;
    for (size_t i = 0; i < len; ++i)
        if (name[i] == '/' || name[i] == '\\') start = i + 1;
    const char* dot = std::strrchr(name + start, '.');
    const size_t ext = dot ? size_t(dot - name) : len;
    const size_t base_len = ext - start;
    char candidate[kNameMax + 8 + 16];
    for (int k = 1;; ++k) {
        if (k > 9999) {
            versions_message();
            end_process(0, name, "more than 9999 file versions");
        }
        char suffix[8];
        const int suffix_len = std::snprintf(suffix, sizeof suffix, "_%d", k);
        const size_t keep = start + std::min(base_len, size_t(8 - suffix_len));
        std::snprintf(candidate, sizeof candidate, "%.*s%s%s", int(keep), name, suffix, name + ext);
        if (!file_exists(candidate)) {
            copy_name(name, candidate);
            return;
        }
    }
}

void open_device_file(int device) {
    PlotState& g = g_plot;
    if (g.file_state == 1) {
        copy_name(g.saved_file_name, g.file_name);
        g.file_state = 2;
    } else if (g.file_state == 2) {
        copy_name(g.file_name, g.saved_file_name);
    } else {
        std::snprintf(g.file_name, sizeof g.file_name, "razidu.%s", default_extension_of(device));
    }
    g.record_length = kRecordLength;
    g.record.clear();
    if (device < 601 || device == DEV_JAVA) {
        version_file_name(g.file_name);
        if (!is_wmf(device) && !is_pdf(device)) {
            g.plot_stream = output_open(g.file_name, is_cgm(device) ? "wb" : "w");
            // Not reported here: nothing is written to the page (see disfin).
            if (!g.plot_stream) set_outcome(1, 0, g.file_name, errno);
        }
    } else if (device == DEV_TIFF || device == DEV_IMAG || device == DEV_PNG || device == DEV_PPM) {
        version_file_name(g.file_name);
    }
}

} // namespace razidu
