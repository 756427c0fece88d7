// Dates, times and timestamps: validity, ordering, day arithmetic with the
// four-year leap rule, the current date and time, and the timestamp counter.
// Part of the base library; see dates.h for the value layouts.
#include "base/dates.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <sys/time.h>

const DATE _Def_Date = {1800, 1, 1};
const DATE _Max_Date = {2800, 12, 31};
const TIME _Def_Time = {0, 0, 1};
const TIME _Max_Time = {23, 59, 59};
const DATI _Def_Dati = {1800, 1, 1, 0, 0, 0, 0, 0};
const DATI _Max_Dati = {2800, 12, 31, 23, 59, 59, 0, 0};

int _Days_per_Month[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

DATE fdaAktDatum = {1800, 1, 1};
TIME ftiAktZeit = {0, 0, 1};

static TIMESTAMP_COUNTER timestamp_counter = {0, 0, 0};

namespace {

bool leap(long long year) { return year % 4 == 0; }

int days_of(long long year, int month) {
  static const int days[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2) return leap(year) ? 29 : 28;
  return days[month];
}

// The one-time warning of the four-year rule, for the first year outside
// 1970 ... 2036 that is examined.
void warn_rule(long long year) {
  static std::atomic<bool> warned{false};
  if ((year < 1970 || year > 2036) && !warned.exchange(true)) {
    fputs("(DATE_LeapYear) Warning: Only 4 year regularity implemented!\n", stdout);
    fflush(stdout);
  }
}

int sign(int diff) { return diff < 0 ? -1 : (diff > 0 ? 1 : 0); }

}  // namespace

void DATE_Set(const DATE *date) { fdaAktDatum = *date; }
void TIME_Set(const TIME *time) { ftiAktZeit = *time; }
void DATE_Copy(DATE *dst, const DATE *src) { *dst = *src; }
void TIME_Copy(TIME *dst, const TIME *src) { *dst = *src; }

int DATE_IsDefault(const DATE *date) { return DATE_Compare(date, &_Def_Date) == 0; }

int DATE_LeapYear(const DATE *date) {
  warn_rule(date->year);
  int is_leap = leap(date->year) ? 1 : 0;
  _Days_per_Month[2] = is_leap ? 29 : 28;
  return is_leap;
}

int DATE_IsValidQuiet(const DATE *date) {
  if (date->year < _Def_Date.year || date->year > _Max_Date.year) return 0;
  if (date->month < 1 || date->month > 12) return 0;
  return date->day >= 1 && date->day <= days_of(date->year, date->month);
}

int DATE_IsValid(const DATE *date) {
  if (date->year >= _Def_Date.year && date->year <= _Max_Date.year && date->month >= 1 &&
      date->month <= 12)
    warn_rule(date->year);  // the leap-year rule is applied to this year
  return DATE_IsValidQuiet(date);
}

int TIME_IsValid(const TIME *time) { return time->hour < 24 && time->min < 60 && time->sec < 60; }

int DATI_IsValidQuiet(const DATI *dati) {
  DATE d = {dati->year, dati->month, dati->day};
  TIME t = {dati->hour, dati->min, dati->sec};
  return DATE_IsValidQuiet(&d) && TIME_IsValid(&t) && dati->usec >= 0 && dati->usec <= 999999;
}

int DATI_IsValid(const DATI *dati) {
  DATE d = {dati->year, dati->month, dati->day};
  return DATE_IsValid(&d) && DATI_IsValidQuiet(dati);
}

int DATE_Compare(const DATE *a, const DATE *b) {
  if (a->year != b->year) return sign(a->year - b->year);
  if (a->month != b->month) return sign(a->month - b->month);
  return sign(a->day - b->day);
}

int TIME_Compare(const TIME *a, const TIME *b) {
  if (a->hour != b->hour) return sign(a->hour - b->hour);
  if (a->min != b->min) return sign(a->min - b->min);
  return sign(a->sec - b->sec);
}

int DATI_Compare(const DATI *a, const DATI *b) {
  if (!DATI_IsValid(a) || !DATI_IsValid(b)) {
    fputs("(DATI_Compare) Invalid timestamp\n", stdout);
    fflush(stdout);
    return 0;
  }
  DATE da = {a->year, a->month, a->day}, db = {b->year, b->month, b->day};
  int c = DATE_Compare(&da, &db);
  if (c) return c;
  TIME ta = {a->hour, a->min, a->sec}, tb = {b->hour, b->min, b->sec};
  c = TIME_Compare(&ta, &tb);
  if (c) return c;
  return a->usec < b->usec ? -1 : (a->usec > b->usec ? 1 : 0);
}

int DATE_DaysAdd(DATE *date, long n) {
  if (date->month < 1 || date->month > 12) return 0;
  DATE_LeapYear(date);
  if (date->day < 1 || date->day > _Days_per_Month[date->month]) return 0;

  // Under the four-year rule every 1461 days bring back the same month and
  // day four years on, so only the remainder is walked day by day.
  long long year = date->year + 4LL * (n / 1461);
  long rest = n % 1461;
  int month = date->month, day = date->day;
  for (; rest > 0; rest--) {
    if (++day > days_of(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        year++;
      }
    }
  }
  for (; rest < 0; rest++) {
    if (--day < 1) {
      if (--month < 1) {
        month = 12;
        year--;
      }
      day = days_of(year, month);
    }
  }
  if (year < INT16_MIN || year > INT16_MAX) {
    DATE_LeapYear(date);
    return 0;
  }
  date->year = static_cast<int16_t>(year);
  date->month = static_cast<uint8_t>(month);
  date->day = static_cast<uint8_t>(day);
  DATE_LeapYear(date);
  return 1;
}

int32_t Timestamp_Counter(TIMESTAMP_COUNTER *counter, long long sec, long usec) {
  if (!counter->started) {
    counter->started = 1;
    counter->next_usec = static_cast<int32_t>(usec >= 0 && usec <= 999999 ? usec : 0);
    counter->prev_sec = sec;
    return counter->next_usec;
  }
  if (sec == counter->prev_sec) {
    counter->next_usec = counter->next_usec >= 999999 ? 0 : counter->next_usec + 1;
  } else {
    counter->prev_sec = sec;
  }
  return counter->next_usec;
}

int Get_Timestamp(DATI *ts) {
  struct timeval tv;
  long long sec;
  long usec;
  if (gettimeofday(&tv, nullptr) == 0) {
    sec = tv.tv_sec;
    usec = tv.tv_usec;
  } else {
    sec = time(nullptr);
    usec = 0;
  }
  *ts = _Def_Dati;
  time_t t = static_cast<time_t>(sec);
  struct tm lt;
  if (localtime_r(&t, &lt)) {
    ts->year = static_cast<int16_t>(lt.tm_year + 1900);
    ts->month = static_cast<uint8_t>(lt.tm_mon + 1);
    ts->day = static_cast<uint8_t>(lt.tm_mday);
    ts->hour = static_cast<uint8_t>(lt.tm_hour);
    ts->min = static_cast<uint8_t>(lt.tm_min);
    // A leap second (60) is held as 59 so that the timestamp stays valid.
    ts->sec = static_cast<uint8_t>(lt.tm_sec > 59 ? 59 : lt.tm_sec);
  }
  if (!DATE_IsDefault(&fdaAktDatum)) {
    ts->year = fdaAktDatum.year;
    ts->month = fdaAktDatum.month;
    ts->day = fdaAktDatum.day;
  }
  if (TIME_Compare(&ftiAktZeit, &_Def_Time) != 0) {
    ts->hour = ftiAktZeit.hour;
    ts->min = ftiAktZeit.min;
    ts->sec = ftiAktZeit.sec;
  }
  ts->usec = Timestamp_Counter(&timestamp_counter, sec, usec);
  return 1;
}

char *DATE_Text(const DATE *date, char *buf) {
  snprintf(buf, DATE_TEXT_SIZE, "%04d-%02d-%02d", date->year, date->month, date->day);
  return buf;
}

char *TIME_Text(const TIME *time, char *buf) {
  snprintf(buf, TIME_TEXT_SIZE, "%02d:%02d:%02d", time->hour, time->min, time->sec);
  return buf;
}

char *DATI_Text(const DATI *dati, char *buf) {
  snprintf(buf, DATI_TEXT_SIZE, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", dati->year, dati->month,
           dati->day, dati->hour, dati->min, dati->sec, static_cast<int>(dati->usec));
  return buf;
}
