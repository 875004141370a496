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
// Date "dd.mm.yyyy" and time "hh:mm:ss" of now: SOURCE_DATE_EPOCH read as
// UTC when set, else the local clock. Used by the report and file headers.
void report_date_time(char date[11], char time[9]);
// The same moment as broken-down time, for the dates in file headers.
void file_date_time(std::tm* t);

} // namespace razidu
