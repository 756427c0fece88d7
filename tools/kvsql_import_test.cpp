// Tests of the import's parts that need no server: CSV and TSV records in
// pieces of any size with their lines, errors with their lines, the round
// trip of kvsql's own output through the reader, header recognition and
// the INSERT request compared with the translator's.
#include "tools/kvsql_import.h"

#include <gtest/gtest.h>

#include <random>

#include "dbclient/result.h"
#include "proto/query.h"
#include "tools/kvsql_output.h"

namespace {

struct Read {
  std::vector<ImportRecord> records;
  bool ok = true;
  std::string error;
  int line = 0;
};

Read read_all(bool csv, const std::string &text, size_t piece) {
  Read r;
  RecordReader reader(csv);
  for (size_t at = 0; at < text.size() && r.ok; at += piece)
    r.ok = reader.feed(text.data() + at, std::min(piece, text.size() - at), &r.records, &r.error,
                       &r.line);
  if (r.ok) r.ok = reader.finish(&r.records, &r.error, &r.line);
  return r;
}

// Records as "line:field|field|..." for comparing.
std::vector<std::string> shown(const Read &r) {
  std::vector<std::string> v;
  for (const ImportRecord &rec : r.records) {
    std::string s = std::to_string(rec.line) + ":";
    for (size_t i = 0; i < rec.fields.size(); i++) s += (i ? "|" : "") + rec.fields[i];
    v.push_back(s);
  }
  return v;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(RecordReader, CsvInPieces) {
  const std::string in =
      "a,\"b,c\",\"say \"\"hi\"\"\"\r\n\n\"two\nlines\",,x\r\n  \"\",y\nlast,\"\"";
  for (size_t piece = 1; piece <= in.size(); piece++) {
    Read r = read_all(true, in, piece);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(shown(r), Lines({"1:a|b,c|say \"hi\"", "3:two\nlines||x", "5:  \"\"|y", "6:last|"}))
        << "piece " << piece;
  }
  Read r = read_all(true, "a,b\n\"c,\nd\ne", 4);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.line, 2);
  EXPECT_EQ(r.error, "the quoted field that begins here is not closed");
  r = read_all(true, "a\n\"b\"c,d\n", 100);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.line, 2);
  EXPECT_EQ(r.error, "a character follows the closing quote of field 1");
}

TEST(RecordReader, TsvEscapes) {
  Read r = read_all(false, "a\\tb\tc\\nd\\\\\\x\r\n\n\t\n", 3);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(shown(r), Lines({"1:a\tb|c\nd\\\\x", "3:|"}));
}

// kvsql's own TSV and CSV output reads back to the values it was made of.
TEST(RecordReader, OwnOutputRoundTrips) {
  std::mt19937 rng(77);
  const char *bits[] = {"\t", "\n", "\r", "\\", "\\t", ",", "\"", "\"\"", "x", " ", "\xe4", "\r\n"};
  OutTable t;
  t.names = {"A", "B", "C"};
  t.numeric = {false, false, false};
  for (int i = 0; i < 300; i++) {
    std::string v;
    for (int j = rng() % 5; j > 0; j--) v += bits[rng() % 12];
    t.cells.push_back(v);
  }
  for (OutputFormat f : {OutputFormat::UNALIGNED, OutputFormat::CSV}) {
    OutputOptions o;
    o.format = f;
    Read r = read_all(f == OutputFormat::CSV, format_table(t, o), 5);
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<std::string> cells;
    for (size_t i = 1; i < r.records.size(); i++) {
      ASSERT_EQ(r.records[i].fields.size(), 3u);
      cells.insert(cells.end(), r.records[i].fields.begin(), r.records[i].fields.end());
    }
    // A row of three empty values is an empty line, which the reader
    // passes over; the generator makes none of those with this seed.
    EXPECT_EQ(cells, t.cells);
  }
}

TEST(Import, FormatAndHeader) {
  EXPECT_TRUE(import_is_csv("x.CSV", "a\tb"));
  EXPECT_FALSE(import_is_csv("x.tsv", "a,b"));
  EXPECT_FALSE(import_is_csv("data", "a\tb,c\n"));
  EXPECT_TRUE(import_is_csv("data", "a,b\n\t"));
  std::vector<ImportColumn> cols = {
      {"ID", TOK_INTEGER}, {"NAME", TOK_CHARACTER}, {"ORT", TOK_CHARACTER}};
  std::vector<int> order;
  ImportRecord rec;
  rec.fields = {"ort", "Id"};
  ASSERT_TRUE(header_columns(rec, cols, &order));
  EXPECT_EQ(order, (std::vector<int>{2, 0}));
  rec.fields = {"ID", "ID"};
  EXPECT_FALSE(header_columns(rec, cols, &order));
  rec.fields = {"ID", "Meier"};
  EXPECT_FALSE(header_columns(rec, cols, &order));
}

// The request of a row is the one the translator makes of the INSERT with
// a column list; empty values of non-CHARACTER columns are left out.
TEST(Import, InsertRequestIsTheTranslatorsOne) {
  std::vector<ImportColumn> cols = {
      {"ID", TOK_INTEGER}, {"NAME", TOK_CHARACTER}, {"D", TOK_DATE}, {"B", TOK_BINARY}};
  std::vector<char> err(DB_ERRMSG_SIZE);
  auto translated = [&](const char *sql) {
    EXPECT_EQ(DBtranslate(sql, err.data()), 1) << err.data();
    return std::string(query_data, static_cast<size_t>(query_size));
  };
  auto built = [&](std::vector<int> order, std::vector<std::string> values) {
    std::string why = build_insert("T", cols, order, values);
    return why.empty() ? std::string(query_data, static_cast<size_t>(query_size)) : why;
  };
  EXPECT_EQ(built({0, 1, 2, 3}, {"12", "O'Br\\ien", "", "0x4142"}),
            translated("INSERT INTO T (ID, NAME, B) VALUES ('12', 'O\\'Br\\\\ien', 'AB');"));
  EXPECT_EQ(built({1, 0}, {"", ""}), translated("INSERT INTO T (NAME) VALUES ('');"));
  EXPECT_EQ(built({3}, {"0xzz"}), translated("INSERT INTO T (B) VALUES ('0xzz');"));
  EXPECT_EQ(built({0, 3}, {"", ""}), "every field is empty");
  EXPECT_EQ(built({1, 3}, {"x", "0x4100"}),
            "field 2 holds a zero byte, which a request cannot carry");
  EXPECT_EQ(built({1}, {std::string(DB_MAX_STRING + 1, 'x')}),
            "field 1 is longer than 32766 bytes");
}
