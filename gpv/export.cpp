// TEXT and CSV files of extracted fields, and the gpv.log line.
#include "gpv/gpv.h"

#include "platform/platform.h"

namespace gpv {

std::string output_base_name(const char* saveDir, int modelCode, int item, int level, int hour) {
    const GpvHeader& h = header;
    // Model and date fields at least two digits, item three, level four.
    char tail[96];
    std::snprintf(tail, sizeof tail, "MD%02d_ID%03d_P%04d_DT%02d%02d%02d%02d_TM%02d", modelCode,
                  item, level, h.initYear, h.initMonth, h.initDay, h.initHour, hour);
    return std::string(saveDir) + tail;
}

int save_GPV(const char* saveDir, int layout, std::span<const float> field, int item, int level,
             int hour) {
    const GpvHeader& h = header;
    if (layout != 0 && layout != 1) return 0;
    std::string name = output_base_name(saveDir, h.modelCode, item, level, hour);
    name += layout == 0 ? ".txt" : ".csv";
    if (static_cast<long long>(h.gridCount) > static_cast<long long>(field.size())) {
        platform::message_box("Error: grid larger than the work arrays.", "save_GPV", false);
        return 0;
    }
    std::FILE* out = std::fopen(name.c_str(), "w");
    if (!out) {
        if (layout == 0) platform::message_box(name.c_str(), "save_GPV", false);
        platform::message_box("Error: can't open output file.", "save_GPV", false);
        return 0;
    }
    const float* v = field.data();
    if (layout == 0) {
        std::fprintf(out, "%d  %d  %d  %d  %d  %02d %02d %02d %02d %02d  %f  %f\n", h.gridCols,
                     h.gridRows, h.modelCode, item, level, h.initYear, h.initMonth, h.initDay,
                     h.initHour, hour, grid.minValue, grid.maxValue);
        for (int j = 0; j < h.gridRows; ++j) {
            for (int i = 0; i < h.gridCols; ++i)
                std::fprintf(out, "  %f", v[j * h.gridCols + i]);
            std::fputc('\n', out);
        }
    } else {
        std::fprintf(out, "%d,%d,%d,%d,%d,%2d,%2d,%2d,%2d,%2d,%f,%f\n", h.gridCols, h.gridRows,
                     h.modelCode, item, level, h.initYear, h.initMonth, h.initDay, h.initHour, hour,
                     grid.minValue, grid.maxValue);
        for (int j = 0; j < h.gridRows; ++j) {
            for (int i = 0; i + 1 < h.gridCols; ++i)
                std::fprintf(out, "%f,", v[j * h.gridCols + i]);
            std::fprintf(out, "%f\n", v[j * h.gridCols + h.gridCols - 1]);
        }
    }
    std::fclose(out);
    return 1;
}

int write_log_line(std::FILE* log, int level, int hour, int item) {
    const char* text = item_text(item);
    if (!log || !text) return 0;
    platform::DateTime t = platform::utc_now();
    std::fprintf(log, "%d-%d-%d %d:%d:%d  P: %d  TM: %d  ID: %d  ITEM: %s\n", t.year, t.month,
                 t.day, t.hour, t.minute, t.second, level, hour, item, text);
    std::fflush(log);
    return 1;
}

} // namespace gpv
