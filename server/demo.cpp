// Demo data of korvald (--demo): customers, articles and orders in KVSYS, so
// that a new user of the viewer sees something at once.  The rows are made
// by a fixed pseudo-random sequence, so every start builds the same data.
// Texts are Latin-1, dates, times and timestamps in their stored forms.
#include "server/demo.h"

#include <sqlite3.h>

#include <cstdio>

#include "server/types.h"

namespace {

struct Lcg {
  unsigned long long s = 20031207;
  int next(int n) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((s >> 33) % static_cast<unsigned long long>(n));
  }
};

const char *kNachnamen[] = {"M\xfcller",
                            "Schmidt",
                            "Schneider",
                            "Fischer",
                            "Weber",
                            "Meyer",
                            "Wagner",
                            "Becker",
                            "Sch\xe4"
                            "fer",
                            "Koch",
                            "Bauer",
                            "Richter",
                            "Klein",
                            "Wolf",
                            "Schr\xf6"
                            "der",
                            "Neumann",
                            "Schwarz",
                            "Zimmermann",
                            "Braun",
                            "Kr\xfcger",
                            "Hofmann",
                            "Hartmann",
                            "Lange",
                            "Wei\xdf",
                            "G\xf6tz",
                            "B\xf6hm",
                            "J\xe4ger",
                            "K\xf6hler",
                            "Fu\xdf",
                            "L\xf6"
                            "ffler"};
const char *kVornamen[] = {"Anna",    "J\xfcrgen", "Bj\xf6rn", "G\xfcnther", "Ute",      "Karl",
                           "Sabine",  "J\xf6rg",   "Monika",   "Uwe",        "K\xe4the", "Hans",
                           "Ren\xe9", "Birgit",    "Thomas",   "Andr\xe9"};
const char *kOrte[][2] = {{"80331", "M\xfcnchen"},
                          {"50667", "K\xf6ln"},
                          {"20095", "Hamburg"},
                          {"10115", "Berlin"},
                          {"90402", "N\xfcrnberg"},
                          {"01067", "Dresden"},
                          {"70173", "Stuttgart"},
                          {"97070", "W\xfcrzburg"},
                          {"37073", "G\xf6ttingen"},
                          {"23552",
                           "L\xfc"
                           "beck"}};
const char *kStrassen[] = {
    "Hauptstra\xdf"
    "e",
    "Bahnhofstra\xdf"
    "e",
    "Am M\xfchlbach",
    "Gartenweg",
    "Schlo\xdf"
    "allee",
    "Lindenstra\xdf"
    "e",
    "Kirchplatz",
    "Br\xfc"
    "ckenstra\xdf"
    "e"};
const char *kArtikel[] = {"Schraubendreher",
                          "Hammer 500 g",
                          "Zollstock 2 m",
                          "Wasserwaage",
                          "Bohrmaschine",
                          "Gartenschere",
                          "Gie\xdf"
                          "kanne",
                          "Blumenerde 20 l",
                          "Gl\xfchbirne 60 W",
                          "Verl\xe4ngerungskabel",
                          "Schraubenschl\xfcssel",
                          "Kehrschaufel",
                          "T\xfcrschloss",
                          "S\xe4ge",
                          "Holzleim",
                          "Pinsel-Set",
                          "Farbe wei\xdf 5 l",
                          "Malerkrepp",
                          "Arbeitshandschuhe",
                          "Stirnlampe"};

bool exec(sqlite3 *db, const std::string &sql, std::string *err) {
  char *msg = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) == SQLITE_OK) return true;
  *err = std::string("demo data: ") + (msg ? msg : "error");
  sqlite3_free(msg);
  return false;
}

