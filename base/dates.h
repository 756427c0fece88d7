// Dates, times and timestamps of the base library: the fixed-layout value
// types DATE, TIME and DATI (the same bytes travel on the wire between the
// client library and the server, little-endian), their defaults standing for
// an absent value, validity rules with the simple four-year leap rule,
// orderings, day arithmetic, the process-wide current date and time, and the
// timestamp generator that keeps timestamps of one second distinct.
#ifndef BASE_DATES_H
#define BASE_DATES_H

#include <cstddef>
#include <cstdint>
#include <ctime>

// Wire layout: 4 bytes.
struct DATE {
  int16_t year;
  uint8_t month;  // 1 ... 12
  uint8_t day;    // 1 ... days of the month
};

// Wire layout: 3 bytes.
struct TIME {
  uint8_t hour;
  uint8_t min;
  uint8_t sec;
};

// Wire layout (TIMESTAMP): 12 bytes; the byte after sec is reserved and
// kept 0 here so that a copied value carries no stray byte.
struct DATI {
  int16_t year;
  uint8_t month;
  uint8_t day;
  uint8_t hour;
  uint8_t min;
  uint8_t sec;
  uint8_t reserved;
  int32_t usec;  // 0 ... 999999
};

static_assert(sizeof(DATE) == 4, "DATE is 4 bytes on the wire");
static_assert(sizeof(TIME) == 3, "TIME is 3 bytes on the wire");
static_assert(sizeof(DATI) == 12 && offsetof(DATI, usec) == 8, "DATI is 12 bytes on the wire");

extern const DATE _Def_Date;  // 1800-01-01, the absent date
extern const DATE _Max_Date;  // 2800-12-31
extern const TIME _Def_Time;  // 00:00:01
extern const TIME _Max_Time;  // 23:59:59
extern const DATI _Def_Dati;  // 1800-01-01 00:00:00.000000
extern const DATI _Max_Dati;  // 2800-12-31 23:59:59.000000

// Days per month, indexed 1 ... 12 (index 0 unused).  The February entry is
// rewritten by DATE_LeapYear (and so by DATE_DaysAdd) for the year examined
// last; the validity checks compute February themselves and leave it alone.
extern int _Days_per_Month[13];

// The current date and time.  Their defaults mean "use the system clock".
extern DATE fdaAktDatum;
extern TIME ftiAktZeit;

void DATE_Set(const DATE *date);
void TIME_Set(const TIME *time);
void DATE_Copy(DATE *dst, const DATE *src);
void TIME_Copy(TIME *dst, const TIME *src);

// 1 when the date equals _Def_Date, else 0.
int DATE_IsDefault(const DATE *date);
// 1 when the year lies in 1800 ... 2800, the month in 1 ... 12 and the day
// in 1 ... days of that month (February by the leap rule), else 0.
int DATE_IsValid(const DATE *date);
// 1 when hour < 24, min < 60, sec < 60.
int TIME_IsValid(const TIME *time);
// 1 when date and time are valid and usec lies in 0 ... 999999.
int DATI_IsValid(const DATI *dati);
// The same rules as DATE_IsValid and DATI_IsValid without the leap-year
// warning: they read no shared state and write nothing, so any thread may
// call them (the server checks its values with these).
int DATE_IsValidQuiet(const DATE *date);
int DATI_IsValidQuiet(const DATI *dati);

// -1, 0 or 1.  DATI_Compare writes "(DATI_Compare) Invalid timestamp\n" to
// standard output and gives 0 when either value is invalid.
int DATE_Compare(const DATE *a, const DATE *b);
int TIME_Compare(const TIME *a, const TIME *b);
int DATI_Compare(const DATI *a, const DATI *b);

// 1 when the year is divisible by 4 (also sets the February entry of
// _Days_per_Month).  The first year outside 1970 ... 2036 examined writes a
// one-time warning to standard output.
int DATE_LeapYear(const DATE *date);

// Moves the date by n days (n may be negative), month lengths by the leap
// rule of each year reached.  Returns 1; 0 leaves the date unchanged when it
// has no valid month and day or the year would leave the 16-bit range.
int DATE_DaysAdd(DATE *date, long n);

// The current timestamp: local date and time of the system clock (the
// current date or time instead when they are set to something other than
// their default) and, as microseconds, a counter that grows by one for every
// further timestamp within the same clock second.  Returns 1.
int Get_Timestamp(DATI *ts);

// The counter behind Get_Timestamp, separated from the clock so that its
// rule can be checked with given readings.
struct TIMESTAMP_COUNTER {
  int started;         // 0 until the first reading
  int32_t next_usec;   // the counter
  long long prev_sec;  // clock second of the previous reading
};
// One reading: sec is the clock second, usec the clock's microseconds (used
// only to start the counter on the first reading; pass 0 when the clock
// could not be read).  Returns the microseconds for this timestamp.
int32_t Timestamp_Counter(TIMESTAMP_COUNTER *counter, long long sec, long usec);

// Display texts, as the client library shows values: "%04d-%02d-%02d",
// "%02d:%02d:%02d" and "%04d-%02d-%02d-%02d.%02d.%02d.%06d".  The buffer
// must hold the given number of characters, which covers any field values
// (also those of a damaged value).  The result is the buffer.
enum { DATE_TEXT_SIZE = 16, TIME_TEXT_SIZE = 12, DATI_TEXT_SIZE = 40 };
char *DATE_Text(const DATE *date, char *buf);
char *TIME_Text(const TIME *time, char *buf);
char *DATI_Text(const DATI *dati, char *buf);

#endif
