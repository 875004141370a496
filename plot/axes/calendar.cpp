// Calendar routines: day counts from the base date, their dates, weekdays.
#include "plot/core/state.h"
#include "plot/razidu.h"

#include <algorithm>
#include <climits>

namespace razidu {

namespace {

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool leap(int y) {
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}
int year_days(int y) {
    return leap(y) ? 366 : 365;
}
int month_days(int m, int y) {
    return kMonthDays[m - 1] + (m == 2 && leap(y) ? 1 : 0);
}
// Day number of a date within its year, 1 for 1 January.
int day_of_year(int d, int m, int y) {
    int n = d;
    for (int k = 1; k < m; ++k)
        n += month_days(k, y);
    return n;
}

// Warning 2 with the offending value for an impossible date.
bool date_ok(int d, int m, int y) {
    if (d < 1 || d > 31) {
        warning_with_number(2, d);
        return false;
    }
    if (m < 1 || m > 12) {
        warning_with_number(2, m);
        return false;
    }
    if (y < 1000) {
        warning_with_number(2, y);
        return false;
    }
    if (m == 2 && (d > 29 || (d == 29 && !leap(y)))) {
        warning_with_number(2, d);
        return false;
    }
    return true;
}

bool base_defined() {
    if (g_plot.calendar.defined) return true;
    set_warning_text("no base date is defined with basdat");
    warning_plain(101);
    return false;
}

// Days from the base date to a checked date. Whole 400-year cycles (146097
// days each, the leap years repeat with them) are counted at once.
long long days_from_base(int d, int m, int y) {
    const CalendarState& c = g_plot.calendar;
    const long key = long(y) * 10000 + m * 100 + d;
    const long base = long(c.year) * 10000 + c.month * 100 + c.day;
    const bool before = key <= base;
    const int y0 = before ? y : c.year, y1 = before ? c.year : y;
    const int early = before ? day_of_year(d, m, y) : day_of_year(c.day, c.month, c.year);
    const int late = before ? day_of_year(c.day, c.month, c.year) : day_of_year(d, m, y);
    const long long cycles = ((long long)y1 - y0) / 400;
    long long n = cycles * 146097;
    for (long long k = y0 + cycles * 400; k < y1; ++k)
        n += year_days(int(k));
    n += late - early;
    return before ? -n : n;
}

} // namespace

void calendar_date(int n, int* day, int* month, int* year) {
    const CalendarState& c = g_plot.calendar;
    long k = long(c.day_of_year) + n;
    int y = c.year;
    while (k < 1)
        k += year_days(--y);
    while (k > year_days(y))
        k -= year_days(y++);
    int m = 1;
    while (m < 12 && k > month_days(m, y))
        k -= month_days(m++, y);
    *day = int(k);
    *month = m;
    *year = y;
}

int incdat(int day, int month, int year) {
    if (check_level(0, 3, "incdat")) return 0;
    if (!date_ok(day, month, year)) return 0;
    if (!base_defined()) return 0;
    const long long n = days_from_base(day, month, year);
    return int(std::clamp(n, (long long)INT_MIN, (long long)INT_MAX));
}

void trfdat(int n, int* day, int* month, int* year) {
    if (check_level(0, 3, "trfdat")) return;
    if (!base_defined()) return;
    int d, m, y;
    calendar_date(n, &d, &m, &y);
    if (day) *day = d;
    if (month) *month = m;
    if (year) *year = y;
}

int nwkday(int day, int month, int year) {
    if (check_level(0, 3, "nwkday")) return 0;
    if (!date_ok(day, month, year)) return 0;
    CalendarState& c = g_plot.calendar;
    const CalendarState kept = c;
    c.day = 5;
    c.month = 7;
    c.year = 1999;
    c.day_of_year = day_of_year(5, 7, 1999);
    c.defined = 1;
    const long long n = days_from_base(day, month, year);
    c = kept;
    return ((n % 7) + 7) % 7 + 1;
}

} // namespace razidu