// Runs one INSERT with the values bound in order (texts and numbers).
struct Inserter {
  sqlite3_stmt *st = nullptr;
  int idx = 0;
  Inserter(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
  ~Inserter() { sqlite3_finalize(st); }
  Inserter &t(const std::string &s) {
    sqlite3_bind_text(st, ++idx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Inserter &i(long long v) {
    sqlite3_bind_int64(st, ++idx, v);
    return *this;
  }
  Inserter &d(double v) {
    sqlite3_bind_double(st, ++idx, v);
    return *this;
  }
  bool done() {
    idx = 0;
    bool ok = st && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
    return ok;
  }
};

}  // namespace

bool kv_fill_demo(const std::string &path, std::string *err) {
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    *err = "demo data: cannot open " + path;
    sqlite3_close(db);
    return false;
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt *st = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE type='table'", -1, &st, nullptr);
  int tables = st && sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
  sqlite3_finalize(st);
  if (tables != 0) {
    sqlite3_close(db);
    if (tables < 0) *err = "demo data: cannot read " + path;
    return tables >= 0;
  }
  bool ok =
      exec(db, "BEGIN", err) &&
      exec(db,
           "CREATE TABLE \"KUNDE\" (\"KUNDE_ID\" INTEGER NOT NULL, \"NAME\" CHARACTER(30) NOT NULL,"
           " \"VORNAME\" CHARACTER(20), \"STRASSE\" CHARACTER(40), \"PLZ\" CHARACTER(5),"
           " \"ORT\" CHARACTER(30), \"GEBURTSTAG\" DATE, \"RABATT\" FLOAT,"
           " \"ANGELEGT\" TIMESTAMP);"
           "CREATE UNIQUE INDEX \"KUNDE_PK\" ON \"KUNDE\" (\"KUNDE_ID\");"
           "CREATE TABLE \"ARTIKEL\" (\"ARTIKEL_ID\" INTEGER NOT NULL,"
           " \"BEZEICHNUNG\" CHARACTER(40) NOT NULL, \"PREIS\" FLOAT, \"BESTAND\" INTEGER,"
           " \"GEWICHT_G\" SMALLINT);"
           "CREATE UNIQUE INDEX \"ARTIKEL_PK\" ON \"ARTIKEL\" (\"ARTIKEL_ID\");"
           "CREATE TABLE \"BESTELLUNG\" (\"BESTELLUNG_ID\" INTEGER NOT NULL,"
           " \"KUNDE_ID\" INTEGER NOT NULL, \"ARTIKEL_ID\" INTEGER NOT NULL, \"MENGE\" SMALLINT,"
           " \"DATUM\" DATE, \"UHRZEIT\" TIME, \"ERFASST\" TIMESTAMP);"
           "CREATE UNIQUE INDEX \"BESTELLUNG_PK\" ON \"BESTELLUNG\" (\"BESTELLUNG_ID\");"
           "CREATE INDEX \"BESTELLUNG_KUNDE\" ON \"BESTELLUNG\" (\"KUNDE_ID\");",
           err);
  Lcg r;
  const int kKunden = 120, kArtikelN = 20, kBestellungen = 300;
  if (ok) {
    Inserter ins(db, "INSERT INTO \"KUNDE\" VALUES (?,?,?,?,?,?,?,?,?)");
    for (int k = 1; ok && k <= kKunden; k++) {
      const char *const *ort = kOrte[r.next(10)];
      DATE geb{static_cast<int16_t>(1940 + r.next(60)), static_cast<uint8_t>(1 + r.next(12)),
               static_cast<uint8_t>(1 + r.next(28))};
      DATI seit{static_cast<int16_t>(1998 + r.next(6)),
                static_cast<uint8_t>(1 + r.next(12)),
                static_cast<uint8_t>(1 + r.next(28)),
                static_cast<uint8_t>(8 + r.next(10)),
                static_cast<uint8_t>(r.next(60)),
                static_cast<uint8_t>(r.next(60)),
                0,
                r.next(1000000)};
      std::string strasse =
          std::string(kStrassen[r.next(8)]) + " " + std::to_string(1 + r.next(99));
      ok = ins.i(k)
               .t(kNachnamen[r.next(30)])
               .t(kVornamen[r.next(16)])
               .t(strasse)
               .t(ort[0])
               .t(ort[1])
               .t(kv_date_text(geb))
               .d(r.next(5) * 2.5)
               .t(kv_dati_text(seit))
               .done();
    }
  }
  if (ok) {
    Inserter ins(db, "INSERT INTO \"ARTIKEL\" VALUES (?,?,?,?,?)");
    for (int a = 1; ok && a <= kArtikelN; a++)
      ok = ins.i(a)
               .t(kArtikel[a - 1])
               .d((99 + r.next(9900)) / 100.0)
               .i(r.next(500))
               .i(50 + r.next(5000))
               .done();
  }
  if (ok) {
    Inserter ins(db, "INSERT INTO \"BESTELLUNG\" VALUES (?,?,?,?,?,?,?)");
    for (int b = 1; ok && b <= kBestellungen; b++) {
      DATE dat{static_cast<int16_t>(2002 + r.next(2)), static_cast<uint8_t>(1 + r.next(12)),
               static_cast<uint8_t>(1 + r.next(28))};
      TIME zeit{static_cast<uint8_t>(7 + r.next(12)), static_cast<uint8_t>(r.next(60)),
                static_cast<uint8_t>(r.next(60))};
      DATI erf{dat.year, dat.month, dat.day, zeit.hour, zeit.min, zeit.sec, 0, r.next(1000000)};
      ok = ins.i(b)
               .i(1 + r.next(kKunden))
               .i(1 + r.next(kArtikelN))
               .i(1 + r.next(10))
               .t(kv_date_text(dat))
               .t(kv_time_text(zeit))
               .t(kv_dati_text(erf))
               .done();
    }
    if (!ok && err->empty()) *err = std::string("demo data: ") + sqlite3_errmsg(db);
  }
  ok = ok && exec(db, "COMMIT", err);
  if (!ok) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return ok;
}
