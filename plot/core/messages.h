// Numbered warnings, the end-of-plot report and the dates of reports and
// file headers (messages.cpp).
#pragma once

#include <ctime>

namespace razidu {

void errmes(int number);
void warning_plain(int number);
void warning_with_number(int number, int value);
void warning_with_text(int number, const char* text);
void set_warning_text(const char* text);
void end_report_text(int flag);
// The free-form warning lines: a point outside the axis scaling (`plain`:
// both numbers as %12.4e, else %f unless very large or small; not counted),
// a text start or end point off the page (counted), an unknown PostScript
// font, an existing file in file mode BREA and the 10,000th file version.
void out_of_scaling_message(float x, float y, bool plain);
void out_of_page_message(const char* which, int x, int y, const char* text);
void not_standard_font_message(const char* font);
void file_exists_message(const char* name);
void versions_message();
// Date "dd.mm.yyyy" and time "hh:mm:ss" of now: SOURCE_DATE_EPOCH read as
// UTC when set, else the local clock. Used by the report and file headers.
void report_date_time(char date[11], char time[9]);
// The same moment as broken-down time, for the dates in file headers.
void file_date_time(std::tm* t);

} // namespace razidu
