// Demo data of korvald (--demo): customers, articles and orders in KVSYS, so
// that a new user of the viewer sees something at once.  The rows are made
// by a fixed pseudo-random sequence, so every start builds the same data.
// Texts are Latin-1, dates, times and timestamps in their stored forms.
#include "server/demo.h"

#include <cstdio>
#include <vector>

#include "server/sqlgen.h"
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

// The columns of a demo table: name, type, length, NOT NULL.
KvColumn col(const char *name, KvType type, int len = 0, bool notnull = false) {
  KvColumn c;
  c.name = name;
  c.type = type;
  c.len = len;
  c.notnull = notnull;
  return c;
}

bool failed(KvStore &store, std::string *err) {
  if (err->empty()) *err = "demo data: " + store.error();
  return false;
}

// Collects the values of one row and inserts it as a client's INSERT would:
// each converted for its column, the statement made by SqlGen for the
// store's dialect.
struct Inserter {
  KvStore &store;
  std::string table;
  std::string *err;
  std::vector<KvLiteral> lits;
  Inserter(KvStore &s, const char *t, std::string *e) : store(s), table(t), err(e) {}
  Inserter &t(const std::string &s) {
    KvLiteral l;
    l.kind = KvLiteral::STR;
    l.s = s;
    lits.push_back(l);
    return *this;
  }
  Inserter &i(long long v) {
    KvLiteral l;
    l.kind = KvLiteral::INT;
    l.i = static_cast<int32_t>(v);
    lits.push_back(l);
    return *this;
  }
  Inserter &d(double v) {
    KvLiteral l;
    l.kind = KvLiteral::FLOAT;
    l.d = v;
    lits.push_back(l);
    return *this;
  }
  bool done() {
    std::vector<KvLiteral> row;
    row.swap(lits);
    const KvTable *info = store.table(table);
    if (!info) return failed(store, err);
    if (info->cols.size() != row.size()) {
      *err = "demo data: wrong number of values for " + table;
      return false;
    }
    std::vector<const KvColumn *> cols;
    std::vector<KvBound> values(row.size());
    for (size_t k = 0; k < row.size(); k++) {
      cols.push_back(&info->cols[k]);
      std::string why;
      if (!kv_convert(row[k], info->cols[k], &values[k], &why)) {
        *err = "demo data: " + why;
        return false;
      }
    }
    SqlGen gen([](const std::string &, std::vector<KvColumn> *, std::string *) { return false; },
               store.dialect());
    gen.insert(table, cols, values);
    long count = 0;
    return store.change(gen.sql, gen.binds, &count) || failed(store, err);
  }
};

}  // namespace

bool kv_fill_demo(KvStore &store, std::string *err) {
  err->clear();
  std::vector<std::vector<std::string>> tables;
  if (!store.show(SHOW_TABLES, "", &tables)) {
    *err = "demo data: cannot read the tables (" + store.error() + ")";
    return false;
  }
  if (!tables.empty()) return true;
  bool ok = (store.begin(true) || failed(store, err)) &&
            ((store.create_table(
                  "KUNDE", {col("KUNDE_ID", KV_INTEGER, 0, true),
                            col("NAME", KV_CHARACTER, 30, true), col("VORNAME", KV_CHARACTER, 20),
                            col("STRASSE", KV_CHARACTER, 40), col("PLZ", KV_CHARACTER, 5),
                            col("ORT", KV_CHARACTER, 30), col("GEBURTSTAG", KV_DATE),
                            col("RABATT", KV_FLOAT), col("ANGELEGT", KV_TIMESTAMP)}) &&
              store.create_index("KUNDE_PK", "KUNDE", {"KUNDE_ID"}, true) &&
              store.create_table(
                  "ARTIKEL", {col("ARTIKEL_ID", KV_INTEGER, 0, true),
                              col("BEZEICHNUNG", KV_CHARACTER, 40, true), col("PREIS", KV_FLOAT),
                              col("BESTAND", KV_INTEGER), col("GEWICHT_G", KV_SMALLINT)}) &&
              store.create_index("ARTIKEL_PK", "ARTIKEL", {"ARTIKEL_ID"}, true) &&
              store.create_table(
                  "BESTELLUNG",
                  {col("BESTELLUNG_ID", KV_INTEGER, 0, true), col("KUNDE_ID", KV_INTEGER, 0, true),
                   col("ARTIKEL_ID", KV_INTEGER, 0, true), col("MENGE", KV_SMALLINT),
                   col("DATUM", KV_DATE), col("UHRZEIT", KV_TIME), col("ERFASST", KV_TIMESTAMP)}) &&
              store.create_index("BESTELLUNG_PK", "BESTELLUNG", {"BESTELLUNG_ID"}, true) &&
              store.create_index("BESTELLUNG_KUNDE", "BESTELLUNG", {"KUNDE_ID"}, false)) ||
             failed(store, err));
  // the tables are looked up afresh
  store.new_request();
  Lcg r;
  const int kKunden = 120, kArtikelN = 20, kBestellungen = 300;
  if (ok) {
    Inserter ins(store, "KUNDE", err);
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
    Inserter ins(store, "ARTIKEL", err);
    for (int a = 1; ok && a <= kArtikelN; a++)
      ok = ins.i(a)
               .t(kArtikel[a - 1])
               .d((99 + r.next(9900)) / 100.0)
               .i(r.next(500))
               .i(50 + r.next(5000))
               .done();
  }
  if (ok) {
    Inserter ins(store, "BESTELLUNG", err);
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
  }
  ok = ok && (store.commit() || failed(store, err));
  if (!ok && store.in_transaction()) store.rollback();
  store.forget_schema();
  return ok;
}
